#pragma once
// Threads parked on one of the substrate's waits (semaphore, group, sync, condition, operation
// queue). The owner guards the lot with its own mutex. A parked thread is woken by the owner
// (wakeOne/wakeAll) or by its deadline passing on the installed clock, through the timer manager,
// so a finite wait under a ManualClock ends when the clock is moved past it and never waits on the
// wall clock. Whoever wakes a parked worker also ends its blocked count in the pool, so the
// stepping harness never sees a pool settled while a woken worker is about to run.

#include <deque>
#include <mutex>
#include <optional>

#include "platform/foundation/clock.h"

namespace dispatch::detail {

class ParkingLot {
public:
    // Parks the calling thread; `lock` (the owner's mutex) is held on entry and on return and
    // released while parked. Returns true when woken, false when the deadline passed first. No
    // deadline, or an infinite one, waits for a wake-up.
    bool park(std::unique_lock<std::mutex>& lock, std::optional<ns::TimeInterval> deadline);
    // The owner's mutex is held. Wakes the longest parked thread; false when none is parked.
    bool wakeOne();
    void wakeAll();
    bool empty() const noexcept { return parked_.empty(); }

private:
    struct Node;
    void wake(Node& node);

    std::deque<Node*> parked_;
};

} // namespace dispatch::detail
