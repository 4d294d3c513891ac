#pragma once
// ft::TrovelinHttpClient ("TrovelinHttpClient"): the client of the trade-in partner's service, one
// shared instance whose address is fixed by the first call of the process.
//
//   reportTempTransactionWithData   POST <base>/api/functionaltest_finish/   the partner transaction
//                                   -> {} (or any object without "error") on success;
//                                      {"error": text, "status": 409} for a session finished before
//
// The request has JSON serializers and a time-out of 30.0 s (timeoutInterval, real time). Its
// signal is cold: next(the decoded reply), then completed; or one error, the request's own
// ns::Error. A failure whose parsed body (the HN failure's user info) is a JSON object holding
// "error" is the partner's answer, so it arrives as next(that body), then completed. Disposing
// cancels silently; events arrive on the main thread.
//
// The partner transaction (buildTempTransactionWithSessionId), every value text except "result":
//   "uuid" the session id            "timeCreated" Utility::createDateString
//   "esnNumber" default "uniqueid"   "serialnumber" default "serial"
//   "modelnumber" default "devicenumber"
//   "sourceModel" default "product", or Utility::hardwareName when that is absent or empty
//   "sourceMake" "Apple"  "clientVer" Utility::clientVersion  "iosVersion" Utility::osVersion
//   "errorCode" "1"
//   "result" the number 0 when any item has not passed (untested included), else 1; a result
//            text given by the caller is sent as it is
//   "result_value" the items' {profile: "SUCCESS" for code 1, "FAIL" otherwise} as pretty JSON
//            with sorted keys (a later item of the same key wins)
//   "sourceCarrier" the SIM's carrier name (si::Carrier::carrierName), "" without a SIM
//   "MacAddress", "grade", "color", "devicememorysize", "AndroidVersion" ""
// An absent default gives "".

#include <mutex>
#include <string>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace hn {
class HTTPRequestOperationManager;
}

namespace ft {

class TrovelinHttpClient : public rt::Object {
    RT_CLASS(TrovelinHttpClient)
public:
    static constexpr double kTimeoutInterval = 30.0;

    // The shared client, made on the first call with `baseUrl`; later addresses are ignored.
    static rt::Ref<TrovelinHttpClient> sharedHttpClientWithBaseUrl(const rt::Ref<ns::String>& baseUrl);

    // The base address fixed at the first call.
    rt::Ref<ns::String> webserviceserver() const;

    // `items` holds ft::TestBaseModel; other objects are skipped. See above.
    rt::Ref<ns::MutableDictionary> buildTempTransactionWithSessionId(const rt::Ref<ns::String>& sessionId,
                                                                    const rt::Ref<ns::Array>& items,
                                                                    const rt::Ref<ns::String>& result);
    // Logs the transaction as pretty JSON with "esnNumber" and "serialnumber" masked to their last 4
    // characters (the request carries them whole), and returns the request's signal.
    rt::Ref<es::Signal> reportTempTransactionWithData(const rt::Ref<ns::Dictionary>& transaction);

    // {profile: "SUCCESS" | "FAIL"} over the items (ft::TestBaseModel; others skipped), and
    // whether any of them has not passed.
    static rt::Ref<ns::MutableDictionary> resultsOfItems(const rt::Ref<ns::Array>& items, bool* anyNotPassed);
    // Pretty-printed JSON with sorted keys; nil when the object cannot be written.
    static rt::Ref<ns::String> prettyJSONText(const rt::Id& object);

    // Tests: forget the shared client (the next call fixes a new address), and change the time-out
    // of the requests made from now on.
    static void resetSharedHttpClientForTesting();
    void setTimeoutIntervalForTesting(double seconds);
    double timeoutInterval() const;

protected:
    TrovelinHttpClient() = default;

private:
    rt::Ref<hn::HTTPRequestOperationManager> manager_;
    std::string base_;
};

} // namespace ft
