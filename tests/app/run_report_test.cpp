// The run report watches the screen on top from outside: a screen whose "info" is a test item opens
// a row, which closes with the item's result when the screen leaves; a retry is a row of its own,
// which counts in the retried row's place; a stand-in's 2 is "not built", apart from fails.

#include <string>

#include <gtest/gtest.h>

#include "platform/sim/run_text.h"
#include "app/run_report.h"
#include "platform/foundation/notification_center.h"
#include "session/app_delegate.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "tests/testkit/app/navigation_app_test.h"
#include "tests/testkit/slot_clearing_block.h"

namespace app_tests {

// A test screen as the report sees one: of the base test screen's kind, with its item as "info".
class ReportScreen : public ft::BaseModelViewController {
    RT_CLASS(ReportScreen)
public:
    template <class Screen = ReportScreen> static rt::Ref<Screen> with(rt::Ref<ft::TestBaseModel> info) {
        auto screen = rt::make<Screen>();
        screen->setInfo(std::move(info));
        return screen;
    }

protected:
    ReportScreen() = default;
};

class StandInScreen : public ReportScreen {
    RT_CLASS(StandInScreen)
protected:
    StandInScreen() = default;
};

// Not a test screen, though it holds an item: the results screen is one such.
class ItemHolderScreen : public ui::ViewController {
    RT_CLASS(ItemHolderScreen)
public:
    const rt::Ref<ft::TestBaseModel>& info() const { return info_; }
    void setInfo(rt::Ref<ft::TestBaseModel> info) { info_ = std::move(info); }

protected:
    ItemHolderScreen() = default;

private:
    rt::Ref<ft::TestBaseModel> info_;
};

RT_DEFINE_CLASS(ReportScreen, "AppTestReportScreen", ft::BaseModelViewController)
RT_DEFINE_CLASS(StandInScreen, "AppTestStandInScreen", ReportScreen)
RT_DEFINE_CLASS(ItemHolderScreen, "AppTestItemHolderScreen", ui::ViewController,
                rt::prop("info", &ItemHolderScreen::info, &ItemHolderScreen::setInfo))

namespace {

rt::Ref<ft::TestBaseModel> item(const char* key, const char* title) {
    auto made = rt::make<ft::TestBaseModel>();
    made->setProfile(ns::String::make(key));
    made->setTitle(ns::String::make(title));
    return made;
}

class RunReportTest : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        report_ = std::make_unique<app::RunReport>(
            app().clock().now(), [](std::string_view name) { return name == "AppTestStandInScreen"; });
        showInNavigation(rt::make<ui::ViewController>());
    }
    void TearDown() override {
        report_.reset();
        NavigationAppTest::TearDown();
    }

    // Shows the screen for `seconds` of virtual time with the item's result set to `code` while it
    // is on screen, then pops it; the report looks after each change.
    template <class Screen> void visit(const rt::Ref<Screen>& screen, std::int64_t code, double seconds) {
        navigation_->pushViewController(screen, false);
        app().runUntilIdle();
        report_->observe(app().driver());
        app().advance(seconds);
        report_->observe(app().driver());
        if (auto test = rt::cast<ft::TestBaseModel>(screen->info())) test->setSuccess(code);
        navigation_->popViewControllerAnimated(false);
        app().runUntilIdle();
        report_->observe(app().driver());
    }

    std::unique_ptr<app::RunReport> report_;
};

TEST_F(RunReportTest, ARowPerVisitWithTheResultTheItemHasWhenItsScreenLeaves) {
    report_->observe(app().driver());
    EXPECT_TRUE(report_->rows().empty()) << "a screen without an item is no test";
    app().advance(1);
    auto wifi = item("WIFI", "Wi-Fi");
    visit(ReportScreen::with(wifi), 1, 4);
    visit(ReportScreen::with<StandInScreen>(item("GYRO_TEST", "Gyroscope")), 2, 0.5);
    visit(ReportScreen::with(wifi), 2, 2); // the retry of the same item
    visit(ReportScreen::with(nullptr), 1, 1);
    auto holder = rt::make<ItemHolderScreen>();
    holder->setInfo(item("RESULTS", "Results"));
    visit(holder, 1, 1);
    auto battery = ReportScreen::with(item("BATTERY", "Battery"));
    navigation_->pushViewController(battery, false);
    app().runUntilIdle();
    report_->observe(app().driver());
    app().advance(3);
    rt::cast<ft::TestBaseModel>(battery->info())->setSuccess(1); // written before any answer
    sim::ScriptRun limit;
    limit.end = sim::ScriptRun::End::Limit;
    limit.message = "limit reached at 12.5 s";
    report_->finish(app().driver(), limit, {}); // still on screen: whatever its code says

    const auto& rows = report_->rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].key, "WIFI");
    EXPECT_EQ(rows[0].title, "Wi-Fi");
    EXPECT_EQ(rows[0].screen, "AppTestReportScreen");
    EXPECT_EQ(rows[0].result, "pass");
    EXPECT_EQ(rows[0].retriedAs, 3);
    EXPECT_EQ(rows[0].start, 1);
    EXPECT_EQ(rows[0].duration, 4);
    EXPECT_EQ(rows[1].result, "not built");
    EXPECT_EQ(rows[1].start, 5);
    EXPECT_EQ(rows[2].key, "WIFI");
    EXPECT_EQ(rows[2].result, "fail");
    EXPECT_EQ(rows[2].order, 3);
    EXPECT_EQ(rows[2].retriedAs, 0);
    EXPECT_EQ(rows[3].result, "unfinished");
    EXPECT_EQ(rows[3].duration, 3);
    const std::string text = sim::maskedLines(report_->text()).text(); // as the job writes it
    // Each item counts once, by its last row; the retried row keeps its verdict readable.
    for (const char* line : {"  1   WIFI      ", " retried     1.000    4.000\n      why: retried (pass) -> row 3\n",
                             "\n      why: its screen did not say\n  4   BATTERY", // the retry's fail
                             " unfinished  9.500    3.000\n      why: limit reached at 12.5 s\n",
                             "tests run: 3; pass 0, fail 1, not tested 0, not built 1, unfinished 1; retried rows 1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    EXPECT_NE(text.find("login:    none"), std::string::npos) << text;
}

TEST_F(RunReportTest, TheScreenHookMayClearItsOwnSlotWhileItRuns) {
    testkit::expectBlockClearingItselfRunsOnce(
        "the hook", [this](auto block) { report_->setScreenHook(block); },
        [this] { visit(ReportScreen::with(item("WIFI", "Wi-Fi")), 1, 1); });
}

TEST_F(RunReportTest, TheFirstIntakeIsTimedFromLaunch) {
    app().advance(2.5);
    ns::NotificationCenter::defaultCenter()->postNotificationName(
        ns::String::make(ft::kReceiveimeiNotification));
    app().advance(10);
    ns::NotificationCenter::defaultCenter()->postNotificationName(
        ns::String::make(ft::kReceiveimeiNotification));
    EXPECT_EQ(report_->intakeAt(), 2.5);
    EXPECT_NE(report_->text().find("intake:   2.500 s"), std::string::npos) << report_->text();
}

} // namespace
} // namespace app_tests
