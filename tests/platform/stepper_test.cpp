// The stepper and platform threads: work a stand-in has in flight on a thread of its own, or
// queued on another thread's run loop, holds virtual time until it and its main-queue hop are
// done; such a thread may hop to the main thread synchronously; work that never ends fails the
// step by name.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/platform_work.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/timer_manager.h"
#include "platform/sim/stepper.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;

// A thread that runs its own run loop for ever, as a listener thread does, until stopped.
class LoopThread {
public:
    explicit LoopThread(std::string name = {}) {
        testkit::Latch ready;
        thread_ = std::thread([this, &ready, name] {
            if (!name.empty()) ns::Thread::setName(name);
            loop_ = ns::RunLoop::current();
            ready.countDown();
            loop_->run();
        });
        EXPECT_TRUE(ready.wait());
    }
    ~LoopThread() {
        loop_->stop();
        thread_.join();
        loop_ = nullptr;
    }
    const Ref<ns::RunLoop>& loop() const { return loop_; }

private:
    Ref<ns::RunLoop> loop_;
    std::thread thread_;
};

class SteppingThreads : public testkit::VirtualTimeTest {};

TEST_F(SteppingThreads, AHelperReplyAndItsMainHopPrecedeTheNextTimer) {
    // The helper starts from inside the step, so a stepper that did not wait for it would move
    // on to the timer at once.
    std::vector<std::string> order;
    std::thread helper;
    dispatch::async(dispatch::Queue::main(), [&] {
        helper = std::thread([&, work = ns::PlatformWork("audio unit I/O")]() mutable {
            dispatch::async(dispatch::Queue::main(), [&] { order.push_back("thread hop"); });
            work.end();
        });
    });
    LoopThread listener;
    ns::performAfterDelay(0.5, [&] {
        listener.loop()->performBlock([&] {
            dispatch::async(dispatch::Queue::main(), [&] { order.push_back("run loop hop"); });
        });
    });
    ns::performAfterDelay(0.5, [&] { order.push_back("timer 0.5"); });
    ns::performAfterDelay(1, [&] { order.push_back("timer 1"); });
    runFor(2);
    helper.join();
    EXPECT_EQ(order, (std::vector<std::string>{"thread hop", "timer 0.5", "run loop hop", "timer 1"}));
    EXPECT_EQ(ns::PlatformWork::inFlight(), 0u);
}

TEST_F(SteppingThreads, ASynchronousHopToMainMidWaitRunsInsideTheWait) {
    std::vector<std::string> order;
    std::atomic<bool> ranOnMain{false};
    std::thread helper;
    dispatch::async(dispatch::Queue::main(), [&] {
        helper = std::thread([&, work = ns::PlatformWork("DSDeviceListener")]() mutable {
            for (int i = 0; i < 3; ++i)
                dispatch::sync(dispatch::Queue::main(), [&, i] {
                    ranOnMain = ns::Thread::isMainThread();
                    order.push_back("sync " + std::to_string(i));
                });
            work.end();
        });
    });
    ns::performAfterDelay(0.1, [&] { order.push_back("timer"); });
    runFor(1);
    helper.join();
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(order, (std::vector<std::string>{"sync 0", "sync 1", "sync 2", "timer"}));
}

TEST_F(SteppingThreads, AThreadWaitingInItsRunLoopIsIdleAndSourceWorkWaitsOutAnotherMode) {
    LoopThread listener("listener");
    std::atomic<int> trackingPerforms{0};
    auto tracking = ns::RunLoopSource::make([&] { ++trackingPerforms; });
    int mainPerforms = 0;
    auto mainTracking = ns::RunLoopSource::make([&] { ++mainPerforms; });
    listener.loop()->addSource(tracking, ns::TrackingRunLoopMode);
    ns::RunLoop::main()->addSource(mainTracking, ns::TrackingRunLoopMode);
    tracking->signal();
    mainTracking->signal();

    std::string failure;
    const double start = clock().now();
    EXPECT_TRUE(sim::runMainLoopUntil(start + 1, &failure)) << failure;
    EXPECT_EQ(trackingPerforms, 0) << "the listener runs the default mode";
    EXPECT_EQ(mainPerforms, 0) << "the main loop is stepped in the default mode";
    EXPECT_EQ(ns::PlatformWork::inFlight(), 0u);

    // When each loop runs that mode, the work runs, and the step waits for it.
    std::atomic<bool> hopped{false};
    listener.loop()->performBlock([&] {
        ns::RunLoop::current()->runMode(ns::TrackingRunLoopMode, nullptr);
        dispatch::async(dispatch::Queue::main(), [&] { hopped = trackingPerforms.load() == 1; });
    });
    EXPECT_TRUE(ns::RunLoop::main()->runMode(ns::TrackingRunLoopMode, nullptr));
    EXPECT_EQ(mainPerforms, 1);
    EXPECT_TRUE(sim::runMainLoopUntil(start + 2, &failure)) << failure;
    EXPECT_TRUE(hopped);
    tracking->invalidate();
    mainTracking->invalidate();
}

TEST_F(SteppingThreads, WorkThatNeverEndsFailsTheStepNamingEachStandIn) {
    {
        ns::PlatformWork moved("moved away");
        ns::PlatformWork taker = std::move(moved);
        moved.end(); // ended already, by the move
        EXPECT_EQ(ns::PlatformWork::inFlight(), 1u);
    }
    EXPECT_EQ(ns::PlatformWork::inFlight(), 0u);

    // A named thread not running its loop, with a block queued there, and work held twice under
    // one name.
    testkit::Latch named, release;
    Ref<ns::RunLoop> loop;
    std::thread stuck([&] {
        ns::Thread::setName("DSDeviceListener");
        loop = ns::RunLoop::current();
        named.countDown();
        EXPECT_TRUE(release.wait());
        loop->runMode(ns::DefaultRunLoopMode, nullptr);
    });
    ASSERT_TRUE(named.wait());
    bool ran = false;
    loop->performBlock([&] { ran = true; });
    ns::PlatformWork io("audio unit I/O"), io2("audio unit I/O");
    EXPECT_EQ(ns::PlatformWork::namesInFlight(), (std::vector<std::string>{"DSDeviceListener", "audio unit I/O"}));

    int fired = 0;
    ns::performAfterDelay(0.5, [&] { ++fired; });
    std::string failure;
    EXPECT_FALSE(sim::runMainLoopUntil(clock().now() + 1, &failure));
    EXPECT_NE(failure.find("still busy after 5 s: DSDeviceListener, audio unit I/O"), std::string::npos) << failure;
    EXPECT_EQ(fired, 0) << "virtual time did not move";

    release.countDown();
    stuck.join();
    EXPECT_TRUE(ran);
    io.end();
    io2 = ns::PlatformWork("replaced"); // ends what it held
    EXPECT_EQ(ns::PlatformWork::namesInFlight(), (std::vector<std::string>{"replaced"}));
    io2.end();
    loop = nullptr;
    EXPECT_TRUE(sim::runMainLoopUntil(clock().now() + 1, &failure)) << failure;
    EXPECT_EQ(fired, 1);
}

TEST_F(SteppingThreads, ATimerFiredElsewhereStaysScheduledUntilItsWorkHasRun) {
    // In real time the timer thread fires timers: between taking one out and its work reaching the
    // main queue, a run must never see a moment with nothing scheduled.
    const ns::TimeInterval due = clock().now() + 1;
    testkit::Latch entered, release;
    bool ran = false;
    dispatch::detail::TimerManager::shared().schedule(due, 0, [&] {
        entered.countDown();
        EXPECT_TRUE(release.wait());
        dispatch::async(dispatch::Queue::main(), [&] { ran = true; });
    });
    std::thread firer([&] { clock().clock().setNow(due); });
    ASSERT_TRUE(entered.wait());
    EXPECT_EQ(sim::nextTimerDeadline(), due) << "taken out, not yet queued";
    release.countDown();
    firer.join();
    EXPECT_EQ(sim::nextTimerDeadline(), due) << "queued, not yet run";
    EXPECT_TRUE(sim::drainMainQueue());
    EXPECT_TRUE(ran);
    EXPECT_FALSE(sim::nextTimerDeadline());
}

TEST_F(SteppingThreads, CancellingATimerWhoseWorkCancelsAnotherAsItGoesReturns) {
    // A timer's work may hold what cancels other timers when it is let go (a screen's
    // subscriptions): its cancel lets it go outside the manager's lock.
    auto& timers = dispatch::detail::TimerManager::shared();
    const ns::TimeInterval due = clock().now() + 1;
    const auto other = timers.schedule(due, 0, [] {});
    struct CancelsOnRelease {
        dispatch::detail::TimerManager::Id id;
        ~CancelsOnRelease() { dispatch::detail::TimerManager::shared().cancel(id); }
    };
    std::shared_ptr<CancelsOnRelease> holder(new CancelsOnRelease{other});
    const auto first = timers.schedule(due, 0, [holder] {});
    holder.reset();
    testkit::Latch done;
    std::thread canceller([&] {
        EXPECT_TRUE(timers.cancel(first));
        done.countDown();
    });
    const bool returned = done.wait();
    EXPECT_TRUE(returned) << "the cancel deadlocked on its own lock";
    if (returned) canceller.join();
    else canceller.detach();
    EXPECT_FALSE(timers.cancel(other)) << "cancelled as the first one's work went";
    EXPECT_FALSE(sim::nextTimerDeadline());
}

} // namespace
