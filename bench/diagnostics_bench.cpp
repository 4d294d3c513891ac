// The display, touch and key screens through the real runner, in virtual time: the wall time from
// the push of a screen to its verdict (the full-screen fill passed, the home key failing by its
// countdown, the power key's watchdog, the physical keys' 30 s with the switch detector checking,
// the touch grid's pass stroke), 1,000 ticks
// of the backlight ramp, a volume key press to its ticked row, one re-evaluation of the physical
// keys' pipeline, and what opening and leaving a screen 100 times leaves behind (live objects and
// heap bytes, after minus before).

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "diagnostics/display_touch_camera_keys/phsical_key_model.h"
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
#include "streams/property_signals.h"
#include "streams/signal.h"
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

void BM_PushToVerdictPhysicalKeysWatchdog(benchmark::State& state) {
    pushToVerdict(state, "PhysicalKeyViewController", [](Stage& stage) { stage.app().advance(30.0); });
}
BENCHMARK(BM_PushToVerdictPhysicalKeysWatchdog)->Unit(benchmark::kMillisecond);

// One volume key press to its row ticked again: the device's change, the output-volume
// observation on the platform's thread, the hop to the main queue, the row's "success", the
// pipeline, the three-row table's reload. Up and down by turns, so the volume never sticks at an end.
void BM_PhysicalKeyPressToTickedRow(benchmark::State& state) {
    Stage stage;
    stage.open("PhysicalKeyViewController");
    stage.app().advance(1.5); // the watch has begun
    bool up = true;
    for (auto _ : state) {
        if (up) sim::Device::shared().pressVolumeUp();
        else sim::Device::shared().pressVolumeDown();
        up = !up;
        stage.app().runUntilIdle();
    }
    stage.leave();
}
BENCHMARK(BM_PhysicalKeyPressToTickedRow)->Unit(benchmark::kMicrosecond);

// One change of a row's "success" through the physical keys' pipeline: combineLatest over the three
// rows' values, and.
void BM_PhysicalKeyPipelineReevaluation(benchmark::State& state) {
    std::vector<rt::Ref<ft::PhsicalKeyModel>> rows;
    std::vector<rt::Ref<es::Signal>> successes;
    for (int i = 0; i < 3; ++i) {
        rows.push_back(ft::PhsicalKeyModel::customClassWithProperties(nullptr));
        successes.push_back(es::valuesForKeyPath(rows.back(), "success", nullptr));
    }
    long values = 0;
    auto subscription = es::Signal::combineLatest(successes)->logicalAnd()->subscribeNext([&](const rt::Id&) { ++values; });
    bool success = true;
    for (auto _ : state) {
        rows[0]->setSuccess(success);
        success = !success;
    }
    subscription->dispose();
    benchmark::DoNotOptimize(values);
}
BENCHMARK(BM_PhysicalKeyPipelineReevaluation)->Unit(benchmark::kMicrosecond);
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
                               "WaterDamgeViewController", "FPSViewController", "JailBreakViewController",
                               "PhysicalKeyViewController"})
        benchmark::RegisterBenchmark((std::string("BM_OpenAndLeaveHundredTimes/") + screen).c_str(),
                                     BM_OpenAndLeaveHundredTimes, std::string(screen))
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
