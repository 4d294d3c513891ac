#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/date.h"
#include "platform/runtime/class.h"
#include "streams/scheduler.h"
#include "streams/test_scheduler.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using es::Scheduler;
using rt::Ref;

using testkit::Latch;

const std::string kPrefix = es::kReverseDomainPrefix;

TEST(Scheduler, NamesAndDescriptions) {
    EXPECT_EQ(Scheduler::mainThreadScheduler()->name(), kPrefix + ".ESScheduler.mainThreadScheduler");
    EXPECT_EQ(Scheduler::immediateScheduler()->name(), kPrefix + ".ESScheduler.immediateScheduler");
    EXPECT_EQ(Scheduler::subscriptionScheduler()->name(), kPrefix + ".ESScheduler.subscriptionScheduler");
    auto background = Scheduler::scheduler();
    EXPECT_EQ(background->name(), kPrefix + ".ESScheduler.backgroundScheduler");
    EXPECT_NE(background, Scheduler::scheduler()); // a new one each time
    auto target = es::TargetQueueScheduler::withNameTargetQueue("", dispatch::Queue::main());
    EXPECT_EQ(target->name(), kPrefix + ".ESTargetQueueScheduler(" + dispatch::Queue::main()->label() + ")");
    EXPECT_EQ(target->queue()->label(), target->name());
    auto test = rt::make<es::TestScheduler>();
    EXPECT_EQ(test->name(), kPrefix + ".ESTestScheduler");
    std::string d = test->description();
    EXPECT_EQ(d.rfind("<ESTestScheduler: 0x", 0), 0u) << d;
    EXPECT_NE(d.find("> " + kPrefix + ".ESTestScheduler"), std::string::npos) << d;
}

TEST(MainThreadScheduler, RunsLaterInOrderAndCancels) {
    std::string order;
    auto scheduler = Scheduler::mainThreadScheduler();
    scheduler->schedule([&] { order += 'a'; });
    auto cancelled = scheduler->schedule([&] { order += 'x'; });
    scheduler->schedule([&] {
        order += 'b';
        scheduler->schedule([&] { order += 'd'; }); // queued behind c
    });
    scheduler->schedule([&] { order += 'c'; });
    cancelled->dispose();
    EXPECT_EQ(order, ""); // schedule returned before anything ran
    testkit::drainMainQueue();
    EXPECT_EQ(order, "abcd");
    EXPECT_TRUE(cancelled->isDisposed());
}

TEST(CurrentScheduler, OnTheMainThreadOutsideAnyWorkIsTheMainThreadScheduler) {
    EXPECT_EQ(Scheduler::currentScheduler(), Scheduler::mainThreadScheduler());
}

TEST(CurrentScheduler, OnAPlainThreadIsNil) {
    Ref<Scheduler> onPlainThread = Scheduler::mainThreadScheduler();
    std::thread([&] { onPlainThread = Scheduler::currentScheduler(); }).join();
    EXPECT_FALSE(onPlainThread);
}

TEST(CurrentScheduler, InsideBackgroundWorkIsThatScheduler) {
    auto background = Scheduler::scheduler();
    Ref<Scheduler> inside;
    Latch done(1);
    background->schedule([&] {
        inside = Scheduler::currentScheduler();
        done.countDown();
    });
    ASSERT_TRUE(done.wait());
    EXPECT_EQ(inside, background);
    inside = nullptr;
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(CurrentScheduler, InsideMainThreadSchedulerWorkIsTheMainThreadScheduler) {
    Ref<Scheduler> inMain;
    Scheduler::mainThreadScheduler()->schedule([&] { inMain = Scheduler::currentScheduler(); });
    testkit::drainMainQueue();
    EXPECT_EQ(inMain, Scheduler::mainThreadScheduler());
}

TEST(BackgroundScheduler, BlocksOfOneSchedulerNeverOverlap) {
    auto scheduler = Scheduler::scheduler();
    constexpr int kProducers = 8, kPerProducer = 2000;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int counter = 0; // unguarded on purpose: only serial execution keeps it exact
    Latch done(kProducers * kPerProducer);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&] {
            for (int i = 0; i < kPerProducer; ++i)
                scheduler->schedule([&] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    ++counter;
                    inside.fetch_sub(1);
                    done.countDown();
                });
        });
    for (auto& t : producers) t.join();
    ASSERT_TRUE(done.wait());
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(counter, kProducers * kPerProducer);
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(SubscriptionScheduler, InlineWithACurrentScheduler) {
    auto subscription = Scheduler::subscriptionScheduler();
    bool ran = false;
    EXPECT_TRUE(subscription->schedule([&] { ran = true; })->isDisposed()); // ran: nothing to cancel
    EXPECT_TRUE(ran);
}

TEST(SubscriptionScheduler, DeferredToItsBackgroundSchedulerWithout) {
    auto subscription = Scheduler::subscriptionScheduler();
    std::thread::id caller, runner;
    Ref<es::Disposable> returned;
    Latch done(1);
    std::thread([&] {
        caller = std::this_thread::get_id();
        returned = subscription->schedule([&] {
            runner = std::this_thread::get_id();
            done.countDown();
        });
    }).join();
    ASSERT_TRUE(done.wait());
    EXPECT_NE(runner, caller); // deferred to the background scheduler
    EXPECT_TRUE(returned);
    returned = nullptr;
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(Scheduler, RecursionRunsAtConstantStackDepth) {
    constexpr int kRuns = 100'000;
    int runs = 0;
    std::uintptr_t lowest = UINTPTR_MAX, highest = 0;
    Scheduler::mainThreadScheduler()->scheduleRecursiveBlock([&](const std::function<void()>& reschedule) {
        int marker = 0;
        auto at = reinterpret_cast<std::uintptr_t>(&marker);
        lowest = std::min(lowest, at);
        highest = std::max(highest, at);
        if (++runs < kRuns) reschedule();
    });
    testkit::drainMainQueue();
    EXPECT_EQ(runs, kRuns);
    EXPECT_LT(highest - lowest, 4096u);
}

// The reruns a run asks for are queued together once it returns: work the run itself queued goes
// first, work a rerun queues goes after the last of them.
struct QueueingScheduler {
    const char* name;
    Ref<Scheduler> (*make)();
    void (*runQueued)(Scheduler&);
};

class RecursiveReruns : public ::testing::TestWithParam<QueueingScheduler> {};

TEST_P(RecursiveReruns, AreQueuedTogetherWhenTheRunReturns) {
    Ref<Scheduler> scheduler = GetParam().make();
    std::string order;
    int runs = 0;
    auto disposable = scheduler->scheduleRecursiveBlock([&](const std::function<void()>& reschedule) {
        int run = ++runs;
        order += "R" + std::to_string(run) + " ";
        if (run == 1) {
            scheduler->schedule([&] { order += "Y "; });
            reschedule();
            reschedule();
        }
        if (run == 2) scheduler->schedule([&] { order += "X "; });
    });
    GetParam().runQueued(*scheduler);
    EXPECT_EQ(order, "R1 Y R2 R3 X ");
}

INSTANTIATE_TEST_SUITE_P(
    Schedulers, RecursiveReruns,
    ::testing::Values(QueueingScheduler{"MainQueue", [] { return Scheduler::mainThreadScheduler(); },
                                        [](Scheduler&) { testkit::drainMainQueue(); }},
                      QueueingScheduler{"TestScheduler", [] { return Ref<Scheduler>(rt::make<es::TestScheduler>()); },
                                        [](Scheduler& s) { static_cast<es::TestScheduler&>(s).stepAll(); }}),
    [](const ::testing::TestParamInfo<QueueingScheduler>& info) { return std::string(info.param.name); });

TEST(Scheduler, DisposingARecursiveBlockStopsItBeforeItsNextRunEvenOneAskedFor) {
    int runs = 0;
    Ref<es::Disposable> stopped;
    stopped = Scheduler::mainThreadScheduler()->scheduleRecursiveBlock(
        [&](const std::function<void()>& reschedule) {
            if (++runs == 5) stopped->dispose();
            reschedule();
        });
    testkit::drainMainQueue();
    EXPECT_EQ(runs, 5);
    stopped = nullptr;
}

// The span of stack addresses that the calls to mark() were made at.
class StackSpan {
public:
    [[gnu::noinline]] void mark() {
        int marker = 0;
        auto at = reinterpret_cast<std::uintptr_t>(&marker);
        lowest_ = std::min(lowest_, at);
        highest_ = std::max(highest_, at);
    }
    std::uintptr_t size() const { return highest_ - lowest_; }

private:
    std::uintptr_t lowest_ = UINTPTR_MAX, highest_ = 0;
};

TEST(Scheduler, ReschedulesFromSeveralThreadsEachRunOnceAtConstantStackDepth) {
    constexpr int kThreads = 4, kPerThread = 250;
    int runs = 0;
    std::function<void()> again; // the first run's reschedule, called later from other threads
    StackSpan stack;
    Scheduler::mainThreadScheduler()->scheduleRecursiveBlock([&](const std::function<void()>& reschedule) {
        stack.mark();
        if (++runs == 1) again = reschedule;
    });
    testkit::drainMainQueue();
    ASSERT_EQ(runs, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i) again();
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(runs, 1); // nothing runs until the main queue is drained
    testkit::drainMainQueue();
    EXPECT_EQ(runs, 1 + kThreads * kPerThread);
    EXPECT_LT(stack.size(), 4096u);
    again = nullptr;
}

TEST(BackgroundScheduler, ReschedulesRacingTheRunsEachRunOnceAndNeverOverlap) {
    constexpr int kThreads = 4, kPerThread = 500;
    auto scheduler = Scheduler::scheduler();
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int runs = 0; // unguarded on purpose: only runs one at a time keep it exact
    std::function<void()> again;
    Latch first(1), rest(kThreads * kPerThread);
    scheduler->scheduleRecursiveBlock([&](const std::function<void()>& reschedule) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        int run = ++runs;
        if (run == 1) again = reschedule;
        inside.fetch_sub(1);
        if (run == 1) first.countDown();
        else rest.countDown();
    });
    ASSERT_TRUE(first.wait());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i) again();
        });
    for (auto& t : threads) t.join();
    ASSERT_TRUE(rest.wait());
    ASSERT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(runs, 1 + kThreads * kPerThread); // no run more than asked for
    EXPECT_FALSE(overlapped);
    again = nullptr;
}

TEST(BackgroundScheduler, DisposingARecursiveBlockMidwayStopsItAndLetsGoOfTheBlock) {
    auto scheduler = Scheduler::scheduler();
    auto held = es::Disposable::make();
    rt::Weak<es::Disposable> heldWeak = held;
    auto reached = dispatch::Semaphore::make(0), go = dispatch::Semaphore::make(0);
    std::atomic<int> runs{0};
    auto recursion = scheduler->scheduleRecursiveBlock([&, held](const std::function<void()>& reschedule) {
        if (++runs == 10) {
            reached->signal();
            go->wait();
        }
        reschedule();
    });
    held = nullptr;
    ASSERT_TRUE(reached->wait(dispatch::after(10)));
    recursion->dispose(); // while the tenth run is in its block, having asked for more
    go->signal();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(runs, 10);
    EXPECT_FALSE(heldWeak.lock()); // the block went with the disposal, though `recursion` is still held
}

TEST(Scheduler, DisposingAnIdleRecursiveBlockLetsGoOfItWhileItsRescheduleIsStillHeld) {
    auto held = es::Disposable::make();
    rt::Weak<es::Disposable> heldWeak = held;
    int runs = 0;
    std::function<void()> again;
    auto recursion = Scheduler::mainThreadScheduler()->scheduleRecursiveBlock(
        [&runs, &again, held](const std::function<void()>& reschedule) {
            ++runs;
            again = reschedule;
        });
    held = nullptr;
    testkit::drainMainQueue();
    ASSERT_EQ(runs, 1);
    recursion->dispose();
    EXPECT_FALSE(heldWeak.lock());
    again(); // asks after the disposal: nothing runs
    testkit::drainMainQueue();
    EXPECT_EQ(runs, 1);
    again = nullptr;
}

TEST(SubscriptionScheduler, InlineRecursionRunsEveryStepBeforeReturningAtConstantStackDepth) {
    // On the main thread there is a current scheduler, so the subscription scheduler runs work at once.
    constexpr int kRuns = 2'000;
    int runs = 0;
    StackSpan stack;
    Scheduler::subscriptionScheduler()->scheduleRecursiveBlock([&](const std::function<void()>& reschedule) {
        stack.mark();
        if (++runs < kRuns) reschedule();
    });
    EXPECT_EQ(runs, kRuns);
    EXPECT_LT(stack.size(), 4096u);
}

TEST(ImmediateScheduler, RunsInline) {
    auto immediate = Scheduler::immediateScheduler();
    int runs = 0;
    EXPECT_TRUE(immediate->schedule([&] { ++runs; })->isDisposed());
    EXPECT_EQ(runs, 1);
}

TEST(ImmediateScheduler, DoesNotRepeat) {
    auto immediate = Scheduler::immediateScheduler();
    int runs = 0;
    EXPECT_TRUE(immediate->afterRepeatingEveryWithLeewaySchedule(ns::Date::now(), 1, 0, [&] { ++runs; })
                    ->isDisposed());
    EXPECT_EQ(runs, 0); // never runs the block
}

TEST(ImmediateScheduler, RecursionIteratesOnTheCallingThread) {
    auto immediate = Scheduler::immediateScheduler();
    int passes = 0;
    EXPECT_TRUE(immediate
                    ->scheduleRecursiveBlock([&](const std::function<void()>& reschedule) {
                        if (++passes == 1) {
                            reschedule();
                            reschedule();
                        }
                    })
                    ->isDisposed());
    EXPECT_EQ(passes, 3);
}

using QueueSchedulerTimers = testkit::VirtualTimeTest;

TEST_F(QueueSchedulerTimers, RepeatingWorkTicksUntilDisposed) {
    auto scheduler = Scheduler::mainThreadScheduler();
    int ticks = 0;
    auto timer = scheduler->afterRepeatingEveryWithLeewaySchedule(ns::Date::now()->dateByAddingTimeInterval(1), 1,
                                                                  0, [&] { ++ticks; });
    runFor(3.5);
    EXPECT_EQ(ticks, 3);
    timer->dispose();
    runFor(5);
    EXPECT_EQ(ticks, 3);
}

TEST_F(QueueSchedulerTimers, DelayedWorkRunsAtItsDateUnlessDisposed) {
    auto scheduler = Scheduler::mainThreadScheduler();
    std::string order;
    scheduler->afterDelaySchedule(2, [&] { order += "late"; });
    auto cancelled = scheduler->afterDelaySchedule(1, [&] { order += "cancelled"; });
    scheduler->afterDelaySchedule(1, [&] { order += "early,"; });
    cancelled->dispose();
    runFor(1.5);
    EXPECT_EQ(order, "early,");
    runFor(1);
    EXPECT_EQ(order, "early,late");
}

TEST(QueueScheduler, DisposingDelayedWorkWithdrawsItsTimerAtOnce) {
    // On the system clock, an hour ahead: nothing the work holds may wait for its date.
    std::int64_t before = rt::liveObjectCount();
    auto scheduler = Scheduler::scheduler();
    bool ran = false;
    auto held = es::Disposable::make();
    auto delayed = scheduler->afterDelaySchedule(3600, [&ran, held] { ran = true; });
    held = nullptr;
    delayed->dispose();
    delayed = nullptr;
    scheduler = nullptr;
    EXPECT_EQ(rt::liveObjectCount(), before); // the block, the scheduler and its queue are gone
    EXPECT_FALSE(ran);
}

TEST(TestScheduler, OrderAndStepping) {
    auto test = rt::make<es::TestScheduler>();
    std::string order;
    auto start = ns::Date::withTimeIntervalSinceReferenceDate(100);
    test->afterSchedule(start->dateByAddingTimeInterval(5), [&] { order += "5"; });
    test->afterSchedule(start, [&] { order += "0"; });
    test->schedule([&] { order += "a"; });
    auto cancelled = test->schedule([&] { order += "x"; });
    test->schedule([&] {
        order += "b";
        EXPECT_EQ(Scheduler::currentScheduler(), Ref<Scheduler>(test));
        test->schedule([&] { order += "c"; }); // directly scheduled: still before the dated actions
    });
    cancelled->dispose();
    EXPECT_EQ(order, "");
    test->step();
    EXPECT_EQ(order, "a");
    test->step(2); // the cancelled one is skipped but counts as a step
    EXPECT_EQ(order, "ab");
    test->step(100);
    EXPECT_EQ(order, "abc05");
    EXPECT_EQ(test->scheduledActionCount(), 0u);
    test->step(); // nothing left: nothing happens
    EXPECT_EQ(order, "abc05");
}

TEST(TestScheduler, RepeatingActionRunsUntilDisposed) {
    std::vector<double> at;
    auto test = rt::make<es::TestScheduler>();
    auto start = ns::Date::withTimeIntervalSinceReferenceDate(10);
    auto repeating =
        test->afterRepeatingEveryWithLeewaySchedule(start, 2, 0, [&] { at.push_back(at.size()); });
    test->step(3);
    EXPECT_EQ(at.size(), 3u);
    repeating->dispose();
    test->stepAll();
    EXPECT_EQ(at.size(), 3u);
}

TEST(TestScheduler, DeallocationRunsWhatIsLeft) {
    auto test = rt::make<es::TestScheduler>();
    int pending = 0;
    test->schedule([&] { ++pending; });
    test->schedule([&] { ++pending; });
    test = nullptr;
    EXPECT_EQ(pending, 2);
}

TEST(TestScheduler, RepeatingActionHoldsConstantMemoryAndDisposesFlat) {
    auto test = rt::make<es::TestScheduler>();
    long ticks = 0;
    auto repeating = test->afterRepeatingEveryWithLeewaySchedule(
        ns::Date::withTimeIntervalSinceReferenceDate(0), 1, 0, [&] { ++ticks; });
    test->step(10);
    std::int64_t alive = rt::liveObjectCount();
    test->step(250'000);
    EXPECT_EQ(rt::liveObjectCount(), alive);
    EXPECT_EQ(test->scheduledActionCount(), 1u);
    repeating->dispose(); // nothing nested to unwind, however long it ran
    test->stepAll();
    EXPECT_EQ(ticks, 250'010);
}

TEST(TestScheduler, RecursiveBlockTakesOneStepPerRunAndItsDisposalWithdrawsTheQueuedRuns) {
    auto test = rt::make<es::TestScheduler>();
    auto held = es::Disposable::make();
    rt::Weak<es::Disposable> heldWeak = held;
    int runs = 0;
    auto recursion = test->scheduleRecursiveBlock([&runs, held](const std::function<void()>& reschedule) {
        ++runs;
        reschedule();
        reschedule();
    });
    held = nullptr;
    EXPECT_EQ(runs, 0);
    test->step(3);
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(test->scheduledActionCount(), 4u); // each run queued two more when it returned
    recursion->dispose();
    EXPECT_FALSE(heldWeak.lock()); // the queued runs were withdrawn and the block let go
    test->stepAll();
    EXPECT_EQ(runs, 3);
}

// A scheduler that overrides nothing: the base class's own answers.
class BareScheduler final : public Scheduler {
    RT_CLASS(BareScheduler)

private:
    BareScheduler() : Scheduler("") {}
};

RT_DEFINE_CLASS(BareScheduler, "ESTestBareScheduler", Scheduler)

struct SchedulerKind {
    const char* name;
    Ref<Scheduler> (*make)();
};

// Every way of scheduling, on every kind of scheduler, returns a disposable that may be disposed.
class EverySchedulingCall : public testkit::VirtualTimeTest,
                            public ::testing::WithParamInterface<SchedulerKind> {};

TEST_P(EverySchedulingCall, ReturnsADisposable) {
    auto scheduler = GetParam().make();
    ASSERT_TRUE(scheduler);
    auto due = ns::Date::now(); // due at once: the immediate scheduler waits for the date
    std::vector<Ref<es::Disposable>> returned = {
        scheduler->schedule([] {}),
        scheduler->afterSchedule(due, [] {}),
        scheduler->afterDelaySchedule(0, [] {}),
        scheduler->afterRepeatingEveryWithLeewaySchedule(due, 1, 0, [] {}),
        scheduler->scheduleRecursiveBlock([](const std::function<void()>&) {}),
    };
    for (std::size_t i = 0; i < returned.size(); ++i) {
        ASSERT_TRUE(returned[i]) << "call " << i;
        returned[i]->dispose();
        EXPECT_TRUE(returned[i]->isDisposed()) << "call " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Schedulers, EverySchedulingCall,
    ::testing::Values(SchedulerKind{"Immediate", [] { return Scheduler::immediateScheduler(); }},
                      SchedulerKind{"MainThread", [] { return Scheduler::mainThreadScheduler(); }},
                      SchedulerKind{"Subscription", [] { return Scheduler::subscriptionScheduler(); }},
                      SchedulerKind{"Background", [] { return Scheduler::scheduler(); }},
                      SchedulerKind{"Queue",
                                    [] {
                                        return Ref<Scheduler>(es::QueueScheduler::withNameQueue(
                                            "test.queue-scheduler", dispatch::Queue::global()));
                                    }},
                      SchedulerKind{"Test", [] { return Ref<Scheduler>(rt::make<es::TestScheduler>()); }},
                      SchedulerKind{"Base", [] { return Ref<Scheduler>(rt::make<BareScheduler>()); }}),
    [](const ::testing::TestParamInfo<SchedulerKind>& info) { return std::string(info.param.name); });

TEST(Scheduler, WorkThatRanAtOnceReturnsOneSharedDisposedDisposable) {
    auto immediate = Scheduler::immediateScheduler();
    auto first = immediate->schedule([] {});
    EXPECT_TRUE(first->isDisposed());
    EXPECT_EQ(first, immediate->schedule([] {}));
    EXPECT_EQ(first, Scheduler::subscriptionScheduler()->schedule([] {})); // inline on the main thread
}

TEST(TargetQueueScheduler, NilTargetMeansTheDefaultGlobalQueue) {
    auto scheduler = es::TargetQueueScheduler::withNameTargetQueue("", nullptr);
    ASSERT_TRUE(scheduler);
    EXPECT_EQ(scheduler->name(),
              kPrefix + ".ESTargetQueueScheduler(" + dispatch::Queue::global()->label() + ")");
    EXPECT_EQ(scheduler->queue()->target(), dispatch::Queue::global());
}

} // namespace
