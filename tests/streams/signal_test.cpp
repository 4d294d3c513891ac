#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "streams/event.h"
#include "streams/signal.h"
#include "streams/tuple.h"
#include "tests/testkit/main_loop.h"

namespace {

using es::Signal;
using es::Subscriber;
using rt::Id;
using rt::Ref;

// Everything a subscription saw, as text: "1,2,C" or "1,E:Domain".
struct Recording {
    std::string events;
    void next(const Id& v) { events += (v ? v->description() : std::string("nil")) + ","; }
    void error(const Ref<ns::Error>& e) { events += "E:" + (e ? e->domain()->utf8() : std::string("nil")); }
    void completed() { events += "C"; }
    Ref<es::Disposable> subscribe(const Ref<Signal>& s) {
        return s->subscribeNextErrorCompleted([this](const Id& v) { next(v); },
                                             [this](const Ref<ns::Error>& e) { error(e); }, [this] { completed(); });
    }
};

Ref<ns::Error> failure(const char* domain = "Test") { return ns::Error::make(domain, 1); }

// A signal that sends the given numbers, then completes, counting its subscriptions.
Ref<Signal> numbers(std::vector<int> values, int* subscriptions = nullptr) {
    return Signal::createSignal([values, subscriptions](const Ref<Subscriber>& s) {
        if (subscriptions) ++*subscriptions;
        for (int v : values) s->sendNext(ns::num(v));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
}

TEST(Signal, EventGrammarAndDisposalOrder) {
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

    // A disposal block the source installed before terminating runs before the terminal block.
    order.clear();
    auto early = Signal::createSignal([&](const Ref<Subscriber>& s) {
        s->didSubscribeWithDisposable(es::CompoundDisposable::withBlock([&] { order += "dispose,"; }));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    early->subscribeCompleted([&] { order += "completed,"; });
    EXPECT_EQ(order, "dispose,completed,");
}

TEST(Signal, CreateSignalIsSynchronousOnTheMainThreadAndDeferredElsewhere) {
    Recording r;
    r.subscribe(Signal::returnValue(ns::num(7)));
    EXPECT_EQ(r.events, "7,C");

    // From a thread with no current scheduler the work goes to a background scheduler.
    std::mutex m;
    std::condition_variable cv;
    std::string seen;
    bool done = false;
    std::thread::id subscribing, delivering;
    std::thread([&] {
        subscribing = std::this_thread::get_id();
        Signal::returnValue(ns::num(8))->subscribeNextCompleted(
            [&](const Id& v) {
                std::lock_guard g(m);
                seen += v->description();
                delivering = std::this_thread::get_id();
            },
            [&] {
                std::lock_guard g(m);
                done = true;
                cv.notify_all();
            });
    }).join();
    std::unique_lock g(m);
    ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(10), [&] { return done; }));
    EXPECT_EQ(seen, "8");
    EXPECT_NE(delivering, subscribing);
    g.unlock();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(Signal, ConstantSignals) {
    EXPECT_EQ(Signal::returnValue(es::Unit::defaultUnit()), Signal::returnValue(es::Unit::defaultUnit()));
    EXPECT_EQ(Signal::returnValue(nullptr), Signal::returnValue(nullptr));
    EXPECT_EQ(Signal::empty(), Signal::empty());
    Recording nilValue, empty, error, never, nilBlock;
    nilValue.subscribe(Signal::returnValue(nullptr));
    empty.subscribe(Signal::empty());
    error.subscribe(Signal::error(failure("Boom")));
    auto neverSubscription = never.subscribe(Signal::never());
    auto nilBlockSubscription = nilBlock.subscribe(Signal::createSignal(nullptr));
    EXPECT_EQ(nilValue.events, "nil,C");
    EXPECT_EQ(empty.events, "C");
    EXPECT_EQ(error.events, "E:Boom");
    EXPECT_EQ(never.events, "");
    EXPECT_EQ(nilBlock.events, "");
    EXPECT_TRUE(nilBlockSubscription);
    neverSubscription->dispose();
    EXPECT_EQ(Signal::empty()->name(), "+empty");
    EXPECT_EQ(Signal::error(nullptr)->name(), "+error:");
}

TEST(Signal, DisposingStopsDelivery) {
    Ref<Subscriber> captured;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        captured = s;
        return Ref<rt::Disposable>();
    });
    Recording r;
    auto d = r.subscribe(source);
    captured->sendNext(ns::num(1));
    d->dispose();
    captured->sendNext(ns::num(2));
    captured->sendCompleted();
    EXPECT_EQ(r.events, "1,");
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
    Recording r;
    r.subscribe(source->flattenMap([&](const Id&) { return Ref<es::Stream>(innerSignal); }));
    outer->sendNext(ns::num(1));
    innerA->sendNext(ns::num(10));
    outer->sendCompleted();
    EXPECT_EQ(r.events, "10,");
    innerA->sendNext(ns::num(11));
    innerA->sendCompleted();
    EXPECT_EQ(r.events, "10,11,C");
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
    Recording r;
    r.subscribe(source->flattenMap([&](const Id&) { return Ref<es::Stream>(inner); }));
    outer->sendNext(ns::num(1));
    outer->sendNext(ns::num(2));
    EXPECT_EQ(disposed, 0);
    outer->sendError(failure());
    EXPECT_EQ(disposed, 3);
    EXPECT_EQ(r.events, "E:Test");
    for (auto& s : innerSubscribers) s->sendNext(ns::num(9)); // nothing arrives after the error
    EXPECT_EQ(r.events, "E:Test");
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
    Recording r;
    r.subscribe(source->bind([] {
        return es::Stream::BindBlock([](const Id&, bool&) { return Ref<es::Stream>(); });
    }));
    outer->sendNext(ns::num(1));
    EXPECT_EQ(r.events, "C");
    EXPECT_EQ(disposed, 1);
    outer = nullptr;
}

TEST(Operators, TakeAndSkip) {
    int disposed = 0, subscribed = 0;
    Ref<Subscriber> endless;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        ++subscribed;
        endless = s;
        return Ref<rt::Disposable>(es::Disposable::withBlock([&] { ++disposed; }));
    });
    Recording one;
    one.subscribe(source->take(1));
    endless->sendNext(ns::num(1));
    endless->sendNext(ns::num(2));
    EXPECT_EQ(one.events, "1,C");
    EXPECT_EQ(disposed, 1);

    Recording none;
    none.subscribe(source->take(0));
    EXPECT_EQ(none.events, "C");
    EXPECT_EQ(subscribed, 1);

    Recording skipped;
    skipped.subscribe(numbers({1, 2})->skip(5));
    EXPECT_EQ(skipped.events, "C");
    endless = nullptr;
}

TEST(Operators, MapFilterIgnoreDistinct) {
    Recording r;
    r.subscribe(numbers({1, 2, 3, 4})
                    ->map([](const Id& v) { return Id(ns::num(rt::cast<ns::Number>(v)->intValue() * 10)); })
                    ->filter([](const Id& v) { return rt::cast<ns::Number>(v)->intValue() != 20; })
                    ->ignore(ns::num(30.0)));
    EXPECT_EQ(r.events, "10,40,C");

    Recording distinct;
    distinct.subscribe(numbers({1, 1, 2, 2, 1})->distinctUntilChanged());
    EXPECT_EQ(distinct.events, "1,2,1,C");

    auto nils = Signal::createSignal([](const Ref<Subscriber>& s) {
        s->sendNext(nullptr);
        s->sendNext(nullptr);
        s->sendNext(ns::num(1));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    Recording oneNil, noNil;
    oneNil.subscribe(nils->distinctUntilChanged());
    noNil.subscribe(nils->ignore(nullptr));
    EXPECT_EQ(oneNil.events, "nil,1,C");
    EXPECT_EQ(noNil.events, "1,C");
}

TEST(Operators, TakeUntilAndSkipUntilBlocks) {
    auto isThree = [](const Id& v) { return rt::cast<ns::Number>(v)->intValue() == 3; };
    Recording until, skipUntil, scanned, startWith;
    until.subscribe(numbers({1, 2, 3, 4})->takeUntilBlock(isThree));
    skipUntil.subscribe(numbers({1, 2, 3, 4})->skipUntilBlock(isThree));
    scanned.subscribe(numbers({1, 2, 3})->scanWithStartReduce(ns::num(0), [](const Id& a, const Id& b) {
        return Id(ns::num(rt::cast<ns::Number>(a)->intValue() + rt::cast<ns::Number>(b)->intValue()));
    }));
    startWith.subscribe(numbers({1})->startWith(ns::num(0)));
    EXPECT_EQ(until.events, "1,2,C");
    EXPECT_EQ(skipUntil.events, "3,4,C");
    EXPECT_EQ(scanned.events, "1,3,6,C");
    EXPECT_EQ(startWith.events, "0,1,C");

    Recording previous;
    previous.subscribe(numbers({1, 2, 3})->combinePreviousWithStartReduce(
        ns::num(0), [](const Id& prev, const Id& cur) { return Id(ns::stringWithFormat("%@-%@", prev, cur)); }));
    EXPECT_EQ(previous.events, "0-1,1-2,2-3,C");
}

TEST(Operators, ConcatAndZip) {
    Recording concat;
    concat.subscribe(Signal::concat({numbers({1}), numbers({2, 3}), numbers({})}));
    EXPECT_EQ(concat.events, "1,2,3,C");

    Recording afterError;
    int otherSubscriptions = 0;
    afterError.subscribe(Signal::error(failure())->concat(numbers({1}, &otherSubscriptions)));
    EXPECT_EQ(afterError.events, "E:Test");
    EXPECT_EQ(otherSubscriptions, 0);

    std::vector<Ref<es::Tuple>> tuples;
    Signal::zip({numbers({1, 2, 3}), numbers({4, 5}), numbers({7, 8, 9})})
        ->subscribeNext([&](const Id& v) { tuples.push_back(rt::cast<es::Tuple>(v)); });
    ASSERT_EQ(tuples.size(), 2u);
    EXPECT_EQ(tuples[1]->count(), 3u);
    EXPECT_TRUE(tuples[1]->first()->isEqual(ns::num(2).get()));
    EXPECT_TRUE(tuples[1]->third()->isEqual(ns::num(8).get()));

    auto withNil = Signal::createSignal([](const Ref<Subscriber>& s) {
        s->sendNext(nullptr);
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    Recording zipped;
    withNil->zipWith(numbers({1, 2}))->subscribeNextCompleted(
        [&](const Id& v) {
            auto t = rt::cast<es::Tuple>(v);
            zipped.events += std::string(t->first() ? "?" : "nil") + "+" + t->second()->description() + ",";
            EXPECT_EQ(t->entries()[0], Id(es::TupleNil::tupleNil()));
        },
        [&] { zipped.completed(); });
    EXPECT_EQ(zipped.events, "nil+1,C");
    Recording emptyZip;
    emptyZip.subscribe(Signal::zip({}));
    EXPECT_EQ(emptyZip.events, "C");
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

    Id typed;
    Signal::returnValue(es::Tuple::of(ns::num(2), ns::str("x")))
        ->reduceEach([](Ref<ns::Number> n, Ref<ns::String> s) { return ns::stringWithFormat("%@%d", s, n->intValue()); })
        ->subscribeNext([&](const Id& v) { typed = v; });
    EXPECT_EQ(typed->description(), "x2");

#ifdef NDEBUG
    // Outside what a reduce block can take: logged, and nil is sent (debug builds assert).
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
#endif
}

TEST(Operators, LogNextWritesOneLinePerValue) {
    ns::CapturedLog log;
    Recording r;
    r.subscribe(numbers({1, 2})->logNext());
    EXPECT_EQ(r.events, "1,2,C");
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("name: "), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 8), " next: 2");
}

TEST(Names, OperatorsNameTheirResultsOnlyWhenAsked) {
    unsetenv("ES_DEBUG_SIGNAL_NAMES");
    EXPECT_EQ(numbers({1})->map([](const Id& v) { return v; })->name(), "");
    setenv("ES_DEBUG_SIGNAL_NAMES", "1", 1);
    auto source = numbers({1});
    source->setName("source");
    EXPECT_EQ(source->take(2)->name(), "[source] -take: 2");
    EXPECT_EQ(source->mapReplace(ns::num(4))->name(), "[source] -mapReplace: 4");
    EXPECT_EQ(source->retry(2)->name(), "[source] -retry: 2");
    EXPECT_EQ(Signal::never()->name(), "+never");
    EXPECT_EQ(source->description().find("name: source") != std::string::npos, true);
    unsetenv("ES_DEBUG_SIGNAL_NAMES");
}

} // namespace
