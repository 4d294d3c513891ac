#pragma once
// The per-test leak check of the test main: how many objects a test left alive, and why they may
// still be held.

#include <cstdint>
#include <string>

namespace testkit {

// "" when no more objects are alive than `countAtStart`; otherwise a report, "left N object(s)
// alive", followed by what still holds work. Timers armed on the system clock hold their work
// until their date: those due within `settleSeconds` (real time) are let fire first, and the
// worker pool settle after them; one still armed after that is named in the report, as is work
// left on the main queue.
std::string leftAlive(std::int64_t countAtStart, double settleSeconds = 1);

} // namespace testkit
