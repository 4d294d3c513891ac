// The device services' costs.

#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>

#include "device/audio_processor.h"
#include "device/iokit_listener.h"
#include "device/mute_switch_detector.h"
#include "platform/audio/audio_unit.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "platform/sim/stepper.h"
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

} // namespace
