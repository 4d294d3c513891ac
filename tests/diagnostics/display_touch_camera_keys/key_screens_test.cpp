// The home and power keys and the water-damage question: countdowns and watchdogs to the exact
// tick, the background and foreground the keys cause, one verdict and one way out each, and the
// water-damage title laid out on every pass.

#include "diagnostics/display_touch_camera_keys/home_key_view_controller.h"
#include "diagnostics/display_touch_camera_keys/water_damge_view_controller.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/time_zone.h"
#include "platform/sim/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/local_notification.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace {

using diagnostics_tests::Place;

class KeyScreens : public diagnostics_tests::ScreenTest {
protected:
    std::string flag() const {
        auto image = rt::cast<ft::HomeKeyViewController>(top())->flagImage()->image();
        return image ? image->name()->utf8() : "";
    }
};

TEST_F(KeyScreens, TheHomeKeyCountdownShowsTenToOneAndFailsOnTheTenthSecond) {
    auto screen = open<ft::HomeKeyViewController>("HomeKeyViewController");
    EXPECT_EQ(text("itemTitle"), localized("ROOTLIST_TITLE_HOME_KEYS_TEST"));
    for (int second = 0; second < 10; ++second) {
        at(second + 0.005);
        EXPECT_EQ(screen->countDownLabel()->text()->utf8(), std::to_string(10 - second)) << second;
    }
    at(9.99);
    EXPECT_EQ(code(), 0);
    at(10.0);
    EXPECT_EQ(code(), 2);
    EXPECT_EQ(screen->countDownLabel()->text()->utf8(), "1") << "never 0";
    EXPECT_EQ(screen->flagImage()->image()->name()->utf8(), "icon_fail_n");
    EXPECT_EQ(app_->app()->scheduledLocalNotifications()->count(), 0u);
    screen = nullptr;
    settle();
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

TEST_F(KeyScreens, TheHomeKeyPassesAtOnceCallsTheTesterBackAndLeavesOnlyInTheForeground) {
    ns::TimeZone::setDefaultTimeZone(nullptr);
    open("HomeKeyViewController");
    at(3.0);
    sim::Device::shared().pressHome();
    EXPECT_EQ(code(), 1);
    EXPECT_EQ(flag(), "icon_right_n");
    EXPECT_TRUE(rt::cast<ft::HomeKeyViewController>(top())->countDownLabel()->isHidden());
    auto scheduled = app_->app()->scheduledLocalNotifications();
    ASSERT_EQ(scheduled->count(), 1u);
    auto notification = rt::cast<ui::LocalNotification>(scheduled->objectAtIndex(0));
    EXPECT_EQ(notification->fireDate()->timeIntervalSinceReferenceDate(), app_->clock().now() + 1.0);
    EXPECT_EQ(notification->alertBody()->utf8(),
              ns::format(localized("HOMEKEY_CONTROLLER_NOTIFICATION"), "Quarnotix"));
    EXPECT_EQ(rt::cast<ns::TimeZone>(notification->timeZone())->name()->utf8(),
              ns::TimeZone::systemTimeZone()->name()->utf8());
    at(3.5);
    ns::NotificationCenter::defaultCenter()->postNotificationName(
        "UIApplicationDidEnterBackgroundNotification", nullptr);
    EXPECT_EQ(app_->app()->scheduledLocalNotifications()->count(), 1u)
        << "the second background schedules nothing";
    at(12.0);
    EXPECT_EQ(topClass(), "HomeKeyViewController") << "waits for the foreground";
    EXPECT_NE(sim::Device::shared().logText().find("notification " + notification->alertBody()->utf8()),
              std::string::npos);
    sim::Device::shared().openNotification();
    settle();
    EXPECT_EQ(code(), 1);
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

// The power key's watchdog and the water damage's patience, with the answer at a time and the
// screen held (by the test) past its end.
TEST_F(KeyScreens, AQuestionGetsOneVerdictAndOneWayOutWhateverTheWatchdogDoes) {
    struct Case {
        const char* screen;
        double answerAt; // 0: no answer
        const char* outlet;
        std::int64_t codeBefore30, codeAt30;
    };
    const Case cases[] = {
        {"PowerKeyViewController", 5.0, "successButton", 1, 1},
        {"PowerKeyViewController", 29.0, "failButton", 2, 2},
        {"PowerKeyViewController", 0, nullptr, 0, 2},
        {"WaterDamgeViewController", 20.0, "successButton", 1, 1},
        {"WaterDamgeViewController", 1.0, "failButton", 2, 2},
        {"WaterDamgeViewController", 0, nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.screen) + " " + std::to_string(c.answerAt));
        restart({});
        rt::Ref<ft::BaseModelViewController> held = open(c.screen);
        if (c.outlet) tapAt(c.answerAt, c.outlet);
        at(29.99);
        EXPECT_EQ(code(), c.codeBefore30);
        at(30.0);
        EXPECT_EQ(code(), c.codeAt30);
        at(31.0);
        EXPECT_EQ(code(), c.codeAt30);
        const bool left = c.codeAt30 != 0;
        EXPECT_EQ(topClass() == c.screen, !left);
        if (left) {
            EXPECT_EQ(contract().last().text().find("leave:"), contract().last().text().rfind("leave:"));
            held = nullptr;
            settle();
            EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
        }
    }
}

TEST_F(KeyScreens, ThePowerKeysLockAndUnlockKeepTheScreenAndItsQuestion) {
    open("PowerKeyViewController");
    at(2.0);
    sim::Device::shared().pressPower();
    at(5.0);
    sim::Device::shared().pressPower();
    settle();
    EXPECT_EQ(topClass(), "PowerKeyViewController");
    EXPECT_EQ(text("testTitle"), localized("POWERKEY_CONTROLLER_TITLE"));
    tapAt(8.0, "successButton");
    settle();
    EXPECT_EQ(code(), 1);
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

TEST_F(KeyScreens, TheWaterDamageTitleSitsFivePointsInBelowTheBarOnEveryLayoutPass) {
    auto screen = open<ft::WaterDamgeViewController>("WaterDamgeViewController");
    settle();
    const double width = ui::Screen::mainScreen()->bounds().width();
    EXPECT_EQ(screen->view()->frame().minY(), 64) << "below the bar";
    auto title = screen->titleLabel();
    EXPECT_EQ(title->text()->utf8(), localized("WATERDAMAGE_CONTROLLER_TITLE"));
    EXPECT_EQ(title->frame().origin, (cg::Point{5, 5}));
    EXPECT_LE(title->frame().width(), width - 5);
    EXPECT_GT(title->frame().height(), 0);
    const cg::Rect laidOut = title->frame();
    title->setFrame(cg::Rect::make(0, 300, 20, 20));
    screen->view()->setNeedsLayout();
    screen->view()->layoutIfNeeded();
    EXPECT_EQ(title->frame(), laidOut);
    EXPECT_EQ(text("question"), localized("WATERDAMAGE_CONTROLLER_QUESTION"));
}

} // namespace
