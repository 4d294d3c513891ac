#pragma once
// ft::MicrophoneRecordViewController ("MicrophoneRecordViewController"): the microphone record test
// (key "MAIN_MIC_TEST"). With the record permission (asked at load, the reply on the main queue):
// a three-second countdown, three seconds recorded into Documents/"sound1.m4a", then the recording
// played on the loud speaker again and again, a new player per pass, the buttons shown from the
// first pass, until the tester answers. The answer gives the second step's icon and both rows
// (1 or 2), then the screen moves on. A refusal shows the alert, whose button gives 2 everywhere.
// Leaving stops the recorder and the player, ends the running stage with "error" and writes
// nothing; the session's category and options are put back. Refused with a headset plugged in.
// Main thread only.

#include "diagnostics/audio_motion_radio_power/microphone_test_screen.h"

namespace ft {

class MicrophoneRecordViewController : public MicrophoneTestScreen {
    RT_CLASS(MicrophoneRecordViewController)
public:
    rt::Ref<ui::Label> stepSpeakIntoMicrophone() const { return stepSpeak_.lock(); }
    void setStepSpeakIntoMicrophone(const rt::Ref<ui::Label>& label) { stepSpeak_ = label; }
    rt::Ref<ui::Label> stepPlayingBackAudio() const { return stepPlaying_.lock(); }
    void setStepPlayingBackAudio(const rt::Ref<ui::Label>& label) { stepPlaying_ = label; }

protected:
    MicrophoneRecordViewController();
    void viewDidLoadBody() override;

private:
    rt::Ref<es::Signal> recording();
    rt::Ref<es::Signal> playback();
    rt::Ref<es::Signal> answer();
    void begin();

    rt::Weak<ui::Label> stepSpeak_, stepPlaying_;
    rt::Ref<es::Signal> leaving_, playerFinished_;
};

} // namespace ft
