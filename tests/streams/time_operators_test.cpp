#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/main_loop.h"

namespace {

using es::Scheduler;
using es::Signal;
using es::Subject;
using rt::Id;
using rt::Ref;

// Events with the virtual time they arrived at, relative to the start: "1@0.90 C@0.90".
class Timeline {
public:
    explicit Timeline(const ns::ScopedManualClock& clock) : clock_(clock), start_(clock.now()) {}

    Ref<es::Disposable> record(const Ref<Signal>& signal) {
        return signal->subscribeNextErrorCompleted(
            [this](const Id& v) { add(show(v)); },
            [this](const Ref<ns::Error>& e) {
                add("E:" + e->domain()->utf8() + "/" + std::to_string(e->code()) +
                    (e->userInfo() && !e->userInfo()->isEmpty() ? "+info" : ""));
            },
            [this] { add("C"); });
    }
    std::string text() {
        std::lock_guard g(m_);
        return text_;
    }
    // Runs the main loop until `t` seconds after the start (absolute, so no rounding piles up).
    void runUntil(double t) { testkit::runMainLoopUntil(start_ + t); }

private:
    static std::string show(const Id& v) {
        if (!v) return "nil";
        if (auto tuple = rt::cast<es::Tuple>(v)) {
            std::string s = "(";
            for (std::size_t i = 0; i < tuple->count(); ++i)
                s += (i ? "," : "") + show(tuple->objectAtIndex(i));
            return s + ")";
        }
        return v->description();
    }
    void add(const std::string& event) {
        char at[32];
        std::snprintf(at, sizeof at, "@%.2f", clock_.now() - start_);
        std::lock_guard g(m_);
        text_ += (text_.empty() ? "" : " ") + event + at;
    }

    const ns::ScopedManualClock& clock_;
    ns::TimeInterval start_;
    std::mutex m_;
    std::string text_;
};

// Lets every timer still armed (cancelled ones included) run out, so nothing stays alive.
void settle() {
    testkit::runMainLoopFor(60);
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(Interval, TicksOneIntervalAfterSubscriptionThenEveryIntervalUntilDisposed) {
    ns::ScopedManualClock clock;
    Timeline t(clock);
    double start = clock.now();
    std::vector<double> ticks;
    auto d = Signal::interval(1.0, Scheduler::mainThreadScheduler())->subscribeNext([&](const Id& v) {
        auto date = rt::cast<ns::Date>(v);
        ASSERT_TRUE(date);
        ticks.push_back(date->timeIntervalSinceReferenceDate() - start);
    });
    t.runUntil(0.99);
    EXPECT_TRUE(ticks.empty());
    t.runUntil(3.5);
    EXPECT_EQ(ticks, (std::vector<double>{1, 2, 3}));
    d->dispose();
    t.runUntil(8);
    EXPECT_EQ(ticks.size(), 3u);

    settle();
}

TEST(Timeout, FailsAfterTheIntervalDespiteValuesAndNeverAfterTheEnd) {
    ns::ScopedManualClock clock;
    auto main = Scheduler::mainThreadScheduler();
    {
        Timeline t(clock);
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
        auto subscription = t.record(timed);
        subject->sendNext(ns::num(1));
        t.runUntil(0.6);
        subject->sendNext(ns::num(2)); // does not restart the timer
        t.runUntil(1.2);
        subject->sendNext(ns::num(3)); // gone: the receiver was disposed
        EXPECT_EQ(t.text(), "1@0.00 2@0.60 E:ESSignalErrorDomain/1@1.00");
        EXPECT_EQ(order, "disposed,error,");
    }
    {
        Timeline t(clock);
        auto subject = Subject::subject();
        auto subscription = t.record(subject->timeoutOnScheduler(1.0, main));
        t.runUntil(0.5);
        subject->sendCompleted();
        t.runUntil(3);
        EXPECT_EQ(t.text(), "C@0.50");
    }
    {
        Timeline t(clock);
        auto subscription = t.record(Signal::never()->timeoutOnScheduler(1.0, main));
        t.runUntil(0.5);
        subscription->dispose(); // cancels the time-out
        t.runUntil(3);
        EXPECT_EQ(t.text(), "");
    }
    settle();
}

TEST(Delay, KeepsSpacingAndLetsAnErrorOvertakeWaitingValues) {
    ns::ScopedManualClock clock;
    {
        Timeline t(clock);
        auto subject = Subject::subject();
        auto subscription = t.record(subject->delay(1.0));
        subject->sendNext(ns::num(1));
        t.runUntil(0.3);
        subject->sendNext(nullptr);
        subject->sendCompleted();
        t.runUntil(1.1);
        EXPECT_EQ(t.text(), "1@1.00");
        t.runUntil(2);
        EXPECT_EQ(t.text(), "1@1.00 nil@1.30 C@1.30");
    }
    {
        Timeline t(clock);
        auto source = Signal::createSignal([](const Ref<es::Subscriber>& s) {
            s->sendNext(ns::num(1));
            s->sendError(ns::Error::make("Test", 7));
            return Ref<rt::Disposable>();
        });
        auto subscription = t.record(source->delay(1.0));
        t.runUntil(2);
        EXPECT_EQ(t.text(), "E:Test/7@0.00");
    }
    settle();
}

TEST(Delay, DeliversOnTheSchedulerTheValueArrivedOn) {
    ns::ScopedManualClock clock;
    Timeline t(clock);
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
    t.runUntil(0.1);
    background->schedule([subject] { subject->sendNext(ns::num(2)); });
    t.runUntil(0.4);
    EXPECT_EQ(seen, "");
    t.runUntil(1);
    EXPECT_EQ(seen, "1main,2background,");
    d->dispose();
    settle();
}

TEST(Throttle, SendsOnlyAValueFollowedByAQuietInterval) {
    ns::ScopedManualClock clock;
    for (bool completeEarly : {false, true}) {
        Timeline t(clock);
        auto subject = Subject::subject();
        auto subscription = t.record(subject->throttle(0.5));
        subject->sendNext(ns::num(1));
        t.runUntil(0.2);
        subject->sendNext(ns::num(2));
        t.runUntil(0.4);
        subject->sendNext(ns::num(3));
        if (completeEarly) {
            t.runUntil(0.45);
            subject->sendCompleted();
            EXPECT_EQ(t.text(), "3@0.45 C@0.45");
        } else {
            t.runUntil(0.89);
            EXPECT_EQ(t.text(), "");
            t.runUntil(0.95);
            EXPECT_EQ(t.text(), "3@0.90");
        }
        t.runUntil(3);
        subscription->dispose();
    }
    settle();
}

TEST(Throttle, ValuesFailingThePredicatePassAtOnceAndErrorsDropTheHeldValue) {
    ns::ScopedManualClock clock;
    Timeline t(clock);
    auto subject = Subject::subject();
    std::vector<std::string> tested;
    auto throttled = subject->throttleValuesPassingTest(0.5, [&](const Id& v) {
        tested.push_back(v->description());
        return rt::cast<ns::Number>(v)->intValue() % 2 == 1;
    });
    auto subscription = t.record(throttled);
    subject->sendNext(ns::num(1));
    t.runUntil(0.1);
    subject->sendNext(ns::num(2)); // sent at once, dropping 1
    t.runUntil(1.1);
    subject->sendNext(ns::num(3));
    t.runUntil(2.1);
    subject->sendNext(ns::num(5));
    t.runUntil(2.3);
    subject->sendError(ns::Error::make("Test", 9)); // 5 is never sent
    t.runUntil(4);
    EXPECT_EQ(t.text(), "2@0.10 3@1.60 E:Test/9@2.30");
    EXPECT_EQ(tested, (std::vector<std::string>{"1", "2", "3", "5"}));
    settle();
}

TEST(BufferWithTime, WindowsOpenWithTheirFirstValueAndCompletionFlushes) {
    ns::ScopedManualClock clock;
    Timeline t(clock);
    auto subject = Subject::subject();
    Ref<es::Tuple> first;
    auto buffered = subject->bufferWithTimeOnScheduler(1.0, Scheduler::mainThreadScheduler());
    auto subscription = t.record(buffered->doNext([&](const Id& v) {
        if (!first) first = rt::cast<es::Tuple>(v);
    }));
    t.runUntil(2); // no value, no window, no tuple
    subject->sendNext(ns::num(1));
    t.runUntil(2.1);
    subject->sendNext(nullptr);
    t.runUntil(3.5);
    subject->sendNext(ns::num(3)); // a new window, until 4.5
    t.runUntil(4);
    subject->sendCompleted();
    t.runUntil(6);
    EXPECT_EQ(t.text(), "(1,nil)@3.00 (3)@4.00 C@4.00");
    ASSERT_TRUE(first);
    ASSERT_EQ(first->count(), 2u);
    EXPECT_EQ(first->entries()[1], Id(es::TupleNil::tupleNil()));
    first = nullptr;
    settle();
}

TEST(TimeOperators, DebugNames) {
    setenv("ES_DEBUG_SIGNAL_NAMES", "1", 1);
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
    unsetenv("ES_DEBUG_SIGNAL_NAMES");
}

} // namespace
