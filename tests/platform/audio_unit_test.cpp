// The remote I/O unit: finding it, its handles, the properties it takes and refuses, the session's
// route override, and the I/O cycle over the simulated microphone and speaker.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/audio/audio_session.h"
#include "platform/audio/audio_unit.h"
#include "platform/media/audio_session.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
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
    static std::string ramp() {
        static const std::string path = [] {
            std::string p = ::testing::TempDir() + "audio_unit_ramp.raw";
            std::FILE* f = std::fopen(p.c_str(), "wb");
            for (int n = 0; n < 4000; ++n) {
                const auto s = static_cast<std::int16_t>(n - 1000);
                std::fwrite(&s, 2, 1, f);
            }
            std::fclose(f);
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

} // namespace
