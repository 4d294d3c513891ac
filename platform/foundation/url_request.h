#pragma once
// HTTP requests and the responses to them. ns::URLRequest is immutable (its copy is itself);
// ns::MutableURLRequest is edited in place and is not thread-safe (a transfer takes what it needs
// when it starts). Header names compare without regard to case and keep the order they were first
// set in.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/foundation/url.h"
#include "platform/runtime/object.h"

namespace ns {

// Name and value, in order.
using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

class MutableURLRequest;

// Kept with the request and read back; nothing here caches, so every policy loads from the source.
enum class URLRequestCachePolicy : unsigned long {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReloadIgnoringLocalAndRemoteCacheData = 4,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
    ReloadRevalidatingCacheData = 5,
};

class URLRequest : public rt::Object {
    RT_CLASS(URLRequest)
public:
    static constexpr TimeInterval DefaultTimeoutInterval = 60;
    // The largest response body a transfer keeps, after decompression: 64 MiB.
    static constexpr long long DefaultMaximumBodyLength = 64ll << 20;

    static rt::Ref<URLRequest> requestWithURL(rt::Ref<ns::URL> url,
                                              TimeInterval timeoutInterval = DefaultTimeoutInterval);
    static rt::Ref<URLRequest> requestWithURL(rt::Ref<ns::URL> url, URLRequestCachePolicy cachePolicy,
                                              TimeInterval timeoutInterval);

    const rt::Ref<ns::URL>& URL() const noexcept { return url_; }
    // "GET" unless set otherwise.
    rt::Ref<String> HTTPMethod() const { return String::make(method_); }
    const std::string& method() const noexcept { return method_; }
    // Nil when no header is set.
    rt::Ref<Dictionary> allHTTPHeaderFields() const;
    const HTTPHeaderFields& headerFields() const noexcept { return headers_; }
    // Nil when absent.
    rt::Ref<String> valueForHTTPHeaderField(std::string_view name) const;
    // Nil when none was set.
    const rt::Ref<Data>& HTTPBody() const noexcept { return body_; }
    // How long the transfer may go without a byte moving either way before it fails with
    // URLErrorTimedOut (an idle time-out, not a limit on the whole transfer). 0 or less means
    // DefaultTimeoutInterval.
    TimeInterval timeoutInterval() const noexcept { return timeout_; }
    URLRequestCachePolicy cachePolicy() const noexcept { return cachePolicy_; }
    // A response whose body (declared, or once decompressed) is longer fails with
    // URLErrorDataLengthExceedsMaximum, before more than this is held in memory.
    long long maximumBodyLength() const noexcept { return maximumBodyLength_; }

    rt::Ref<MutableURLRequest> mutableCopy() const;

    // "<NSURLRequest: 0x...> { URL: http://... }"
    std::string description() const override;
    // Same URL, method, headers (names without regard to case), body and time-out.
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

protected:
    URLRequest() = default;
    std::size_t find(std::string_view name) const;
    static rt::Ref<URLRequest> immutableCopy(const URLRequest& from);
    void copyFrom(const URLRequest& from);

    rt::Ref<ns::URL> url_;
    std::string method_ = "GET";
    HTTPHeaderFields headers_;
    rt::Ref<Data> body_;
    TimeInterval timeout_ = DefaultTimeoutInterval;
    URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::UseProtocolCachePolicy;
    long long maximumBodyLength_ = DefaultMaximumBodyLength;
};

class MutableURLRequest final : public URLRequest {
    RT_CLASS(MutableURLRequest)
public:
    static rt::Ref<MutableURLRequest> requestWithURL(rt::Ref<ns::URL> url,
                                                     TimeInterval timeoutInterval = DefaultTimeoutInterval);

    void setURL(rt::Ref<ns::URL> url) { url_ = std::move(url); }
    // Empty means "GET". A method is an HTTP token (letters, digits and !#$%&'*+-.^_`|~); a
    // request with anything else fails with URLErrorBadURL and is never sent.
    void setHTTPMethod(std::string_view method);
    // Replaces the value of the field (keeping its place); nil removes it.
    void setValueForHTTPHeaderField(const rt::Ref<String>& value, std::string_view name);
    void setValueForHTTPHeaderField(std::string_view value, std::string_view name);
    // Adds to the value of the field, separated by ","; sets it when absent.
    void addValueForHTTPHeaderField(std::string_view value, std::string_view name);
    // Replaces every field with the dictionary's (string keys and values; others are ignored).
    void setAllHTTPHeaderFields(const rt::Ref<Dictionary>& fields);
    // The body is copied.
    void setHTTPBody(const rt::Ref<Data>& body);
    void setTimeoutInterval(TimeInterval seconds) { timeout_ = seconds; }
    // Less than 0 means no limit.
    void setMaximumBodyLength(long long bytes) { maximumBodyLength_ = bytes; }

    rt::Id copy() const override;

private:
    MutableURLRequest() = default;
};

// The response to a URL request: its metadata, not its body.
class URLResponse : public rt::Object {
    RT_CLASS(URLResponse)
public:
    static constexpr long long UnknownLength = -1;

    static rt::Ref<URLResponse> make(rt::Ref<ns::URL> url, std::string_view mimeType,
                                     long long expectedContentLength, std::string_view textEncodingName);

    const rt::Ref<ns::URL>& URL() const noexcept { return url_; }
    // Nil when unknown.
    virtual const rt::Ref<String>& MIMEType() const { return mimeType_; }
    // UnknownLength (-1) when unknown.
    virtual long long expectedContentLength() const { return expectedLength_; }
    // The charset of the content type; nil when none.
    virtual const rt::Ref<String>& textEncodingName() const { return encoding_; }

    std::string description() const override;

protected:
    URLResponse() = default;

    rt::Ref<ns::URL> url_;
    rt::Ref<String> mimeType_;
    long long expectedLength_ = UnknownLength;
    rt::Ref<String> encoding_;
};

class HTTPURLResponse final : public URLResponse {
    RT_CLASS(HTTPURLResponse)
public:
    // The MIME type, encoding and expected length come from the Content-Type and Content-Length
    // fields. A field given more than once has its values joined with ", ". The fields are read
    // when one of these is first asked for (most responses are never asked), once.
    static rt::Ref<HTTPURLResponse> make(rt::Ref<ns::URL> url, long statusCode, std::string_view httpVersion,
                                         HTTPHeaderFields headerFields);

    long statusCode() const noexcept { return statusCode_; }
    // "HTTP/1.1"
    const std::string& httpVersion() const noexcept { return version_; }
    // Field names in their canonical form ("Content-Type"), never nil.
    const rt::Ref<Dictionary>& allHeaderFields() const;
    // Looked up without regard to case; nil when absent.
    rt::Ref<String> valueForHTTPHeaderField(std::string_view name) const;
    const rt::Ref<String>& MIMEType() const override;
    long long expectedContentLength() const override;
    const rt::Ref<String>& textEncodingName() const override;

    std::string description() const override;

private:
    struct Fields;

    HTTPURLResponse() = default;
    ~HTTPURLResponse() override;
    const Fields& fields() const;

    long statusCode_ = 0;
    std::string version_;
    HTTPHeaderFields raw_;
    // Built from raw_ on first use; a thread that loses the race to install it drops its own.
    mutable std::atomic<const Fields*> fields_{nullptr};
};

} // namespace ns
