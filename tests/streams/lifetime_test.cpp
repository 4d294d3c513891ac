// What a subscription keeps alive: never its source in a cycle, so a source that goes away without
// ending frees the subscription with it; and long compositions that need constant stack.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using rt::Id;
using rt::Ref;

// Subscribes the operator (built over a source subject) with a block that captures a witness (any
// object will do),
// sends what `feed` sends, then drops every reference the test holds. Returns whether the witness
// (and so the whole subscription) was freed, and checks the live-object count came back.
bool freedWhenTheSourceGoesAway(const std::function<Ref<Signal>(const Ref<Subject>&)>& build,
                                const std::function<void(const Ref<Subject>&)>& feed = nullptr) {
    std::int64_t before = rt::liveObjectCount();
    rt::Weak<es::Disposable> weakWitness;
    {
        auto source = Subject::subject();
        auto witness = es::Disposable::make();
        weakWitness = witness;
        build(source)->subscribeNext([witness](const Id&) {});
        if (feed) feed(source);
    }
    bool freed = !weakWitness.lock();
    EXPECT_EQ(rt::liveObjectCount(), before);
    return freed;
}

TEST(SourceGoesAway, FlattenMapFreesItsSubscription) {
    EXPECT_TRUE(freedWhenTheSourceGoesAway([](const Ref<Subject>& s) {
        return s->flattenMap([](const Id& v) { return Signal::returnValue(v); });
    }));
}

TEST(SourceGoesAway, ChainsOfOperatorsFreeTheirSubscriptions) {
    EXPECT_TRUE(freedWhenTheSourceGoesAway(
        [](const Ref<Subject>& s) {
            return s->map([](long n) { return n + 1; })
                ->filter([](const Id&) { return true; })
                ->take(5)
                ->doNext([](const Id&) {})
                ->zipWith(Signal::never())
                ->merge(Signal::never());
        },
        [](const Ref<Subject>& s) { s->sendNext(ns::num(1)); }));
}

TEST(SourceGoesAway, SwitchToLatestFreesItsSubscription) {
    EXPECT_TRUE(freedWhenTheSourceGoesAway([](const Ref<Subject>& s) { return s->switchToLatest(); }));
    EXPECT_TRUE(freedWhenTheSourceGoesAway([](const Ref<Subject>& s) { return s->switchToLatest(); },
                                           [](const Ref<Subject>& s) {
                                               auto inner = Subject::subject();
                                               s->sendNext(inner);
                                               inner->sendNext(ns::num(1));
                                           }));
    EXPECT_TRUE(freedWhenTheSourceGoesAway([](const Ref<Subject>& s) { return s->switchToLatest(); },
                                           [](const Ref<Subject>& s) { s->sendNext(Signal::never()); }));
}

TEST(SourceGoesAway, SwitchCasesAndIfThenElseFreeTheirSubscriptions) {
    EXPECT_TRUE(freedWhenTheSourceGoesAway(
        [](const Ref<Subject>& keys) {
            auto cases = ns::Dictionary::withPairs({{ns::str("a"), Signal::never()}});
            return Signal::switchCasesDefault(keys, cases, Signal::never());
        },
        [](const Ref<Subject>& keys) { keys->sendNext(ns::str("a")); }));
    EXPECT_TRUE(freedWhenTheSourceGoesAway(
        [](const Ref<Subject>& flags) { return Signal::ifThenElse(flags, Signal::never(), Signal::never()); },
        [](const Ref<Subject>& flags) { flags->sendNext(ns::num(true)); }));
}

TEST(SourceGoesAway, DeliverOnAndDeliverOnMainThreadFreeTheirSubscriptions) {
    EXPECT_TRUE(freedWhenTheSourceGoesAway(
        [](const Ref<Subject>& s) { return s->deliverOn(es::Scheduler::mainThreadScheduler()); }));
    EXPECT_TRUE(freedWhenTheSourceGoesAway([](const Ref<Subject>& s) { return s->deliverOnMainThread(); },
                                           [](const Ref<Subject>& s) { s->sendNext(ns::num(1)); }));
}

TEST(LongCompositions, ConcatOfTwentyThousandSignalsRunsInConstantStack) {
    constexpr int kCount = 20000;
    std::vector<Ref<Signal>> signals;
    signals.reserve(kCount);
    for (int i = 0; i < kCount; ++i) signals.push_back(Signal::returnValue(ns::num(i)));
    long sum = 0, count = 0;
    bool completed = false;
    Signal::concat(signals)->subscribeNextCompleted(
        [&](const Id& v) {
            sum += rt::cast<ns::Number>(v)->longValue();
            ++count;
        },
        [&] { completed = true; });
    EXPECT_EQ(count, kCount);
    EXPECT_EQ(sum, static_cast<long>(kCount) * (kCount - 1) / 2);
    EXPECT_TRUE(completed);
}

TEST(LongCompositions, ConcatOfTwentyThousandSubjectsRunsInOrder) {
    constexpr int kCount = 20000;
    std::vector<Ref<Subject>> subjects;
    for (int i = 0; i < kCount; ++i) subjects.push_back(Subject::subject());
    auto recorder = testkit::record(Signal::concat(std::vector<Ref<Signal>>(subjects.begin(), subjects.end())));
    for (int i = kCount - 1; i >= 0; --i) subjects[i]->sendNext(ns::num(i)); // only the first is subscribed
    EXPECT_EQ(recorder.text(), "0");
    for (auto& s : subjects) s->sendCompleted(); // each completion lets in the next, which completes
    EXPECT_EQ(recorder.text(), "0 C");
}

} // namespace
