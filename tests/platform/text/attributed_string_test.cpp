// Attributed strings: runs, effective ranges, coalescing, edits, UTF-16 ranges and range errors.

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/exception.h"
#include "platform/runtime/number.h"

namespace {

using ns::AttributedString;
using ns::MutableAttributedString;
using ns::Range;

rt::Ref<ns::Dictionary> attrs(const char* key, long value) {
    return ns::Dictionary::withPairs({{ns::str(key), ns::Number::withLong(value)}});
}

// "text{...}" per run, for comparing whole strings at once.
std::string runsOf(const AttributedString& s) {
    std::string out;
    s.enumerateAttribute("k", {0, s.length()}, [&](const rt::Id& v, Range r, bool&) {
        out += "(" + std::to_string(r.location) + "," + std::to_string(r.length) + ")=" + (v ? v->description() : "nil") + " ";
    });
    return out;
}

TEST(AttributedString, EffectiveRangesCoalesceEqualNeighbours) {
    auto s = MutableAttributedString::make("abcdef", attrs("k", 1));
    s->addAttribute("k", ns::Number::withLong(2), {2, 2});
    EXPECT_EQ(runsOf(*s), "(0,2)=1 (2,2)=2 (4,2)=1 ");
    s->addAttribute("k", ns::Number::withLong(1), {2, 2}); // back as it was: one run again
    EXPECT_EQ(s->runs().size(), 1u);
    Range effective;
    EXPECT_EQ(s->attributeAtIndex("k", 3, &effective)->description(), "1");
    EXPECT_EQ(effective, (Range{0, 6}));

    s->removeAttribute("k", {1, 2});
    EXPECT_EQ(runsOf(*s), "(0,1)=1 (1,2)=nil (3,3)=1 "); // nil stretches are enumerated too
    s->addAttribute("j", ns::Number::withLong(5), {0, 6});
    // Another key's runs split the dictionaries but not this key's stretches.
    s->addAttribute("j", ns::Number::withLong(6), {4, 1});
    EXPECT_EQ(runsOf(*s), "(0,1)=1 (1,2)=nil (3,3)=1 ");
    EXPECT_FALSE(s->attributeAtIndex("k", 1, &effective));
    EXPECT_EQ(effective, (Range{1, 2}));
}

TEST(AttributedString, EditsKeepAttributesWithTheirText) {
    auto s = MutableAttributedString::make("hello", attrs("k", 1));
    s->appendAttributedString(*AttributedString::make(" world", attrs("k", 2)));
    EXPECT_EQ(runsOf(*s), "(0,5)=1 (5,6)=2 ");
    s->replaceCharactersInRange(Range{5, 1}, *ns::str("__")); // takes the first replaced character's
    EXPECT_EQ(s->string()->utf8(), "hello__world");
    EXPECT_EQ(runsOf(*s), "(0,5)=1 (5,7)=2 ");
    s->replaceCharactersInRange(Range{5, 0}, *ns::str("!")); // inserting takes the one before
    EXPECT_EQ(runsOf(*s), "(0,6)=1 (6,7)=2 ");
    s->deleteCharactersInRange({0, 6});
    EXPECT_EQ(runsOf(*s), "(0,7)=2 ");
    s->insertAttributedString(*s, 0); // itself
    EXPECT_EQ(s->string()->utf8(), "__world__world");
    EXPECT_EQ(s->runs().size(), 1u);
    s->deleteCharactersInRange({0, s->length()});
    EXPECT_EQ(s->length(), 0u);
    EXPECT_TRUE(s->runs().empty());
    s->replaceCharactersInRange(Range{0, 0}, *ns::str("x")); // nothing to inherit
    EXPECT_EQ(s->attributesAtIndex(0)->count(), 0u);
}

TEST(AttributedString, CopiesSubstringsAndEqualityAreByValue) {
    auto m = MutableAttributedString::make("a\U0001F600b", attrs("k", 1)); // 4 UTF-16 units
    EXPECT_EQ(m->length(), 4u);
    m->addAttribute("k", ns::Number::withLong(2), {1, 2});
    auto frozen = rt::downcast<AttributedString>(m->copy());
    EXPECT_FALSE(rt::cast<MutableAttributedString>(rt::Id(frozen)));
    EXPECT_TRUE(frozen->isEqual(m.get()));
    m->addAttribute("k", ns::Number::withLong(3), {0, 1});
    EXPECT_FALSE(frozen->isEqual(m.get())); // the copy kept its own runs
    auto sub = frozen->attributedSubstringFromRange({1, 3});
    EXPECT_EQ(sub->string()->utf8(), "\U0001F600b");
    EXPECT_EQ(runsOf(*sub), "(0,2)=2 (2,1)=1 ");
    auto again = frozen->mutableCopy();
    EXPECT_TRUE(again->isEqualToAttributedString(frozen.get()));
}

TEST(AttributedString, OutOfRangeArgumentsRaiseRangeException) {
    auto s = MutableAttributedString::make("abc");
    auto expectRange = [](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const ns::Exception& e) {
            EXPECT_EQ(e.name(), "NSRangeException");
        }
    };
    expectRange([&] { s->attributesAtIndex(3); });
    expectRange([&] { s->attributedSubstringFromRange({2, 2}); });
    expectRange([&] { s->addAttribute("k", ns::Number::withLong(1), {ns::NotFound, 1}); });
    expectRange([&] { s->deleteCharactersInRange({1, ns::NotFound}); }); // no overflow past the end
    expectRange([&] { s->insertAttributedString(*AttributedString::make("x"), 4); });
    expectRange([&] { s->enumerateAttribute("k", {0, 4}, [](const rt::Id&, Range, bool&) {}); });
    EXPECT_EQ(s->string()->utf8(), "abc"); // nothing changed
}

} // namespace
