#include "tests/testkit/virtual_time.h"

#include "tests/testkit/main_loop.h"

namespace testkit {

namespace {
// Longer than any timer a test arms; repeating timers still armed are bounded by it too.
constexpr double kSettleSeconds = 60;
} // namespace

void VirtualTimeTest::runUntil(double seconds) { runMainLoopUntil(start_ + seconds); }

void VirtualTimeTest::runFor(double seconds) { runMainLoopFor(seconds); }

void VirtualTimeTest::TearDown() {
    runMainLoopFor(kSettleSeconds);
    EXPECT_TRUE(waitForWorkersIdle()) << "the worker pool did not go idle after the test";
}

} // namespace testkit
