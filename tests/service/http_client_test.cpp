// The service client over loopback: each call's request and reply against the reference service,
// and the update's signal rules (cold, the error's shape for every kind of failure, the time-out,
// silent cancellation, main-thread delivery).

#include <string>

#include <gtest/gtest.h>

#include "net/http/serialization.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/url_loading.h"
#include "platform/runtime/number.h"
#include "streams/disposable.h"
#include "tests/service/service_fixture.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using namespace std::chrono_literals;
using service_test::ClientTest;

// What one subscription saw, and whether every event came on the main thread.
struct Seen {
    std::vector<rt::Id> values;
    rt::Ref<ns::Error> error;
    int completions = 0;
    bool offMain = false;

    rt::Ref<es::Disposable> subscribe(const rt::Ref<es::Signal>& signal) {
        return signal->subscribeNextErrorCompleted(
            [this](const rt::Id& v) {
                offMain = offMain || !ns::Thread::isMainThread();
                values.push_back(v);
            },
            [this](const rt::Ref<ns::Error>& e) {
                offMain = offMain || !ns::Thread::isMainThread();
                error = e;
            },
            [this] {
                offMain = offMain || !ns::Thread::isMainThread();
                ++completions;
            });
    }
    std::string reason() const {
        auto text = error ? error->localizedFailureReason() : nullptr;
        return text ? text->utf8() : "<none>";
    }
};

class HttpClientTest : public ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        client = ft::HttpClient::sharedHttpClient();
        client->setWebserviceserver(ns::String::make(server.url("/ws")));
    }
    void TearDown() override {
        client = nullptr;
        ClientTest::TearDown();
    }
    rt::Ref<ns::Dictionary> update() {
        return rt::downcast<ns::Dictionary>(parse(R"({"uuid": "T-1", "result": "1"})"));
    }
    rt::Ref<ft::HttpClient> client;
};

TEST_F(HttpClientTest, TheUpdatePostsJSONAndAReplyEndsTheSignal) {
    EXPECT_EQ(client.get(), ft::HttpClient::sharedHttpClient().get());
    EXPECT_EQ(client->timeoutInterval(), 10.0);
    server.script("POST", "/ws/updateresult/", {.body = R"({"status": 1})"});
    auto signal = client->reportTransacationWithParamter(update());
    app().advance(0);
    EXPECT_TRUE(server.requests().empty()) << "cold: nothing is sent before a subscription";

    Seen first, second;
    first.subscribe(signal);
    second.subscribe(signal);
    app().advance(0);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/ws/updateresult/");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_EQ(json(parse(requests[0].body)), R"({"result":"1","uuid":"T-1"})");
    for (const Seen* seen : {&first, &second}) {
        ASSERT_EQ(seen->values.size(), 1u);
        EXPECT_EQ(json(seen->values[0]), R"({"status":1})");
        EXPECT_EQ(seen->completions, 1);
        EXPECT_FALSE(seen->error);
        EXPECT_FALSE(seen->offMain);
    }
}

TEST_F(HttpClientTest, EveryFailureIsOneErrorInTheWarningDomainWithItsCodeAndAReason) {
    server.script("POST", "/ws/updateresult/", {.status = 500, .body = R"({"error": "boom"})"});
    server.script("POST", "/garbage/updateresult/", {.body = "<html>", .contentType = "text/html"});
    struct Case {
        std::string webservice;
        long code;
    };
    const Case cases[] = {
        {server.url("/ws"), 500},
        {server.url("/garbage"), hn::URLErrorCannotDecodeContentData},
        {"http://127.0.0.1:1", ns::URLErrorCannotConnectToHost},
        {"not a url", ns::URLErrorBadURL},
    };
    for (const Case& c : cases) {
        client->setWebserviceserver(ns::String::make(c.webservice));
        Seen seen;
        seen.subscribe(client->reportTransacationWithParamter(update()));
        app().advance(0);
        ASSERT_TRUE(seen.error) << c.webservice;
        EXPECT_TRUE(seen.values.empty());
        EXPECT_EQ(seen.completions, 0);
        EXPECT_FALSE(seen.offMain);
        EXPECT_EQ(seen.error->domain()->utf8(), "Warning") << c.webservice;
        EXPECT_EQ(seen.error->code(), c.code) << c.webservice;
        EXPECT_NE(seen.reason(), "<none>");
        EXPECT_TRUE(seen.error->underlyingError()) << c.webservice;
    }
}

TEST_F(HttpClientTest, AHeldReplyTimesOutWithTheTimeoutReasonAndItsLateAnswerIsIgnored) {
    server.script("POST", "/ws/updateresult/", {.body = R"({"status": 1})", .atGate = true});
    client->setTimeoutIntervalForTesting(0.2);
    const double start = app().clock().now();
    Seen seen;
    seen.subscribe(client->reportTransacationWithParamter(update()));
    app().advance(0);
    ASSERT_TRUE(seen.error);
    EXPECT_EQ(seen.error->code(), ns::URLErrorTimedOut);
    EXPECT_EQ(seen.reason(), "timeout");
    EXPECT_EQ(app().clock().now(), start) << "network time is real time";
    ASSERT_TRUE(server.gate.release());
    app().advance(0);
    EXPECT_TRUE(seen.values.empty());
    EXPECT_EQ(seen.completions, 0);
}

TEST_F(HttpClientTest, DisposingCancelsTheRequestSilently) {
    server.script("POST", "/ws/updateresult/", {.body = R"({"status": 1})", .atGate = true});
    Seen seen;
    auto disposable = seen.subscribe(client->reportTransacationWithParamter(update()));
    ASSERT_TRUE(server.gate.waitEntered(1));
    disposable->dispose();
    app().advance(0);
    ASSERT_TRUE(server.gate.release());
    app().advance(0);
    EXPECT_TRUE(seen.values.empty());
    EXPECT_FALSE(seen.error);
    EXPECT_EQ(seen.completions, 0);
}

TEST_F(HttpClientTest, TheLoginCallsFollowTheirContractsAgainstTheReferenceService) {
    refsvc::Service& service = startReference();
    Seen profile;
    profile.subscribe(client->clientProfile());
    app().advance(0);
    ASSERT_EQ(profile.values.size(), 1u) << profile.reason();
    auto addresses = rt::cast<ns::Dictionary>(profile.values[0]);
    ASSERT_TRUE(addresses);
    EXPECT_EQ(addresses->objectForKey("adminconsoleserver")->description(), service.adminUrl());
    EXPECT_EQ(addresses->objectForKey("webserviceserver")->description(), service.webServiceUrl());
    client->setAdminconsoleserver(rt::cast<ns::String>(addresses->objectForKey("adminconsoleserver")));
    client->setWebserviceserver(rt::cast<ns::String>(addresses->objectForKey("webserviceserver")));

    Seen wrong, auth;
    wrong.subscribe(client->authenticate(ns::String::make("op1"), ns::String::make("nope")));
    auth.subscribe(client->authenticate(ns::String::make("op1"), ns::String::make("pw1")));
    app().advance(0);
    ASSERT_TRUE(wrong.error);
    EXPECT_EQ(wrong.error->code(), 401);
    ASSERT_EQ(auth.values.size(), 1u) << auth.reason();
    EXPECT_EQ(json(auth.values[0]), R"({"company":3,"loginid":7,"site":12,"status":1})");

    Seen features;
    features.subscribe(client->featureSettings(3, ns::Number::withInt(12)));
    app().advance(0);
    ASSERT_EQ(features.values.size(), 1u) << features.reason();
    auto reply = rt::cast<ns::Dictionary>(features.values[0]);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->objectForKey("productid")->description(), "P1");

    auto insert = ns::MutableDictionary::make();
    for (const char* key : {"operator", "company", "site", "productid", "solutionid", "timeCreated", "esnNumber",
                            "sourceMake", "modelnumber", "sourceModel", "osversion", "clientVer", "MacAddress"})
        insert->setObjectForKey(ns::String::make("x"), key);
    insert->setObjectForKey(ns::String::make("7"), "operator"); // the login id of the login above
    insert->setObjectForKey(ns::String::make("U-1"), "uuid");
    Seen inserted;
    inserted.subscribe(client->insertTransaction(insert));
    app().advance(0);
    ASSERT_EQ(inserted.values.size(), 1u) << inserted.reason();
    EXPECT_EQ(json(inserted.values[0]), R"({"status":1})");
    EXPECT_TRUE(service.transaction("U-1"));

    std::vector<std::string> calls;
    for (const auto& r : service.requests()) calls.push_back(r.call);
    EXPECT_EQ(calls, (std::vector<std::string>{"profile", "auth", "auth", "features", "insert"}));
}

} // namespace
