#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/test_scheduler.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/streams/recorder.h"
#include "tests/testkit/virtual_time.h"

// The waits run the main run loop in slices on the installed clock, so every test that waits runs
// in virtual time: a source either answers by itself, or moves the clock past the 10 s time-out
// from a helper thread once it is subscribed. The fixture then runs the clock past the time-out.

namespace {

using es::Scheduler;
using es::Signal;
using es::Subscriber;
using rt::Id;
using rt::Ref;

Ref<Signal> numbersThenEnd(std::vector<int> values, Ref<ns::Error> error = nullptr) {
    return Signal::createSignal([values, error](const Ref<Subscriber>& s) {
        for (int v : values)
            s->sendNext(ns::num(v));
        if (error)
            s->sendError(error);
        else
            s->sendCompleted();
        return Ref<rt::Disposable>();
    });
}

using testkit::record;
using AsynchronousWaits = testkit::VirtualTimeTest;
using StartAndWait = testkit::VirtualTimeTest;

long intOf(const Id& v) {
    return v ? rt::cast<ns::Number>(v)->longValue() : -1;
}

TEST_F(AsynchronousWaits, FirstValueIsReturnedAndNoErrorWrittenThrough) {
    auto fallback = ns::num(99);
    bool success = false;
    Ref<ns::Error> error = ns::Error::make("Stale", 1);
    EXPECT_EQ(intOf(numbersThenEnd({1, 2})->asynchronousFirstOrDefault(fallback, &success, &error)), 1);
    EXPECT_TRUE(success);
    EXPECT_FALSE(error); // written through even when there is none
}

TEST_F(AsynchronousWaits, DefaultWhenNothingWasSent) {
    auto fallback = ns::num(99);
    bool success = false;
    EXPECT_EQ(intOf(numbersThenEnd({})->asynchronousFirstOrDefault(fallback, &success, nullptr)), 99);
    EXPECT_TRUE(success);
}

TEST_F(AsynchronousWaits, DefaultAndTheErrorWhenItFails) {
    auto fallback = ns::num(99);
    bool success = true;
    Ref<ns::Error> error;
    auto failed = numbersThenEnd({}, ns::Error::make("Test", 5));
    EXPECT_EQ(intOf(failed->asynchronousFirstOrDefault(fallback, &success, &error)), 99);
    EXPECT_FALSE(success);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 5);
}

TEST_F(AsynchronousWaits, AValueSentFromAnotherThreadArrivesThroughTheMainRunLoop) {
    auto background = Scheduler::scheduler();
    auto later = Signal::createSignal([background](const Ref<Subscriber>& s) {
        return Ref<rt::Disposable>(background->schedule([s] { s->sendNext(ns::num(4)); }));
    });
    EXPECT_EQ(intOf(later->asynchronousFirstOrDefault(nullptr, nullptr, nullptr)), 4);
}

TEST_F(AsynchronousWaits, WaitUntilCompletedSucceedsOrGivesTheError) {
    Ref<ns::Error> error = ns::Error::make("Stale", 1);
    EXPECT_TRUE(numbersThenEnd({1, 2, 3})->asynchronouslyWaitUntilCompleted(&error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(numbersThenEnd({1}, ns::Error::make("Test", 6))->asynchronouslyWaitUntilCompleted(&error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 6);
}

TEST_F(AsynchronousWaits, TimeOutAfterTenSeconds) {
    double start = clock().now();
    std::thread mover;
    auto silent = Signal::createSignal([&](const Ref<Subscriber>&) {
        mover = std::thread([&] { clock().advance(10); });
        return Ref<rt::Disposable>();
    });
    bool success = true;
    Ref<ns::Error> error;
    EXPECT_FALSE(silent->asynchronousFirstOrDefault(nullptr, &success, &error));
    mover.join();
    EXPECT_FALSE(success);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain()->utf8(), Signal::kErrorDomain);
    EXPECT_EQ(error->code(), Signal::kErrorTimedOut);
    EXPECT_GE(clock().now() - start, 10);
}

TEST(Start, ASubjectBlockRunsOnTheSchedulerAndWhatItSentIsReplayed) {
    testkit::DebugNames on(true);
    auto test = rt::make<es::TestScheduler>();
    int runs = 0;
    auto subject = Signal::startWithSchedulerSubjectBlock(test, [&](const Ref<es::Subject>& s) {
        ++runs;
        s->sendNext(ns::num(1));
        s->sendCompleted();
    });
    EXPECT_EQ(subject->name(), "+startWithScheduler:subjectBlock:");
    EXPECT_EQ(runs, 0);
    test->stepAll();
    EXPECT_EQ(runs, 1);
    auto seen = record(subject);
    EXPECT_EQ(seen.text(), "1 C");
}

TEST(Start, ABlockRunsOnTheSchedulerAndItsResultOrErrorIsReplayed) {
    testkit::DebugNames on(true);
    auto test = rt::make<es::TestScheduler>();
    auto succeeded =
        Signal::startWithSchedulerBlock(test, [](bool&, Ref<ns::Error>&) -> Id { return ns::num(7); });
    auto failed = Signal::startWithSchedulerBlock(test, [](bool& success, Ref<ns::Error>& error) -> Id {
        success = false;
        error = ns::Error::make("Test", 3);
        return ns::num(7); // not sent
    });
    test->stepAll();
    EXPECT_EQ(succeeded->name(), "+startWithScheduler:block:");
    EXPECT_EQ(record(succeeded).text(), "7 C");
    EXPECT_EQ(record(failed).text(), "E3");
}

TEST_F(StartAndWait, RunsOnABackgroundThread) {
    std::atomic<bool> onMain{true};
    auto started = Signal::start([&](bool&, Ref<ns::Error>&) -> Id {
        onMain = ns::Thread::isMainThread();
        return ns::num(8);
    });
    bool success = false;
    EXPECT_EQ(intOf(started->asynchronousFirstOrDefault(nullptr, &success, nullptr)), 8);
    EXPECT_TRUE(success);
    EXPECT_FALSE(onMain.load());
}

TEST(Start, LazilyAtTheFirstSubscriptionEagerlyAtOnceBothOnce) {
    testkit::DebugNames on(true);
    auto test = rt::make<es::TestScheduler>();
    int lazyRuns = 0, eagerRuns = 0;
    auto body = [](int& runs) {
        return [&runs](const Ref<Subscriber>& s) {
            ++runs;
            s->sendNext(ns::num(runs));
            s->sendCompleted();
        };
    };
    auto lazy = Signal::startLazilyWithSchedulerBlock(test, body(lazyRuns));
    auto eager = Signal::startEagerlyWithSchedulerBlock(test, body(eagerRuns));
    EXPECT_EQ(lazy->name(), "+startLazilyWithScheduler: " + test->description() + " block:");
    EXPECT_EQ(eager->name(), "+startEagerlyWithScheduler: " + test->description() + " block:");
    test->stepAll();
    EXPECT_EQ(lazyRuns, 0);
    EXPECT_EQ(eagerRuns, 1);

    std::vector<testkit::Recorder> seen;
    seen.push_back(record(lazy));
    EXPECT_EQ(lazyRuns, 0); // the subscription itself runs on the scheduler
    test->stepAll();
    seen.push_back(record(lazy));
    seen.push_back(record(eager));
    seen.push_back(record(eager));
    test->stepAll();
    EXPECT_EQ(lazyRuns, 1);
    EXPECT_EQ(eagerRuns, 1);
    for (const auto& subscription : seen)
        EXPECT_EQ(subscription.text(), "1 C");
}

} // namespace
