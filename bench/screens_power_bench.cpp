// The vibration, proximity and charger-plug screens through the real runner, in virtual time: the
// wall time from the push of a screen to its verdict (vibration's three pulses and pass at 4 s, the
// proximity watchdog's fail at 30 s), and one battery-state change, from the device's announcement
// through the notification and the mains charger screen to its verdict and way out.

#include <functional>

#include <benchmark/benchmark.h>

#include "bench/screen_stage.h"
#include "platform/sim/device.h"

namespace {

using bench_screens::pushToVerdict;
using bench_screens::Stage;

// Nothing done to the screen for that long.
std::function<void(Stage&)> waiting(double seconds) {
    return [seconds](Stage& stage) { stage.app().advance(seconds); };
}

void BM_PushToVerdictVibrationPass(benchmark::State& state) {
    pushToVerdict(state, "VibrationViewController", waiting(4.0));
}
BENCHMARK(BM_PushToVerdictVibrationPass)->Unit(benchmark::kMicrosecond);

void BM_PushToVerdictProximityWatchdog(benchmark::State& state) {
    pushToVerdict(state, "ProximityViewController", waiting(30.0));
}
BENCHMARK(BM_PushToVerdictProximityWatchdog)->Unit(benchmark::kMicrosecond);

// A charger-plug screen waiting (shown, the first announcement dropped); timed: the charger
// plugged and its announcement run through the screen: the mains screen to its verdict and its way
// out to the runner, the computer screen to its question shown (it stays).
void batteryChangeToVerdict(benchmark::State& state, const char* screen, bool passes) {
    Stage stage;
    for (auto _ : state) {
        state.PauseTiming();
        sim::Device::shared().unplugCharger();
        auto item = stage.open(screen);
        stage.app().advance(1.0);
        state.ResumeTiming();
        sim::Device::shared().plugCharger("ac");
        stage.app().runUntilIdle();
        state.PauseTiming();
        if ((item->success() == 1) != passes) {
            state.SkipWithError("not decided by the change");
            break;
        }
        stage.leave();
        state.ResumeTiming();
    }
}

void BM_BatteryChangeToVerdictMains(benchmark::State& state) {
    batteryChangeToVerdict(state, "ACUsbPlugViewController", true);
}
BENCHMARK(BM_BatteryChangeToVerdictMains)->Unit(benchmark::kMicrosecond);

void BM_BatteryChangeToQuestionComputer(benchmark::State& state) {
    batteryChangeToVerdict(state, "ComputerUSBPlugViewController", false);
}
BENCHMARK(BM_BatteryChangeToQuestionComputer)->Unit(benchmark::kMicrosecond);

// What the runner's push and way out cost by themselves: a scripted manual screen answered at once.
void BM_PushToVerdictRunnerAlone(benchmark::State& state) {
    pushToVerdict(state, bench_screens::kBenchNext, [](Stage& stage) {
        stage.app().advance(0.5); // the push's fade over
        stage.app().tapOutlet(stage.top(), "successButton");
    });
}
BENCHMARK(BM_PushToVerdictRunnerAlone)->Unit(benchmark::kMicrosecond);

} // namespace
