#include "platform/mediaplayer/music_player_controller.h"

#include <algorithm>

#include "platform/mediaplayer/volume_indicator.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace mp {

RT_DEFINE_CLASS(MusicPlayerController, "MPMusicPlayerController", rt::Object,
                rt::prop("volume", &MusicPlayerController::volume, &MusicPlayerController::setVolume),
                rt::classMethod("applicationMusicPlayer", +[] { return MusicPlayerController::applicationMusicPlayer(); }))

const rt::Ref<MusicPlayerController>& MusicPlayerController::applicationMusicPlayer() {
    static const rt::Ref<MusicPlayerController> player = rt::immortal(rt::make<MusicPlayerController>());
    VolumeIndicator::watch();
    return player;
}

float MusicPlayerController::volume() const {
    return static_cast<float>(sim::currentDevice()->audio.outputVolume);
}

void MusicPlayerController::setVolume(float volume) {
    const double next = std::clamp(static_cast<double>(volume), 0.0, 1.0);
    // Set even when equal: each listener announces only what differs from what it last told.
    sim::Device::shared().change(sim::Aspect::Audio, [next](sim::Profile& p) { p.audio.outputVolume = next; });
}

} // namespace mp
