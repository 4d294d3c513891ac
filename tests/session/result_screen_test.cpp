// The results screen on screen: counts and marks, the estimate, the row tap that runs an item
// again, the SIM reminder and the result file.

#include <filesystem>
#include <fstream>
#include <limits>

#include <gtest/gtest.h>

#include "platform/foundation/index_path.h"
#include "platform/foundation/json.h"
#include "platform/foundation/user_defaults.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/table_view.h"
#include "session/result_table_view_cell.h"
#include "tests/session/result_screen_support.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using ft::ResultViewController;
using ft::TestBaseModel;
using resulttest::Item;
using resulttest::ResultScreenTest;

constexpr long kFileButton = 2;

using testkit::localized;

class ResultScreen : public ResultScreenTest {
protected:
    rt::Ref<ft::ResultTableViewCell> cellAt(long row) {
        return rt::cast<ft::ResultTableViewCell>(
            screen_->tableView()->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0)));
    }
    std::int64_t estimate(std::string_view json, std::string_view name = "iPhone 7") {
        return screen_->estimateForTable(ns::JSONSerialization::JSONObjectWithData(json), *ns::String::make(name));
    }
    std::optional<std::string> resultFile() { return app().documentsFile(ResultViewController::kResultFileName); }
};

TEST_F(ResultScreen, CountsMarksAndLabelsOnAppearing) {
    show({{"WIFI", 1}, {"GPS", 2}, {"BATTERY", 0}, {"BLUETOOTH", 1}});
    EXPECT_EQ(app().labelText(screen_, "successCount"), "Passed: 2");
    EXPECT_EQ(app().labelText(screen_, "failCount"), "Failed: 1");
    EXPECT_EQ(app().labelText(screen_, "LabelTestResults"), localized("RESULT_CONTROLLER_TEST_RESULTS"));
    EXPECT_EQ(app().labelText(screen_, "phonemodel"), "iPhone 7");
    EXPECT_EQ(app().labelText(screen_, "imeilabel"), "IMEI: 356938035643809");
    EXPECT_EQ(app().labelText(screen_, "evaluate"), "Trade-in estimate: 120"); // the shipped table
    EXPECT_EQ(screen_->bottomButton()->titleForState(ui::ControlStates::Normal)->utf8(),
              localized("RESULT_CONTROLLER_ENDTEST_TITLE"));
    EXPECT_EQ(screen_->tableviewtopcon()->constant(), -5.0);
    app().runUntilIdle(); // laid out: the raise moves the table's top, its bottom stays
    EXPECT_EQ(screen_->tableView()->frame(), cg::Rect::make(0, 143, 375, 667 - 323));
    EXPECT_FALSE(app().logContains("Unable to simultaneously satisfy constraints"));
    EXPECT_TRUE(screen_->orignalFont());
    for (const rt::Id& entry : *screen_->list()) {
        auto item = rt::cast<TestBaseModel>(entry);
        EXPECT_EQ(item->endTestCode(), item->success());
    }
    ASSERT_EQ(screen_->tableView()->visibleCells()->count(), 4u);
    EXPECT_FALSE(cellAt(0)->result()->isHidden());
    EXPECT_EQ(cellAt(0)->result()->image()->name()->utf8(), "icon_right_n");
    EXPECT_EQ(cellAt(1)->result()->image()->name()->utf8(), "icon_fail_n");
    EXPECT_TRUE(cellAt(2)->result()->isHidden());
    EXPECT_EQ(cellAt(3)->testtitle()->text()->utf8(), "Title BLUETOOTH");

    // A cell reused from a passed row for an item not run hides its mark.
    auto first = cellAt(0);
    rt::cast<TestBaseModel>(screen_->list()->objectAtIndex(0))->setSuccess(0);
    screen_->tableView()->reloadData();
    EXPECT_EQ(cellAt(0), first);
    EXPECT_TRUE(cellAt(0)->result()->isHidden());
}

TEST_F(ResultScreen, TheEstimateDeductsFailedRatiosInDoublePrecision) {
    show({{"WIFI", 2, 30}, {"GPS", 2, 27}, {"BATTERY", 1, 40}, {"SMS", 0, 40}});
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 100, "other": 50}})"), 42); // just under 43
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 100.9}})"), 42);            // the price truncated first
    EXPECT_EQ(estimate(R"({"iOS": {"iPad": 100, "other": 50}})"), 50);     // not listed: "other" as it is
    EXPECT_EQ(estimate(R"({"iOS": {"iPad": 100}})"), 0);
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": "garbage"}})"), 5);
    EXPECT_EQ(estimate(R"({"iOS": [1, 2]})"), 0);
    EXPECT_EQ(estimate(R"([1, 2])"), 0);
    EXPECT_EQ(estimate("not json"), 0);
    // A price beyond every range saturates instead of overflowing.
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 1e300}})"),
              static_cast<std::int64_t>(9.2233720368547758e18 * (1.0 - 57 * 0.01)));

    screen_->setList(items({{"WIFI", 2, 10}, {"GPS", 2, 15}, {"BATTERY", 1, 30}}));
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 300}})"), 225);
    screen_->setList(items({{"WIFI", 2, 60}, {"GPS", 2, 40}}));
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 300}})"), 5);
    // Ratios whose sum leaves the 64-bit range saturate: nothing is left, so the floor.
    screen_->setList(items({{"WIFI", 2, std::numeric_limits<long>::max()}, {"GPS", 2, std::numeric_limits<long>::max()}}));
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 300}})"), 5);
    screen_->setList(items({{"WIFI", 2, 50}}));
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 1}})"), 5); // 0.5 truncates to 0
    // A ratio given as text counts by its leading digits; one that is no number adds nothing.
    auto list = items({{"WIFI", 2}, {"GPS", 2}});
    auto ratio = ns::MutableDictionary::make();
    ratio->setObjectForKey(ns::String::make("12"), "price");
    rt::cast<TestBaseModel>(list->objectAtIndex(0))->setRatio(ratio);
    auto junk = ns::MutableDictionary::make();
    junk->setObjectForKey(ns::MutableArray::make(), "price");
    rt::cast<TestBaseModel>(list->objectAtIndex(1))->setRatio(junk);
    screen_->setList(list);
    EXPECT_EQ(estimate(R"({"iOS": {"iPhone 7": 100}})"), 88);
}

class ResultScreenOwnBundle : public ResultScreen {
protected:
    testkit::AppOptions appOptions() const override {
        auto options = ResultScreen::appOptions();
        options.copyBundle = true;
        return options;
    }
};

TEST_F(ResultScreenOwnBundle, ATradeInResourceThatIsNotJSONOrMissingShowsZero) {
    std::ofstream(app().bundleFolder() + "/tradein.json") << "{\"iOS\": ";
    show({{"WIFI", 2, 10}});
    EXPECT_EQ(app().labelText(screen_, "evaluate"), "Trade-in estimate: 0");
    std::filesystem::remove(app().bundleFolder() + "/tradein.json");
    screen_->updateUI();
    EXPECT_EQ(app().labelText(screen_, "evaluate"), "Trade-in estimate: 0");
}

TEST_F(ResultScreen, ARowTapRunsThatItemAgainThroughTheRunner) {
    show({{"WIFI", 1}, {"GPS", 1}, {"BATTERY", 2}, {"SMS", 2}});
    ASSERT_TRUE(app().tapRow(screen_->tableView(), 3));
    app().runUntilIdle();
    EXPECT_EQ(screen_->retryIndex(), 3);
    EXPECT_EQ(runner_->retried, std::vector<std::int64_t>{3});
    EXPECT_EQ(app().navigationStack(), std::vector<std::string>{"ResultTestRetryRunner"});
    EXPECT_FALSE(screen_->tableView()->indexPathForSelectedRow());
    auto defaults = app().defaultsFile();
    ASSERT_TRUE(defaults);
    EXPECT_NE(defaults->find("\"reset\": true"), std::string::npos) << *defaults;
}

// ---- The SIM reminder ----

TEST_F(ResultScreen, TheSimReminderShowsHalfASecondAfterAppearing) {
    writeFlagFile(R"({"SHOW_REMOVE_SIM_CARD_ICON": "True"})");
    show({{"WIFI", 1}, {"GPS", 1}, {"BATTERY", 0}});
    app().advance(0.49);
    EXPECT_TRUE(app().presentedAlerts().empty());
    app().advance(0.01);
    auto alerts = app().presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title()->utf8(), "");
    EXPECT_EQ(alerts[0]->message()->utf8(), localized("RESULT_CONTROLLER_POPUP_DISCONNECT_ALERT_2"));
    ASSERT_EQ(alerts[0]->numberOfButtons(), 1);
    EXPECT_EQ(alerts[0]->cancelButtonIndex(), 0);
    EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0)->utf8(), localized("BASETEST_CONTROLLER_OK"));
    EXPECT_TRUE(app().press(alerts[0], 0)); // the screen handles none of it
    EXPECT_FALSE(app().exitStatus());
}

struct NoReminder {
    const char* flagFile;
    std::vector<Item> items;
    const char* mnc;
};

class NoSimReminder : public ResultScreen, public ::testing::WithParamInterface<NoReminder> {
protected:
    testkit::AppOptions appOptions() const override {
        auto options = ResultScreen::appOptions();
        options.adjust = [mnc = std::string(GetParam().mnc)](sim::Profile& profile) { profile.carrier->mnc = mnc; };
        return options;
    }
};

TEST_P(NoSimReminder, NoAlertAndNoHarm) {
    if (*GetParam().flagFile) writeFlagFile(GetParam().flagFile);
    show(GetParam().items);
    app().advance(1);
    EXPECT_TRUE(app().presentedAlerts().empty());
    // The result file's ending exits at once, with no reminder either.
    EXPECT_TRUE(tapEnding(kFileButton));
    EXPECT_EQ(app().exitStatus(), 0);
}

const std::vector<Item> kAllPassed{{"WIFI", 1}, {"GPS", 1}};
INSTANTIATE_TEST_SUITE_P(
    ResultScreen, NoSimReminder,
    ::testing::Values(NoReminder{R"({"SHOW_REMOVE_SIM_CARD_ICON": true})", kAllPassed, "01"},
                      NoReminder{R"({"SHOW_REMOVE_SIM_CARD_ICON": "true"})", kAllPassed, "01"},
                      NoReminder{R"({"SHOW_REMOVE_SIM_CARD_ICON": "True"})", {{"WIFI", 1}, {"GPS", 2}}, "01"},
                      NoReminder{R"({"SHOW_REMOVE_SIM_CARD_ICON": "True"})", kAllPassed, ""},
                      NoReminder{"[1, 2]", kAllPassed, "01"}, NoReminder{"\x01garbage{", kAllPassed, "01"},
                      NoReminder{"", kAllPassed, "01"}));

// ---- The result file ----

TEST_F(ResultScreen, TheResultFileIsWrittenSortedAndTheProcessEndsAtOnce) {
    show({{"WIFI", 1}, {"GPS", 1}, {"BATTERY", 2}});
    EXPECT_TRUE(tapEnding(kFileButton));
    EXPECT_EQ(app().exitStatus(), 0);
    auto file = resultFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, "{\n  \"BATTERY\" : \"FAIL\",\n  \"GPS\" : \"SUCCESS\",\n  \"RESULT\" : \"FAIL\",\n"
                     "  \"WIFI\" : \"SUCCESS\"\n}");
}

TEST_F(ResultScreen, AnEmptyRunWritesOnlyTheVerdictAndARepeatedKeyKeepsTheLaterItem) {
    show({});
    auto empty = screen_->generateResult();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count(), 0u);
    EXPECT_TRUE(screen_->isAllSuccess());
    screen_->setList(items({{"WIFI", 2}, {"GPS", 1}, {"WIFI", 1}}));
    auto repeated = screen_->generateResult();
    EXPECT_EQ(rt::cast<ns::String>(repeated->objectForKey("WIFI"))->utf8(), "SUCCESS");
    EXPECT_EQ(repeated->count(), 2u);
    screen_->setList(items({}));
    screen_->saveResultFileAndExit();
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_EQ(resultFile(), "{\n  \"RESULT\" : \"SUCCESS\"\n}");
}

TEST_F(ResultScreen, AnUntestedItemWritesNothingAndStays) {
    std::ofstream(ResultViewController::documentsPath(ResultViewController::kResultFileName)) << "old";
    show({{"WIFI", 1}, {"GPS", 0}, {"BATTERY", 2}});
    EXPECT_FALSE(screen_->generateResult());
    EXPECT_TRUE(tapEnding(kFileButton));
    app().advance(5);
    EXPECT_FALSE(app().exitStatus());
    EXPECT_EQ(resultFile(), "old");
}

TEST_F(ResultScreen, WithTheFlagAndASimTheReminderShowsThreeSecondsBeforeTheExit) {
    writeFlagFile(R"({"SHOW_REMOVE_SIM_CARD_ICON": "True"})");
    show({{"WIFI", 1}, {"GPS", 1}});
    app().advance(1);
    for (const auto& alert : app().presentedAlerts()) app().press(alert, 0);
    EXPECT_TRUE(tapEnding(kFileButton));
    EXPECT_EQ(messages(), std::vector<std::string>{localized("RESULT_CONTROLLER_POPUP_SIM_ALERT")});
    EXPECT_TRUE(resultFile());
    // The message covers the screen, and an ending or a row tap sent from code while it shows does
    // nothing: one exit.
    EXPECT_FALSE(tapEnding(kFileButton));
    EXPECT_EQ(app().refusal(), "covered by VHProgressHUD");
    screen_->saveResultFileAndExit();
    screen_->tableViewDidSelectRowAtIndexPath(screen_->tableView(),
                                              ns::IndexPath::indexPathForRowInSection(0, 0));
    app().advance(2.99);
    EXPECT_FALSE(app().exitStatus());
    EXPECT_EQ(messages().size(), 1u);
    app().advance(0.01);
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_TRUE(runner_->retried.empty());
}

TEST_F(ResultScreen, AFileThatCannotBeWrittenIsToldAndThereIsNoExit) {
    std::filesystem::create_directory(ResultViewController::documentsPath(ResultViewController::kResultFileName));
    show({{"WIFI", 1}});
    EXPECT_TRUE(tapEnding(kFileButton));
    EXPECT_FALSE(app().exitStatus());
    EXPECT_EQ(messages(), std::vector<std::string>{localized("RESULT_CONTROLLER_SAVE_FILE_FAIL")});
    EXPECT_TRUE(app().logContains("The result file"));
    app().advance(3);
    EXPECT_TRUE(messages().empty());
    EXPECT_FALSE(app().exitStatus());
    // The endings work again once the message has gone.
    std::filesystem::remove(ResultViewController::documentsPath(ResultViewController::kResultFileName));
    EXPECT_TRUE(tapEnding(kFileButton));
    EXPECT_EQ(app().exitStatus(), 0);
}

} // namespace
