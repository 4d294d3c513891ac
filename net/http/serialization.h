#pragma once
// Request serializers (parameters and settings into a URL request) and the JSON response
// serializer (a response and its body into an object, or an error).
//
// hn::HTTPRequestSerializer ("HNHTTPRequestSerializer") puts the parameters in the query string:
// "key=value" pairs, percent-encoded, keys in sorted order, joined with "&" (a value of ns::Null is
// the key alone; numbers and other values by their description). hn::JSONRequestSerializer
// ("HNJSONRequestSerializer") does the same for GET, HEAD and DELETE and sends any other method's
// parameters as a JSON body with "Content-Type: application/json". Both set the request's
// time-out and the headers set on them.
//
// hn::JSONResponseSerializer ("HNJSONResponseSerializer"):
//   - a status outside 200-299 is a failure: an error in URLResponseSerializationErrorDomain whose
//     code is the status, whose user info holds the response under
//     NetworkingOperationFailingURLResponseErrorKey and, when the body parses as JSON, the parsed
//     body under NetworkingOperationFailingURLResponseObjectErrorKey;
//   - a 2xx reply with an empty body (or only white space) is a success with nil;
//   - a 2xx reply whose body is not JSON is a failure with code ns::URLErrorCannotDecodeContentData
//     and the parse error under ns::UnderlyingErrorKey.

#include <string>
#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/url_request.h"

namespace hn {

inline constexpr const char* URLResponseSerializationErrorDomain = "HNURLResponseSerializationErrorDomain";
inline constexpr const char* NetworkingOperationFailingURLResponseErrorKey =
    "HNNetworkingOperationFailingURLResponseErrorKey";
inline constexpr const char* NetworkingOperationFailingURLResponseObjectErrorKey =
    "HNNetworkingOperationFailingURLResponseObjectErrorKey";
// NSURLErrorCannotDecodeContentData.
inline constexpr long URLErrorCannotDecodeContentData = -1016;

class HTTPRequestSerializer : public rt::Object {
    RT_CLASS(HTTPRequestSerializer)
public:
    static rt::Ref<HTTPRequestSerializer> serializer();

    // Seconds; ns::URLRequest::DefaultTimeoutInterval unless set.
    ns::TimeInterval timeoutInterval() const { return timeout_; }
    void setTimeoutInterval(ns::TimeInterval seconds) { timeout_ = seconds; }
    // Headers every request gets; nil removes the field.
    void setValueForHTTPHeaderField(const rt::Ref<ns::String>& value, std::string_view field);
    rt::Ref<ns::String> valueForHTTPHeaderField(std::string_view field) const;

    // A request for `method` to `URLString` with the parameters (nil: none). Nil, with the error
    // set, for text that is no URL or parameters that cannot be encoded.
    rt::Ref<ns::MutableURLRequest> requestWithMethod(std::string_view method, std::string_view URLString,
                                                     const rt::Ref<ns::Dictionary>& parameters,
                                                     rt::Ref<ns::Error>* error = nullptr) const;

    // "a=1&b=x%20y": the pairs in sorted key order.
    static std::string queryStringFromParameters(const ns::Dictionary& parameters);

protected:
    HTTPRequestSerializer() = default;
    // Puts the parameters into the request; false (error set) when they cannot be.
    virtual bool encodeParameters(ns::MutableURLRequest& request, const ns::Dictionary& parameters,
                                  rt::Ref<ns::Error>* error) const;
    static void appendQuery(ns::MutableURLRequest& request, const ns::Dictionary& parameters);

private:
    ns::HTTPHeaderFields::const_iterator findHeader(std::string_view field) const;

    ns::TimeInterval timeout_ = ns::URLRequest::DefaultTimeoutInterval;
    ns::HTTPHeaderFields headers_;
};

class JSONRequestSerializer final : public HTTPRequestSerializer {
    RT_CLASS(JSONRequestSerializer)
public:
    static rt::Ref<JSONRequestSerializer> serializer();

private:
    JSONRequestSerializer() = default;
    bool encodeParameters(ns::MutableURLRequest& request, const ns::Dictionary& parameters,
                          rt::Ref<ns::Error>* error) const override;
};

class JSONResponseSerializer final : public rt::Object {
    RT_CLASS(JSONResponseSerializer)
public:
    static rt::Ref<JSONResponseSerializer> serializer();

    // The decoded body, or nil; `error` set on failure (see above).
    rt::Id responseObjectForResponse(const rt::Ref<ns::URLResponse>& response, const rt::Ref<ns::Data>& data,
                                     rt::Ref<ns::Error>* error) const;

private:
    JSONResponseSerializer() = default;
};

} // namespace hn
