// Folding, the blocking waits, the boolean and tuple operators, grouping, key-path bindings, the
// signal sequence and the windowing operators.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/block.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "streams/dealloc.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using es::Subscriber;
using es::Tuple;
using rt::Id;
using rt::Ref;
using testkit::record;

using testkit::failure;

// Sends the values (nullptr for nil), then completes, or fails with `error`.
Ref<Signal> sending(std::vector<Id> values, Ref<ns::Error> error = nullptr) {
    return Signal::createSignal([values, error](const Ref<Subscriber>& s) {
        for (const Id& v : values) s->sendNext(v);
        if (error) s->sendError(error);
        else s->sendCompleted();
    });
}

std::string shown(const Ref<ns::Array>& array) {
    if (!array) return "nil";
    std::string s;
    for (std::size_t i = 0; i < array->count(); ++i)
        s += (i ? " " : "") + (array->objectAtIndex(i) == ns::Null::null() ? std::string("null")
                                                                           : testkit::show(array->objectAtIndex(i)));
    return "[" + s + "]";
}

// The target of the bindings. Counts sets that reach it while it deallocates.
std::atomic<int> setsWhileDeallocating{0};

class Gauge final : public rt::Object {
    RT_CLASS(Gauge)
public:
    int level() const { return level_; }
    void setLevel(int v) {
        rt::KeyChange change(this, "level");
        if (isDeallocating()) ++setsWhileDeallocating;
        level_ = v;
    }
    Ref<Gauge> child() const { return child_; }
    void setChild(Ref<Gauge> v) {
        rt::KeyChange change(this, "child");
        child_ = std::move(v);
    }

private:
    std::atomic<int> level_{0};
    Ref<Gauge> child_;
};

RT_DEFINE_CLASS(Gauge, "ESTestGauge", rt::Object, rt::prop("level", &Gauge::level, &Gauge::setLevel),
                rt::prop("child", &Gauge::child, &Gauge::setChild))

// ---- Folding ----------------------------------------------------------------------------------

TEST(Folding, CollectKeepsNilAsNullAndGivesEachSubscriptionItsOwnArray) {
    auto collected = sending({ns::num(1), nullptr, ns::num(3)})->collect();
    auto first = record(collected);
    auto second = record(collected);
    ASSERT_EQ(first.values().size(), 1u);
    EXPECT_EQ(shown(rt::cast<ns::Array>(first.values()[0])), "[1 null 3]");
    EXPECT_TRUE(first.hasCompleted());
    ASSERT_EQ(second.values().size(), 1u);
    EXPECT_NE(first.values()[0], second.values()[0]);
    EXPECT_EQ(shown(rt::cast<ns::Array>(second.values()[0])), "[1 null 3]");

    EXPECT_EQ(shown(rt::cast<ns::Array>(record(Signal::empty()->collect()).values().at(0))), "[]");
    EXPECT_EQ(record(sending({ns::num(1)}, failure(4))->collect()).text(), "E4");
}

TEST(Folding, TakeLastKeepsTheNewestAndDropsThemOnError) {
    auto three = sending({ns::num(1), ns::num(2), ns::num(3)});
    EXPECT_EQ(record(three->takeLast(2)).text(), "2 3 C");
    EXPECT_EQ(record(three->takeLast(0)).text(), "C");
    EXPECT_EQ(record(three->takeLast(5)).text(), "1 2 3 C");
    EXPECT_EQ(record(sending({nullptr, ns::num(2)})->takeLast(2)).text(), "nil 2 C");
    EXPECT_EQ(record(sending({ns::num(1)}, failure(2))->takeLast(1)).text(), "E2");
}

TEST(Folding, AggregateSendsTheFinalValueOrTheStart) {
    auto sum = [](const Id& a, const Id& b) { return Id(ns::num(rt::cast<ns::Number>(a)->longValue() + rt::cast<ns::Number>(b)->longValue())); };
    EXPECT_EQ(record(sending({ns::num(1), ns::num(2), ns::num(3)})->aggregateWithStartReduce(ns::num(0), sum)).text(), "6 C");
    EXPECT_EQ(record(Signal::empty()->aggregateWithStartCombine(ns::num(0), sum)).text(), "0 C");
    EXPECT_EQ(record(sending({ns::num(1)}, failure(3))->aggregateWithStartReduce(ns::num(0), sum)).text(), "E3");

    std::string indexes;
    auto withIndex = sending({ns::num(5), ns::num(6)})->aggregateWithStartReduceWithIndex(
        ns::num(0), [&](const Id&, const Id& v, std::size_t i) {
            indexes += std::to_string(i);
            return v;
        });
    EXPECT_EQ(record(withIndex).text(), "6 C");
    EXPECT_EQ(indexes, "01");

    // A factory start is made afresh for each subscription, when it subscribes.
    int made = 0;
    auto counted = sending({ns::num(1)})->aggregateWithStartFactoryReduce([&] { return Id(ns::num(100 * ++made)); }, sum);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(record(counted).text(), "101 C");
    EXPECT_EQ(record(counted).text(), "201 C");
}

// ---- Blocking waits ---------------------------------------------------------------------------

TEST(BlockingWaits, FirstOrDefaultOnEmptyAndFailingSignals) {
    bool success = false;
    Ref<ns::Error> error = failure(9);
    EXPECT_EQ(testkit::show(Signal::empty()->firstOrDefault(ns::num(5), &success, &error)), "5");
    EXPECT_TRUE(success);
    EXPECT_FALSE(error); // written through even when there is none

    EXPECT_EQ(testkit::show(Signal::error(failure(7))->firstOrDefault(ns::num(5), &success, &error)), "5");
    EXPECT_FALSE(success);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 7);

    EXPECT_EQ(testkit::show(sending({ns::num(1), ns::num(2)})->first()), "1");
    EXPECT_FALSE(Signal::error(failure())->first());
    EXPECT_FALSE(sending({nullptr})->firstOrDefault(ns::num(5))); // a nil value is a value
}

TEST(BlockingWaits, WaitUntilCompletedAndToArray) {
    Ref<ns::Error> error;
    EXPECT_TRUE(sending({ns::num(1), ns::num(2)})->waitUntilCompleted(&error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(sending({ns::num(1)}, failure(6))->waitUntilCompleted(&error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 6);

    auto array = sending({ns::num(1), nullptr})->toArray();
    EXPECT_EQ(shown(array), "[1 null]");
    EXPECT_FALSE(rt::cast<ns::MutableArray>(array)); // a copy the caller cannot change
    EXPECT_FALSE(sending({ns::num(1)}, failure())->toArray());
}

// The value is sent from a worker once the waiting thread has subscribed, so it usually waits.
TEST(BlockingWaits, AWaitOffTheMainThreadTakesAValueSentFromAnotherThread) {
    testkit::Latch subscribed;
    auto later = Signal::createSignal([&](const Ref<Subscriber>& s) {
        subscribed.countDown();
        dispatch::async(dispatch::Queue::global(), [s] {
            s->sendNext(ns::num(8));
            s->sendCompleted();
        });
    });
    Id got;
    std::thread reader([&] { got = later->first(); });
    ASSERT_TRUE(subscribed.wait());
    reader.join();
    EXPECT_EQ(testkit::show(got), "8");
    EXPECT_TRUE(testkit::waitForWorkersIdle());
}

TEST(BlockingWaits, NoCheckFiresForAValueThatArrivesWhileSubscribing) {
    ns::CapturedLog log;
    auto replayed = es::ReplaySubject::make();
    replayed->sendNext(ns::num(2));
    EXPECT_EQ(testkit::show(Signal::returnValue(ns::num(1))->first()), "1");
    EXPECT_EQ(testkit::show(replayed->first()), "2");
    EXPECT_TRUE(log.lines().empty());
}

// On the main thread a wait is reported before it begins (in debug builds the report aborts). The
// value is sent only once the report is out, so the wait does begin.
TEST(BlockingWaits, AWaitOnTheMainThreadIsReported) {
    auto reported = std::make_shared<testkit::Latch>();
    std::vector<std::string> lines;
    ns::LogSink previous = ns::setLogSink([&, reported](std::string_view line) {
        lines.emplace_back(line);
        reported->countDown();
    });
    auto late = Signal::createSignal([reported](const Ref<Subscriber>& s) {
        dispatch::async(dispatch::Queue::global(), [s, reported] {
            if (reported->wait()) s->sendNext(ns::num(3));
            s->sendCompleted();
        });
    });
    Id got;
    EXPECT_DEBUG_DEATH(got = late->first(), "blocking");
    ns::setLogSink(previous);
    EXPECT_TRUE(testkit::waitForWorkersIdle());
#ifdef NDEBUG
    EXPECT_EQ(testkit::show(got), "3");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("a blocking wait on the main thread"), std::string::npos) << lines[0];
#endif
}

// ---- Booleans and tuples ----------------------------------------------------------------------

TEST(BooleansAndTuples, NotGivesIntegersAndAndOrGiveBools) {
    auto nots = record(sending({ns::Number::withBool(true), ns::num(0), nullptr})->logicalNot());
    EXPECT_EQ(nots.text(), "0 1 1 C");
    for (const Id& v : nots.values()) EXPECT_EQ(rt::cast<ns::Number>(v)->kind(), ns::Number::Kind::Int);

    auto yes = ns::Number::withBool(true), no = ns::Number::withBool(false);
    auto tuples = sending({Tuple::of(yes, no), Tuple::of(yes, yes), Tuple::withObjects({}), Tuple::withObjects({yes, nullptr})});
    auto ands = record(tuples->logicalAnd());
    EXPECT_EQ(ands.text(), "0 1 1 0 C"); // an empty tuple: true; nil counts as false
    EXPECT_TRUE(rt::cast<ns::Number>(ands.values()[0])->isBool());
    auto ors = record(tuples->logicalOr());
    EXPECT_EQ(ors.text(), "1 1 0 1 C"); // an empty tuple: false
    EXPECT_TRUE(rt::cast<ns::Number>(ors.values()[2])->isBool());
}

TEST(BooleansAndTuples, ReduceApplyCallsTheBlockInTheTupleWithTheRest) {
    std::string seen;
    auto block = rt::Block::make(std::function<Id(const Id&, const Id&, const Id&)>(
        [&](const Id& a, const Id& b, const Id& c) {
            seen = testkit::show(a) + "," + testkit::show(b) + "," + testkit::show(c);
            return Id(ns::str("done"));
        }));
    auto byValue = rt::Block::make(std::function<Id(Id)>([](Id a) { return a; }));
    auto applied = sending({Tuple::withObjects({block, ns::num(1), nullptr, ns::num(3)}), Tuple::withObjects({byValue, ns::num(4)})});
    EXPECT_EQ(record(applied->reduceApply()).text(), "done 4 C");
    EXPECT_EQ(seen, "1,nil,3");
}

TEST(BooleansAndTuples, AnyAndAllAnswerOnceAndLetGoOfTheSource) {
    auto subject = Subject::subject();
    auto anyBig = record(subject->any([](long n) { return n > 2; }));
    auto allSmall = record(subject->all([](long n) { return n < 3; }));
    subject->sendNext(ns::num(1));
    EXPECT_EQ(anyBig.text(), "");
    subject->sendNext(ns::num(5));
    EXPECT_EQ(anyBig.text(), "1 C");
    EXPECT_EQ(allSmall.text(), "0 C");
    subject->sendNext(ns::num(6)); // nobody listens any more
    EXPECT_EQ(anyBig.text(), "1 C");

    EXPECT_EQ(record(Signal::empty()->any()).text(), "0 C");
    EXPECT_EQ(record(sending({nullptr})->any()).text(), "1 C");
    EXPECT_EQ(record(Signal::error(failure())->any([](const Id&) { return true; })).text(), "0 C");
    EXPECT_EQ(record(Signal::error(failure())->all([](const Id&) { return true; })).text(), "0 C");
    EXPECT_EQ(record(sending({ns::num(1)})->all([](long n) { return n == 1; })).text(), "1 C");
}

// ---- Grouping ---------------------------------------------------------------------------------

TEST(Grouping, GroupsComeInTheOrderOfTheirFirstValueAndEndAfterTheResult) {
    auto subject = Subject::subject();
    std::string order;
    std::vector<testkit::Recorder> groups;
    auto d = subject->groupByTransform([](const Ref<ns::String>& s) { return Id(s->substringToIndex(1)); },
                                      [](const Ref<ns::String>& s) { return Id(s->substringFromIndex(1)); })
                 ->subscribeNextCompleted(
                     [&](const Ref<es::GroupedSignal>& group) {
                         order += testkit::show(group->key()) + " ";
                         groups.push_back(record(group));
                     },
                     [&] { order += "C "; });
    for (const char* s : {"a1", "b2", "a3"}) subject->sendNext(ns::str(s));
    EXPECT_EQ(order, "a b ");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].text(), "1 3");
    EXPECT_EQ(groups[1].text(), "2");
    subject->sendCompleted();
    EXPECT_EQ(order, "a b C ");
    EXPECT_EQ(groups[0].text(), "1 3 C");
    EXPECT_EQ(groups[1].text(), "2 C");
}

TEST(Grouping, NilKeysMakeOneGroupAndAnErrorReachesEveryGroup) {
    std::vector<Ref<es::GroupedSignal>> groups;
    std::vector<testkit::Recorder> recorders;
    auto result = record(sending({ns::num(1), nullptr, ns::num(3)}, failure(5))
                             ->groupBy([](const Id& v) { return v ? Id(ns::str("some")) : Id(); })
                             ->doNext([&](const Ref<es::GroupedSignal>& g) {
                                 groups.push_back(g);
                                 recorders.push_back(record(g));
                             }));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(testkit::show(groups[1]->key()), "nil");
    EXPECT_EQ(recorders[0].text(), "1 3 E5");
    EXPECT_EQ(recorders[1].text(), "nil E5");
    EXPECT_TRUE(result.error());
}

// ---- Key-path bindings ------------------------------------------------------------------------

TEST(KeyPathBinding, SetsEachValueAndTheNilValueForNil) {
    auto gauge = rt::make<Gauge>();
    gauge->setChild(rt::make<Gauge>());
    auto subject = Subject::subject();
    auto d = subject->setKeyPathOnObjectNilValue("child.level", gauge, ns::num(-1));
    subject->sendNext(ns::num(4));
    EXPECT_EQ(gauge->child()->level(), 4);
    subject->sendNext(nullptr);
    EXPECT_EQ(gauge->child()->level(), -1);
    d->dispose();
    subject->sendNext(ns::num(9));
    EXPECT_EQ(gauge->child()->level(), -1);
}

TEST(KeyPathBinding, AnErrorIsLoggedAndEndsTheBinding) {
    ns::CapturedLog log;
    auto gauge = rt::make<Gauge>();
    auto subject = Subject::subject();
    auto d = subject->setKeyPathOnObject("level", gauge);
    subject->sendNext(ns::num(2));
    subject->sendError(ns::Error::make("Test", 3));
    ASSERT_EQ(log.lines().size(), 1u);
    std::string expected = "Received error from " + subject->description() + " in binding for key path \"level\" on " +
                           gauge->description() + ": " + ns::Error::make("Test", 3)->description();
    EXPECT_EQ(log.lines()[0], expected);
    EXPECT_TRUE(d->isDisposed());
    EXPECT_EQ(gauge->level(), 2);
}

TEST(KeyPathBinding, EndsWithTheTargetAndLeavesItsDeallocDisposableWhenItEndsFirst) {
    std::atomic<int> disposals{0};
    auto source = Signal::createSignal([&](const Ref<Subscriber>&) {
        return es::Disposable::withBlock([&] { ++disposals; });
    });
    auto gauge = rt::make<Gauge>();
    auto d = source->toPropertyOnObject("level", gauge);
    gauge = nullptr;
    EXPECT_EQ(disposals, 1);
    EXPECT_TRUE(d->isDisposed());

    // Ended by its source: the binding no longer sits in the (still living) target's disposable.
    auto kept = rt::make<Gauge>();
    std::vector<Ref<es::Disposable>> ended;
    for (int i = 0; i < 100; ++i) ended.push_back(sending({ns::num(i)})->setKeyPathOnObject("level", kept));
    EXPECT_EQ(kept->level(), 99);
    for (const auto& e : ended) EXPECT_TRUE(e->isDisposed());
    std::int64_t before = rt::liveObjectCount();
    ended.clear();
    EXPECT_EQ(rt::liveObjectCount(), before - 100);
}

// Values arrive from two threads while the target's last reference goes: the binding sets
// nothing on a target that has begun to deallocate, and never touches a freed one.
TEST(KeyPathBinding, AValueRacingWithTheTargetsDeallocationNeverReachesIt) {
    setsWhileDeallocating = 0;
    for (int round = 0; round < 20; ++round) {
        auto subject = Subject::subject();
        auto gauge = rt::make<Gauge>();
        subject->setKeyPathOnObject("level", gauge);
        std::atomic<bool> stop{false};
        testkit::Latch running(2);
        std::vector<std::thread> senders;
        for (int t = 0; t < 2; ++t) {
            senders.emplace_back([&] {
                running.countDown();
                for (int i = 0; !stop.load(); ++i) subject->sendNext(ns::num(i));
            });
        }
        ASSERT_TRUE(running.wait());
        gauge = nullptr;
        stop = true;
        for (auto& t : senders) t.join();
    }
    EXPECT_EQ(setsWhileDeallocating, 0);
}

// ---- Windows ----------------------------------------------------------------------------------

TEST(Windows, ValuesGoToTheOpenWindowUntilItsCloserFires) {
    auto values = Subject::subject(), opens = Subject::subject(), closes = Subject::subject();
    std::vector<testkit::Recorder> windows;
    auto d = values->windowWithStartClose(opens, [&](const Ref<Subject>&) { return Ref<Signal>(closes); })
                 ->subscribeNext([&](const Ref<Subject>& w) { windows.push_back(record(w)); });
    values->sendNext(ns::num(0)); // no window yet
    opens->sendNext(ns::num(1));
    opens->sendNext(ns::num(1)); // one is open already
    values->sendNext(ns::num(1));
    values->sendNext(ns::num(2));
    closes->sendNext(ns::num(1));
    values->sendNext(ns::num(3));
    opens->sendNext(ns::num(1));
    values->sendNext(ns::num(4));
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].text(), "1 2 C");
    EXPECT_EQ(windows[1].text(), "4");
    d->dispose();
}

TEST(Windows, BufferSendsFullTuplesAndDropsAPartialOne) {
    auto subject = Subject::subject();
    auto twos = record(subject->buffer(2));
    auto none = record(subject->buffer(0));
    for (Id v : {Id(ns::num(1)), Id(), Id(ns::num(3)), Id(ns::num(4)), Id(ns::num(5))}) subject->sendNext(v);
    subject->sendCompleted();
    EXPECT_EQ(twos.text(), "(1,nil) (3,4) C");
    EXPECT_EQ(none.text(), "C");
}

} // namespace
