#pragma once
// ft::NumberEntryViewController: what the SMS and phone call screens share. The tester types a
// number into `number`; a command bound to the screen's button is enabled while the number is
// longer than 7 UTF-16 units; the YES/NO buttons and `tipLabel` are hidden at each appearance and
// shown by the subclass once its action has run; YES records 1, NO 2, and the screen leaves (no
// time limit). From the first keyboard notification a tap on the view closes the keyboard; the back
// button closes it and shows the base's sheet. Main thread only.

#include <functional>

#include "session/base_model_view_controller.h"

namespace ui {
class TapGestureRecognizer;
class TextField;
}

namespace ft {

class NumberEntryViewController : public BaseModelViewController {
    RT_CLASS(NumberEntryViewController)
public:
    // The command needs more than this many UTF-16 units.
    static constexpr std::size_t kShortestNumber = 7;

    rt::Ref<ui::TextField> number() const { return number_.lock(); }
    void setNumber(const rt::Ref<ui::TextField>& field);
    rt::Ref<ui::Label> tipLabel() const { return tipLabel_.lock(); }
    void setTipLabel(const rt::Ref<ui::Label>& label);

    // One tap recogniser on the view, added at the first keyboard notification.
    void setKeyBoardAutoHidden();
    void backgroundTapDismissKeyboard(const rt::Id& sender);
    // Resigns `number`, runs the base's sheet and answers NO.
    bool navigationShouldPopOnBackButton() override;

protected:
    NumberEntryViewController();
    ~NumberEntryViewController() override;
    void viewDidLoadBody() override;

    // Binds to `button` a command enabled by the number's length that runs `action` (which holds
    // the screen weakly) and completes at once.
    void bindNumberCommand(ui::Button* button, std::function<void()> action);
    // The YES/NO buttons and the tip together.
    void showQuestion(bool shown);

private:
    rt::Weak<ui::TextField> number_;
    rt::Weak<ui::Label> tipLabel_;
    rt::Ref<ui::TapGestureRecognizer> backgroundTap_;
    rt::Id keyboardShowObserver_, keyboardHideObserver_;
};

} // namespace ft
