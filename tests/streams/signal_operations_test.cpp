#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string.h"
#include "streams/event.h"
#include "streams/signal.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subscriber;
using rt::Id;
using rt::Ref;

using testkit::failure;

std::string text(const Id& v) { return v ? v->description() : "nil"; }

// One pass of the main run loop: what is pending now, without waiting.
void runMainLoopOnce() { ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr); }

TEST(SideEffects, NextAndCompletedHooksRunBeforeForwarding) {
    std::string order;
    auto source = Signal::createSignal([](const Ref<Subscriber>& s) {
        s->sendNext(ns::num(1));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    source->doNext([&](const Id&) { order += "doNext,"; })
        ->doCompleted([&] { order += "doCompleted,"; })
        ->subscribeNextCompleted([&](const Id&) { order += "next,"; }, [&] { order += "completed,"; });
    EXPECT_EQ(order, "doNext,next,doCompleted,completed,");
}

TEST(SideEffects, ErrorAndFinallyHooksRunBeforeForwarding) {
    std::string order;
    Signal::error(failure())
        ->doError([&](const Ref<ns::Error>&) { order += "doError,"; })
        ->finally([&] { order += "finally,"; })
        ->subscribeError([&](const Ref<ns::Error>&) { order += "error,"; });
    EXPECT_EQ(order, "doError,finally,error,");
}

TEST(SideEffects, FinallyDoesNotRunOnDisposal) {
    int finallyRuns = 0;
    auto d = Signal::never()->finally([&] { ++finallyRuns; })->subscribeNext([](const Id&) {});
    d->dispose();
    EXPECT_EQ(finallyRuns, 0);
}

TEST(SideEffects, InitiallyRunsBeforeEverySubscription) {
    std::string order;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        order += "subscribed,";
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    auto signal = source->initially([&] { order += "initially,"; });
    signal->subscribeCompleted([] {});
    signal->subscribeCompleted([] {});
    EXPECT_EQ(order, "initially,subscribed,initially,subscribed,");
}

TEST(Errors, CatchReplacesTheFirstErrorOnly) {
    int caught = 0;
    std::string events;
    Signal::error(failure("First"))
        ->catchError([&](const Ref<ns::Error>& e) {
            ++caught;
            EXPECT_EQ(e->domain()->utf8(), "First");
            return Signal::returnValue(ns::num(1))->concat(Signal::error(failure("Second")));
        })
        ->subscribeNextError([&](const Id& v) { events += text(v) + ","; },
                             [&](const Ref<ns::Error>& e) { events += e->domain()->utf8(); });
    EXPECT_EQ(caught, 1);
    EXPECT_EQ(events, "1,Second");
}

TEST(Errors, CatchToReplacesAnErrorWithTheSignal) {
    std::string to;
    Signal::error(failure())->catchTo(Signal::returnValue(ns::num(2)))->subscribeNextCompleted(
        [&](const Id& v) { to += text(v); }, [&] { to += ",C"; });
    EXPECT_EQ(to, "2,C");
}

TEST(Errors, ThenFollowsACompletionButNotAnError) {
    int thenCalls = 0;
    std::string events;
    Signal::returnValue(ns::num(1))
        ->then([&] {
            ++thenCalls;
            return Signal::returnValue(ns::num(2));
        })
        ->subscribeNext([&](const Id& v) { events += text(v); });
    EXPECT_EQ(events, "2");
    Signal::error(failure())->then([&] {
        ++thenCalls;
        return Signal::empty();
    })->subscribeError([&](const Ref<ns::Error>&) { events += ",error"; });
    EXPECT_EQ(thenCalls, 1);
    EXPECT_EQ(events, "2,error");
}

TEST(Errors, TryFailingWithoutAnErrorSendsANilError) {
    bool failedWithNil = false;
    Signal::returnValue(ns::num(1))
        ->tryBlock([](const Id&, Ref<ns::Error>&) { return false; })
        ->subscribeError([&](const Ref<ns::Error>& e) { failedWithNil = !e; });
    EXPECT_TRUE(failedWithNil);
}

TEST(Errors, TryMapMapsOrFailsWithTheBlocksError) {
    std::string mapped;
    Signal::returnValue(ns::num(3))
        ->tryMap([](const Id& v, Ref<ns::Error>&) { return Id(ns::stringWithFormat("<%@>", v)); })
        ->subscribeNext([&](const Id& v) { mapped = text(v); });
    EXPECT_EQ(mapped, "<3>");
    Signal::returnValue(ns::num(3))
        ->tryMap([](const Id&, Ref<ns::Error>& e) {
            e = failure("Mapped");
            return Id();
        })
        ->subscribeError([&](const Ref<ns::Error>& e) { mapped = e->domain()->utf8(); });
    EXPECT_EQ(mapped, "Mapped");
}

// Sends how many times it has been subscribed, then fails.
Ref<Signal> failingCountingSubscriptions(int& subscriptions) {
    return Signal::createSignal([&subscriptions](const Ref<Subscriber>& s) {
        ++subscriptions;
        s->sendNext(ns::num(subscriptions));
        s->sendError(failure());
        return Ref<rt::Disposable>();
    });
}

TEST(Repetition, RetrySubscribesCountPlusOneTimes) {
    int subscriptions = 0;
    auto failing = failingCountingSubscriptions(subscriptions);
    std::string events;
    failing->retry(2)->subscribeNextError([&](const Id& v) { events += text(v) + ","; },
                                          [&](const Ref<ns::Error>&) { events += "E"; });
    testkit::drainMainQueue();
    EXPECT_EQ(subscriptions, 3);
    EXPECT_EQ(events, "1,2,3,E");
}

TEST(Repetition, RetryWithANegativeCountDoesNotRetry) {
    int subscriptions = 0;
    auto failing = failingCountingSubscriptions(subscriptions);
    bool failed = false;
    failing->retry(-1)->subscribeError([&](const Ref<ns::Error>&) { failed = true; });
    EXPECT_TRUE(failed);
    EXPECT_EQ(subscriptions, 1);
}

TEST(Repetition, RetryWithoutACountNeverFailsUntilDisposed) {
    int subscriptions = 0;
    auto failing = failingCountingSubscriptions(subscriptions);
    bool failed = false;
    auto forever = failing->retry()->subscribeError([&](const Ref<ns::Error>&) { failed = true; });
    for (int i = 0; i < 5; ++i) runMainLoopOnce();
    forever->dispose();
    testkit::drainMainQueue();
    EXPECT_FALSE(failed);
    EXPECT_GE(subscriptions, 5);
}

TEST(Repetition, RetryPassesACompletionThrough) {
    int completions = 0, completedSubscriptions = 0;
    Signal::createSignal([&](const Ref<Subscriber>& s) {
        ++completedSubscriptions;
        s->sendCompleted();
        return Ref<rt::Disposable>();
    })->retry(3)->subscribeCompleted([&] { ++completions; });
    testkit::drainMainQueue();
    EXPECT_EQ(completedSubscriptions, 1);
    EXPECT_EQ(completions, 1);
}

TEST(Repetition, RepeatOfEmptyRunsAtConstantStackDepthUntilDisposed) {
    int cycles = 0;
    std::uintptr_t lowest = UINTPTR_MAX, highest = 0;
    auto counted = Signal::createSignal([&](const Ref<Subscriber>& s) {
        int marker = 0;
        auto at = reinterpret_cast<std::uintptr_t>(&marker);
        lowest = std::min(lowest, at);
        highest = std::max(highest, at);
        ++cycles;
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    Ref<es::Disposable> subscription;
    subscription = counted->repeat()->subscribeNext([](const Id&) {});
    while (cycles < 10'000) runMainLoopOnce();
    subscription->dispose();
    int atDisposal = cycles;
    testkit::drainMainQueue();
    EXPECT_EQ(cycles, atDisposal);
    EXPECT_LT(highest - lowest, 4096u);
}

TEST(Repetition, RepeatOfAnErrorFails) {
    bool failed = false;
    Signal::error(failure())->repeat()->subscribeError([&](const Ref<ns::Error>&) { failed = true; });
    EXPECT_TRUE(failed);
}

// 1, nil, then an error from the domain "Round".
Ref<Signal> twoValuesThenAnError() {
    return Signal::createSignal([](const Ref<Subscriber>& s) {
        s->sendNext(ns::num(1));
        s->sendNext(nullptr);
        s->sendError(failure("Round"));
        return Ref<rt::Disposable>();
    });
}

TEST(EventsAsValues, MaterializeSendsEachEventAsAValueThenCompletes) {
    auto source = twoValuesThenAnError();
    std::vector<Ref<es::Event>> events;
    bool completed = false;
    source->materialize()->subscribeNextCompleted([&](const Id& v) { events.push_back(rt::cast<es::Event>(v)); },
                                                  [&] { completed = true; });
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]->eventType(), es::EventType::Next);
    EXPECT_FALSE(events[1]->value());
    EXPECT_EQ(events[2]->eventType(), es::EventType::Error);
    EXPECT_TRUE(completed);
}

TEST(EventsAsValues, DematerializeRestoresTheEvents) {
    auto source = twoValuesThenAnError();
    std::string back;
    source->materialize()->dematerialize()->subscribeNextErrorCompleted(
        [&](const Id& v) { back += text(v) + ","; }, [&](const Ref<ns::Error>& e) { back += e->domain()->utf8(); },
        [&] { back += "C"; });
    EXPECT_EQ(back, "1,nil,Round");

    std::string fromCompleted;
    Signal::returnValue(ns::num(5))->materialize()->dematerialize()->subscribeNextCompleted(
        [&](const Id& v) { fromCompleted += text(v) + ","; }, [&] { fromCompleted += "C"; });
    EXPECT_EQ(fromCompleted, "5,C");
}

TEST(EventsAsValues, IgnoreValuesKeepsOnlyTheEnd) {
    std::string ignored;
    Signal::returnValue(ns::num(5))->ignoreValues()->subscribeNextCompleted(
        [&](const Id& v) { ignored += text(v); }, [&] { ignored += "C"; });
    EXPECT_EQ(ignored, "C");
}

} // namespace
