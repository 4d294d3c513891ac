#include "service/request_failure.h"

#include "net/http/serialization.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/foundation/url_loading.h"

namespace ft {

namespace {

// The request's own failure: the error itself, or the one a client's error carries.
rt::Ref<ns::Error> requestFailure(rt::Ref<ns::Error> error) {
    while (error && error->domain()->utf8() != hn::URLResponseSerializationErrorDomain &&
           error->domain()->utf8() != ns::URLErrorDomain) {
        auto underlying = rt::cast<ns::Error>(error->userInfo()->objectForKey(ns::UnderlyingErrorKey));
        if (!underlying) break;
        error = underlying;
    }
    return error;
}

} // namespace

std::string quotedExcerpt(std::string_view body) {
    constexpr std::size_t kExcerptBytes = 80;
    std::string out;
    for (char c : body.substr(0, kExcerptBytes))
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    return "\"" + out + (body.size() > kExcerptBytes ? "...\"" : "\"");
}

std::string requestFailureText(const rt::Ref<ns::Error>& error, const rt::Ref<ns::Data>& body) {
    const rt::Ref<ns::Error> failure = requestFailure(error);
    if (!failure) return "no failure";
    const rt::Ref<ns::Dictionary> info = failure->userInfo();
    if (failure->domain()->utf8() == hn::URLResponseSerializationErrorDomain) {
        auto response = rt::cast<ns::HTTPURLResponse>(
            info->objectForKey(hn::NetworkingOperationFailingURLResponseErrorKey));
        const std::string status =
            "HTTP " + std::to_string(response ? response->statusCode() : failure->code());
        std::string shown = body ? std::string(body->view()) : std::string();
        if (shown.empty())
            if (rt::Id object = info->objectForKey(hn::NetworkingOperationFailingURLResponseObjectErrorKey))
                if (auto data = ns::JSONSerialization::dataWithJSONObject(object, {}, nullptr))
                    shown = data->view();
        if (failure->code() == hn::URLErrorCannotDecodeContentData)
            return status + ", the reply is not JSON" + (shown.empty() ? "" : ": " + quotedExcerpt(shown));
        return status + (shown.empty() ? "" : ": " + quotedExcerpt(shown));
    }
    std::string text = failure->localizedDescription()->utf8() + " (" + std::to_string(failure->code());
    if (auto detail = rt::cast<ns::String>(info->objectForKey(ns::DebugDescriptionErrorKey)))
        text += ": " + detail->utf8();
    return text + ")";
}

} // namespace ft
