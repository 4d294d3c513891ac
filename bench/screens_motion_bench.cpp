// The motion screens through the real runner, in virtual time: a 30-s axis at rest (300 readings
// through the axis chain to the label, then the watchdog's fail), per reading and whole; the
// progress bar's animated setProgress; and the battery screen's six-row reload.

#include <benchmark/benchmark.h>

#include "bench/screen_stage.h"
#include "diagnostics/audio_motion_radio_power/battery_view_controller.h"
#include "platform/uikit/table_view.h"
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

// The battery screen below 10.0 (six rows: two bars, four values) reloads its table once.
void BM_BatterySixRowReload(benchmark::State& state) {
    Stage stage({.adjust = [](sim::Profile& p) { p.systemVersion = "9.3"; }, .delegateClass = "AppDelegate"});
    stage.open("BatteryViewController");
    stage.app().advance(1.0);
    auto screen = rt::cast<ft::BatteryViewController>(stage.top());
    if (!screen || screen->tableView()->numberOfRowsInSection(0) != 6) {
        state.SkipWithError("no six-row battery screen");
        return;
    }
    const auto table = screen->tableView();
    for (auto _ : state) table->reloadData();
    stage.leave();
}
BENCHMARK(BM_BatterySixRowReload)->Unit(benchmark::kMicrosecond);

} // namespace
