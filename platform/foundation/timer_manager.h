#pragma once
// The one timer manager behind every deadline in the substrate: dispatch `after`, timer sources,
// run-loop timers and the finite waits of semaphores, groups, conditions and run loops.
//
// Deadlines are times on the installed clock. While a ManualClock is installed nothing waits on
// the wall clock: every change of its time fires what has become due, synchronously on the thread
// that moved it. Otherwise a timer thread waits for the earliest deadline. Entries fire in
// deadline order, ties in the order they were scheduled.
//
// A callback runs outside the manager's locks but must stay short (enqueue, notify). Never call
// schedule or cancel while holding a lock a callback takes: a due entry fires inside schedule, and
// cancel waits for a callback of that entry running on another thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "platform/foundation/clock.h"

namespace dispatch::detail {

class TimerManager {
public:
    using Id = std::uint64_t;
    using Callback = std::function<void()>;

    static TimerManager& shared();

    // Fires `fire` at `deadline`, then every `interval` seconds after it when the interval is
    // positive. A deadline of +infinity or NaN never fires (returns 0).
    Id schedule(ns::TimeInterval deadline, double interval, Callback fire);
    // Removes the entry; once it returns the callback is not running on another thread and will not
    // be called again. Returns whether the entry was still scheduled.
    bool cancel(Id id);
    // The last id handed out: entries scheduled later have larger ones.
    Id lastScheduled();
    // Cancels, as cancel does, every entry scheduled after `mark` (what a run left behind at its
    // end, so that none of it fires into whatever comes next). Returns how many were scheduled.
    std::size_t cancelScheduledAfter(Id mark);
    // The earliest deadline, counting an entry while it is being fired (its callback may not have
    // queued its work yet); none when nothing is scheduled.
    std::optional<ns::TimeInterval> nextDeadline();
    // Fires what is due on the installed clock now.
    void fireDue();
    // Waits (real time, bounded) until no thread is firing entries.
    bool waitUntilNotFiring(double realSeconds);

private:
    struct Entry {
        Id id;
        double interval;
        std::shared_ptr<Callback> fire;
    };
    using Key = std::pair<ns::TimeInterval, std::uint64_t>; // deadline, scheduling order

    TimerManager();
    void threadMain();
    void clockInstalled();
    // `waitForOther`: when another thread is firing, wait until it has also fired what is due now.
    void fire(bool waitForOther);

    std::mutex lock_;
    std::condition_variable wake_;  // the timer thread
    std::condition_variable state_; // firing finished, an entry's callback returned
    std::map<Key, Entry> entries_;
    std::unordered_map<Id, Key> keys_;
    std::uint64_t nextOrder_ = 0;
    Id nextId_ = 0;
    bool manual_ = false; // the installed clock is a ManualClock
    bool firing_ = false;
    bool rescan_ = false;
    std::thread::id firer_;
    Id inFlight_ = 0;
    std::optional<ns::TimeInterval> firingDeadline_; // of the entry inFlight_

    std::mutex observeLock_; // the observer on the installed ManualClock
    std::weak_ptr<ns::ManualClock> observed_;
    ns::ManualClock::ObserverToken token_ = 0;
};

} // namespace dispatch::detail
