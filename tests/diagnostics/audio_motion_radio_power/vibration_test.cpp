// The vibration screen: three pulses two seconds apart, counted in the title, and the automatic
// ending rule by place; the pad, a retry given up, and the background it keeps running in.

#include "diagnostics/audio_motion_radio_power/vibration_view_controller.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/uikit/button.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"

namespace {

using diagnostics_tests::Place;

class VibrationScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    std::string title() const { return text("labelTitle"); }
    bool buttonsShown() const { return !rt::cast<ft::BaseModelViewController>(top())->successButton()->isHidden(); }
};

TEST_F(VibrationScreen, PulsesAtZeroTwoAndFourThenLeavesByTheAutomaticEndingRule) {
    struct Case {
        Place place;
        bool manualRun;
        const char* segue;
    };
    const Case cases[] = {
        {Place::Single, false, ft::BaseModelViewController::kRootSegue},
        {Place::Middle, false, ft::BaseModelViewController::kPreviousSegue},
        {Place::Last, false, ft::BaseModelViewController::kResultSegue},
        {Place::Last, true, ft::BaseModelViewController::kRootSegue},
        {Place::Retry, true, ft::BaseModelViewController::kResultSegue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.segue + std::string(c.manualRun ? " manualrun" : ""));
        restart({});
        setDefault(ft::BaseModelViewController::kManualRunKey, c.manualRun);
        auto screen = openLogged<ft::VibrationViewController>("VibrationViewController", c.place);
        ASSERT_TRUE(screen);
        EXPECT_EQ(title(), "Vibration 1 of 3");
        EXPECT_EQ(screen->tipLabel()->isHidden(), c.place != Place::Single) << "the hint shows in a single run";
        at(2.0);
        EXPECT_EQ(title(), "Vibration 2 of 3");
        EXPECT_FALSE(buttonsShown());
        at(3.99);
        EXPECT_EQ(code(), 0);
        at(4.0);
        EXPECT_EQ(code(), 1);
        EXPECT_EQ(screen->labelTitle()->text()->utf8(), "Vibration 3 of 3");
        EXPECT_EQ(loggedAt("vibration"), (std::vector<double>{0.0, 2.0, 4.0}));
        const auto row = rt::cast<ns::Dictionary>(screen->subItemlist()->objectAtIndex(0));
        EXPECT_EQ(row->objectForKey("title")->description(), "Vibration");
        EXPECT_EQ(row->objectForKey("result") != nullptr, c.place == Place::Single) << "only a single run's row";
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), c.segue));
    }
}

TEST_F(VibrationScreen, APadFailsAtLoadWithoutAPulse) {
    restart({}, "ipad_wifi");
    openLogged("VibrationViewController");
    EXPECT_EQ(code(), 2);
    settle();
    EXPECT_TRUE(loggedAt("vibration").empty());
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

TEST_F(VibrationScreen, KeepsPulsingInTheBackground) {
    openLogged("VibrationViewController");
    at(1.0);
    ns::NotificationCenter::defaultCenter()->postNotificationName("UIApplicationDidEnterBackgroundNotification",
                                                                   nullptr);
    at(4.0);
    EXPECT_EQ(loggedAt("vibration"), (std::vector<double>{0.0, 2.0, 4.0}));
    EXPECT_EQ(code(), 1);
    settle();
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

} // namespace
