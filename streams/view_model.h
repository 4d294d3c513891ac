#pragma once
// es::ViewModel ("ESViewModel"): the base of view models. The owning screen sets `active` while it
// is on screen; signals tell when that turns on or off, and two operations forward a signal only
// while the view model is active or slow it down while it is not. `active` and the became-signals
// belong to the thread that owns the view model (the main thread).

#include <atomic>

#include "platform/runtime/object.h"
#include "platform/runtime/spin_lock.h"
#include "streams/signal.h"

namespace es {

class ViewModel : public rt::Object {
    RT_CLASS(ViewModel)
public:
    // Registered as "active" (getter "isActive"), announced by hand: a change notifies once, and
    // setting the value it has notifies nothing.
    bool isActive() const noexcept { return active_.load(std::memory_order_relaxed); }
    void setActive(bool active);
    bool automaticallyNotifiesObserversForKey(std::string_view key) const override;

    // The view model (nil once it is gone) each time it becomes active, and at once for a
    // subscriber while it is; the second the same for inactive. Made on first use and kept; both
    // complete when the view model deallocates.
    rt::Ref<Signal> didBecomeActiveSignal();
    rt::Ref<Signal> didBecomeInactiveSignal();

    // The signal's values and error, only while active: it is subscribed afresh each time the view
    // model becomes active and unsubscribed each time it becomes inactive; its completion is not
    // forwarded. The result completes when the view model deallocates.
    rt::Ref<Signal> forwardSignalWhileActive(const rt::Ref<Signal>& signal);
    // The signal's values at once while active; while inactive only the last of a burst, 1 second
    // after it. Becoming active lets the latest value through at once. The signal is subscribed at
    // once, and its latest value kept.
    rt::Ref<Signal> throttleSignalWhileInactive(const rt::Ref<Signal>& signal);

protected:
    ViewModel() = default;

private:
    // The values of "active" filtered to `active`, mapped to the view model.
    rt::Ref<Signal> becameSignal(bool active, const char* name);

    std::atomic<bool> active_{false};
    rt::SpinLock lock_; // the became-signals
    rt::Ref<Signal> didBecomeActiveSignal_;
    rt::Ref<Signal> didBecomeInactiveSignal_;
};

} // namespace es
