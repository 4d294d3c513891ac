#include "service/http_client.h"

#include "net/http/http_request_operation_manager.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "service/json_request.h"

RT_DEFINE_CLASS(ft::HttpClient, "HttpClient", rt::Object)

namespace ft {

namespace {

using SharedHttpClient = detail::SharedClientSlot<HttpClient>;

rt::Ref<ns::String> boxed(const std::optional<std::string>& text) {
    return text ? ns::String::make(*text) : nullptr;
}

std::optional<std::string> unboxed(const rt::Ref<ns::String>& text) {
    return text ? std::optional<std::string>(text->utf8()) : std::nullopt;
}

// The service's error for a failed request (see the header).
void sendServiceError(const rt::Ref<es::Subscriber>& subscriber, const rt::Ref<ns::Error>& failure) {
    rt::Ref<ns::String> reason = failure ? failure->localizedFailureReason() : nullptr;
    auto userInfo = ns::MutableDictionary::make();
    userInfo->setObjectForKey(reason ? reason : ns::String::make("timeout"), ns::LocalizedFailureReasonErrorKey);
    if (failure) userInfo->setObjectForKey(failure, ns::UnderlyingErrorKey);
    subscriber->sendError(ns::Error::make(ns::NSLocalizedString("LOGINVIEWCONTROLLER_WARNING"),
                                          failure ? failure->code() : 0, userInfo));
}

std::string text(const rt::Ref<ns::String>& value) {
    return value ? value->utf8() : std::string("(null)");
}

} // namespace

HttpClient::HttpClient() : manager_(detail::jsonManager(kTimeoutInterval)) {}

rt::Ref<HttpClient> HttpClient::sharedHttpClient() {
    return SharedHttpClient::get([] { return rt::make<HttpClient>(); });
}

void HttpClient::resetSharedHttpClientForTesting() {
    SharedHttpClient::reset();
}

rt::Ref<ns::String> HttpClient::webserviceserver() const {
    std::lock_guard guard(lock_);
    return boxed(webserviceserver_);
}

void HttpClient::setWebserviceserver(const rt::Ref<ns::String>& address) {
    std::lock_guard guard(lock_);
    webserviceserver_ = unboxed(address);
}

rt::Ref<ns::String> HttpClient::adminconsoleserver() const {
    std::lock_guard guard(lock_);
    return boxed(adminconsoleserver_);
}

void HttpClient::setAdminconsoleserver(const rt::Ref<ns::String>& address) {
    std::lock_guard guard(lock_);
    adminconsoleserver_ = unboxed(address);
}

void HttpClient::setTimeoutIntervalForTesting(double seconds) {
    detail::setManagerTimeout(manager_, seconds);
}

double HttpClient::timeoutInterval() const {
    return detail::managerTimeout(manager_);
}

std::string HttpClient::clientProfileAddress() {
    auto server = rt::cast<ns::String>(ns::Bundle::mainBundle()->objectForInfoDictionaryKey(kProfileServerInfoKey));
    return text(server) + "/profiles/clients/_find";
}

rt::Ref<es::Signal> HttpClient::post(std::string url, rt::Ref<ns::Dictionary> parameters) {
    return detail::jsonRequestSignal(manager_, detail::Method::Post, std::move(url), std::move(parameters),
                                     sendServiceError);
}

rt::Ref<es::Signal> HttpClient::clientProfile() {
    return post(clientProfileAddress(), ns::Dictionary::withPairs({{ns::String::make("id"), ns::String::make(kClientId)}}));
}

rt::Ref<es::Signal> HttpClient::authenticate(const rt::Ref<ns::String>& username, const rt::Ref<ns::String>& password) {
    auto body = ns::MutableDictionary::make();
    body->setObjectForKey(username ? username : ns::String::empty(), "username");
    body->setObjectForKey(password ? password : ns::String::empty(), "password");
    return post(text(adminconsoleserver()) + "api/auth/", body);
}

rt::Ref<es::Signal> HttpClient::featureSettings(std::int64_t company, const rt::Ref<ns::Number>& site) {
    std::string url = ns::format("%@api/pdt/quarnotix/getfeaturesettings/%lld/%@/", adminconsoleserver(),
                                 static_cast<long long>(company), site);
    return detail::jsonRequestSignal(manager_, detail::Method::Get, std::move(url), nullptr, sendServiceError);
}

rt::Ref<es::Signal> HttpClient::insertTransaction(const rt::Ref<ns::Dictionary>& transaction) {
    return post(text(webserviceserver()) + "/insert/", transaction);
}

rt::Ref<es::Signal> HttpClient::reportTransacationWithParamter(const rt::Ref<ns::Dictionary>& parameters) {
    return post(text(webserviceserver()) + "/updateresult/", parameters);
}

} // namespace ft
