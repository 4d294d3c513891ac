#pragma once
// cf run-loop observers over ns::RunLoop. Of the activities only the after-waiting one is
// observed: it fires each time the run loop wakes for work (a performed block, a timer, a source),
// before that work runs.

#include <functional>
#include <string_view>

#include "platform/corefoundation/allocator.h"
#include "platform/runtime/object.h"

namespace ns {
class RunLoop;
}

namespace cf {

inline constexpr OptionFlags RunLoopAfterWaiting = 1UL << 6;

struct RunLoopObserver;
using RunLoopObserverRef = const RunLoopObserver*;
using RunLoopObserverHandler = std::function<void(RunLoopObserverRef observer, OptionFlags activity)>;

TypeID runLoopObserverGetTypeID();
// Null when the allocator fails. One that does not repeat fires once, then never again.
RunLoopObserverRef runLoopObserverCreate(AllocatorRef allocator, OptionFlags activities, bool repeats, long order,
                                         RunLoopObserverHandler handler);
// The run loop retains the observer for its life; observers of one run loop fire lowest order
// first. `mode` may be ns::RunLoopCommonModes.
void runLoopAddObserver(const rt::Ref<ns::RunLoop>& runLoop, RunLoopObserverRef observer, std::string_view mode);

} // namespace cf
