#pragma once
// ft::HomeKeyViewController ("HomeKeyViewController"): the home key test (key "HOME_KEY_TEST"). From
// viewDidLoad the tester has ten seconds, counted down on the screen (10 to 1), to press the home
// key. Going to the background is the pass: the code is 1 at once, the right mark shows, and a local
// notification one second later calls the tester back; the screen moves on when the application
// returns to the foreground (by the notification or any other way). The tenth tick first is the
// fail: 2, the fail mark, and the screen moves on. The screen keeps running in the background (the
// base's rule), and disappearing ends it all. Main thread only.

#include "session/base_model_view_controller.h"

namespace ui {
class ImageView;
}

namespace ft {

class HomeKeyViewController : public BaseModelViewController {
    RT_CLASS(HomeKeyViewController)
public:
    // The product named in the notification's text.
    static constexpr const char* kProductName = "Quarnotix";

    rt::Ref<ui::ImageView> flagImage() const; // the pass or fail mark
    void setFlagImage(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Label> countDownLabel() const; // the seconds left
    void setCountDownLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> itemTitle() const;
    void setItemTitle(const rt::Ref<ui::Label>& label);

protected:
    HomeKeyViewController();
    void viewDidLoadBody() override;

private:
    void showSecondsLeft(long seconds);
    void passed();

    rt::Weak<ui::ImageView> flagImage_;
    rt::Weak<ui::Label> countDownLabel_, itemTitle_;
};

} // namespace ft
