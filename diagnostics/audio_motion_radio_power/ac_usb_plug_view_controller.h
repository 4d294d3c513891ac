#pragma once
// ft::ACUsbPlugViewController ("ACUsbPlugViewController"): the mains charger test (key
// "AC_USB_PLUG_TEST"). A battery already charging or full at load passes at once (row "USB plug")
// and the screen moves on 3.0 s later; leaving earlier calls that off. Otherwise battery monitoring
// is on while the screen is shown, and the first battery-state change that counts (the first one
// is dropped) decides: power passes, no power fails (row "AC USB plug"), and the screen moves on at
// once. A watchdog counted from the load fails the test after 30 s. Leaving before a decision writes
// nothing. The row's "result" is a BOOL number. Abandoned in the background. Main thread only.

#include "session/base_model_view_controller.h"

namespace ui {
class ImageView;
}

namespace ft {

class ACUsbPlugViewController : public BaseModelViewController {
    RT_CLASS(ACUsbPlugViewController)
public:
    static constexpr double kWatchdogSeconds = 30.0;
    static constexpr double kPassShown = 3.0;

    rt::Ref<ui::Label> label() const;
    void setLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::ImageView> imageView() const;
    void setImageView(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Button> passButton() const; // in the scene; the screen never reads it
    void setPassButton(const rt::Ref<ui::Button>& button);

    // The scene's button: unwinds to the list when single, else to the runner. Nothing sends it.
    void onClick(const rt::Id& sender);
    // Decides from the battery state now (row "USB plug") and moves on. Nothing sends it.
    void handleBatteryState();

protected:
    ACUsbPlugViewController();
    void viewDidLoadBody() override;

private:
    rt::Weak<ui::Label> label_;
    rt::Weak<ui::ImageView> imageView_;
    rt::Weak<ui::Button> passButton_;
};

} // namespace ft
