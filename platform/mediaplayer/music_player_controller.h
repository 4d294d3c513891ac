#pragma once
// mp::MusicPlayerController ("MPMusicPlayerController"): the application's music player. Its volume
// is the device's output volume: a set moves the device (as a key press would, without the key's
// log line), so av::AudioSession's "outputVolume" observers and the session's volume listeners
// hear it, and the system volume indicator (volume_indicator.h) may show. Any thread.

#include "platform/runtime/object.h"

namespace mp {

class MusicPlayerController final : public rt::Object {
    RT_CLASS(MusicPlayerController)
public:
    // The one player of the application (immortal).
    static const rt::Ref<MusicPlayerController>& applicationMusicPlayer();

    // The device's output volume, 0 to 1.
    float volume() const;
    // Clamped to 0...1. Observers hear only a volume that differs from what they last heard.
    void setVolume(float volume);

private:
    MusicPlayerController() = default;
};

} // namespace mp
