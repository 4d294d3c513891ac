#include "platform/uikit/control.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/null.h"
#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/event.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/transaction.h"

namespace ui {

void Control::addTargetActionForControlEvents(const rt::Id& target, rt::Sel action, ControlEvents events) {
    if (!action || events == 0) return;
    for (TargetAction& entry : actions_) {
        if (entry.action == action && entry.chain == !target && (!target || entry.target.lock() == target)) {
            entry.events |= events;
            return;
        }
    }
    actions_.push_back({target ? rt::Weak<rt::Object>(target) : rt::Weak<rt::Object>(), !target, action, events});
}

void Control::removeTargetActionForControlEvents(const rt::Id& target, rt::Sel action, ControlEvents events) {
    for (TargetAction& entry : actions_) {
        if (target && entry.target.unsafeGet() != target.get()) continue;
        if (action && entry.action != action) continue;
        entry.events &= ~events;
    }
    std::erase_if(actions_, [](const TargetAction& entry) { return entry.events == 0; });
}

rt::Ref<ns::Set> Control::allTargets() const {
    std::vector<rt::Id> targets;
    for (const TargetAction& entry : actions_) {
        if (entry.chain) targets.push_back(ns::Null::null());
        else if (rt::Id target = entry.target.lock()) targets.push_back(std::move(target));
    }
    return ns::Set::make(targets);
}

ControlEvents Control::allControlEvents() const {
    ControlEvents all = 0;
    for (const TargetAction& entry : actions_)
        all |= entry.events;
    return all;
}

rt::Ref<ns::Array> Control::actionsForTargetForControlEvent(const rt::Id& target, ControlEvents event) const {
    std::vector<rt::Id> names;
    for (const TargetAction& entry : actions_) {
        if (!(entry.events & event)) continue;
        if (target ? entry.chain || entry.target.unsafeGet() != target.get() || !entry.target.lock() : !entry.chain)
            continue;
        names.push_back(ns::String::make(entry.action.name()));
    }
    return names.empty() ? nullptr : ns::Array::make(std::move(names));
}

void Control::sendActionsForControlEvents(ControlEvents events) {
    sendActionsForEvents(events, nullptr);
}

void Control::sendActionsForEvents(ControlEvents events, const rt::Ref<Event>& event) {
    rt::Ref<Control> self = rt::retained(this);
    std::erase_if(actions_, [](const TargetAction& entry) { return !entry.chain && !entry.target.lock(); });
    // A copy: actions may add or remove registrations.
    const std::vector<TargetAction> matching = [&] {
        std::vector<TargetAction> list;
        for (const TargetAction& entry : actions_)
            if (entry.events & events) list.push_back(entry);
        return list;
    }();
    for (const TargetAction& entry : matching) {
        rt::Id target = entry.target.lock();
        if (!target && !entry.chain) continue;
        sendActionToForEvent(entry.action, target, event);
    }
}

void Control::sendActionToForEvent(rt::Sel action, const rt::Id& target, const rt::Ref<Event>& event) {
    Application::sendAction(action, target, rt::retained(this), event);
}

void Control::setEnabled(bool enabled) {
    {
        rt::KeyChange change(this, "enabled");
        enabled_ = enabled;
    }
    stateDidChange();
}

void Control::setSelected(bool selected) {
    {
        rt::KeyChange change(this, "selected");
        selected_ = selected;
    }
    stateDidChange();
}

void Control::setHighlighted(bool highlighted) {
    {
        rt::KeyChange change(this, "highlighted");
        highlighted_ = highlighted;
    }
    stateDidChange();
}

bool Control::touchEndsInside(const rt::Ref<ns::Set>& touches) const {
    for (const rt::Id& object : *touches)
        if (auto touch = rt::cast<Touch>(object); touch && bounds().contains(touch->locationInView(this))) return true;
    return false;
}

void Control::touchesBegan(const rt::Ref<ns::Set>&, const rt::Ref<Event>& event) {
    if (!enabled_) return;
    setHighlighted(true);
    sendActionsForEvents(ControlEvent::TouchDown, event);
}

namespace {
// The control tapped in the current turn, until the turn has committed. Main thread only; never
// destroyed, as the process's other lists of views.
rt::Weak<Control>& tappedInTurn() {
    static auto* tapped = new rt::Weak<Control>();
    return *tapped;
}
} // namespace

void Control::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) {
    if (!enabled_) return;
    rt::Ref<Control> self = rt::retained(this);
    // The finger lifts: the control is back to normal before its actions run. The frame of the
    // turn still shows it under the finger (tappedThisTurn), which is the screen's business.
    setHighlighted(false);
    const bool inside = touches && touchEndsInside(touches);
    if (inside) {
        if (!tappedInTurn().lock())
            ca::Transaction::addPostCommitHandler([] { tappedInTurn() = rt::Weak<Control>(); });
        tappedInTurn() = rt::Weak<Control>(self);
    }
    sendActionsForEvents(inside ? ControlEvent::TouchUpInside : ControlEvent::TouchUpOutside, event);
    if (inside) didCompleteTap(event);
}

rt::Ref<Control> Control::tappedThisTurn() {
    return tappedInTurn().lock();
}

Control::PressedLook::PressedLook(rt::Ref<Control> control) : control_(std::move(control)) {
    if (!control_ || control_->highlighted_) {
        control_ = nullptr;
        return;
    }
    control_->highlighted_ = true;
    control_->stateDidChange();
}

Control::PressedLook::~PressedLook() {
    if (!control_) return;
    control_->highlighted_ = false;
    control_->stateDidChange();
}

void Control::touchesCancelled(const rt::Ref<ns::Set>&, const rt::Ref<Event>& event) {
    if (!enabled_) return;
    setHighlighted(false);
    sendActionsForEvents(ControlEvent::TouchCancel, event);
}

RT_DEFINE_CLASS(Control, "UIControl", View,
                rt::prop("enabled", &Control::isEnabled, &Control::setEnabled, {.getter = "isEnabled"}),
                rt::prop("selected", &Control::isSelected, &Control::setSelected, {.getter = "isSelected"}),
                rt::prop("highlighted", &Control::isHighlighted, &Control::setHighlighted, {.getter = "isHighlighted"}),
                rt::method("addTarget:action:forControlEvents:", &Control::addTargetActionForControlEvents),
                rt::method("removeTarget:action:forControlEvents:", &Control::removeTargetActionForControlEvents),
                rt::method("sendActionsForControlEvents:", &Control::sendActionsForControlEvents),
                rt::method("actionsForTarget:forControlEvent:", &Control::actionsForTargetForControlEvent))

} // namespace ui
