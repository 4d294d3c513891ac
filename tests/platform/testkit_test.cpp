// The harness itself: the bounded drain of the main queue and the leak report.

#include <functional>
#include <string>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/object.h"
#include "tests/testkit/leak_check.h"
#include "tests/testkit/main_loop.h"

namespace {

TEST(DrainMainQueue, StopsAndReportsWorkThatKeepsQueueingItself) {
    bool stop = false;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        if (!stop) dispatch::async(dispatch::Queue::main(), again);
    };
    dispatch::async(dispatch::Queue::main(), again);
    EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(testkit::drainMainQueue(100)), "keeps queueing more of itself");
    EXPECT_EQ(runs, 100);
    stop = true;
    EXPECT_TRUE(testkit::drainMainQueue());
    EXPECT_EQ(runs, 101);
}

TEST(DrainMainQueue, WorkThatEndsWithinTheLimitIsNoFailure) {
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 10) dispatch::async(dispatch::Queue::main(), again);
    };
    dispatch::async(dispatch::Queue::main(), again);
    EXPECT_TRUE(testkit::drainMainQueue(10)); // the tenth pass left nothing behind
    EXPECT_EQ(runs, 10);
}

TEST(LeakCheck, NamesATimerStillArmedOnTheSystemClock) {
    std::int64_t start = rt::liveObjectCount();
    EXPECT_EQ(testkit::leftAlive(start), "");
    auto source = dispatch::TimerSource::make(dispatch::Queue::global());
    source->setEventHandler([held = ns::MutableArray::make()] {});
    source->setTimer(dispatch::after(3600), 0, 0);
    source->resume();
    std::string report = testkit::leftAlive(start);
    EXPECT_EQ(report.rfind("left ", 0), 0u) << report;
    EXPECT_NE(report.find("a timer armed on the system clock, due in 3"), std::string::npos) << report;
    EXPECT_NE(report.find("still holds its work"), std::string::npos) << report;
    source->cancel(); // withdrawn: what it held goes at once
    source = nullptr;
    EXPECT_EQ(testkit::leftAlive(start), "");
}

} // namespace
