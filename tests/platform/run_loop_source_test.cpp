// Run-loop sources: signalled from any thread, performed by the loop's own thread only while it
// runs one of the source's modes; removal and invalidation stop them for good.

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/date.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/run_loop.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"

namespace {

using rt::Ref;

class RunLoopSourceTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(testkit::waitForWorkersIdle()); }
};

TEST_F(RunLoopSourceTest, ASignalledSourcePerformsOnceOnTheMainLoopsNextDrain) {
    int performed = 0;
    auto source = ns::RunLoopSource::make([&] { ++performed; });
    const auto& main = ns::RunLoop::main();
    main->addSource(source, ns::DefaultRunLoopMode);
    main->addSource(source, ns::DefaultRunLoopMode); // one entry
    EXPECT_TRUE(main->containsSource(source, ns::DefaultRunLoopMode));
    EXPECT_FALSE(main->containsSource(source, ns::TrackingRunLoopMode));
    testkit::drainMainQueue();
    EXPECT_EQ(performed, 0) << "not signalled";
    source->signal();
    source->signal(); // before it performs: still once
    testkit::drainMainQueue();
    EXPECT_EQ(performed, 1);
    main->removeSource(source, ns::DefaultRunLoopMode);
    EXPECT_FALSE(main->containsSource(source, ns::DefaultRunLoopMode));
    source->signal();
    testkit::drainMainQueue();
    EXPECT_EQ(performed, 1) << "removed";
    source->invalidate();
}

TEST_F(RunLoopSourceTest, WorkWaitsOutAnotherModeAndCommonModesCoverDefaultAndTracking) {
    std::vector<int> order;
    auto tracking = ns::RunLoopSource::make([&] { order.push_back(1); });
    auto common = ns::RunLoopSource::make([&] { order.push_back(2); });
    const auto& main = ns::RunLoop::main();
    main->addSource(tracking, ns::TrackingRunLoopMode);
    main->addSource(common, ns::RunLoopCommonModes);
    tracking->signal();
    common->signal();
    testkit::drainMainQueue(); // the default mode
    EXPECT_EQ(order, (std::vector<int>{2}));
    EXPECT_TRUE(main->runMode(ns::TrackingRunLoopMode, nullptr));
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    EXPECT_FALSE(main->runMode(ns::TrackingRunLoopMode, nullptr)) << "nothing left";
    tracking->invalidate();
    common->invalidate();
    EXPECT_FALSE(main->containsSource(common, ns::RunLoopCommonModes));
}

TEST_F(RunLoopSourceTest, AnotherThreadsSignalWakesALoopWaitingOnItsOwnThread) {
    Ref<ns::RunLoop> loop;
    testkit::Latch ready, performed;
    std::atomic<std::thread::id> ranOn{};
    auto source = ns::RunLoopSource::make([&] {
        ranOn = std::this_thread::get_id();
        performed.countDown();
        ns::RunLoop::current()->stop();
    });
    std::thread thread([&] {
        loop = ns::RunLoop::current();
        loop->addSource(source, ns::DefaultRunLoopMode);
        ready.countDown();
        loop->run();
    });
    ASSERT_TRUE(ready.wait());
    source->signal();
    ASSERT_TRUE(performed.wait());
    const auto id = thread.get_id();
    thread.join();
    EXPECT_EQ(ranOn.load(), id);
    source->invalidate();
    EXPECT_FALSE(loop->containsSource(source, ns::DefaultRunLoopMode));
    loop = nullptr;
}

TEST_F(RunLoopSourceTest, InvalidationFromInsideThePerformAndFromManyThreadsIsSafe) {
    int performed = 0;
    Ref<ns::RunLoopSource> source;
    source = ns::RunLoopSource::make([&] {
        ++performed;
        source->invalidate(); // drops the block that is running
    });
    ns::RunLoop::main()->addSource(source, ns::DefaultRunLoopMode);
    std::vector<std::thread> signallers;
    for (int i = 0; i < 4; ++i)
        signallers.emplace_back([&] {
            for (int n = 0; n < 200; ++n)
                source->signal();
        });
    for (auto& t : signallers)
        t.join();
    testkit::drainMainQueue();
    EXPECT_EQ(performed, 1);
    EXPECT_FALSE(source->isValid());
    EXPECT_FALSE(ns::RunLoop::main()->containsSource(source, ns::DefaultRunLoopMode));
    source->signal(); // nothing: invalid
    ns::RunLoop::main()->addSource(source, ns::DefaultRunLoopMode); // refused
    EXPECT_FALSE(ns::RunLoop::main()->containsSource(source, ns::DefaultRunLoopMode));
    testkit::drainMainQueue();
    EXPECT_EQ(performed, 1);
    source = nullptr;
}

} // namespace
