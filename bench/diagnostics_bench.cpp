// The display and key screens through the real runner, in virtual time: the wall time from the push
// of a screen to its verdict (the full-screen fill passed, the home key failing by its countdown,
// the power key's watchdog), 1,000 ticks of the backlight ramp, and what opening and leaving a
// screen 100 times leaves behind (live objects and heap bytes, after minus before).

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/runtime/object.h"
#include "bench/screen_stage.h"
#include "platform/sim/device.h"

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
