#pragma once
// Deterministic stepping of the main thread's work for tests: drain the main queue and run loop,
// let the worker pool settle, and move an installed ManualClock from deadline to deadline.

#include "platform/foundation/clock.h"

namespace testkit {

// Runs main-queue and main-run-loop work until there is none, without waiting.
void drainMainQueue();

// Needs an installed ManualClock. Repeatedly: drains until idle, waits until the worker pool is
// idle (nothing queued, every running job parked in a wait), then moves the clock to the earliest
// deadline not after `virtualTime` (ties fire in the order they were scheduled); stops when no
// deadline is left at or before `virtualTime`, then sets the clock to `virtualTime` and drains.
void runMainLoopUntil(ns::TimeInterval virtualTime);
// runMainLoopUntil(now + seconds).
void runMainLoopFor(double seconds);

// Waits (real time, bounded) until the worker pool has nothing queued or running and no timer is
// being fired. Tests call it before they end so work in flight has released what it held.
bool waitForWorkersIdle(double realSecondsTimeout = 5);

} // namespace testkit
