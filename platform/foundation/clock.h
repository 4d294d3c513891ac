#pragma once
// The clock every date and timer reads: seconds since the reference date (2001-01-01 00:00:00
// UTC). The system clock by default; tests install a ManualClock and move time themselves.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ns {

// Seconds.
using TimeInterval = double;

// Seconds from 1970-01-01 00:00:00 UTC to the reference date.
inline constexpr TimeInterval TimeIntervalSince1970 = 978307200.0;

class Clock {
public:
    virtual ~Clock() = default;

    // Seconds since the reference date. Safe to call from any thread.
    virtual TimeInterval now() const = 0;

    // The installed clock. The reference stays valid while that clock stays installed; code that
    // may run across an install holds `installed()` instead.
    static Clock& current();
    static std::shared_ptr<Clock> installed();
    // Installs `clock` (null restores the system clock) and returns the previous one.
    static std::shared_ptr<Clock> install(std::shared_ptr<Clock> clock);
    // Shorthand for installed()->now().
    static TimeInterval currentTime();
    // Calls `hook` after every later install, on the installing thread, outside any lock. Hooks
    // stay for the life of the process (the timer manager uses one to follow the installed clock).
    static void addInstallHook(std::function<void()> hook);
};

// Wall time taken once at construction, moved forward by the monotonic clock: it never jumps
// backwards when the wall clock is adjusted.
class SystemClock final : public Clock {
public:
    SystemClock();
    TimeInterval now() const override;

private:
    TimeInterval start_;
    std::int64_t steadyStartNs_;
};

// Time that moves only when told to, and never backwards.
class ManualClock final : public Clock {
public:
    using Observer = std::function<void(TimeInterval now)>;
    using ObserverToken = std::uint64_t;

    // 2026-01-01 00:00:00 UTC.
    static constexpr TimeInterval DefaultStart = 788918400.0;

    explicit ManualClock(TimeInterval start = DefaultStart);
    ~ManualClock() override;

    TimeInterval now() const override;
    // Moves to `t`; a time earlier than (or equal to) now is ignored.
    void setNow(TimeInterval t);
    // Moves forward by `dt`; zero, negative or NaN steps are ignored.
    void advance(TimeInterval dt);

    // Observers are called, in the order they were added, after every change of time, with the
    // new time, outside any lock. They see times in increasing order: a change made while the
    // observers are being called (by an observer, or by another thread) is delivered, by the
    // thread already delivering, once the current round is over. A token removed during a round
    // is not called for the rest of it.
    ObserverToken addObserver(Observer observer);
    void removeObserver(ObserverToken token);

private:
    struct Entry;
    void changed(std::unique_lock<std::mutex>& lock);

    mutable std::mutex lock_;
    TimeInterval now_;
    std::uint64_t generation_ = 0; // bumped by every change of time
    bool delivering_ = false;
    ObserverToken nextToken_ = 1;
    std::vector<std::shared_ptr<Entry>> observers_;
};

// Installs a ManualClock for the life of the helper, then puts the previous clock back.
class ScopedManualClock {
public:
    explicit ScopedManualClock(TimeInterval start = ManualClock::DefaultStart);
    ~ScopedManualClock();
    ScopedManualClock(const ScopedManualClock&) = delete;
    ScopedManualClock& operator=(const ScopedManualClock&) = delete;

    ManualClock& clock() const noexcept { return *clock_; }
    ManualClock* operator->() const noexcept { return clock_.get(); }
    TimeInterval now() const { return clock_->now(); }
    void advance(TimeInterval dt) { clock_->advance(dt); }
    void setNow(TimeInterval t) { clock_->setNow(t); }

private:
    std::shared_ptr<ManualClock> clock_;
    std::shared_ptr<Clock> previous_;
};

} // namespace ns
