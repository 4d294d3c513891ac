// The partner client: the transaction it builds from the stored identity and the items, the
// first address winning, the log line's masking, and its reply rules over loopback.

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/user_defaults.h"
#include "platform/foundation/url_loading.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "tests/service/service_fixture.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using service_test::ClientTest;

rt::Ref<ft::TestBaseModel> item(const char* profile, std::int64_t code) {
    auto model = ft::TestBaseModel::make();
    model->setProfile(ns::String::make(profile));
    model->setSuccess(code);
    return model;
}

// A number's value; -1 for anything else (text "1" included).
long number(const rt::Id& value) {
    auto n = rt::cast<ns::Number>(value);
    return n ? n->longValue() : -1;
}

class TrovelinTest : public ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        auto defaults = ns::UserDefaults::standardUserDefaults();
        defaults->setString("356938035643809", "uniqueid");
        defaults->setString("F2LXXXX", "serial");
        client = ft::TrovelinHttpClient::sharedHttpClientWithBaseUrl(ns::String::make(server.url("/partner")));
    }
    void TearDown() override {
        client = nullptr;
        ClientTest::TearDown();
    }
    rt::Ref<ns::MutableDictionary> build(std::initializer_list<rt::Id> items) {
        return client->buildTempTransactionWithSessionId(ns::String::make("S1"), ns::Array::withObjects(items), nullptr);
    }
    rt::Ref<ft::TrovelinHttpClient> client;
};

TEST_F(TrovelinTest, TheTransactionHoldsTheEighteenPartnerFields) {
    ns::UserDefaults::standardUserDefaults()->setString("MN1", "devicenumber");
    auto transaction = build({item("WIFI", 1), item("GPS", 1), item("BATTERY", 2)});
    ASSERT_EQ(transaction->count(), 18u);
    auto text = [&](const char* key) { return transaction->objectForKey(key)->description(); };
    EXPECT_EQ(text("uuid"), "S1");
    EXPECT_EQ(text("esnNumber"), "356938035643809");
    EXPECT_EQ(text("serialnumber"), "F2LXXXX");
    EXPECT_EQ(text("modelnumber"), "MN1");
    EXPECT_EQ(text("sourceMake"), "Apple");
    EXPECT_EQ(text("errorCode"), "1");
    EXPECT_EQ(text("sourceModel"), ft::Utility::hardwareName()->utf8());
    EXPECT_EQ(text("clientVer"), ft::Utility::clientVersion()->utf8());
    EXPECT_EQ(text("iosVersion"), ft::Utility::osVersion()->utf8());
    EXPECT_EQ(text("timeCreated"), ft::Utility::createDateString()->utf8());
    for (const char* key : {"MacAddress", "grade", "color", "devicememorysize", "AndroidVersion"})
        EXPECT_EQ(text(key), "") << key;
    EXPECT_EQ(text("sourceCarrier"), sim::currentDevice()->carrier.value().name);
    auto result = rt::cast<ns::Number>(transaction->objectForKey("result"));
    ASSERT_TRUE(result) << "the result is a number, not text";
    EXPECT_EQ(result->longValue(), 0);
    EXPECT_EQ(text("result_value"), "{\n  \"BATTERY\" : \"FAIL\",\n  \"GPS\" : \"SUCCESS\",\n  \"WIFI\" : \"SUCCESS\"\n}");
}

TEST_F(TrovelinTest, ResultIsOneOnlyWhenEveryItemPassedAndTheProductNamesTheModel) {
    ns::UserDefaults::standardUserDefaults()->setString("iPhone 7", "product");
    auto passed = build({item("WIFI", 1), item("WIFI", 1)});
    EXPECT_EQ(number(passed->objectForKey("result")), 1);
    EXPECT_EQ(passed->objectForKey("sourceModel")->description(), "iPhone 7");
    // An untested item counts against the result, and a later item of the same key wins.
    EXPECT_EQ(number(build({item("WIFI", 1), item("GPS", 0)})->objectForKey("result")), 0);
    EXPECT_EQ(build({item("WIFI", 2), item("WIFI", 1)})->objectForKey("result_value")->description(),
              "{\n  \"WIFI\" : \"SUCCESS\"\n}");
    // Nothing stored: every identity field is empty text.
    ns::UserDefaults::standardUserDefaults()->removeObjectForKey("uniqueid");
    auto empty = client->buildTempTransactionWithSessionId(nullptr, nullptr, nullptr);
    EXPECT_EQ(empty->objectForKey("uuid")->description(), "");
    EXPECT_EQ(empty->objectForKey("esnNumber")->description(), "");
    EXPECT_EQ(empty->objectForKey("result_value")->description(), "{}");
}

TEST_F(TrovelinTest, TheCarrierIsTheSimsAndEmptyWithoutOne) {
    sim::Profile p = sim::defaultProfile();
    p.carrier->name = "Tele Two";
    {
        sim::ScopedDevice device(p);
        EXPECT_EQ(build({})->objectForKey("sourceCarrier")->description(), "Tele Two");
    }
    p.carrier.reset();
    sim::ScopedDevice device(p);
    EXPECT_EQ(build({})->objectForKey("sourceCarrier")->description(), "");
}

TEST_F(TrovelinTest, TheFirstAddressWinsAndTheLogMasksWhatTheBodyCarriesWhole) {
    server.script("POST", "/partner/api/functionaltest_finish/", {.body = "{}"});
    EXPECT_EQ(client->timeoutInterval(), 30.0);
    auto again = ft::TrovelinHttpClient::sharedHttpClientWithBaseUrl(ns::String::make("http://elsewhere"));
    EXPECT_EQ(again.get(), client.get());
    EXPECT_EQ(again->webserviceserver()->utf8(), server.url("/partner"));

    auto recorder = testkit::record(client->reportTempTransactionWithData(build({item("WIFI", 1)})));
    app().advance(0);
    EXPECT_EQ(recorder.text(), "{\n} C");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/partner/api/functionaltest_finish/");
    EXPECT_EQ(requests[0].contentType, "application/json");
    auto body = rt::cast<ns::Dictionary>(parse(requests[0].body));
    ASSERT_TRUE(body);
    EXPECT_EQ(body->objectForKey("esnNumber")->description(), "356938035643809");
    EXPECT_EQ(body->objectForKey("serialnumber")->description(), "F2LXXXX");
    EXPECT_EQ(number(body->objectForKey("result")), 1);

    EXPECT_TRUE(app().logContains("\"esnNumber\" : \"***********3809\""));
    EXPECT_TRUE(app().logContains("\"serialnumber\" : \"***XXXX\""));
    for (const std::string& line : app().logLines()) {
        EXPECT_EQ(line.find("356938035643809"), std::string::npos) << line;
        EXPECT_EQ(line.find("F2LXXXX"), std::string::npos) << line;
    }
}

TEST_F(TrovelinTest, AnErrorObjectIsTheRepliesAnswerAnyOtherFailureIsTheRequestsError) {
    struct Case {
        testkit::ScriptedReply reply;
        std::string events;
    };
    const Case cases[] = {
        {{.status = 409, .body = R"({"error": "x", "status": 409})"}, R"(<{"error":"x","status":409}> C)"},
        {{.status = 200, .body = R"({"error": "Bad serial"})"}, R"(<{"error":"Bad serial"}> C)"},
        {{.status = 500, .body = R"({"message": "no"})"}, "E:HNURLResponseSerializationErrorDomain/500"},
        {{.status = 500, .body = R"(["error"])"}, "E:HNURLResponseSerializationErrorDomain/500"},
        {{.status = 200, .body = "garbage", .contentType = "text/plain"}, "E:HNURLResponseSerializationErrorDomain/-1016"},
    };
    for (const Case& c : cases) {
        server.script("POST", "/partner/api/functionaltest_finish/", c.reply);
        std::string events;
        auto signal = client->reportTempTransactionWithData(build({item("WIFI", 1)}));
        auto disposable = signal->subscribeNextErrorCompleted(
            [&](const rt::Id& v) { events += "<" + json(v) + "> "; },
            [&](const rt::Ref<ns::Error>& e) { events += "E:" + e->domain()->utf8() + "/" + std::to_string(e->code()); },
            [&] { events += "C"; });
        app().advance(0);
        EXPECT_EQ(events, c.events) << c.reply.body;
    }
}

TEST_F(TrovelinTest, ATimeOutAndARefusalAreTheRequestsErrorsAndDisposalIsSilent) {
    server.script("POST", "/partner/api/functionaltest_finish/", {.body = "{}", .atGate = true});
    client->setTimeoutIntervalForTesting(0.2);
    auto timedOut = testkit::record(client->reportTempTransactionWithData(build({})), {.errorDomains = true});
    app().advance(0);
    EXPECT_EQ(timedOut.text(), "E:NSURLErrorDomain/-1001+info");

    auto cancelled = testkit::record(client->reportTempTransactionWithData(build({})));
    ASSERT_TRUE(server.gate.waitEntered(2));
    cancelled.dispose();
    ASSERT_TRUE(server.gate.release());
    app().advance(0);
    EXPECT_EQ(cancelled.text(), "");
}

// Threads racing for the first call: one client, made once, with one of their addresses.
TEST(SharedClients, ThreadsRacingForTheFirstCallGetOneClient) {
    ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
    ft::HttpClient::resetSharedHttpClientForTesting();
    constexpr int kThreads = 6;
    testkit::Latch ready(kThreads), go(1);
    std::vector<rt::Ref<ft::TrovelinHttpClient>> partners(kThreads);
    std::vector<rt::Ref<ft::HttpClient>> services(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            ready.countDown();
            EXPECT_TRUE(go.wait());
            partners[i] = ft::TrovelinHttpClient::sharedHttpClientWithBaseUrl(
                ns::String::make("http://host" + std::to_string(i)));
            services[i] = ft::HttpClient::sharedHttpClient();
        });
    EXPECT_TRUE(ready.wait());
    go.countDown();
    for (auto& thread : threads) thread.join();
    const std::string base = partners[0]->webserviceserver()->utf8();
    EXPECT_EQ(base.rfind("http://host", 0), 0u);
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(partners[i].get(), partners[0].get());
        EXPECT_EQ(services[i].get(), services[0].get());
    }
    partners.clear();
    services.clear();
    ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
    ft::HttpClient::resetSharedHttpClientForTesting();
}

} // namespace
