// Dispatch queues, groups, semaphores, once, timers and timer sources; run loops, run-loop timers,
// operation queues and the condition lock. Nothing here sleeps: virtual time moves through a
// ManualClock and the stepping harness, and waits for worker threads are bounded condition waits.

#include <array>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/condition.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/spin_wait.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/worker_pool.h"
#include "platform/runtime/log.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/run_log.h"

namespace {

using dispatch::Priority;
using dispatch::Queue;
using rt::Ref;

using testkit::RunLog;

// Every test ends with the pool idle, so work in flight has released what it held.
class Substrate : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(testkit::waitForWorkersIdle());
        EXPECT_FALSE(dispatch::nextDeadline().has_value()) << "a timer was left scheduled";
    }
};
using DispatchQueue = Substrate;
using DispatchSync = Substrate;
using DispatchGroup = Substrate;
using DispatchSemaphore = Substrate;
using DispatchOnce = Substrate;
using DispatchAfter = Substrate;
using DispatchTimerSource = Substrate;
using RunLoopTest = Substrate;
using TimerTest = Substrate;
using OperationQueueTest = Substrate;
using ConditionTest = Substrate;

ns::TimeInterval realBound() {
    return dispatch::after(10);
} // on the system clock

TEST_F(DispatchQueue, SerialRunsInOrderWithoutOverlapUnderLoad) {
    auto queue = Queue::serial("test.serial");
    EXPECT_TRUE(queue->isSerial());
    EXPECT_EQ(queue->label(), "test.serial");
    EXPECT_EQ(queue->target(), Queue::global());
    constexpr int kThreads = 8, kPerThread = 400;
    std::array<std::atomic<int>, kThreads> last;
    for (auto& l : last)
        l = -1;
    std::atomic<int> inside{0}, total{0};
    std::atomic<bool> overlap{false}, outOfOrder{false}, wrongContext{false};
    auto group = dispatch::Group::make();
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                group->groupAsync(queue, [&, t, i] {
                    if (inside.fetch_add(1) != 0) overlap = true;
                    if (last[t].load() != i - 1) outOfOrder = true;
                    if (dispatch::currentQueue() != queue || !dispatch::isRunningOn(Queue::global()) ||
                        dispatch::isRunningOn(Queue::main())) {
                        wrongContext = true;
                    }
                    last[t] = i;
                    ++total;
                    inside.fetch_sub(1);
                });
            }
        });
    }
    for (auto& p : producers)
        p.join();
    ASSERT_TRUE(group->wait(realBound()));
    EXPECT_EQ(total, kThreads * kPerThread);
    EXPECT_FALSE(overlap);
    EXPECT_FALSE(outOfOrder);
    EXPECT_FALSE(wrongContext);
    EXPECT_EQ(dispatch::currentQueue(), nullptr);
}

TEST_F(DispatchQueue, GlobalQueuesTakeHigherPriorityWorkFirst) {
    EXPECT_EQ(Queue::global()->label(), "com.quarnotix.root.default-priority");
    EXPECT_EQ(Queue::main()->label(), "com.quarnotix.main-thread");
    EXPECT_FALSE(Queue::global(Priority::High)->isSerial());
    EXPECT_NE(Queue::global(Priority::High), Queue::global(Priority::Low));

    auto& pool = dispatch::detail::WorkerPool::shared();
    int previous = pool.setLimit(1); // one job at a time, so the order work is taken in shows
    auto gate = dispatch::Semaphore::make(0), started = dispatch::Semaphore::make(0);
    dispatch::async(Queue::global(Priority::Low), [&] {
        started->signal();
        gate->wait();
    });
    ASSERT_TRUE(started->wait(realBound()));
    RunLog order;
    dispatch::async(Queue::global(Priority::Background), order.note("background"));
    dispatch::async(Queue::global(Priority::Low), order.note("low"));
    dispatch::async(Queue::global(Priority::Default), order.note("default"));
    dispatch::async(Queue::global(Priority::High), order.note("high"));
    dispatch::async(Queue::global(Priority::High), order.note("high-2"));
    gate->signal();
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    pool.setLimit(previous);
    EXPECT_EQ(order.names(), (std::vector<std::string>{"high", "high-2", "default", "low", "background"}));
}

// A serial queue's drain carries on on its worker only while nothing else waits for the pool: with
// another queue's drain queued behind it, the two take turns of 64 blocks.
TEST_F(DispatchQueue, SerialQueuesTakeTurnsOnTheWorkerWhileOtherWorkWaits) {
    auto& pool = dispatch::detail::WorkerPool::shared();
    int previous = pool.setLimit(1); // one job at a time: both drains wait behind the gate
    auto gate = dispatch::Semaphore::make(0), started = dispatch::Semaphore::make(0);
    dispatch::async(Queue::global(), [&] {
        started->signal();
        gate->wait();
    });
    ASSERT_TRUE(started->wait(realBound()));
    auto a = Queue::serial("test.turns-a"), b = Queue::serial("test.turns-b");
    std::string order; // one job at a time: no two blocks touch it at once
    for (int i = 0; i < 130; ++i) {
        dispatch::async(a, [&] { order += 'a'; });
        dispatch::async(b, [&] { order += 'b'; });
    }
    gate->signal();
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    pool.setLimit(previous);
    const std::string a64(64, 'a'), b64(64, 'b');
    EXPECT_EQ(order, a64 + b64 + a64 + b64 + "aabb");
}

// The lock taken after a few tries still excludes: threads taking it that way and the usual way at
// once never lose an update.
TEST_F(DispatchQueue, ALockTakenAfterAFewTriesStillExcludes) {
    std::mutex m;
    long counter = 0; // guarded by m
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20000; ++i) {
                std::unique_lock g(m, std::defer_lock);
                if (t % 2 == 0)
                    dispatch::detail::lockAfterSpin(g);
                else
                    g.lock();
                ASSERT_TRUE(g.owns_lock());
                ++counter;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 4 * 20000);
}

// One job at a time handed between a plain thread and the pool, and the same from several threads
// at once: each job is taken, whether a worker is parked or still looking for work when it comes.
TEST_F(DispatchQueue, JobsHandedOneAtATimeAreEachTaken) {
    for (int producers : {1, 4}) {
        SCOPED_TRACE(producers);
        std::atomic<int> ran{0};
        std::atomic<bool> lost{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < producers; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 2000 && !lost; ++i) {
                    auto done = dispatch::Semaphore::make(0);
                    dispatch::async(Queue::global(), [&ran, done] {
                        ++ran;
                        done->signal();
                    });
                    if (!done->wait(realBound())) lost = true;
                }
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_FALSE(lost);
        EXPECT_EQ(ran.load(), producers * 2000);
    }
}

// The same between serial queues sharing a serial target: the turn passes at 64 blocks as long as
// the other queue's drain waits on the target.
TEST_F(DispatchQueue, SerialQueuesOnOneSerialTargetTakeTurns) {
    auto target = Queue::serial("test.shared-target");
    auto a = Queue::serial("test.turns-a", target), b = Queue::serial("test.turns-b", target);
    std::string order; // serialised by the target
    target->suspend();
    for (int i = 0; i < 130; ++i) {
        dispatch::async(a, [&] { order += 'a'; });
        dispatch::async(b, [&] { order += 'b'; });
    }
    target->resume();
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    const std::string a64(64, 'a'), b64(64, 'b');
    EXPECT_EQ(order, a64 + b64 + a64 + b64 + "aabb");
}

TEST_F(DispatchQueue, SerialQueueTargetingMainRunsOnTheMainThreadThroughTheDrain) {
    auto onMain = Queue::serial("test.on-main", Queue::main());
    auto inner = Queue::serial("test.inner", onMain);
    RunLog order;
    std::atomic<bool> wrongContext{false};
    dispatch::async(onMain, [&] {
        if (!ns::Thread::isMainThread() || !dispatch::isRunningOn(Queue::main()) ||
            dispatch::currentQueue() != onMain) {
            wrongContext = true;
        }
        order.add("a1");
    });
    dispatch::async(Queue::main(), order.note("m"));
    dispatch::async(onMain, order.note("a2"));
    dispatch::async(inner, [&] {
        if (!ns::Thread::isMainThread() || !dispatch::isRunningOn(onMain) ||
            dispatch::currentQueue() != inner) {
            wrongContext = true;
        }
        order.add("i");
    });
    EXPECT_TRUE(order.names().empty()); // only the main run loop drains the main queue
    testkit::drainMainQueue();
    EXPECT_EQ(order.names(), (std::vector<std::string>{"a1", "m", "a2", "i"}));
    EXPECT_FALSE(wrongContext);
}

TEST_F(DispatchQueue, SuspendedSerialQueueHoldsItsBlocksUntilResumed) {
    auto onMain = Queue::serial("test.on-main", Queue::main());
    RunLog order;
    onMain->suspend();
    dispatch::async(onMain, order.note("held"));
    testkit::drainMainQueue();
    EXPECT_EQ(order.names().size(), 0u);
    onMain->resume();
    testkit::drainMainQueue();
    EXPECT_EQ(order.names().back(), "held");
}

TEST_F(DispatchQueue, ATargetThatWouldMakeACycleIsRefused) {
    auto onMain = Queue::serial("test.on-main", Queue::main());
    auto inner = Queue::serial("test.inner", onMain);
    ns::CapturedLog log;
    inner->setTarget(inner); // a cycle
    onMain->setTarget(inner);
    EXPECT_EQ(inner->target(), onMain);
    EXPECT_EQ(onMain->target(), Queue::main());
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST_F(DispatchQueue, ConcurrentQueueHoldsItsBlocksWhileSuspended) {
    auto queue = Queue::concurrent("test.concurrent");
    EXPECT_FALSE(queue->isSerial());
    std::atomic<int> ran{0};
    std::atomic<bool> wrongContext{false};
    queue->suspend();
    for (int i = 0; i < 3; ++i) {
        dispatch::async(queue, [&] {
            if (dispatch::currentQueue() != queue || !dispatch::isRunningOn(Queue::global()))
                wrongContext = true;
            ++ran;
        });
    }
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(ran, 0);
    queue->resume();
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(ran, 3);
    EXPECT_FALSE(wrongContext);
}

TEST_F(DispatchQueue, AnUnbalancedResumeIsLoggedAndIgnored) {
    auto queue = Queue::concurrent("test.concurrent");
    ns::CapturedLog log;
    queue->resume(); // unbalanced
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST_F(DispatchSync, OntoTheMainQueueFromTheMainThreadRunsInlineAndWarns) {
    ns::CapturedLog log;
    bool ranOnMain = false;
    dispatch::sync(Queue::main(), [&] { ranOnMain = dispatch::isRunningOn(Queue::main()); });
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST_F(DispatchSync, OntoTheQueueItIsRunningRunsInlineAndWarns) {
    ns::CapturedLog log;
    auto queue = Queue::serial("test.sync");
    std::thread::id ranOn;
    bool nestedRan = false;
    dispatch::sync(queue, [&] {
        ranOn = std::this_thread::get_id();
        dispatch::sync(queue, [&] { nestedRan = true; }); // onto the queue it is running: inline
    });
    EXPECT_EQ(ranOn, std::this_thread::get_id()); // the queue was idle: the caller ran its block
    EXPECT_TRUE(nestedRan);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("test.sync"), std::string::npos);
}

TEST_F(DispatchSync, OntoABusySerialQueueWaitsItsTurnAndWhatQueuesBehindAnInlineBlockRunsAfterIt) {
    auto queue = Queue::serial("test.sync");
    std::mutex orderLock;
    std::vector<int> order;
    auto note = [&](int n) {
        std::lock_guard g(orderLock);
        order.push_back(n);
    };
    // Busy: the first block holds the queue until the test lets it go.
    std::atomic<bool> release{false};
    testkit::Latch started;
    dispatch::async(queue, [&] {
        started.countDown();
        while (!release) std::this_thread::yield();
        note(1);
    });
    ASSERT_TRUE(started.wait());
    std::thread::id ranOn;
    std::thread waiter([&] {
        dispatch::sync(queue, [&] {
            ranOn = std::this_thread::get_id();
            note(2);
        });
    });
    release = true;
    waiter.join();
    EXPECT_NE(ranOn, std::thread::id()); // ran after the busy block, wherever the queue ran it

    // Idle: the caller runs the block, and a block queued from inside it runs after it.
    testkit::Latch queuedRan;
    dispatch::sync(queue, [&] {
        EXPECT_TRUE(dispatch::isRunningOn(queue));
        dispatch::async(queue, [&] {
            note(4);
            queuedRan.countDown();
        });
        note(3);
    });
    ASSERT_TRUE(queuedRan.wait());
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(testkit::waitForWorkersIdle());
}

TEST_F(DispatchSync, TheQueueGoesOnAfterABlockThrew) {
    auto queue = Queue::serial("test.sync");
    EXPECT_THROW(dispatch::sync(queue, [] { throw std::runtime_error("thrown on the queue"); }),
                 std::runtime_error);
    int after = 0;
    dispatch::sync(queue, [&] { after = 1; }); // the queue goes on after a block threw
    EXPECT_EQ(after, 1);
}

TEST_F(DispatchSync, FromAWorkerOntoTheMainQueueRunsInTheMainRunLoopWithoutAWarning) {
    ns::CapturedLog log;
    std::atomic<bool> onMainThread{false}, done{false};
    dispatch::async(Queue::global(), [&] {
        dispatch::sync(Queue::main(), [&] { onMainThread = ns::Thread::isMainThread(); });
        done = true;
    });
    auto limit = ns::Date::withTimeIntervalSinceReferenceDate(realBound());
    while (!done && dispatch::now() < limit->timeIntervalSinceReferenceDate()) {
        ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, limit);
        if (onMainThread) break;
    }
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(log.lines().size(), 0u);
}

TEST_F(DispatchGroup, NotifiesAndWaitsOnceAllItsWorkIsDone) {
    auto group = dispatch::Group::make();
    std::atomic<int> done{0};
    for (int i = 0; i < 20; ++i)
        group->groupAsync(Queue::global(), [&] { ++done; });
    int seenByNotify = -1, notifies = 0;
    group->notify(Queue::main(), [&] {
        seenByNotify = done;
        ++notifies;
    });
    ASSERT_TRUE(group->wait(realBound()));
    EXPECT_EQ(done, 20);
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(notifies, 0);
    testkit::drainMainQueue();
    EXPECT_EQ(notifies, 1);
    EXPECT_EQ(seenByNotify, 20);
}

TEST_F(DispatchGroup, NotifyOnAnEmptyGroupIsSubmittedAtOnce) {
    auto group = dispatch::Group::make();
    int notifies = 0;
    group->notify(Queue::main(), [&] { ++notifies; });
    testkit::drainMainQueue();
    EXPECT_EQ(notifies, 1);
}

TEST_F(DispatchGroup, AStrayLeaveIsLoggedAndIgnored) {
    auto group = dispatch::Group::make();
    ns::CapturedLog log;
    group->leave();
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(group->wait(dispatch::now())); // empty despite the stray leave
}

TEST_F(DispatchGroup, WaitTimesOutOnTheInstalledClock) {
    auto group = dispatch::Group::make();
    ns::ScopedManualClock clock;
    group->enter();
    dispatch::Time deadline = dispatch::after(1);
    bool result = true;
    std::thread waiter([&] { result = group->wait(deadline); });
    clock.advance(2);
    waiter.join();
    EXPECT_FALSE(result);
    group->leave();
    EXPECT_TRUE(group->wait(dispatch::after(1)));
}

TEST_F(DispatchSemaphore, CountsAndFailsAtOnceWhenTheDeadlineHasPassed) {
    EXPECT_EQ(dispatch::Semaphore::make(-1), nullptr);
    auto sem = dispatch::Semaphore::make(2);
    EXPECT_TRUE(sem->wait());
    EXPECT_TRUE(sem->wait(dispatch::after(1)));
    EXPECT_FALSE(sem->wait(dispatch::now())); // empty, and the deadline has passed
    EXPECT_FALSE(sem->signal());              // nobody waiting: counted
    EXPECT_TRUE(sem->wait(dispatch::now()));
}

TEST_F(DispatchSemaphore, AParkedWaitTimesOutWhenTheInstalledClockPassesItsDeadline) {
    auto sem = dispatch::Semaphore::make(0);
    ns::ScopedManualClock clock;
    ns::TimeInterval t0 = clock.now();
    std::atomic<int> result{-1};
    dispatch::async(Queue::global(), [&] { result = sem->wait(dispatch::after(3)) ? 1 : 0; });
    testkit::runMainLoopFor(2); // the worker is parked: the pool counts as settled
    EXPECT_EQ(result, -1);
    ASSERT_TRUE(dispatch::nextDeadline().has_value());
    EXPECT_EQ(*dispatch::nextDeadline(), t0 + 3);
    testkit::runMainLoopFor(2);
    EXPECT_EQ(result, 0); // timed out when the clock passed the deadline
    EXPECT_EQ(clock.now(), t0 + 4);
}

TEST_F(DispatchSemaphore, ASignalIsHandedStraightToAParkedWaiter) {
    auto sem = dispatch::Semaphore::make(0);
    ns::ScopedManualClock clock;
    std::atomic<int> result{-1};
    dispatch::async(Queue::global(), [&] { result = sem->wait(dispatch::after(10)) ? 1 : 0; });
    testkit::runMainLoopFor(1);
    EXPECT_TRUE(sem->signal()); // handed straight to the parked worker
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(result, 1);
}

TEST_F(DispatchOnce, RunsOnceUnderSixteenThreads) {
    dispatch::OnceFlag flag;
    std::atomic<int> calls{0}, ready{0}, sawValue{0};
    std::atomic<int> value{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 16; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < 16)
                std::this_thread::yield();
            dispatch::once(flag, [&] {
                ++calls;
                value = 42;
            });
            if (value.load() == 42) ++sawValue;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(sawValue, 16);
}

TEST_F(DispatchAfter, FiresInDeadlineOrderAndInterleavesWithAsync) {
    ns::ScopedManualClock clock;
    ns::TimeInterval t0 = clock.now();
    RunLog rec(t0);
    const auto& main = Queue::main();
    dispatch::asyncAfter(t0 + 3, main, rec.note("c"));
    dispatch::asyncAfter(t0 + 1, main, [&] {
        rec.add("a1");
        dispatch::async(main, rec.note("a1-next"));
        dispatch::asyncAfter(dispatch::after(0.5), main, rec.note("x"));
    });
    dispatch::asyncAfter(t0 + 1, main, rec.note("a2"));
    auto source = dispatch::TimerSource::make(main);
    source->setEventHandler(rec.note("s"));
    source->setTimer(t0 + 2, 0, 0);
    source->resume();
    dispatch::asyncAfter(t0 + 2.5, Queue::global(), [&] { dispatch::async(main, rec.note("from-worker")); });
    dispatch::async(main, rec.note("p"));
    dispatch::asyncAfter(t0 - 1, main, rec.note("past")); // already due: enqueued at once
    ASSERT_TRUE(dispatch::nextDeadline().has_value());
    EXPECT_EQ(*dispatch::nextDeadline(), t0 + 1);
    EXPECT_TRUE(rec.names().empty());

    testkit::runMainLoopUntil(t0 + 5);
    EXPECT_EQ(rec.names(),
              (std::vector<std::string>{"p", "past", "a1", "a2", "a1-next", "x", "s", "from-worker", "c"}));
    EXPECT_EQ(rec.times(), (std::vector<double>{0, 0, 1, 1, 1, 1.5, 2, 2.5, 3}));
    EXPECT_EQ(clock.now(), t0 + 5);
    source->cancel();
}

TEST_F(DispatchAfter, FollowsWhicheverManualClockIsInstalled) {
    RunLog rec;
    ns::ScopedManualClock outer;
    ns::TimeInterval t0 = outer.now();
    dispatch::asyncAfter(t0 + 1, Queue::main(), rec.note("outer"));
    {
        ns::ScopedManualClock inner(t0 - 50);
        dispatch::asyncAfter(inner.now() + 1, Queue::main(), rec.note("inner"));
        inner.advance(1);
        outer.advance(1); // not installed: moves nothing
        testkit::drainMainQueue();
        EXPECT_EQ(rec.names(), std::vector<std::string>{"inner"});
    }
    // Put back, the outer clock is already past its deadline: the install fires it.
    testkit::drainMainQueue();
    EXPECT_EQ(rec.names(), (std::vector<std::string>{"inner", "outer"}));
}

TEST_F(DispatchAfter, OnTheSystemClockTheTimerThreadFiresIt) {
    auto sem = dispatch::Semaphore::make(0);
    dispatch::Time start = dispatch::now();
    std::atomic<double> firedAt{0};
    dispatch::asyncAfter(dispatch::after(0.02), Queue::global(), [&] {
        firedAt = dispatch::now();
        sem->signal();
    });
    ASSERT_TRUE(sem->wait(realBound()));
    EXPECT_GE(firedAt - start, 0.02);
}

TEST_F(DispatchTimerSource, RepeatsWithoutMergingFiresAndStopsWhenCancelled) {
    ns::ScopedManualClock clock;
    ns::TimeInterval t0 = clock.now();
    RunLog rec(t0);
    int cancels = 0;
    auto source = dispatch::TimerSource::make(Queue::main());
    source->setEventHandler(rec.note("tick"));
    source->setCancelHandler([&] { ++cancels; });
    source->setTimer(t0 + 1, 1, 0);
    testkit::runMainLoopFor(1.5);
    EXPECT_TRUE(rec.names().empty()); // nothing until resumed

    source->setTimer(clock.now() + 1, 1, 0);
    source->resume();
    testkit::runMainLoopFor(3.5);
    EXPECT_EQ(rec.times(), (std::vector<double>{2.5, 3.5, 4.5}));

    clock.advance(2); // two fires due at once: two handlers enqueued, not merged
    EXPECT_EQ(rec.names().size(), 3u);
    testkit::drainMainQueue();
    EXPECT_EQ(rec.times().size(), 5u);

    clock.advance(2); // two more enqueued...
    source->cancel(); // ...and cancelled before they start
    EXPECT_TRUE(source->isCancelled());
    testkit::runMainLoopFor(5);
    EXPECT_EQ(rec.times().size(), 5u);
    EXPECT_EQ(cancels, 1);
    source->cancel();
    testkit::drainMainQueue();
    EXPECT_EQ(cancels, 1);
}

TEST_F(DispatchTimerSource, WithoutAnIntervalFiresOnce) {
    ns::ScopedManualClock clock;
    auto oneShot = dispatch::TimerSource::make(Queue::global());
    std::atomic<int> shots{0};
    oneShot->setEventHandler([&] { ++shots; });
    oneShot->setTimer(dispatch::after(1), 0, 0);
    oneShot->resume();
    testkit::runMainLoopFor(3);
    EXPECT_EQ(shots, 1);
    oneShot->cancel();
}

TEST_F(RunLoopTest, BackgroundThreadRunsPerformedBlocksUntilStopped) {
    EXPECT_EQ(ns::RunLoop::current(), ns::RunLoop::main());
    Ref<ns::RunLoop> loop;
    auto ready = dispatch::Semaphore::make(0);
    std::vector<int> order;
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread thread([&] {
        loop = ns::RunLoop::current();
        EXPECT_FALSE(ns::Thread::isMainThread());
        EXPECT_NE(loop, ns::RunLoop::main());
        EXPECT_EQ(ns::RunLoop::current(), loop);
        ready->signal();
        loop->run();
        returned = true;
    });
    ASSERT_TRUE(ready->wait(realBound()));
    loop->performBlock([&] {
        ranOn = std::this_thread::get_id();
        order.push_back(1);
    });
    loop->performBlock([&] {
        order.push_back(2);
        loop->stop();
    });
    std::thread::id threadId = thread.get_id();
    thread.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, threadId);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    loop = nullptr;
}

TEST_F(RunLoopTest, AStopWithNoRunInProgressMakesTheNextRunReturnAtOnce) {
    ns::RunLoop::main()->stop();
    ns::RunLoop::main()->run();
}

TEST_F(RunLoopTest, RunModeHandlesWhatIsPendingOrReturnsAtAPastLimit) {
    const auto& main = ns::RunLoop::main();
    int ran = 0;
    main->performBlock([&] { ++ran; });
    EXPECT_TRUE(main->runMode(ns::DefaultRunLoopMode, ns::Date::distantPast()));
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(main->runMode(ns::DefaultRunLoopMode, ns::Date::distantPast()));
}

TEST_F(RunLoopTest, RunModeWaitsForTheLimitOnTheInstalledClock) {
    ns::ScopedManualClock clock;
    auto limit = ns::Date::withTimeIntervalSinceReferenceDate(clock.now() + 2);
    std::atomic<int> result{-1};
    std::thread thread(
        [&] { result = ns::RunLoop::current()->runMode(ns::DefaultRunLoopMode, limit) ? 1 : 0; });
    clock.advance(3); // the limit passes on the virtual clock: the run returns, nothing handled
    thread.join();
    EXPECT_EQ(result, 0);
}

TEST_F(RunLoopTest, ABlockPerformedFromAnotherThreadWakesARunWaitingOnAFarLimit) {
    std::atomic<int> result{-1};
    Ref<ns::RunLoop> loop;
    auto ready = dispatch::Semaphore::make(0);
    std::thread worker([&] {
        loop = ns::RunLoop::current();
        ready->signal();
        result = loop->runMode(ns::DefaultRunLoopMode, ns::Date::distantFuture()) ? 1 : 0;
    });
    ASSERT_TRUE(ready->wait());
    loop->performBlock([] {});
    worker.join();
    EXPECT_EQ(result, 1);
    loop = nullptr;
}

TEST_F(TimerTest, RepeatingTimerTicksSkipsMissedDatesAndStopsWhenInvalidated) {
    ns::ScopedManualClock clock;
    ns::TimeInterval t0 = clock.now();
    RunLog rec(t0);
    auto timer =
        ns::Timer::scheduledTimerWithTimeInterval(1, true, [&](const Ref<ns::Timer>&) { rec.add("tick"); });
    EXPECT_TRUE(timer->isValid());
    EXPECT_EQ(timer->timeInterval(), 1);
    EXPECT_EQ(timer->fireDate()->timeIntervalSinceReferenceDate(), t0 + 1);

    testkit::runMainLoopFor(3.5);
    EXPECT_EQ(rec.times(), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(timer->fireDate()->timeIntervalSinceReferenceDate(), t0 + 4);

    clock.advance(2.7); // late by more than an interval: one fire, the missed date is skipped
    testkit::drainMainQueue();
    EXPECT_EQ(rec.times().size(), 4u);
    EXPECT_EQ(timer->fireDate()->timeIntervalSinceReferenceDate(), t0 + 7);

    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    testkit::runMainLoopFor(5);
    EXPECT_EQ(rec.times().size(), 4u);
}

TEST_F(TimerTest, OneShotTimersAndDelayedPerformsFireOnceUnlessInvalidated) {
    ns::ScopedManualClock clock;
    RunLog rec(clock.now());
    int selfStopped = 0;
    ns::Timer::scheduledTimerWithTimeInterval(1, true, [&](const Ref<ns::Timer>& t) {
        if (++selfStopped == 2) t->invalidate();
    });
    auto once = ns::Timer::scheduledTimerWithTimeInterval(0.5, false,
                                                          [&](const Ref<ns::Timer>&) { rec.add("once"); });
    EXPECT_EQ(once->timeInterval(), 0);
    bool delayedRan = false;
    auto calledOff = ns::performAfterDelay(1, [&] { delayedRan = true; });
    ns::performAfterDelay(1.5, rec.note("delayed"));
    calledOff->invalidate();
    testkit::runMainLoopFor(5);
    EXPECT_EQ(selfStopped, 2);
    EXPECT_FALSE(once->isValid());
    EXPECT_FALSE(delayedRan);
    auto names = rec.names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "once");
    EXPECT_EQ(names[1], "delayed");
    EXPECT_NEAR(rec.times()[0], 0.5, 1e-6); // scheduled at 0
    EXPECT_NEAR(rec.times()[1], 1.5, 1e-6);
}

TEST_F(OperationQueueTest, OperationsCancelledWhileSuspendedNeverRun) {
    EXPECT_EQ(ns::OperationQueue::currentQueue(), ns::OperationQueue::mainQueue());
    auto queue = ns::OperationQueue::make();
    queue->setName("test.operations");
    EXPECT_EQ(queue->name(), "test.operations");
    std::atomic<int> ran{0};
    queue->setSuspended(true);
    for (int i = 0; i < 3; ++i)
        queue->addOperationWithBlock([&] { ++ran; });
    EXPECT_EQ(queue->operationCount(), 3u);
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(ran, 0);
    queue->cancelAllOperations();
    EXPECT_EQ(queue->operationCount(), 0u);
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 0); // cancelled before they started: never run
}

TEST_F(OperationQueueTest, WithALimitOfOneOperationsRunInOrderOneAtATime) {
    auto queue = ns::OperationQueue::make();
    queue->setMaxConcurrentOperationCount(1);
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false}, wrongContext{false};
    for (int i = 0; i < 50; ++i) {
        queue->addOperationWithBlock([&, i] {
            if (inside.fetch_add(1) != 0) overlap = true;
            if (ns::OperationQueue::currentQueue() != queue || ns::Thread::isMainThread())
                wrongContext = true;
            order.push_back(i);
            inside.fetch_sub(1);
        });
    }
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue->operationCount(), 0u);
    EXPECT_FALSE(overlap);
    EXPECT_FALSE(wrongContext);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

// An operation that finishes while the next one waits, with nothing else queued for the pool,
// runs the next one on its own worker; the order and the limit hold.
TEST_F(OperationQueueTest, TheNextOperationRunsOnTheSameWorkerWhileNothingElseWaits) {
    auto queue = ns::OperationQueue::make();
    queue->setMaxConcurrentOperationCount(1);
    auto gate = dispatch::Semaphore::make(0), started = dispatch::Semaphore::make(0);
    std::vector<std::thread::id> threads;
    std::vector<int> order;
    queue->addOperationWithBlock([&] {
        threads.push_back(std::this_thread::get_id());
        order.push_back(0);
        started->signal();
        gate->wait();
    });
    ASSERT_TRUE(started->wait(realBound()));
    for (int i = 1; i < 20; ++i) {
        queue->addOperationWithBlock([&, i] {
            threads.push_back(std::this_thread::get_id());
            order.push_back(i);
        });
    }
    EXPECT_EQ(queue->operationCount(), 20u);
    gate->signal();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue->operationCount(), 0u);
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(order[i], i);
        EXPECT_EQ(threads[i], threads[0]) << "operation " << i;
    }
}

// With other work queued for the pool the next operation goes back to the pool behind it.
TEST_F(OperationQueueTest, TheNextOperationWaitsItsTurnWhenOtherWorkIsQueued) {
    auto& pool = dispatch::detail::WorkerPool::shared();
    int previous = pool.setLimit(1); // one job at a time, so the order work is taken in shows
    auto queue = ns::OperationQueue::make();
    queue->setMaxConcurrentOperationCount(1);
    auto gate = dispatch::Semaphore::make(0), started = dispatch::Semaphore::make(0);
    RunLog order;
    queue->addOperationWithBlock([&] {
        order.note("first")();
        started->signal();
        gate->wait();
    });
    ASSERT_TRUE(started->wait(realBound()));
    queue->addOperationWithBlock(order.note("second"));
    dispatch::async(Queue::global(), order.note("other"));
    gate->signal();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    pool.setLimit(previous);
    EXPECT_EQ(order.names(), (std::vector<std::string>{"first", "other", "second"}));
}

// Suspending or cancelling while an operation runs holds back, or drops, the ones behind it.
TEST_F(OperationQueueTest, SuspendAndCancelWhileAnOperationRunsReachTheOnesBehindIt) {
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "suspend");
        auto queue = ns::OperationQueue::make();
        queue->setMaxConcurrentOperationCount(1);
        auto gate = dispatch::Semaphore::make(0), started = dispatch::Semaphore::make(0);
        std::atomic<int> ran{0};
        queue->addOperationWithBlock([&] {
            ++ran;
            started->signal();
            gate->wait();
        });
        ASSERT_TRUE(started->wait(realBound()));
        for (int i = 0; i < 3; ++i)
            queue->addOperationWithBlock([&] { ++ran; });
        if (cancel)
            queue->cancelAllOperations();
        else
            queue->setSuspended(true);
        gate->signal();
        EXPECT_TRUE(testkit::waitForWorkersIdle());
        EXPECT_EQ(ran.load(), 1);
        EXPECT_EQ(queue->operationCount(), cancel ? 0u : 3u);
        queue->setSuspended(false);
        queue->waitUntilAllOperationsAreFinished();
        EXPECT_EQ(ran.load(), cancel ? 1 : 4);
    }
}

// Several threads adding at once: each thread's operations run in the order it added them, never
// more at once than the limit, and every one runs.
TEST_F(OperationQueueTest, OperationsAddedFromSeveralThreadsKeepTheLimitAndEachThreadsOrder) {
    for (long limit : {1L, 2L}) {
        SCOPED_TRACE(limit);
        auto queue = ns::OperationQueue::make();
        queue->setMaxConcurrentOperationCount(limit);
        constexpr int kThreads = 4, kEach = 300;
        std::atomic<int> inside{0}, most{0}, ran{0};
        std::mutex lock;
        std::array<std::vector<int>, kThreads> seen;
        std::vector<std::thread> producers;
        for (int t = 0; t < kThreads; ++t) {
            producers.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i) {
                    queue->addOperationWithBlock([&, t, i] {
                        int now = inside.fetch_add(1) + 1;
                        for (int m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
                        }
                        {
                            std::lock_guard g(lock);
                            seen[t].push_back(i);
                        }
                        ++ran;
                        inside.fetch_sub(1);
                    });
                }
            });
        }
        for (auto& p : producers)
            p.join();
        queue->waitUntilAllOperationsAreFinished();
        EXPECT_EQ(ran.load(), kThreads * kEach);
        EXPECT_LE(most.load(), limit);
        if (limit == 1) {
            for (auto& s : seen) {
                ASSERT_EQ(s.size(), std::size_t(kEach));
                for (int i = 0; i < kEach; ++i)
                    ASSERT_EQ(s[i], i);
            }
        }
    }
}

TEST_F(OperationQueueTest, TheMainQueueRunsItsOperationsOnTheMainThreadThroughTheDrain) {
    bool onMain = false;
    ns::OperationQueue::mainQueue()->addOperationWithBlock([&] {
        onMain = ns::Thread::isMainThread() &&
                 ns::OperationQueue::currentQueue() == ns::OperationQueue::mainQueue();
    });
    EXPECT_FALSE(onMain);
    testkit::drainMainQueue();
    EXPECT_TRUE(onMain);
}

TEST_F(OperationQueueTest, APlainThreadHasNoCurrentQueue) {
    Ref<ns::OperationQueue> fromThread = ns::OperationQueue::mainQueue();
    std::thread([&] { fromThread = ns::OperationQueue::currentQueue(); }).join();
    EXPECT_EQ(fromThread, nullptr);
}

TEST_F(ConditionTest, SignalWakesAWaitingConsumer) {
    ns::Condition condition;
    std::vector<int> items;
    bool finished = false;
    int consumed = 0;
    std::thread consumer([&] {
        condition.lock();
        for (;;) {
            while (items.empty() && !finished)
                condition.wait();
            if (items.empty()) break;
            consumed += items.back();
            items.pop_back();
        }
        condition.unlock();
    });
    for (int i = 1; i <= 100; ++i) {
        condition.lock();
        items.push_back(i);
        condition.signal();
        condition.unlock();
    }
    condition.lock();
    finished = true;
    condition.signal();
    condition.unlock();
    consumer.join();
    EXPECT_EQ(consumed, 5050);
}

TEST_F(ConditionTest, BroadcastWakesEveryWaiter) {
    ns::Condition condition;
    bool go = false;
    std::atomic<int> woke{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            condition.lock();
            while (!go)
                condition.wait();
            condition.unlock();
            ++woke;
        });
    }
    condition.lock();
    go = true;
    condition.broadcast();
    condition.unlock();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(woke, 4);
}

TEST_F(ConditionTest, AWaitUntilADateTimesOutOnTheInstalledClock) {
    ns::Condition condition;
    ns::ScopedManualClock clock;
    auto limit = ns::Date::withTimeIntervalSinceReferenceDate(clock.now() + 2);
    std::atomic<int> result{-1};
    std::thread timed([&] {
        condition.lock();
        result = condition.waitUntilDate(limit) ? 1 : 0;
        condition.unlock();
    });
    clock.advance(3);
    timed.join();
    EXPECT_EQ(result, 0);
}

} // namespace
