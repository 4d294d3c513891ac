// The contract every screen keeps with the runner, each screen finished its own way at each kind of
// place in a run; and the contract check itself, on hand-made records.

#include <functional>
#include <vector>

#include "platform/sim/device.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace {

using diagnostics_tests::Place;

class ScreenContract : public diagnostics_tests::ScreenTest {
protected:
    // At `seconds` after the load, a tap at one point, or a stroke through several (0.02 s apart).
    void touchAt(double seconds, const std::vector<cg::Point>& points) {
        at(seconds);
        if (points.size() > 1) {
            sim::Device::shared().stroke(points, 0.02);
            at(seconds + 0.02 * double(points.size()));
            return;
        }
        sim::Device::shared().touch(sim::TouchPhase::Began, points);
        sim::Device::shared().touch(sim::TouchPhase::Ended, points);
    }
    // The touch grid's 40 cell centres on 375 x 667, row by row, serpentine.
    static std::vector<cg::Point> gridSerpentine() {
        std::vector<cg::Point> centres;
        for (int r = 0; r < 8; ++r)
            for (int i = 0; i < 5; ++i)
                centres.push_back({37.5 + 75 * (r % 2 ? 4 - i : i), 37.5 + 75 * r});
        return centres;
    }
};

TEST_F(ScreenContract, EveryScreenShowsAnswersLeavesOnceByItsPlaceAndGoes) {
    struct Case {
        const char* screen;
        Place place;
        std::function<void(sim::Profile&)> device;
        std::function<void()> finish;
        std::int64_t code;
    };
    const auto yesAt = [this](std::vector<double> times) {
        return [this, times] {
            for (double time : times)
                tapAt(time, "successButton");
        };
    };
    const Case cases[] = {
        {"FillColorViewController", Place::Middle, {}, yesAt({3.5, 7.0, 10.5, 14.0, 17.5}), 1},
        {"FillLCDColorViewController", Place::Last, {}, yesAt({2.5, 5.0}), 1},
        {"BrightnessViewController", Place::Single, {}, [this] { tapAt(2.5, "failButton"); }, 2},
        {"HomeKeyViewController",
         Place::Middle,
         {},
         [this] {
             at(3.0);
             sim::Device::shared().pressHome();
             at(4.5);
             sim::Device::shared().openNotification();
         },
         1},
        {"PowerKeyViewController", Place::Retry, {}, [this] { at(30.0); }, 2},
        {"WaterDamgeViewController", Place::Middle, {}, yesAt({1.0}), 1},
        {"FPSViewController", Place::Middle, [](sim::Profile& p) { p.biometrics.after = 0.5; },
         [this] { at(0.5); }, 1},
        {"JailBreakViewController", Place::Middle, {}, [this] { at(1.0); }, 1},
        {"PhysicalKeyViewController", Place::Last, [](sim::Profile& p) { p.model = sim::Model::iPad; },
         [this] {
             at(2.0);
             sim::Device::shared().pressVolumeUp();
             at(3.0);
             sim::Device::shared().pressVolumeDown();
         },
         1},
        {"TouchScreenViewController", Place::Middle, {}, [this] { touchAt(1.0, gridSerpentine()); }, 1},
        {"XTouchViewController", Place::Last, {}, [this] { touchAt(1.0, {{187.5, 580}}); }, 2},
        {"StylusViewController",
         Place::Retry,
         {},
         [this] {
             double time = 1.0;
             for (cg::Point centre : {cg::Point{20, 84}, {355, 85}, {20, 651}, {355, 651}, {187.5, 365.5}})
                 touchAt(time++, {centre});
         },
         1},
        {"CameraModelViewController", Place::Single, {}, yesAt({1.0}), 1},
        {"CameraPictureViewController",
         Place::Last,
         {},
         [this] {
             tapAt(1.0, "captureButton");
             tapAt(2.0, "successButton");
         },
         1},
        {"CameraVideoViewController", Place::Retry, {}, [this] { tapAt(10.0, "failButton"); }, 2},
        {"FlashModelViewController", Place::Middle, {}, yesAt({1.0}), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        restart(c.device);
        ASSERT_TRUE(open(c.screen, c.place));
        c.finish();
        settle();
        EXPECT_EQ(code(), c.code);
        EXPECT_TRUE(keptContract(contract().last(), diagnostics_tests::leavingSegue(c.place)));
        EXPECT_EQ(contract().screens().size(), 1u);
    }
}

TEST(ScreenContractCheck, RefusesAScreenThatLeavesTwiceLateOrNotAtAll) {
    struct Case {
        std::vector<std::string> events;
        bool kept;
    };
    const Case cases[] = {
        {{"present:1", "choose:1", "leave:doResult", "present:0"}, true},
        {{"present:1", "leave:doResult", "present:0"}, true},
        {{"choose:1", "present:1", "leave:doResult", "present:0"}, false},
        {{"present:1", "choose:1", "present:0"}, false},
        {{"present:1", "leave:doResult", "leave:doResult", "present:0"}, false},
        {{"present:1", "leave:unwindToRootView", "present:0"}, false},
        {{"present:1", "leave:doResult", "choose:0", "present:0"}, false},
        {{"present:1", "leave:doResult"}, false},
        {{"present:1", "off-main leave:doResult", "present:0"}, false},
    };
    for (const Case& c : cases) {
        testkit::WatchedScreen watched{.className = "Screen", .events = c.events};
        EXPECT_EQ(bool(testkit::keptContract(watched, "doResult")), c.kept) << watched.text();
    }
}

} // namespace
