#include "platform/uikit/slider.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

Slider::Slider() = default;

void Slider::setValue(float value) {
    rt::KeyChange change(this, "value");
    value_ = value != value ? minimum_ : std::clamp(value, minimum_, maximum_);
}

void Slider::setValueAnimated(float value, bool) {
    setValue(value);
}

void Slider::setMinimumValue(float minimum) {
    {
        rt::KeyChange change(this, "minimumValue");
        minimum_ = minimum;
    }
    if (maximum_ < minimum_) setMaximumValue(minimum_);
    if (value_ < minimum_) setValue(minimum_);
}

void Slider::setMaximumValue(float maximum) {
    {
        rt::KeyChange change(this, "maximumValue");
        maximum_ = maximum;
    }
    if (minimum_ > maximum_) setMinimumValue(maximum_);
    if (value_ > maximum_) setValue(maximum_);
}

void Slider::setContinuous(bool continuous) {
    rt::KeyChange change(this, "continuous");
    continuous_ = continuous;
}

RT_DEFINE_CLASS(Slider, "UISlider", Control, rt::prop("value", &Slider::value, &Slider::setValue),
                rt::prop("minimumValue", &Slider::minimumValue, &Slider::setMinimumValue),
                rt::prop("maximumValue", &Slider::maximumValue, &Slider::setMaximumValue),
                rt::prop("continuous", &Slider::isContinuous, &Slider::setContinuous, {.getter = "isContinuous"}),
                rt::method("setValue:animated:", &Slider::setValueAnimated))

} // namespace ui
