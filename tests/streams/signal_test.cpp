#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "streams/event.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subscriber;
using rt::Id;
using rt::Ref;

using testkit::record;

// Errors recorded with their domain: "1 E:Test/1".
constexpr testkit::RecordOptions kDomains{.errorDomains = true};

using testkit::failure;

// A signal that sends the given numbers, then completes, counting its subscriptions.
Ref<Signal> numbers(std::vector<int> values, int* subscriptions = nullptr) {
    return Signal::createSignal([values, subscriptions](const Ref<Subscriber>& s) {
        if (subscriptions) ++*subscriptions;
        for (int v : values) s->sendNext(ns::num(v));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
}

TEST(Signal, EventsAfterTheFirstTerminationAreIgnoredAndTheSubscriptionDisposed) {
    std::string order;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        s->sendNext(ns::num(1));
        s->sendError(failure());
        s->sendNext(ns::num(2));
        s->sendCompleted();
        return Ref<rt::Disposable>(es::Disposable::withBlock([&] { order += "dispose,"; }));
    });
    source->subscribeNextErrorCompleted([&](const Id&) { order += "next,"; },
                                        [&](const Ref<ns::Error>&) { order += "error,"; },
                                        [&] { order += "completed,"; });
    // The disposable is returned after the events here, so it is disposed when it is added to
    // the already-disposed subscription: still before anything else could arrive.
    EXPECT_EQ(order, "next,error,dispose,");
}

TEST(Signal, ADisposalBlockInstalledBeforeTerminatingRunsBeforeTheTerminalBlock) {
    std::string order;
    auto early = Signal::createSignal([&](const Ref<Subscriber>& s) {
        s->didSubscribeWithDisposable(es::CompoundDisposable::withBlock([&] { order += "dispose,"; }));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    early->subscribeCompleted([&] { order += "completed,"; });
    EXPECT_EQ(order, "dispose,completed,");
}

TEST(Signal, CreateSignalIsSynchronousOnTheMainThread) {
    auto r = record(Signal::returnValue(ns::num(7)), kDomains);
    EXPECT_EQ(r.text(), "7 C");
}

TEST(Signal, CreateSignalIsDeferredFromAThreadWithoutACurrentScheduler) {
    // The work goes to a background scheduler.
    std::thread::id subscribing, delivering;
    std::optional<testkit::Recorder> r;
    std::thread([&] {
        subscribing = std::this_thread::get_id();
        r.emplace(Signal::returnValue(ns::num(8))->doNext([&](const Id&) {
            delivering = std::this_thread::get_id();
        }));
    }).join();
    ASSERT_TRUE(r->waitFor("8 C"));
    EXPECT_NE(delivering, subscribing);
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(Signal, ConstantSignalsAreShared) {
    EXPECT_EQ(Signal::returnValue(es::Unit::defaultUnit()), Signal::returnValue(es::Unit::defaultUnit()));
    EXPECT_EQ(Signal::returnValue(nullptr), Signal::returnValue(nullptr));
    EXPECT_EQ(Signal::empty(), Signal::empty());
}

TEST(Signal, ConstantSignalsSendTheirEvents) {
    auto nilValue = record(Signal::returnValue(nullptr), kDomains);
    auto empty = record(Signal::empty(), kDomains);
    auto error = record(Signal::error(failure("Boom")), kDomains);
    auto never = record(Signal::never(), kDomains);
    auto nilBlock = record(Signal::createSignal(nullptr), kDomains);
    EXPECT_EQ(nilValue.text(), "nil C");
    EXPECT_EQ(empty.text(), "C");
    EXPECT_EQ(error.text(), "E:Boom/1");
    EXPECT_EQ(never.text(), "");
    EXPECT_EQ(nilBlock.text(), "");
    EXPECT_TRUE(nilBlock.disposable());
    never.dispose();
}

TEST(Signal, ConstantSignalsAreNamed) {
    EXPECT_EQ(Signal::empty()->name(), "+empty");
    EXPECT_EQ(Signal::error(nullptr)->name(), "+error:");
}

TEST(Signal, DisposingStopsDelivery) {
    Ref<Subscriber> captured;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        captured = s;
        return Ref<rt::Disposable>();
    });
    auto r = record(source, kDomains);
    captured->sendNext(ns::num(1));
    r.dispose();
    captured->sendNext(ns::num(2));
    captured->sendCompleted();
    EXPECT_EQ(r.text(), "1");
    captured = nullptr;
}

TEST(Bind, CompletesAfterTheReceiverAndEveryInnerSignal) {
    Ref<Subscriber> outer, innerA;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        outer = s;
        return Ref<rt::Disposable>();
    });
    auto innerSignal = Signal::createSignal([&](const Ref<Subscriber>& s) {
        innerA = s;
        return Ref<rt::Disposable>();
    });
    auto r = record(source->flattenMap([&](const Id&) { return Ref<es::Stream>(innerSignal); }), kDomains);
    outer->sendNext(ns::num(1));
    innerA->sendNext(ns::num(10));
    outer->sendCompleted();
    EXPECT_EQ(r.text(), "10");
    innerA->sendNext(ns::num(11));
    innerA->sendCompleted();
    EXPECT_EQ(r.text(), "10 11 C");
    outer = innerA = nullptr;
}

TEST(Bind, AnErrorDisposesEveryInnerSubscription) {
    int disposed = 0;
    Ref<Subscriber> outer;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        outer = s;
        return Ref<rt::Disposable>(es::Disposable::withBlock([&] { ++disposed; }));
    });
    std::vector<Ref<Subscriber>> innerSubscribers; // a source that can still send keeps its subscriber
    auto inner = Signal::createSignal([&](const Ref<Subscriber>& s) {
        innerSubscribers.push_back(s);
        return Ref<rt::Disposable>(es::Disposable::withBlock([&] { ++disposed; }));
    });
    auto r = record(source->flattenMap([&](const Id&) { return Ref<es::Stream>(inner); }), kDomains);
    outer->sendNext(ns::num(1));
    outer->sendNext(ns::num(2));
    EXPECT_EQ(disposed, 0);
    outer->sendError(failure());
    EXPECT_EQ(disposed, 3);
    EXPECT_EQ(r.text(), "E:Test/1");
    for (auto& s : innerSubscribers) s->sendNext(ns::num(9)); // nothing arrives after the error
    EXPECT_EQ(r.text(), "E:Test/1");
    outer = nullptr;
    innerSubscribers.clear();
}

TEST(Bind, NilFromTheBindBlockEndsTheReceiver) {
    int disposed = 0;
    Ref<Subscriber> outer;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        outer = s;
        return Ref<rt::Disposable>(es::Disposable::withBlock([&] { ++disposed; }));
    });
    auto r = record(source->bind([] {
        return es::Stream::BindBlock([](const Id&, bool&) { return Ref<es::Stream>(); });
    }),
                    kDomains);
    outer->sendNext(ns::num(1));
    EXPECT_EQ(r.text(), "C");
    EXPECT_EQ(disposed, 1);
    outer = nullptr;
}

TEST(Operators, TakeEndsAfterItsCountAndDisposesTheSource) {
    int disposed = 0, subscribed = 0;
    Ref<Subscriber> endless;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        ++subscribed;
        endless = s;
        return Ref<rt::Disposable>(es::Disposable::withBlock([&] { ++disposed; }));
    });
    auto one = record(source->take(1), kDomains);
    endless->sendNext(ns::num(1));
    endless->sendNext(ns::num(2));
    EXPECT_EQ(one.text(), "1 C");
    EXPECT_EQ(disposed, 1);
    EXPECT_EQ(subscribed, 1);
    endless = nullptr;
}

TEST(Operators, TakeZeroCompletesWithoutSubscribing) {
    int subscribed = 0;
    auto source = Signal::createSignal([&](const Ref<Subscriber>&) {
        ++subscribed;
        return Ref<rt::Disposable>();
    });
    auto none = record(source->take(0), kDomains);
    EXPECT_EQ(none.text(), "C");
    EXPECT_EQ(subscribed, 0);
}

TEST(Operators, SkipMoreThanThereAreCompletes) {
    auto skipped = record(numbers({1, 2})->skip(5), kDomains);
    EXPECT_EQ(skipped.text(), "C");
}

TEST(Operators, MapFilterIgnore) {
    auto r =
        record(numbers({1, 2, 3, 4})
                   ->map([](const Id& v) { return Id(ns::num(rt::cast<ns::Number>(v)->intValue() * 10)); })
                   ->filter([](const Id& v) { return rt::cast<ns::Number>(v)->intValue() != 20; })
                   ->ignore(ns::num(30.0)),
               kDomains);
    EXPECT_EQ(r.text(), "10 40 C");
}

TEST(Operators, DistinctUntilChanged) {
    auto distinct = record(numbers({1, 1, 2, 2, 1})->distinctUntilChanged(), kDomains);
    EXPECT_EQ(distinct.text(), "1 2 1 C");
}

TEST(Operators, DistinctAndIgnoreTreatNilAsAValue) {
    auto nils = Signal::createSignal([](const Ref<Subscriber>& s) {
        s->sendNext(nullptr);
        s->sendNext(nullptr);
        s->sendNext(ns::num(1));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    auto oneNil = record(nils->distinctUntilChanged(), kDomains);
    auto noNil = record(nils->ignore(nullptr), kDomains);
    EXPECT_EQ(oneNil.text(), "nil 1 C");
    EXPECT_EQ(noNil.text(), "1 C");
}

TEST(Operators, TakeUntilAndSkipUntilBlocks) {
    auto isThree = [](const Id& v) { return rt::cast<ns::Number>(v)->intValue() == 3; };
    auto until = record(numbers({1, 2, 3, 4})->takeUntilBlock(isThree), kDomains);
    auto skipUntil = record(numbers({1, 2, 3, 4})->skipUntilBlock(isThree), kDomains);
    EXPECT_EQ(until.text(), "1 2 C");
    EXPECT_EQ(skipUntil.text(), "3 4 C");
}

TEST(Operators, ScanAndCombinePrevious) {
    auto scanned = record(
        numbers({1, 2, 3})->scanWithStartReduce(ns::num(0),
                                                [](const Id& a, const Id& b) {
                                                    return Id(ns::num(rt::cast<ns::Number>(a)->intValue() +
                                                                      rt::cast<ns::Number>(b)->intValue()));
                                                }),
        kDomains);
    EXPECT_EQ(scanned.text(), "1 3 6 C");
    auto previous =
        record(numbers({1, 2, 3})->combinePreviousWithStartReduce(
                   ns::num(0), [](const Id& prev,
                                  const Id& cur) { return Id(ns::stringWithFormat("%@-%@", prev, cur)); }),
               kDomains);
    EXPECT_EQ(previous.text(), "0-1 1-2 2-3 C");
}

TEST(Operators, StartWith) {
    auto startWith = record(numbers({1})->startWith(ns::num(0)), kDomains);
    EXPECT_EQ(startWith.text(), "0 1 C");
}

TEST(Operators, ConcatSendsEachSignalInTurn) {
    auto concat = record(Signal::concat({numbers({1}), numbers({2, 3}), numbers({})}), kDomains);
    EXPECT_EQ(concat.text(), "1 2 3 C");
}

TEST(Operators, ConcatAfterAnErrorSubscribesToNothingMore) {
    int otherSubscriptions = 0;
    auto afterError = record(Signal::error(failure())->concat(numbers({1}, &otherSubscriptions)), kDomains);
    EXPECT_EQ(afterError.text(), "E:Test/1");
    EXPECT_EQ(otherSubscriptions, 0);
}

TEST(Operators, ZipPairsValuesByPositionUntilTheShortestEnds) {
    std::vector<Ref<es::Tuple>> tuples;
    Signal::zip({numbers({1, 2, 3}), numbers({4, 5}), numbers({7, 8, 9})})
        ->subscribeNext([&](const Id& v) { tuples.push_back(rt::cast<es::Tuple>(v)); });
    ASSERT_EQ(tuples.size(), 2u);
    EXPECT_EQ(tuples[1]->count(), 3u);
    EXPECT_TRUE(tuples[1]->first()->isEqual(ns::num(2).get()));
    EXPECT_TRUE(tuples[1]->third()->isEqual(ns::num(8).get()));
}

TEST(Operators, ZipKeepsNilAsTheTupleNilPlaceholder) {
    auto withNil = Signal::createSignal([](const Ref<Subscriber>& s) {
        s->sendNext(nullptr);
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    std::string zipped;
    withNil->zipWith(numbers({1, 2}))
        ->subscribeNextCompleted(
            [&](const Id& v) {
                auto t = rt::cast<es::Tuple>(v);
                zipped += std::string(t->first() ? "?" : "nil") + "+" + t->second()->description() + ",";
                EXPECT_EQ(t->entries()[0], Id(es::TupleNil::tupleNil()));
            },
            [&] { zipped += "C"; });
    EXPECT_EQ(zipped, "nil+1,C");
}

TEST(Operators, ZipOfNoSignalsCompletes) {
    auto emptyZip = record(Signal::zip({}), kDomains);
    EXPECT_EQ(emptyZip.text(), "C");
}

TEST(Operators, ReduceEachSpreadsTuples) {
    std::vector<Id> values;
    for (int i = 1; i <= 15; ++i) values.push_back(i == 7 ? Id() : Id(ns::num(i)));
    auto tuple = es::Tuple::withObjects(values);
    Id result;
    Signal::returnValue(tuple)
        ->reduceEach([](Id a, Id b, Id c, Id d, Id e, Id f, Id g, Id h, Id i, Id j, Id k, Id l, Id m, Id n, Id o) {
            std::string s;
            for (const Id& v : {a, b, c, d, e, f, g, h, i, j, k, l, m, n, o}) s += v ? v->description() : "-";
            return Id(ns::str(s));
        })
        ->subscribeNext([&](const Id& v) { result = v; });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->description(), "123456-89101112131415");
}

TEST(Operators, ReduceEachGivesTypedBlocksTheirClasses) {
    Id typed;
    Signal::returnValue(es::Tuple::of(ns::num(2), ns::str("x")))
        ->reduceEach([](Ref<ns::Number> n, Ref<ns::String> s) { return ns::stringWithFormat("%@%d", s, n->intValue()); })
        ->subscribeNext([&](const Id& v) { typed = v; });
    EXPECT_EQ(typed->description(), "x2");
}

#ifdef NDEBUG
// Outside what a reduce block can take: logged, and nil is sent (debug builds assert).
TEST(Operators, ReduceEachOfANonTupleOrTooFewValuesLogsAndSendsNil) {
    ns::CapturedLog log;
    std::vector<std::string> seen;
    Signal::returnValue(ns::num(1))
        ->reduceEach([](Id a) { return a; })
        ->subscribeNext([&](const Id& v) { seen.push_back(v ? "value" : "nil"); });
    Signal::returnValue(rt::make<es::Tuple>())
        ->reduceEach([](Id a) { return a; })
        ->subscribeNext([&](const Id& v) { seen.push_back(v ? "value" : "nil"); });
    EXPECT_EQ(seen, (std::vector<std::string>{"nil", "nil"}));
    EXPECT_EQ(log.lines().size(), 2u);
}
#endif

TEST(Operators, LogNextWritesOneLinePerValue) {
    ns::CapturedLog log;
    auto r = record(numbers({1, 2})->logNext(), kDomains);
    EXPECT_EQ(r.text(), "1 2 C");
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("name: "), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 8), " next: 2");
}

// A run of operators made of handlers, one upon another, is subscribed as one subscriber: it
// behaves as the operators do one after the other, ends the source's subscription when any of them
// ends, and lets go of every block then. Each run starts with a map whose block holds a marker.
struct Run {
    const char* name;
    std::function<Ref<Signal>(const Ref<Signal>&)> build;
    std::function<void(es::Subject&, testkit::Recorder&)> script;
    std::string expected;
};

Id plus(const Id& v, long n) { return ns::num(rt::cast<ns::Number>(v)->longValue() + n); }

class RunsOfHandlerOperators : public ::testing::TestWithParam<Run> {};

TEST_P(RunsOfHandlerOperators, BehaveAsTheOperatorsOneUponAnother) {
    auto subject = es::Subject::subject();
    auto marker = es::Disposable::make();
    rt::Weak<es::Disposable> held(marker);
    auto source = Ref<Signal>(subject)->map([marker](const Id& v) { return v; });
    marker = nullptr;
    auto recorder = record(GetParam().build(source), kDomains);
    source = nullptr; // the subscription holds the copies of the blocks it made
    GetParam().script(*subject, recorder);
    EXPECT_EQ(recorder.text(), GetParam().expected);
    std::size_t left = 0;
    subject->enumerateSubscribersUsingBlock([&](const Ref<Subscriber>&) { ++left; });
    EXPECT_EQ(left, 0u); // the source's subscription ended
    EXPECT_FALSE(held.lock()); // and every block of the run went with it
}

void sendOneToFour(es::Subject& s, testkit::Recorder&) {
    for (int i = 1; i <= 4; ++i) s.sendNext(ns::num(i));
    s.sendCompleted();
}

INSTANTIATE_TEST_SUITE_P(
    Operators, RunsOfHandlerOperators,
    ::testing::Values(
        Run{"MapFilterMap",
            [](const Ref<Signal>& s) {
                return s->map([](long n) { return n + 1; })->filter([](long n) { return n % 2 == 1; })->map([](long n) {
                    return n * 10;
                });
            },
            sendOneToFour, "30 50 C"},
        Run{"EndsInTheMiddle",
            [](const Ref<Signal>& s) { return s->map([](long n) { return n + 1; })->take(2)->map([](long n) { return n * 10; }); },
            sendOneToFour, "20 30 C"},
        Run{"AnErrorCarriedAsAValueInTheMiddle",
            [](const Ref<Signal>& s) { return s->materialize()->map([](const Id& v) { return v; })->dematerialize(); },
            [](es::Subject& s, testkit::Recorder&) {
                s.sendNext(ns::num(1));
                s.sendError(failure());
                s.sendNext(ns::num(2));
            },
            "1 E:Test/1"},
        Run{"SendingIntoTheSourceFromInside",
            [](const Ref<Signal>& s) {
                return s->map([](const Id& v) { return v; })->take(2)->map([](long n) { return n * 10; });
            },
            [](es::Subject& s, testkit::Recorder&) {
                auto again = s.take(1)->subscribeNext([&s](const Id&) { s.sendNext(ns::num(9)); });
                s.sendNext(ns::num(1));
            },
            "10 90 C"},
        Run{"DisposedFromInside",
            [](const Ref<Signal>& s) { return s->map([](const Id& v) { return v; })->skip(1); },
            [](es::Subject& s, testkit::Recorder& r) {
                auto disposer = s.skip(1)->subscribeNext([&r](const Id&) { r.dispose(); });
                sendOneToFour(s, r);
            },
            "2"},
        Run{"LongerThanOneSubscriberTakes",
            [](const Ref<Signal>& s) {
                Ref<Signal> run = s;
                for (int i = 0; i < 40; ++i) run = run->map([](const Id& v) { return plus(v, 1); });
                return run->take(1);
            },
            [](es::Subject& s, testkit::Recorder&) { s.sendNext(ns::num(0)); },
            "40 C"}),
    [](const ::testing::TestParamInfo<Run>& info) { return std::string(info.param.name); });

TEST(Names, OperatorsNameTheirResultsOnlyWhenAsked) {
    {
        testkit::DebugNames off(false);
        EXPECT_EQ(numbers({1})->map([](const Id& v) { return v; })->name(), "");
    }
    testkit::DebugNames on(true);
    auto source = numbers({1});
    source->setName("source");
    EXPECT_EQ(source->take(2)->name(), "[source] -take: 2");
    EXPECT_EQ(source->mapReplace(ns::num(4))->name(), "[source] -mapReplace: 4");
    EXPECT_EQ(source->retry(2)->name(), "[source] -retry: 2");
    EXPECT_EQ(Signal::never()->name(), "+never");
    EXPECT_EQ(source->description().find("name: source") != std::string::npos, true);
}

} // namespace
