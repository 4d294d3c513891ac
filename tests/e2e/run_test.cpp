// The application end to end, in-process, against the reference service on loopback: the login's
// requests, the countdown's run with its screens, every ending (update, result file, partner), the
// update's failures, and the tester's ways through the list and the runner.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/format.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/uikit/button.h"
#include "platform/uikit/text_field.h"
#include "service/login_view_controller.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "tests/e2e/run_fixture.h"
#include "ui/overlays/progress_hud.h"

namespace {

using e2e::RunTest;
using nlohmann::json;

constexpr long kResultFileButton = 2;
constexpr long kPartnerButton = 3;

std::string localized(const char* key) {
    return ft::localized(key)->utf8();
}

// ---- The update ----

TEST_F(RunTest, TheCountdownsRunEndsInOneUpdateOfTheThreeAndAnExitThreeSecondsAfterTheReply) {
    launch();
    settle(1);
    ASSERT_TRUE(logIn());
    EXPECT_EQ(calls(), (std::vector<std::string>{"profile", "auth", "features", "models", "models", "insert"}));
    EXPECT_TRUE(app().openedURLs().empty()) << "the identity came first: no page";
    EXPECT_EQ(configAtList(), "WIFI,GPS,BATTERY");
    auto transactions = service().transactions();
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_EQ(stored("transcationuuid"), transactions[0].uuid);
    EXPECT_EQ(transactions[0].insert.at("esnNumber"), e2e::kImei);

    settle(10);
    ASSERT_TRUE(runner()) << topClass();
    EXPECT_EQ(counter(), "3/3") << "WIFI and GPS ran by themselves";
    ASSERT_TRUE(tap(runner(), "startBtn"));
    ASSERT_TRUE(tap(screen(), "successButton"));
    ASSERT_TRUE(results()) << topClass();
    EXPECT_TRUE(updates().empty());

    ASSERT_TRUE(tap(results(), "bottomButton"));
    const double replied = now() - 1.0; // tap() settles a second past the reply
    auto sent = updates();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].fields.size(), 18u);
    EXPECT_EQ(sent[0].fields.at("result"), "1");
    EXPECT_EQ(json::parse(sent[0].fields.at("result_value")),
              (json{{"WIFI", "SUCCESS"}, {"GPS", "SUCCESS"}, {"BATTERY", "SUCCESS"}}));
    EXPECT_EQ(sent[0].fields.at("uuid"), transactions[0].uuid);
    settle(10);
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_DOUBLE_EQ(now() - replied, 3.0) << "time stops at the exit";
    EXPECT_EQ(updates().size(), 1u);

    const auto& rows = report().rows();
    ASSERT_EQ(rows.size(), 3u);
    std::vector<std::string> seen;
    for (const auto& row : rows) seen.push_back(row.key + ":" + row.result);
    EXPECT_EQ(seen, (std::vector<std::string>{"WIFI:pass", "GPS:pass", "BATTERY:pass"}));
    EXPECT_GE(rows[0].start, 3.0) << "after the login and the countdown";
    EXPECT_LT(rows[0].start, rows[1].start);
    EXPECT_LT(rows[1].start, rows[2].start);
    EXPECT_EQ(report().intakeAt(), 0.0);
    EXPECT_EQ(report().loginAt(), 1.0);
}

// ---- The other endings ----

TEST_F(RunTest, TheResultFileHoldsTheThreeAndEndsTheProcessAtOnceWithoutAnUpdate) {
    runToResults();
    ASSERT_FALSE(HasFatalFailure());
    const double before = now();
    ASSERT_TRUE(tapEnding(kResultFileButton));
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_EQ(now(), before);
    auto file = app().documentsFile("functiontest_result.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(json::parse(*file, nullptr, false),
              (json{{"WIFI", "SUCCESS"}, {"GPS", "SUCCESS"}, {"BATTERY", "SUCCESS"}, {"RESULT", "SUCCESS"}}))
        << *file;
    EXPECT_TRUE(updates().empty());
}

class PartnerRun : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        startService();
        auto defaults = ns::UserDefaults::standardUserDefaults();
        defaults->setString(service().partnerUrl(), "webservice");
        defaults->setString("S1", "sessionid");
    }
};

TEST_F(PartnerRun, TheSessionIsFinishedOnceAndTheProcessEndsThreeSecondsLater) {
    runToResults();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(tapEnding(kPartnerButton));
    const double replied = now();
    auto finishes = service().partnerFinishes();
    ASSERT_EQ(finishes.size(), 1u);
    EXPECT_EQ(finishes[0].session, "S1");
    EXPECT_EQ(finishes[0].fields.size() + 1, 18u) << "the text entries and the number \"result\"";
    EXPECT_EQ(finishes[0].result, 1);
    EXPECT_EQ(json::parse(finishes[0].fields.at("result_value")),
              (json{{"WIFI", "SUCCESS"}, {"GPS", "SUCCESS"}, {"BATTERY", "SUCCESS"}}));
    settle(10);
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_DOUBLE_EQ(now() - replied, 3.0);
    EXPECT_TRUE(updates().empty());
}

TEST_F(PartnerRun, ASessionFinishedBeforeIsRefusedWithTheUselessIdentifierMessageAndNoExit) {
    // Another device finished S1 first.
    json earlier = {{"uuid", "S1"}, {"result", 1}};
    for (const char* key : {"timeCreated", "esnNumber", "sourceMake", "clientVer", "MacAddress", "errorCode",
                            "result_value", "grade", "color", "devicememorysize", "sourceCarrier", "AndroidVersion",
                            "iosVersion", "serialnumber", "modelnumber", "sourceModel"})
        earlier[key] = "x";
    httplib::Client client("127.0.0.1", service().port());
    auto answer = client.Post("/partner/api/functionaltest_finish/", earlier.dump(), "application/json");
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->status, 200) << answer->body;

    runToResults();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(tapEnding(kPartnerButton));
    EXPECT_EQ(messages(), std::vector<std::string>{localized("QV_LOGIN_HAS_USELESS_ID_ERROR")});
    settle(10);
    EXPECT_FALSE(app().exitStatus());
    ASSERT_EQ(service().partnerFinishes().size(), 1u);
    EXPECT_EQ(service().partnerFinishes()[0].fields.at("esnNumber"), "x") << "the first finish stands";
}

// ---- The update's failures ----

class UpdateFaultRun : public RunTest {
protected:
    // Reaches the results with `fault` on the service and taps the bottom button.
    void endWith(const std::string& fault) {
        startService({fault});
        runToResults();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(tap(results(), "bottomButton"));
    }
    void expectWarningAndNoExit() {
        EXPECT_EQ(alertMessage(), localized("LOGINVIEWCONTROLLER_WARNING"));
        ASSERT_TRUE(pressAlert(0));
        settle(10);
        EXPECT_FALSE(app().exitStatus());
        EXPECT_TRUE(results()) << "the screen stays: " << topClass();
    }
};

TEST_F(UpdateFaultRun, AFailedUpdateWarnsAndTheNextTapStoresOneUpdateAndExits) {
    endWith("update=500*1");
    ASSERT_FALSE(HasFatalFailure());
    expectWarningAndNoExit();
    EXPECT_TRUE(updates().empty());
    ASSERT_TRUE(tap(results(), "bottomButton"));
    settle(5);
    EXPECT_EQ(updates().size(), 1u);
    EXPECT_EQ(app().exitStatus(), 0);
}

TEST_F(UpdateFaultRun, AReplyThatIsNoJSONWarnsAndStays) {
    endWith("update=garbage");
    ASSERT_FALSE(HasFatalFailure());
    expectWarningAndNoExit();
}

TEST_F(UpdateFaultRun, AnUpdateOfATransactionTheServiceNeverSawWarnsAndStays) {
    startService();
    runToResults();
    ASSERT_FALSE(HasFatalFailure());
    // A transaction the service never saw is not found (404).
    ns::UserDefaults::standardUserDefaults()->setString("00000000-0000-0000-0000-000000000000", "transcationuuid");
    ASSERT_TRUE(tapEnding(1));
    expectWarningAndNoExit();
    EXPECT_TRUE(updates().empty());
}

// ---- The tester's ways through the list and the runner ----

TEST_F(RunTest, PlayRunsTheTickedItemsAndEndsAtTheListWithTheirMarks) {
    reachList();
    cancelCountdown();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(select({"WIFI", "GPS"})); // the profile's three come ticked
    ASSERT_TRUE(app().tap(list()->play()));
    settle(10);
    ASSERT_TRUE(list()) << topClass();
    EXPECT_EQ(item("WIFI")->success(), ft::TestBaseModel::kPassed);
    EXPECT_EQ(item("GPS")->success(), ft::TestBaseModel::kPassed);
    EXPECT_EQ(item("BATTERY")->success(), 0);
    EXPECT_EQ(mark("WIFI"), "icon_right_n");
    EXPECT_EQ(mark("GPS"), "icon_right_n");
    EXPECT_EQ(mark("BATTERY"), "");
    EXPECT_EQ(std::count(appeared().begin(), appeared().end(), "ResultViewController"), 0);
    EXPECT_TRUE(updates().empty());
}

TEST_F(RunTest, ASingleItemRunsAloneAndEndsAtTheList) {
    reachList();
    cancelCountdown();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(runAlone("BATTERY"));
    EXPECT_EQ(counter(), "1/1");
    ASSERT_TRUE(tap(runner(), "startBtn"));
    ASSERT_TRUE(tap(screen(), "successButton"));
    ASSERT_TRUE(list()) << topClass();
    auto battery = item("BATTERY");
    EXPECT_EQ(battery->success(), ft::TestBaseModel::kPassed);

    // Again, into the background on its screen: popped, the mark kept.
    ASSERT_TRUE(runAlone("BATTERY"));
    ASSERT_TRUE(tap(runner(), "startBtn"));
    ASSERT_TRUE(screen()) << topClass();
    app().enterBackground();
    settle();
    EXPECT_FALSE(screen()) << topClass();
    app().enterForeground();
    settle();
    EXPECT_EQ(battery->success(), ft::TestBaseModel::kPassed);
    EXPECT_EQ(std::count(appeared().begin(), appeared().end(), "ResultViewController"), 0);
}

TEST_F(RunTest, ARefusingScreenShowsItsTextInTheErrorHudAndIsNotPushed) {
    // The headset's screen refuses to start with a headset already plugged in.
    sim::Device::shared().plugHeadset();
    reachList();
    cancelCountdown();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(runAlone("HEADSET_TEST"));
    ASSERT_TRUE(app().tapOutlet(runner(), "startBtn"));
    app().runUntilIdle();
    EXPECT_TRUE(sh::ProgressHUD::isVisible());
    ASSERT_TRUE(sh::ProgressHUD::status());
    EXPECT_EQ(sh::ProgressHUD::status()->utf8(), ft::localized("HEADSET_CONTROLLER_WARRING")->utf8());
    EXPECT_EQ(sh::ProgressHUD::maskType(), sh::ProgressHUD::kMaskBlack);
    settle(5);
    EXPECT_TRUE(runner()) << "nothing pushed: " << topClass();
    EXPECT_EQ(std::count(appeared().begin(), appeared().end(), "E2EHeadsetPlugViewController"), 0);
}

TEST_F(RunTest, TheBackSheetGoesBackSkipsWithConfirmationAndExits) {
    reachList();
    cancelCountdown();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(select({"HEADSET_TEST", "BATTERY"})); // both manual: HEADSET_TEST does not refuse here
    ASSERT_TRUE(app().tap(list()->play()));
    settle();
    ASSERT_TRUE(runner()) << topClass();
    ASSERT_EQ(counter(), "1/2");
    ASSERT_TRUE(tap(runner(), "startBtn"));
    ASSERT_TRUE(tap(screen(), "successButton"));
    ASSERT_EQ(counter(), "2/2");

    ASSERT_TRUE(app().tapBack());
    ASSERT_TRUE(pressSheet("BASETEST_CONTROLLER_ACTIONSHEET_BACK"));
    EXPECT_EQ(counter(), "1/2");

    ASSERT_TRUE(app().tapBack());
    ASSERT_TRUE(pressSheet("BASETEST_CONTROLLER_ACTIONSHEET_SKIP"));
    EXPECT_EQ(alertMessage(), localized("BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_SKIP"));
    ASSERT_TRUE(pressAlert(1));
    auto items = runner()->doItems();
    ASSERT_EQ(items->count(), 2u);
    EXPECT_EQ(rt::cast<ft::TestBaseModel>(items->objectAtIndex(0))->success(), 2);
    EXPECT_EQ(counter(), "2/2");

    ASSERT_TRUE(app().tapBack());
    ASSERT_TRUE(pressSheet("BASETEST_CONTROLLER_ACTIONSHEET_EXIT"));
    EXPECT_EQ(alertMessage(), localized("BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_EXIT"));
    ASSERT_TRUE(pressAlert(1));
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_TRUE(updates().empty());
}

TEST_F(RunTest, ARetryFromTheResultsThatFailsAgainIsReportedAsAFailure) {
    startService();
    runToResults(false);
    ASSERT_FALSE(HasFatalFailure());
    auto passed = [&] { return app().labelText(results(), "successCount").value_or("?"); };
    auto failed = [&] { return app().labelText(results(), "failCount").value_or("?"); };
    EXPECT_EQ(failed(), "Failed: 1");
    long row = 0;
    auto ran = results()->list();
    for (const rt::Id& entry : *ran) {
        if (rt::cast<ft::TestBaseModel>(entry)->profile()->isEqualToString("BATTERY")) break;
        ++row;
    }
    ASSERT_TRUE(app().tapRow(results()->tableView(), row));
    settle();
    ASSERT_TRUE(runner()) << topClass();
    EXPECT_EQ(counter(), "3/3");
    ASSERT_TRUE(tap(runner(), "startBtn"));
    ASSERT_TRUE(screen()) << topClass();
    ASSERT_TRUE(tap(screen(), "failButton"));
    ASSERT_TRUE(results()) << topClass();
    EXPECT_EQ(passed(), ns::stringWithFormat(localized("RESULT_CONTROLLER_PASS"), std::int64_t(2))->utf8());
    EXPECT_EQ(failed(), "Failed: 1");

    ASSERT_TRUE(tap(results(), "bottomButton"));
    auto sent = updates();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].fields.at("result"), "0");
    EXPECT_EQ(json::parse(sent[0].fields.at("result_value")),
              (json{{"WIFI", "SUCCESS"}, {"GPS", "SUCCESS"}, {"BATTERY", "FAIL"}}));
    settle(5);
    EXPECT_EQ(app().exitStatus(), 0);
}

// ---- Identity, the saved login and the review account ----

TEST_F(RunTest, WithoutAnIdentityThePageOpensAndOnlyTheFirstIntakeInserts) {
    launch(false);
    settle(1);
    ASSERT_TRUE(logIn());
    ASSERT_EQ(app().openedURLs(), std::vector<std::string>{service().webServiceUrl() + "/api/udid?prefix=qx"});
    settle(29); // t = 30
    EXPECT_TRUE(service().transactions().empty());
    EXPECT_TRUE(rt::cast<ft::LoginViewController>(top())) << topClass();
    ASSERT_TRUE(app().openURL("qx://imei=490154203237518&serial=F2LXXXX"));
    settle(0);
    ASSERT_TRUE(app().openURL("qx://imei=111111111111111"));
    settle(0);
    auto transactions = service().transactions();
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_EQ(transactions[0].insert.at("esnNumber"), "490154203237518");
    const auto made = calls();
    EXPECT_EQ(std::count(made.begin(), made.end(), "insert"), 1);
    EXPECT_EQ(report().intakeAt(), 30.0);
}

TEST_F(RunTest, ARelaunchOffersOnlyTheUserNameAndThePasswordIsStoredNowhere) {
    reachList();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(ns::UserDefaults::standardUserDefaults()->synchronize());
    // The next launch reads the defaults from the home's file.
    ns::UserDefaults::resetStandardUserDefaults();
    auto again = rt::cast<ft::LoginViewController>(rt::Class::named("LoginViewController")->alloc());
    ASSERT_TRUE(again);
    again->loadViewIfNeeded();
    EXPECT_EQ(again->userNameField()->text()->utf8(), "op1");
    EXPECT_TRUE(!again->passwordField()->text() || again->passwordField()->text()->length() == 0);
    ASSERT_TRUE(app().defaultsFile());
    EXPECT_EQ(app().defaultsFile()->find("pw1"), std::string::npos);
    for (const std::string& line : app().logLines()) EXPECT_EQ(line.find("pw1"), std::string::npos) << line;
}

TEST_F(RunTest, TheReviewAccountsListHasNoFillTouchOrRootRowsWhateverTheServiceOffers) {
    launch();
    settle(1);
    ASSERT_TRUE(logIn("qx_reviewapp", "review"));
    ASSERT_TRUE(list()) << topClass();
    // The service offers the three; the list leaves their rows out for this account.
    EXPECT_NE(configAtList().find("LCD_FILL_TEST"), std::string::npos) << configAtList();
    EXPECT_GE(rowOf("BATTERY"), 0);
    for (const char* key : {"LCD_FILL_TEST", "TOUCH_SCREEN", "ROOT"}) EXPECT_EQ(rowOf(key), -1) << key;
}

} // namespace
