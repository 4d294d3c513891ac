// Every screen of the folder left first, as a retried item through the back sheet's exit (straight
// to the results): what it had written stays (a retried vibration gets its earlier code back),
// what it had pending is called off, the sensors it switched on are off, and it leaves once.

#include <functional>
#include <optional>

#include "platform/uikit/device.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"

namespace {

using diagnostics_tests::Place;

class LeavingFirst : public diagnostics_tests::DeviceScreenTest {};

TEST_F(LeavingFirst, KeepsWhatWasWrittenCallsOffWhatWasPendingAndLeavesOnce) {
    struct Case {
        const char* name;
        const char* screen;
        std::function<void(sim::Profile&)> device;
        std::vector<std::pair<double, bool>> proximity; // reports before leaving at 10.5
        std::int64_t code;
        bool batteryMonitoring;
    };
    const auto charging = [](sim::Profile& p) {
        p.battery.state = sim::BatteryState::Charging;
        p.battery.postOnMonitoringEnable = false;
    };
    const Case cases[] = {
        {"vibration, its earlier code back", "VibrationViewController", {}, {}, 2, false},
        {"proximity before a pass", "ProximityViewController", {}, {{1.0, true}, {2.0, false}}, 0, false},
        {"proximity in the second after a pass", "ProximityViewController", {},
         {{1.0, true}, {2.0, false}, {9.0, true}, {10.0, false}}, 1, false},
        {"mains charger, the pass shown", "ACUsbPlugViewController", charging, {}, 1, true},
        {"mains charger, waiting", "ACUsbPlugViewController", {}, {}, 0, false},
        {"computer, waiting", "ComputerUSBPlugViewController", {}, {}, 0, false},
        {"accelerometer, an axis under test", "AccelerometerViewController", {}, {}, 0, false},
        {"gyroscope, an axis under test", "GyroscopeViewController", {}, {}, 0, false},
        {"battery, waiting for the answer", "BatteryViewController", {}, {}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        openLogged(c.screen, Place::Retry, [](ft::TestBaseModel& item) { item.setEndTestCode(2); });
        const double leaveAt = c.proximity.empty() ? 1.0 : 10.5;
        for (const auto& [time, near] : c.proximity) {
            at(time);
            sim::Device::shared().setProximity(near);
        }
        at(leaveAt);
        ASSERT_TRUE(app_->tapBack());
        ASSERT_EQ(sheetButtons(), "EXIT CANCEL");
        ASSERT_TRUE(pressSheet(0));
        at(31.0);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(leaves(), 1);
        EXPECT_EQ(place(), "results");
        EXPECT_FALSE(ui::Device::currentDevice()->isProximityMonitoringEnabled());
        EXPECT_EQ(ui::Device::currentDevice()->isBatteryMonitoringEnabled(), c.batteryMonitoring);
        EXPECT_LE(loggedAt("vibration").size(), 1u);
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kResultSegue));
    }
}

} // namespace
