#pragma once
// ft::ComputerUSBPlugViewController ("ComputerUSBPlugViewController"): the computer USB test (key
// "COMPUTER_USB_PLUG_TEST"). Power decides when the tester may answer, the answer decides the
// result: YES 1, NO 2 (row "Computer USB Plug", a BOOL number), then the screen moves on; the answer
// has no time limit.
// - Powered at load: a tick, 1 preset, the YES/NO buttons at once (monitoring stays on).
// - Otherwise monitoring is on while the screen is shown, and the buttons hidden, until the first
//   counted battery-state change to power (the first change is dropped; changes to no power are
//   ignored): then the tick, the instruction and the buttons. No power within 30 s of the load: a
//   cross, 2 and the screen moves on. Leaving first writes nothing.
// Abandoned in the background. Main thread only.

#include "session/base_model_view_controller.h"

namespace ui {
class ImageView;
}

namespace ft {

class ComputerUSBPlugViewController : public BaseModelViewController {
    RT_CLASS(ComputerUSBPlugViewController)
public:
    static constexpr double kWatchdogSeconds = 30.0;

    rt::Ref<ui::Label> label() const;
    void setLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> tiplabel() const;
    void setTiplabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::ImageView> imageView() const;
    void setImageView(const rt::Ref<ui::ImageView>& view);

protected:
    ComputerUSBPlugViewController();
    void viewDidLoadBody() override;

private:
    void showPowered();
    void takeAnswer();

    rt::Weak<ui::Label> label_, tiplabel_;
    rt::Weak<ui::ImageView> imageView_;
};

} // namespace ft
