#include "platform/foundation/clock.h"

#include <chrono>

namespace ns {

namespace {

struct Installed {
    std::mutex lock;
    std::shared_ptr<Clock> clock;
    std::vector<std::function<void()>> hooks; // guarded by lock
};

// Never destroyed: clocks may be read by threads still running at exit.
Installed& installedState() {
    static auto* state = new Installed{{}, std::make_shared<SystemClock>(), {}};
    return *state;
}

const std::shared_ptr<Clock>& systemClock() {
    static auto* clock = new std::shared_ptr<Clock>(installedState().clock);
    return *clock;
}

} // namespace

// ---- Clock ----------------------------------------------------------------------------------

std::shared_ptr<Clock> Clock::installed() {
    Installed& s = installedState();
    std::lock_guard g(s.lock);
    return s.clock;
}

Clock& Clock::current() {
    return *installed();
}

TimeInterval Clock::currentTime() {
    return installed()->now();
}

std::shared_ptr<Clock> Clock::install(std::shared_ptr<Clock> clock) {
    const std::shared_ptr<Clock>& system = systemClock();
    if (!clock) clock = system;
    Installed& s = installedState();
    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard g(s.lock);
        std::swap(s.clock, clock);
        hooks = s.hooks;
    }
    for (const auto& hook : hooks)
        hook();
    return clock;
}

void Clock::addInstallHook(std::function<void()> hook) {
    Installed& s = installedState();
    std::lock_guard g(s.lock);
    s.hooks.push_back(std::move(hook));
}

// ---- SystemClock ----------------------------------------------------------------------------

namespace {
std::int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

SystemClock::SystemClock() {
    steadyStartNs_ = steadyNs();
    auto wall = std::chrono::system_clock::now().time_since_epoch();
    start_ = std::chrono::duration<double>(wall).count() - TimeIntervalSince1970;
}

TimeInterval SystemClock::now() const {
    return start_ + static_cast<double>(steadyNs() - steadyStartNs_) * 1e-9;
}

// ---- ManualClock ----------------------------------------------------------------------------

struct ManualClock::Entry {
    ObserverToken token;
    Observer observer;
    bool removed = false; // guarded by the clock's lock
};

ManualClock::ManualClock(TimeInterval start) : now_(start) {}

ManualClock::~ManualClock() = default;

TimeInterval ManualClock::now() const {
    std::lock_guard g(lock_);
    return now_;
}

void ManualClock::setNow(TimeInterval t) {
    std::unique_lock lock(lock_);
    if (!(t > now_)) return; // earlier, equal or NaN
    now_ = t;
    changed(lock);
}

void ManualClock::advance(TimeInterval dt) {
    if (!(dt > 0)) return;
    std::unique_lock lock(lock_);
    TimeInterval t = now_ + dt;
    if (!(t > now_)) return; // too small to move a time this large
    now_ = t;
    changed(lock);
}

void ManualClock::changed(std::unique_lock<std::mutex>& lock) {
    ++generation_;
    if (delivering_) return; // the thread delivering picks this change up after its round
    delivering_ = true;
    std::uint64_t delivered = 0;
    while (delivered != generation_) {
        delivered = generation_;
        TimeInterval t = now_;
        std::vector<std::shared_ptr<Entry>> round = observers_;
        lock.unlock();
        try {
            for (const auto& e : round) {
                {
                    std::lock_guard g(lock_);
                    if (e->removed) continue;
                }
                e->observer(t);
            }
        } catch (...) {
            lock.lock();
            delivering_ = false;
            throw;
        }
        lock.lock();
    }
    delivering_ = false;
}

ManualClock::ObserverToken ManualClock::addObserver(Observer observer) {
    std::lock_guard g(lock_);
    ObserverToken token = nextToken_++;
    observers_.push_back(std::make_shared<Entry>(Entry{token, std::move(observer)}));
    return token;
}

void ManualClock::removeObserver(ObserverToken token) {
    std::lock_guard g(lock_);
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if ((*it)->token == token) {
            (*it)->removed = true;
            observers_.erase(it);
            return;
        }
    }
}

// ---- ScopedManualClock ----------------------------------------------------------------------

ScopedManualClock::ScopedManualClock(TimeInterval start)
    : clock_(std::make_shared<ManualClock>(start)), previous_(Clock::install(clock_)) {}

ScopedManualClock::~ScopedManualClock() {
    Clock::install(std::move(previous_));
}

} // namespace ns
