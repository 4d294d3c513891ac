// The two charger-plug screens: power at load (the figures are there as soon as monitoring is on,
// whether the switch is announced or not), the counted battery-state change (the first one is
// dropped), the watchdog from the load, the tester's answer on the computer screen, and leaving
// first.

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "diagnostics/audio_motion_radio_power/ac_usb_plug_view_controller.h"
#include "diagnostics/audio_motion_radio_power/computer_usb_plug_view_controller.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/invocation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"

namespace {

using diagnostics_tests::Place;

// The battery at the start, and whether switching monitoring on is announced (and so dropped).
std::function<void(sim::Profile&)> battery(sim::BatteryState state, bool postOnEnable = true) {
    return [=](sim::Profile& p) {
        p.battery.state = state;
        p.battery.postOnMonitoringEnable = postOnEnable;
    };
}

class PowerPlugScreens : public diagnostics_tests::DeviceScreenTest {
protected:
    template <class Screen> static std::string image(const rt::Ref<Screen>& screen) {
        auto shown = screen->imageView()->image();
        return shown ? shown->name()->utf8() : "";
    }
    // The one row: "<title> YES" / "<title> NO"; "" before the result.
    static std::string row(const rt::Ref<ft::BaseModelViewController>& screen) {
        auto rows = screen->subItemlist();
        if (!rows || rows->count() != 1) return "";
        auto row = rt::cast<ns::Dictionary>(rows->objectAtIndex(0));
        auto result = rt::cast<ns::Number>(row->objectForKey("result"));
        return row->objectForKey("title")->description() + (result ? (result->boolValue() ? " YES" : " NO") : "");
    }
    bool buttonsShown() const { return !rt::cast<ft::BaseModelViewController>(top())->successButton()->isHidden(); }
    static void plug(const char* kind) { sim::Device::shared().plugCharger(kind); }
    static void unplug() { sim::Device::shared().unplugCharger(); }
};

TEST_F(PowerPlugScreens, TheMainsChargerPassesOnPowerAndFailsOnItsAbsenceOrTheWatchdog) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        std::vector<std::pair<double, std::function<void()>>> tester;
        std::int64_t codeAtLoad, code;
        double decidedAt, leaveAt;
        const char* row;
    };
    const Case cases[] = {
        {"charging", battery(sim::BatteryState::Charging), {}, 1, 1, 0, 3.0, "USB plug YES"},
        {"full", battery(sim::BatteryState::Full), {}, 1, 1, 0, 3.0, "USB plug YES"},
        {"charging, nothing posted on switching on", battery(sim::BatteryState::Charging, false), {}, 1, 1, 0, 3.0,
         "USB plug YES"},
        {"plugged at 5", {}, {{5.0, [] { plug("ac"); }}}, 0, 1, 5.0, 5.0, "AC USB plug YES"},
        {"nothing posted on switching on, plugged at 3, pulled at 5", battery(sim::BatteryState::Unplugged, false),
         {{3.0, [] { plug("ac"); }}, {5.0, unplug}}, 0, 2, 5.0, 5.0, "AC USB plug NO"},
        {"nothing", {}, {}, 0, 2, 30.0, 30.0, "AC USB plug NO"},
        {"plugged at 5, nothing posted on switching on", battery(sim::BatteryState::Unplugged, false),
         {{5.0, [] { plug("ac"); }}}, 0, 2, 30.0, 30.0, "AC USB plug NO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        auto screen = open<ft::ACUsbPlugViewController>("ACUsbPlugViewController");
        EXPECT_EQ(text("label"), localized("ROOTLIST_TITLE_AC_USB_PLUG_TEST"));
        EXPECT_EQ(code(), c.codeAtLoad);
        for (const auto& [time, act] : c.tester) {
            at(time);
            act();
        }
        at(c.decidedAt);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(row(screen), c.row);
        EXPECT_EQ(image(screen), c.code == 1 ? "icon_success_shape" : "icon_fail_shape");
        if (c.leaveAt > c.decidedAt) {
            at(c.leaveAt - 0.01);
            EXPECT_EQ(topClass(), "ACUsbPlugViewController");
            EXPECT_TRUE(ui::Device::currentDevice()->isBatteryMonitoringEnabled()) << "left on";
        }
        at(c.leaveAt);
        EXPECT_EQ(place(), "runner");
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(PowerPlugScreens, TheComputerShowsTheQuestionOncePoweredAndTheAnswerDecides) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        std::vector<std::pair<double, std::function<void()>>> tester;
        double shownAt; // the buttons; 0: at once
        std::optional<bool> answer; // at 6.0
        std::int64_t code;
        const char* row;
    };
    const Case cases[] = {
        {"charging, no", battery(sim::BatteryState::Charging), {}, 0, false, 2, "Computer USB Plug NO"},
        {"full, yes", battery(sim::BatteryState::Full), {}, 0, true, 1, "Computer USB Plug YES"},
        {"charging, nothing posted on switching on, no", battery(sim::BatteryState::Charging, false), {}, 0, false,
         2, "Computer USB Plug NO"},
        {"plugged at 5, yes", {}, {{5.0, [] { plug("usb"); }}}, 5.0, true, 1, "Computer USB Plug YES"},
        {"nothing posted on switching on, plugged at 2, pulled at 3 is ignored, plugged at 5, yes",
         battery(sim::BatteryState::Unplugged, false),
         {{2.0, [] { plug("usb"); }}, {3.0, unplug}, {5.0, [] { plug("usb"); }}},
         5.0,
         true,
         1,
         "Computer USB Plug YES"},
        {"no power", {}, {}, 30.0, std::nullopt, 2, "Computer USB Plug NO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        auto screen = open<ft::ComputerUSBPlugViewController>("ComputerUSBPlugViewController");
        EXPECT_EQ(text("label"), localized("ROOTLIST_TITLE_COMPUTER_USB_PLUG_TEST"));
        EXPECT_EQ(text("tiplabel"), localized("COMPUTER_USB_PLUG_TIPLABEL"));
        EXPECT_EQ(code(), c.shownAt == 0 ? 1 : 0) << "preset when powered";
        EXPECT_EQ(screen->tiplabel()->isHidden(), c.shownAt == 0);
        for (const auto& [time, act] : c.tester) {
            at(time - 0.01);
            EXPECT_FALSE(buttonsShown()) << time;
            at(time);
            act();
        }
        if (!c.answer) {
            at(c.shownAt);
            EXPECT_EQ(image(screen), "icon_fail_shape");
        } else {
            at(c.shownAt);
            EXPECT_TRUE(buttonsShown());
            EXPECT_FALSE(screen->tiplabel()->isHidden() && c.shownAt > 0);
            EXPECT_EQ(image(screen), "icon_success_shape");
            at(29.0 + c.shownAt);
            EXPECT_EQ(topClass(), "ComputerUSBPlugViewController") << "the answer has no limit";
            tapAt(29.0 + c.shownAt, *c.answer ? "successButton" : "failButton");
            EXPECT_EQ(image(screen), *c.answer ? "icon_success_shape" : "icon_fail_shape");
        }
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(row(screen), c.row);
        EXPECT_EQ(place(), "runner");
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

// What the scene keeps but nothing sends, sent by name.
TEST_F(PowerPlugScreens, TheMainsChargersUnusedActionsUnwindAndDecideAsWritten) {
    struct Case {
        Place place;
        const char* selector;
        std::function<void(sim::Profile&)> device;
        const char* segue;
        std::int64_t code;
        const char* row;
    };
    const Case cases[] = {
        {Place::Single, "onClick:", {}, ft::BaseModelViewController::kRootSegue, 0, ""},
        {Place::Middle, "onClick:", {}, ft::BaseModelViewController::kPreviousSegue, 0, ""},
        {Place::Middle, "handleBatteryState", {}, ft::BaseModelViewController::kPreviousSegue, 2, "USB plug NO"},
        {Place::Last, "handleBatteryState", battery(sim::BatteryState::Full),
         ft::BaseModelViewController::kResultSegue, 1, "USB plug YES"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        restart(c.device);
        auto screen = open("ACUsbPlugViewController", c.place);
        at(1.0); // shown, monitoring on, the figures in
        if (std::string(c.selector) == "onClick:") rt::send(screen, rt::Sel(c.selector), rt::Id());
        else rt::send(screen, rt::Sel(c.selector));
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(row(screen), c.row);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), c.segue));
    }
}

} // namespace
