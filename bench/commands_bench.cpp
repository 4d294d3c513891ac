// Commands and the UIKit additions: one execute whose signal returns at once, through its
// completion with the main queue drained; and a tap through es::signalForControlEvents to its
// subscriber.

#include <benchmark/benchmark.h>

#include "platform/foundation/run_loop.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "streams/command.h"
#include "streams/uikit/control_signals.h"

namespace {

void drainMain() {
    while (ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr)) {
    }
}

void ExecuteThroughCompletion(benchmark::State& state) {
    auto value = ns::Number::withInt(1);
    auto command = es::Command::withSignalBlock([value](const rt::Id&) { return es::Signal::returnValue(value); });
    long completed = 0;
    for (auto _ : state) {
        command->execute(nullptr)->subscribeCompleted([&completed] { ++completed; });
        drainMain();
    }
    if (completed != static_cast<long>(state.iterations())) state.SkipWithError("executions did not complete");
}
BENCHMARK(ExecuteThroughCompletion)->Unit(benchmark::kMicrosecond);

void TapThroughControlEventSignal(benchmark::State& state) {
    auto button = rt::make<ui::Button>(cg::Rect::make(10, 10, 100, 44));
    long taps = 0;
    auto subscription = es::signalForControlEvents(button.get(), ui::ControlEvent::TouchUpInside)
                            ->subscribeNext([&taps](const rt::Id&) { ++taps; });
    for (auto _ : state)
        button->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);
    subscription->dispose();
    if (taps != static_cast<long>(state.iterations())) state.SkipWithError("taps were lost");
}
BENCHMARK(TapThroughControlEventSignal);

} // namespace
