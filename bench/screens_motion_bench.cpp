// The motion screens through the real runner, in virtual time: a 30-s axis at rest (300 readings
// through the axis chain to the label, then the watchdog's fail), per reading and whole; and the
// progress bar's animated setProgress.

#include <benchmark/benchmark.h>

#include "bench/screen_stage.h"
#include "platform/uikit/color.h"
#include "ui/overlays/progress_bar.h"

namespace {

using bench_screens::pushToVerdict;
using bench_screens::Stage;

void motionAxisAtRest(benchmark::State& state, const char* screen) {
    pushToVerdict(state, screen, [](Stage& stage) { stage.app().advance(30.05); });
    state.SetItemsProcessed(state.iterations() * 300); // readings
}

void BM_AccelerometerAxisAtRestToWatchdog(benchmark::State& state) {
    motionAxisAtRest(state, "AccelerometerViewController");
}
BENCHMARK(BM_AccelerometerAxisAtRestToWatchdog)->Unit(benchmark::kMicrosecond);

void BM_GyroscopeAxisAtRestToWatchdog(benchmark::State& state) {
    motionAxisAtRest(state, "GyroscopeViewController");
}
BENCHMARK(BM_GyroscopeAxisAtRestToWatchdog)->Unit(benchmark::kMicrosecond);

// The combined screen at rest: the accelerometer never passes; the watchdog's time-out at 30 s.
void BM_CombinedAtRestToTimeout(benchmark::State& state) {
    pushToVerdict(state, "MontionSensorViewController", [](Stage& stage) { stage.app().advance(30.05); });
}
BENCHMARK(BM_CombinedAtRestToTimeout)->Unit(benchmark::kMicrosecond);

void BM_ProgressBarSetProgressAnimated(benchmark::State& state) {
    Stage stage;
    auto bar = rt::make<sb::ProgressBar>(cg::Rect::make(0, 0, 240, 20));
    bar->setProgressTintColors(ns::Array::make({ui::Color::redColor()}));
    bar->setIndicatorTextDisplayMode(sb::ProgressBar::kPercentInFill);
    double progress = 0;
    long set = 0;
    for (auto _ : state) {
        progress = progress > 1 ? 0 : progress + 0.01;
        bar->setProgressAnimated(progress, true);
        if (++set % 1000 == 0) { // let the animations end, untimed
            state.PauseTiming();
            stage.app().advance(sb::ProgressBar::kAnimationDuration + 0.01);
            state.ResumeTiming();
        }
    }
    benchmark::DoNotOptimize(bar->progress());
}
BENCHMARK(BM_ProgressBarSetProgressAnimated);

} // namespace
