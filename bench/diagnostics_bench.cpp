// The display, key and camera screens through the real runner, in virtual time: the wall time from
// the push of a screen to its verdict (the full-screen fill passed, the home key failing by its
// countdown, the power key's watchdog, the camera picture and video passed), 1,000 ticks of the
// backlight ramp, one still capture taken and decoded, and what opening and leaving a screen 100
// times leaves behind (live objects and heap bytes, after minus before; sessions still running and
// players still alive).

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/media/capture_outputs.h"
#include "platform/media/player.h"
#include "platform/runtime/object.h"
#include "platform/sim/device.h"
#include "platform/uikit/image.h"
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
    explicit Stage(std::function<void(sim::Profile&)> adjust = {})
        : app_({.adjust = std::move(adjust), .delegateClass = "AppDelegate"}) {
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

// The picture: captured at 1 s, passed at 2 s.
void BM_PushToVerdictPicturePass(benchmark::State& state) {
    pushToVerdict(state, "CameraPictureViewController", [](Stage& stage) {
        stage.app().advance(1.0);
        stage.app().tapOutlet(stage.top(), "captureButton");
        stage.app().advance(1.0);
        stage.app().tapOutlet(stage.top(), "successButton");
    });
}
BENCHMARK(BM_PushToVerdictPicturePass)->Unit(benchmark::kMillisecond);

// The video: the countdown, a 5 s recording, the playback from 9 s, passed at 9.5 s.
void BM_PushToVerdictVideoPass(benchmark::State& state) {
    pushToVerdict(state, "CameraVideoViewController", [](Stage& stage) {
        stage.app().advance(9.5);
        stage.app().tapOutlet(stage.top(), "successButton");
    });
}
BENCHMARK(BM_PushToVerdictVideoPass)->Unit(benchmark::kMillisecond);

// One still picture of the back camera: captured (JPEG written), answered and decoded, the answer
// on the main queue (no hop to a platform thread measured).
void BM_StillCaptureOne(benchmark::State& state) {
    Stage stage([](sim::Profile& p) { p.callbacks = sim::Callbacks::Main; });
    auto session = av::CaptureSession::make();
    session->addInput(av::CaptureDeviceInput::deviceInputWithDevice(
        av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo)));
    auto still = av::CaptureStillImageOutput::make();
    session->addOutput(still);
    session->startRunning();
    auto connection = still->connectionWithMediaType(av::MediaTypeVideo);
    for (auto _ : state) {
        rt::Ref<ui::Image> picture;
        still->captureStillImageAsynchronouslyFromConnection(
            connection, [&picture](rt::Ref<cm::SampleBuffer> buffer, rt::Ref<ns::Error>) {
                picture = ui::Image::imageWithData(av::CaptureStillImageOutput::jpegStillImageNSDataRepresentation(buffer));
            });
        stage.app().advance(0.0);
        if (!picture) {
            state.SkipWithError("no picture");
            break;
        }
    }
    session->stopRunning();
}
BENCHMARK(BM_StillCaptureOne)->Unit(benchmark::kMicrosecond);

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
    state.counters["sessions_running"] = double(av::CaptureSession::runningCount());
    state.counters["players_live"] = double(av::Player::liveCount());
}
const bool openAndLeaveRegistered = [] {
    for (const char* screen : {kBenchNext, "FillColorViewController", "FillLCDColorViewController",
                               "BrightnessViewController", "HomeKeyViewController", "PowerKeyViewController",
                               "WaterDamgeViewController", "FPSViewController", "JailBreakViewController",
                               "CameraModelViewController", "CameraPictureViewController",
                               "CameraVideoViewController", "FlashModelViewController"})
        benchmark::RegisterBenchmark((std::string("BM_OpenAndLeaveHundredTimes/") + screen).c_str(),
                                     BM_OpenAndLeaveHundredTimes, std::string(screen))
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
