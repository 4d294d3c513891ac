#include "platform/sim/stepper.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/foundation/dispatch_internal.h"
#include "platform/foundation/platform_work.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/timer_manager.h"
#include "platform/foundation/url_loading.h"
#include "platform/foundation/worker_pool.h"

namespace sim {

namespace {

constexpr double kSettleSeconds = 5;
// How long a wait goes before it looks for an interruption again.
constexpr double kWaitSliceSeconds = 0.05;

std::atomic<bool> gHalted{false};
std::atomic<int> gInterruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

bool reportFailure(std::string* failure, std::string text) {
    if (failure) *failure = std::move(text);
    return false;
}

// Network time is real time: while transfers are in flight, waits until each has its completion
// queued, bounded by the longest time-out among them (the transport enforces each request's own)
// plus a margin. False when one outlasts that.
bool waitForTransfers(std::string* failure) {
    constexpr double kMarginSeconds = 5;
    while (std::size_t n = ns::URLLoading::transfersInFlight()) {
        const double bound = ns::URLLoading::longestTimeoutInFlight() + kMarginSeconds;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(bound);
        while (!ns::URLLoading::waitForTransfersInFlightBelow(n, kWaitSliceSeconds)) {
            if (steppingInterruption()) return reportFailure(failure, "interrupted");
            if (std::chrono::steady_clock::now() >= deadline)
                return reportFailure(failure, std::to_string(n) + " URL transfer(s) still in flight after " +
                                         std::to_string(bound) + " s");
        }
    }
    return true;
}

bool platformWorkQuiet() {
    return ns::PlatformWork::inFlight() == 0;
}

// Why the pool and the platform threads did not settle in time: the platform work still in flight,
// by name, else the pool.
std::string notSettled() {
    const std::string bound = std::to_string(static_cast<int>(kSettleSeconds)) + " s";
    std::vector<std::string> names = ns::PlatformWork::namesInFlight();
    if (names.empty()) return "the worker pool did not settle within " + bound;
    std::string text = "still busy after " + bound + ": ";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i ? ", " : "") + names[i];
    return text;
}

// Waits for the pool and the platform threads to settle, in slices so that an interruption is seen.
bool waitForPoolSettled(std::string* failure) {
    auto& pool = dispatch::detail::WorkerPool::shared();
    for (double waited = 0; waited < kSettleSeconds; waited += kWaitSliceSeconds) {
        // Platform threads may hop to the main thread, even synchronously: the wait ends as soon as
        // the main queue has work, and the caller's drain runs it.
        if (pool.waitSettled(kWaitSliceSeconds, platformWorkQuiet, dispatch::detail::mainRunLoopHasWork))
            return true;
        if (steppingInterruption()) return reportFailure(failure, "interrupted");
    }
    return reportFailure(failure, notSettled());
}

} // namespace

bool drainMainQueue(std::size_t maxPasses, std::string* failure) {
    const auto& loop = ns::RunLoop::main();
    for (std::size_t pass = 0; pass < maxPasses; ++pass) {
        if (isSteppingHalted()) return true;
        if (!loop->runMode(ns::DefaultRunLoopMode, nullptr)) return true;
    }
    if (!dispatch::detail::mainRunLoopHasWork()) return true; // the last pass emptied it
    return reportFailure(failure, "the main queue still had work after " + std::to_string(maxPasses) +
                             " passes of the main run loop: work keeps queueing more of itself");
}

bool settle(std::string* failure) {
    for (;;) {
        if (isSteppingHalted()) return true;
        if (steppingInterruption()) return reportFailure(failure, "interrupted");
        if (!drainMainQueue(kDrainPassLimit, failure)) return false;
        if (!waitForTransfers(failure)) return false;
        if (!waitForPoolSettled(failure)) return false;
        // Quiet first, then no main work: work that ends queues its main-queue part before it ends.
        if (platformWorkQuiet() && !dispatch::detail::mainRunLoopHasWork() &&
            ns::URLLoading::transfersInFlight() == 0)
            return true;
    }
}

std::optional<ns::TimeInterval> nextTimerDeadline() {
    std::optional<ns::TimeInterval> next = dispatch::detail::TimerManager::shared().nextDeadline();
    // Read after the timers: a timer that finished firing meanwhile has queued its work by now.
    if (!next && (dispatch::detail::mainRunLoopHasWork() || !platformWorkQuiet() ||
                  dispatch::detail::WorkerPool::shared().hasQueuedWork()))
        return ns::Clock::currentTime();
    return next;
}

TimerMark timerMark() {
    return dispatch::detail::TimerManager::shared().lastScheduled();
}

std::size_t cancelTimersSince(TimerMark mark) {
    return dispatch::detail::TimerManager::shared().cancelScheduledAfter(mark);
}

void advanceClockTo(ns::ManualClock& clock, ns::TimeInterval t) {
    if (t > clock.now())
        clock.setNow(t); // fires what is due, on this thread
    else
        dispatch::detail::TimerManager::shared().fireDue();
}

bool runMainLoopUntil(ns::TimeInterval virtualTime, std::string* failure) {
    auto clock = std::dynamic_pointer_cast<ns::ManualClock>(ns::Clock::installed());
    if (!clock) return reportFailure(failure, "stepping the main loop needs an installed ManualClock");
    for (;;) {
        if (!settle(failure)) return false;
        if (isSteppingHalted()) return true;
        std::optional<ns::TimeInterval> next = nextTimerDeadline();
        if (!next || *next > virtualTime) break;
        advanceClockTo(*clock, *next);
    }
    if (isSteppingHalted()) return true;
    clock->setNow(virtualTime);
    return settle(failure);
}

void haltStepping() {
    gHalted.store(true);
}

void resumeStepping() {
    gHalted.store(false);
}

bool isSteppingHalted() {
    return gHalted.load();
}

void interruptStepping(int signal) {
    gInterruption.store(signal);
}

int steppingInterruption() {
    return gInterruption.load();
}

void clearSteppingInterruption() {
    gInterruption.store(0);
}

bool waitForWorkersIdle(double realSecondsTimeout) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realSecondsTimeout);
    auto left = [&] {
        return std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    };
    auto& pool = dispatch::detail::WorkerPool::shared();
    auto& timers = dispatch::detail::TimerManager::shared();
    for (;;) {
        if (!pool.waitIdle(left())) return false;
        if (!timers.waitUntilNotFiring(left())) return false;
        // A timer fired meanwhile may have queued work: idle only when both are, one after the other.
        if (pool.waitIdle(0)) return true;
    }
}

} // namespace sim
