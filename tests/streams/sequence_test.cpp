#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/index_set.h"
#include "platform/foundation/null.h"
#include "platform/foundation/ordered_set.h"
#include "platform/foundation/set.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/sequence.h"
#include "streams/sequence_classes.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/test_scheduler.h"
#include "streams/tuple.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"

namespace {

using es::Scheduler;
using es::Sequence;
using rt::Id;
using rt::Ref;

Ref<ns::Array> range(long from, long to) {
    std::vector<Id> values;
    for (long i = from; i < to; ++i)
        values.push_back(ns::num(i));
    return ns::Array::make(std::move(values));
}

long number(const Id& v) { return rt::cast<ns::Number>(v)->longLongValue(); }

// Values joined by ","; a tuple as "(a, b)".
std::string show(const Id& v) {
    auto tuple = rt::cast<es::Tuple>(v);
    if (!tuple) return v->description();
    std::string out;
    for (const Id& entry : *tuple)
        out += (out.empty() ? "(" : ", ") + entry->description();
    return out + ")";
}

std::string text(const Ref<Sequence>& s) {
    std::string out;
    for (const Id& v : *s)
        out += (out.empty() ? "" : ",") + show(v);
    return out;
}

std::string className(const Id& obj) { return std::string(obj->getClass().name()); }

Id roundTrip(const Id& obj) {
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(obj);
    EXPECT_TRUE(data);
    return data ? ns::KeyedUnarchiver::unarchiveObjectWithData(data) : Id();
}

TEST(Sequence, NoBlockRunsBeforeAHeadIsReadAndOncePerValue) {
    auto source = es::sequence(range(1, 4));
    EXPECT_EQ(source->tail()->tail()->tail(), Sequence::empty());

    int calls = 0;
    auto mapped = source->map([&](const Id& v) {
        ++calls;
        return Id(ns::num(number(v) * 10));
    });
    EXPECT_EQ(calls, 0);
    Id first = mapped->head();
    EXPECT_EQ(mapped->head(), first);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(text(mapped), "10,20,30");
    EXPECT_EQ(text(mapped), "10,20,30"); // a second walk computes nothing again
    EXPECT_EQ(calls, 3);
}

TEST(Sequence, AChainOfOperatorsStaysLazyAndALaterStepDoesNotRedoAnEarlierOne) {
    int calls = 0;
    auto chain = es::sequence(range(0, 100))
                     ->map([&](const Id& v) {
                         ++calls;
                         return Id(ns::num(number(v) + 1));
                     })
                     ->skip(2)
                     ->take(3);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(text(chain), "3,4,5");
    EXPECT_EQ(calls, 5);
}

// map and filter over every kind of source: an array, a sequence read head by head, and another
// mapped sequence. The values are read by enumeration and again head by head; each block runs
// once per value read, and a nil mapped value is left out.
struct MapFilterSource {
    const char* name;
    Ref<Sequence> (*make)(); // 0 to 6
};

class MapAndFilter : public ::testing::TestWithParam<MapFilterSource> {};

TEST_P(MapAndFilter, ComputeEachValueOnceWhateverTheSource) {
    int mapped = 0, tested = 0;
    auto times10 = GetParam().make()->map([&](const Id& v) -> Id {
        ++mapped;
        return number(v) == 3 ? Id() : Id(ns::num(number(v) * 10));
    });
    auto even = times10->filter([&](const Id& v) {
        ++tested;
        return number(v) % 20 == 0;
    });
    EXPECT_EQ(number(even->tail()->head()), 20);
    EXPECT_EQ(mapped, 3); // 0, 1, 2 and no further
    EXPECT_EQ(text(even), "0,20,40");
    std::string walked;
    for (Ref<Sequence> rest = even; rest && rest->head(); rest = rest->tail())
        walked += std::to_string(number(rest->head())) + ",";
    EXPECT_EQ(walked, "0,20,40,");
    EXPECT_EQ(text(times10), "0,10,20,40,50");
    EXPECT_EQ(mapped, 6);
    EXPECT_EQ(tested, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Sequence, MapAndFilter,
    ::testing::Values(MapFilterSource{"Array", [] { return es::sequence(range(0, 6)); }},
                      MapFilterSource{"HeadByHead",
                                      [] {
                                          return es::sequence(
                                              Ref<ns::Enumerator>(es::sequence(range(0, 6))->objectEnumerator()));
                                      }},
                      MapFilterSource{"Mapped", [] { return es::sequence(range(0, 6))->map([](const Id& v) { return v; }); }}),
    [](const ::testing::TestParamInfo<MapFilterSource>& info) { return std::string(info.param.name); });

TEST(Sequence, FilterAndSearchesEvaluateOnlyUpToTheFirstMatch) {
    int calls = 0;
    auto isFive = [&](const Id& v) {
        ++calls;
        return number(v) == 5;
    };
    auto source = es::sequence(range(0, 1000));
    EXPECT_EQ(number(source->filter(isFive)->head()), 5);
    EXPECT_EQ(calls, 6);
    calls = 0;
    EXPECT_TRUE(source->any(isFive));
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(source->objectPassingTest([](const Id&) { return false; }), nullptr);
}

TEST(Sequence, AllStopsCallingAtTheFirstFailureButWalksToTheEnd) {
    auto flags =
        ns::Array::withObjects({ns::num(true), ns::num(true), ns::num(false), ns::num(true), ns::num(true)});
    int produced = 0;
    auto source = es::sequence(flags)->map([&](const Id& v) {
        ++produced;
        return v;
    });
    int calls = 0;
    EXPECT_FALSE(source->all([&](const Id& v) {
        ++calls;
        return rt::cast<ns::Number>(v)->boolValue();
    }));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(produced, 5);
    EXPECT_TRUE(es::sequence(range(1, 4))->all([](const Id& v) { return number(v) > 0; }));
    EXPECT_TRUE(Sequence::empty()->all([](const Id&) { return false; }));
}

TEST(Sequence, ZipPairsByPositionUntilTheShortestEnds) {
    auto letters = ns::Array::withObjects({ns::str("a"), ns::str("b")});
    auto zipped = es::sequence(range(1, 4))->zipWith(es::sequence(letters));
    EXPECT_EQ(text(zipped), "(1, a),(2, b)");
    EXPECT_EQ(text(Sequence::zip({es::sequence(range(1, 4)), es::sequence(range(5, 7))})), "(1, 5),(2, 6)");
}

TEST(Sequence, ConcatReachesItsSecondPartOnlyOnceTheFirstIsUsedUp) {
    int secondRuns = 0;
    auto second = Sequence::sequenceWithHeadBlockTailBlock(
        [&] {
            ++secondRuns;
            return Id(ns::num(9));
        },
        [] { return Ref<Sequence>(); });
    auto joined = es::sequence(range(1, 3))->concat(second);
    EXPECT_EQ(number(joined->tail()->head()), 2);
    EXPECT_EQ(secondRuns, 0);
    EXPECT_EQ(text(joined), "1,2,9");
    EXPECT_EQ(text(Sequence::concat(
                  {Sequence::empty(), es::sequence(range(0, 2)), Sequence::returnValue(ns::num(7))})),
              "0,1,7");
}

TEST(Sequence, AStopFlagSetByTheBindBlockStillDeliversWhatItReturned) {
    auto stopped = es::sequence(range(1, 4))->bind([] {
        return Sequence::BindBlock([](const Id& v, bool& stop) -> Ref<es::Stream> {
            stop = number(v) == 2;
            return es::sequence(ns::Array::withObjects({v, ns::num(number(v) * 10)}));
        });
    });
    EXPECT_EQ(text(stopped), "1,10,2");
}

TEST(Sequence, AValueSequenceEndingInANilTailPassesTheLastExpansionThroughWhole) {
    auto single = Sequence::sequenceWithHeadBlockTailBlock([] { return Id(ns::num(1)); },
                                                           [] { return Ref<Sequence>(); });
    EXPECT_EQ(text(single->flattenMap([](const Id&) { return es::sequence(range(4, 7)); })), "4,5,6");
    EXPECT_EQ(text(es::sequence(range(1, 3))->startWith(ns::num(0))), "0,1,2");
}

TEST(Sequence, FoldsAndTheLazinessOfTheRightFold) {
    auto sum = [](const Id& a, const Id& b) { return Id(ns::num(number(a) + number(b))); };
    EXPECT_EQ(number(es::sequence(range(1, 5))->foldLeftWithStartReduce(ns::num(0), sum)), 10);
    EXPECT_EQ(number(Sequence::empty()->foldLeftWithStartCombine(ns::num(42), sum)), 42);

    // The rest is only folded when the block reads it.
    int folds = 0;
    auto source = es::sequence(range(1, 5));
    Id first = source->foldRightWithStartReduce(ns::num(0), [&](const Id& v, const Ref<Sequence>&) {
        ++folds;
        return v;
    });
    EXPECT_EQ(number(first), 1);
    EXPECT_EQ(folds, 1);
    Id total = source->foldRightWithStartCombine(ns::num(100), [&](const Id& v, const Ref<Sequence>& rest) {
        ++folds;
        return Id(ns::num(number(v) + number(rest->head())));
    });
    EXPECT_EQ(number(total), 110);
    EXPECT_EQ(folds, 5);

    Id restHead;
    Sequence::returnValue(ns::num(1))
        ->foldRightWithStartReduce(ns::str("start"), [&](const Id&, const Ref<Sequence>& rest) {
            restHead = rest->head();
            EXPECT_EQ(rest->tail(), nullptr);
            return Id();
        });
    EXPECT_EQ(restHead->description(), "start");
    EXPECT_EQ(number(Sequence::empty()->foldRightWithStartReduce(ns::num(3), nullptr)), 3);

    // An eager sequence hands the block its rest as an eager sequence.
    std::string restClasses;
    source->eagerSequence()->foldRightWithStartReduce(
        ns::num(0), [&](const Id& v, const Ref<Sequence>& rest) {
            restClasses += className(rest) + ",";
            return Id(ns::num(number(v) + number(rest->head())));
        });
    EXPECT_EQ(restClasses, "ESEagerSequence,ESEagerSequence,ESEagerSequence,ESEagerSequence,");
}

TEST(Sequence, StringsStepByUnitButArrayByCharacter) {
    auto string = ns::str("a\xF0\x9F\x98\x80"
                          "b"); // "a", U+1F600 (two UTF-16 units), "b"
    auto s = es::sequence(string);
    EXPECT_EQ(className(s), "ESStringSequence");
    int heads = 0;
    for (auto rest = s; rest && rest->head(); rest = rest->tail()) {
        ++heads;
        EXPECT_EQ(rt::cast<ns::String>(rest->head())->length(), 1u);
    }
    EXPECT_EQ(heads, 4);
    auto characters = s->array();
    ASSERT_EQ(characters->count(), 3u);
    EXPECT_EQ(rt::cast<ns::String>((*characters)[1])->length(), 2u);
    // From the middle of the pair, the remaining unit is one entry of its own.
    EXPECT_EQ(s->tail()->tail()->array()->count(), 2u);
    EXPECT_EQ(className(s->tail()), "ESStringSequence");
}

// Six calls of 16 entries at the most over a sequence of 40 consecutive numbers.
void expectBatchesOfSixteenThenTheEndForGood(const Ref<Sequence>& s) {
    es::FastEnumerationState state;
    Id buffer[16];
    std::vector<long> values;
    std::vector<std::size_t> counts;
    for (int call = 0; call < 6; ++call) {
        std::size_t n = s->countByEnumerating(state, buffer, 16);
        counts.push_back(n);
        for (std::size_t i = 0; i < n; ++i)
            values.push_back(number(state.itemsPtr[i]));
    }
    EXPECT_EQ(counts, (std::vector<std::size_t>{16, 16, 8, 0, 0, 0}));
    ASSERT_EQ(values.size(), 40u);
    EXPECT_EQ(values.back() - values.front(), 39);
    EXPECT_EQ(state.held, nullptr);
}

TEST(Sequence, FastEnumerationOfAnArraySequenceHandsOverInBatchesThenEndsForGood) {
    expectBatchesOfSixteenThenTheEndForGood(es::sequence(range(0, 40)));
}

TEST(Sequence, FastEnumerationOfALazySequenceHandsOverInBatchesThenEndsForGood) {
    expectBatchesOfSixteenThenTheEndForGood(es::sequence(range(0, 40))->map([](const Id& v) { return v; }));
}

TEST(Sequence, FastEnumerationOfAnIndexSetSequenceHandsOverInBatchesThenEndsForGood) {
    expectBatchesOfSixteenThenTheEndForGood(
        es::sequence(ns::IndexSet::indexSetWithIndexesInRange({100, 40})));
}

TEST(Sequence, LeavingAFastEnumerationHalfWayReleasesWhatTheStateHeld) {
    auto lazy = es::sequence(range(0, 40))->map([](const Id& v) { return v; });
    es::FastEnumerationState state;
    Id buffer[4];
    EXPECT_EQ(lazy->countByEnumerating(state, buffer, 4), 4u);
}

TEST(Sequence, CodingRoundTrips) {
    auto lazy = es::sequence(range(0, 5))->map([](const Id& v) { return Id(ns::num(number(v) * 2)); });
    Id decoded = roundTrip(lazy);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(className(decoded), "ESArraySequence");
    EXPECT_TRUE(lazy->isEqual(decoded.get()));
    EXPECT_TRUE(decoded->isEqual(lazy.get()));

    Id eager = roundTrip(es::sequence(range(0, 3))->eagerSequence());
    EXPECT_EQ(className(eager), "ESArraySequence");
    EXPECT_EQ(text(rt::cast<Sequence>(eager)), "0,1,2");

    EXPECT_EQ(roundTrip(Sequence::empty()), Sequence::empty());
    Id unary = roundTrip(Sequence::returnValue(ns::str("one")));
    EXPECT_EQ(className(unary), "ESUnarySequence");
    EXPECT_TRUE(unary->isEqual(Sequence::returnValue(ns::str("one")).get()));

    Id tuples = roundTrip(es::sequence(es::Tuple::withObjects({ns::num(1), nullptr})));
    EXPECT_EQ(text(rt::cast<Sequence>(tuples)), "1,<null>");
}

TEST(Sequence, ReleasingAMillionLinkChainKeepsTheStackFlat) {
    constexpr long kLength = 1'000'000;
    Id value = ns::num(7);
    std::function<Ref<Sequence>(long)> link = [&](long i) -> Ref<Sequence> {
        return Sequence::sequenceWithHeadBlockTailBlock(
            [value] { return value; }, [i, &link] { return i + 1 < kLength ? link(i + 1) : nullptr; });
    };
    auto root = link(0);
    long walked = 0;
    for (Ref<Sequence> s = root; s && s->head(); s = s->tail())
        ++walked;
    EXPECT_EQ(walked, kLength);
    root = nullptr; // every link is alive until here, then all go in one release
}

TEST(Sequence, ReleasingAMillionLinkBoundChainKeepsTheStackFlat) {
    // The links of a bound chain also hold the binding state.
    constexpr long kLength = 1'000'000;
    long walked = 0;
    auto mapped = es::sequence(range(0, kLength))->map([](const Id& v) { return v; });
    for (Ref<Sequence> s = mapped; s && s->head(); s = s->tail())
        ++walked;
    EXPECT_EQ(walked, kLength);
    mapped = nullptr;
}

TEST(Sequence, TwoThreadsReadingOneHeadGetTheOneComputedValue) {
    testkit::Latch arrived(2);
    std::atomic<int> computed{0};
    auto s = Sequence::sequenceWithHeadBlockTailBlock(
        [&]() -> Id {
            ++computed;
            EXPECT_TRUE(arrived.wait()); // both threads are on their way to the head
            return Id(ns::MutableArray::withObjects({ns::num(computed.load())}));
        },
        [] { return Ref<Sequence>(); });
    Id seen[2];
    auto reader = [&](int i) {
        arrived.countDown();
        seen[i] = s->head();
    };
    std::thread a(reader, 0), b(reader, 1);
    a.join();
    b.join();
    EXPECT_EQ(computed.load(), 1);
    EXPECT_EQ(seen[0].get(), seen[1].get());
    ASSERT_TRUE(seen[0]);
    EXPECT_EQ(seen[0]->description(), ns::Array::withObjects({ns::num(1)})->description());
}

TEST(Sequence, EmptyCollectionsGiveTheEmptySingleton) {
    auto empty = Sequence::empty();
    EXPECT_EQ(es::sequence(ns::Array::make()), empty);
    EXPECT_EQ(es::sequence(ns::str("")), empty);
    EXPECT_EQ(es::sequence(ns::IndexSet::make()), empty);
    EXPECT_EQ(es::sequence(es::Tuple::withObjects({})), empty);
    EXPECT_EQ(es::sequence(ns::Dictionary::make()), empty);
    EXPECT_EQ(es::sequence(ns::Set::make()), empty);
    EXPECT_EQ(es::sequence(ns::OrderedSet::make()), empty);
    EXPECT_EQ(empty->array()->count(), 0u);
    EXPECT_EQ(empty->copy(), empty);
    EXPECT_EQ(empty->map([](const Id& v) { return v; }), empty);

    bool completed = false;
    auto d = empty->signalWithScheduler(Scheduler::immediateScheduler())->subscribeCompleted([&] {
        completed = true;
    });
    EXPECT_TRUE(completed);
}

TEST(Sequence, Equality) {
    auto a = es::sequence(range(0, 3));
    auto b = es::sequence(range(0, 3));
    EXPECT_NE(a, b);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    auto eager = a->eagerSequence();
    EXPECT_EQ(className(eager), "ESEagerSequence");
    EXPECT_TRUE(a->isEqual(eager.get()));
    EXPECT_TRUE(eager->isEqual(a.get()));
    EXPECT_FALSE(a->isEqual(range(0, 3).get()));
    EXPECT_FALSE(range(0, 3)->isEqual(a.get()));
    EXPECT_FALSE(a->isEqual(es::sequence(range(0, 2)).get()));
    EXPECT_FALSE(es::sequence(range(0, 2))->isEqual(a.get()));
    EXPECT_FALSE(a->isEqual(es::sequence(range(1, 4)).get()));
    // Lazy and collection sequences compare by values; a lazy one is its own copy.
    auto lazy = a->map([](const Id& v) { return v; });
    EXPECT_TRUE(lazy->isEqual(a.get()));
    EXPECT_EQ(lazy->copy(), lazy);
    EXPECT_EQ(lazy->lazySequence(), lazy);
    EXPECT_EQ(className(eager->lazySequence()), "ESArraySequence");
    // A unary sequence equals only another unary one; the empty one only itself.
    EXPECT_TRUE(Sequence::returnValue(ns::num(1))->isEqual(Sequence::returnValue(ns::num(1)).get()));
    EXPECT_FALSE(Sequence::returnValue(ns::num(1))->isEqual(es::sequence(range(1, 2)).get()));
    auto noValues = es::sequence(range(0, 3))->filter([](const Id&) { return false; });
    EXPECT_FALSE(Sequence::empty()->isEqual(noValues.get()));
    EXPECT_TRUE(noValues->isEqual(Sequence::empty().get()));
}

TEST(Sequence, CollectionConversions) {
    auto tuple = es::sequence(es::Tuple::withObjects({ns::num(1), nullptr}));
    EXPECT_EQ(className(tuple), "ESTupleSequence");
    EXPECT_EQ(number(tuple->head()), 1);
    EXPECT_EQ(tuple->tail()->head(), ns::Null::null());
    EXPECT_EQ(tuple->array()->description(),
              ns::Array::withObjects({ns::num(1), ns::Null::null()})->description());

    auto dictionary = es::sequence(ns::Dictionary::withPairs({{ns::str("key"), ns::num(5)}}));
    auto entry = rt::cast<es::Tuple>(dictionary->head());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->first()->description(), "key");
    EXPECT_EQ(number(entry->second()), 5);
    EXPECT_EQ(dictionary->tail()->head(), nullptr);
    auto pairs = ns::Dictionary::withPairs({{ns::str("a"), ns::num(1)}, {ns::str("b"), ns::num(2)}});
    EXPECT_EQ(es::keySequence(pairs)->array()->count(), 2u);
    EXPECT_EQ(number(es::valueSequence(pairs)->foldLeftWithStartReduce(
                  ns::num(0), [](const Id& a, const Id& b) { return Id(ns::num(number(a) + number(b))); })),
              3);

    auto indexes = ns::MutableIndexSet::make();
    indexes->addIndex(3);
    indexes->addIndex(5);
    indexes->addIndex(9);
    auto s = es::sequence(Ref<ns::IndexSet>(indexes));
    indexes->addIndex(1); // the sequence took its own copy of the indexes
    EXPECT_EQ(text(s), "3,5,9");
    EXPECT_EQ(className(s->tail()), "ESIndexSetSequence");
    EXPECT_EQ(s->tail()->tail()->tail(), Sequence::empty());
    EXPECT_EQ(text(es::sequence(ns::OrderedSet::withObjects({ns::num(2), ns::num(1), ns::num(2)}))), "2,1");
    EXPECT_EQ(text(es::sequence(ns::Set::withObjects({ns::num(4)}))), "4");
}

TEST(Sequence, EagerSequencesWorkAtOnce) {
    int calls = 0;
    auto eager = es::sequence(range(0, 4))->eagerSequence();
    auto mapped = eager->map([&](const Id& v) {
        ++calls;
        return Id(ns::num(number(v) + 1));
    });
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(className(mapped), "ESEagerSequence");
    EXPECT_EQ(text(mapped), "1,2,3,4");
    EXPECT_EQ(mapped->eagerSequence(), mapped);
    EXPECT_EQ(text(eager->take(2)), "0,1");
    auto joined = eager->concat(es::sequence(range(7, 9)));
    EXPECT_EQ(className(joined), "ESEagerSequence");
    EXPECT_EQ(text(joined), "0,1,2,3,7,8");
    EXPECT_EQ(className(eager->tail()), "ESEagerSequence");
}

TEST(Sequence, SignalsSendEveryValueThenComplete) {
    std::string events;
    auto d = es::sequence(range(1, 4))
                 ->signalWithScheduler(Scheduler::mainThreadScheduler())
                 ->subscribeNextCompleted([&](const Id& v) { events += v->description() + ","; },
                                          [&] { events += "done"; });
    testkit::drainMainQueue();
    EXPECT_EQ(events, "1,2,3,done");
}

TEST(Sequence, ASignalSendsOneValuePerStepAndDisposingStopsTheWalk) {
    auto scheduler = rt::make<es::TestScheduler>();
    std::string events;
    int produced = 0;
    auto counted = es::sequence(range(1, 10))->map([&](const Id& v) {
        ++produced;
        return v;
    });
    auto d = counted->signalWithScheduler(scheduler)->subscribeNextCompleted(
        [&](const Id& v) { events += v->description() + ","; }, [&] { events += "done"; });
    scheduler->step(2);
    EXPECT_EQ(events, "1,2,");
    d->dispose();
    scheduler->stepAll();
    EXPECT_EQ(events, "1,2,");
    EXPECT_EQ(produced, 2);
}

TEST(Sequence, EnumeratorHandsEachValueOutOnce) {
    auto enumerator = es::sequence(range(0, 2000))->map([](const Id& v) { return v; })->objectEnumerator();
    std::vector<long> taken[2];
    auto drain = [&](int i) {
        while (Id v = enumerator->nextObject())
            taken[i].push_back(number(v));
    };
    std::thread a(drain, 0), b(drain, 1);
    a.join();
    b.join();
    std::vector<bool> seen(2000, false);
    for (auto& list : taken)
        for (long v : list) {
            EXPECT_FALSE(seen[v]);
            seen[v] = true;
        }
    EXPECT_EQ(taken[0].size() + taken[1].size(), 2000u);
    EXPECT_EQ(enumerator->nextObject(), nullptr);
}

// "<Class: 0x...>{ name = <name><fields> }", with the name as it is when names are off.
::testing::AssertionResult describes(const Id& obj, const std::string& cls, const std::string& fields) {
    std::string d = obj->description();
    std::string start = "<" + cls + ": 0x";
    std::size_t close = d.find(">{ name = ");
    bool ok = d.rfind(start, 0) == 0 && close != std::string::npos &&
              d.find_first_not_of("0123456789abcdef", start.size()) == close &&
              d.substr(close + 10) == fields + " }";
    return ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << d;
}

// ---- Enumerators as sequences ---------------------------------------------------------------

TEST(EnumeratorSequence, ReadsLazilyAndTakesEachValueOnce) {
    std::atomic<int> taken{0};
    auto enumerator = es::sequence(range(1, 4))->map([&](const Id& v) {
                                                  ++taken;
                                                  return v;
                                              })->objectEnumerator();
    auto values = es::sequence(Ref<ns::Enumerator>(enumerator));
    EXPECT_EQ(taken, 0);
    // Read first, the tail still leaves the first value to the head.
    auto rest = values->tail();
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(number(values->head()), 1);
    EXPECT_EQ(number(values->head()), 1);
    EXPECT_EQ(number(rest->head()), 2);
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(text(values), "1,2,3");
    EXPECT_EQ(text(values), "1,2,3");
    EXPECT_EQ(taken, 3);
    EXPECT_EQ(enumerator->nextObject(), nullptr);
    EXPECT_EQ(es::sequence(Ref<ns::Enumerator>()), Sequence::empty());
}

TEST(EnumeratorSequence, ThreadsReadingOneHeadShareOneValue) {
    auto enumerator = es::sequence(range(1, 3))->objectEnumerator();
    auto values = es::sequence(Ref<ns::Enumerator>(enumerator));
    std::vector<Id> heads(4);
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < heads.size(); ++i)
        readers.emplace_back([&, i] { heads[i] = values->head(); });
    for (auto& t : readers)
        t.join();
    for (const Id& h : heads)
        EXPECT_EQ(number(h), 1);
    EXPECT_EQ(number(enumerator->nextObject()), 2);
    EXPECT_TRUE(enumerator->isKindOfClass(*rt::Class::named("NSEnumerator")));
}

// ---- Signals as sequences -------------------------------------------------------------------

TEST(SignalSequence, ArrayAndHeadsOfAFinishedSignal) {
    auto subject = es::ReplaySubject::make();
    subject->sendNext(ns::num(1));
    subject->sendNext(nullptr);
    subject->sendCompleted();
    auto values = subject->sequence();
    EXPECT_TRUE(values->array()->isEqual(ns::Array::withObjects({ns::num(1), ns::Null::null()}).get()));
    EXPECT_EQ(number(values->head()), 1);
    EXPECT_EQ(values->tail()->head(), ns::Null::null());
    EXPECT_EQ(values->tail()->tail()->head(), nullptr);
    EXPECT_EQ(text(values), "1,<null>");
    EXPECT_EQ(es::Signal::empty()->sequence()->head(), nullptr);
    EXPECT_EQ(es::Signal::error(ns::Error::make("Test", 1))->sequence()->array(), nullptr);
}

// The value is sent from another thread once the reader has started; the head waits for it.
TEST(SignalSequence, AHeadWaitsForAValueSentFromAnotherThread) {
    auto subject = es::Subject::subject();
    auto values = subject->sequence();
    testkit::Latch reading;
    Id head;
    std::thread reader([&] {
        reading.countDown();
        head = values->head();
    });
    ASSERT_TRUE(reading.wait());
    std::thread([&] { subject->sendNext(ns::num(7)); }).join();
    reader.join();
    EXPECT_EQ(number(head), 7);
    subject->sendCompleted();
    EXPECT_TRUE(testkit::waitForWorkersIdle());
}

TEST(SignalSequence, DescriptionShowsWhatArrivedWithoutWaiting) {
    auto subject = es::Subject::subject();
    auto values = subject->sequence();
    subject->sendNext(ns::num(1));
    subject->sendNext(nullptr);
    std::string received = ns::Array::withObjects({ns::num(1), ns::Null::null()})->description();
    EXPECT_TRUE(describes(values, "ESSignalSequence", ", values = " + received + " …"));
    std::thread([&] { EXPECT_TRUE(describes(values, "ESSignalSequence", ", values = " + received + " …")); }).join();
    subject->sendCompleted();
}

TEST(Sequence, Descriptions) {
    auto array = es::sequence(ns::Array::withObjects({ns::num(1)}));
    EXPECT_TRUE(describes(array, "ESArraySequence", ", array = " + array->array()->description()));
    auto dynamic = Sequence::sequenceWithHeadBlockTailBlock([] { return Id(ns::num(4)); },
                                                            [] { return Ref<Sequence>(); });
    dynamic->setName("");
    EXPECT_TRUE(describes(dynamic, "ESDynamicSequence", ", head = (unresolved), tail = (unresolved)"));
    dynamic->head();
    EXPECT_TRUE(describes(dynamic, "ESDynamicSequence", ", head = 4, tail = (unresolved)"));
    auto unary = Sequence::returnValue(ns::num(2));
    unary->setName("");
    EXPECT_TRUE(describes(unary, "ESUnarySequence", ", head = 2"));
    EXPECT_TRUE(describes(es::sequence(ns::IndexSet::indexSetWithIndexesInRange({4, 2})), "ESIndexSetSequence",
                          ", indexes = 4, 5"));
    EXPECT_TRUE(describes(es::sequence(ns::str("xyz"))->tail(), "ESStringSequence", ", string = yz"));
    EXPECT_TRUE(describes(Sequence::empty(), "ESEmptySequence", ""));
}

} // namespace
