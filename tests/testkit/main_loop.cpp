#include "tests/testkit/main_loop.h"

#include <atomic>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/dispatch_internal.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/timer_manager.h"
#include "platform/foundation/url_loading.h"
#include "platform/foundation/worker_pool.h"

namespace testkit {

namespace {

constexpr double kSettleSeconds = 5;

std::atomic<bool> gHalted{false};

// Network time is real time: while transfers are in flight, waits until each has its completion
// queued, bounded by the longest time-out among them (the transport enforces each request's own)
// plus a margin. False (the failure reported) when one outlasts that.
bool waitForTransfers() {
    constexpr double kMarginSeconds = 5;
    while (std::size_t n = ns::URLLoading::transfersInFlight()) {
        const double bound = ns::URLLoading::longestTimeoutInFlight() + kMarginSeconds;
        if (!ns::URLLoading::waitForTransfersInFlightBelow(n, bound)) {
            ADD_FAILURE() << n << " URL transfer(s) still in flight after " << bound << " s";
            return false;
        }
    }
    return true;
}

// Drains the main thread's work, waits for URL transfers in flight and for the pool to settle,
// until all are quiet together. False (the failure reported) when one does not come to an end.
bool settle() {
    auto& pool = dispatch::detail::WorkerPool::shared();
    for (;;) {
        if (isSteppingHalted()) return true;
        if (!drainMainQueue()) return false;
        if (!waitForTransfers()) return false;
        if (!pool.waitSettled(kSettleSeconds, dispatch::detail::mainRunLoopHasWork)) {
            ADD_FAILURE() << "the worker pool did not settle within " << kSettleSeconds << " s";
            return false;
        }
        if (!dispatch::detail::mainRunLoopHasWork() && ns::URLLoading::transfersInFlight() == 0) return true;
    }
}

} // namespace

bool drainMainQueue(std::size_t maxPasses) {
    const auto& loop = ns::RunLoop::main();
    for (std::size_t pass = 0; pass < maxPasses; ++pass) {
        if (isSteppingHalted()) return true;
        if (!loop->runMode(ns::DefaultRunLoopMode, nullptr)) return true;
    }
    if (!dispatch::detail::mainRunLoopHasWork()) return true; // the last pass emptied it
    ADD_FAILURE() << "the main queue still had work after " << maxPasses
                  << " passes of the main run loop: work keeps queueing more of itself";
    return false;
}

void runMainLoopUntil(ns::TimeInterval virtualTime) {
    auto clock = std::dynamic_pointer_cast<ns::ManualClock>(ns::Clock::installed());
    if (!clock) {
        ADD_FAILURE() << "runMainLoopUntil needs an installed ManualClock";
        return;
    }
    auto& timers = dispatch::detail::TimerManager::shared();
    for (;;) {
        if (!settle() || isSteppingHalted()) return;
        std::optional<ns::TimeInterval> next = timers.nextDeadline();
        if (!next || *next > virtualTime) break;
        if (*next > clock->now()) {
            clock->setNow(*next); // fires what is due, on this thread
        } else {
            timers.fireDue();
        }
    }
    if (isSteppingHalted()) return;
    clock->setNow(virtualTime);
    settle();
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

void runMainLoopFor(double seconds) {
    runMainLoopUntil(ns::Clock::currentTime() + seconds);
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

} // namespace testkit
