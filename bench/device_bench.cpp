// The device services' costs.

#include <benchmark/benchmark.h>

#include <vector>

#include "device/reachability.h"
#include "device/si_network.h"
#include "device/si_processor.h"
#include "device/si_system.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/sim/device.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"

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

// ---- The system-information family ----

// The process table of 1,000 synthetic records turned into their dictionaries.
void BM_ActiveProcesses(benchmark::State& state) {
    testkit::AppFixture app({.adjust = [](sim::Profile& p) { p.host.processes = 1000; }});
    for (auto _ : state) benchmark::DoNotOptimize(si::Processor::activeProcesses());
}
BENCHMARK(BM_ActiveProcesses)->Unit(benchmark::kMicrosecond);

// The flat summary on the default device with the host's memory, disk and processes, not connected.
void BM_SystemInformations(benchmark::State& state) {
    testkit::AppFixture app({.adjust = [](sim::Profile& p) {
        p.host = {};
        p.reachability.clear();
    }});
    for (auto _ : state) benchmark::DoNotOptimize(si::System::systemInformations());
}
BENCHMARK(BM_SystemInformations)->Unit(benchmark::kMillisecond);

// The same, connected, with the address page read from a loopback server.
void BM_SystemInformationsWithAddressPage(benchmark::State& state) {
    testkit::LoopbackServer server;
    server.script("GET", si::Network::kAddressPagePath, {.body = "<p>Current IP Address: 127.0.0.1</p>"});
    ns::Bundle::setInfoValueOverride(si::Network::kAddressPageServerInfoKey, server.url(""));
    {
        testkit::AppFixture app({.adjust = [](sim::Profile& p) { p.host = {}; }});
        for (auto _ : state) benchmark::DoNotOptimize(si::System::systemInformations());
    }
    ns::Bundle::removeInfoValueOverride(si::Network::kAddressPageServerInfoKey);
}
BENCHMARK(BM_SystemInformationsWithAddressPage)->Unit(benchmark::kMillisecond);

} // namespace
