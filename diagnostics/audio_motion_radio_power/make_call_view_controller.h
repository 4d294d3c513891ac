#pragma once
// ft::MakeCallViewController ("MakeCallViewController"): the phone call test (key "PHONE"). The
// tester types a number (the call button is enabled while it is longer than 7 UTF-16 units), and
// the call opens "tel://" with the number, percent-escaped but for digits, "+", "*", "," and ";",
// then shows the YES/NO buttons and the tip at once; YES records 1, NO 2, and the screen leaves.
// Each appearance hides the buttons and the tip again. Back closes the keyboard and shows the
// base's sheet. Keeps running in the background. Main thread only.

#include <string>
#include <string_view>

#include "session/base_model_view_controller.h"

namespace ui {
class TextField;
}

namespace ft {

class MakeCallViewController : public BaseModelViewController {
    RT_CLASS(MakeCallViewController)
public:
    // The command needs more than this many UTF-16 units.
    static constexpr std::size_t kShortestNumber = 7;

    // "tel://" and the number, escaped so that what is dialled is what was typed.
    static std::string telephoneURL(std::string_view number);

    rt::Ref<ui::TextField> number() const { return number_.lock(); }
    void setNumber(const rt::Ref<ui::TextField>& field);
    rt::Ref<ui::Button> callButton() const { return callButton_.lock(); }
    void setCallButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::Label> tipLabel() const { return tipLabel_.lock(); }
    void setTipLabel(const rt::Ref<ui::Label>& label);

    bool navigationShouldPopOnBackButton() override;

protected:
    MakeCallViewController();
    void viewDidLoadBody() override;

private:
    void called();

    rt::Weak<ui::TextField> number_;
    rt::Weak<ui::Button> callButton_;
    rt::Weak<ui::Label> tipLabel_;
};

} // namespace ft
