#pragma once
// Deterministic stepping of the main thread's work, shared by the main job and the tests: drain the
// main queue and run loop, let the worker pool settle, and move an installed ManualClock from
// deadline to deadline. Each call that can fail answers false and, when `failure` is given, says
// why there.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/clock.h"

namespace sim {

// Passes of the main run loop a drain makes at most (each pass runs what was queued before it).
inline constexpr std::size_t kDrainPassLimit = 1'000'000;

// Runs main-queue and main-run-loop work until there is none, without waiting. Work that keeps
// queueing more would never let it return: after `maxPasses` passes it stops and fails. Answers
// whether the main thread went idle.
bool drainMainQueue(std::size_t maxPasses = kDrainPassLimit, std::string* failure = nullptr);

// Drains the main thread's work, waits until no URL transfer is in flight (each bounded by its
// time-out: network time is real time), until the worker pool is idle (nothing queued, every
// running job parked in a wait) and until no platform work is in flight (ns::PlatformWork, work
// pending on another thread's run loop), until all are quiet together. While it waits it keeps
// draining the main queue, so a platform thread may hop to the main thread, even synchronously.
// Pool or platform work still busy after 5 s of real time fails it, naming the work in flight.
bool settle(std::string* failure = nullptr);

// The earliest deadline of any timer, on the installed clock. A timer counts until its work is
// queued, and queued work that has not run yet counts as due now, so a run in real time never sees
// a moment with nothing scheduled between a timer's firing and its work.
std::optional<ns::TimeInterval> nextTimerDeadline();

// A point in the scheduling of timers: cancelTimersSince cancels every timer scheduled after it,
// so that what a run leaves behind at its end (an exit due later) fires into nothing that comes
// next. Answers how many were still scheduled.
using TimerMark = std::uint64_t;
TimerMark timerMark();
std::size_t cancelTimersSince(TimerMark mark);

// Moves the clock to `t`, firing what becomes due on this thread; when `t` is not later than now,
// fires what is already due.
void advanceClockTo(ns::ManualClock& clock, ns::TimeInterval t);

// Needs an installed ManualClock. Repeatedly: settles, then moves the clock to the earliest
// deadline not after `virtualTime` (ties fire in the order they were scheduled); stops when no
// deadline is left at or before `virtualTime`, then sets the clock to `virtualTime` and settles.
// Stops early, failing, when settling does.
bool runMainLoopUntil(ns::TimeInterval virtualTime, std::string* failure = nullptr);

// Stops all stepping (when the application exits the process): until resumeStepping, the calls
// above return before their next pass of the main run loop and leave the clock where it is, as a
// process that has ended runs nothing more.
void haltStepping();
void resumeStepping();
bool isSteppingHalted();

// A signal asks the run to end (SIGHUP, SIGINT, SIGTERM): settle and its waits give up within 50 ms of
// real time, failing with "interrupted"; drains still run. Safe to call from a signal handler.
void interruptStepping(int signal);
// The signal that interrupted the stepping; 0 when none did.
int steppingInterruption();
void clearSteppingInterruption();

// Waits (real time, bounded) until the worker pool has nothing queued or running and no timer is
// being fired.
bool waitForWorkersIdle(double realSecondsTimeout = 5);

} // namespace sim
