// Injected faults: the rule syntax, each kind as a client sees it, counted rules, and that a
// faulted request stores nothing.

#include <chrono>
#include <thread>

#include "tests/tools/service_fixture.h"

namespace refsvc_test {
namespace {

TEST(FaultRuleTest, ReadsEveryFormAndRefusesTheRest) {
    for (const char* text : {"profile=refuse", "auth=500*1", "features=slow:0.25", "models=garbage*3",
                             "insert=slow:2*1", "update=500", "partner=refuse*2", "ip=500", "all=slow:0"}) {
        std::string error;
        auto fault = refsvc::Fault::parse(text, &error);
        ASSERT_TRUE(fault) << text << ": " << error;
        EXPECT_EQ(fault->describe(), text);
    }
    auto slow = refsvc::Fault::parse("insert=slow:2.5*1");
    EXPECT_EQ(slow->call, refsvc::Call::Insert);
    EXPECT_DOUBLE_EQ(slow->delaySeconds, 2.5);
    EXPECT_FALSE(refsvc::Fault::parse("all=500")->call);

    for (const char* bad : {"", "auth", "=500", "login=500", "auth=404", "auth=slow", "auth=slow:",
                            "auth=slow:-1", "auth=slow:nan", "auth=slow:4000", "auth=500*0", "auth=500*",
                            "auth=500*x", "auth=500*1*1", "auth=refuse*-2", "AUTH=500", "auth=500 "}) {
        std::string error;
        EXPECT_FALSE(refsvc::Fault::parse(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST_F(ServiceTest, RefuseClosesTheConnectionUnansweredAndStoresNothing) {
    start({"insert=refuse"});
    Reply refused = post("/ws/insert/", insertBody("T-1"));
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.error, httplib::Error::Read); // connected, then closed without a byte
    EXPECT_EQ(post("/ws/insert/", insertBody("T-1")).error, httplib::Error::Read); // no *n: every time
    EXPECT_EQ(post("/profiles/clients/_find", json{{"id", service_->clientId()}}).status, 200);

    EXPECT_TRUE(service_->transactions().empty());
    auto records = service_->requests();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].status, 0);
    EXPECT_EQ(records[0].fault, "insert=refuse");
    EXPECT_EQ(records[0].failure, "closed unanswered");
    EXPECT_EQ(records[2].fault, "");
    EXPECT_EQ(records[2].failure, "");
}

TEST_F(ServiceTest, ServerErrorAnswers500AndStoresNothing) {
    start({"update=500"});
    logIn();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    Reply failed = post("/ws/updateresult/", updateBody("T-1"));
    EXPECT_EQ(failed.status, 500);
    EXPECT_TRUE(failed.parsed().is_discarded()); // not a JSON object a client could take for a reply
    EXPECT_TRUE(service_->transaction("T-1")->updates.empty());
}

TEST_F(ServiceTest, GarbageIs200WithABodyThatIsNotJson) {
    start({"models=garbage", "partner=garbage"});
    Reply models = get("/tools/AppleModel.json");
    EXPECT_EQ(models.status, 200);
    EXPECT_FALSE(models.body.empty());
    EXPECT_TRUE(models.parsed().is_discarded());
    Reply partner = post("/partner/api/functionaltest_finish/", partnerBody("S1"));
    EXPECT_EQ(partner.status, 200);
    EXPECT_TRUE(partner.parsed().is_discarded());
    EXPECT_TRUE(service_->partnerFinishes().empty());
}

TEST_F(ServiceTest, SlowDelaysForRealThenAnswersNormally) {
    start({"auth=slow:0.2"});
    auto begin = std::chrono::steady_clock::now();
    Reply reply = post("/admin/api/auth/", json{{"username", "op1"}, {"password", "pw1"}});
    auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.parsed()["loginid"], 7);
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_EQ(service_->requests().at(0).fault, "auth=slow:0.2");
}

TEST_F(ServiceTest, StoppingCutsASlowRequestShortWithoutHandlingIt) {
    start({"insert=slow:60"});
    Reply cutShort;
    std::thread waiting([&] { cutShort = post("/ws/insert/", insertBody("T-1")); });
    bool arrived = service_->waitForArrivals(1, std::chrono::seconds(20));

    service_->stop();
    waiting.join();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(cutShort.status, 0);
    EXPECT_EQ(cutShort.error, httplib::Error::Read);
    auto records = service_->requests();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, 0);
    EXPECT_TRUE(service_->transactions().empty());
}

TEST_F(ServiceTest, CountedRulesCoverTheFirstRequestsOfTheirCallOnly) {
    // One counted rule per call: each route's first request fails, its second does not.
    start({"profile=500*1", "auth=500*1", "features=500*1", "models=500*1", "insert=500*1", "update=500*1",
           "partner=500*1"});
    auto hitEach = [&] {
        return std::vector<int>{
            post("/profiles/clients/_find", json{{"id", service_->clientId()}}).status,
            post("/admin/api/auth/", json{{"username", "op1"}, {"password", "pw1"}}).status,
            get("/admin/api/pdt/quarnotix/getfeaturesettings/3/12/").status,
            get("/tools/AppleModel.json").status,
            post("/ws/insert/", insertBody("T-1")).status,
            post("/ws/updateresult/", updateBody("T-1")).status,
            post("/partner/api/functionaltest_finish/", partnerBody("S1")).status,
        };
    };
    EXPECT_EQ(hitEach(), std::vector<int>(7, 500));
    EXPECT_EQ(hitEach(), std::vector<int>(7, 200));
    EXPECT_EQ(service_->transaction("T-1")->updates.size(), 1u);
}

TEST_F(ServiceTest, RulesApplyInOrderAndAllCountsAcrossCalls) {
    start({"all=garbage*2", "auth=500*1", "auth=slow:0"});
    EXPECT_EQ(get("/ws/api/udid?prefix=qx").status, 200); // the pages are no calls: no rule counts them
    EXPECT_TRUE(post("/profiles/clients/_find", json{{"id", service_->clientId()}}).parsed().is_discarded());
    EXPECT_TRUE(get("/tools/AppleModel.json").parsed().is_discarded());
    EXPECT_EQ(get("/tools/AppleModel.json").status, 200); // "all" is spent
    json login{{"username", "op1"}, {"password", "pw1"}};
    EXPECT_EQ(post("/admin/api/auth/", login).status, 500);
    EXPECT_EQ(post("/admin/api/auth/", login).status, 200);

    std::vector<std::string> faults;
    for (const auto& record : service_->requests())
        faults.push_back(record.fault);
    EXPECT_EQ(faults, (std::vector<std::string>{"", "all=garbage*2", "all=garbage*2", "", "auth=500*1",
                                                "auth=slow:0"}));
}

} // namespace
} // namespace refsvc_test
