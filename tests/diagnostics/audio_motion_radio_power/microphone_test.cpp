// The microphone record and loop-back screens: the countdown, three seconds recorded, the recording
// played back pass after pass (speaker or receiver) until the answer, whose one verdict leaves
// with its mark shown, the permission's refusal, leaving at each stage, and the session put back.

#include <algorithm>
#include <cstdio>

#include "diagnostics/audio_motion_radio_power/microphone_loop_back_view_controller.h"
#include "diagnostics/audio_motion_radio_power/microphone_record_view_controller.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/format.h"
#include "platform/media/audio_session.h"
#include "platform/sim/sound.h"
#include "platform/sim/wav.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "session/core/test_base_model.h"
#include "streams/property_signals.h"
#include "streams/signal.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/audio.h"
#include "tests/testkit/graphics/pixel_box.h"

namespace {

constexpr const char* kRecordScreen = "MicrophoneRecordViewController";
constexpr const char* kLoopBackScreen = "MicrophoneLoopBackViewController";

class MicrophoneScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    void SetUp() override { restartWith({}); }
    void restartWith(std::function<void(sim::Profile&)> more) {
        restart([more](sim::Profile& p) {
            p.audio.input = {.kind = sim::AudioInput::Kind::Sine, .constant = 0, .frequency = 440, .amplitude = 0.1,
                             .file = {}};
            if (more) more(p);
        });
    }
    rt::Ref<ft::MicrophoneTestScreen> openScreen(const char* name) {
        return openLogged<ft::MicrophoneTestScreen>(name);
    }
    static std::vector<sim::Speaker::Clip> clips() { return sim::Device::shared().speaker().clips(); }
    static std::string recordingPath() { return ns::ApplicationHome::documentsDirectory() + "/sound1.m4a"; }
    static std::vector<long> rows(const ft::MicrophoneTestScreen& screen) {
        std::vector<long> results;
        for (const rt::Id& row : *screen.subItemlist()) {
            auto result = rt::cast<ns::Number>(rt::cast<ns::Dictionary>(row)->objectForKey("result"));
            results.push_back(result ? result->longValue() : 0);
        }
        return results;
    }
    static bool buttonsHidden(const ft::MicrophoneTestScreen& screen) { return screen.successButton()->isHidden(); }
    // The screen's log lines among `words`, in order.
    std::vector<std::string> said(std::initializer_list<std::string_view> words) const {
        std::vector<std::string> found;
        for (const std::string& line : app_->logLines())
            if (std::find(words.begin(), words.end(), line) != words.end()) found.push_back(line);
        return found;
    }
};

TEST_F(MicrophoneScreen, CountsRecordsThreeSecondsAndPlaysItBackUntilTheAnswer) {
    struct Case {
        const char* screen;
        const char* port;
        const char* outlet;
        long code;
        const char* icon;
    };
    for (const Case& c : {Case{kRecordScreen, "Speaker", "successButton", 1, "icon_success_shape"},
                          Case{kRecordScreen, "Speaker", "failButton", 2, "icon_fail_shape"},
                          Case{kLoopBackScreen, "Receiver", "successButton", 1, "icon_success_shape"},
                          Case{kLoopBackScreen, "Receiver", "failButton", 2, "icon_fail_shape"}}) {
        SCOPED_TRACE(std::string(c.screen) + " " + c.outlet);
        SetUp();
        const auto& session = av::AudioSession::sharedInstance();
        session->setCategoryWithOptions(av::AudioSessionCategoryAmbient, 1);
        auto screen = openScreen(c.screen);
        const bool loopBack = c.screen == std::string(kLoopBackScreen);
        EXPECT_EQ(session->categoryOptions(), 8u);
        std::vector<std::string> counts;
        for (double t = 0; t < 6.5; t += 1.0) {
            at(t + 0.5);
            counts.push_back(screen->number()->text()->utf8());
            EXPECT_EQ(buttonsHidden(*screen), t + 0.5 < 6.0) << t;
            EXPECT_TRUE(!loopBack || session->isActive() == (t + 0.5 > 3.0)) << t;
        }
        const auto wait = [](long n) { return ns::stringWithFormat(localized("MICROPHONERECORD_CONTROLLER_WAIT"), n)->utf8(); };
        const auto speak = [](long n) { return ns::stringWithFormat(localized("MICROPHONERECORD_CONTROLLER_SPEAK"), n)->utf8(); };
        EXPECT_EQ(counts, (std::vector<std::string>{wait(3), wait(2), wait(1), speak(3), speak(2), speak(1), speak(0)}));
        // Three seconds of the microphone's tone, stereo at 44.1 kHz.
        const auto recording = sim::readWav(recordingPath());
        ASSERT_TRUE(recording);
        EXPECT_EQ(recording->frames(), 132300u);
        EXPECT_EQ(recording->channels, 2);
        at(7.0);
        const auto firstPlayer = screen->player1();
        at(13.0);
        EXPECT_NE(screen->player1(), firstPlayer) << "a new player each pass";
        ASSERT_EQ(clips().size(), 2u);
        for (std::size_t pass = 0; pass < clips().size(); ++pass) {
            EXPECT_EQ(clips()[pass].port, c.port);
            EXPECT_NEAR(clips()[pass].start - loadedAt_, 6.0 + 3.0 * double(pass), 1e-6);
            EXPECT_NEAR(clips()[pass].end - clips()[pass].start, 3.0, 1e-6);
        }
        std::vector<float> heard;
        for (const auto& block : sim::Device::shared().speaker().played())
            heard.insert(heard.end(), block.samples.begin(), block.samples.end());
        EXPECT_NEAR(testkit::audio::toneDbfs(heard, sim::kSampleRate, 440), -20 - 6.02, 0.5) << "at volume 0.5";
        // One verdict, written by the answer's tap; the screen leaves in that turn with the answer's
        // mark on the second step (what the row's picture shows).
        int verdicts = 0;
        std::vector<bool> marked;
        const rt::Ref<ui::ImageView> step2 = screen->step2();
        const cg::Rect mark = step2->convertRectToView(step2->bounds(), screen->view().get());
        es::valuesForKeyPath(screen->info(), "success", screen)->skip(1)->subscribeNext([&](const rt::Id&) {
            ++verdicts;
        });
        screen->present()->subscribeNext([&](bool shown) {
            if (shown) return;
            const auto picture = testkit::paintedView(*screen->view());
            marked.push_back(!testkit::pixelBox(*picture, mark, [&](const cg::Pixel& p) {
                                  return c.code == 1 ? p.green > 150 && p.red < 120 : p.red > 180 && p.green < 120;
                              }).isNull());
        });
        tapAt(13.0, c.outlet);
        EXPECT_EQ(verdicts, 1);
        EXPECT_EQ(marked, std::vector<bool>{true}) << "as it leaves, the answer's mark shows";
        settle();
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(rows(*screen), (std::vector<long>{c.code, c.code}));
        EXPECT_EQ(screen->step2()->image(), ui::Image::imageNamed(c.icon));
        EXPECT_EQ(screen->step1()->image(), ui::Image::imageNamed("icon_success_shape"));
        EXPECT_EQ(leaves(), 1);
        EXPECT_FALSE(screen->player1()->isPlaying());
        EXPECT_EQ(session->category()->utf8(), av::AudioSessionCategoryAmbient);
        EXPECT_EQ(session->categoryOptions(), 1u);
        EXPECT_FALSE(loopBack && session->isActive());
        // The exact lines, in order.
        std::vector<std::string> logged = {"second == 2", "second == 1", "second == 0"};
        if (loopBack) logged.push_back("completed");
        logged.insert(logged.end(), {"recording sec 2", "recording sec 1", "recording sec 0", "record completed."});
        if (!loopBack) logged.insert(logged.end(), {"record completed", "playback subscriber!!!"});
        for (int pass = 0; pass < 3; ++pass) {
            if (pass > 0) logged.insert(logged.end(), {"play done", loopBack ? "" : "playback subscriber!!!"});
            logged.push_back("start play voice.");
        }
        logged.push_back("play done");
        if (!loopBack) logged.push_back("oxoxoxoxoxoxooxoxoxoxoxoxoxooxox111111");
        std::erase(logged, "");
        EXPECT_EQ(said({"second == 2", "second == 1", "second == 0", "completed", "recording sec 2", "recording sec 1",
                        "recording sec 0", "record completed.", "record completed", "playback subscriber!!!",
                        "start play voice.", "play done", "oxoxoxoxoxoxooxoxoxoxoxoxoxooxox111111",
                        "oxoxoxoxoxoxooxoxoxoxoxoxoxooxox2222222", "error", "has exit."}),
                  logged);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(MicrophoneScreen, LeavingStopsTheRunningStageAndWritesNothing) {
    struct Case {
        const char* screen;
        double leaveAt;
        std::vector<std::string> logged; // of "has exit.", "error", "play done", the answer's end
        double recorded; // seconds in the file, 0 for none
        std::size_t clips;
    };
    const Case cases[] = {
        {kRecordScreen, 1.5, {"has exit.", "error"}, 0, 0},
        {kRecordScreen, 4.5, {"error"}, 1.5, 0},
        {kRecordScreen, 7.5, {"play done", "oxoxoxoxoxoxooxoxoxoxoxoxoxooxox2222222", "error"}, 3.0, 1},
        {kLoopBackScreen, 1.5, {"has exit.", "error"}, 0, 0},
        {kLoopBackScreen, 4.0, {}, 1.0, 0},
        {kLoopBackScreen, 7.5, {}, 3.0, 1}, // the stopped player ends the passes unheard
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.screen) + " at " + std::to_string(c.leaveAt));
        SetUp();
        std::remove(recordingPath().c_str());
        const auto& session = av::AudioSession::sharedInstance();
        session->setCategoryWithOptions(av::AudioSessionCategoryPlayback, 1);
        auto screen = openScreen(c.screen);
        at(c.leaveAt - 1.0); // the skip leaves once its sheet has settled, a second later
        ASSERT_TRUE(skip());
        at(20.0);
        EXPECT_EQ(said({"has exit.", "error", "play done", "oxoxoxoxoxoxooxoxoxoxoxoxoxooxox2222222"}),
                  c.logged)
            << "on leaving, the screen still held";
        EXPECT_EQ(rows(*screen), (std::vector<long>{0, 0}));
        EXPECT_EQ(leaves(), 1);
        EXPECT_FALSE(screen->recorder() && screen->recorder()->isRecording());
        EXPECT_EQ(clips().size(), c.clips);
        const auto recording = sim::readWav(recordingPath());
        EXPECT_NEAR(recording ? double(recording->frames()) / sim::kSampleRate : 0.0, c.recorded, 1e-3);
        EXPECT_EQ(session->category()->utf8(), av::AudioSessionCategoryPlayback);
        EXPECT_EQ(session->categoryOptions(), 1u);
    }
}

TEST_F(MicrophoneScreen, ThePermissionDecidesFromEitherThreadAndAHeadsetRefusesTheStart) {
    struct Case {
        const char* screen;
        sim::RecordPermission permission;
        sim::Callbacks callbacks;
    };
    for (const Case& c : {Case{kRecordScreen, sim::RecordPermission::Denied, sim::Callbacks::Main},
                          Case{kRecordScreen, sim::RecordPermission::Granted, sim::Callbacks::Helper},
                          Case{kLoopBackScreen, sim::RecordPermission::Denied, sim::Callbacks::Helper},
                          Case{kLoopBackScreen, sim::RecordPermission::Granted, sim::Callbacks::Main}}) {
        SCOPED_TRACE(std::string(c.screen) + (c.permission == sim::RecordPermission::Denied ? " denied" : ""));
        restartWith([&c](sim::Profile& p) {
            p.audio.recordPermission = c.permission;
            p.callbacks = c.callbacks;
        });
        auto screen = openScreen(c.screen);
        at(0.5);
        if (c.permission == sim::RecordPermission::Granted) {
            EXPECT_TRUE(alertMessage().empty());
            at(3.5);
            EXPECT_EQ(screen->number()->text()->utf8(),
                      ns::stringWithFormat(localized("MICROPHONERECORD_CONTROLLER_SPEAK"), 3L)->utf8());
            continue;
        }
        EXPECT_EQ(alertMessage(),
                  ns::stringWithFormat(localized("MICROPHONERECORD_CONTROLLER_AUTHORIZATION_ALERT"),
                                       ns::String::make("Quarnotix"))
                      ->utf8());
        ASSERT_TRUE(pressAlert(0));
        EXPECT_EQ(code(), 2);
        EXPECT_EQ(rows(*screen), (std::vector<long>{2, 2}));
        EXPECT_EQ(leaves(), 1);
    }
    for (const char* name : {kRecordScreen, kLoopBackScreen}) {
        SCOPED_TRACE(name);
        restartWith([](sim::Profile& p) { p.headphonesPlugged = true; });
        EXPECT_EQ(ft::MicrophoneTestScreen::extraMessage()->utf8(), localized("MICROPHONERECORD_CONTROLLER_WARRING"));
        open<ft::BaseModelViewController>(name);
        EXPECT_EQ(place(), "runner");
    }
}

} // namespace
