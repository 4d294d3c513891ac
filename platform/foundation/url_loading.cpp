#include "platform/foundation/url_loading.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/foundation/dictionary.h"

namespace ns {

namespace {

// ---- Trusted certificates ----------------------------------------------------------------

struct TrustStore {
    std::mutex lock;
    bool systemLoaded = false;
    std::string system; // the system's bundle, PEM
    std::string extra;  // certificates added by the application, PEM
    // The bundle handed to transfers: system plus extra; null while there is no extra.
    std::shared_ptr<const std::string> bundle;

    static TrustStore& shared() {
        static auto* store = new TrustStore;
        return *store;
    }

    void loadSystem() {
        if (systemLoaded) return;
        systemLoaded = true;
        std::vector<std::string> candidates;
        if (const char* env = std::getenv("SSL_CERT_FILE")) candidates.emplace_back(env);
        if (const auto* info = curl_version_info(CURLVERSION_NOW); info && info->cainfo)
            candidates.emplace_back(info->cainfo);
        candidates.emplace_back(X509_get_default_cert_file());
        candidates.emplace_back("/etc/ssl/certs/ca-certificates.crt");
        for (auto& path : candidates) {
            std::ifstream in(path, std::ios::binary);
            if (!in) continue;
            std::ostringstream text;
            text << in.rdbuf();
            system = text.str();
            if (!system.empty()) return;
        }
    }

    std::shared_ptr<const std::string> current() {
        std::lock_guard g(lock);
        return bundle;
    }
};

} // namespace

std::shared_ptr<const std::string> detail::trustedCertificateBundle() {
    return TrustStore::shared().current();
}

// ---- URLLoading ------------------------------------------------------------------------

bool URLLoading::addTrustedCertificatePEM(std::string pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    bool ok = cert != nullptr;
    X509_free(cert);
    BIO_free(bio);
    ERR_clear_error();
    if (!ok) return false;

    auto& store = TrustStore::shared();
    std::lock_guard g(store.lock);
    store.loadSystem();
    if (!pem.empty() && pem.back() != '\n') pem += '\n';
    store.extra += pem;
    std::string bundle = store.system;
    if (!bundle.empty() && bundle.back() != '\n') bundle += '\n';
    store.bundle = std::make_shared<const std::string>(bundle + store.extra);
    return true;
}

void URLLoading::removeAllTrustedCertificates() {
    auto& store = TrustStore::shared();
    std::lock_guard g(store.lock);
    store.extra.clear();
    store.bundle = nullptr;
}

namespace {

struct PublicAddress {
    std::mutex lock;
    std::string address;

    static PublicAddress& shared() {
        static PublicAddress* kept = new PublicAddress(); // read by transfers until exit
        return *kept;
    }
};

} // namespace

void URLLoading::setPublicAddress(std::string address) {
    auto& kept = PublicAddress::shared();
    std::lock_guard g(kept.lock);
    kept.address = std::move(address);
}

std::string URLLoading::publicAddress() {
    auto& kept = PublicAddress::shared();
    std::lock_guard g(kept.lock);
    return kept.address;
}

rt::Ref<Error> URLLoading::errorWithCode(long code, const rt::Ref<URL>& url, std::string_view detail) {
    std::string text;
    switch (code) {
    case URLErrorCancelled:
        text = "cancelled";
        break;
    case URLErrorBadURL:
        text = "bad URL";
        break;
    case URLErrorTimedOut:
        text = "The request timed out.";
        break;
    case URLErrorUnsupportedURL:
        text = "unsupported URL";
        break;
    case URLErrorCannotFindHost:
        text = "A server with the specified hostname could not be found.";
        break;
    case URLErrorCannotConnectToHost:
        text = "Could not connect to the server.";
        break;
    case URLErrorNetworkConnectionLost:
        text = "The network connection was lost.";
        break;
    case URLErrorHTTPTooManyRedirects:
        text = "too many HTTP redirects";
        break;
    case URLErrorBadServerResponse:
        text = "bad server response";
        break;
    case URLErrorDataLengthExceedsMaximum:
        text = "resource exceeds maximum size";
        break;
    case URLErrorSecureConnectionFailed:
        text = "An SSL error has occurred and a secure connection to the server cannot be made.";
        break;
    case URLErrorServerCertificateUntrusted: {
        auto host = url ? url->host() : nullptr;
        text = "The certificate for this server is invalid. You might be connecting to a server that is "
               "pretending to be \u201c" +
               (host ? host->utf8() : std::string()) +
               "\u201d which could put your confidential information at risk.";
        break;
    }
    default:
        text = "unknown error";
        break;
    }
    auto info = MutableDictionary::make();
    info->setObjectForKey(String::make(text), LocalizedDescriptionKey);
    if (url) {
        info->setObjectForKey(url, URLErrorFailingURLErrorKey);
        info->setObjectForKey(url->absoluteString(), URLErrorFailingURLStringErrorKey);
    }
    if (!detail.empty()) info->setObjectForKey(String::make(detail), DebugDescriptionErrorKey);
    return Error::make(URLErrorDomain, code, info);
}

} // namespace ns
