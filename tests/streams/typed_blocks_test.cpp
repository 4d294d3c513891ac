// Blocks typed at the edges: reduce blocks, and the lambdas the operators and the subscribe
// family take, with object or scalar parameters. A value of the wrong class is a loud failure in
// debug builds and a logged nil (zero for a scalar) in release builds.

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
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

} // namespace
