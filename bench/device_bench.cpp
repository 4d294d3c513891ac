// The device services' costs.

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/audio_processor.h"
#include "device/device_listener.h"
#include "device/iokit_listener.h"
#include "device/mute_switch_detector.h"
#include "device/reachability.h"
#include "device/si_network.h"
#include "device/si_processor.h"
#include "device/si_system.h"
#include "platform/audio/audio_unit.h"
#include "platform/corefoundation/allocator.h"
#include "platform/corefoundation/run_loop_observer.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "platform/sim/stepper.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"
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


// ---- The microphone-to-speaker processor ----
// processBuffer on one 512-sample block, at gain 1 (the soft clip) and gain 0 (one copy); one
// whole I/O cycle's work (the capture block rendered from the microphone and processed, the play
// copy, the speaker's share); one virtual second of loop-back at 512 frames through the stepper,
// the I/O thread's hand-offs included.

struct AudioBench {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device{[] {
        sim::Profile p = sim::defaultProfile();
        p.audio.input = {.kind = sim::AudioInput::Kind::Constant, .constant = 0.3, .file = {}};
        p.audio.ioFrames = 512;
        return p;
    }()};
    rt::Ref<ft::AudioProcessor> processor = ft::AudioProcessor::make();

    ~AudioBench() {
        processor->stop();
        sim::drainMainQueue();
        processor = nullptr;
        sim::Device::shared().speaker().clear();
    }
};

void processBlock(benchmark::State& state, float gain) {
    AudioBench bench;
    bench.processor->setGain(gain);
    std::vector<std::int16_t> block(512);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::int16_t>(i * 97 % 65536 - 32768);
    const std::vector<std::int16_t> source = block;
    audio::BufferList list{1, {{1, 1024, block.data()}}};
    for (auto _ : state) {
        block = source;
        bench.processor->processBuffer(&list);
        benchmark::DoNotOptimize(block.data());
    }
}

void BM_ProcessBuffer512AtGainOne(benchmark::State& state) {
    processBlock(state, 1.0f);
}
BENCHMARK(BM_ProcessBuffer512AtGainOne)->Unit(benchmark::kNanosecond);

void BM_ProcessBuffer512AtGainZero(benchmark::State& state) {
    processBlock(state, 0.0f);
}
BENCHMARK(BM_ProcessBuffer512AtGainZero)->Unit(benchmark::kNanosecond);

void BM_OneIOCycle(benchmark::State& state) {
    AudioBench bench;
    bench.processor->setGain(1.0f);
    bench.processor->start(); // rendering needs a running unit
    std::vector<std::int16_t> out(512);
    std::vector<float> played(512);
    audio::BufferList list{1, {{1, 1024, out.data()}}};
    auto& speaker = sim::Device::shared().speaker();
    double sampleTime = 0;
    for (auto _ : state) {
        audio::TimeStamp stamp{sampleTime, 0, audio::kTimeStampSampleTimeValid};
        audio::RenderActionFlags flags = 0;
        ft::AudioProcessor::recordingCallback(bench.processor.get(), &flags, &stamp, audio::kInputBus, 512, nullptr);
        std::fill(out.begin(), out.end(), 0);
        ft::AudioProcessor::playbackCallback(bench.processor.get(), &flags, &stamp, audio::kOutputBus, 512, &list);
        for (std::size_t i = 0; i < 512; ++i)
            played[i] = static_cast<float>(out[i] / 32768.0);
        speaker.play(sampleTime / sim::kSampleRate, played.data(), played.size());
        sampleTime += 512;
    }
}
BENCHMARK(BM_OneIOCycle)->Unit(benchmark::kMicrosecond);

void BM_OneVirtualSecondOfLoopBack(benchmark::State& state) {
    AudioBench bench;
    bench.processor->setGain(1.0f);
    bench.processor->start();
    auto& speaker = sim::Device::shared().speaker();
    for (auto _ : state) {
        speaker.clear();
        sim::runMainLoopUntil(bench.clock.now() + 1.0);
        if (speaker.sampleCount() < 86 * 512) state.SkipWithError("a virtual second played fewer than 86 blocks");
    }
}
BENCHMARK(BM_OneVirtualSecondOfLoopBack)->Unit(benchmark::kMillisecond);

// ---- ds::DeviceListener: its recording allocator and its search ------------------------------

cf::DictionaryRef makeDictionary(cf::AllocatorRef allocator, const char* ioClass) {
    const rt::Id keys[] = {ns::String::make("IOClass"), ns::String::make("Voltage")};
    const rt::Id values[] = {ns::String::make(ioClass), ns::Number::withInt(3800)};
    return cf::dictionaryCreate(allocator, keys, values, 2);
}

// An allocate and free pair of 64 bytes through `allocator`, 1,000 other blocks live in it.
void allocateFreePair(benchmark::State& state, cf::AllocatorRef allocator) {
    std::vector<void*> live;
    for (int i = 0; i < 1000; ++i)
        live.push_back(cf::allocatorAllocate(allocator, 64));
    for (auto _ : state) {
        void* block = cf::allocatorAllocate(allocator, 64);
        benchmark::DoNotOptimize(block);
        cf::allocatorDeallocate(allocator, block);
    }
    for (void* block : live)
        cf::allocatorDeallocate(allocator, block);
}

void BM_DeviceListenerRecordingAllocateFree(benchmark::State& state) {
    auto listener = ds::DeviceListener::make();
    allocateFreePair(state, listener->myAllocator());
    listener->endThread();
}
BENCHMARK(BM_DeviceListenerRecordingAllocateFree);

void BM_DeviceListenerSystemAllocateFree(benchmark::State& state) {
    allocateFreePair(state, cf::allocatorSystemDefault());
}
BENCHMARK(BM_DeviceListenerSystemAllocateFree);

// What a search walks: 1,000 recorded blocks, each an object made through the listener's allocator.
// `dictionaries` of them are dictionaries of another class than the charger's, the rest other
// objects (run-loop observers); with `match`, a charger dictionary lies at the highest address.
struct Record {
    std::vector<cf::TypeRef> objects;

    Record(cf::AllocatorRef allocator, int dictionaries, bool match) {
        for (int i = 0; i < 1000; ++i)
            objects.push_back(i < dictionaries ? static_cast<cf::TypeRef>(makeDictionary(allocator, "AppleSmartBattery"))
                                               : cf::runLoopObserverCreate(allocator, 0, true, 0, nullptr));
        if (!match) return;
        std::sort(objects.begin(), objects.end());
        for (;;) { // replace the highest by a charger until a charger lands above the rest
            cf::TypeRef hit = makeDictionary(allocator, "AppleARMPMUCharger");
            cf::release(objects.back());
            objects.back() = hit;
            std::sort(objects.begin(), objects.end());
            if (objects.back() == hit) return;
        }
    }
    ~Record() {
        for (cf::TypeRef object : objects)
            cf::release(object);
    }
};

// range(0): the dictionaries among the 1,000 blocks; range(1): whether the last one matches.
void BM_DeviceListenerSearchThousand(benchmark::State& state) {
    const int dictionaries = static_cast<int>(state.range(0));
    const bool match = state.range(1) != 0;
    auto listener = ds::DeviceListener::make();
    const auto change = ns::Dictionary::withPairs({{ns::String::make("new"), ns::Number::withInt(1)}});
    auto record = std::make_unique<Record>(listener->myAllocator(), dictionaries, match);
    // Run here on the main thread, the post's synchronous dispatch to the main queue runs inline
    // and logs that it did: keep that line out of the figure.
    ns::LogSink previous = ns::setLogSink([](std::string_view) {});
    for (auto _ : state) {
        listener->observeValueForKeyPath("batteryLevel", nullptr, change, nullptr);
        if (match) { // the hit emptied the record: record another thousand
            state.PauseTiming();
            record.reset();
            record = std::make_unique<Record>(listener->myAllocator(), dictionaries, match);
            state.ResumeTiming();
        }
    }
    ns::setLogSink(std::move(previous));
    record.reset();
    state.SetLabel(std::to_string(dictionaries) + " dictionaries, " + (match ? "match last" : "no match"));
    listener->endThread();
}
BENCHMARK(BM_DeviceListenerSearchThousand)->Args({100, 0})->Args({100, 1})->Args({1000, 0});

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

// Reading the address out of a 133 KB page of 16,000 tags (a table of 8,000 cells), the address
// at its end.
void BM_AddressInALargePage(benchmark::State& state) {
    std::string page = "<html><body><table>";
    for (int i = 0; i < 8000 - 4; ++i)
        page += "<td>" + std::to_string(i) + "</td>";
    page += "</table><p>Current IP Address: 127.0.0.1 </p></body></html>";
    page.insert(page.find("</table>"), 133'000 - page.size(), ' ');
    auto text = ns::String::make(page);
    for (auto _ : state)
        benchmark::DoNotOptimize(si::Network::addressInPage(text));
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(page.size()));
}
BENCHMARK(BM_AddressInALargePage)->Unit(benchmark::kMillisecond);

} // namespace
