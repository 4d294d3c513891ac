#pragma once
// ui::Switch ("UISwitch"): on or off. A tap flips it and sends value-changed (4096); setting "on"
// from code, or by key, sends nothing.

#include "platform/uikit/control.h"

namespace ui {

class Switch : public Control {
    RT_CLASS(Switch)
public:
    bool isOn() const noexcept { return on_; }
    void setOn(bool on);
    void setOnAnimated(bool on, bool animated);
    const rt::Ref<Color>& onTintColor() const noexcept { return onTint_; }
    void setOnTintColor(rt::Ref<Color> color);

protected:
    Switch();
    explicit Switch(const cg::Rect& frame);
    void didCompleteTap(const rt::Ref<Event>& event) override;

private:
    bool on_ = false;
    rt::Ref<Color> onTint_;
};

} // namespace ui
