// The results screen's two uploads against a loopback server: the transaction update to the
// service and the partner's finish call. One request at a time, the HUD while it is in flight,
// an exit only after a reported transaction's message, and nothing sent without the stored values.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/data.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/json.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/number.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "service/http_client.h"
#include "service/reply_models.h"
#include "service/trovelin_http_client.h"
#include "session/core/utility.h"
#include "tests/session/result_screen_support.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"
#include "ui/overlays/view_hud.h"

namespace {

using resulttest::Item;

constexpr long kEndButton = 1;
constexpr long kPartnerButton = 3;
constexpr const char* kUpdatePath = "/updateresult/";
constexpr const char* kFinishPath = "/api/functionaltest_finish/";

using testkit::localized;

// A server whose reply to POST `path` stops half-way through its body; `hits` counts the requests.
std::unique_ptr<httplib::Server> halfClosingServer(const std::string& path, std::atomic<int>& hits) {
    auto http = std::make_unique<httplib::Server>();
    http->Post(path, [&hits](const httplib::Request&, httplib::Response& res) {
        ++hits;
        res.set_content_provider(100, "application/json", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset > 0) return false;
            sink.write("{\"status\": ", 11);
            return true;
        });
    });
    return http;
}

class ResultUpload : public resulttest::ResultScreenTest {
protected:
    void SetUp() override {
        ResultScreenTest::SetUp();
        auto login = rt::make<ft::LoginModel>();
        login->setLoginid(7);
        login->setCompany(3);
        login->setSite(ns::Number::withInt(12));
        ASSERT_TRUE(login->store());
        auto query = rt::make<ft::QuerySNModel>();
        query->setProductid(ns::String::make("P1"));
        query->setSolutionid(ns::String::make("S1"));
        ASSERT_TRUE(query->store());
        pointAt(server_);
    }
    void TearDown() override {
        ResultScreenTest::TearDown();
        ft::HttpClient::resetSharedHttpClientForTesting();
        ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
    }
    void pointAt(const testkit::LoopbackServer& server) {
        ft::HttpClient::sharedHttpClient()->setWebserviceserver(ns::String::make(server.url("")));
        auto defaults = ns::UserDefaults::standardUserDefaults();
        defaults->setString(server.url(""), "webservice");
        defaults->setString("S1", "sessionid");
    }
    void showFixtureRun() { show({{"WIFI", 1}, {"GPS", 1}, {"BATTERY", 2}}); }

    std::vector<testkit::RecordedRequest> posts(std::string_view path) const {
        std::vector<testkit::RecordedRequest> found;
        for (const auto& request : server_.requests())
            if (request.target == path) found.push_back(request);
        return found;
    }
    static rt::Ref<ns::Dictionary> body(const testkit::RecordedRequest& request) {
        return rt::cast<ns::Dictionary>(ns::JSONSerialization::JSONObjectWithData(request.body));
    }
    static std::string text(const rt::Ref<ns::Dictionary>& dict, const char* key) {
        auto value = rt::cast<ns::String>(dict->objectForKey(key));
        return value ? value->utf8() : "<none>";
    }
    rt::Ref<vh::ProgressHUD> spinner() const {
        auto hud = vh::ProgressHUD::HUDForView(screen_->view());
        return hud && hud->mode() == vh::ProgressHUD::kModeIndeterminate ? hud : nullptr;
    }
    // The warning alert of a refused update: "Quarnotix", the warning, one "OK" at index 0.
    void expectWarningAlert() {
        auto alerts = app().presentedAlerts();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0]->title()->utf8(), "Quarnotix");
        EXPECT_EQ(alerts[0]->message()->utf8(), localized("LOGINVIEWCONTROLLER_WARNING"));
        ASSERT_EQ(alerts[0]->numberOfButtons(), 1);
        EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0)->utf8(), "OK");
        EXPECT_TRUE(app().press(alerts[0], 0));
    }
    // Runs out the time of any message: the screen stays.
    void expectNoExit() {
        app().advance(10);
        EXPECT_FALSE(app().exitStatus());
        EXPECT_FALSE(screen_->isEnding());
    }

    testkit::LoopbackServer server_;
};

TEST_F(ResultUpload, TheUpdatePostsItsEighteenEntriesAndExitsThreeSecondsAfterTheReply) {
    server_.script("POST", kUpdatePath, {.body = R"({"status": 1})", .atGate = true});
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kEndButton));
    const std::string created = ft::Utility::createDateString()->utf8();
    ASSERT_TRUE(spinner());
    EXPECT_EQ(spinner()->labelText()->utf8(), localized("REPORT_TRANSACTION_LABEL"));
    EXPECT_TRUE(spinner()->taskInProgress());
    ASSERT_TRUE(server_.gate.release());
    app().advance(0);
    EXPECT_FALSE(spinner());
    EXPECT_EQ(messages(), std::vector<std::string>{localized("REPORT_TRANSACTION_SUCCESS")});

    auto sent = posts(kUpdatePath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].contentType.substr(0, 16), "application/json");
    auto update = body(sent[0]);
    ASSERT_TRUE(update);
    const std::string resultValue =
        "{\n  \"BATTERY\" : \"FAIL\",\n  \"GPS\" : \"SUCCESS\",\n  \"WIFI\" : \"SUCCESS\"\n}";
    const std::vector<std::pair<const char*, std::string>> expected{
        {"uuid", "T-1"}, {"update_record", "T-1"}, {"operator", "7"}, {"productid", "P1"}, {"solutionid", "S1"},
        {"company", "3"}, {"site", "12"}, {"timeCreated", created}, {"esnNumber", "356938035643809"},
        {"sourceMake", "Apple"}, {"modelnumber", ""}, {"sourceModel", ""}, {"osversion", ft::Utility::osVersion()->utf8()},
        {"clientVer", ft::Utility::clientVersion()->utf8()}, {"MacAddress", ""}, {"result", "0"},
        {"result_value", resultValue}, {"errorCode", "1"}};
    EXPECT_EQ(update->count(), expected.size());
    for (const auto& [key, value] : expected) EXPECT_EQ(text(update, key), value) << key;

    app().advance(2.99);
    EXPECT_FALSE(app().exitStatus());
    app().advance(0.01);
    EXPECT_EQ(app().exitStatus(), 0);
}

TEST_F(ResultUpload, StatusOneAsTextCountsAndADoubleTapSendsOneRequest) {
    server_.script("POST", kUpdatePath, {.body = R"({"status": "1"})", .atGate = true});
    show({{"WIFI", 1}, {"GPS", 0}});
    ASSERT_TRUE(tapEnding(kEndButton));
    EXPECT_FALSE(tapEnding(kEndButton)) << "the spinner covers the screen";
    // Sent from code meanwhile, the endings and a row tap do nothing.
    screen_->onEnd(nullptr);
    screen_->reportToTempServer();
    screen_->tableViewDidSelectRowAtIndexPath(screen_->tableView(),
                                              ns::IndexPath::indexPathForRowInSection(0, 0));
    app().runUntilIdle();
    ASSERT_TRUE(server_.gate.release());
    app().advance(0);
    auto sent = posts(kUpdatePath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(posts(kFinishPath).empty());
    EXPECT_TRUE(runner_->retried.empty());
    // An item not run is reported as failed, and fails the verdict.
    EXPECT_EQ(text(body(sent[0]), "result"), "0");
    EXPECT_NE(text(body(sent[0]), "result_value").find("\"GPS\" : \"FAIL\""), std::string::npos);
    app().advance(3);
    EXPECT_EQ(app().exitStatus(), 0);
}

class UpdateNotReported : public ResultUpload, public ::testing::WithParamInterface<const char*> {};

TEST_P(UpdateNotReported, ShowsTheFailureStaysAndASecondTapSendsTheSameResults) {
    server_.script("POST", kUpdatePath, {.body = GetParam()});
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(0);
    EXPECT_EQ(messages(), std::vector<std::string>{localized("REPORT_TRANSACTION_FAIL")});
    expectNoExit();
    server_.script("POST", kUpdatePath, {.body = R"({"status": 1})"});
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(3);
    EXPECT_EQ(app().exitStatus(), 0);
    auto sent = posts(kUpdatePath);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(text(body(sent[0]), "result_value"), text(body(sent[1]), "result_value"));
}

INSTANTIATE_TEST_SUITE_P(ResultUpload, UpdateNotReported,
                         ::testing::Values(R"({"status": 0})", "{}", "[1]", R"({"status": "x"})"));

class UpdateRefused : public ResultUpload, public ::testing::WithParamInterface<testkit::ScriptedReply> {};

TEST_P(UpdateRefused, HidesTheHUDAndShowsTheWarning) {
    server_.script("POST", kUpdatePath, GetParam());
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(0);
    EXPECT_FALSE(spinner());
    expectWarningAlert();
    EXPECT_TRUE(messages().empty());
    expectNoExit();
    EXPECT_EQ(posts(kUpdatePath).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ResultUpload, UpdateRefused,
                         ::testing::Values(testkit::ScriptedReply{.status = 409, .body = R"({"status": 0})"},
                                           testkit::ScriptedReply{.status = 500, .body = "oops", .contentType = "text/plain"},
                                           testkit::ScriptedReply{.body = "<html>", .contentType = "text/html"}));

TEST_F(ResultUpload, ARefusedPortOrAReplyClosedHalfWayShowsTheWarning) {
    showFixtureRun();
    const testkit::RefusedAddress refused;
    ft::HttpClient::sharedHttpClient()->setWebserviceserver(ns::String::make(refused.url("")));
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(0);
    EXPECT_FALSE(spinner());
    expectWarningAlert();

    std::atomic<int> hits = 0;
    testkit::LoopbackServer halfway(halfClosingServer(kUpdatePath, hits));
    pointAt(halfway);
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(0);
    EXPECT_EQ(hits, 1);
    expectWarningAlert();
    expectNoExit();
}

TEST_F(ResultUpload, ATimedOutUpdateShowsTheWarningAndTheLateReplyNothing) {
    EXPECT_EQ(ft::HttpClient::sharedHttpClient()->timeoutInterval(), 10.0);
    ft::HttpClient::sharedHttpClient()->setTimeoutIntervalForTesting(0.2);
    server_.script("POST", kUpdatePath, {.body = R"({"status": 1})", .atGate = true});
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(1);
    expectWarningAlert();
    ASSERT_TRUE(server_.gate.release());
    expectNoExit();
    EXPECT_TRUE(app().presentedAlerts().empty());
    EXPECT_TRUE(messages().empty());
}

TEST_F(ResultUpload, GoingToTheBackgroundCutsTheUpdateShortAndTheNextTapPostsAgain) {
    server_.script("POST", kUpdatePath, {.body = R"({"status": 1})", .atGate = true});
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kEndButton));
    ASSERT_TRUE(server_.gate.waitEntered(1));
    app().enterBackground();
    EXPECT_FALSE(spinner());
    EXPECT_FALSE(screen_->isEnding());
    ASSERT_TRUE(server_.gate.release());
    app().enterForeground();
    expectNoExit();
    EXPECT_TRUE(app().presentedAlerts().empty());
    EXPECT_TRUE(messages().empty());

    server_.script("POST", kUpdatePath, {.body = R"({"status": 1})"});
    ASSERT_TRUE(tapEnding(kEndButton));
    app().advance(3);
    EXPECT_EQ(posts(kUpdatePath).size(), 2u);
    EXPECT_EQ(app().exitStatus(), 0);
}

TEST_F(ResultUpload, EachMissingStoredValueSendsNothingAndShowsTheWarning) {
    server_.script("POST", kUpdatePath, {.body = R"({"status": 1})"});
    showFixtureRun();
    auto defaults = ns::UserDefaults::standardUserDefaults();
    const auto login = defaults->objectForKey("logininfo"), query = defaults->objectForKey("querysn");
    const std::vector<std::function<void()>> breakages{
        [&] { defaults->removeObjectForKey("logininfo"); },
        [&] { defaults->setObjectForKey(ns::Data::make(std::string_view("\x01\x02random")), "logininfo"); },
        [&] { defaults->setObjectForKey(query, "logininfo"); }, // the other model's archive
        [&] { defaults->removeObjectForKey("querysn"); },
        [&] { defaults->removeObjectForKey("transcationuuid"); },
        [&] { defaults->setString("", "transcationuuid"); },
        [&] { defaults->removeObjectForKey("uniqueid"); },
        [&] { defaults->setString("", "uniqueid"); },
    };
    for (std::size_t i = 0; i < breakages.size(); ++i) {
        SCOPED_TRACE(i);
        breakages[i]();
        ASSERT_TRUE(tapEnding(kEndButton));
        app().advance(0);
        expectWarningAlert();
        EXPECT_FALSE(spinner());
        defaults->setObjectForKey(login, "logininfo");
        defaults->setObjectForKey(query, "querysn");
        defaults->setString("T-1", "transcationuuid");
        defaults->setString("356938035643809", "uniqueid");
    }
    EXPECT_TRUE(server_.requests().empty());
    expectNoExit();
}

// ---- The partner ----

TEST_F(ResultUpload, ThePartnerUploadPostsTheTransactionAndExitsAfterAnEmptyReply) {
    server_.script("POST", kFinishPath, {.body = "{}", .atGate = true});
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kPartnerButton));
    ASSERT_TRUE(spinner());
    EXPECT_EQ(spinner()->labelText()->utf8(), localized("REPORT_TRANSACTION_LABEL"));
    ASSERT_TRUE(server_.gate.release());
    app().advance(0);
    auto sent = posts(kFinishPath);
    ASSERT_EQ(sent.size(), 1u);
    auto transaction = body(sent[0]);
    ASSERT_TRUE(transaction);
    EXPECT_EQ(transaction->count(), 18u);
    EXPECT_EQ(text(transaction, "uuid"), "S1");
    EXPECT_EQ(text(transaction, "esnNumber"), "356938035643809");
    EXPECT_EQ(text(transaction, "serialnumber"), "F2LXXXX");
    auto result = rt::cast<ns::Number>(transaction->objectForKey("result"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->longValue(), 0);
    EXPECT_EQ(messages(), std::vector<std::string>{localized("REPORT_TRANSACTION_SUCCESS")});
    app().advance(2.99);
    EXPECT_FALSE(app().exitStatus());
    app().advance(0.01);
    EXPECT_EQ(app().exitStatus(), 0);

    // The identifiers reach the log masked only.
    bool maskedLine = false;
    for (const std::string& line : app().logLines()) {
        EXPECT_EQ(line.find("356938035643809"), std::string::npos) << line;
        EXPECT_EQ(line.find("F2LXXXX"), std::string::npos) << line;
        maskedLine = maskedLine || line.find("***********3809") != std::string::npos;
    }
    EXPECT_TRUE(maskedLine);
}

struct PartnerAnswer {
    testkit::ScriptedReply reply;
    const char* key; // localised; or the text itself when no key of that name
};

class PartnerRefusal : public ResultUpload, public ::testing::WithParamInterface<PartnerAnswer> {};

TEST_P(PartnerRefusal, ShowsItsMessageAndStays) {
    server_.script("POST", kFinishPath, GetParam().reply);
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(0);
    EXPECT_FALSE(spinner());
    const std::string expected = localized(GetParam().key).empty() ? GetParam().key : localized(GetParam().key);
    EXPECT_EQ(messages(), std::vector<std::string>{expected});
    expectNoExit();
    EXPECT_TRUE(app().presentedAlerts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    ResultUpload, PartnerRefusal,
    ::testing::Values(PartnerAnswer{{.body = R"({"error": "x", "status": 409})"}, "QV_LOGIN_HAS_USELESS_ID_ERROR"},
                      PartnerAnswer{{.status = 409, .body = R"({"error": "x", "status": 409})"},
                                    "QV_LOGIN_HAS_USELESS_ID_ERROR"},
                      PartnerAnswer{{.body = R"({"error": "Upload transaction fail"})"}, "QV_REPORT_TRANSCATION_ERROR"},
                      PartnerAnswer{{.body = R"({"error": "Bad serial"})"}, "Bad serial"},
                      PartnerAnswer{{.body = R"({"error": 5})"}, "REPORT_TRANSACTION_FAIL"},
                      PartnerAnswer{{.body = "[1]"}, "REPORT_TRANSACTION_FAIL"}));

class PartnerFailure : public ResultUpload, public ::testing::WithParamInterface<testkit::ScriptedReply> {};

TEST_P(PartnerFailure, ShowsTheErrorWithItsCodeAndStays) {
    server_.script("POST", kFinishPath, GetParam());
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(0);
    auto shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].ends_with(")")) << shown[0];
    EXPECT_NE(shown[0].find(" ("), std::string::npos) << shown[0];
    if (GetParam().status == 500) {
        EXPECT_TRUE(shown[0].ends_with("(500)")) << shown[0];
    }
    expectNoExit();
}

INSTANTIATE_TEST_SUITE_P(ResultUpload, PartnerFailure,
                         ::testing::Values(testkit::ScriptedReply{.status = 500, .body = "oops", .contentType = "text/plain"},
                                           testkit::ScriptedReply{.body = "garbage{", .contentType = "text/plain"}));

TEST_F(ResultUpload, APartnerTimeOutRefusalOrHalfReplyShowsTheErrorAndStays) {
    showFixtureRun();
    // The first address of the process stays the partner's: a refused port first.
    const testkit::RefusedAddress refused;
    ns::UserDefaults::standardUserDefaults()->setString(refused.url(""), "webservice");
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(0);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_TRUE(messages()[0].ends_with(")"));
    expectNoExit();

    ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
    std::atomic<int> hits = 0;
    testkit::LoopbackServer halfway(halfClosingServer(kFinishPath, hits));
    pointAt(halfway);
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(0);
    EXPECT_EQ(hits, 1);
    EXPECT_EQ(messages().size(), 1u);
    expectNoExit();

    ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
    pointAt(server_);
    server_.script("POST", kFinishPath, {.body = "{}", .atGate = true});
    auto client = ft::TrovelinHttpClient::sharedHttpClientWithBaseUrl(ns::String::make(server_.url("")));
    EXPECT_EQ(client->timeoutInterval(), 30.0);
    client->setTimeoutIntervalForTesting(0.2);
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(1);
    EXPECT_EQ(messages().size(), 1u);
    ASSERT_TRUE(server_.gate.release());
    expectNoExit();
}

TEST_F(ResultUpload, WithoutASessionOrAnHTTPAddressThePartnerGetsNothing) {
    showFixtureRun();
    auto defaults = ns::UserDefaults::standardUserDefaults();
    const std::vector<std::function<void()>> breakages{
        [&] { defaults->removeObjectForKey("sessionid"); },
        [&] { defaults->setString("", "sessionid"); },
        [&] { defaults->removeObjectForKey("webservice"); },
        [&] { defaults->setString("", "webservice"); },
        [&] { defaults->setString("ftp://x", "webservice"); },
        [&] { defaults->setString("127.0.0.1/api", "webservice"); },
    };
    for (std::size_t i = 0; i < breakages.size(); ++i) {
        SCOPED_TRACE(i);
        breakages[i]();
        ASSERT_TRUE(tapEnding(kPartnerButton));
        app().advance(0);
        expectWarningAlert();
        pointAt(server_);
    }
    EXPECT_TRUE(server_.requests().empty());
    expectNoExit();
}

TEST_F(ResultUpload, TheFirstPartnerAddressStaysForTheProcess) {
    server_.script("POST", kFinishPath, {.body = R"({"error": "Bad serial"})"});
    showFixtureRun();
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(3);
    testkit::LoopbackServer other;
    ns::UserDefaults::standardUserDefaults()->setString(other.url(""), "webservice");
    ASSERT_TRUE(tapEnding(kPartnerButton));
    app().advance(3);
    EXPECT_EQ(posts(kFinishPath).size(), 2u);
    EXPECT_TRUE(other.requests().empty());
}

} // namespace
