// The device services' costs.

#include <benchmark/benchmark.h>

#include "device/iokit_listener.h"
#include "device/mute_switch_detector.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/sim/device.h"
#include "tests/testkit/main_loop.h"

namespace {

// ---- The charger registry listener and the ring/silent switch detector ----------------------
// A refresh of a 10-key entry through to one observer; and 30 virtual seconds of switch checks
// (about 23 sounds played, timed and evaluated), as the physical key screen runs them at most.

void BM_RegistryRefreshOfTenKeysToOneObserver(benchmark::State& state) {
    ns::ScopedManualClock clock;
    sim::Profile profile = sim::defaultProfile();
    auto& entry = profile.registry["AppleARMPMUCharger"];
    for (int i = static_cast<int>(entry.size()); i < 10; ++i)
        entry["Key" + std::to_string(i)] = static_cast<long long>(i);
    sim::ScopedDevice device(profile);
    auto listener = ds::IOKitListener::make();
    long heard = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ds::kIOKitListenerNewDataNotification, listener, nullptr, [&](const auto& n) { heard += n->userInfo()->count() == 10; });
    for (auto _ : state)
        listener->requestDataRefresh();
    if (heard != static_cast<long>(state.iterations())) state.SkipWithError("a refresh went unheard");
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
}
BENCHMARK(BM_RegistryRefreshOfTenKeysToOneObserver)->Unit(benchmark::kMicrosecond);

void BM_ThirtyVirtualSecondsOfSwitchChecks(benchmark::State& state) {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device(sim::defaultProfile());
    ns::Bundle::setMainBundlePath(FT_RESOURCES_DIR);
    long reports = 0;
    for (auto _ : state) {
        auto detector = ft::MuteSwitchDetector::make();
        detector->setSilentNotify([&](bool) { ++reports; });
        testkit::runMainLoopFor(30);
        detector->stopDetect();
        testkit::runMainLoopFor(1); // the check scheduled before the stop
    }
    if (reports != static_cast<long>(state.iterations())) state.SkipWithError("not one report per run");
    ns::Bundle::setMainBundlePath("");
}
BENCHMARK(BM_ThirtyVirtualSecondsOfSwitchChecks)->Unit(benchmark::kMillisecond);

} // namespace
