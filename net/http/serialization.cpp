#include "net/http/serialization.h"

#include <algorithm>
#include <strings.h>
#include <utility>
#include <vector>

#include "platform/foundation/json.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/url_loading.h"
#include "platform/runtime/class.h"

namespace hn {

RT_DEFINE_CLASS(HTTPRequestSerializer, "HNHTTPRequestSerializer", rt::Object,
                rt::prop("timeoutInterval", &HTTPRequestSerializer::timeoutInterval,
                         &HTTPRequestSerializer::setTimeoutInterval))
RT_DEFINE_CLASS(JSONRequestSerializer, "HNJSONRequestSerializer", HTTPRequestSerializer)
RT_DEFINE_CLASS(JSONResponseSerializer, "HNJSONResponseSerializer", rt::Object)

namespace {

std::string textOf(const rt::Id& value) {
    if (auto s = rt::cast<ns::String>(value)) return s->utf8();
    return value ? value->description() : std::string();
}

bool isBodyless(std::string_view method) {
    return method == "GET" || method == "HEAD" || method == "DELETE";
}

} // namespace

// ---- HTTPRequestSerializer -----------------------------------------------------------------

rt::Ref<HTTPRequestSerializer> HTTPRequestSerializer::serializer() {
    return rt::make<HTTPRequestSerializer>();
}

ns::HTTPHeaderFields::const_iterator HTTPRequestSerializer::findHeader(std::string_view field) const {
    return std::find_if(headers_.begin(), headers_.end(), [&](const auto& h) {
        return h.first.size() == field.size() && strncasecmp(h.first.data(), field.data(), field.size()) == 0;
    });
}

void HTTPRequestSerializer::setValueForHTTPHeaderField(const rt::Ref<ns::String>& value, std::string_view field) {
    auto it = headers_.begin() + (findHeader(field) - headers_.cbegin());
    if (!value) {
        if (it != headers_.end()) headers_.erase(it);
    } else if (it != headers_.end()) {
        it->second = value->utf8();
    } else {
        headers_.emplace_back(std::string(field), value->utf8());
    }
}

rt::Ref<ns::String> HTTPRequestSerializer::valueForHTTPHeaderField(std::string_view field) const {
    auto it = findHeader(field);
    return it == headers_.end() ? nullptr : ns::String::make(it->second);
}

std::string HTTPRequestSerializer::queryStringFromParameters(const ns::Dictionary& parameters) {
    std::vector<std::pair<std::string, rt::Id>> pairs;
    pairs.reserve(parameters.count());
    for (const auto& [key, value] : parameters)
        pairs.emplace_back(textOf(key), value);
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string query;
    for (const auto& [key, value] : pairs) {
        if (!query.empty()) query += '&';
        query += ns::stringByAddingPercentEncoding(key);
        if (rt::cast<ns::Null>(value)) continue;
        query += '=';
        query += ns::stringByAddingPercentEncoding(textOf(value));
    }
    return query;
}

void HTTPRequestSerializer::appendQuery(ns::MutableURLRequest& request, const ns::Dictionary& parameters) {
    const std::string query = queryStringFromParameters(parameters);
    if (query.empty()) return;
    std::string url = request.URL()->string();
    const std::size_t hash = url.find('#');
    const std::string fragment = hash == std::string::npos ? std::string() : url.substr(hash);
    if (hash != std::string::npos) url.erase(hash);
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += query;
    request.setURL(ns::URL::URLWithString(url + fragment));
}

bool HTTPRequestSerializer::encodeParameters(ns::MutableURLRequest& request, const ns::Dictionary& parameters,
                                             rt::Ref<ns::Error>*) const {
    appendQuery(request, parameters);
    return true;
}

rt::Ref<ns::MutableURLRequest> HTTPRequestSerializer::requestWithMethod(std::string_view method,
                                                                        std::string_view URLString,
                                                                        const rt::Ref<ns::Dictionary>& parameters,
                                                                        rt::Ref<ns::Error>* error) const {
    auto url = ns::URL::URLWithString(URLString);
    if (!url) {
        if (error) *error = ns::URLLoading::errorWithCode(ns::URLErrorBadURL, nullptr, URLString);
        return nullptr;
    }
    auto request = ns::MutableURLRequest::requestWithURL(url, timeout_);
    request->setHTTPMethod(method);
    for (const auto& [name, value] : headers_)
        request->setValueForHTTPHeaderField(value, name);
    if (parameters && !encodeParameters(*request, *parameters, error)) return nullptr;
    return request;
}

// ---- JSONRequestSerializer -----------------------------------------------------------------

rt::Ref<JSONRequestSerializer> JSONRequestSerializer::serializer() {
    return rt::make<JSONRequestSerializer>();
}

bool JSONRequestSerializer::encodeParameters(ns::MutableURLRequest& request, const ns::Dictionary& parameters,
                                             rt::Ref<ns::Error>* error) const {
    if (isBodyless(request.method())) return HTTPRequestSerializer::encodeParameters(request, parameters, error);
    rt::Ref<ns::Data> body = ns::JSONSerialization::dataWithJSONObject(rt::retained(&parameters), {}, error);
    if (!body) return false;
    if (!request.valueForHTTPHeaderField("Content-Type"))
        request.setValueForHTTPHeaderField("application/json", "Content-Type");
    request.setHTTPBody(body);
    return true;
}

// ---- JSONResponseSerializer ----------------------------------------------------------------

rt::Ref<JSONResponseSerializer> JSONResponseSerializer::serializer() {
    return rt::make<JSONResponseSerializer>();
}

rt::Id JSONResponseSerializer::responseObjectForResponse(const rt::Ref<ns::URLResponse>& response,
                                                         const rt::Ref<ns::Data>& data,
                                                         rt::Ref<ns::Error>* error) const {
    const std::string_view body = data ? data->view() : std::string_view();
    const bool blank = body.find_first_not_of(" \t\r\n") == std::string_view::npos;
    rt::Ref<ns::Error> parseError;
    rt::Id object = blank ? nullptr : ns::JSONSerialization::JSONObjectWithData(body, {}, &parseError);

    auto userInfo = ns::MutableDictionary::make();
    if (response) userInfo->setObjectForKey(response, NetworkingOperationFailingURLResponseErrorKey);
    auto http = rt::cast<ns::HTTPURLResponse>(response);
    const long status = http ? http->statusCode() : 200;
    if (status < 200 || status > 299) {
        if (object) userInfo->setObjectForKey(object, NetworkingOperationFailingURLResponseObjectErrorKey);
        if (error) *error = ns::Error::make(URLResponseSerializationErrorDomain, status, userInfo);
        return nullptr;
    }
    if (blank) return nullptr;
    if (!object) {
        if (parseError) userInfo->setObjectForKey(parseError, ns::UnderlyingErrorKey);
        if (error) *error = ns::Error::make(URLResponseSerializationErrorDomain, URLErrorCannotDecodeContentData, userInfo);
        return nullptr;
    }
    return object;
}

} // namespace hn
