// Schedulers: recursive rescheduling on a background scheduler (a serial queue on the worker pool)
// and on the immediate scheduler (a loop on the calling thread).

#include <functional>

#include <benchmark/benchmark.h>

#include "platform/foundation/dispatch.h"
#include "streams/scheduler.h"

namespace {

constexpr int kReschedules = 1000;

// One recursive block that asks for 1,000 more runs, one at a time; the caller waits for the last.
void RecursiveReschedulesOnBackgroundScheduler(benchmark::State& state) {
    auto scheduler = es::Scheduler::scheduler();
    auto done = dispatch::Semaphore::make(0);
    for (auto _ : state) {
        int runs = 0;
        scheduler->scheduleRecursiveBlock([&runs, &done](const std::function<void()>& reschedule) {
            if (runs++ < kReschedules) reschedule();
            else done->signal();
        });
        done->wait();
    }
    state.SetItemsProcessed(state.iterations() * kReschedules);
}
BENCHMARK(RecursiveReschedulesOnBackgroundScheduler)->UseRealTime()->Unit(benchmark::kMicrosecond);

void RecursiveReschedulesOnImmediateScheduler(benchmark::State& state) {
    const auto& scheduler = es::Scheduler::immediateScheduler();
    for (auto _ : state) {
        int runs = 0;
        scheduler->scheduleRecursiveBlock([&runs](const std::function<void()>& reschedule) {
            if (runs++ < kReschedules) reschedule();
        });
        benchmark::DoNotOptimize(runs);
    }
    state.SetItemsProcessed(state.iterations() * kReschedules);
}
BENCHMARK(RecursiveReschedulesOnImmediateScheduler)->Unit(benchmark::kMicrosecond);

} // namespace
