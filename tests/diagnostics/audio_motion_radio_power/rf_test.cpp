// The cellular radio screen: the carrier data read at load (one SIM, two services in either order,
// the versions before the services), the check a second after it appears, the tester's answer,
// leaving early and coming back, and the refusal without a SIM. The status bar's signal readers over
// each layout and system version.

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "diagnostics/audio_motion_radio_power/rf_test_view_controller.h"
#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/navigation_item.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "ui/overlays/hud_texts.h"
#include "ui/overlays/progress_hud.h"

namespace {

using diagnostics_tests::Place;

class RFScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    static std::string hud() {
        auto status = sh::ProgressHUD::status();
        return sh::ProgressHUD::isVisible() && status ? status->utf8() : "";
    }
    static std::string caption(const char* key, const char* value) {
        return ns::stringWithFormat(localized(key), ns::String::make(value))->utf8();
    }
    std::int64_t rowResult(const rt::Ref<ft::RFTestViewController>& screen) const {
        auto row = rt::cast<ns::Dictionary>(screen->subItemlist()->firstObject());
        auto result = rt::cast<ns::Number>(row->objectForKey("result"));
        return result ? result->longValue() : -1;
    }
};

sim::CarrierService rfService(const char* id, const char* name, const char* mcc, const char* tech) {
    sim::CarrierService service{id, std::string("CTRadioAccessTechnology") + tech};
    service.name = name;
    service.mcc = mcc;
    return service;
}

TEST_F(RFScreen, CompleteDataRecordsOneAfterASecondAndWaitsElseTwoAndLeaves) {
    struct Case {
        const char* name;
        const char* version;
        std::function<void(sim::Carrier&)> adjust;
        std::optional<bool> answer; // the tester's, when complete
        const char* carrier;
        const char* technology;
        bool loggedNetwork = false;
    };
    const auto two = [](bool secondFirst) {
        return [secondFirst](sim::Carrier& c) {
            c.services = {rfService(ft::RFTestViewController::kFirstService, "One", "310", "LTE"),
                          rfService(ft::RFTestViewController::kSecondService, "Two", "262", "WCDMA")};
            if (secondFirst) std::swap(c.services[0], c.services[1]);
        };
    };
    const Case cases[] = {
        {"one SIM, yes", "12.4.1", {}, true, "Kestrel Mobile", "LTE"},
        {"one SIM, no", "12.4.1", {}, false, "Kestrel Mobile", "LTE"},
        {"no technology", "12.4.1", [](sim::Carrier& c) { c.services[0].radioTech = ""; c.radioTech = ""; },
         std::nullopt, "", ""},
        {"no network code", "12.4.1", [](sim::Carrier& c) { c.mnc = ""; }, std::nullopt, "", ""},
        {"11.x reads no services", "11.4", [](sim::Carrier& c) { c.services.clear(); c.radioTech = "CTRadioAccessTechnologyEdge"; },
         true, "Kestrel Mobile", "Edge"},
        {"12.x without services logs", "12.4.1", [](sim::Carrier& c) { c.services.clear(); }, true, "Kestrel Mobile",
         "LTE", true},
        {"two SIMs", "12.4.1", two(false), true, "Two, One", "WCDMA, LTE"},
        {"two SIMs, the other order", "12.4.1", two(true), true, "Two, One", "WCDMA, LTE"},
        {"two services, the second SIM only", "12.4.1",
         [&two](sim::Carrier& c) { two(false)(c); c.services[0].mcc = ""; c.mcc = ""; }, true, "Two", "WCDMA"},
        {"two services, the first SIM only, no technology of its own", "12.4.1",
         [&two](sim::Carrier& c) { two(false)(c); c.services[1].mcc = ""; c.mcc = ""; c.services[0].radioTech = ""; },
         true, "One", "WCDMA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&c](sim::Profile& p) {
            p.systemVersion = c.version;
            if (c.adjust) c.adjust(*p.carrier);
        }, "iphone7");
        auto screen = openLogged<ft::RFTestViewController>("RFTestViewController");
        const bool complete = c.answer.has_value();
        EXPECT_EQ(rowResult(screen), complete ? 1 : 2);
        EXPECT_TRUE(screen->signalStrength()->isHidden());
        EXPECT_EQ(screen->question()->isHidden(), !complete);
        const auto lines = app_->logLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "network"), c.loggedNetwork ? 1 : 0);
        at(0.0);
        EXPECT_EQ(hud(), localized("PROGRESSHUD_MONITORING"));
        EXPECT_TRUE(screen->successButton()->isHidden() != complete);
        at(0.99);
        EXPECT_EQ(code(), 0);
        std::vector<std::string> told{""};
        const auto token = sh::addHUDTextObserver([&told](std::string_view t) { told.emplace_back(t); });
        at(1.0);
        sh::removeHUDTextObserver(token);
        EXPECT_FALSE(screen->navigationItem()->hidesBackButton());
        if (!complete) {
            EXPECT_EQ(code(), 2);
            // Shown, then dismissed by the screen's own leaving.
            EXPECT_EQ(told.back(), localized("PROGRESSHUD_FAIL"));
            EXPECT_TRUE(screen->successButton()->isHidden());
            EXPECT_EQ(place(), "runner");
            continue;
        }
        EXPECT_EQ(code(), 1);
        EXPECT_EQ(hud(), "");
        EXPECT_EQ(text("carrier"), caption("RFTEST_CONTROLLER_CARRIER", c.carrier));
        EXPECT_EQ(text("newtworkType"), caption("RFTEST_CONTROLLER_NETWORK_TYPE", c.technology));
        tapAt(3.0, *c.answer ? "successButton" : "failButton");
        settle();
        EXPECT_EQ(code(), *c.answer ? 1 : 2);
        EXPECT_EQ(rowResult(screen), 1) << "the row keeps its load result";
        EXPECT_EQ(place(), "runner");
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(RFScreen, LeavingWithinTheSecondRecordsNothingAndAReturnRecordsZero) {
    auto screen = openLogged<ft::RFTestViewController>("RFTestViewController");
    at(0.5);
    ASSERT_TRUE(skip());
    at(1.5);
    EXPECT_EQ(hud(), "") << "no HUD after leaving";
    EXPECT_TRUE(screen->enterBackgound());
    EXPECT_EQ(code(), 2) << "the skip's code, nothing from the check";
    // The same screen shown again: the flag set by the first disappearance makes it record 0.
    screen->beginAppearanceTransition(true, false);
    screen->endAppearanceTransition();
    EXPECT_EQ(hud(), localized("PROGRESSHUD_MONITORING"));
    app_->advance(1.0);
    EXPECT_EQ(code(), 0);
    screen->beginAppearanceTransition(false, false);
    screen->endAppearanceTransition();
    screen = nullptr;
    settle();
}

TEST_F(RFScreen, WithoutASimTheRunnerShowsTheWarningAndOpensNothing) {
    restart([](sim::Profile& p) { p.carrier.reset(); }, "iphone7");
    EXPECT_EQ(ft::RFTestViewController::extraMessage()->utf8(), localized("RFTEST_CONTROLLER_WARRING"));
    EXPECT_EQ(rt::cast<ns::Number>(ft::RFTestViewController::isSupport())->longValue(), 0);
    open<ft::BaseModelViewController>("RFTestViewController");
    EXPECT_EQ(place(), "runner");
    EXPECT_EQ(hud(), localized("RFTEST_CONTROLLER_WARRING"));
}

TEST_F(RFScreen, TheSignalReadersFollowTheStatusBarsLayoutAndTheVersion) {
    using Screen = ft::RFTestViewController;
    const auto getSignal = [](Screen& s) { s.getSignal(); return 0L; };
    const auto older = [](Screen& s) { return s.getSignalStrength(); };
    const auto newer = [](Screen& s) { return s.fetchSignalBarsForiPhoneX(); };
    struct Case {
        const char* name;
        const char* version;
        sim::StatusBarLayout layout;
        std::function<void(sim::StatusBar&)> adjust;
        std::function<long(Screen&)> read;
        long value;
        const char* strength; // nullptr: the labels are left as they were
        const char* carrier = "Kestrel Mobile";
        const char* type = "LTE";
        const char* logged = nullptr;
        bool sim = true;
    };
    const Case cases[] = {
        {"none", "12.4.1", sim::StatusBarLayout::None, {}, getSignal, 0, "0 bars", ""},
        {"old dBm on 10.x", "10.3", sim::StatusBarLayout::Old, [](auto& b) { b.signalRaw = -87; }, older, -87,
         "-87 dbm", "Kestrel Mobile", "LTE", "dbm: -87"},
        {"old dBm on 10.x, then the newer reader", "10.3", sim::StatusBarLayout::Old,
         [](auto& b) { b.signalRaw = -87; }, getSignal, 0, "0 dbm", "", "LTE", "dbm: -87"},
        {"old bars on 11.x, the newer reader not run", "11.4", sim::StatusBarLayout::Old,
         [](auto& b) { b.signalBars = 3; }, getSignal, 0, "3 bars"},
        {"new on 12.x", "12.4.1", sim::StatusBarLayout::New, {}, newer, 4, "4 bars", "Kestrel Mobile", "LTE",
         "identifier = _UIStatusBarCellularExpandedItem"},
        {"new on 12.x, status 1", "12.4.1", sim::StatusBarLayout::New, [](auto& b) { b.cellularStatus = 1; }, newer,
         0, "0 bars", ""},
        {"new on 12.x, two items", "12.4.1", sim::StatusBarLayout::New,
         [](auto& b) { b.items.pop_back(); }, newer, 0, "0 bars", ""},
        {"new on 11.x", "11.4", sim::StatusBarLayout::New, [](auto& b) { b.signalBars = 2; }, newer, 2, "2 bars"},
        // Out of service the bar has no bars, and its tree none either.
        {"new on 12.x, no SIM", "12.4.1", sim::StatusBarLayout::New, {}, newer, 0, "0 bars", "", "", nullptr, false},
        {"broken", "12.4.1", sim::StatusBarLayout::Broken, {}, getSignal, 0, nullptr},
        {"broken, older", "10.3", sim::StatusBarLayout::Broken, {}, older, 0, nullptr},
        {"broken, newer", "12.4.1", sim::StatusBarLayout::Broken, {}, newer, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&c](sim::Profile& p) {
            p.systemVersion = c.version;
            p.statusBar.layout = c.layout;
            if (c.adjust) c.adjust(p.statusBar);
        }, "iphone7");
        auto screen = openLogged<Screen>("RFTestViewController");
        if (!c.sim) sim::Device::shared().setCarrier(std::nullopt);
        const std::string before[] = {text("signalStrength"), text("carrier"), text("newtworkType")};
        EXPECT_EQ(c.read(*screen), c.value);
        if (!c.strength) {
            EXPECT_EQ(text("signalStrength"), before[0]);
            EXPECT_EQ(text("carrier"), before[1]);
            EXPECT_EQ(text("newtworkType"), before[2]);
        } else {
            const std::string shown(c.strength);
            const std::string value = shown.substr(0, shown.find(' '));
            std::string format = localized("RFTEST_CONTROLLER_NETWORK_STRENGTH");
            if (shown.ends_with("bars")) format.replace(format.find("dbm"), 3, "bars");
            EXPECT_EQ(text("signalStrength"), ns::stringWithFormat(format, ns::String::make(value))->utf8());
            EXPECT_EQ(text("carrier"), caption("RFTEST_CONTROLLER_CARRIER", c.carrier));
            EXPECT_EQ(text("newtworkType"), caption("RFTEST_CONTROLLER_NETWORK_TYPE", c.type));
            EXPECT_TRUE(!c.logged || app_->logContains(c.logged)) << c.logged;
        }
        screen = nullptr;
        tapAt(1.5, "failButton");
        settle();
        EXPECT_EQ(place(), "runner");
    }
}

} // namespace
