// The device services' costs.

#include <benchmark/benchmark.h>

#include <vector>

#include "device/reachability.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/sim/device.h"

namespace {

// ---- Reachability ----
// One change of the route's flags to the change notification of each started notifier: the
// device's hook, the run-loop source, the callback and the post, per notifier (counters:
// per_notifier).
void BM_ReachabilityChangeToItsNotifications(benchmark::State& state) {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device{sim::defaultProfile()};
    const auto notifiers = static_cast<std::size_t>(state.range(0));
    std::vector<rt::Ref<ft::Reachability>> started;
    for (std::size_t i = 0; i < notifiers; ++i) {
        started.push_back(ft::Reachability::reachabilityForInternetConnection());
        started.back()->startNotifier();
    }
    long posted = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ft::kReachabilityChangedNotification, nullptr, nullptr, [&](auto&) { ++posted; });
    using namespace sim::reachability;
    unsigned flags = kReachable | kIsDirect;
    for (auto _ : state) {
        flags ^= kIsWWAN;
        sim::Device::shared().setReachabilityFlags("0.0.0.0", flags);
        ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr);
    }
    if (posted != static_cast<long>(state.iterations() * notifiers)) state.SkipWithError("a change went unheard");
    state.counters["per_notifier"] = benchmark::Counter(
        static_cast<double>(notifiers), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
    started.clear();
}
BENCHMARK(BM_ReachabilityChangeToItsNotifications)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
// ---- end of reachability ----

} // namespace
