#include "platform/foundation/timer_manager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

namespace dispatch::detail {

TimerManager& TimerManager::shared() {
    // Never destroyed: its thread and the clock hooks outlive static destruction.
    static TimerManager* manager = new TimerManager;
    return *manager;
}

TimerManager::TimerManager() {
    ns::Clock::addInstallHook([this] { clockInstalled(); });
    clockInstalled();
    std::thread([this] { threadMain(); }).detach();
}

void TimerManager::clockInstalled() {
    {
        std::lock_guard g(observeLock_);
        auto manual = std::dynamic_pointer_cast<ns::ManualClock>(ns::Clock::installed());
        auto previous = observed_.lock();
        if (manual != previous) {
            if (previous) previous->removeObserver(token_);
            observed_ = manual;
            token_ = 0;
            if (manual) {
                ns::ManualClock* clock = manual.get();
                token_ = manual->addObserver([this, clock](ns::TimeInterval) {
                    // A clock that is no longer installed moves nothing here.
                    if (ns::Clock::installed().get() == clock) fire(true);
                });
            }
        }
        std::lock_guard l(lock_);
        manual_ = manual != nullptr;
    }
    wake_.notify_all();
    fire(true); // what is already due on the new clock
}

TimerManager::Id TimerManager::schedule(ns::TimeInterval deadline, double interval, Callback fire) {
    if (std::isnan(deadline) || deadline == INFINITY) return 0;
    if (deadline == -INFINITY) deadline = std::numeric_limits<ns::TimeInterval>::lowest();
    if (!(interval > 0) || std::isinf(interval)) interval = 0;
    Id id;
    bool earliest;
    {
        std::lock_guard g(lock_);
        id = ++nextId_;
        Key key{deadline, nextOrder_++};
        auto it =
            entries_.emplace(key, Entry{id, interval, std::make_shared<Callback>(std::move(fire))}).first;
        keys_.emplace(id, key);
        // The timer thread sleeps while a manual clock is installed: waking it would only cost a
        // context switch per entry.
        earliest = it == entries_.begin() && !manual_;
    }
    // The time is read after the entry is in: a clock change that fired before the insert is seen
    // here, and one after it finds the entry.
    if (deadline <= ns::Clock::currentTime()) {
        this->fire(false);
    } else if (earliest) {
        wake_.notify_all();
    }
    return id;
}

bool TimerManager::cancel(Id id) {
    if (id == 0) return false;
    // The entry's callback dies after the lock is let go: whatever it holds may, as it goes,
    // cancel other timers (a screen released by it ends its own).
    decltype(entries_)::node_type cancelled;
    std::unique_lock lock(lock_);
    bool pending = false;
    if (auto it = keys_.find(id); it != keys_.end()) {
        cancelled = entries_.extract(it->second);
        keys_.erase(it);
        pending = true;
    }
    if (firer_ != std::this_thread::get_id()) state_.wait(lock, [&] { return inFlight_ != id; });
    return pending;
}

TimerManager::Id TimerManager::lastScheduled() {
    std::lock_guard g(lock_);
    return nextId_;
}

std::size_t TimerManager::cancelScheduledAfter(Id mark) {
    std::vector<Id> ids;
    {
        std::lock_guard g(lock_);
        for (const auto& [id, key] : keys_)
            if (id > mark) ids.push_back(id);
    }
    std::size_t cancelled = 0;
    for (Id id : ids)
        cancelled += cancel(id);
    return cancelled;
}

std::optional<ns::TimeInterval> TimerManager::nextDeadline() {
    std::lock_guard g(lock_);
    // An entry being fired is still scheduled: what it queues may not have arrived yet.
    std::optional<ns::TimeInterval> next = firingDeadline_;
    if (!entries_.empty() && (!next || entries_.begin()->first.first < *next))
        next = entries_.begin()->first.first;
    return next;
}

void TimerManager::fireDue() {
    fire(true);
}

void TimerManager::fire(bool waitForOther) {
    std::unique_lock lock(lock_);
    if (firing_) {
        // The thread firing rescans before it stops; wait for it when asked to (a clock advance
        // returns only once what it made due has fired).
        rescan_ = true;
        if (waitForOther && firer_ != std::this_thread::get_id()) {
            state_.wait(lock, [&] { return !firing_; });
        }
        return;
    }
    firing_ = true;
    firer_ = std::this_thread::get_id();
    do {
        rescan_ = false;
        lock.unlock();
        ns::TimeInterval now = ns::Clock::currentTime();
        lock.lock();
        while (!entries_.empty() && entries_.begin()->first.first <= now) {
            auto node = entries_.extract(entries_.begin());
            const Id id = node.mapped().id;
            const ns::TimeInterval deadline = node.key().first;
            std::shared_ptr<Callback> callback;
            if (node.mapped().interval > 0) {
                // Re-armed before the call, so a cancel from the callback removes the next one.
                callback = node.mapped().fire;
                ns::TimeInterval next = node.key().first + node.mapped().interval;
                if (!(next > node.key().first)) next = now + node.mapped().interval; // too far back to step
                node.key() = Key{next, nextOrder_++};
                keys_[id] = node.key();
                entries_.insert(std::move(node));
            } else {
                callback = std::move(node.mapped().fire);
                keys_.erase(id);
            }
            inFlight_ = id;
            firingDeadline_ = deadline;
            lock.unlock();
            try {
                (*callback)();
            } catch (...) {
                callback.reset();
                lock.lock();
                inFlight_ = 0;
                firingDeadline_.reset();
                firing_ = false;
                state_.notify_all();
                throw;
            }
            // A one-shot callback's captures are released here, while this thread still counts as
            // firing (waitUntilNotFiring relies on it).
            callback.reset();
            lock.lock();
            inFlight_ = 0;
            firingDeadline_.reset();
            state_.notify_all();
        }
    } while (rescan_);
    firing_ = false;
    firer_ = std::thread::id();
    state_.notify_all();
}

bool TimerManager::waitUntilNotFiring(double realSeconds) {
    std::unique_lock lock(lock_);
    return state_.wait_for(lock, std::chrono::duration<double>(realSeconds), [&] { return !firing_; });
}

void TimerManager::threadMain() {
    std::unique_lock lock(lock_);
    for (;;) {
        if (manual_ || entries_.empty()) {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        ns::TimeInterval now = ns::Clock::currentTime();
        lock.lock();
        if (manual_ || entries_.empty()) continue;
        ns::TimeInterval first = entries_.begin()->first.first;
        if (first <= now) {
            lock.unlock();
            fire(true);
            lock.lock();
            continue;
        }
        // Capped so a far deadline cannot overflow the wait; the loop re-reads the clock anyway.
        wake_.wait_for(lock, std::chrono::duration<double>(std::min(first - now, 3600.0)));
    }
}

} // namespace dispatch::detail
