#include "platform/foundation/url_reading.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/url_request.h"
#include "platform/foundation/url_transport.h"

namespace ns {

namespace {

constexpr long kFileReadUnsupportedSchemeError = 262;
constexpr long kFileReadInapplicableStringEncodingError = 261;

rt::Ref<Error> fileError(long code, const rt::Ref<URL>& url, std::string_view text) {
    auto error = cocoaError(code, text);
    if (!url) return error;
    auto info = error->userInfo()->mutableCopy();
    info->setObjectForKey(url, "NSURL");
    return Error::make(CocoaErrorDomain, code, info);
}

// Units of a UTF-16 or UTF-32 text after its byte-order mark.
std::u16string decodeWide(std::string_view bytes, int width, bool bigEndian) {
    std::u16string units;
    auto read = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 0; i < width; ++i) {
            std::uint32_t b = static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
            v |= bigEndian ? b << (8 * (width - 1 - i)) : b << (8 * i);
        }
        return v;
    };
    for (std::size_t at = 0; at + static_cast<std::size_t>(width) <= bytes.size();
         at += static_cast<std::size_t>(width)) {
        std::uint32_t v = read(at);
        if (width == 2 || v < 0x10000) {
            units.push_back(static_cast<char16_t>(v > 0xFFFF ? 0xFFFD : v));
        } else if (v <= 0x10FFFF) {
            v -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            units.push_back(0xFFFD);
        }
    }
    return units;
}

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

std::atomic<double> readTimeout{URLContentsReadTimeout};

bool isHTTP(const rt::Ref<URL>& url) {
    rt::Ref<String> scheme = url ? url->scheme() : nullptr;
    if (!scheme) return false;
    std::string s = scheme->utf8();
    for (char& c : s)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return s == "http" || s == "https";
}

// A GET of `url`, waited for on this thread; the body, or nil and the error.
rt::Ref<Data> readOverHTTP(const rt::Ref<URL>& url, long long maximumLength, rt::Ref<Error>* error) {
    const double timeout = readTimeout.load();
    struct Wait {
        std::mutex lock;
        std::condition_variable done;
        std::optional<detail::TransferOutcome> outcome;
    };
    auto wait = std::make_shared<Wait>();
    auto link = std::make_shared<detail::TransferLink>();
    link->handler = [wait](detail::TransferOutcome&& outcome) {
        std::lock_guard g(wait->lock);
        wait->outcome = std::move(outcome);
        wait->done.notify_all();
    };
    auto request = MutableURLRequest::requestWithURL(url, timeout);
    request->setMaximumBodyLength(maximumLength);
    const std::uint64_t id = detail::newTransferId();
    detail::startTransfer(id, detail::transferRequestOf(*request), link);

    std::unique_lock g(wait->lock);
    if (!wait->done.wait_for(g, std::chrono::duration<double>(timeout), [&] { return wait->outcome.has_value(); })) {
        g.unlock();
        if (link->take()) { // the transfer has not ended: it never will for us
            detail::cancelTransfer(id);
            if (error) *error = URLLoading::errorWithCode(URLErrorTimedOut, url);
            return nullptr;
        }
        g.lock(); // it ended just now: its outcome is on its way
        wait->done.wait(g, [&] { return wait->outcome.has_value(); });
    }
    detail::TransferResult result = detail::resultOf(std::move(*wait->outcome), url);
    g.unlock();
    if (result.error) {
        if (error) *error = result.error;
        return nullptr;
    }
    const long status = rt::downcast<HTTPURLResponse>(result.response)->statusCode();
    if (status >= 400) {
        if (error)
            *error = URLLoading::errorWithCode(URLErrorBadServerResponse, url, "HTTP status " + std::to_string(status));
        return nullptr;
    }
    return result.data;
}

} // namespace

ScopedURLContentsReadTimeout::ScopedURLContentsReadTimeout(double seconds) : previous_(readTimeout.exchange(seconds)) {}

ScopedURLContentsReadTimeout::~ScopedURLContentsReadTimeout() {
    readTimeout.store(previous_);
}

rt::Ref<Data> dataWithContentsOfURL(const rt::Ref<URL>& url, rt::Ref<Error>* error) {
    if (!url || !url->isFileURL()) {
        if (error)
            *error = fileError(kFileReadUnsupportedSchemeError, url,
                               "The file couldn’t be opened because the URL type isn’t supported.");
        return nullptr;
    }
    rt::Ref<String> path = url->path(); // nil when its escapes do not decode
    if (!path) {
        if (error)
            *error = fileError(kFileReadUnsupportedSchemeError, url,
                               "The file couldn’t be opened because its path is not valid.");
        return nullptr;
    }
    return readFile(path->utf8(), error);
}

rt::Ref<String> stringWithContentsOfURL(const rt::Ref<URL>& url, unsigned long* usedEncoding,
                                        rt::Ref<Error>* error, long long maximumLength) {
    rt::Ref<Data> data =
        isHTTP(url) ? readOverHTTP(url, maximumLength, error) : dataWithContentsOfURL(url, error);
    if (!data) return nullptr;
    std::string_view bytes = data->view();
    auto found = [&](unsigned long encoding, rt::Ref<String> s) {
        if (usedEncoding) *usedEncoding = encoding;
        return s;
    };
    // UTF-32 marks first: the little-endian one begins like UTF-16's.
    if (startsWith(bytes, std::string_view("\x00\x00\xFE\xFF", 4)))
        return found(UTF32BigEndianStringEncoding, String::fromUTF16(decodeWide(bytes.substr(4), 4, true)));
    if (startsWith(bytes, std::string_view("\xFF\xFE\x00\x00", 4)))
        return found(UTF32LittleEndianStringEncoding,
                     String::fromUTF16(decodeWide(bytes.substr(4), 4, false)));
    if (startsWith(bytes, "\xFE\xFF"))
        return found(UTF16BigEndianStringEncoding, String::fromUTF16(decodeWide(bytes.substr(2), 2, true)));
    if (startsWith(bytes, "\xFF\xFE"))
        return found(UTF16LittleEndianStringEncoding,
                     String::fromUTF16(decodeWide(bytes.substr(2), 2, false)));
    if (startsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (!String::isValidUTF8(bytes)) {
        if (error)
            *error = fileError(
                kFileReadInapplicableStringEncodingError, url,
                "The file couldn’t be opened because the text encoding of its contents can’t be determined.");
        return nullptr;
    }
    return found(UTF8StringEncoding, String::make(bytes));
}

} // namespace ns
