#pragma once
// ft::HttpClient ("HttpClient"): the client of the service's HTTP/JSON interface, one shared
// instance. Every call returns a cold signal: each subscription sends one request through the
// client's HN manager (JSON request and response serializers, time-out 10.0 s as the request's
// timeoutInterval, enforced by URL loading in real time) and ends with
//   - next(the decoded reply), then completed, for a 2xx reply (the reply's content is the
//     caller's to judge: "status" is read as a whole number, 1 or "1");
//   - one error for any failure (refused, timed out, a status outside 2xx, a body that is not
//     JSON): domain the localised "LOGINVIEWCONTROLLER_WARNING", code the failure's code (the HTTP
//     status, or the URL loading code), user info NSLocalizedFailureReason = the failure's reason
//     or "timeout" when it has none, and NSUnderlyingError = the failure itself.
// Disposing a subscription cancels its request silently. Events arrive on the main thread.
//
// Request contracts (the reference service in tools/ serves them):
//   clientProfile        POST <profile server>/profiles/clients/_find   {"id": kClientId}
//                        -> {"adminconsoleserver": "http://.../admin/", "webserviceserver": "http://.../ws"}
//                        The profile server is Info.json's kProfileServerInfoKey (scheme and host).
//   authenticate         POST <adminconsoleserver>api/auth/   {"username", "password"}
//                        -> {"status": 1, "loginid": 7, "company": 3, "site": 12};
//                           401 {"status": 0, "error"} for a wrong user or password
//   featureSettings      GET <adminconsoleserver>api/pdt/quarnotix/getfeaturesettings/<company>/<site>/
//                        -> {"status": 1, "features": ["WIFI", ...], "productid": "P1", "solutionid": "S1"}
//   insertTransaction    POST <webserviceserver>/insert/   text entries "uuid" (made by the client),
//                        "operator", "company", "site", "productid", "solutionid", "timeCreated",
//                        "esnNumber", "sourceMake", "modelnumber", "sourceModel", "osversion",
//                        "clientVer", "MacAddress"
//                        -> {"status": 1}; a uuid sent again is the same transaction; an
//                           operator who has not logged in: 401 {"status": 0, "error"}
//   reportTransacationWithParamter
//                        POST <webserviceserver>/updateresult/   the insert's entries plus
//                        "update_record", "result", "result_value", "errorCode", all text
//                        -> {"status": 1}; an unknown uuid: 404 {"status": 0, "error"}
//
// The addresses are set on the main thread at login (tests set them); reading them is safe from
// any thread.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace hn {
class HTTPRequestOperationManager;
}

namespace ft {

class HttpClient : public rt::Object {
    RT_CLASS(HttpClient)
public:
    static constexpr double kTimeoutInterval = 10.0;
    // Info.json's key for the profile server (scheme and host), and the record the client asks for.
    static constexpr const char* kProfileServerInfoKey = "FTProfileServerAddress";
    static constexpr const char* kClientId = "5f3c9a7e2b1d4c0013e8a6b2";

    // The shared client, made on the first call.
    static rt::Ref<HttpClient> sharedHttpClient();

    // The web-service and admin-console addresses from the client-profile reply; nil until set.
    rt::Ref<ns::String> webserviceserver() const;
    void setWebserviceserver(const rt::Ref<ns::String>& address);
    rt::Ref<ns::String> adminconsoleserver() const;
    void setAdminconsoleserver(const rt::Ref<ns::String>& address);

    rt::Ref<es::Signal> clientProfile();
    rt::Ref<es::Signal> authenticate(const rt::Ref<ns::String>& username, const rt::Ref<ns::String>& password);
    rt::Ref<es::Signal> featureSettings(std::int64_t company, const rt::Ref<ns::Number>& site);
    rt::Ref<es::Signal> insertTransaction(const rt::Ref<ns::Dictionary>& transaction);
    rt::Ref<es::Signal> reportTransacationWithParamter(const rt::Ref<ns::Dictionary>& parameters);

    // "<profile server>/profiles/clients/_find", from the main bundle's info (run settings included).
    static std::string clientProfileAddress();

    // Tests: forget the shared client (the next call makes a new one), and change the time-out of
    // the requests made from now on.
    static void resetSharedHttpClientForTesting();
    void setTimeoutIntervalForTesting(double seconds);
    double timeoutInterval() const;

protected:
    HttpClient();

private:
    rt::Ref<es::Signal> post(std::string url, rt::Ref<ns::Dictionary> parameters);

    rt::Ref<hn::HTTPRequestOperationManager> manager_;
    mutable std::mutex lock_;
    std::optional<std::string> webserviceserver_, adminconsoleserver_;
};

} // namespace ft
