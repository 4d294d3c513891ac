#include "platform/uikit/switch.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"

namespace ui {

// The platform's switches have one size, whatever frame they are given.
Switch::Switch() : Switch(cg::Rect::zero()) {}

Switch::Switch(const cg::Rect& frame) : Control(cg::Rect{frame.origin, {51, 31}}) {}

void Switch::setOn(bool on) {
    rt::KeyChange change(this, "on");
    on_ = on;
}

void Switch::setOnAnimated(bool on, bool) {
    setOn(on);
}

void Switch::setOnTintColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "onTintColor");
    onTint_ = std::move(color);
}

void Switch::didCompleteTap(const rt::Ref<Event>& event) {
    setOn(!on_);
    sendActionsForEvents(ControlEvent::ValueChanged, event);
}

RT_DEFINE_CLASS(Switch, "UISwitch", Control, rt::prop("on", &Switch::isOn, &Switch::setOn, {.getter = "isOn"}),
                rt::prop("onTintColor", &Switch::onTintColor, &Switch::setOnTintColor),
                rt::method("setOn:animated:", &Switch::setOnAnimated))

} // namespace ui
