#include "platform/corefoundation/run_loop_observer.h"

#include <atomic>
#include <memory>
#include <new>

#include "platform/corefoundation/object_internal.h"
#include "platform/foundation/run_loop.h"

namespace cf {

struct RunLoopObserver {
    detail::Object base;
    OptionFlags activities;
    bool repeats;
    long order;
    mutable std::atomic<bool> spent; // a one-shot observer that fired
    RunLoopObserverHandler* handler;
};

namespace {

void finalizeObserver(void* object) {
    delete static_cast<RunLoopObserver*>(object)->handler;
}

const detail::RuntimeClass observerClass{"CFRunLoopObserver", 47, finalizeObserver};

} // namespace

TypeID runLoopObserverGetTypeID() {
    return observerClass.typeID;
}

RunLoopObserverRef runLoopObserverCreate(AllocatorRef allocator, OptionFlags activities, bool repeats, long order,
                                         RunLoopObserverHandler handler) {
    auto* made = detail::createInstance<RunLoopObserver>(allocator, observerClass);
    if (!made) return nullptr;
    made->activities = activities;
    made->repeats = repeats;
    made->order = order;
    new (&made->spent) std::atomic<bool>(false);
    made->handler = new RunLoopObserverHandler(std::move(handler));
    return made;
}

void runLoopAddObserver(const rt::Ref<ns::RunLoop>& runLoop, RunLoopObserverRef observer, std::string_view mode) {
    if (!runLoop || !observer || !(observer->activities & RunLoopAfterWaiting)) return;
    std::shared_ptr<const RunLoopObserver> kept(static_cast<RunLoopObserverRef>(retain(observer)),
                                                [](RunLoopObserverRef o) { release(o); });
    runLoop->addWakeHandler(mode, observer->order, [kept] {
        if (!kept->repeats && kept->spent.exchange(true)) return;
        if (*kept->handler) (*kept->handler)(kept.get(), RunLoopAfterWaiting);
    });
}

} // namespace cf
