#pragma once
// ft::SMSViewController ("SMSViewController"): the text-message test (key "SMS"). The tester types a
// number (the send button is enabled while it is longer than 7 UTF-16 units); sending opens the
// message composer with "Quarnotix Test SMS" to that number when the device can send text (the
// field resigning once it is up). Whatever the composer's result, its finish dismisses it and then
// shows the YES/NO buttons and the tip; YES records 1, NO 2, and the screen leaves. A device that
// cannot send text shows nothing, leaving the back button's sheet. Each send observes the finish
// anew in place of the last send's observation, so one finish dismisses once. Keeps running in the
// background. Main thread only.

#include "diagnostics/audio_motion_radio_power/number_entry_view_controller.h"

namespace es {
class SerialDisposable;
}

namespace ft {

class SMSViewController : public NumberEntryViewController {
    RT_CLASS(SMSViewController)
public:
    static constexpr const char* kBody = "Quarnotix Test SMS";

    rt::Ref<ui::Button> sendButton() const { return sendButton_.lock(); }
    void setSendButton(const rt::Ref<ui::Button>& button);

protected:
    SMSViewController();
    ~SMSViewController() override;
    void viewDidLoadBody() override;

private:
    void send();
    // The composer's finish, whatever the result.
    void composerFinished();

    rt::Weak<ui::Button> sendButton_;
    rt::Ref<es::SerialDisposable> finish_;
};

} // namespace ft
