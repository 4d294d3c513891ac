#pragma once
// ft::StylusViewController ("StylusViewController"): the stylus test. A 32 x 32 arrow button
// starts in the top-left corner (its centre at (20, 20)); each tap on it moves its centre, in an
// animation "move" of half a second, to the next of four points of the main screen (W x H): (W -
// 20, 21), (20, H - 80), (W - 20, H - 80), (W / 2, H / 2 - 32). The tap after the fourth move
// hides the button, shows the navigation bar and passes (1, and "result" 1 in its row). The YES/NO
// buttons are hidden while it shows; the only other way out is the back button's sheet. The view
// keeps out from under the top bar. No catalogue row opens it: a hand-made item does. Main thread
// only.

#include "session/base_model_view_controller.h"

namespace ft {

class StylusViewController : public BaseModelViewController {
    RT_CLASS(StylusViewController)
public:
    const rt::Ref<ui::Button>& button() const noexcept { return button_; }
    const rt::Ref<ns::Array>& points() const noexcept { return points_; }
    // Moves made so far; nothing sets it back.
    long count() const noexcept { return count_; }

protected:
    StylusViewController();
    ~StylusViewController() override;
    void viewDidLoadBody() override;

private:
    void tapped();

    rt::Ref<ui::Button> button_;
    rt::Ref<ns::Array> points_;
    long count_ = 0;
};

} // namespace ft
