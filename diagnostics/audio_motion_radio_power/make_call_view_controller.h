#pragma once
// ft::MakeCallViewController ("MakeCallViewController"): the phone call test (key "PHONE"). The
// tester types a number (the call button is enabled while it is longer than 7 UTF-16 units), and
// the call opens "tel://" with the number, percent-escaped but for digits, "+", "*", "," and ";",
// then shows the YES/NO buttons and the tip at once; YES records 1, NO 2, and the screen leaves.
// Each appearance hides the buttons and the tip again. Back closes the keyboard and shows the
// base's sheet. Keeps running in the background. Main thread only.

#include <string>
#include <string_view>

#include "diagnostics/audio_motion_radio_power/number_entry_view_controller.h"

namespace ft {

class MakeCallViewController : public NumberEntryViewController {
    RT_CLASS(MakeCallViewController)
public:
    // "tel://" and the number, escaped so that what is dialled is what was typed.
    static std::string telephoneURL(std::string_view number);

    rt::Ref<ui::Button> callButton() const { return callButton_.lock(); }
    void setCallButton(const rt::Ref<ui::Button>& button);

protected:
    MakeCallViewController();
    void viewDidLoadBody() override;

private:
    void called();

    rt::Weak<ui::Button> callButton_;
};

} // namespace ft
