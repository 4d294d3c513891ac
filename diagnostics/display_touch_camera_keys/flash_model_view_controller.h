#pragma once
// ft::FlashModelViewController ("FlashModelViewController"): the flash test (key "FLASH_TEST"). The
// default camera's torch is on while the screen is shown and off when it disappears or the tester
// answers; the answer becomes the item's code and its row's "result", then the screen leaves. The
// torch is changed only under a configuration lock that succeeded (without one, nothing is
// changed and nothing misused). A camera without a torch marks the row 2 at each appearing and
// disappearing, while the item's code still follows the answer. No time limit. Main thread only.

#include "session/base_model_view_controller.h"

namespace av {
class CaptureDevice;
}

namespace ft {

class FlashModelViewController : public BaseModelViewController {
    RT_CLASS(FlashModelViewController)
public:
    rt::Ref<ui::Label> tipLabel() const;
    void setTipLabel(const rt::Ref<ui::Label>& label);

protected:
    FlashModelViewController();
    ~FlashModelViewController() override;
    void viewDidLoadBody() override;

private:
    rt::Weak<ui::Label> tipLabel_;
};

} // namespace ft
