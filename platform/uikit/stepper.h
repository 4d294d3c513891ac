#pragma once
// ui::Stepper ("UIStepper"): a value moved by steps between a minimum and a maximum (0, 100 and
// steps of 1 unless set). A tap on the right half adds a step, on the left half takes one away
// (wrapping around the range when `wraps`), and sends value-changed when the value moved. Values
// set from code, or by key, are held to the range and send nothing.

#include "platform/uikit/control.h"

namespace ui {

class Stepper : public Control {
    RT_CLASS(Stepper)
public:
    double value() const noexcept { return value_; }
    void setValue(double value);
    double minimumValue() const noexcept { return minimum_; }
    void setMinimumValue(double minimum);
    double maximumValue() const noexcept { return maximum_; }
    void setMaximumValue(double maximum);
    double stepValue() const noexcept { return step_; }
    // Steps of zero or less are refused (and logged).
    void setStepValue(double step);
    bool wraps() const noexcept { return wraps_; }
    void setWraps(bool wraps);

protected:
    Stepper();
    explicit Stepper(const cg::Rect& frame);
    void didCompleteTap(const rt::Ref<Event>& event) override;

private:
    double value_ = 0;
    double minimum_ = 0;
    double maximum_ = 100;
    double step_ = 1;
    bool wraps_ = false;
};

} // namespace ui
