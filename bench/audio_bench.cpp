// The audio stand-ins' costs in a run: recording 3.0 s of stereo at 44.1 kHz (the microphone's
// synthesis to the WAV file), one 1,024-frame stereo buffer played into a clip with its gain,
// and opening a 10-s WAV file for its duration.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

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

} // namespace
