// The headset screen: plug in, count, ten seconds recorded from the headset's microphone, the
// recording and the sample played in the headset until answered, unplug; a pull-out failing the
// running stage, the guard disarmed by another route change, leaving, and the permission.

#include <algorithm>
#include <functional>

#include "diagnostics/audio_motion_radio_power/headset_plug_view_controller.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/format.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/sim/sound.h"
#include "platform/sim/wav.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/audio.h"
#include "tests/testkit/scratch_folder.h"
#include "ui/overlays/progress_hud.h"

namespace {

using Headset = ft::HeadsetPlugViewController;

sim::AudioInput headsetSine(double hz) {
    return {.kind = sim::AudioInput::Kind::Sine, .constant = 0, .frequency = hz, .amplitude = 0.1, .file = {}};
}

class HeadsetScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    struct Step {
        double at;
        std::function<void(HeadsetScreen&)> act;
    };
    // The headset's microphone comes with the headset.
    static void plug(HeadsetScreen&) {
        sim::Device::shared().plugHeadset();
        sim::Device::shared().setAudioInput(headsetSine(660));
    }
    static void unplug(HeadsetScreen&) {
        sim::Device::shared().unplugHeadset();
        sim::Device::shared().setAudioInput(headsetSine(440));
    }
    static void otherRoute(HeadsetScreen&) { sim::Device::shared().changeRoute(3, {"Speaker"}); }
    static void yes(HeadsetScreen& test) { EXPECT_TRUE(test.app_->tapOutlet(test.top(), "successButton")); }
    static void no(HeadsetScreen& test) { EXPECT_TRUE(test.app_->tapOutlet(test.top(), "failButton")); }

    void restartWith(std::function<void(sim::Profile&)> more = {}) {
        restart([more](sim::Profile& p) {
            p.audio.input = headsetSine(440);
            if (more) more(p);
        });
    }
    rt::Ref<Headset> run(const std::vector<Step>& steps, double until,
                         diagnostics_tests::Place place = diagnostics_tests::Place::Middle) {
        auto screen = openLogged<Headset>("HeadsetPlugViewController", place);
        for (const Step& step : steps) {
            at(step.at);
            step.act(*this);
        }
        at(until);
        return screen;
    }
    static std::vector<long> rows(const Headset& screen) {
        std::vector<long> results;
        for (const rt::Id& row : *screen.subItemlist()) {
            auto result = rt::cast<ns::Number>(rt::cast<ns::Dictionary>(row)->objectForKey("result"));
            results.push_back(result ? result->longValue() : 0);
        }
        return results;
    }
    std::string number(const Headset& screen) const { return screen.label<Headset::kNumberLabel>()->text()->utf8(); }
    static std::string count(const char* key, long n) { return ns::stringWithFormat(localized(key), n)->utf8(); }
    bool logged(std::string_view line) const {
        const auto lines = app_->logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static std::vector<sim::Speaker::Clip> clips() { return sim::Device::shared().speaker().clips(); }
};

TEST_F(HeadsetScreen, PassesThroughItsFiveStepsWithTheHeadsetsOwnMicrophone) {
    struct Case {
        sim::Callbacks callbacks;
        const char* home; // "" for the fixture's
    };
    for (const Case& c : {Case{sim::Callbacks::Main, ""}, Case{sim::Callbacks::Helper, "a home é"}}) {
        SCOPED_TRACE(c.home);
        restartWith([&c](sim::Profile& p) { p.callbacks = c.callbacks; });
        testkit::ScratchFolder scratch("ft-headset");
        const std::string fixtureHome = ns::ApplicationHome::path();
        if (*c.home) ns::ApplicationHome::setPath((scratch.path() / c.home).string());
        auto screen = run({{2.0, plug}}, 2.5);
        EXPECT_EQ(rows(*screen), (std::vector<long>{1, 0, 0, 0, 0}));
        std::vector<std::string> counts;
        for (double t = 2.5; t < 16.0; t += 1.0) {
            at(t);
            counts.push_back(number(*screen));
            EXPECT_TRUE(screen->successButton()->isHidden()) << t;
        }
        const auto wait = [](long n) { return count("MICROPHONERECORD_CONTROLLER_WAIT", n); };
        const auto speak = [](long n) { return count("HEADSET_CONTROLLER_SPEAK", n); };
        EXPECT_EQ(counts, (std::vector<std::string>{wait(3), wait(3), wait(2), wait(1), speak(10), speak(9), speak(8),
                                                    speak(7), speak(6), speak(5), speak(4), speak(3), speak(2),
                                                    speak(1)}));
        at(16.0);
        EXPECT_FALSE(screen->successButton()->isHidden());
        EXPECT_FALSE(screen->recorder()->isRecording());
        // Ten seconds of the headset's microphone, none of the built-in one.
        const auto recording = sim::readWav(ns::ApplicationHome::documentsDirectory() + "/sound.m4a");
        ASSERT_TRUE(recording);
        EXPECT_EQ(recording->frames(), 441000u);
        std::vector<float> left;
        for (std::size_t i = 0; i < recording->frames(); ++i) left.push_back(float(recording->samples[2 * i] / 32768.0));
        EXPECT_NEAR(testkit::audio::toneDbfs(left, sim::kSampleRate, 660), -20, 0.5);
        EXPECT_LT(testkit::audio::toneDbfs(left, sim::kSampleRate, 440), -60);
        at(18.0);
        yes(*this);
        at(20.0);
        yes(*this);
        EXPECT_EQ(rows(*screen), (std::vector<long>{1, 1, 1, 1, 0}));
        EXPECT_TRUE(screen->successButton()->isHidden());
        at(22.0);
        unplug(*this);
        settle();
        EXPECT_EQ(rows(*screen), (std::vector<long>{1, 1, 1, 1, 1}));
        EXPECT_EQ(code(), 1);
        EXPECT_EQ(leaves(), 1);
        ASSERT_EQ(clips().size(), 2u);
        EXPECT_EQ(clips()[0].file + " " + clips()[0].port, "sound.m4a Headphones");
        EXPECT_EQ(clips()[1].file + " " + clips()[1].port, "sample.m4a Headphones");
        for (const char* line : {"plug in finish.", "second == 0", "play stop by choose.", "play done.",
                                 "found headset plug out."})
            EXPECT_TRUE(logged(line)) << line;
        ns::ApplicationHome::setPath(fixtureHome);
        screen = nullptr;
        settle();
        EXPECT_TRUE(logged("HeadsetPlugViewController dealloc"));
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(HeadsetScreen, APullOutFailsTheRunningStageAndAnotherRouteChangeDisarmsIt) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        double until;
        std::vector<long> rows;
        long code;
        long leaves;
    };
    const Case cases[] = {
        {"no plug", {}, 31.0, {2, 0, 0, 0, 0}, 2, 1},
        {"out while recording", {{2.0, plug}, {10.0, unplug}}, 11.0, {1, 2, 2, 2, 2}, 2, 1},
        {"no, yes, out", {{2.0, plug}, {18.0, no}, {20.0, yes}, {22.0, unplug}}, 23.0, {1, 2, 2, 1, 1}, 2, 1},
        {"no, out during the music", {{2.0, plug}, {18.0, no}, {21.0, unplug}}, 22.0, {1, 1, 1, 2, 2}, 2, 1},
        {"another change disarms", {{2.0, plug}, {7.0, otherRoute}, {9.0, unplug}}, 16.5, {1, 0, 0, 0, 0}, 0, 0},
        {"any change ends it", {{2.0, plug}, {18.0, yes}, {20.0, yes}, {22.0, otherRoute}}, 23.0, {1, 1, 1, 1, 1}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restartWith();
        auto screen = run(c.steps, c.until);
        EXPECT_EQ(rows(*screen), c.rows);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(leaves(), c.leaves);
        EXPECT_TRUE(c.leaves != 0 || !screen->successButton()->isHidden()) << "the recording completed";
        EXPECT_EQ(logged("countDownTimer error"), false);
    }
    restartWith();
    run({{2.0, plug}, {10.0, unplug}}, 11.0);
    const auto lines = app_->logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find("PluggedOut") != std::string::npos; }));
}

TEST_F(HeadsetScreen, LeavingFailsOnlyTheCountdownLeavesOnceAndPutsTheSessionBack) {
    struct Case {
        double leaveAt;
        bool back; // the sheet's back, else skip and confirm
        std::vector<long> rows;
        long code;
    };
    for (const Case& c : {Case{4.0, false, {1, 2, 2, 2, 2}, 2}, Case{4.0, true, {1, 2, 2, 2, 2}, 2},
                          Case{17.0, false, {1, 0, 0, 0, 0}, 2}}) {
        SCOPED_TRACE(std::to_string(c.leaveAt) + (c.back ? " back" : " skip"));
        restartWith();
        const auto& session = av::AudioSession::sharedInstance();
        session->setCategoryWithOptions(av::AudioSessionCategoryPlayback, 1);
        // Both leave once the sheet has settled, a second after the back button.
        auto screen =
            run({{2.0, plug}}, c.leaveAt - 1.0, c.back ? diagnostics_tests::Place::Last : diagnostics_tests::Place::Middle);
        if (c.back) {
            ASSERT_TRUE(app_->tapBack());
            auto sheet = app_->presentedSheets().back();
            long index = 0;
            while (index < sheet->numberOfButtons() &&
                   sheet->buttonTitleAtIndex(index)->utf8() != localized("BASETEST_CONTROLLER_ACTIONSHEET_BACK"))
                ++index;
            ASSERT_TRUE(pressSheet(index));
        } else {
            ASSERT_TRUE(skip());
        }
        at(40.0);
        EXPECT_TRUE(logged("has exit."));
        EXPECT_EQ(logged("countDownTimer error"), c.leaveAt < 6.0);
        EXPECT_EQ(rows(*screen), c.rows);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(leaves(), 1) << "one way out";
        EXPECT_TRUE(screen->isEnterBackgournd());
        EXPECT_FALSE(screen->recorder() && screen->recorder()->isRecording());
        EXPECT_FALSE(screen->player1() && screen->player1()->isPlaying());
        EXPECT_EQ(session->category()->utf8(), av::AudioSessionCategoryPlayback);
        EXPECT_EQ(session->categoryOptions(), 1u);
    }
}

TEST_F(HeadsetScreen, ARefusedPermissionFailsEveryRowAndAPluggedHeadsetIsRefusedOrWarned) {
    restartWith([](sim::Profile& p) { p.audio.recordPermission = sim::RecordPermission::Denied; });
    auto screen = run({}, 0.5);
    EXPECT_EQ(alertMessage(), ns::stringWithFormat(localized("HEADSET_CONTROLLER_AUTHORIZATION_ALERT"),
                                                   ns::String::make("Quarnotix"))
                                  ->utf8());
    ASSERT_TRUE(pressAlert(0));
    EXPECT_EQ(rows(*screen), (std::vector<long>(5, 2)));
    EXPECT_EQ(code(), 2);
    EXPECT_EQ(leaves(), 1);

    restartWith([](sim::Profile& p) { p.headphonesPlugged = true; });
    EXPECT_EQ(Headset::extraMessage()->utf8(), localized("HEADSET_CONTROLLER_WARRING"));
    open<ft::BaseModelViewController>("HeadsetPlugViewController");
    EXPECT_EQ(place(), "runner");
}

} // namespace
