// The accelerometer and gyroscope screens, one table over both: the axes in turn, each passing
// above 0.5 at the reading after the pose, each with 30 s from its own start; the labels, the
// rows, the marks drawn after the axes passed, the errors and a missing sensor.

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "diagnostics/audio_motion_radio_power/motion_axis_view_controller.h"
#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/graphics/pixel_box.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class MotionAxisScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    struct Pose {
        double at;
        sim::Vector3 value; // the axis under test's reading; the others rest
    };
    // The log lines since the screen opened that hold `text`.
    long logged(std::string_view text) const {
        long count = 0;
        const auto lines = app_->logLines();
        for (std::size_t i = linesBefore_; i < lines.size(); ++i) count += lines[i].find(text) != std::string::npos;
        return count;
    }
    std::size_t linesBefore_ = 0;
    static std::vector<long> rows(const ft::MotionAxisViewController& screen) {
        std::vector<long> codes;
        for (const rt::Id& row : *screen.subItemlist()) {
            auto result = rt::cast<ns::Dictionary>(row)->objectForKey("result");
            codes.push_back(result ? long(rt::cast<ns::Number>(result)->doubleValue()) : 0);
        }
        return codes;
    }
};

TEST_F(MotionAxisScreen, AxesPassInTurnAboveTheBoundEachWithinItsOwnThirtySeconds) {
    struct Screen {
        const char* name;
        sim::MotionSensor sensor;
        sim::Vector3 rest;
        const char* unit;
    };
    const Screen screens[] = {
        {"AccelerometerViewController", sim::MotionSensor::Accelerometer, {0, 0, -1}, " g"},
        {"GyroscopeViewController", sim::MotionSensor::Gyroscope, {0, 0, 0}, " rad/s"},
    };
    struct Case {
        const char* name;
        std::vector<Pose> poses;
        std::int64_t code;
        double leaveAt;
        std::vector<long> rows;
        const char* xLabel; // just before the leave ("" : not checked)
        bool error = false; // a sensor error at the leave
        bool noSensor = false;
    };
    const Case cases[] = {
        {"each axis at the reading after its pose",
         {{0.05, {0.8, 0, 0}}, {0.15, {0, 0.8, 0}}, {0.25, {0, 0, 0.8}}}, 1, 0.3, {1, 1, 1}, ""},
        {"0.5 does not pass", {{0.05, {0.5, 0, 0}}}, 2, 30.0, {2, 0, 0}, "X axis: 0.50"},
        {"0.5001 passes", {{0.05, {0.5001, 0, 0}}, {0.15, {0, 0.9, 0}}, {0.25, {0, 0, 0.9}}}, 1, 0.3, {1, 1, 1}, ""},
        {"negative never passes", {{0.05, {-1.0, 0, 0}}}, 2, 30.0, {2, 0, 0}, "X axis: -1.00"},
        {"NaN never passes", {{0.05, {kNaN, 0, 0}}}, 2, 30.0, {2, 0, 0}, "X axis: nan"},
        {"Y has 30 s from X's pass", {{19.95, {0.8, 0, 0}}, {20.05, {0, 0, 0}}, {44.95, {0, 0.8, 0}}, {45.05, {0, 0, 0}}},
         2, 75.0, {1, 1, 2}, ""},
        {"Y fails 30 s after X passed", {{19.95, {0.8, 0, 0}}, {20.05, {0, 0, 0}}}, 2, 50.0, {1, 2, 0}, ""},
        {"at rest", {}, 2, 30.0, {2, 0, 0}, "X axis: 0.00"},
        {"a sensor error", {}, 2, 5.05, {2, 0, 0}, "X axis: 0.00", true},
        {"no sensor", {}, 2, 0.0, {2, 0, 0}, "", false, true},
    };
    for (const Screen& s : screens)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(s.name) + ": " + c.name);
            restart([&](sim::Profile& p) {
                if (c.noSensor) (s.sensor == sim::MotionSensor::Gyroscope ? p.sensors.gyroscope : p.sensors.accelerometer) = false;
            });
            linesBefore_ = app_->logLines().size();
            auto screen = openLogged<ft::MotionAxisViewController>(s.name);
            ASSERT_TRUE(screen);
            auto& device = sim::Device::shared();
            device.setMotionPose(s.sensor, s.rest);
            for (const Pose& pose : c.poses) {
                at(pose.at);
                const bool rests = pose.value == sim::Vector3{};
                device.setMotionPose(s.sensor, rests ? s.rest : pose.value);
            }
            if (c.leaveAt > 0) {
                at(c.leaveAt - 0.01);
                EXPECT_EQ(code(), 0);
                EXPECT_EQ(place(), s.name);
                EXPECT_TRUE(!*c.xLabel || text("x") == c.xLabel + std::string(s.unit)) << text("x");
                EXPECT_TRUE(screen->successButton()->isHidden());
            }
            if (c.error) {
                at(c.leaveAt);
                device.failMotion(s.sensor, 102);
            }
            at(c.leaveAt + 0.001); // a tenth's reading lands a hair after the tenth
            EXPECT_EQ(code(), c.code);
            EXPECT_EQ(rows(*screen), c.rows);
            EXPECT_FALSE(screen->motionManager()->isAccelerometerActive() || screen->motionManager()->isGyroActive());
            // Each passed axis shows the small success mark after its text, on its line.
            for (int axis = 0; axis < 3; ++axis) {
                const auto label = std::array{screen->x(), screen->y(), screen->z()}[std::size_t(axis)];
                const auto picture = testkit::paintedView(*label);
                const cg::Rect text =
                    testkit::pixelBox(*picture, [](const cg::Pixel& p) { return p.green < 100; });
                const cg::Rect mark = testkit::pixelBox(*picture, [](const cg::Pixel& p) {
                    return p.green > 150 && p.red < 120 && p.blue < 150;
                });
                EXPECT_EQ(!mark.isNull(), c.rows[std::size_t(axis)] == 1) << "the mark after axis " << axis;
                if (mark.isNull()) continue;
                EXPECT_GE(mark.minX(), text.maxX() - 1) << axis;
                EXPECT_LT(mark.minY(), text.maxY()) << axis;
                EXPECT_GT(mark.maxY(), text.minY()) << axis;
            }
            at(c.leaveAt + 1.0);
            EXPECT_EQ(place(), "runner");
            EXPECT_EQ(leaves(), 1);
            EXPECT_EQ(logged("stop motion."), 1);
            EXPECT_GE(logged(" completed"), c.code == 1 ? 1 : 0) << "the Z axis logs its events";
            screen = nullptr;
            settle();
            EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
        }
}

} // namespace
