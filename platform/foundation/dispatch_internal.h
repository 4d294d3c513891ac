#pragma once
// What dispatch and the run loops tell each other (not public). The main queue's blocks reach the
// main run loop as ticks: one event per block, in the run loop's single event order, so main-queue
// blocks, performed blocks and timer fires run in the order they arrived.

#include <cstddef>

namespace dispatch::detail {

// dispatch.cpp: runs the next main-queue block, unless the main queue is suspended or already
// running a block further up this stack (a nested run loop). Returns whether a block ran.
bool runMainQueueTick();

// run_loop.cpp: posts `count` ticks to the main run loop.
void postMainQueueTicks(std::size_t count);
// run_loop.cpp: a thread other than the caller is running the main run loop.
bool mainRunLoopRunningElsewhere();
// run_loop.cpp: the main run loop has events waiting.
bool mainRunLoopHasWork();

} // namespace dispatch::detail
