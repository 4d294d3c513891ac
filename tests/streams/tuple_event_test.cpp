#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "streams/description.h"
#include "streams/event.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/debug_names.h"

namespace {

using es::Tuple;
using es::TupleNil;
using rt::Id;
using rt::Ref;

using testkit::DebugNames;

TEST(Tuple, NilNullAndTupleNilStayDistinct) {
    Id x = ns::str("x");
    Id null = ns::Null::null();
    Id tupleNil = TupleNil::tupleNil();

    auto fromPlaceholder = Tuple::withObjectsFromArray(ns::Array::make({tupleNil, x}));
    EXPECT_EQ(fromPlaceholder->count(), 2u);
    EXPECT_FALSE(fromPlaceholder->first());
    EXPECT_EQ(fromPlaceholder->second(), x);
    EXPECT_TRUE(fromPlaceholder->allObjects()->isEqual(ns::Array::make({null, x}).get()));
    EXPECT_EQ(fromPlaceholder->allObjects()->objectAtIndex(0), null);

    auto withNull = Tuple::withObjectsFromArray(ns::Array::make({null, x}));
    EXPECT_EQ(withNull->first(), null);
    auto converted = Tuple::withObjectsFromArray(ns::Array::make({null, x}), true);
    EXPECT_FALSE(converted->first());
    EXPECT_EQ(converted->entries()[0], tupleNil);
    EXPECT_TRUE(converted->allObjects()->isEqual(ns::Array::make({null, x}).get()));

    // Raw entries keep the placeholder at the nil's position.
    auto t = Tuple::withObjects({ns::num(1), nullptr, ns::num(3)});
    std::vector<Id> raw(t->begin(), t->end());
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[1], tupleNil);
    EXPECT_EQ(TupleNil::tupleNil()->copy(), tupleNil);
}

TEST(Tuple, ReadsPastTheEndGiveNil) {
    auto empty = rt::make<Tuple>();
    EXPECT_EQ(empty->count(), 0u);
    EXPECT_FALSE(empty->first());
    EXPECT_FALSE(empty->last());
    auto three = Tuple::of(ns::num(1), ns::num(2), ns::num(3));
    EXPECT_FALSE(three->fifth());
    EXPECT_FALSE(three->objectAtIndex(1000));
    EXPECT_TRUE(three->last()->isEqual(ns::num(3).get()));

    auto added = Tuple::of(ns::num(1), ns::num(2))->tupleByAddingObject(nullptr);
    EXPECT_EQ(added->count(), 3u);
    EXPECT_FALSE(added->third());
}

TEST(Tuple, EqualityHashAndCopy) {
    auto a = Tuple::of(ns::str("a"), ns::num(1));
    auto b = Tuple::of(ns::str("a"), ns::num(1.0));
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(Tuple::of(ns::str("a")).get()));
    EXPECT_FALSE(a->isEqual(ns::Array::make({ns::str("a"), ns::num(1)}).get()));
    EXPECT_FALSE(ns::Array::make({ns::str("a"), ns::num(1)})->isEqual(a.get()));
    EXPECT_EQ(a->copy(), a);
    EXPECT_TRUE(Tuple::withObjects({nullptr})->isEqual(Tuple::withObjects({nullptr}).get()));
}

TEST(Tuple, UnpacksIntoReferences) {
    auto t = Tuple::withObjects({ns::str("a"), ns::num(2)});
    Ref<ns::String> s;
    Ref<ns::Number> n;
    Id third = ns::str("stale");
    t->unpack(s, n, third);
    EXPECT_TRUE(s->isEqualToString("a"));
    EXPECT_EQ(n->intValue(), 2);
    EXPECT_FALSE(third);

    Ref<ns::Number> wrongClass;
    t->unpack(wrongClass);
    EXPECT_FALSE(wrongClass);

    Ref<ns::String> fromNil = ns::str("stale");
    es::unpack(Ref<Tuple>(), fromNil);
    EXPECT_FALSE(fromNil);
}

TEST(Tuple, CodingRoundTripKeepsTheSingleton) {
    auto t = Tuple::withObjects({ns::str("a"), nullptr, ns::num(3)});
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(t);
    ASSERT_TRUE(data);
    auto back = rt::cast<Tuple>(ns::KeyedUnarchiver::unarchiveObjectWithData(data));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(t.get()));
    EXPECT_EQ(back->entries()[1], Id(TupleNil::tupleNil()));
    EXPECT_FALSE(back->second());

    auto nilBack = ns::KeyedUnarchiver::unarchiveObjectWithData(
        ns::KeyedArchiver::archivedDataWithRootObject(TupleNil::tupleNil()));
    EXPECT_EQ(nilBack, Id(TupleNil::tupleNil()));
}

TEST(Tuple, DescriptionShowsObjects) {
    auto t = Tuple::withObjects({ns::num(1), nullptr});
    std::string d = t->description();
    EXPECT_EQ(d.rfind("<ESTuple: 0x", 0), 0u) << d;
    EXPECT_NE(d.find("<null>"), std::string::npos) << d;
}

TEST(Event, EqualityHashAndKinds) {
    auto a = es::Event::eventWithValue(ns::str("v"));
    auto b = es::Event::eventWithValue(ns::String::fromUTF16(u"v"));
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());

    auto error = ns::Error::make("Domain", 1);
    auto asValue = es::Event::eventWithValue(error);
    auto asError = es::Event::eventWithError(error);
    EXPECT_FALSE(asValue->isEqual(asError.get()));
    EXPECT_TRUE(asError->isFinished());
    EXPECT_EQ(asError->error(), error);
    EXPECT_FALSE(asError->value());
    EXPECT_FALSE(asValue->error());

    auto nilValue = es::Event::eventWithValue(nullptr);
    EXPECT_FALSE(nilValue->value());
    EXPECT_FALSE(nilValue->isFinished());
    EXPECT_TRUE(nilValue->isEqual(es::Event::eventWithValue(nullptr).get()));

    EXPECT_EQ(es::Event::completedEvent(), es::Event::completedEvent());
    EXPECT_TRUE(es::Event::completedEvent()->isFinished());
    EXPECT_NE(es::Event::completedEvent()->description().find("{ completed }"), std::string::npos);
    EXPECT_NE(a->description().find("{ next = v }"), std::string::npos);
    EXPECT_EQ(es::Unit::defaultUnit(), es::Unit::defaultUnit());
}

TEST(DebugDescription, WithNamesOffOnlyNumbersAndStringsAreDescribed) {
    auto tuple = Tuple::of(ns::num(1));
    auto unit = es::Unit::defaultUnit();
    DebugNames off(false);
    EXPECT_FALSE(es::debugNamesEnabled());
    EXPECT_EQ(es::description(ns::num(42)), "42");
    EXPECT_EQ(es::description(ns::str("text")), "text");
    EXPECT_EQ(es::description(unit), "(description skipped)");
    EXPECT_EQ(es::description(tuple), "(description skipped)");
}

TEST(DebugDescription, WithNamesOnEverythingIsDescribed) {
    auto tuple = Tuple::of(ns::num(1));
    auto unit = es::Unit::defaultUnit();
    DebugNames on(true); // present with an empty value counts as set
    EXPECT_TRUE(es::debugNamesEnabled());
    EXPECT_EQ(es::description(ns::num(42)), "42");
    EXPECT_EQ(es::description(unit).rfind("<ESUnit: 0x", 0), 0u);
    EXPECT_EQ(es::description(tuple), tuple->allObjects()->description());
}

TEST(DebugDescription, ReadsTheEnvironmentOnceUntilAskedToReadItAgain) {
    DebugNames off(false);
    EXPECT_FALSE(es::debugNamesEnabled());
    setenv("ES_DEBUG_SIGNAL_NAMES", "", 1);
    EXPECT_FALSE(es::debugNamesEnabled()); // not read again on every call
    EXPECT_TRUE(es::readDebugNamesSwitch());
    EXPECT_TRUE(es::debugNamesEnabled());
}

TEST(DebugDescription, OfNilIsNull) {
    EXPECT_EQ(es::description(nullptr), "(null)");
}

} // namespace

namespace {

// Tuples keep up to four values inside themselves and more outside: both read the same.
TEST(Tuple, SmallAndLargeTuplesReadAlike) {
    std::vector<Id> values;
    for (int i = 0; i < 7; ++i) values.push_back(i == 2 ? Id() : Id(ns::str(std::to_string(i))));
    for (std::size_t n = 0; n <= values.size(); ++n) {
        auto t = Tuple::withObjects(std::vector<Id>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n)));
        ASSERT_EQ(t->count(), n);
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(t->objectAtIndex(i), values[i]) << n << "/" << i;
        EXPECT_EQ(t->objectAtIndex(n), nullptr);
        // One more on the end crosses from inside to outside at five.
        auto longer = t->tupleByAddingObject(nullptr);
        ASSERT_EQ(longer->count(), n + 1);
        EXPECT_EQ(longer->entries()[n], Id(TupleNil::tupleNil()));
        auto expected = std::vector<Id>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
        expected.push_back(nullptr);
        EXPECT_TRUE(longer->isEqual(Tuple::withObjects(expected).get()));
        // Archived and read back, whatever the size.
        Id back = ns::KeyedUnarchiver::unarchiveObjectWithData(ns::KeyedArchiver::archivedDataWithRootObject(t));
        EXPECT_TRUE(t->isEqual(back.get())) << n;
    }
}

} // namespace
