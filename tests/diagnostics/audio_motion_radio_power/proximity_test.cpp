// The proximity screen: uncoverings counted in the title from the moment it shows, a pass that
// leaves a second later and is kept against the watchdog, the watchdog's fail, and leaving early.

#include <optional>
#include <vector>

#include "diagnostics/audio_motion_radio_power/proximity_view_controller.h"
#include "platform/uikit/button.h"
#include "platform/uikit/device.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"

namespace {

using diagnostics_tests::Place;

class ProximityScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    struct Report {
        double at;
        bool near;
    };
    void report(const std::vector<Report>& reports) {
        for (const Report& r : reports) {
            at(r.at);
            sim::Device::shared().setProximity(r.near);
        }
    }
    static bool monitoring() { return ui::Device::currentDevice()->isProximityMonitoringEnabled(); }
    static std::string title(int count) { return "Sensor uncovered " + std::to_string(count) + " of 2 times"; }
};

TEST_F(ProximityScreen, TheSecondUncoveringPassesAndLeavesASecondLaterElseTheWatchdogFailsAtThirty) {
    struct Case {
        const char* name;
        const char* device;
        bool coveredAtLoad;
        std::vector<Report> reports;
        std::int64_t code;
        double leaveAt;
    };
    const Case cases[] = {
        {"cover, uncover, twice", "iphone7", false, {{1.0, true}, {2.0, false}, {3.0, true}, {4.0, false}}, 1, 5.0},
        {"covered as it shows", "iphone7", true, {{1.0, false}, {2.0, true}, {3.0, false}}, 1, 4.0},
        {"covered only", "iphone7", false, {{1.0, true}}, 2, 30.0},
        {"one uncovering", "iphone7", false, {{1.0, true}, {2.0, false}}, 2, 30.0},
        {"no sensor", "ipod_touch", false, {{1.0, true}, {2.0, false}, {3.0, true}, {4.0, false}}, 2, 30.0},
        {"a pass in the watchdog's last second", "iphone7", false,
         {{1.0, true}, {2.0, false}, {29.0, true}, {29.5, false}}, 1, 30.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart({}, c.device);
        if (c.coveredAtLoad) sim::Device::shared().setProximity(true);
        auto screen = openLogged<ft::ProximityViewController>("ProximityViewController");
        EXPECT_EQ(text("labelTitle"), title(0));
        EXPECT_TRUE(screen->successButton()->isHidden());
        report(c.reports);
        const int uncovered = c.device == std::string("ipod_touch") ? 0 : int(screen->count());
        EXPECT_EQ(text("labelTitle"), title(uncovered));
        at(c.leaveAt - 0.01);
        EXPECT_EQ(topClass(), "ProximityViewController");
        EXPECT_EQ(code(), c.code == 1 ? 1 : 0);
        EXPECT_EQ(monitoring(), c.code != 1 && c.device == std::string("iphone7")) << "off at the pass";
        at(c.leaveAt);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(place(), "runner");
        at(c.leaveAt + 1.0);
        EXPECT_EQ(code(), c.code);
        EXPECT_FALSE(monitoring());
        EXPECT_EQ(leaves(), 1);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

} // namespace
