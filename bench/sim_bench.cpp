// The simulated device's costs as a run sees them: one stimulus reaching its readers (the battery
// level to a key-value observer and a notification observer, the stepping included), an empty
// step of the main loop, 300 accelerometer readings, and a permission answer from a platform
// thread with its hop to the main queue.

#include <benchmark/benchmark.h>

#include <atomic>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/media/audio_session.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/uikit/device.h"
#include "tests/testkit/main_loop.h"

namespace {

class LevelWatcher : public rt::Object {
    RT_CLASS(LevelWatcher)
public:
    void observeValueForKeyPath(std::string_view, const rt::Id&, const rt::Ref<ns::Dictionary>&, void*) override {
        ++heard;
    }
    long heard = 0;

private:
    LevelWatcher() = default;
};

} // namespace

RT_DEFINE_CLASS(LevelWatcher, "BenchLevelWatcher", rt::Object)

namespace {

// A manual clock and the default device for one benchmark.
struct Bench {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device{sim::defaultProfile()};
};

void BM_BatteryStimulusToItsReaders(benchmark::State& state) {
    Bench bench;
    const auto& device = ui::Device::currentDevice();
    device->setBatteryMonitoringEnabled(true);
    testkit::drainMainQueue();
    auto watcher = rt::make<LevelWatcher>();
    ns::addObserverForKeyPath(device, watcher, "batteryLevel", ns::KeyValueObservingOptions::New);
    long posted = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::UIDeviceBatteryLevelDidChangeNotification, device, nullptr, [&](auto&) { ++posted; });
    double level = 0.5;
    for (auto _ : state) {
        level = level == 0.5 ? 0.25 : 0.5;
        sim::Device::shared().setBattery(level, sim::BatteryState::Unplugged);
        testkit::drainMainQueue();
    }
    if (posted != static_cast<long>(state.iterations()) || watcher->heard != posted)
        state.SkipWithError("a change went unheard");
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
    ns::removeObserverForKeyPath(device, watcher, "batteryLevel");
    device->setBatteryMonitoringEnabled(false);
}
BENCHMARK(BM_BatteryStimulusToItsReaders)->Unit(benchmark::kMicrosecond);

void BM_EmptyStep(benchmark::State& state) {
    Bench bench;
    for (auto _ : state)
        testkit::runMainLoopFor(0);
}
BENCHMARK(BM_EmptyStep)->Unit(benchmark::kMicrosecond);

void BM_ThreeHundredAccelerometerReadings(benchmark::State& state) {
    Bench bench;
    auto manager = cm::MotionManager::make();
    manager->setAccelerometerUpdateInterval(0.01);
    long readings = 0;
    for (auto _ : state) {
        manager->startAccelerometerUpdatesToQueue(ns::OperationQueue::mainQueue(),
                                                  [&](const auto& data, const auto&) { readings += data ? 1 : 0; });
        testkit::runMainLoopFor(3.0);
        manager->stopAccelerometerUpdates();
    }
    if (readings != 300 * static_cast<long>(state.iterations())) state.SkipWithError("readings went missing");
    testkit::runMainLoopFor(1); // the last pending reading finds the updates stopped
}
BENCHMARK(BM_ThreeHundredAccelerometerReadings)->Unit(benchmark::kMicrosecond);

void BM_HelperAnswerWithItsMainHop(benchmark::State& state) {
    Bench bench;
    const auto& session = av::AudioSession::sharedInstance();
    long answered = 0;
    for (auto _ : state) {
        session->requestRecordPermission([&](bool) {
            dispatch::async(dispatch::Queue::main(), [&] { ++answered; });
        });
        testkit::runMainLoopFor(0); // waits for the platform thread, then drains the hop
    }
    if (answered != static_cast<long>(state.iterations())) state.SkipWithError("an answer went missing");
}
BENCHMARK(BM_HelperAnswerWithItsMainHop)->Unit(benchmark::kMicrosecond);

} // namespace
