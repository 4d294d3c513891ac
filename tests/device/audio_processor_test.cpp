// The microphone-to-speaker processor over the remote I/O unit: its set-up and what it prints, the
// loop-back through the simulated device, the soft clip, block sizes, failures, stopping and
// disposal, and its latest block read from another thread.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/audio_processor.h"
#include "platform/foundation/standard_output.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;

class AudioProcessorTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { install(constant(0.5)); }
    static sim::AudioInput constant(double value) { return {.kind = sim::AudioInput::Kind::Constant, .constant = value, .file = {}}; }
    void install(sim::AudioInput input, int frames = 512, bool microphone = true) {
        sim::Profile p = sim::defaultProfile();
        p.audio.input = std::move(input);
        p.audio.ioFrames = frames;
        p.audio.microphone = microphone;
        device_.reset();
        device_.emplace(std::move(p));
    }
    void TearDown() override {
        processor = nullptr;
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    // The speaker's blocks as 16-bit samples.
    static std::vector<std::vector<std::int16_t>> played() {
        std::vector<std::vector<std::int16_t>> blocks;
        for (const auto& block : sim::Device::shared().speaker().played()) {
            blocks.emplace_back();
            for (float f : block.samples)
                blocks.back().push_back(static_cast<std::int16_t>(f * 32768.0f));
        }
        return blocks;
    }
    // One buffer of `samples` through processBuffer at `gain`; what it holds afterwards.
    std::vector<std::int16_t> processed(std::vector<std::int16_t> samples, float gain) {
        processor->setGain(gain);
        audio::BufferList list{1, {{1, static_cast<std::uint32_t>(samples.size() * 2), samples.data()}}};
        processor->processBuffer(&list);
        return samples;
    }
    // The one line hasError printed, taken apart: status, file and line; nullopt when the text is
    // anything else.
    struct ErrorLine {
        int status = 0;
        std::string file;
        int line = 0;
    };
    static std::optional<ErrorLine> errorLine(const std::string& text) {
        ErrorLine e;
        char file[256] = {};
        if (std::sscanf(text.c_str(), "Error Code responded %d in file %255s on line %d", &e.status, file, &e.line) != 3)
            return std::nullopt;
        e.file = file;
        const std::string again = "Error Code responded " + std::to_string(e.status) + " in file " + e.file +
                                  " on line " + std::to_string(e.line) + "\n";
        if (again != text || e.line <= 0) return std::nullopt;
        return e;
    }
    static std::vector<std::int16_t> samplesOf(const ft::AudioBufferCopy& copy) {
        std::vector<std::int16_t> out(copy.data.size() / 2);
        std::memcpy(out.data(), copy.data.data(), out.size() * 2);
        return out;
    }
    static constexpr double kCycle = 512 / sim::kSampleRate;

    ns::CapturedLog log;
    ns::CapturedStandardOutput output;
    Ref<ft::AudioProcessor> processor;

private:
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(AudioProcessorTest, SetUpPrintsNothingLogsStartedAndCapturesNothingBeforeStart) {
    processor = ft::AudioProcessor::make();
    EXPECT_EQ(output.text(), "");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Started"});
    EXPECT_NE(processor->audioUnit(), nullptr);
    EXPECT_EQ(processor->gain(), 0.0f);
    const auto first = processor->audioBuffer();
    EXPECT_EQ(first.numberChannels, 1u);
    EXPECT_EQ(first.dataByteSize, 1024u);
    EXPECT_EQ(first.data, std::vector<std::uint8_t>(1024, 0)) << "owned and zero-filled";
    runFor(1);
    EXPECT_TRUE(played().empty());
    processor->disposeCoreAudio();
    EXPECT_EQ(processor->audioUnit(), nullptr);
}

TEST_F(AudioProcessorTest, WithoutAMicrophoneOneLineNamesTheStatusFileAndLineAndStartedFollows) {
    install(constant(0.5), 512, false);
    processor = ft::AudioProcessor::make();
    const std::string text = output.text();
    const auto printed = errorLine(text);
    ASSERT_TRUE(printed) << text;
    EXPECT_EQ(printed->status, audio::kNoInputHardwareError);
    EXPECT_EQ(printed->file, "audio_processor.cpp") << "the base name, never a build path";
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Started"});

    processor->start(); // the speaker side still runs
    runFor(2.5 * kCycle);
    EXPECT_EQ(played(), std::vector<std::vector<std::int16_t>>(3, std::vector<std::int16_t>(512, 0)));
    processor->stop();
    runFor(0);
}

TEST_F(AudioProcessorTest, AtGainZeroASineReachesTheSpeakerBitForBit) {
    install({.kind = sim::AudioInput::Kind::Sine, .frequency = 441, .amplitude = 0.8, .file = {}});
    processor = ft::AudioProcessor::make();
    processor->start();
    runFor(4.5 * kCycle);
    processor->stop();
    processor->stop(); // a second stop, before the disposal and after it, does nothing
    runFor(0);
    processor->stop();
    runFor(0);
    EXPECT_FALSE(errorLine(output.text())) << output.text();
    const auto blocks = played();
    ASSERT_EQ(blocks.size(), 5u);
    const auto microphone = sim::Device::shared().microphone();
    for (std::size_t b = 1; b < blocks.size(); ++b)
        for (std::size_t i = 0; i < 512; ++i) {
            const auto n = static_cast<std::int64_t>((b - 1) * 512 + i);
            const auto heard = static_cast<std::int16_t>(std::lround(microphone->sample(n) * 32768.0));
            ASSERT_EQ(blocks[b][i], heard) << "block " << b << " sample " << i;
        }
}

TEST_F(AudioProcessorTest, TheSoftClipAmplifiesRoundsTowardZeroAndClipsAtFullScale) {
    processor = ft::AudioProcessor::make();
    EXPECT_EQ(processed({32767, 16384, -32768, -16384, 0}, 1.0f),
              (std::vector<std::int16_t>{32767, 22527, -32767, -22527, 0}));
    EXPECT_EQ(processed({8192, 8191, 20000, -8192, -8191}, 4.0f),
              (std::vector<std::int16_t>{32767, 32766, 32767, -32767, -32766}));
    EXPECT_EQ(processed({123, -456, 32767}, 0.0f), (std::vector<std::int16_t>{123, -456, 32767})) << "passed as is";
    EXPECT_EQ(samplesOf(processor->audioBuffer()), (std::vector<std::int16_t>{123, -456, 32767}));
    EXPECT_EQ(processed({1000, -1000}, -1.0f), (std::vector<std::int16_t>{-1499, 1499})) << "a negative gain inverts";
    processor->setGain(2.5f);
    EXPECT_EQ(processor->getGain(), 2.5f);
}

TEST_F(AudioProcessorTest, TheLatestBlockFollowsTheBlockSizeAndALargerPlayBufferGetsOnlyItsBytes) {
    install(constant(0.25), 256);
    processor = ft::AudioProcessor::make();
    processor->start();
    runFor(1.5 * 256 / sim::kSampleRate);
    processor->stop();
    runFor(0);
    const auto latest = processor->audioBuffer();
    EXPECT_EQ(latest.dataByteSize, 512u);
    EXPECT_EQ(samplesOf(latest), std::vector<std::int16_t>(256, 8192));

    std::vector<std::uint8_t> big(2048, 0x5A);
    audio::BufferList list{1, {{1, 2048, big.data()}}};
    audio::TimeStamp stamp;
    EXPECT_EQ(ft::AudioProcessor::playbackCallback(processor.get(), nullptr, &stamp, 0, 1024, &list), 0);
    EXPECT_EQ(list.buffers[0].dataByteSize, 2048u) << "the stated size stays";
    EXPECT_EQ(std::vector<std::uint8_t>(big.begin(), big.begin() + 512), latest.data);
    EXPECT_EQ(std::vector<std::uint8_t>(big.begin() + 512, big.end()), std::vector<std::uint8_t>(1536, 0x5A));
}

TEST_F(AudioProcessorTest, TheSpeakerPlaysSilenceFirstThenTheMicrophoneOneCycleLateAndAFailedBlockAsSilence) {
    processor = ft::AudioProcessor::make();
    processor->start();
    runFor(1.5 * kCycle); // half-way through the second cycle
    audio::failNextRenderForTesting(processor->audioUnit(), -1);
    runFor(2 * kCycle);
    processor->stop();
    runFor(0);
    const auto blocks = played();
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0], std::vector<std::int16_t>(512, 0)) << "1024 zero bytes, never undefined memory";
    EXPECT_EQ(blocks[1], std::vector<std::int16_t>(512, 16384));
    EXPECT_EQ(blocks[2], std::vector<std::int16_t>(512, 0)) << "the failed block is silence, not what was there";
    EXPECT_EQ(blocks[3], std::vector<std::int16_t>(512, 16384));
    EXPECT_EQ(samplesOf(processor->audioBuffer()), std::vector<std::int16_t>(512, 16384));
    const auto printed = errorLine(output.text());
    ASSERT_TRUE(printed) << output.text();
    EXPECT_EQ(printed->status, -1);
    EXPECT_EQ(printed->file, "audio_processor.cpp");
}

TEST_F(AudioProcessorTest, StopFromAnotherThreadEndsTheCyclesAndDisposalFollowsOnTheMainThread) {
    processor = ft::AudioProcessor::make();
    processor->start();
    runFor(2 * kCycle);
    std::thread([p = processor] { p->stop(); }).join();
    const std::size_t blocks = played().size();
    EXPECT_NE(processor->audioUnit(), nullptr) << "disposal waits for the main thread's next turn";
    runFor(0);
    EXPECT_EQ(processor->audioUnit(), nullptr);
    runFor(10 * kCycle);
    EXPECT_EQ(played().size(), blocks) << "no cycle after stop";
    EXPECT_EQ(output.text(), "");

    processor->start();
    runFor(10 * kCycle);
    EXPECT_EQ(played().size(), blocks) << "a disposed unit plays nothing";
    const auto printed = errorLine(output.text());
    ASSERT_TRUE(printed) << output.text();
    EXPECT_EQ(printed->status, audio::kInvalidUnitError);
}

TEST_F(AudioProcessorTest, ALiveProcessorDyingTakesItsRunningUnitWithIt) {
    processor = ft::AudioProcessor::make();
    processor->start();
    runFor(kCycle);
    const std::size_t blocks = played().size();
    processor = nullptr;
    runFor(5 * kCycle);
    EXPECT_EQ(played().size(), blocks);
}

TEST_F(AudioProcessorTest, TheLatestBlockReadFromAnotherThreadIsAlwaysWholeWhileSizesChange) {
    processor = ft::AudioProcessor::make();
    std::vector<std::uint8_t> small(256, 0x11), large(1024, 0x22);
    auto process = [&](std::vector<std::uint8_t>& block) {
        audio::BufferList list{1, {{1, static_cast<std::uint32_t>(block.size()), block.data()}}};
        processor->processBuffer(&list);
    };
    process(large);
    std::atomic<bool> done{false};
    testkit::Latch reading;
    std::size_t torn = 0, reads = 0;
    std::thread reader([&] {
        reading.countDown();
        while (!done.load() || reads == 0) {
            const auto copy = processor->audioBuffer();
            ++reads;
            const std::uint8_t fill = copy.dataByteSize == 256 ? 0x11 : 0x22;
            if (copy.data.size() != copy.dataByteSize || (copy.dataByteSize != 256 && copy.dataByteSize != 1024) ||
                (std::any_of(copy.data.begin(), copy.data.end(), [&](std::uint8_t b) { return b != fill; })))
                ++torn;
        }
    });
    ASSERT_TRUE(reading.wait());
    for (int i = 0; i < 2000; ++i)
        process(i % 2 ? small : large);
    done = true;
    reader.join();
    EXPECT_GT(reads, 0u);
    EXPECT_EQ(torn, 0u);
}

} // namespace
