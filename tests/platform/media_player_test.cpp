// The media player's stand-ins and the session's volume listeners: the player's volume is the
// device's, the volume indicator shows for a change unless hidden or a volume view is in a window,
// the 'chov' listeners hear each change once with the new volume. (The windows' order: the physical
// key test's stealer, whose view goes into the first window.)

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/audio/audio_session.h"
#include "platform/media/audio_session.h"
#include "platform/mediaplayer/music_player_controller.h"
#include "platform/mediaplayer/volume_indicator.h"
#include "platform/mediaplayer/volume_view.h"
#include "platform/sim/device.h"
#include "platform/uikit/window.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

class MediaPlayer : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        device_.emplace(sim::defaultProfile());
        // The process's volume watchers remember the last volume of the device an earlier test
        // installed: a change to this device's own, hidden and announced, brings them back to it.
        mp::VolumeIndicator::setHidden(true);
        mp::MusicPlayerController::applicationMusicPlayer()->setVolume(
            static_cast<float>(sim::currentDevice()->audio.outputVolume));
        testkit::waitForWorkersIdle();
        mp::VolumeIndicator::setHidden(false);
    }
    void TearDown() override {
        mp::VolumeIndicator::setHidden(false);
        av::AudioSession::sharedInstance()->reset();
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    static long indicatorShowings() {
        const std::string log = sim::Device::shared().logText();
        long count = 0;
        for (auto at = log.find("volume indicator"); at != std::string::npos; at = log.find("volume indicator", at + 1))
            ++count;
        return count;
    }
    std::optional<sim::ScopedDevice> device_;
};

struct HeardVolumes {
    std::vector<float> volumes;
    std::atomic<int> calls{0};
};

void heardVolume(void* clientData, audio::SessionPropertyID id, std::uint32_t size, const void* data) {
    auto* heard = static_cast<HeardVolumes*>(clientData);
    if (id == audio::kSessionPropertyCurrentHardwareOutputVolume && size == sizeof(float))
        heard->volumes.push_back(*static_cast<const float*>(data));
    ++heard->calls;
}

TEST_F(MediaPlayer, ThePlayersVolumeIsTheDevicesAndTheIndicatorShowsUnlessHiddenOrAViewIsInAWindow) {
    auto player = mp::MusicPlayerController::applicationMusicPlayer();
    player->setVolume(1.5f);
    EXPECT_EQ(sim::currentDevice()->audio.outputVolume, 1.0) << "clamped";
    player->setVolume(0.25f);
    runFor(0.1);
    EXPECT_EQ(av::AudioSession::sharedInstance()->outputVolume(), 0.25f) << "observers hear the player";
    EXPECT_EQ(indicatorShowings(), 2);
    player->setVolume(0.25f);
    EXPECT_EQ(indicatorShowings(), 2) << "an equal volume is no change";

    mp::VolumeIndicator::setHidden(true);
    sim::Device::shared().pressVolumeUp();
    EXPECT_EQ(indicatorShowings(), 2);
    mp::VolumeIndicator::setHidden(false);

    auto window = rt::make<ui::Window>();
    auto view = rt::make<mp::VolumeView>(cg::Rect::make(0, -100, 10, 0));
    view->sizeToFit();
    EXPECT_EQ(view->frame(), cg::Rect::make(0, -100, 10, mp::VolumeView::kHeight));
    window->addSubview(view);
    EXPECT_TRUE(mp::VolumeIndicator::isSuppressed());
    sim::Device::shared().pressVolumeUp();
    EXPECT_EQ(indicatorShowings(), 2);
    view->removeFromSuperview();
    EXPECT_FALSE(mp::VolumeIndicator::isSuppressed());
    sim::Device::shared().pressVolumeDown();
    EXPECT_EQ(indicatorShowings(), 3);
    window->addSubview(view);
    view = nullptr;
    window = nullptr;
    EXPECT_FALSE(mp::VolumeIndicator::isSuppressed()) << "a view that goes leaves no count behind";
}

TEST_F(MediaPlayer, VolumeListenersHearEachChangeOnceUntilRemoved) {
    using namespace audio;
    HeardVolumes heard;
    EXPECT_EQ(sessionAddPropertyListener(fourCharCode("cat "), &heardVolume, &heard), kSessionUnsupportedPropertyError);
    EXPECT_EQ(sessionAddPropertyListener(kSessionPropertyCurrentHardwareOutputVolume, nullptr, &heard), kParamError);
    ASSERT_EQ(sessionAddPropertyListener(kSessionPropertyCurrentHardwareOutputVolume, &heardVolume, &heard), kNoErr);
    ASSERT_EQ(sessionAddPropertyListener(kSessionPropertyCurrentHardwareOutputVolume, &heardVolume, &heard), kNoErr);
    sim::Device::shared().pressVolumeUp();
    runFor(0.1);
    mp::MusicPlayerController::applicationMusicPlayer()->setVolume(0.75f);
    runFor(0.1);
    EXPECT_EQ(heard.volumes, (std::vector<float>{0.5625f, 0.75f})) << "the same pair twice is one";

    EXPECT_EQ(sessionRemovePropertyListenerWithUserData(kSessionPropertyCurrentHardwareOutputVolume, &heardVolume,
                                                        &heard),
              kNoErr);
    sim::Device::shared().pressVolumeDown();
    runFor(0.1);
    EXPECT_EQ(heard.calls.load(), 2);

    EXPECT_EQ(sessionSetActive(true), kNoErr);
    EXPECT_TRUE(av::AudioSession::sharedInstance()->isActive());
    sessionInitialize();
    EXPECT_EQ(sessionInitialize(), kSessionAlreadyInitializedError);
}

} // namespace
