#pragma once
// Deterministic stepping of the main thread's work for tests: drain the main queue and run loop,
// let the worker pool settle, and move an installed ManualClock from deadline to deadline. The
// stepping itself is sim's (platform/sim/stepper.h), shared with the main job; these calls report
// its failures as test failures.

#include <cstddef>

#include "platform/foundation/clock.h"
#include "platform/sim/stepper.h"

namespace testkit {

// Passes of the main run loop a drain makes at most (each pass runs what was queued before it).
inline constexpr std::size_t kDrainPassLimit = sim::kDrainPassLimit;

// Runs main-queue and main-run-loop work until there is none, without waiting. Work that keeps
// queueing more would never let it return: after `maxPasses` passes it stops and reports a test
// failure. Returns whether the main thread went idle.
bool drainMainQueue(std::size_t maxPasses = kDrainPassLimit);

// Needs an installed ManualClock. Repeatedly: drains until idle, waits until no URL transfer is in
// flight (each bounded by its time-out: network time is real time), waits until the worker pool is
// idle (nothing queued, every running job parked in a wait), then moves the clock to the earliest
// deadline not after `virtualTime` (ties fire in the order they were scheduled); stops when no
// deadline is left at or before `virtualTime`, then sets the clock to `virtualTime` and drains.
// Stops early (the failure reported) when a drain does not come to an end.
void runMainLoopUntil(ns::TimeInterval virtualTime);
// runMainLoopUntil(now + seconds).
void runMainLoopFor(double seconds);

// Stops all stepping (the application fixture does when the application exits the process):
// until resumeStepping, drainMainQueue and runMainLoopUntil return before their next pass of the
// main run loop and leave the clock where it is, as a process that has ended runs nothing more.
void haltStepping();
void resumeStepping();
bool isSteppingHalted();

// Waits (real time, bounded) until the worker pool has nothing queued or running and no timer is
// being fired. Tests call it before they end so work in flight has released what it held.
bool waitForWorkersIdle(double realSecondsTimeout = 5);

} // namespace testkit
