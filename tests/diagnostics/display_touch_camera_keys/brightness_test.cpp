// The backlight ramp: its levels tick by tick, how an answer ends it, and the brightness put back
// however the screen goes.

#include <algorithm>

#include "diagnostics/display_touch_camera_keys/brightness_view_controller.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace {

using diagnostics_tests::Place;

class Backlight : public diagnostics_tests::ScreenTest {
protected:
    static double brightness() { return ui::Screen::mainScreen()->brightness(); }
};

TEST_F(Backlight, TheRampRisesTurnsAtEachEndForOneTickAndFalls) {
    struct Tick {
        double at, brightness;
        const char* label;
    };
    const Tick ticks[] = {{0.1, 0.1, "10"}, {0.9, 0.9, "90"}, {1.0, 1.0, "100"}, {1.1, 1.0, "100"},
                          {1.2, 0.9, "90"}, {2.1, 0.0, "0"},  {2.2, 0.0, "0"},   {2.3, 0.1, "10"},
                          {4.4, 0.0, "0"},  {4.5, 0.1, "10"}};
    open("BrightnessViewController");
    for (const Tick& t : ticks) {
        at(t.at + 0.005); // just after the tick, clear of the clock's rounding

        EXPECT_NEAR(brightness(), t.brightness, 1e-9) << t.at;
        EXPECT_EQ(text("progressLabel"), t.label) << t.at;
    }
    EXPECT_EQ(text("labelTips"), localized("LCD_BACKLIGHT_CONTROLLER_ANSWER"));
}

TEST_F(Backlight, TheAnswerEndsTheSweepBeforeTheScreenLeavesAndTheBrightnessGoesBack) {
    struct Case {
        const char* name;
        const char* outlet; // nullptr: skipped; "": abandoned in the background
        std::int64_t code;
    };
    const Case cases[] = {
        {"yes", "successButton", 1}, {"no", "failButton", 2}, {"skipped", nullptr, 2}, {"abandoned", "", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([](sim::Profile& p) { p.screen.brightness = 0.37; });
        auto screen = open<ft::BrightnessViewController>("BrightnessViewController");
        at(2.35);
        if (!c.outlet)
            ASSERT_TRUE(skip());
        else if (*c.outlet)
            tapAt(2.35, c.outlet);
        else
            app_->enterBackground();
        EXPECT_EQ(code(), c.code);
        EXPECT_NEAR(brightness(), 0.37, 1e-9);
        const auto log = app_->logLines();
        const auto finish = std::find(log.begin(), log.end(), "finish.");
        ASSERT_NE(finish, log.end());
        EXPECT_TRUE(std::none_of(finish, log.end(),
                                 [](const std::string& l) { return l.starts_with("brightness value"); }));
        if (c.code == 1) {
            EXPECT_EQ(std::count(log.begin(), finish, "brightness value = 30.000000"), 2)
                << "up and down once";
            EXPECT_NE(std::find_if(finish, log.end(),
                                   [](const std::string& l) { return l.starts_with("Result: KEY 1"); }),
                      log.end())
                << "the way out after the sweep ended";
        }
        if (c.outlet && *c.outlet) {
            auto row = rt::cast<ns::Dictionary>(screen->subItemlist()->objectAtIndex(0));
            EXPECT_EQ(rt::cast<ns::Number>(row->objectForKey("result"))->longValue(), c.code);
        }
        screen = nullptr;
        settle();
        if (c.code) {
            EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
        }
    }
}

} // namespace
