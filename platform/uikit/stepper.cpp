#include "platform/uikit/stepper.h"

#include <algorithm>

#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/event.h"
#include "platform/uikit/touch.h"

namespace ui {

// The platform's steppers have one size, whatever frame they are given.
Stepper::Stepper() : Stepper(cg::Rect::zero()) {}

Stepper::Stepper(const cg::Rect& frame) : Control(cg::Rect{frame.origin, {94, 32}}) {}

void Stepper::setValue(double value) {
    rt::KeyChange change(this, "value");
    value_ = value != value ? minimum_ : std::clamp(value, minimum_, maximum_);
}

void Stepper::setMinimumValue(double minimum) {
    {
        rt::KeyChange change(this, "minimumValue");
        minimum_ = minimum;
    }
    if (maximum_ < minimum_) setMaximumValue(minimum_);
    if (value_ < minimum_) setValue(minimum_);
}

void Stepper::setMaximumValue(double maximum) {
    {
        rt::KeyChange change(this, "maximumValue");
        maximum_ = maximum;
    }
    if (minimum_ > maximum_) setMinimumValue(maximum_);
    if (value_ > maximum_) setValue(maximum_);
}

void Stepper::setStepValue(double step) {
    if (!(step > 0)) {
        ns::log("-[UIStepper setStepValue:]: the step must be greater than 0, not %g", step);
        return;
    }
    rt::KeyChange change(this, "stepValue");
    step_ = step;
}

void Stepper::setWraps(bool wraps) {
    rt::KeyChange change(this, "wraps");
    wraps_ = wraps;
}

void Stepper::didCompleteTap(const rt::Ref<Event>& event) {
    if (!event || event->touchList().empty()) return;
    const bool up = event->touchList().front()->locationInView(this).x >= bounds().midX();
    double next = value_ + (up ? step_ : -step_);
    if (wraps_ && next > maximum_) next = minimum_;
    else if (wraps_ && next < minimum_) next = maximum_;
    next = std::clamp(next, minimum_, maximum_);
    if (next == value_) return;
    setValue(next);
    sendActionsForEvents(ControlEvent::ValueChanged, event);
}

RT_DEFINE_CLASS(Stepper, "UIStepper", Control, rt::prop("value", &Stepper::value, &Stepper::setValue),
                rt::prop("minimumValue", &Stepper::minimumValue, &Stepper::setMinimumValue),
                rt::prop("maximumValue", &Stepper::maximumValue, &Stepper::setMaximumValue),
                rt::prop("stepValue", &Stepper::stepValue, &Stepper::setStepValue),
                rt::prop("wraps", &Stepper::wraps, &Stepper::setWraps))

} // namespace ui
