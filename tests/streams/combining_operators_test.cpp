#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using es::Subscriber;
using es::Tuple;
using rt::Id;
using rt::Ref;

using testkit::record;

// A signal that never ends on its own (it keeps its subscriber), counting its subscriptions and
// disposals.
struct Probe {
    int subscriptions = 0, disposals = 0;
    Ref<Signal> signal() {
        return Signal::createSignal([this](const Ref<Subscriber>& s) {
            ++subscriptions;
            return Ref<rt::Disposable>(es::Disposable::withBlock([this, s] { ++disposals; }));
        });
    }
};

Id n(long v) {
    return ns::num(v);
}

TEST(TakeUntil, ATriggerValueBeforeTheSubscriptionEndsItAtOnce) {
    Probe receiver;
    auto immediate = record(receiver.signal()->takeUntil(Signal::returnValue(n(1))));
    EXPECT_EQ(immediate.text(), "C");
    EXPECT_EQ(receiver.subscriptions, 0); // the trigger fired before the receiver was subscribed
}

TEST(TakeUntil, AnErrorFromTheTriggerDoesNotEndIt) {
    auto source = Subject::subject();
    auto failing = record(source->takeUntil(Signal::error(ns::Error::make("T", 9))));
    source->sendNext(n(1));
    source->sendNext(n(2));
    EXPECT_EQ(failing.text(), "1 2");
    source->sendCompleted();
}

TEST(TakeUntil, TheTriggersCompletionEndsItAndDisposesTheReceiver) {
    Probe receiver;
    auto trigger = Subject::subject();
    auto triggered = record(receiver.signal()->takeUntil(trigger));
    EXPECT_EQ(receiver.disposals, 0);
    trigger->sendCompleted(); // completion without a value also ends it
    EXPECT_EQ(triggered.text(), "C");
    EXPECT_EQ(receiver.disposals, 1);
}

TEST(TakeUntilReplacement, ReceiverUntilTheReplacementSendsAnything) {
    auto receiver = Subject::subject(), replacement = Subject::subject();
    auto log = record(receiver->takeUntilReplacement(replacement));
    receiver->sendNext(n(1));
    receiver->sendCompleted(); // not forwarded: waits for the replacement
    replacement->sendNext(n(2));
    replacement->sendCompleted();
    EXPECT_EQ(log.text(), "1 2 C");
}

TEST(TakeUntilReplacement, TheReplacementsFirstEventDisposesTheReceiverFirst) {
    Probe probe;
    auto receiver = Subject::subject(), replacement = Subject::subject();
    auto swapped = record(Signal::merge({receiver, probe.signal()})->takeUntilReplacement(replacement));
    receiver->sendNext(n(1));
    EXPECT_EQ(probe.disposals, 0);
    replacement->sendNext(n(9)); // disposes the receiver first
    EXPECT_EQ(probe.disposals, 1);
    receiver->sendNext(n(2));
    replacement->sendError(ns::Error::make("R", 3));
    EXPECT_EQ(swapped.text(), "1 9 E3");
}

TEST(CombineLatest, WaitsForEverySignalAndKeepsNil) {
    auto a = Subject::subject(), b = Subject::subject(), c = Subject::subject();
    auto log = record(Signal::combineLatest({a, b, c}));
    a->sendNext(n(1));
    b->sendNext(nullptr);
    EXPECT_EQ(log.text(), "");
    c->sendNext(n(3));
    a->sendNext(n(4));
    a->sendCompleted();
    b->sendCompleted();
    c->sendNext(n(5));
    c->sendCompleted();
    EXPECT_EQ(log.text(), "(1,nil,3) (4,nil,3) (4,nil,5) C");
}

TEST(CombineLatest, ASignalThatCompletesWithoutSendingMeansNoTuple) {
    auto early = Subject::subject(), other = Subject::subject();
    auto oneSided = record(early->combineLatestWith(other));
    early->sendCompleted();
    other->sendNext(n(1)); // the other side never sent: no tuple
    other->sendCompleted();
    EXPECT_EQ(oneSided.text(), "C");
}

TEST(CombineLatest, OfNoSignalsCompletes) {
    auto none = record(Signal::combineLatest({}));
    EXPECT_EQ(none.text(), "C");
}

TEST(CombineLatest, ReduceSpreadsEachTupleOverTheBlockOrSendsTheTupleWithoutOne) {
    auto x = Subject::subject(), y = Subject::subject();
    auto reduced =
        record(Signal::combineLatestReduce({x, y}, [](const Ref<ns::Number>& p, const Ref<ns::Number>& q) {
            return ns::num(p->longLongValue() + (q ? q->longLongValue() : 100));
        }));
    auto tuples = record(Signal::combineLatestReduce({x, y}, nullptr));
    x->sendNext(n(1));
    y->sendNext(nullptr);
    y->sendNext(n(2));
    EXPECT_EQ(reduced.text(), "101 3");
    EXPECT_EQ(tuples.text(), "(1,nil) (1,2)");
    reduced.dispose();
    tuples.dispose();
}

// combineLatest and zip send one tuple per event, changed in place for the next when nothing else
// holds it: every tuple a subscriber keeps, references weakly, or is still reading (while it sends
// more from inside) keeps the values it was sent with.
struct TupleKeeping {
    const char* name;
    bool zip;
    // What the subscriber does with each tuple: keeps it, keeps a weak reference, or sends into
    // the first source from inside once and reads the tuple afterwards.
    enum { Keep, Weak, SendFromInside } use;
    std::string expected;
};

class TuplesSent : public ::testing::TestWithParam<TupleKeeping> {};

TEST_P(TuplesSent, KeepTheValuesTheyWereSentWith) {
    const TupleKeeping& row = GetParam();
    auto a = Subject::subject(), b = Subject::subject();
    Ref<Signal> combined = row.zip ? Signal::zip({a, b}) : Signal::combineLatest({a, b});
    std::vector<Ref<Tuple>> kept;
    std::vector<rt::Weak<Tuple>> weak;
    std::vector<std::string> seen; // as read when each delivery returns
    bool sentFromInside = false;
    auto subscription = combined->subscribeNext([&](const Ref<Tuple>& t) {
        if (row.use == TupleKeeping::Keep) kept.push_back(t);
        if (row.use == TupleKeeping::Weak) weak.emplace_back(t);
        if (row.use == TupleKeeping::SendFromInside && !std::exchange(sentFromInside, true)) a->sendNext(n(9));
        seen.push_back(testkit::show(t));
    });
    a->sendNext(n(1));
    b->sendNext(n(2));
    a->sendNext(n(3));
    b->sendNext(n(4));
    std::string later; // read again now, after every event (the last is still the operator's)
    for (const auto& t : kept) later += testkit::show(t) + " ";
    for (const auto& w : weak)
        if (auto t = w.lock()) later += testkit::show(t) + " ";
    std::string all;
    for (const auto& text : seen) all += text + " ";
    EXPECT_EQ(all + "| " + later, row.expected);
    subscription->dispose();
}

INSTANTIATE_TEST_SUITE_P(
    CombineLatestAndZip, TuplesSent,
    ::testing::Values(
        TupleKeeping{"CombineLatestKept", false, TupleKeeping::Keep, "(1,2) (3,2) (3,4) | (1,2) (3,2) (3,4) "},
        TupleKeeping{"CombineLatestWeak", false, TupleKeeping::Weak, "(1,2) (3,2) (3,4) | (3,4) "},
        TupleKeeping{"CombineLatestSendingFromInside", false, TupleKeeping::SendFromInside,
                     "(9,2) (1,2) (3,2) (3,4) | "},
        TupleKeeping{"ZipKept", true, TupleKeeping::Keep, "(1,2) (3,4) | (1,2) (3,4) "},
        TupleKeeping{"ZipWeak", true, TupleKeeping::Weak, "(1,2) (3,4) | (3,4) "},
        TupleKeeping{"ZipSendingFromInside", true, TupleKeeping::SendFromInside, "(1,2) (9,4) | "}),
    [](const ::testing::TestParamInfo<TupleKeeping>& info) { return std::string(info.param.name); });

TEST(Flatten, LimitHoldsLaterSignalsUntilOneCompletes) {
    auto outer = Subject::subject();
    std::vector<Ref<Subject>> inner = {Subject::subject(), Subject::subject(), Subject::subject()};
    int thirdSubscribed = 0;
    auto third = Signal::defer([&] {
        ++thirdSubscribed;
        return Ref<Signal>(inner[2]);
    });
    auto log = record(outer->flatten(2));
    outer->sendNext(inner[0]);
    outer->sendNext(nullptr); // ignored
    outer->sendNext(inner[1]);
    outer->sendNext(third);
    outer->sendCompleted();
    EXPECT_EQ(thirdSubscribed, 0);
    inner[1]->sendNext(n(2));
    inner[1]->sendCompleted();
    EXPECT_EQ(thirdSubscribed, 1);
    inner[2]->sendNext(n(3));
    inner[0]->sendNext(n(1));
    inner[0]->sendCompleted();
    EXPECT_EQ(log.text(), "2 3 1");
    inner[2]->sendCompleted(); // the outer and every inner signal have completed
    EXPECT_EQ(log.text(), "2 3 1 C");
}

TEST(Flatten, ConcatSubscribesToEachSignalOnlyAfterTheOneBeforeCompleted) {
    auto outer = Subject::subject(), first = Subject::subject();
    auto log = record(outer->concat());
    outer->sendNext(first);
    auto second = Subject::subject();
    outer->sendNext(second);
    second->sendNext(n(9)); // not subscribed yet
    first->sendNext(n(1));
    first->sendCompleted();
    second->sendNext(n(2));
    second->sendCompleted();
    EXPECT_EQ(log.text(), "1 2");
}

TEST(Flatten, ConcatOfManyWaitingSignalsRunsThemOneAfterAnotherWithoutDeepeningTheStack) {
    constexpr long kCount = 200000;
    auto blocker = Subject::subject();
    long sum = 0, expected = 0;
    bool completed = false;
    auto many = Signal::createSignal([&](const Ref<Subscriber>& s) {
        s->sendNext(blocker);
        for (long i = 0; i < kCount; ++i)
            s->sendNext(Signal::returnValue(n(i)));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    long last = -1;
    bool ordered = true;
    many->concat()->subscribeNextCompleted(
        [&](const Id& v) {
            long i = rt::cast<ns::Number>(v)->longLongValue();
            ordered = ordered && i == last + 1;
            last = i;
            sum += i;
        },
        [&] { completed = true; });
    for (long i = 0; i < kCount; ++i)
        expected += i;
    EXPECT_EQ(sum, 0);
    blocker->sendCompleted();
    EXPECT_EQ(sum, expected);
    EXPECT_TRUE(ordered);
    EXPECT_TRUE(completed);
}

TEST(Merge, OfNoSignalsCompletes) {
    auto none = record(Signal::merge(std::vector<Ref<Signal>>{}));
    EXPECT_EQ(none.text(), "C");
}

TEST(Merge, AnErrorDisposesTheOthers) {
    Probe probe;
    auto a = Subject::subject(), failing = Subject::subject();
    auto log = record(a->merge(probe.signal())->merge(failing));
    a->sendNext(n(1));
    failing->sendNext(n(2));
    EXPECT_EQ(probe.disposals, 0);
    failing->sendError(ns::Error::make("M", 4));
    EXPECT_EQ(probe.disposals, 1);
    a->sendNext(n(3));
    EXPECT_EQ(log.text(), "1 2 E4");
}

TEST(SwitchToLatest, FollowsTheNewestInnerSignal) {
    auto outer = Subject::subject(), a = Subject::subject(), b = Subject::subject();
    auto log = record(outer->switchToLatest());
    outer->sendNext(a);
    a->sendNext(n(1));
    outer->sendNext(b);
    a->sendNext(n(2)); // dropped
    b->sendNext(n(3));
    outer->sendCompleted(); // b still runs
    b->sendNext(n(4));
    EXPECT_EQ(log.text(), "1 3 4");
    b->sendCompleted();
    EXPECT_EQ(log.text(), "1 3 4 C");
}

TEST(SwitchToLatest, ANilInnerSignalEndsThePreviousOne) {
    auto outer = Subject::subject(), c = Subject::subject();
    auto nilInner = record(outer->switchToLatest());
    outer->sendNext(c);
    outer->sendNext(nullptr); // ends c like any other inner signal
    c->sendNext(n(5));
    EXPECT_EQ(nilInner.text(), "");
    outer->sendCompleted();
    EXPECT_EQ(nilInner.text(), "C");
}

// Keys "a" and nil have cases; "zz" has none.
Ref<ns::Dictionary> twoCases() {
    return ns::Dictionary::withPairs(
        {{ns::str("a"), Signal::returnValue(n(1))}, {es::TupleNil::tupleNil(), Signal::returnValue(n(0))}});
}

void sendKeysWithACaseThenOneWithout(const Ref<Subject>& keys) {
    keys->sendNext(ns::str("a"));
    keys->sendNext(nullptr);
    keys->sendNext(ns::str("zz"));
}

TEST(SwitchCases, PicksTheCaseOrTheDefault) {
    auto keys = Subject::subject();
    auto withDefault = record(Signal::switchCasesDefault(keys, twoCases(), Signal::returnValue(n(9))));
    sendKeysWithACaseThenOneWithout(keys);
    EXPECT_EQ(withDefault.text(), "1 0 9");
    withDefault.dispose();
}

TEST(SwitchCases, FailsForAKeyWithoutACaseWhenThereIsNoDefault) {
    auto keys = Subject::subject();
    auto withoutDefault = record(Signal::switchCasesDefault(keys, twoCases(), nullptr));
    sendKeysWithACaseThenOneWithout(keys);
    EXPECT_EQ(withoutDefault.text(), "1 0 E2");
    auto error = withoutDefault.error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain()->utf8(), "ESSignalErrorDomain");
    EXPECT_EQ(error->code(), 2);
    EXPECT_EQ(error->userInfo()->count(), 1u);
    EXPECT_EQ(error->localizedDescription()->utf8(), "No matching signal found for value zz");
}

TEST(IfThenElse, FollowsTheBranchTheLatestFlagPicks) {
    auto flags = Subject::subject(), yes = Subject::subject(), no = Subject::subject();
    auto chosen = record(Signal::ifThenElse(flags, yes, no));
    flags->sendNext(ns::num(true));
    yes->sendNext(n(1));
    no->sendNext(n(2));
    flags->sendNext(ns::num(false));
    yes->sendNext(n(3));
    no->sendNext(n(4));
    EXPECT_EQ(chosen.text(), "1 4");
    chosen.dispose();
}

TEST(Sample, SendsTheLatestValueOnEachSamplerValue) {
    auto source = Subject::subject(), sampler = Subject::subject();
    auto log = record(source->sample(sampler));
    sampler->sendNext(nullptr); // nothing yet
    source->sendNext(n(1));
    sampler->sendNext(nullptr);
    sampler->sendNext(nullptr); // again, though unchanged
    source->sendNext(nullptr);
    source->sendNext(n(2));
    sampler->sendNext(nullptr);
    source->sendCompleted();
    sampler->sendNext(nullptr);
    EXPECT_EQ(log.text(), "1 1 2 C");
}

} // namespace
