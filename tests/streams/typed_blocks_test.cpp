// Blocks typed at the edges: reduce blocks, and the lambdas the operators and the subscribe
// family take, with object or scalar parameters. A value of the wrong class is a loud failure in
// debug builds and a logged nil (zero for a scalar) in release builds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/sequence.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using es::Tuple;
using rt::Id;
using rt::Ref;

TEST(TypedReduceBlocks, ReceiveTheirValuesTyped) {
    auto tuples = Subject::subject();
    auto recorder = testkit::record(tuples->reduceEach(
        [](const Ref<ns::String>& s, const Ref<ns::Number>& n) { return ns::str(s->utf8() + n->description()); }));
    tuples->sendNext(Tuple::of(ns::str("a"), ns::num(1)));
    EXPECT_EQ(recorder.text(), "a1");
}

// Sends the tuple through a reduce block that takes a string; whether the block got nil.
bool reachesAStringParameterAsNil(const Ref<Tuple>& tuple) {
    auto tuples = Subject::subject();
    bool wasNil = false;
    tuples->reduceEach([&](const Ref<ns::String>& s) {
        wasNil = !s;
        return s;
    })->subscribeNext([](const Id&) {});
    tuples->sendNext(tuple);
    return wasNil;
}

#ifdef NDEBUG
TEST(TypedReduceBlocks, AWronglyTypedValueIsLoggedAndArrivesAsNil) {
    ns::CapturedLog log;
    EXPECT_TRUE(reachesAStringParameterAsNil(Tuple::of(ns::num(5))));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("NSString"), std::string::npos) << log.lines()[0];
    EXPECT_NE(log.lines()[0].find("NSNumber"), std::string::npos) << log.lines()[0];
}
#else
TEST(TypedReduceBlocksDeathTest, AWronglyTypedValueAsserts) {
    EXPECT_DEATH(reachesAStringParameterAsNil(Tuple::of(ns::num(5))), "");
}
#endif

TEST(TypedReduceBlocks, NilArrivesAsNilWithoutComplaint) {
    ns::CapturedLog log;
    EXPECT_TRUE(reachesAStringParameterAsNil(Tuple::withObjects({nullptr})));
    EXPECT_TRUE(log.lines().empty());
}

// ---- Call sites that read as they should ----

TEST(CallSites, MergeOfOneSignalInBraces) {
    auto only = Subject::subject();
    auto recorder = testkit::record(Signal::merge({only}));
    only->sendNext(ns::num(1));
    only->sendCompleted();
    EXPECT_EQ(recorder.text(), "1 C");
}

TEST(CallSites, FlattenMapAndBindBlocksReturnSignals) {
    auto source = Subject::subject();
    auto flat = testkit::record(source->flattenMap([](const Id& v) -> Ref<Signal> {
        if (!v) return Signal::empty();
        return Signal::returnValue(v);
    }));
    auto bound = testkit::record(source->bind([] {
        return [](const Id& v, bool& stop) -> Ref<Signal> {
            stop = true;
            return Signal::returnValue(v);
        };
    }));
    source->sendNext(nullptr);
    source->sendNext(ns::num(2));
    EXPECT_EQ(flat.text(), "2");
    EXPECT_EQ(bound.text(), "nil C");
}

// ---- Typed edges: map, filter, subscribeNext, doNext ----

TEST(TypedMap, TakesAScalarAndBoxesItsResult) {
    auto numbers = Subject::subject();
    auto recorder = testkit::record(numbers->map([](long n) { return n * 2; }));
    numbers->sendNext(ns::num(21));
    numbers->sendNext(ns::num(2.9)); // a double read as long
    numbers->sendNext(nullptr);      // nil reads as zero
    EXPECT_EQ(recorder.text(), "42 4 0");
    auto boxed = rt::cast<ns::Number>(recorder.values()[0]);
    ASSERT_TRUE(boxed);
    EXPECT_EQ(boxed->kind(), ns::Number::Kind::Long); // the result keeps the block's type
}

TEST(TypedMap, TakesAnObjectClassAndReturnsObjects) {
    auto strings = Subject::subject();
    auto recorder = testkit::record(strings->map([](const Ref<ns::String>& s) { return ns::str(s->utf8() + "!"); }));
    strings->sendNext(ns::str("hi"));
    EXPECT_EQ(recorder.text(), "hi!");
}

TEST(TypedMap, DoubleAndBoolParameters) {
    auto numbers = Subject::subject();
    auto halves = testkit::record(numbers->map([](double d) { return d / 2; }));
    auto negated = testkit::record(numbers->map([](bool b) { return !b; }));
    numbers->sendNext(ns::num(3));
    EXPECT_EQ(rt::cast<ns::Number>(halves.values()[0])->doubleValue(), 1.5);
    EXPECT_EQ(negated.values()[0], Id(ns::num(false)));
}

#ifdef NDEBUG
TEST(TypedFilter, AValueOfTheWrongClassIsLoggedAndReadAsNil) {
    ns::CapturedLog log;
    auto values = Subject::subject();
    std::vector<bool> sawNil;
    auto recorder = testkit::record(values->filter([&](const Ref<ns::String>& s) {
        sawNil.push_back(!s);
        return !s || s->length() > 0;
    }));
    values->sendNext(ns::num(7));
    values->sendNext(ns::str("a"));
    EXPECT_EQ(sawNil, (std::vector<bool>{true, false}));
    EXPECT_EQ(recorder.text(), "7 a"); // the filter let nil through, so the value went on
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("NSString"), std::string::npos) << log.lines()[0];
}

TEST(TypedMap, AScalarParameterGivenAnObjectIsLoggedAndReadAsZero) {
    ns::CapturedLog log;
    auto values = Subject::subject();
    auto recorder = testkit::record(values->map([](int n) { return n + 1; }));
    values->sendNext(ns::str("12"));
    EXPECT_EQ(recorder.text(), "1");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("NSNumber"), std::string::npos) << log.lines()[0];
}
#else
TEST(TypedFilterDeathTest, AValueOfTheWrongClassAsserts) {
    auto values = Subject::subject();
    values->filter([](const Ref<ns::String>& s) { return !s; })->subscribeNext([](const Id&) {});
    EXPECT_DEATH(values->sendNext(ns::num(7)), "");
}
#endif

TEST(TypedSubscribeNext, TakesABool) {
    auto flags = Subject::subject();
    std::vector<bool> seen;
    auto d = flags->subscribeNext([&](bool on) { seen.push_back(on); });
    flags->sendNext(ns::num(true));
    flags->sendNext(ns::num(0));
    flags->sendNext(nullptr);
    EXPECT_EQ(seen, (std::vector<bool>{true, false, false}));
    d->dispose();
}

TEST(TypedSubscribeNext, EveryFormTakesTypedBlocks) {
    auto strings = Subject::subject();
    std::string seen;
    bool completed = false;
    strings->subscribeNextCompleted([&](const Ref<ns::String>& s) { seen += s->utf8(); }, [&] { completed = true; });
    strings->subscribeNextErrorCompleted([&](const Ref<ns::String>& s) { seen += s->utf8(); }, nullptr, nullptr);
    strings->doNext([&](const Ref<ns::String>& s) { seen += "(" + s->utf8() + ")"; })->subscribeNext([](const Id&) {});
    strings->sendNext(ns::str("x"));
    strings->sendCompleted();
    EXPECT_EQ(seen, "xx(x)");
    EXPECT_TRUE(completed);
}

TEST(TypedPredicates, TakeAndSkipWhileTakeTypedBlocks) {
    auto numbers = Subject::subject();
    auto taken = testkit::record(numbers->takeWhileBlock([](int n) { return n < 3; }));
    auto skipped = testkit::record(numbers->skipWhileBlock([](int n) { return n < 3; }));
    for (int i = 1; i <= 4; ++i) numbers->sendNext(ns::num(i));
    EXPECT_EQ(taken.text(), "1 2 C");
    EXPECT_EQ(skipped.text(), "3 4");
}

TEST(NilBlocks, LeaveTheValuesAsTheyAre) {
    auto values = Subject::subject();
    Signal::MapBlock noMap;
    Signal::PredicateBlock noFilter;
    auto mapped = testkit::record(values->map(noMap));
    auto filtered = testkit::record(values->filter(noFilter));
    auto peeked = testkit::record(values->doNext(nullptr));
    values->sendNext(ns::num(1));
    EXPECT_EQ(mapped.text(), "1");
    EXPECT_EQ(filtered.text(), "1");
    EXPECT_EQ(peeked.text(), "1");
}

// ---- createSignal blocks return what they make ----

TEST(CreateSignalBlocks, ReturnAnyDisposableNilOrNothing) {
    int disposed = 0;
    auto plain = Signal::createSignal([&](const Ref<es::Subscriber>& s) {
        s->sendNext(ns::num(1));
        return es::Disposable::withBlock([&] { ++disposed; });
    });
    auto compound = Signal::createSignal([&](const Ref<es::Subscriber>&) {
        return es::CompoundDisposable::withBlock([&] { ++disposed; });
    });
    auto nothing = Signal::createSignal([](const Ref<es::Subscriber>& s) { s->sendCompleted(); });
    auto nil = Signal::createSignal([](const Ref<es::Subscriber>&) { return nullptr; });
    auto p = testkit::record(plain), c = testkit::record(compound), n = testkit::record(nothing),
         z = testkit::record(nil);
    EXPECT_EQ(p.text(), "1");
    EXPECT_EQ(n.text(), "C");
    p.dispose();
    c.dispose();
    z.dispose();
    EXPECT_EQ(disposed, 2);
}

// ---- A stream of another family where a signal is expected ----

TEST(FamilyCheck, ABindBlockReturningASequenceFailsTheSignal) {
    auto source = Subject::subject();
    auto bound = testkit::record(source->flattenMap([](const Id& v) -> Ref<es::Stream> {
        return es::Sequence::returnValue(v);
    }), {.errorDomains = true});
    source->sendNext(ns::num(1));
    source->sendNext(ns::num(2));
    EXPECT_EQ(bound.text(), "E:ESSignalErrorDomain/3+info");
}

TEST(FamilyCheck, ConcatAndZipWithASequenceFail) {
    auto sequence = es::Sequence::returnValue(ns::num(1));
    auto concatenated = testkit::record(Signal::returnValue(ns::num(0))->concat(sequence), {.errorDomains = true});
    auto zipped = testkit::record(Signal::returnValue(ns::num(0))->zipWith(sequence), {.errorDomains = true});
    EXPECT_EQ(concatenated.text(), "0 E:ESSignalErrorDomain/3+info");
    EXPECT_EQ(zipped.text(), "E:ESSignalErrorDomain/3+info");
}

} // namespace
