// The display, touch, key and camera screens through the real runner, in virtual time: the wall
// time from the push of a screen to its verdict (the full-screen fill passed, the home key failing
// by its countdown, the power key's watchdog, the physical keys' 30 s with the switch detector
// checking, the touch grid's pass stroke, the camera picture and video passed), 1,000 ticks of the
// backlight ramp, a volume key press to its ticked row, one re-evaluation of the physical keys'
// pipeline, one still capture taken and decoded, and what opening and leaving a screen 100 times
// leaves behind (live objects and heap bytes, after minus before; sessions still running and
// players still alive).

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "diagnostics/display_touch_camera_keys/phsical_key_model.h"
#include "platform/foundation/array.h"
#include "platform/media/capture_outputs.h"
#include "platform/media/player.h"
#include "platform/runtime/object.h"
#include "bench/screen_stage.h"
#include "platform/sim/device.h"
#include "platform/uikit/image.h"
#include "streams/property_signals.h"
#include "streams/signal.h"

namespace {

using bench_screens::kBenchNext;
using bench_screens::pushToVerdict;
using bench_screens::Stage;

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
    Stage stage({.adjust = [](sim::Profile& p) { p.callbacks = sim::Callbacks::Main; }, .delegateClass = "AppDelegate"});
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
                               "PhysicalKeyViewController", "CameraModelViewController", "CameraPictureViewController",
                               "CameraVideoViewController", "FlashModelViewController"})
        benchmark::RegisterBenchmark((std::string("BM_OpenAndLeaveHundredTimes/") + screen).c_str(),
                                     BM_OpenAndLeaveHundredTimes, std::string(screen))
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
