// The loud speaker screen: the chime once on the speaker at full volume in Playback, the volume and
// category put back when it goes, the answer as the result.

#include "diagnostics/audio_motion_radio_power/louder_speaker_view_controller.h"
#include "platform/foundation/bundle.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/mediaplayer/music_player_controller.h"
#include "platform/sim/sound.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/scratch_folder.h"

namespace {

class LouderSpeakerScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    static std::vector<sim::Speaker::Clip> clips() { return sim::Device::shared().speaker().clips(); }
    static float volume() { return mp::MusicPlayerController::applicationMusicPlayer()->volume(); }
};

TEST_F(LouderSpeakerScreen, TheChimePlaysOnceAtFullVolumeAndTheAnswerDecides) {
    struct Case {
        const char* outlet;
        std::int64_t code;
    };
    for (const Case& c : {Case{"successButton", 1}, Case{"failButton", 2}}) {
        SCOPED_TRACE(c.outlet);
        restart([](sim::Profile& p) { p.audio.outputVolume = 0.5; });
        const auto& session = av::AudioSession::sharedInstance();
        session->setCategoryWithOptions(av::AudioSessionCategoryPlayAndRecord, 8);
        auto screen = openLogged<ft::LouderSpeakerViewController>("LouderSpeakerViewController");
        ASSERT_TRUE(screen->avAudioPlayer());
        EXPECT_EQ(session->category()->utf8(), av::AudioSessionCategoryPlayback);
        EXPECT_EQ(volume(), 1.0f);
        at(5.0);
        ASSERT_EQ(clips().size(), 1u) << "played once, not repeated";
        EXPECT_EQ(clips()[0].file, "audiotest.mp3");
        EXPECT_EQ(clips()[0].port, "Speaker");
        EXPECT_EQ(clips()[0].gain, 1.0f);
        EXPECT_NEAR(clips()[0].end - clips()[0].start, 2.0, 1e-6);
        tapAt(6.0, c.outlet);
        settle();
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(leaves(), 1);
        EXPECT_EQ(volume(), 0.5f);
        EXPECT_EQ(session->category()->utf8(), av::AudioSessionCategoryPlayAndRecord);
        EXPECT_EQ(session->categoryOptions(), 0u) << "options are not saved";
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(LouderSpeakerScreen, ASecondAppearancePlaysOnFromWhereTheStopLeftIt) {
    auto screen = openLogged<ft::LouderSpeakerViewController>("LouderSpeakerViewController");
    at(0.5);
    screen->beginAppearanceTransition(false, false);
    EXPECT_NEAR(screen->avAudioPlayer()->currentTime(), 0.5, 1e-6);
    screen->beginAppearanceTransition(true, false);
    at(3.0);
    ASSERT_EQ(clips().size(), 2u);
    EXPECT_NEAR(clips()[1].end - clips()[1].start, 1.5, 1e-6);
    EXPECT_EQ(screen->avAudioPlayer()->currentTime(), 0);
}

TEST_F(LouderSpeakerScreen, WithoutItsSoundTheScreenPlaysNothingAndTheAnswerStillDecides) {
    testkit::ScratchFolder empty("ft-no-sounds");
    ns::Bundle::setMainBundlePath(empty.path().string());
    auto screen = openLogged<ft::LouderSpeakerViewController>("LouderSpeakerViewController");
    ns::Bundle::setMainBundlePath("");
    EXPECT_FALSE(screen->avAudioPlayer());
    tapAt(3.0, "failButton");
    settle();
    EXPECT_TRUE(clips().empty());
    EXPECT_EQ(code(), 2);
    EXPECT_EQ(leaves(), 1);
    EXPECT_EQ(volume(), 0.5f) << "the volume is put back all the same";
}

} // namespace
