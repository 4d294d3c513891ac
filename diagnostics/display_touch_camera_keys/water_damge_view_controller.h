#pragma once
// ft::WaterDamgeViewController ("WaterDamgeViewController"): the water-damage indicator question (key
// "LDI_STICKER"). The tester looks at the liquid contact indicator and answers: YES 1, NO 2, and the
// screen moves on; the question waits as long as the screen shows (no watchdog). The view keeps out
// from under the top bar; its title is made in code and laid out on every layout pass: 5 points in
// from the left and the top, as wide as the screen less 5 at the most, as high as its text wraps to.
// Going to the background abandons it (the base's rule). Main thread only.

#include "session/base_model_view_controller.h"

namespace ft {

class WaterDamgeViewController : public BaseModelViewController {
    RT_CLASS(WaterDamgeViewController)
public:
    // Made on first access: no frame, as many lines as it needs, the system font of 16.
    rt::Ref<ui::Label> titleLabel() const;
    void setTitleLabel(rt::Ref<ui::Label> label);
    rt::Ref<ui::Label> question() const;
    void setQuestion(const rt::Ref<ui::Label>& label);

protected:
    WaterDamgeViewController();
    ~WaterDamgeViewController() override;
    void viewDidLoadBody() override;
    void viewWillLayoutSubviews() override;

private:
    mutable rt::Ref<ui::Label> titleLabel_;
    rt::Weak<ui::Label> question_;
};

} // namespace ft
