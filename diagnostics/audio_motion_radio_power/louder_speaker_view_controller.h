#pragma once
// ft::LouderSpeakerViewController ("LouderSpeakerViewController"): the loud speaker test (key
// "LOUDSPEAKER"). The player is made from the bundle's "audiotest"."mp3" when the screen loads.
// Each appearance saves the session category and the music player's volume, sets Playback and
// full volume and plays the sound once; each disappearance stops it and puts both back (the
// category with no options: none are saved). The tester's answer is the result (1 or 2), then the
// screen moves on; no watchdog. A missing sound leaves a nil player and the answer still decides.
// Main thread only.

#include "session/base_model_view_controller.h"

namespace av {
class AudioPlayer;
}

namespace ft {

class LouderSpeakerViewController : public BaseModelViewController {
    RT_CLASS(LouderSpeakerViewController)
public:
    const rt::Ref<av::AudioPlayer>& avAudioPlayer() const noexcept { return avAudioPlayer_; }
    float launchVolume() const noexcept { return launchVolume_; }
    const rt::Ref<ns::String>& category() const noexcept { return category_; }
    rt::Ref<ui::Label> labelTips() const;
    void setLabelTips(const rt::Ref<ui::Label>& label);

protected:
    LouderSpeakerViewController();
    ~LouderSpeakerViewController() override;
    void viewDidLoadBody() override;

private:
    void shown(bool present);

    rt::Ref<av::AudioPlayer> avAudioPlayer_;
    float launchVolume_ = 0;
    rt::Ref<ns::String> category_;
    rt::Weak<ui::Label> labelTips_;
};

} // namespace ft
