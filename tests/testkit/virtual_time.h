#pragma once
// The fixture of tests that run in virtual time: installs a manual clock for the test, steps the
// main loop through it, and settles in TearDown (lets every timer still armed, cancelled ones
// included, run out, and the worker pool go idle), so nothing the test scheduled outlives it.

#include <gtest/gtest.h>

#include "platform/foundation/clock.h"

namespace testkit {

class VirtualTimeTest : public ::testing::Test {
protected:
    // Seconds of virtual time since the test started.
    double elapsed() const { return clock_.now() - start_; }
    // Runs the main loop until `seconds` after the start (absolute, so no rounding piles up).
    void runUntil(double seconds);
    // Runs the main loop for `seconds` more.
    void runFor(double seconds);
    ns::ScopedManualClock& clock() { return clock_; }

    void TearDown() override;

private:
    ns::ScopedManualClock clock_;
    const ns::TimeInterval start_ = clock_.now();
};

} // namespace testkit
