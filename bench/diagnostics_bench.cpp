// The display, touch and key screens through the real runner, in virtual time: the wall time from
// the push of a screen to its verdict (the full-screen fill passed, the home key failing by its
// countdown, the power key's watchdog, the touch grid's pass stroke), 1,000 ticks of the backlight
// ramp, and what opening and leaving a screen 100 times leaves behind (live objects and heap bytes,
// after minus before).

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/runtime/object.h"
#include "platform/sim/device.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/fake_screens.h"

namespace {

constexpr const char* kBenchNext = "BenchManualViewController";

// The list on screen in a window of the application delegate's, as the runner's tests have it.
class Stage {
public:
    Stage() : app_({.delegateClass = "AppDelegate"}) {
        window_ = rt::make<ui::Window>();
        window_->setFrame(ui::Screen::mainScreen()->bounds());
        rt::cast<ft::AppDelegate>(app_.delegate())->setWindow(window_);
        storyboard_ = ui::Storyboard::storyboardWithName("Main");
        testkit::registerFakeScreen(*storyboard_, kBenchNext, testkit::FakeScreen::Manual);
        navigation_ = rt::cast<ui::NavigationController>(storyboard_->instantiateInitialViewController());
        window_->setRootViewControllerObject(navigation_);
        window_->makeKeyAndVisible();
        app_.runUntilIdle();
    }
    ~Stage() {
        navigation_ = nullptr;
        storyboard_ = nullptr;
        rt::cast<ft::AppDelegate>(app_.delegate())->setWindow(nullptr);
        window_ = nullptr;
    }

    // Pushes the runner with the screen's item (a manual screen after it) and starts it; the item.
    rt::Ref<ft::TestBaseModel> open(const std::string& screen) {
        auto item = ft::TestBaseModel::make();
        item->setName(ns::String::make(screen));
        item->setProfile(ns::String::make("KEY"));
        auto next = ft::TestBaseModel::make();
        next->setName(ns::String::make(kBenchNext));
        auto runner = rt::cast<ft::ReadyStartViewController>(
            storyboard_->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
        runner->setDoItems(ns::Array::make({item, next}));
        runner->setIsAutoRunning(true);
        navigation_->pushViewController(runner, false);
        app_.runUntilIdle();
        app_.tapOutlet(runner, "startBtn");
        return item;
    }
    // Back to the list, the screen left wherever it was.
    void leave() {
        navigation_->popToRootViewControllerAnimated(false);
        app_.advance(1.0);
    }
    testkit::AppFixture& app() { return app_; }
    rt::Ref<ui::ViewController> top() const { return navigation_->topViewController(); }

private:
    testkit::AppFixture app_;
    rt::Ref<ui::Window> window_;
    rt::Ref<ui::Storyboard> storyboard_;
    rt::Ref<ui::NavigationController> navigation_;
};

// Push to verdict: how the tester (or nobody) drives the screen once it has loaded.
void pushToVerdict(benchmark::State& state, const std::string& screen,
                   const std::function<void(Stage&)>& drive) {
    Stage stage;
    for (auto _ : state) {
        auto item = stage.open(screen);
        drive(stage);
        if (item->success() == 0) {
            state.SkipWithError("no verdict");
            break;
        }
        state.PauseTiming();
        stage.leave();
        state.ResumeTiming();
    }
}

void BM_PushToVerdictFillPass(benchmark::State& state) {
    pushToVerdict(state, "FillColorViewController", [](Stage& stage) {
        for (int colour = 0; colour < 5; ++colour) {
            stage.app().advance(3.5);
            stage.app().tapOutlet(stage.top(), "successButton");
        }
    });
}
BENCHMARK(BM_PushToVerdictFillPass)->Unit(benchmark::kMillisecond);

void BM_PushToVerdictHomeKeyFail(benchmark::State& state) {
    pushToVerdict(state, "HomeKeyViewController", [](Stage& stage) { stage.app().advance(10.0); });
}
BENCHMARK(BM_PushToVerdictHomeKeyFail)->Unit(benchmark::kMillisecond);

void BM_PushToVerdictPowerWatchdog(benchmark::State& state) {
    pushToVerdict(state, "PowerKeyViewController", [](Stage& stage) { stage.app().advance(30.0); });
}
BENCHMARK(BM_PushToVerdictPowerWatchdog)->Unit(benchmark::kMillisecond);

// The touch grid's pass script: a stroke through the 40 cell centres, 0.02 s a point, from +1.0.
void BM_PushToVerdictTouchGridPass(benchmark::State& state) {
    std::vector<cg::Point> centres;
    for (int r = 0; r < 8; ++r)
        for (int i = 0; i < 5; ++i)
            centres.push_back({37.5 + 75 * (r % 2 ? 4 - i : i), 37.5 + 75 * r});
    pushToVerdict(state, "TouchScreenViewController", [&](Stage& stage) {
        stage.app().advance(1.0);
        sim::Device::shared().stroke(centres, 0.02);
        stage.app().advance(0.02 * double(centres.size()));
    });
}
BENCHMARK(BM_PushToVerdictTouchGridPass)->Unit(benchmark::kMillisecond);

// 1,000 ticks of the ramp (100 s), the screen open.
void BM_BacklightThousandTicks(benchmark::State& state) {
    Stage stage;
    stage.open("BrightnessViewController");
    for (auto _ : state)
        stage.app().advance(100.0);
    state.SetItemsProcessed(state.iterations() * 1000);
    stage.leave();
}
BENCHMARK(BM_BacklightThousandTicks)->Unit(benchmark::kMillisecond);

// Opens the screen and leaves it 100 times; live objects and heap bytes gained over the hundred
// (after a first round, so caches filled once are not counted), and the lines the application's
// and the device's logs gained meanwhile (they keep every line; a scripted manual screen is the
// baseline of what the runner itself logs).
void BM_OpenAndLeaveHundredTimes(benchmark::State& state, const std::string& screen) {
    Stage stage;
    auto round = [&] {
        for (int i = 0; i < 100; ++i) {
            stage.open(screen);
            stage.app().advance(1.5);
            stage.leave();
        }
    };
    round();
    auto logLines = [&] {
        const std::string device = sim::Device::shared().logText();
        return std::int64_t(stage.app().logLines().size()) + std::count(device.begin(), device.end(), '\n');
    };
    std::int64_t objects = 0, bytes = 0, lines = 0;
    for (auto _ : state) {
        const std::int64_t liveBefore = rt::liveObjectCount();
        const std::int64_t linesBefore = logLines();
        const auto heapBefore = static_cast<std::int64_t>(mallinfo2().uordblks);
        round();
        bytes = static_cast<std::int64_t>(mallinfo2().uordblks) - heapBefore;
        objects = rt::liveObjectCount() - liveBefore;
        lines = logLines() - linesBefore;
    }
    state.counters["objects_gained"] = double(objects);
    state.counters["heap_bytes_gained"] = double(bytes);
    state.counters["log_lines_gained"] = double(lines);
}
const bool openAndLeaveRegistered = [] {
    for (const char* screen : {kBenchNext, "FillColorViewController", "FillLCDColorViewController",
                               "BrightnessViewController", "HomeKeyViewController", "PowerKeyViewController",
                               "WaterDamgeViewController", "FPSViewController", "JailBreakViewController"})
        benchmark::RegisterBenchmark((std::string("BM_OpenAndLeaveHundredTimes/") + screen).c_str(),
                                     BM_OpenAndLeaveHundredTimes, std::string(screen))
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
