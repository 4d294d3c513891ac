#include "streams/uikit/command_bindings.h"

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button.h"
#include "platform/uikit/refresh_control.h"
#include "streams/command.h"
#include "streams/disposable.h"
#include "streams/signal.h"
#include "streams/uikit/control_signals.h"

namespace es {

namespace {

const rt::Sel kPerformAction("es_commandPerformAction:");

// The associated objects of one kind of item: the command, and the disposable of its bindings.
struct BindingKeys {
    char command = 0;
    char bindings = 0;
};
BindingKeys buttonKeys, barButtonItemKeys, refreshControlKeys;

rt::Ref<Command> storedCommand(const rt::Object* owner, const BindingKeys& keys) {
    return owner ? rt::cast<Command>(rt::getAssociatedObject(owner, &keys.command)) : nullptr;
}

// Stores the command and ends the bindings of the one before; false when the new one is nil.
bool replaceCommand(rt::Object* owner, const BindingKeys& keys, const rt::Ref<Command>& command) {
    rt::setAssociatedObject(owner, &keys.command, command, rt::AssociationPolicy::Retain);
    if (auto previous = rt::cast<Disposable>(rt::getAssociatedObject(owner, &keys.bindings))) previous->dispose();
    rt::setAssociatedObject(owner, &keys.bindings, nullptr, rt::AssociationPolicy::Retain);
    return static_cast<bool>(command);
}

void keepBindings(rt::Object* owner, const BindingKeys& keys, const rt::Ref<Disposable>& bindings) {
    rt::setAssociatedObject(owner, &keys.bindings, bindings, rt::AssociationPolicy::Retain);
}

rt::Ref<Disposable> bindEnabled(const rt::Ref<Command>& command, rt::Object* owner) {
    return command->enabled()->setKeyPathOnObject("enabled", rt::Id(owner));
}

// A button's or bar button item's binding: enabled, and the tap action.
template <class Item>
void bindTapCommand(Item* item, const BindingKeys& keys, const rt::Ref<Command>& command) {
    if (!item || !replaceCommand(item, keys, command)) return;
    keepBindings(item, keys, bindEnabled(command, item));
    hijackActionAndTargetIfNeeded(*item);
}

void performAction(const rt::Object& owner, const BindingKeys& keys, const rt::Id& sender) {
    if (rt::Ref<Command> command = storedCommand(&owner, keys)) command->execute(sender);
}

void performButtonAction(ui::Button& button, const rt::Id& sender) {
    commandPerformAction(button, sender);
}
void performItemAction(ui::BarButtonItem& item, const rt::Id& sender) {
    commandPerformAction(item, sender);
}

// Every button and bar button item answers the tap action by name.
[[maybe_unused]] const rt::Class& buttonCategory =
    rt::addCategory(ui::Button::staticClass(), {rt::categoryMethod("es_commandPerformAction:", &performButtonAction)});
[[maybe_unused]] const rt::Class& itemCategory = rt::addCategory(
    ui::BarButtonItem::staticClass(), {rt::categoryMethod("es_commandPerformAction:", &performItemAction)});

} // namespace

// ---- Buttons and bar button items --------------------------------------------------------------

rt::Ref<Command> command(const ui::Button* button) {
    return storedCommand(button, buttonKeys);
}

void setCommand(ui::Button* button, const rt::Ref<Command>& command) {
    bindTapCommand(button, buttonKeys, command);
}

rt::Ref<Command> command(const ui::BarButtonItem* item) {
    return storedCommand(item, barButtonItemKeys);
}

void setCommand(ui::BarButtonItem* item, const rt::Ref<Command>& command) {
    bindTapCommand(item, barButtonItemKeys, command);
}

void hijackActionAndTargetIfNeeded(ui::Button& button) {
    const rt::Id self = rt::retained(&button);
    if (auto actions = button.actionsForTargetForControlEvent(self, ui::ControlEvent::TouchUpInside))
        if (actions->containsObject(ns::str(kPerformAction.name()))) return;
    button.addTargetActionForControlEvents(self, kPerformAction, ui::ControlEvent::TouchUpInside);
}

void hijackActionAndTargetIfNeeded(ui::BarButtonItem& item) {
    rt::Id target = item.target();
    if (target.get() == &item && item.action() == kPerformAction) return;
    if (target) ns::logLine("WARNING: UIBarButtonItem.es_command hijacks the control's existing target and action.");
    item.setTarget(rt::retained(&item));
    item.setAction(kPerformAction);
}

void commandPerformAction(ui::Button& button, const rt::Id& sender) {
    performAction(button, buttonKeys, sender);
}

void commandPerformAction(ui::BarButtonItem& item, const rt::Id& sender) {
    performAction(item, barButtonItemKeys, sender);
}

// ---- Refresh controls ----------------------------------------------------------------------------

rt::Ref<Command> command(const ui::RefreshControl* control) {
    return storedCommand(control, refreshControlKeys);
}

void setCommand(ui::RefreshControl* control, const rt::Ref<Command>& command) {
    if (!control || !replaceCommand(control, refreshControlKeys, command)) return;
    rt::Ref<Disposable> enabled = bindEnabled(command, control);
    // Each pull executes at once; the indicator ends as each execution ends, in the order of the pulls.
    rt::Ref<Disposable> pulls =
        signalForControlEvents(control, ui::ControlEvent::ValueChanged)
            ->map([command](const rt::Id& pulled) -> rt::Id {
                return command->execute(pulled)->catchTo(Signal::empty())->then([pulled] {
                    return Signal::returnValue(pulled);
                });
            })
            ->concat()
            ->subscribeNext([](const rt::Ref<ui::RefreshControl>& pulled) {
                if (pulled) pulled->endRefreshing();
            });
    keepBindings(control, refreshControlKeys, CompoundDisposable::withDisposables({enabled, pulls}));
}

} // namespace es
