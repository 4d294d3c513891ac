// The combined motion screen through the real runner (a hand-made item, no catalogue row): the
// three sensors in turn, the magnetometer's pass 3 s late, the 30-s watchdog's ratio and skip
// button, a sensor error or a missing sensor leaving at once, and a leave ending the watchdog.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "diagnostics/audio_motion_radio_power/montion_sensor_view_controller.h"
#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"

namespace {

using sim::MotionSensor;

class MontionSensorScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    struct Stimulus {
        double at;
        std::function<void(sim::Device&)> act;
    };
    static std::vector<bool> rows(const ft::MontionSensorViewController& screen) {
        std::vector<bool> results;
        for (const rt::Id& row : *screen.subItemlist())
            results.push_back(rt::cast<ns::Number>(rt::cast<ns::Dictionary>(row)->objectForKey("result"))->boolValue());
        return results;
    }
    static std::function<void(sim::Device&)> pose(sim::Vector3 v) {
        return [v](sim::Device& d) { d.setMotionPose(MotionSensor::Accelerometer, v); };
    }
};

TEST_F(MontionSensorScreen, PassesAllThreeInTimeElseFailsWithTheRatioOrLeavesAtOnceOnAnError) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        std::vector<Stimulus> stimuli;
        std::int64_t code;
        double leaveAt; // 0: stays
        std::vector<bool> rows;
        long price;      // -1: no ratio
        double checkAt;  // rows and price checked then
        double skipAt = 0;
    };
    const Case cases[] = {
        {"X, Z, Y, then the gyroscope and magnetometer", {},
         {{0.05, pose({0.8, 0, -1})}, {0.15, pose({0, 0, 0.8})}, {0.25, pose({0, 0.8, -1})}}, 1, 3.5,
         {true, true, true}, -1, 3.6},
        {"at rest", {}, {}, 2, 0, {false, false, false}, 30, 30.1, 35.0},
        {"the accelerometer at 28", {}, {{27.95, pose({0.8, 0.8, 0.8})}}, 2, 0, {true, true, true}, 10, 31.2},
        {"a gyroscope error after the accelerometer", {},
         {{0.05, pose({0.8, 0.8, 0.8})}, {0.1001, [](sim::Device& d) { d.failMotion(MotionSensor::Gyroscope, 102); }}},
         2, 0.1001, {true, false, false}, -1, 0.2},
        {"no magnetometer", [](sim::Profile& p) { p.sensors.magnetometer = false; },
         {{0.05, pose({0.8, 0.8, 0.8})}}, 2, 0.2, {true, true, false}, -1, 0.3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        auto screen = openLogged<ft::MontionSensorViewController>("MontionSensorViewController");
        ASSERT_TRUE(screen);
        EXPECT_TRUE(screen->skipbtn()->isHidden());
        EXPECT_TRUE(screen->successButton()->isHidden());
        for (const Stimulus& s : c.stimuli) {
            at(s.at);
            s.act(sim::Device::shared());
        }
        if (c.leaveAt > 0) {
            at(c.leaveAt - 0.01);
            EXPECT_EQ(place(), "MontionSensorViewController");
            at(c.leaveAt + 0.01);
            EXPECT_EQ(code(), c.code);
        }
        at(c.checkAt);
        EXPECT_EQ(rows(*screen), c.rows);
        EXPECT_EQ(code(), c.code);
        auto ratio = screenItem_->ratio();
        EXPECT_EQ(ratio ? rt::cast<ns::Number>(ratio->objectForKey("price"))->longValue() : -1, c.price);
        if (c.leaveAt == 0) {
            EXPECT_EQ(place(), "MontionSensorViewController") << "waits for skip";
            EXPECT_FALSE(screen->skipbtn()->isHidden());
            EXPECT_FALSE(screen->answer()->isHidden());
            tapAt(c.skipAt ? c.skipAt : c.checkAt + 1, "skipbtn");
        }
        at(sinceLoad() + 1.0);
        EXPECT_EQ(place(), "runner");
        EXPECT_EQ(leaves(), 1);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(MontionSensorScreen, ALeaveStopsEverySensorAndEndsTheWatchdog) {
    auto screen = openLogged<ft::MontionSensorViewController>("MontionSensorViewController");
    at(10.0);
    ASSERT_TRUE(skip());
    at(31.0);
    EXPECT_FALSE(screen->motionManager()->isAccelerometerActive() || screen->motionManager()->isGyroActive() ||
                 screen->motionManager()->isMagnetometerActive());
    EXPECT_EQ(rows(*screen), std::vector<bool>(3, false)) << "leaving passes no sub-test";
    EXPECT_EQ(screenItem_->ratio(), nullptr) << "nothing at 30 s";
    EXPECT_TRUE(screen->skipbtn()->isHidden());
    EXPECT_EQ(code(), 2) << "the skip, and no later write";
    EXPECT_EQ(leaves(), 1);
    const auto lines = app_->logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "stop motion."), 1);
}

} // namespace
