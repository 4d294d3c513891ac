#pragma once
// ui::Slider ("UISlider"): a value between a minimum and a maximum (0 and 1 unless set). Values
// set from code, or by key, are held to the range and send nothing.

#include "platform/uikit/control.h"

namespace ui {

class Slider : public Control {
    RT_CLASS(Slider)
public:
    float value() const noexcept { return value_; }
    void setValue(float value);
    void setValueAnimated(float value, bool animated);
    float minimumValue() const noexcept { return minimum_; }
    // Moving a bound brings the other bound and the value into line.
    void setMinimumValue(float minimum);
    float maximumValue() const noexcept { return maximum_; }
    void setMaximumValue(float maximum);
    bool isContinuous() const noexcept { return continuous_; }
    void setContinuous(bool continuous);

protected:
    Slider();
    explicit Slider(const cg::Rect& frame) : Control(frame) {}

private:
    float value_ = 0;
    float minimum_ = 0;
    float maximum_ = 1;
    bool continuous_ = true;
};

} // namespace ui
