#pragma once
// A key and a self-signed certificate for 127.0.0.1 and localhost, valid for an hour: serve it
// with httplib::SSLServer(identity.cert, identity.key) and trust it with
// ns::URLLoading::addTrustedCertificatePEM(identity.pem). Targets that include this link OpenSSL.

#include <string>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace testkit {

struct SelfSignedCertificate {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    std::string pem;

    SelfSignedCertificate() {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        X509_EXTENSION* san =
            X509V3_EXT_conf_nid(nullptr, &ctx, OBJ_sn2nid("subjectAltName"), "DNS:localhost,IP:127.0.0.1");
        X509_add_ext(cert, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(cert, key, EVP_sha256());
        BIO* bio = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(bio, cert);
        char* bytes = nullptr;
        long n = BIO_get_mem_data(bio, &bytes);
        pem.assign(bytes, static_cast<std::size_t>(n));
        BIO_free(bio);
    }
    ~SelfSignedCertificate() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;
};

} // namespace testkit
