// Nil where a signal, a subscriber or a disposable is expected: every subscription hands back a
// disposable that can be disposed, and a nil signal argument counts as an empty signal.

#include <gtest/gtest.h>

#include <vector>

#include "platform/foundation/error.h"
#include "platform/runtime/number.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using rt::Id;
using rt::Ref;

TEST(SubscriptionDisposables, ConstantSignalsHandBackADisposedDisposable) {
    std::vector<Ref<Signal>> constants = {Signal::empty(), Signal::returnValue(ns::num(1)),
                                          Signal::returnValue(nullptr), Signal::error(ns::Error::make("T", 1))};
    for (const auto& signal : constants) {
        auto d = signal->subscribeNextErrorCompleted([](const Id&) {}, [](const Ref<ns::Error>&) {}, [] {});
        ASSERT_TRUE(d) << signal->description();
        EXPECT_TRUE(d->isDisposed());
        d->dispose(); // harmless
    }
    // Subscribing directly, with the subscriber's own blocks, is the same.
    auto subscriber = es::BlockSubscriber::subscriberWithNextErrorCompleted(nullptr, nullptr, nullptr);
    auto d = Signal::empty()->subscribe(subscriber);
    ASSERT_TRUE(d);
    d->dispose();
}

TEST(SubscriptionDisposables, OperatorsOverConstantSignalsHandBackOneToo) {
    auto d = Signal::returnValue(ns::num(1))->map([](const Id& v) { return v; })->subscribeNext([](const Id&) {});
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isDisposed());
    auto source = Subject::subject();
    auto live = source->map([](const Id& v) { return v; })->subscribeNext([](const Id&) {});
    ASSERT_TRUE(live);
    EXPECT_FALSE(live->isDisposed());
    live->dispose();
}

TEST(NilSubscriber, SubscribingNilSubscribesNothing) {
    int subscriptions = 0;
    auto source = Signal::createSignal([&](const Ref<es::Subscriber>& s) {
        ++subscriptions;
        s->sendNext(ns::num(1));
        return nullptr;
    });
    for (const auto& signal : std::vector<Ref<Signal>>{source, source->map([](const Id& v) { return v; }),
                                                       Signal::empty(), Signal::returnValue(ns::num(1)),
                                                       Subject::subject(), es::ReplaySubject::subject()}) {
        auto d = signal->subscribe(nullptr);
        ASSERT_TRUE(d) << signal->description();
        EXPECT_TRUE(d->isDisposed());
    }
    EXPECT_EQ(subscriptions, 0);
}

TEST(NilSignalArguments, TakeUntilNilCompletesAtOnce) {
    auto source = Subject::subject();
    auto recorder = testkit::record(source->takeUntil(nullptr));
    source->sendNext(ns::num(1));
    EXPECT_EQ(recorder.text(), "C");
}

TEST(NilSignalArguments, MergeSkipsNilEntries) {
    auto a = Subject::subject();
    auto merged = testkit::record(Signal::merge({a, nullptr}));
    auto pair = testkit::record(a->merge(nullptr));
    a->sendNext(ns::num(1));
    a->sendCompleted();
    EXPECT_EQ(merged.text(), "1 C");
    EXPECT_EQ(pair.text(), "1 C");
}

TEST(NilSignalArguments, ConcatTakesNilAsEmpty) {
    auto a = Subject::subject();
    auto chained = testkit::record(a->concat(nullptr));
    auto listed = testkit::record(Signal::concat({nullptr, a, nullptr}));
    a->sendNext(ns::num(1));
    a->sendCompleted();
    EXPECT_EQ(chained.text(), "1 C");
    EXPECT_EQ(listed.text(), "1 C");
}

TEST(NilSignalArguments, ZipAndCombineLatestTakeNilAsEmpty) {
    auto a = Subject::subject();
    auto zipped = testkit::record(a->zipWith(nullptr));
    auto zippedList = testkit::record(Signal::zip({a, nullptr}));
    auto combined = testkit::record(a->combineLatestWith(nullptr));
    auto combinedList = testkit::record(Signal::combineLatest({nullptr, a}));
    EXPECT_EQ(zipped.text(), "C");
    EXPECT_EQ(zippedList.text(), "C");
    a->sendNext(ns::num(1));
    a->sendCompleted();
    EXPECT_EQ(combined.text(), "C");
    EXPECT_EQ(combinedList.text(), "C");
}

TEST(NilSignalArguments, SampleAndReplacementTakeNilAsEmpty) {
    auto a = Subject::subject();
    auto sampled = testkit::record(a->sample(nullptr));
    auto replaced = testkit::record(a->takeUntilReplacement(nullptr));
    auto caught = testkit::record(Signal::error(ns::Error::make("T", 3))->catchTo(nullptr));
    a->sendNext(ns::num(1));
    EXPECT_EQ(sampled.text(), "C");
    EXPECT_EQ(replaced.text(), "C");
    EXPECT_EQ(caught.text(), ""); // a nil replacement subscribes nothing, as catch's block may return
    a->sendCompleted();
}

TEST(NilSignalArguments, SwitchingTakesNilAsEmpty) {
    auto keys = Subject::subject();
    auto switched = testkit::record(Signal::switchCasesDefault(nullptr, nullptr, nullptr));
    auto branched = testkit::record(Signal::ifThenElse(nullptr, keys, keys));
    auto picked = testkit::record(Signal::ifThenElse(keys, nullptr, nullptr));
    keys->sendNext(ns::num(true));
    keys->sendCompleted();
    EXPECT_EQ(switched.text(), "C");
    EXPECT_EQ(branched.text(), "C");
    EXPECT_EQ(picked.text(), "C");
}

TEST(NilSchedulers, DeliverOnAndSubscribeOnNilRunInline) {
    auto a = Subject::subject();
    auto delivered = testkit::record(a->deliverOn(nullptr));
    auto subscribed = testkit::record(a->subscribeOn(nullptr));
    a->sendNext(ns::num(1));
    a->sendCompleted();
    EXPECT_EQ(delivered.text(), "1 C");
    EXPECT_EQ(subscribed.text(), "1 C");
}

TEST(NilSignalArguments, MulticastOfNilSubjectSharesThroughANewOne) {
    auto a = Subject::subject();
    auto connection = a->multicast(nullptr);
    auto recorder = testkit::record(connection->signal());
    connection->connect();
    a->sendNext(ns::num(1));
    a->sendCompleted();
    EXPECT_EQ(recorder.text(), "1 C");
}

} // namespace
