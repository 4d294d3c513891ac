#pragma once
// Messages sent later by name, as the platform's performSelector:withObject:afterDelay: and
// cancelPreviousPerformRequestsWithTarget: do: the request is a one-shot timer of the main run
// loop that keeps the target and the argument until it runs or is called off. The message is sent
// by name with the argument when the selector takes one, else with none.
// Any thread may ask or cancel; the messages run on the main thread.

#include "platform/foundation/clock.h"
#include "platform/runtime/object.h"
#include "platform/runtime/sel.h"

namespace ns {

// Sends `selector` to `target` (with `argument`) on the main run loop after `seconds`. Nil target:
// nothing.
void performSelectorAfterDelay(const rt::Id& target, rt::Sel selector, const rt::Id& argument, TimeInterval seconds);
// Calls off every request for `target` that has not run yet, releasing what they kept.
void cancelPreviousPerformRequestsWithTarget(const rt::Id& target);

} // namespace ns
