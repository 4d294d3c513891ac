#include "service/trovelin_http_client.h"

#include "device/si_carrier.h"
#include "net/http/http_request_operation_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/json.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "service/json_request.h"
#include "session/core/identity_masking.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"

RT_DEFINE_CLASS(ft::TrovelinHttpClient, "TrovelinHttpClient", rt::Object)

namespace ft {

namespace {

using SharedTrovelinClient = detail::SharedClientSlot<TrovelinHttpClient>;

// The user default's text; "" when absent or not text.
rt::Ref<ns::String> storedText(std::string_view key) {
    rt::Ref<ns::String> value = ns::UserDefaults::standardUserDefaults()->stringForKey(key);
    return value ? value : ns::String::empty();
}

// A failure whose parsed body is an object holding "error" is the partner's answer.
void sendPartnerFailure(const rt::Ref<es::Subscriber>& subscriber, const rt::Ref<ns::Error>& failure) {
    const auto& info = failure ? failure->userInfo() : nullptr;
    auto body = info ? rt::cast<ns::Dictionary>(info->objectForKey(hn::NetworkingOperationFailingURLResponseObjectErrorKey))
                     : nullptr;
    if (body && body->containsKey("error")) {
        subscriber->sendNext(body);
        subscriber->sendCompleted();
        return;
    }
    subscriber->sendError(failure);
}

} // namespace

rt::Ref<TrovelinHttpClient> TrovelinHttpClient::sharedHttpClientWithBaseUrl(const rt::Ref<ns::String>& baseUrl) {
    return SharedTrovelinClient::get([&] {
        auto client = rt::make<TrovelinHttpClient>();
        client->base_ = baseUrl ? baseUrl->utf8() : std::string();
        client->manager_ = detail::jsonManager(kTimeoutInterval);
        return client;
    });
}

void TrovelinHttpClient::resetSharedHttpClientForTesting() {
    SharedTrovelinClient::reset();
}

rt::Ref<ns::String> TrovelinHttpClient::webserviceserver() const {
    return ns::String::make(base_);
}

void TrovelinHttpClient::setTimeoutIntervalForTesting(double seconds) {
    detail::setManagerTimeout(manager_, seconds);
}

double TrovelinHttpClient::timeoutInterval() const {
    return detail::managerTimeout(manager_);
}

rt::Ref<ns::MutableDictionary> TrovelinHttpClient::resultsOfItems(const rt::Ref<ns::Array>& items, bool* anyNotPassed) {
    auto results = ns::MutableDictionary::make();
    bool notPassed = false;
    if (items) {
        for (const rt::Id& object : *items) {
            auto item = rt::cast<TestBaseModel>(object);
            if (!item || !item->profile()) continue;
            const bool passed = item->success() == TestBaseModel::kPassed;
            notPassed = notPassed || !passed;
            results->setObjectForKey(ns::String::make(passed ? "SUCCESS" : "FAIL"), item->profile()->utf8());
        }
    }
    if (anyNotPassed) *anyNotPassed = notPassed;
    return results;
}

rt::Ref<ns::String> TrovelinHttpClient::prettyJSONText(const rt::Id& object) {
    auto text = ns::JSONSerialization::stringWithJSONObject(
        object, ns::JSONWritingOptions::PrettyPrinted | ns::JSONWritingOptions::SortedKeys);
    return text ? ns::String::make(*text) : nullptr;
}

rt::Ref<ns::MutableDictionary> TrovelinHttpClient::buildTempTransactionWithSessionId(
    const rt::Ref<ns::String>& sessionId, const rt::Ref<ns::Array>& items, const rt::Ref<ns::String>& result) {
    bool anyNotPassed = false;
    rt::Ref<ns::String> resultValue = prettyJSONText(resultsOfItems(items, &anyNotPassed));
    rt::Ref<ns::String> product = storedText("product");
    auto transaction = ns::MutableDictionary::make();
    auto set = [&](const char* key, const rt::Id& value) { transaction->setObjectForKey(value, key); };
    set("uuid", sessionId ? sessionId : ns::String::empty());
    set("timeCreated", Utility::createDateString());
    set("esnNumber", storedText("uniqueid"));
    set("sourceMake", ns::String::make("Apple"));
    set("clientVer", Utility::clientVersion());
    set("MacAddress", ns::String::empty());
    set("errorCode", ns::String::make("1"));
    set("result", result ? rt::Id(result) : rt::Id(ns::Number::withInt(anyNotPassed ? 0 : 1)));
    set("result_value", resultValue ? resultValue : ns::String::empty());
    for (const char* key : {"grade", "color", "devicememorysize", "AndroidVersion"})
        set(key, ns::String::empty());
    const rt::Ref<ns::String> carrier = si::Carrier::carrierName();
    set("sourceCarrier", carrier ? carrier : ns::String::empty());
    set("iosVersion", Utility::osVersion());
    set("serialnumber", storedText("serial"));
    set("modelnumber", storedText("devicenumber"));
    set("sourceModel", product->length() > 0 ? product : Utility::hardwareName());
    return transaction;
}

rt::Ref<es::Signal> TrovelinHttpClient::reportTempTransactionWithData(const rt::Ref<ns::Dictionary>& transaction) {
    auto logged = transaction ? transaction->mutableCopy() : ns::MutableDictionary::make();
    for (const char* key : {"esnNumber", "serialnumber"}) {
        if (auto value = rt::cast<ns::String>(logged->objectForKey(key)))
            logged->setObjectForKey(ns::String::make(maskedIdentifier(value->utf8())), key);
    }
    ns::log("%@", prettyJSONText(logged));
    return detail::jsonRequestSignal(manager_, detail::Method::Post, base_ + "/api/functionaltest_finish/", transaction,
                                     sendPartnerFailure);
}

} // namespace ft
