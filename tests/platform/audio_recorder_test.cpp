// The audio recorder and player over the simulated microphone and speaker: what a recording holds,
// when the delegates hear of the end, and what a clip puts into the speaker.

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/mediaplayer/music_player_controller.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/sim/audio_export.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "platform/sim/wav.h"
#include "tests/testkit/audio.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/virtual_time.h"
#include "tools/sounds/sound_resources.h"

namespace audio_recorder_tests {

// Counts the recorder's and the player's finished calls.
class FinishProbe : public rt::Object {
    RT_CLASS(FinishProbe)
public:
    void recorded(const rt::Id&, bool ok) { recorded_ += ok ? 1 : 100; }
    void played(const rt::Id&, bool ok) { played_ += ok ? 1 : 100; }
    int recorded_ = 0, played_ = 0;
};

RT_DEFINE_CLASS(FinishProbe, "AudioRecorderTestFinishProbe", rt::Object,
                rt::method("audioRecorderDidFinishRecording:successfully:", &FinishProbe::recorded),
                rt::method("audioPlayerDidFinishPlaying:successfully:", &FinishProbe::played))

sim::AudioInput sine(double hz) {
    return {.kind = sim::AudioInput::Kind::Sine, .constant = 0, .frequency = hz, .amplitude = 0.1, .file = {}};
}

std::vector<float> floats(const sim::WavSound& sound, int channel, std::size_t first, std::size_t count) {
    std::vector<float> out;
    for (std::size_t i = first; i < first + count && i < sound.frames(); ++i)
        out.push_back(static_cast<float>(sound.samples[i * static_cast<std::size_t>(sound.channels) +
                                                       static_cast<std::size_t>(channel)] / 32768.0));
    return out;
}

rt::Ref<ns::Dictionary> stereoSettings() {
    auto settings = ns::MutableDictionary::make();
    settings->setObjectForKey(ns::Number::withInt(1633772320), av::FormatIDKey);
    settings->setObjectForKey(ns::Number::withDouble(44100.0), av::SampleRateKey);
    settings->setObjectForKey(ns::Number::withInt(2), av::NumberOfChannelsKey);
    return settings;
}

class AudioFiles : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        auto profile = sim::defaultProfile();
        profile.audio.input = sine(440);
        profile.audio.outputVolume = 1.0;
        device_.emplace(profile);
    }
    void TearDown() override {
        av::AudioSession::sharedInstance()->reset();
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    rt::Ref<ns::URL> file(const std::string& name) const {
        return ns::URL::fileURLWithPath((folder_.path() / name).string());
    }
    // Records from now for `seconds`, with the input changed to `later` half-way when given.
    sim::WavSound record(double seconds, std::optional<double> later = std::nullopt) {
        auto recorder = av::AudioRecorder::initWithURL(file("sound1.m4a"), stereoSettings());
        auto probe = rt::make<FinishProbe>();
        recorder->setDelegate(probe);
        EXPECT_TRUE(recorder->prepareToRecord());
        EXPECT_TRUE(recorder->record());
        runFor(seconds / 2);
        if (later) sim::Device::shared().setAudioInput(sine(*later));
        runFor(seconds / 2);
        recorder->stop();
        EXPECT_EQ(probe->recorded_, 0) << "the finish comes on the next turn";
        runFor(0);
        EXPECT_EQ(probe->recorded_, 1);
        return sim::readWav((folder_.path() / "sound1.m4a").string()).value_or(sim::WavSound{});
    }
    testkit::ScratchFolder folder_;
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(AudioFiles, ARecordingHoldsTheMicrophonesToneOnBothChannelsAndFollowsAnInputChange) {
    const auto sound = record(3.0);
    EXPECT_EQ(sound.rate, 44100);
    ASSERT_EQ(sound.channels, 2);
    EXPECT_EQ(sound.frames(), 132300u);
    for (int channel : {0, 1}) {
        const auto heard = floats(sound, channel, 0, sound.frames());
        EXPECT_NEAR(testkit::audio::toneDbfs(heard, 44100, 440), -20, 0.5);
        EXPECT_LT(testkit::audio::toneDbfs(heard, 44100, 660), -60);
    }
    const auto changed = record(3.0, 660.0);
    const auto first = floats(changed, 0, 0, 66150), second = floats(changed, 0, 66150, 66150);
    EXPECT_NEAR(testkit::audio::toneDbfs(first, 44100, 440), -20, 0.5);
    EXPECT_NEAR(testkit::audio::toneDbfs(second, 44100, 660), -20, 0.5);
    EXPECT_LT(testkit::audio::toneDbfs(second, 44100, 440), -40);
}

TEST_F(AudioFiles, WhatCannotBeRecordedOrPlayedIsNilWithAnError) {
    std::ofstream(folder_.path() / "text.m4a") << "not a sound at all, only words";
    struct Case {
        const char* what;
        rt::Ref<ns::URL> url;
        bool recorder;
    };
    const Case cases[] = {
        {"a web URL", ns::URL::URLWithString("https://example.com/sound1.m4a"), true},
        {"a missing folder", file("nowhere/sound1.m4a"), true},
        {"a missing file", file("absent.wav"), false},
        {"a text file named .m4a", file("text.m4a"), false},
    };
    for (const auto& c : cases) {
        rt::Ref<ns::Error> error;
        const bool made = c.recorder ? bool(av::AudioRecorder::initWithURL(c.url, stereoSettings(), &error))
                                     : bool(av::AudioPlayer::initWithContentsOfURL(c.url, &error));
        EXPECT_FALSE(made) << c.what;
        EXPECT_TRUE(error) << c.what;
    }
    auto profile = sim::defaultProfile();
    profile.audio.microphone = false;
    sim::ScopedDevice without(profile);
    EXPECT_FALSE(av::AudioRecorder::initWithURL(file("sound1.m4a"), stereoSettings())->record());
}

TEST_F(AudioFiles, OnlyTheNaturalEndFinishesAPlayerAndAStopKeepsItsPlace) {
    const auto recorded = record(3.0);
    auto player = av::AudioPlayer::initWithContentsOfURL(file("sound1.m4a"));
    ASSERT_TRUE(player);
    EXPECT_DOUBLE_EQ(player->duration(), 3.0);
    auto probe = rt::make<FinishProbe>();
    player->setDelegate(probe);
    ASSERT_TRUE(player->play());
    runFor(1.0);
    player->stop();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->currentTime(), 1.0, 1e-9);
    runFor(5.0);
    EXPECT_EQ(probe->played_, 0) << "a stop is no finish";
    player->play();
    runFor(2.5);
    EXPECT_EQ(probe->played_, 1);
    EXPECT_EQ(player->currentTime(), 0) << "the end goes back to the start";
    const auto clips = sim::Device::shared().speaker().clips();
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(clips[0].file, "sound1.m4a");
    EXPECT_NEAR(clips[0].end - clips[0].start, 1.0, 1e-6);
    EXPECT_NEAR(clips[1].end - clips[1].start, 2.0, 1e-6);
}

// A recording or a clip stopped in the instant it began has no samples: it is still a clip (a sound
// file of none, a clip record of no length), copies nothing from the samples it lacks, and leaves
// nothing to listen to among the exported sounds.
TEST_F(AudioFiles, AClipStoppedBeforeItHasSamplesIsAClipOfNoneAndNoExportedSound) {
    int error = 0;
    sim::setAudioExportFolder(ns::Directory::open(folder_.path().string(), false, &error));
    record(0);
    const std::optional<sim::WavSound> empty = sim::readWav((folder_.path() / "sound1.m4a").string());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->frames(), 0u);
    record(1.0);
    auto player = av::AudioPlayer::initWithContentsOfURL(file("sound1.m4a"));
    ASSERT_TRUE(player && player->play());
    player->stop();
    sim::setAudioExportFolder(std::nullopt);
    const auto clips = sim::Device::shared().speaker().clips();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].end, clips[0].start);
    EXPECT_EQ(sim::Device::shared().speaker().sampleCount(), 0u);
    std::vector<std::string> exported;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / "audio"))
        exported.push_back(entry.path().filename().string());
    EXPECT_EQ(exported, std::vector<std::string>{"001-mic-sound1.m4a.wav"}) << "the one recording with samples";
}

TEST_F(AudioFiles, AClipIsTheFileAtTheOutputVolumeOnTheCurrentPort) {
    record(2.0);
    mp::MusicPlayerController::applicationMusicPlayer()->setVolume(0.5f);
    av::AudioSession::sharedInstance()->setCategory(av::AudioSessionCategoryPlayback);
    auto player = av::AudioPlayer::initWithContentsOfURL(file("sound1.m4a"));
    sim::Device::shared().speaker().clear();
    player->play();
    runFor(3.0);
    const auto clips = sim::Device::shared().speaker().clips();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].port, "Speaker");
    EXPECT_FLOAT_EQ(clips[0].gain, 0.5f);
    std::vector<float> played;
    for (const auto& block : sim::Device::shared().speaker().played())
        played.insert(played.end(), block.samples.begin(), block.samples.end());
    ASSERT_EQ(played.size(), 88200u);
    EXPECT_NEAR(testkit::audio::toneDbfs(played, 44100, 440), -20 - 6.02, 0.5);

    player->play();
    runFor(0.5);
    sim::Device::shared().plugHeadset();
    runFor(2.0);
    const auto moved = sim::Device::shared().speaker().clips();
    ASSERT_EQ(moved.size(), 3u) << "the plug ends the clip and the rest plays on";
    EXPECT_EQ(moved[1].port, "Speaker");
    EXPECT_EQ(moved[2].port, "Headphones");
    EXPECT_NEAR(moved[1].end - moved[1].start + moved[2].end - moved[2].start, 2.0, 1e-6);
}

TEST(WavFiles, WhatIsWrittenReadsBackAndBrokenContentIsRefused) {
    const sim::WavSound stereo{.rate = 8000, .channels = 2, .samples = {1, -2, 300, -32768, 32767, 0}};
    const auto bytes = sim::encodeWav(stereo);
    ASSERT_EQ(bytes.size(), 44u + 12u);
    const auto back = sim::decodeWav(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rate, 8000);
    EXPECT_EQ(back->samples, stereo.samples);
    EXPECT_DOUBLE_EQ(back->duration(), 3.0 / 8000);
    // A file reads as its bytes decode: a chunk before the format and an odd-sized one skipped.
    testkit::ScratchFolder folder;
    const std::string file = (folder.path() / "sound.wav").string();
    const std::string padded = bytes.substr(0, 12) + "LIST" + std::string("\x03\0\0\0abc\0", 8) + bytes.substr(12);
    for (const std::string& good : {bytes, padded}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << good;
        const auto read = sim::readWav(file);
        ASSERT_TRUE(read && sim::decodeWav(good));
        EXPECT_EQ(read->samples, stereo.samples);
        EXPECT_EQ(read->rate, sim::decodeWav(good)->rate);
    }
    for (const std::string& broken : {bytes.substr(0, 40), std::string("RIFX") + bytes.substr(4),
                                      bytes.substr(0, 20) + '\x03' + bytes.substr(21), bytes.substr(0, 50)}) {
        EXPECT_FALSE(sim::decodeWav(broken));
        std::ofstream(file, std::ios::binary | std::ios::trunc) << broken;
        EXPECT_FALSE(sim::readWav(file));
    }
}

TEST(WavFiles, TheBundledSoundsAreWhatTheGeneratorMakesAtMinusTwelveDecibels) {
    for (const auto& [name, bytes] : tools::bundledSounds()) {
        std::ifstream in(std::string(FT_RESOURCES_DIR) + "/" + name, std::ios::binary);
        const std::string checkedIn((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(checkedIn == bytes) << name << ": run make_sounds resources";
        const auto sound = sim::decodeWav(bytes);
        ASSERT_TRUE(sound) << name;
        int peak = 0;
        for (const std::int16_t s : sound->samples) peak = std::max(peak, std::abs(int(s)));
        EXPECT_NEAR(20 * std::log10(peak / 32767.0), -12, 0.01) << name;
    }
    EXPECT_DOUBLE_EQ(sim::decodeWav(tools::bundledSounds()[0].second)->duration(), 2.0);
    EXPECT_DOUBLE_EQ(sim::decodeWav(tools::bundledSounds()[1].second)->duration(), 6.0);
}

} // namespace audio_recorder_tests
