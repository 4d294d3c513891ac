// System sounds: made from files, played for the profile's lengths (a user-interface sound cut
// short by the silent switch), completed on the run loop and mode they were registered for, and
// never completed once removed, disposed, or removed from another thread mid-call.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/audio/system_sound.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"
#include "platform/sim/device.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/virtual_time.h"

namespace {

class SystemSoundTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        sim::Profile p = sim::defaultProfile();
        p.sounds = {{"beep.caf", 0.5}};
        p.silentSoundCompletion = 0.02;
        device_.emplace(std::move(p));
        for (const char* name : {"beep.caf", "other.caf"})
            std::ofstream(folder_.path() / name) << "caff";
    }
    void TearDown() override {
        VirtualTimeTest::TearDown();
        device_.reset();
    }

    rt::Ref<ns::URL> url(const char* name) const { return ns::URL::fileURLWithPath((folder_.path() / name).string()); }
    audio::SystemSoundID make(const char* name) {
        audio::SystemSoundID sound = 0;
        EXPECT_EQ(audio::servicesCreateSystemSoundID(url(name), &sound), audio::kServicesNoError);
        return sound;
    }
    static void setUI(audio::SystemSoundID sound, std::uint32_t on = 1) {
        EXPECT_EQ(audio::servicesSetProperty(audio::kServicesPropertyIsUISound, sizeof sound, &sound, sizeof on, &on),
                  audio::kServicesNoError);
    }
    // Registers `heard` as the sound's completion on the main run loop.
    void listen(audio::SystemSoundID sound, std::string_view mode = ns::DefaultRunLoopMode) {
        ASSERT_EQ(audio::servicesAddSystemSoundCompletion(sound, nullptr, mode, &completed, this),
                  audio::kServicesNoError);
    }
    static void completed(audio::SystemSoundID sound, void* test) {
        auto* self = static_cast<SystemSoundTest*>(test);
        char at[48];
        std::snprintf(at, sizeof at, "%u@%.2f", sound - self->first_, self->elapsed());
        self->calls.emplace_back(at);
        if (self->onCall) self->onCall(sound);
    }
    // The sound lines of the device log.
    static std::string soundLog() {
        std::istringstream log(sim::Device::shared().logText());
        std::string line, out;
        while (std::getline(log, line))
            if (line.find(" sound ") != std::string::npos) out += line + "\n";
        return out;
    }

    // "<sound - first_>@<seconds>", one per call.
    std::vector<std::string> calls;
    std::function<void(audio::SystemSoundID)> onCall;
    audio::SystemSoundID first_ = 0; // calls name sounds relative to it

private:
    testkit::ScratchFolder folder_;
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(SystemSoundTest, ASoundNeedsAReadableFileAndPropertiesTheirSizes) {
    audio::SystemSoundID sound = 7;
    EXPECT_NE(audio::servicesCreateSystemSoundID(url("missing.caf"), &sound), audio::kServicesNoError);
    EXPECT_NE(audio::servicesCreateSystemSoundID(ns::URL::URLWithString("http://host/beep.caf"), &sound),
              audio::kServicesNoError);
    EXPECT_NE(audio::servicesCreateSystemSoundID(url("beep.caf"), nullptr), audio::kServicesNoError);
    EXPECT_EQ(sound, 7u) << "left as it was";
    const auto a = make("beep.caf"), b = make("beep.caf");
    EXPECT_GE(a, 4096u);
    EXPECT_NE(a, b);

    const std::uint32_t on = 1;
    const std::uint16_t shortValue = 1;
    EXPECT_EQ(audio::servicesSetProperty(0x74657374, sizeof a, &a, sizeof on, &on),
              audio::kServicesUnsupportedPropertyError);
    EXPECT_EQ(audio::servicesSetProperty(audio::kServicesPropertyIsUISound, 2, &a, sizeof on, &on),
              audio::kServicesBadSpecifierSizeError);
    EXPECT_EQ(audio::servicesSetProperty(audio::kServicesPropertyIsUISound, sizeof a, &a, sizeof shortValue, &shortValue),
              audio::kServicesBadPropertySizeError);
    EXPECT_EQ(audio::servicesDisposeSystemSoundID(a), audio::kServicesNoError);
    EXPECT_NE(audio::servicesDisposeSystemSoundID(a), audio::kServicesNoError) << "disposed already";
    EXPECT_NE(audio::servicesSetProperty(audio::kServicesPropertyIsUISound, sizeof a, &a, sizeof on, &on),
              audio::kServicesNoError);
    audio::servicesDisposeSystemSoundID(b);
}

TEST_F(SystemSoundTest, APlayCompletesAfterItsLengthOrTheSilencedLength) {
    const auto plain = make("beep.caf"), ui = make("beep.caf"), unlisted = make("other.caf");
    first_ = plain;
    setUI(ui);
    for (auto s : {plain, ui, unlisted})
        listen(s);
    audio::servicesPlaySystemSound(plain);
    audio::servicesPlaySystemSound(ui);
    audio::servicesPlaySystemSound(unlisted); // not in the profile: no length
    runUntil(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"2@0.00", "0@0.50", "1@0.50"}));

    sim::Device::shared().setRingSwitch(true);
    calls.clear();
    audio::servicesPlaySystemSound(plain); // not a user-interface sound: heard all the same
    audio::servicesPlaySystemSound(ui);
    setUI(ui, 0);
    audio::servicesPlaySystemSound(ui);
    runUntil(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"1@1.02", "0@1.50", "1@1.50"}));
    EXPECT_EQ(soundLog(), "0.000 sound beep.caf\n0.000 sound beep.caf\n0.000 sound other.caf\n"
                          "1.000 sound beep.caf\n1.000 sound beep.caf (silent)\n1.000 sound beep.caf\n");
    for (auto s : {plain, ui, unlisted})
        audio::servicesDisposeSystemSoundID(s);
}

TEST_F(SystemSoundTest, ACompletionWaitsForItsModeAndEachPlayCompletesOnce) {
    const auto sound = make("beep.caf");
    first_ = sound;
    listen(sound, ns::TrackingRunLoopMode);
    audio::servicesPlaySystemSound(sound);
    runUntil(0.25);
    audio::servicesPlaySystemSound(sound);
    runUntil(1);
    EXPECT_TRUE(calls.empty()) << "the main loop ran the default mode only";
    EXPECT_TRUE(ns::RunLoop::main()->runMode(ns::TrackingRunLoopMode, nullptr));
    EXPECT_EQ(calls, (std::vector<std::string>{"0@1.00", "0@1.00"})) << "two plays, two calls";
    audio::servicesDisposeSystemSoundID(sound);
}

TEST_F(SystemSoundTest, RemovedDisposedOrUnregisteredSoundsCompleteNothing) {
    const auto removed = make("beep.caf"), disposed = make("beep.caf"), bare = make("beep.caf"),
               replaced = make("beep.caf");
    first_ = removed;
    for (auto s : {removed, disposed, replaced})
        listen(s);
    for (auto s : {removed, disposed, bare, replaced})
        audio::servicesPlaySystemSound(s);
    runUntil(0.2);
    audio::servicesRemoveSystemSoundCompletion(removed);
    audio::servicesDisposeSystemSoundID(disposed);
    listen(replaced); // a new registration: the play begun before it is not its own
    runUntil(1);
    EXPECT_TRUE(calls.empty());

    audio::servicesPlaySystemSound(disposed); // gone: not even played
    audio::servicesPlaySystemSound(replaced);
    audio::servicesPlaySystemSound(audio::kSystemSoundIDVibrate); // the device's own: felt, not heard
    audio::servicesPlayAlertSound(audio::kSystemSoundIDVibrate);  // as an alert: one more pulse
    runUntil(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"3@1.50"}));
    const std::string log = soundLog();
    ASSERT_NE(log.find("1.000"), std::string::npos);
    EXPECT_EQ(log.substr(log.find("1.000")), "1.000 sound beep.caf\n") << "the disposed sound was not played";
    const std::string all = sim::Device::shared().logText();
    const auto pulse = all.find("1.000 vibration\n");
    ASSERT_NE(pulse, std::string::npos);
    EXPECT_NE(all.find("1.000 vibration\n", pulse + 1), std::string::npos);
    for (auto s : {removed, bare, replaced})
        audio::servicesDisposeSystemSoundID(s);
}

TEST_F(SystemSoundTest, ACompletionRemovingItselfIsNotCalledForTheRest) {
    const auto sound = make("beep.caf");
    first_ = sound;
    listen(sound);
    onCall = [](audio::SystemSoundID s) { audio::servicesRemoveSystemSoundCompletion(s); };
    audio::servicesPlaySystemSound(sound);
    audio::servicesPlaySystemSound(sound); // both end together
    runUntil(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"0@0.50"}));
    audio::servicesDisposeSystemSoundID(sound);
}

TEST_F(SystemSoundTest, RemovalFromAnotherThreadWaitsForTheCallInProgress) {
    const auto sound = make("beep.caf");
    first_ = sound;
    listen(sound);
    testkit::Latch inCall, removing;
    std::atomic<bool> callEnded{false}, endedWhenRemoved{false};
    onCall = [&](audio::SystemSoundID) {
        inCall.countDown();
        EXPECT_TRUE(removing.wait());
        callEnded = true;
    };
    std::thread remover([&] {
        ASSERT_TRUE(inCall.wait());
        removing.countDown();
        audio::servicesDisposeSystemSoundID(sound);
        endedWhenRemoved = callEnded.load();
    });
    audio::servicesPlaySystemSound(sound);
    runUntil(1);
    remover.join();
    EXPECT_TRUE(endedWhenRemoved) << "the disposal returned while the completion still ran";
}

} // namespace
