// The audio stand-ins' costs in a run: recording 3.0 s of stereo at 44.1 kHz (the microphone's
// synthesis to the WAV file), one 1,024-frame stereo buffer played into a clip with its gain,
// and opening a 10-s WAV file for its duration; the microphone record and headset screens passed
// through the real runner in virtual time, their WAV files written; one route change through the
// headset screen's watches.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/screen_stage.h"
#include "platform/foundation/clock.h"
#include "platform/media/audio_recorder.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "platform/sim/wav.h"
#include "tests/testkit/main_loop.h"

namespace {

std::filesystem::path audioBenchFolder() {
    auto folder = std::filesystem::temp_directory_path() / "ft-audio-bench";
    std::filesystem::create_directories(folder);
    return folder;
}

sim::Profile audioBenchProfile() {
    auto profile = sim::defaultProfile();
    profile.audio.input = {.kind = sim::AudioInput::Kind::Sine, .constant = 0, .frequency = 440, .amplitude = 0.1, .file = {}};
    return profile;
}

void BM_RecordThreeSecondsOfStereo(benchmark::State& state) {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device{audioBenchProfile()};
    auto settings = ns::MutableDictionary::make();
    settings->setObjectForKey(ns::Number::withDouble(44100.0), av::SampleRateKey);
    settings->setObjectForKey(ns::Number::withInt(2), av::NumberOfChannelsKey);
    const auto url = ns::URL::fileURLWithPath((audioBenchFolder() / "sound1.m4a").string());
    for (auto _ : state) {
        auto recorder = av::AudioRecorder::initWithURL(url, settings);
        recorder->record();
        clock.advance(3.0);
        recorder->stop();
        testkit::drainMainQueue();
    }
}
BENCHMARK(BM_RecordThreeSecondsOfStereo)->Unit(benchmark::kMillisecond);

// A 1,024-frame stereo file played to its end: read, downmixed, gain applied, into the speaker.
void BM_PlayOneBufferIntoAClip(benchmark::State& state) {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device{audioBenchProfile()};
    const auto path = (audioBenchFolder() / "buffer.wav").string();
    sim::WavSound sound{.rate = 44100, .channels = 2, .samples = std::vector<std::int16_t>(2048, 1000)};
    sim::writeWav(path, sound);
    auto player = av::AudioPlayer::initWithContentsOfURL(ns::URL::fileURLWithPath(path));
    for (auto _ : state) {
        player->play();
        clock.advance(sound.duration() / 2);
        player->stop();
    }
    sim::Device::shared().speaker().clear();
}
BENCHMARK(BM_PlayOneBufferIntoAClip)->Unit(benchmark::kMicrosecond);

void BM_OpenATenSecondFileForItsDuration(benchmark::State& state) {
    const auto path = (audioBenchFolder() / "ten.wav").string();
    sim::writeWav(path, sim::WavSound{.rate = 44100, .channels = 2, .samples = std::vector<std::int16_t>(882000, 7)});
    const auto url = ns::URL::fileURLWithPath(path);
    for (auto _ : state) benchmark::DoNotOptimize(av::AudioPlayer::initWithContentsOfURL(url)->duration());
}
BENCHMARK(BM_OpenATenSecondFileForItsDuration)->Unit(benchmark::kMillisecond);

// The record test: the countdown, three seconds recorded, the first playback, YES at 7.0.
void BM_MicrophoneRecordPassThroughTheRunner(benchmark::State& state) {
    bench_screens::pushToVerdict(state, "MicrophoneRecordViewController", [](bench_screens::Stage& stage) {
        sim::Device::shared().setAudioInput(audioBenchProfile().audio.input);
        stage.app().advance(7.0);
        stage.app().tapOutlet(stage.top(), "successButton");
    });
}
BENCHMARK(BM_MicrophoneRecordPassThroughTheRunner)->Unit(benchmark::kMillisecond);

void headsetBenchPlug() {
    sim::Device::shared().plugHeadset();
    sim::Device::shared().setAudioInput(
        {.kind = sim::AudioInput::Kind::Sine, .constant = 0, .frequency = 660, .amplitude = 0.1, .file = {}});
}

// The headset: plugged at 2, ten seconds recorded, both answers at 18 and 20, unplugged at 22.
void BM_HeadsetPassThroughTheRunner(benchmark::State& state) {
    bench_screens::pushToVerdict(state, "HeadsetPlugViewController", [](bench_screens::Stage& stage) {
        auto& app = stage.app();
        sim::Device::shared().setAudioInput(audioBenchProfile().audio.input);
        app.advance(2.0);
        headsetBenchPlug();
        app.advance(16.0);
        app.tapOutlet(stage.top(), "successButton");
        app.advance(2.0);
        app.tapOutlet(stage.top(), "successButton");
        app.advance(2.0);
        sim::Device::shared().unplugHeadset();
        app.runUntilIdle();
    });
}
BENCHMARK(BM_HeadsetPassThroughTheRunner)->Unit(benchmark::kMillisecond);

// One route change (another reason, so the test goes on) while the headset screen records: through
// the notification, the plug-in watch's leftovers, the recording stage's guard.
void BM_HeadsetRouteChange(benchmark::State& state) {
    bench_screens::Stage stage;
    stage.open("HeadsetPlugViewController");
    stage.app().advance(2.0);
    headsetBenchPlug();
    stage.app().advance(5.0);
    for (auto _ : state) {
        sim::Device::shared().changeRoute(3, {"Headphones"});
        stage.app().runUntilIdle();
    }
    stage.leave();
}
BENCHMARK(BM_HeadsetRouteChange)->Unit(benchmark::kMicrosecond);

} // namespace
