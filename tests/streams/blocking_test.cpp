#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "tests/testkit/main_loop.h"

// The waits run the main run loop in slices on the installed clock, so every test here runs under
// a manual clock: a source either answers by itself, or moves the clock past the 10 s time-out from
// a helper thread once it is subscribed. Afterwards the clock is run past the time-out, whose
// cancelled timer holds its block until then.

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

void settle() {
    testkit::runMainLoopFor(30);
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

long intOf(const Id& v) {
    return v ? rt::cast<ns::Number>(v)->longValue() : -1;
}

TEST(AsynchronousWaits, FirstValueDefaultErrorsAndCompletion) {
    ns::ScopedManualClock clock;
    auto fallback = ns::num(99);
    {
        bool success = false;
        Ref<ns::Error> error = ns::Error::make("Stale", 1);
        EXPECT_EQ(intOf(numbersThenEnd({1, 2})->asynchronousFirstOrDefault(fallback, &success, &error)), 1);
        EXPECT_TRUE(success);
        EXPECT_FALSE(error); // written through even when there is none
    }
    {
        bool success = false;
        EXPECT_EQ(intOf(numbersThenEnd({})->asynchronousFirstOrDefault(fallback, &success, nullptr)), 99);
        EXPECT_TRUE(success);
    }
    {
        bool success = true;
        Ref<ns::Error> error;
        auto failed = numbersThenEnd({}, ns::Error::make("Test", 5));
        EXPECT_EQ(intOf(failed->asynchronousFirstOrDefault(fallback, &success, &error)), 99);
        EXPECT_FALSE(success);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), 5);
    }
    // A value sent from another thread arrives through the main run loop.
    auto background = Scheduler::scheduler();
    auto later = Signal::createSignal([background](const Ref<Subscriber>& s) {
        return Ref<rt::Disposable>(background->schedule([s] { s->sendNext(ns::num(4)); }));
    });
    EXPECT_EQ(intOf(later->asynchronousFirstOrDefault(nullptr, nullptr, nullptr)), 4);

    Ref<ns::Error> error = ns::Error::make("Stale", 1);
    EXPECT_TRUE(numbersThenEnd({1, 2, 3})->asynchronouslyWaitUntilCompleted(&error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(numbersThenEnd({1}, ns::Error::make("Test", 6))->asynchronouslyWaitUntilCompleted(&error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 6);
    settle();
}

TEST(AsynchronousWaits, TimeOutAfterTenSeconds) {
    ns::ScopedManualClock clock;
    double start = clock.now();
    std::thread mover;
    auto silent = Signal::createSignal([&](const Ref<Subscriber>&) {
        mover = std::thread([&] { clock.advance(10); });
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
    EXPECT_GE(clock.now() - start, 10);
    settle();
}

TEST(Start, BlocksRunOnTheSchedulerAndTheirResultIsReplayed) {
    setenv("ES_DEBUG_SIGNAL_NAMES", "1", 1);
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
    std::string seen;
    subject->subscribeNextCompleted([&](const Id& v) { seen += v->description(); }, [&] { seen += "C"; });
    EXPECT_EQ(seen, "1C");

    auto succeeded =
        Signal::startWithSchedulerBlock(test, [](bool&, Ref<ns::Error>&) -> Id { return ns::num(7); });
    auto failed = Signal::startWithSchedulerBlock(test, [](bool& success, Ref<ns::Error>& error) -> Id {
        success = false;
        error = ns::Error::make("Test", 3);
        return ns::num(7); // not sent
    });
    test->stepAll();
    EXPECT_EQ(succeeded->name(), "+startWithScheduler:block:");
    seen.clear();
    for (auto& s : {succeeded, failed})
        s->subscribeNextErrorCompleted(
            [&](const Id& v) { seen += v->description(); },
            [&](const Ref<ns::Error>& e) { seen += "E" + std::to_string(e->code()); }, [&] { seen += "C"; });
    EXPECT_EQ(seen, "7CE3");
    unsetenv("ES_DEBUG_SIGNAL_NAMES");
}

TEST(Start, RunsOnABackgroundThread) {
    ns::ScopedManualClock clock;
    std::atomic<bool> onMain{true};
    auto started = Signal::start([&](bool&, Ref<ns::Error>&) -> Id {
        onMain = ns::Thread::isMainThread();
        return ns::num(8);
    });
    bool success = false;
    EXPECT_EQ(intOf(started->asynchronousFirstOrDefault(nullptr, &success, nullptr)), 8);
    EXPECT_TRUE(success);
    EXPECT_FALSE(onMain.load());
    settle();
}

TEST(Start, LazilyAtTheFirstSubscriptionEagerlyAtOnceBothOnce) {
    setenv("ES_DEBUG_SIGNAL_NAMES", "1", 1);
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

    std::string seen;
    auto record = [&](const Ref<Signal>& s) {
        s->subscribeNextCompleted([&](const Id& v) { seen += v->description(); }, [&] { seen += "C,"; });
    };
    record(lazy);
    EXPECT_EQ(lazyRuns, 0); // the subscription itself runs on the scheduler
    test->stepAll();
    record(lazy);
    record(eager);
    record(eager);
    test->stepAll();
    EXPECT_EQ(lazyRuns, 1);
    EXPECT_EQ(eagerRuns, 1);
    EXPECT_EQ(seen, "1C,1C,1C,1C,");
    unsetenv("ES_DEBUG_SIGNAL_NAMES");
}

} // namespace
