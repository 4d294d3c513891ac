#pragma once
// ft::BrightnessViewController ("BrightnessViewController"): the backlight ramp test (key
// "LCD_BACKLIGHT_TEST"). From viewDidLoad the screen's brightness sweeps from off to full and back,
// a step of 10 every 0.1 s, and the level shows as a whole number; each turn keeps its end for one
// tick (10, ..., 100, 100, 90, ..., 0, 0, 10: 22 ticks, 2.2 s). The tester's YES or NO, the screen
// disappearing or going away ends the sweep ("finish." logged, the navigation bar shown); the answer
// then becomes the item's code and its row's "result" before the screen leaves. The brightness read
// at load is put back whenever the screen disappears. No time limit. Main thread only.

#include "session/base_model_view_controller.h"

namespace ft {

class BrightnessViewController : public BaseModelViewController {
    RT_CLASS(BrightnessViewController)
public:
    rt::Ref<ui::Label> progressLabel() const; // the level
    void setProgressLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> labelTips() const; // the question
    void setLabelTips(const rt::Ref<ui::Label>& label);
    // The ramp, 0 to 100 in steps of 10.
    double brightnessValue() const noexcept { return brightnessValue_; }
    void setBrightnessValue(double value);
    // The screen's brightness (0 to 1) at load.
    double orgin_value() const noexcept { return orginValue_; }
    void setOrgin_value(double value);
    // Rising.
    bool direction() const noexcept { return direction_; }
    void setDirection(bool rising);

protected:
    BrightnessViewController();
    void viewDidLoadBody() override;

private:
    void tick();

    rt::Weak<ui::Label> progressLabel_, labelTips_;
    double brightnessValue_ = 0, orginValue_ = 0;
    bool direction_ = true;
};

} // namespace ft
