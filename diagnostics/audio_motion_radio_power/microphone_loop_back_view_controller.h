#pragma once
// ft::MicrophoneLoopBackViewController ("MicrophoneLoopBackViewController"): the microphone
// loop-back test (key "MAIN_MIC_LOOPBACK_TEST"). As the record test, but the playback goes to the
// receiver: each pass sets PlayAndRecord without options, no port override, and activates the
// session; disposing a pass logs "play done", stops the player and deactivates. The session is
// active while recording. The recording stage ends on the recorder's finish, so a leave that stops
// the recorder ends it quietly (no error); at the third second it stops the recorder, deactivates
// and completes. The leaving signal is shared by its subscribers. Main thread only.

#include "diagnostics/audio_motion_radio_power/microphone_test_screen.h"

namespace ft {

class AudioProcessor;

class MicrophoneLoopBackViewController : public MicrophoneTestScreen {
    RT_CLASS(MicrophoneLoopBackViewController)
public:
    rt::Ref<ui::Label> steplabel() const { return steplabel_.lock(); }
    void setSteplabel(const rt::Ref<ui::Label>& label) { steplabel_ = label; }
    rt::Ref<ui::Label> steplable2() const { return steplable2_.lock(); }
    void setSteplable2(const rt::Ref<ui::Label>& label) { steplable2_ = label; }
    // Outlets for the scene only: the screen's code never touches them.
    rt::Ref<ui::Label> messageTitle() const { return messageTitle_.lock(); }
    void setMessageTitle(const rt::Ref<ui::Label>& label) { messageTitle_ = label; }
    rt::Ref<ui::Label> numberCount() const { return numberCount_.lock(); }
    void setNumberCount(const rt::Ref<ui::Label>& label) { numberCount_ = label; }
    rt::Ref<ui::Label> tipMessage() const { return tipMessage_.lock(); }
    void setTipMessage(const rt::Ref<ui::Label>& label) { tipMessage_ = label; }
    // Declared, never made.
    const rt::Ref<AudioProcessor>& audioProcessor() const noexcept { return audioProcessor_; }

protected:
    MicrophoneLoopBackViewController();
    ~MicrophoneLoopBackViewController() override;
    void viewDidLoadBody() override;

private:
    rt::Ref<es::Signal> recording();
    rt::Ref<es::Signal> playback();
    void begin();

    rt::Weak<ui::Label> steplabel_, steplable2_, messageTitle_, numberCount_, tipMessage_;
    rt::Ref<AudioProcessor> audioProcessor_;
    rt::Ref<es::Signal> leaving_;
};

} // namespace ft
