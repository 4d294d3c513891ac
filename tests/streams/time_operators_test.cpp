#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/date.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/streams/recorder.h"
#include "tests/testkit/virtual_time.h"

namespace {

using es::Scheduler;
using es::Signal;
using es::Subject;
using rt::Id;
using rt::Ref;

// Virtual time; the fixture settles every timer still armed (cancelled ones included) in TearDown.
class TimeOperatorTest : public testkit::VirtualTimeTest {
protected:
    // Events with the virtual time they arrived at, errors with their domain: "1@0.90 E:Test/7@1.00".
    testkit::RecordOptions withTimes() { return {.clock = &clock(), .errorDomains = true}; }
};
using Interval = TimeOperatorTest;
using Timeout = TimeOperatorTest;
using Delay = TimeOperatorTest;
using Throttle = TimeOperatorTest;
using BufferWithTime = TimeOperatorTest;

TEST_F(Interval, TicksOneIntervalAfterSubscriptionThenEveryIntervalUntilDisposed) {
    double start = clock().now();
    std::vector<double> ticks;
    auto d = Signal::interval(1.0, Scheduler::mainThreadScheduler())->subscribeNext([&](const Id& v) {
        auto date = rt::cast<ns::Date>(v);
        ASSERT_TRUE(date);
        ticks.push_back(date->timeIntervalSinceReferenceDate() - start);
    });
    runUntil(0.99);
    EXPECT_TRUE(ticks.empty());
    runUntil(3.5);
    EXPECT_EQ(ticks, (std::vector<double>{1, 2, 3}));
    d->dispose();
    runUntil(8);
    EXPECT_EQ(ticks.size(), 3u);
}

TEST_F(Timeout, FailsAfterTheIntervalDespiteValues) {
    auto main = Scheduler::mainThreadScheduler();
    std::string order;
    auto subject = Subject::subject();
    auto source = Signal::createSignal([&](const Ref<es::Subscriber>& s) {
        auto d = subject->subscribe(s);
        return Ref<rt::Disposable>(es::Disposable::withBlock([&, d] {
            order += "disposed,";
            d->dispose();
        }));
    });
    auto timed =
        source->timeoutOnScheduler(1.0, main)->doError([&](const Ref<ns::Error>&) { order += "error,"; });
    auto t = testkit::record(timed, withTimes());
    subject->sendNext(ns::num(1));
    runUntil(0.6);
    subject->sendNext(ns::num(2)); // does not restart the timer
    runUntil(1.2);
    subject->sendNext(ns::num(3)); // gone: the receiver was disposed
    EXPECT_EQ(t.text(), "1@0.00 2@0.60 E:ESSignalErrorDomain/1@1.00");
    EXPECT_EQ(order, "disposed,error,");
}

TEST_F(Timeout, NeverFailsAfterTheEnd) {
    auto main = Scheduler::mainThreadScheduler();
    auto subject = Subject::subject();
    auto t = testkit::record(subject->timeoutOnScheduler(1.0, main), withTimes());
    runUntil(0.5);
    subject->sendCompleted();
    runUntil(3);
    EXPECT_EQ(t.text(), "C@0.50");
}

TEST_F(Timeout, DisposalCancelsIt) {
    auto main = Scheduler::mainThreadScheduler();
    auto t = testkit::record(Signal::never()->timeoutOnScheduler(1.0, main), withTimes());
    runUntil(0.5);
    t.dispose(); // cancels the time-out
    runUntil(3);
    EXPECT_EQ(t.text(), "");
}

TEST_F(Delay, KeepsSpacing) {
    auto subject = Subject::subject();
    auto t = testkit::record(subject->delay(1.0), withTimes());
    subject->sendNext(ns::num(1));
    runUntil(0.3);
    subject->sendNext(nullptr);
    subject->sendCompleted();
    runUntil(1.1);
    EXPECT_EQ(t.text(), "1@1.00");
    runUntil(2);
    EXPECT_EQ(t.text(), "1@1.00 nil@1.30 C@1.30");
}

TEST_F(Delay, AnErrorOvertakesWaitingValues) {
    auto source = Signal::createSignal([](const Ref<es::Subscriber>& s) {
        s->sendNext(ns::num(1));
        s->sendError(ns::Error::make("Test", 7));
        return Ref<rt::Disposable>();
    });
    auto t = testkit::record(source->delay(1.0), withTimes());
    runUntil(2);
    EXPECT_EQ(t.text(), "E:Test/7@0.00");
}

TEST_F(Delay, DeliversOnTheSchedulerTheValueArrivedOn) {
    auto subject = Subject::subject();
    auto background = Scheduler::scheduler();
    std::mutex m;
    std::string seen;
    auto d = subject->delay(0.5)->subscribeNext([&](const Id& v) {
        bool onMain = ns::Thread::isMainThread();
        bool onBackground = Scheduler::currentScheduler() == background;
        std::lock_guard g(m);
        seen += v->description() + (onMain ? "main," : onBackground ? "background," : "other,");
    });
    subject->sendNext(ns::num(1));
    runUntil(0.1);
    background->schedule([subject] { subject->sendNext(ns::num(2)); });
    runUntil(0.4);
    EXPECT_EQ(seen, "");
    runUntil(1);
    EXPECT_EQ(seen, "1main,2background,");
    d->dispose();
}

// A throttle that has been sent 1, 2 and 3 within less than its interval of each other, by 0.40.
class ThrottleHoldingAValue : public TimeOperatorTest {
protected:
    void SetUp() override {
        subject->sendNext(ns::num(1));
        runUntil(0.2);
        subject->sendNext(ns::num(2));
        runUntil(0.4);
        subject->sendNext(ns::num(3));
    }
    void TearDown() override {
        runUntil(3);
        t.dispose();
        TimeOperatorTest::TearDown();
    }

    Ref<Subject> subject = Subject::subject();
    testkit::Recorder t = testkit::record(subject->throttle(0.5), withTimes());
};

TEST_F(ThrottleHoldingAValue, SendsOnlyAValueFollowedByAQuietInterval) {
    runUntil(0.89);
    EXPECT_EQ(t.text(), "");
    runUntil(0.95);
    EXPECT_EQ(t.text(), "3@0.90");
}

TEST_F(ThrottleHoldingAValue, CompletionSendsTheHeldValueFirst) {
    runUntil(0.45);
    subject->sendCompleted();
    EXPECT_EQ(t.text(), "3@0.45 C@0.45");
}

TEST_F(Throttle, ValuesFailingThePredicatePassAtOnceAndErrorsDropTheHeldValue) {
    auto subject = Subject::subject();
    std::vector<std::string> tested;
    auto throttled = subject->throttleValuesPassingTest(0.5, [&](const Id& v) {
        tested.push_back(v->description());
        return rt::cast<ns::Number>(v)->intValue() % 2 == 1;
    });
    auto t = testkit::record(throttled, withTimes());
    subject->sendNext(ns::num(1));
    runUntil(0.1);
    subject->sendNext(ns::num(2)); // sent at once, dropping 1
    runUntil(1.1);
    subject->sendNext(ns::num(3));
    runUntil(2.1);
    subject->sendNext(ns::num(5));
    runUntil(2.3);
    subject->sendError(ns::Error::make("Test", 9)); // 5 is never sent
    runUntil(4);
    EXPECT_EQ(t.text(), "2@0.10 3@1.60 E:Test/9@2.30");
    EXPECT_EQ(tested, (std::vector<std::string>{"1", "2", "3", "5"}));
}

TEST_F(BufferWithTime, WindowsOpenWithTheirFirstValueAndCompletionFlushes) {
    auto subject = Subject::subject();
    Ref<es::Tuple> first;
    auto buffered = subject->bufferWithTimeOnScheduler(1.0, Scheduler::mainThreadScheduler());
    auto keepingFirst = buffered->doNext([&](const Id& v) {
        if (!first) first = rt::cast<es::Tuple>(v);
    });
    auto t = testkit::record(keepingFirst, withTimes());
    runUntil(2); // no value, no window, no tuple
    subject->sendNext(ns::num(1));
    runUntil(2.1);
    subject->sendNext(nullptr);
    runUntil(3.5);
    subject->sendNext(ns::num(3)); // a new window, until 4.5
    runUntil(4);
    subject->sendCompleted();
    runUntil(6);
    EXPECT_EQ(t.text(), "(1,nil)@3.00 (3)@4.00 C@4.00");
    ASSERT_TRUE(first);
    ASSERT_EQ(first->count(), 2u);
    EXPECT_EQ(first->entries()[1], Id(es::TupleNil::tupleNil()));
    first = nullptr;
}

TEST(TimeOperators, DebugNames) {
    testkit::DebugNames on(true);
    auto main = Scheduler::mainThreadScheduler();
    auto source = Signal::never();
    source->setName("s");
    EXPECT_EQ(Signal::interval(1, main)->name(), "+interval: 1.000000 onScheduler: " + main->description());
    EXPECT_EQ(Signal::intervalOnSchedulerWithLeeway(1, main, 0.25)->name(),
              "+interval: 1.000000 onScheduler: " + main->description() + " withLeeway: 0.250000");
    EXPECT_EQ(source->timeoutOnScheduler(2, main)->name(),
              "[s] -timeout: 2.000000 onScheduler: " + main->description());
    EXPECT_EQ(source->delay(0.5)->name(), "[s] -delay: 0.500000");
    EXPECT_EQ(source->throttle(0.5)->name(), "[s] -throttle: 0.500000");
    EXPECT_EQ(source->throttleValuesPassingTest(0.5, nullptr)->name(),
              "[s] -throttle: 0.500000 valuesPassingTest:");
    EXPECT_EQ(source->bufferWithTimeOnScheduler(3, main)->name(),
              "[s] -bufferWithTime: 3.000000 onScheduler: " + main->description());
}

} // namespace
