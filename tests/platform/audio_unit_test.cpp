// The remote I/O unit: finding it, its handles, the properties it takes and refuses, the session's
// route override, and the I/O cycle over the simulated microphone and speaker.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/audio/audio_session.h"
#include "platform/audio/audio_unit.h"
#include "platform/foundation/thread.h"
#include "platform/media/audio_session.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using namespace audio;

class AudioUnitTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { install(true, 512); }
    void install(bool microphone, int frames) {
        sim::Profile p = sim::defaultProfile();
        p.audio.microphone = microphone;
        p.audio.ioFrames = frames;
        p.audio.input = {.kind = sim::AudioInput::Kind::File, .file = ramp()};
        device_.reset();
        device_.emplace(std::move(p));
    }
    void TearDown() override {
        if (unit) componentInstanceDispose(unit);
        av::AudioSession::sharedInstance()->reset();
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    // A raw file whose sample n is n - 1000 (for n below 4000), so a block tells where it came from.
    // Test processes running side by side share the file: each writes its own copy and renames it
    // into place, so none reads a file another is rewriting.
    static std::string ramp() {
        static const std::string path = [] {
            std::string p = ::testing::TempDir() + "audio_unit_ramp.raw";
            const std::string own = p + "." + std::to_string(::getpid());
            std::FILE* f = std::fopen(own.c_str(), "wb");
            for (int n = 0; n < 4000; ++n) {
                const auto s = static_cast<std::int16_t>(n - 1000);
                std::fwrite(&s, 2, 1, f);
            }
            std::fclose(f);
            std::rename(own.c_str(), p.c_str());
            return p;
        }();
        return path;
    }
    Unit make() {
        ComponentDescription d{kUnitTypeOutput, kUnitSubTypeRemoteIO, kUnitManufacturerApple, 0, 0};
        Unit u = nullptr;
        EXPECT_EQ(componentInstanceNew(componentFindNext(nullptr, &d), &u), kNoErr);
        return u;
    }
    OSStatus set32(PropertyID id, Scope scope, Element element, std::uint32_t value) {
        return unitSetProperty(unit, id, scope, element, &value, sizeof value);
    }
    OSStatus setCallback(PropertyID id, Element element, RenderCallback proc, void* context) {
        AURenderCallbackStruct c{proc, context};
        return unitSetProperty(unit, id, kScopeGlobal, element, &c, sizeof c);
    }
    static std::vector<std::int16_t> speakerBlock(std::size_t i) {
        const auto played = sim::Device::shared().speaker().played();
        std::vector<std::int16_t> out;
        if (i >= played.size()) return out;
        for (float f : played[i].samples)
            out.push_back(static_cast<std::int16_t>(f * 32768.0f));
        return out;
    }

    Unit unit = nullptr;

private:
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(AudioUnitTest, TheOneComponentIsFoundByItsCodesOrWildcardsAndNothingElse) {
    EXPECT_EQ(fourCharCode("auou"), 0x61756f75u);
    ComponentDescription exact{kUnitTypeOutput, kUnitSubTypeRemoteIO, kUnitManufacturerApple, 0, 0};
    Component c = componentFindNext(nullptr, &exact);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(componentFindNext(c, &exact), nullptr) << "there is only one";
    ComponentDescription any{};
    EXPECT_EQ(componentFindNext(nullptr, &any), c);
    ComponentDescription other{kUnitTypeOutput, fourCharCode("vpio"), kUnitManufacturerApple, 0, 0};
    EXPECT_EQ(componentFindNext(nullptr, &other), nullptr);
    ComponentDescription flagged{kUnitTypeOutput, 0, 0, 1, 1};
    EXPECT_EQ(componentFindNext(nullptr, &flagged), nullptr) << "the flags count under the mask";

    Unit u = nullptr;
    EXPECT_EQ(componentInstanceNew(nullptr, &u), kParamError);
    EXPECT_EQ(u, nullptr);
}

TEST_F(AudioUnitTest, EachPropertyIsTakenOnlyInItsScopeAndElementWithItsSize) {
    unit = make();
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeInput, kInputBus, 1), kNoErr);
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeOutput, kOutputBus, 1), kNoErr);
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeGlobal, kInputBus, 1), kInvalidScopeError);
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeInput, kOutputBus, 1), kInvalidElementError);
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeOutput, kInputBus, 1), kInvalidElementError);
    const std::uint8_t one = 1;
    EXPECT_EQ(unitSetProperty(unit, kPropertyEnableIO, kScopeInput, kInputBus, &one, 1), kInvalidPropertySizeError);

    StreamBasicDescription format = kMono16BitFormat;
    EXPECT_EQ(unitSetProperty(unit, kPropertyStreamFormat, kScopeOutput, kInputBus, &format, 40), kNoErr);
    EXPECT_EQ(unitSetProperty(unit, kPropertyStreamFormat, kScopeInput, kOutputBus, &format, 40), kNoErr);
    EXPECT_EQ(unitSetProperty(unit, kPropertyStreamFormat, kScopeInput, kInputBus, &format, 40), kInvalidElementError);
    EXPECT_EQ(unitSetProperty(unit, kPropertyStreamFormat, kScopeInput, kOutputBus, &format, 36),
              kInvalidPropertySizeError);
    for (auto change : {+[](StreamBasicDescription& f) { f.sampleRate = 48000; },
                        +[](StreamBasicDescription& f) { f.channelsPerFrame = 2; },
                        +[](StreamBasicDescription& f) { f.bitsPerChannel = 32; },
                        +[](StreamBasicDescription& f) { f.formatFlags = 9; },
                        +[](StreamBasicDescription& f) { f.formatID = fourCharCode("aac "); }}) {
        StreamBasicDescription bad = kMono16BitFormat;
        change(bad);
        EXPECT_EQ(unitSetProperty(unit, kPropertyStreamFormat, kScopeInput, kOutputBus, &bad, 40),
                  kFormatNotSupportedError);
    }

    RenderCallback none = [](void*, RenderActionFlags*, const TimeStamp*, std::uint32_t, std::uint32_t,
                             BufferList*) -> OSStatus { return 0; };
    EXPECT_EQ(setCallback(kPropertySetInputCallback, kInputBus, none, nullptr), kNoErr);
    EXPECT_EQ(setCallback(kPropertySetRenderCallback, kOutputBus, none, nullptr), kNoErr);
    EXPECT_EQ(setCallback(kPropertySetRenderCallback, kInputBus, none, nullptr), kInvalidElementError);
    AURenderCallbackStruct c{none, nullptr};
    EXPECT_EQ(unitSetProperty(unit, kPropertySetInputCallback, kScopeInput, kInputBus, &c, sizeof c),
              kInvalidScopeError);
    EXPECT_EQ(unitSetProperty(unit, kPropertySetInputCallback, kScopeGlobal, kInputBus, &c, 8),
              kInvalidPropertySizeError);

    EXPECT_EQ(set32(kPropertyShouldAllocateBuffer, kScopeOutput, kInputBus, 0), kNoErr);
    EXPECT_EQ(set32(kPropertyShouldAllocateBuffer, kScopeOutput, kOutputBus, 0), kInvalidElementError);
    EXPECT_EQ(set32(9999, kScopeGlobal, 0, 0), kInvalidPropertyError);
    EXPECT_EQ(unitSetProperty(unit, kPropertyEnableIO, kScopeInput, kInputBus, nullptr, 4), kParamError);
    EXPECT_EQ(unitInitialize(unit), kNoErr);
}

TEST_F(AudioUnitTest, NullAndDisposedHandlesAreRefusedEverywhere) {
    unit = make();
    Unit gone = unit;
    EXPECT_EQ(componentInstanceDispose(gone), kNoErr);
    unit = nullptr;
    Unit fresh = make(); // a new unit never answers to an old handle
    EXPECT_NE(fresh, gone);
    for (Unit u : {Unit{}, gone}) {
        std::uint32_t one = 1;
        EXPECT_EQ(unitSetProperty(u, kPropertyEnableIO, kScopeOutput, kOutputBus, &one, 4), kInvalidUnitError);
        EXPECT_EQ(unitInitialize(u), kInvalidUnitError);
        EXPECT_EQ(outputUnitStart(u), kInvalidUnitError);
        EXPECT_EQ(outputUnitStop(u), kInvalidUnitError);
        TimeStamp t;
        EXPECT_EQ(unitRender(u, nullptr, &t, kInputBus, 0, nullptr), kInvalidUnitError);
        EXPECT_EQ(componentInstanceDispose(u), kInvalidUnitError);
    }
    EXPECT_EQ(outputUnitStart(fresh), kUninitializedError);
    EXPECT_EQ(componentInstanceDispose(fresh), kNoErr);
}

TEST_F(AudioUnitTest, InputCannotBeEnabledOnADeviceWithoutAMicrophone) {
    install(false, 512);
    unit = make();
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeInput, kInputBus, 1), kNoInputHardwareError);
    EXPECT_EQ(set32(kPropertyEnableIO, kScopeInput, kInputBus, 0), kNoErr) << "switching it off is fine";
}

TEST_F(AudioUnitTest, TheSessionRouteOverrideReachesTheAudioSession) {
    auto session = av::AudioSession::sharedInstance();
    ASSERT_TRUE(session->setCategory(av::AudioSessionCategoryPlayAndRecord));
    EXPECT_TRUE(session->currentRoute()->hasOutput(av::AudioSessionPortBuiltInReceiver));
    std::uint32_t speaker = kSessionOverrideRouteSpeaker, none = kSessionOverrideRouteNone, bad = 7;
    EXPECT_EQ(sessionSetProperty(kSessionPropertyOverrideAudioRoute, 4, &speaker), kNoErr);
    EXPECT_TRUE(session->currentRoute()->hasOutput(av::AudioSessionPortBuiltInSpeaker));
    EXPECT_EQ(sessionSetProperty(kSessionPropertyOverrideAudioRoute, 4, &none), kNoErr);
    EXPECT_TRUE(session->currentRoute()->hasOutput(av::AudioSessionPortBuiltInReceiver));

    EXPECT_EQ(sessionSetProperty(kSessionPropertyOverrideAudioRoute, 2, &speaker), kSessionBadPropertySizeError);
    EXPECT_EQ(sessionSetProperty(kSessionPropertyOverrideAudioRoute, 4, &bad), kSessionBadValueError);
    EXPECT_EQ(sessionSetProperty(fourCharCode("cat "), 4, &none), kSessionUnsupportedPropertyError);
    EXPECT_TRUE(session->currentRoute()->hasOutput(av::AudioSessionPortBuiltInReceiver));
}

// What the callbacks heard, one line per call, and the input block they rendered last.
struct Heard {
    std::mutex lock;
    Unit unit = nullptr;
    std::vector<std::string> calls;
    std::vector<std::int16_t> latest;
    bool onMain = false;
    // Extra renders tried inside the input callback: their statuses are written down.
    bool tryBadRenders = false;
    // Called at the end of every input callback.
    std::function<void()> after;

    std::vector<std::string> taken() {
        std::lock_guard g(lock);
        return calls;
    }
    static OSStatus input(void* context, RenderActionFlags* flags, const TimeStamp* stamp, std::uint32_t bus,
                          std::uint32_t frames, BufferList*) {
        auto& h = *static_cast<Heard*>(context);
        std::vector<std::int16_t> block(frames, 7);
        BufferList list{1, {{1, frames * 2, block.data()}}};
        const OSStatus status = unitRender(h.unit, flags, stamp, bus, frames, &list);
        std::string line = "in " + std::to_string(static_cast<long>(stamp->sampleTime)) + " bus " +
                           std::to_string(bus) + " status " + std::to_string(status) + " first " +
                           std::to_string(block[0]);
        if (h.tryBadRenders) {
            BufferList small{1, {{1, frames, block.data()}}};
            line += " bus0 " + std::to_string(unitRender(h.unit, flags, stamp, kOutputBus, frames, &list)) +
                    " small " + std::to_string(unitRender(h.unit, flags, stamp, kInputBus, frames, &small));
        }
        {
            std::lock_guard g(h.lock);
            h.onMain = h.onMain || ns::Thread::isMainThread();
            h.calls.push_back(line);
            h.latest = block;
        }
        if (h.after) h.after();
        return 0;
    }
    static OSStatus render(void* context, RenderActionFlags*, const TimeStamp* stamp, std::uint32_t bus,
                           std::uint32_t frames, BufferList* data) {
        auto& h = *static_cast<Heard*>(context);
        std::lock_guard g(h.lock);
        h.onMain = h.onMain || ns::Thread::isMainThread();
        auto* out = static_cast<std::int16_t*>(data->buffers[0].data);
        const bool zeroed = std::all_of(out, out + frames, [](std::int16_t s) { return s == 0; });
        h.calls.push_back("out " + std::to_string(static_cast<long>(stamp->sampleTime)) + " bus " +
                          std::to_string(bus) + (zeroed ? " zeroed" : " dirty"));
        if (!h.latest.empty()) std::copy(h.latest.begin(), h.latest.end(), out);
        return 0;
    }
};

class AudioCycle : public AudioUnitTest {
protected:
    void startUnit(bool input = true) {
        unit = make();
        heard.unit = unit;
        ASSERT_EQ(set32(kPropertyEnableIO, kScopeInput, kInputBus, input ? 1 : 0), kNoErr);
        ASSERT_EQ(setCallback(kPropertySetInputCallback, kInputBus, &Heard::input, &heard), kNoErr);
        ASSERT_EQ(setCallback(kPropertySetRenderCallback, kOutputBus, &Heard::render, &heard), kNoErr);
        ASSERT_EQ(unitInitialize(unit), kNoErr);
        ASSERT_EQ(outputUnitStart(unit), kNoErr);
    }
    static constexpr double kCycle = 512 / sim::kSampleRate;
    Heard heard;
};

TEST_F(AudioCycle, OutputStartsAtOnceAndTheMicrophoneFollowsOneCycleLateOffTheMainThread) {
    startUnit();
    runFor(kCycle / 2); // from here on each step ends half-way through a cycle
    EXPECT_EQ(heard.taken(), std::vector<std::string>{"out 0 bus 0 zeroed"}) << "no microphone block yet";
    runFor(kCycle);
    runFor(kCycle);
    EXPECT_EQ(heard.taken(), (std::vector<std::string>{"out 0 bus 0 zeroed", "in 0 bus 1 status 0 first -1000",
                                                       "out 512 bus 0 zeroed", "in 512 bus 1 status 0 first -488",
                                                       "out 1024 bus 0 zeroed"}));
    EXPECT_FALSE(heard.onMain);
    const auto played = sim::Device::shared().speaker().played();
    ASSERT_EQ(played.size(), 3u);
    EXPECT_NEAR(played[1].time - played[0].time, kCycle, 1e-6);
    EXPECT_EQ(speakerBlock(0), std::vector<std::int16_t>(512, 0));
    const auto second = speakerBlock(1);
    ASSERT_EQ(second.size(), 512u);
    EXPECT_EQ(second.front(), -1000);
    EXPECT_EQ(second.back(), -1000 + 511) << "the samples heard from the start on, bit for bit";
    EXPECT_EQ(speakerBlock(2).front(), -488);
}

TEST_F(AudioCycle, RenderRefusesAWrongBusASmallBufferAndFailsOnceWhenTold) {
    heard.tryBadRenders = true;
    startUnit();
    runFor(1.5 * kCycle);
    failNextRenderForTesting(unit, -1);
    runFor(kCycle);
    const auto calls = heard.taken();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[1], "in 0 bus 1 status 0 first -1000 bus0 " + std::to_string(kInvalidElementError) + " small " +
                            std::to_string(kTooManyFramesError));
    EXPECT_EQ(calls[3].rfind("in 512 bus 1 status -1 first 7 ", 0), 0u) << calls[3] << ": a failed render leaves the buffer";

    TimeStamp stamp;
    std::vector<std::int16_t> block(512);
    BufferList list{1, {{1, 1024, block.data()}}};
    EXPECT_EQ(outputUnitStop(unit), kNoErr);
    EXPECT_EQ(unitRender(unit, nullptr, &stamp, kInputBus, 512, &list), kCannotDoInCurrentContextError);
}

TEST_F(AudioCycle, StopWaitsForTheCycleInProgressAndNoneRunsAfterIt) {
    testkit::Latch entered, release;
    std::atomic<bool> finished{false}, sawFinished{false};
    heard.after = [&] {
        if (entered.count() == 0) return;
        entered.countDown();
        EXPECT_TRUE(release.wait());
        finished = true;
    };
    startUnit();
    std::thread stopper([&] {
        EXPECT_TRUE(entered.wait());
        release.countDown();
        EXPECT_EQ(outputUnitStop(unit), kNoErr);
        sawFinished = finished.load();
    });
    runFor(1.5 * kCycle);
    stopper.join();
    EXPECT_TRUE(sawFinished) << "stop returned while a cycle was still running";
    const std::size_t calls = heard.taken().size();
    const std::size_t played = sim::Device::shared().speaker().played().size();
    runFor(10 * kCycle);
    EXPECT_EQ(heard.taken().size(), calls);
    EXPECT_EQ(sim::Device::shared().speaker().played().size(), played);

    EXPECT_EQ(outputUnitStart(unit), kNoErr) << "a stopped unit starts again, from a new start";
    runFor(0);
    EXPECT_EQ(heard.taken().back(), "out 0 bus 0 zeroed");
}

TEST_F(AudioCycle, ACallbackMayStopOrDisposeItsOwnUnit) {
    heard.after = [this] { EXPECT_EQ(outputUnitStop(unit), kNoErr); };
    startUnit();
    runFor(3 * kCycle);
    EXPECT_EQ(heard.taken().size(), 2u) << "the cycle that stopped ran its input side only";

    heard.after = [this] { EXPECT_EQ(componentInstanceDispose(unit), kNoErr); };
    ASSERT_EQ(outputUnitStart(unit), kNoErr);
    runFor(3 * kCycle);
    EXPECT_EQ(heard.taken().size(), 4u);
    EXPECT_EQ(outputUnitStart(unit), kInvalidUnitError);
    unit = nullptr;
}

} // namespace
