#pragma once
// Commands bound to buttons, bar button items and refresh controls. Main thread only.
//
//   es::setCommand(loginButton.get(), viewModel->loginCommand());
//
// Binding a command drives the item's "enabled" from the command's `enabled` and makes a tap
// execute the command with the item as input ("es_commandPerformAction:", answered by name by
// every button and bar button item). A button gets that action as one more touch-up-inside target
// on itself (once; other targets stay); a bar button item's target and action are replaced, with a
// warning line when it had a target. A refresh control executes the command on each pull and ends
// refreshing when that execution completes or fails, in the order of the pulls.
//
// A binding lasts until the next setCommand. Setting nil ends the enabled binding but leaves the
// action in place; later taps then execute nothing.

#include "platform/runtime/object.h"

namespace ui {
class BarButtonItem;
class Button;
class RefreshControl;
} // namespace ui

namespace es {

class Command;

rt::Ref<Command> command(const ui::Button* button);
void setCommand(ui::Button* button, const rt::Ref<Command>& command);
rt::Ref<Command> command(const ui::BarButtonItem* item);
void setCommand(ui::BarButtonItem* item, const rt::Ref<Command>& command);
rt::Ref<Command> command(const ui::RefreshControl* control);
void setCommand(ui::RefreshControl* control, const rt::Ref<Command>& command);

// Makes "es_commandPerformAction:" the item's tap action, as setCommand does.
void hijackActionAndTargetIfNeeded(ui::Button& button);
void hijackActionAndTargetIfNeeded(ui::BarButtonItem& item);
// The tap action: executes the item's current command with the sender; the execution's signal is
// not kept.
void commandPerformAction(ui::Button& button, const rt::Id& sender);
void commandPerformAction(ui::BarButtonItem& item, const rt::Id& sender);

} // namespace es
