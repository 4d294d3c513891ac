#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace {

using ns::Range;
using ns::String;

void expectRangeException(const std::function<void()>& f) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const ns::Exception& e) {
        EXPECT_EQ(e.name(), "NSRangeException");
    }
}

TEST(String, LengthsAndUnitsOfMixedText) {
    auto s = ns::str("h\xC3\xA9llo\xF0\x9F\x98\x80"); // héllo😀
    EXPECT_EQ(s->length(), 7u);
    EXPECT_FALSE(s->isASCII());
    EXPECT_EQ(s->characterAtIndex(1), u'\u00E9');
    EXPECT_EQ(s->characterAtIndex(5), 0xD83D);
    EXPECT_EQ(s->characterAtIndex(6), 0xDE00);
    EXPECT_EQ(s->utf16(), u"h\u00E9llo\U0001F600");
    EXPECT_EQ(s->utf8(), "h\xC3\xA9llo\xF0\x9F\x98\x80");
    expectRangeException([&] { s->characterAtIndex(7); });

    auto ascii = ns::str("plain");
    EXPECT_TRUE(ascii->isASCII());
    EXPECT_EQ(ascii->utf16(), u"plain");
    EXPECT_EQ(ns::str("")->length(), 0u);
    EXPECT_EQ(ns::str("").get(), String::empty().get());
    EXPECT_EQ(String::fromUTF16(u"").get(), String::empty().get());
    EXPECT_EQ(std::string(ascii->getClass().name()), "NSString");
}

TEST(String, SubstringSplittingASurrogatePair) {
    auto s = ns::str("a\xF0\x9F\x98\x80z"); // a😀z
    auto high = s->substringWithRange({1, 1});
    EXPECT_EQ(high->length(), 1u);
    EXPECT_EQ(high->characterAtIndex(0), 0xD83D);
    EXPECT_EQ(high->utf8(), "\xEF\xBF\xBD"); // U+FFFD stands in for the lone surrogate
    // The lone surrogate is not the replacement character it prints as.
    EXPECT_FALSE(high->isEqual(ns::str("\xEF\xBF\xBD").get()));
    EXPECT_FALSE(high->isEqualToString("\xEF\xBF\xBD"));
    auto low = s->substringFromIndex(2);
    EXPECT_EQ(low->length(), 2u);
    EXPECT_EQ(low->characterAtIndex(0), 0xDE00);
    // Rejoining the halves restores the pair.
    EXPECT_TRUE(high->stringByAppendingString(*low)->isEqualToString("\xF0\x9F\x98\x80z"));
    EXPECT_TRUE(s->substringToIndex(1)->isEqualToString("a"));
    EXPECT_TRUE(s->substringWithRange({3, 1})->isASCII());
    expectRangeException([&] { s->substringWithRange({3, 2}); });
    expectRangeException([&] { s->substringWithRange({5, 0}); });
    expectRangeException([&] { s->substringWithRange({1, std::numeric_limits<std::size_t>::max()}); });
    expectRangeException([&] { s->substringFromIndex(5); });
    EXPECT_EQ(s->substringFromIndex(4)->length(), 0u);
}

TEST(String, ComposedCharacterSequences) {
    auto accent = ns::str("xe\xCC\x81y"); // x e U+0301 y
    EXPECT_EQ(accent->rangeOfComposedCharacterSequenceAtIndex(2), (Range{1, 2}));
    EXPECT_EQ(accent->rangeOfComposedCharacterSequenceAtIndex(0), (Range{0, 1}));
    EXPECT_EQ(accent->rangeOfComposedCharacterSequenceAtIndex(3), (Range{3, 1}));

    // Three regional indicators: one flag, then a lone indicator.
    auto flags = ns::str("\xF0\x9F\x87\xBA\xF0\x9F\x87\xB8\xF0\x9F\x87\xAB");
    EXPECT_EQ(flags->rangeOfComposedCharacterSequenceAtIndex(3), (Range{0, 4}));
    EXPECT_EQ(flags->rangeOfComposedCharacterSequenceAtIndex(4), (Range{4, 2}));
    EXPECT_EQ(flags->rangeOfComposedCharacterSequenceAtIndex(5), (Range{4, 2}));

    // Man ZWJ woman ZWJ girl, followed by a thumbs-up with a skin tone.
    auto family = ns::str("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
                          "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    EXPECT_EQ(family->length(), 12u);
    for (std::size_t i : {0u, 2u, 5u, 7u})
        EXPECT_EQ(family->rangeOfComposedCharacterSequenceAtIndex(i), (Range{0, 8}));
    EXPECT_EQ(family->rangeOfComposedCharacterSequenceAtIndex(9), (Range{8, 4}));

    auto lines = ns::str("a\r\n\n\rb");
    EXPECT_EQ(lines->rangeOfComposedCharacterSequenceAtIndex(2), (Range{1, 2}));
    EXPECT_EQ(lines->rangeOfComposedCharacterSequenceAtIndex(3), (Range{3, 1}));
    EXPECT_EQ(lines->rangeOfComposedCharacterSequenceAtIndex(4), (Range{4, 1}));

    // ASCII held by a joiner before it or a mark after it is not a cluster of its own.
    auto joined = ns::str("a\xE2\x80\x8D" "bc\xCC\x81" "d");
    EXPECT_EQ(joined->rangeOfComposedCharacterSequenceAtIndex(2), (Range{0, 3}));
    EXPECT_EQ(joined->rangeOfComposedCharacterSequenceAtIndex(3), (Range{3, 2}));
    EXPECT_EQ(joined->rangeOfComposedCharacterSequenceAtIndex(5), (Range{5, 1}));

    // Variation selector, Hangul jamo L V T, Devanagari consonant + vowel sign.
    auto mixed =
        ns::str("\xE2\x9D\xA4\xEF\xB8\x8F\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8\xE0\xA4\x95\xE0\xA4\xBF");
    EXPECT_EQ(mixed->rangeOfComposedCharacterSequenceAtIndex(1), (Range{0, 2}));
    EXPECT_EQ(mixed->rangeOfComposedCharacterSequenceAtIndex(3), (Range{2, 3}));
    EXPECT_EQ(mixed->rangeOfComposedCharacterSequenceAtIndex(6), (Range{5, 2}));

    // A lone surrogate stands alone; a mark after it does not attach.
    auto lone = String::fromUTF16(u"\xD800\x0301");
    EXPECT_EQ(lone->rangeOfComposedCharacterSequenceAtIndex(0), (Range{0, 1}));

    EXPECT_EQ(accent->rangeOfComposedCharacterSequencesForRange({2, 1}), (Range{1, 2}));
    EXPECT_EQ(family->rangeOfComposedCharacterSequencesForRange({3, 7}), (Range{0, 12}));
    EXPECT_EQ(accent->rangeOfComposedCharacterSequencesForRange({2, 0}), (Range{1, 0}));
    EXPECT_EQ(accent->rangeOfComposedCharacterSequencesForRange({4, 0}), (Range{4, 0}));
    expectRangeException([&] { accent->rangeOfComposedCharacterSequenceAtIndex(4); });
    expectRangeException([&] { accent->rangeOfComposedCharacterSequencesForRange({3, 2}); });
}

// Whatever index it is asked from, a cluster is the same: the ranges partition the string.
TEST(String, ComposedRangesPartitionMixedText) {
    const std::u16string pieces[] = {u"a", u"\u0301", u"\u200D", u"\U0001F1FA", u"\U0001F468", u"\U0001F3FD",
                                     u"\r", u"\n", u"\uFE0F", u"\u1100", u"\u1161", u"\uAC00", u"\u11A8",
                                     u"\xD800", u"\xDC00", u"\u0915", u"\u094D"};
    std::uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::u16string units;
        for (int k = 0; k < 12; ++k) {
            seed = seed * 1664525u + 1013904223u;
            units += pieces[(seed >> 16) % std::size(pieces)];
        }
        auto s = String::fromUTF16(units);
        for (std::size_t i = 0; i < s->length(); ++i) {
            const Range r = s->rangeOfComposedCharacterSequenceAtIndex(i);
            ASSERT_TRUE(r.contains(i));
            for (std::size_t j = r.location; j < r.max(); ++j)
                ASSERT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(j), r)
                    << "round " << round << " at " << j;
        }
    }
}

TEST(String, EqualityAndHashAcrossEncodings) {
    const std::string text = "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80";
    auto fromUTF8 = ns::str(text);
    auto fromUTF16 = String::fromUTF16(u"gr\u00FC\u00DF \U0001F600");
    EXPECT_NE(fromUTF8.get(), fromUTF16.get());
    EXPECT_TRUE(fromUTF8->isEqual(fromUTF16.get()));
    EXPECT_EQ(fromUTF8->hash(), fromUTF16->hash());
    EXPECT_EQ(fromUTF8->hash(), String::hashOfUTF8(text));
    EXPECT_TRUE(fromUTF16->isEqualToString(text));
    EXPECT_EQ(String::fromUTF16(u"abc")->hash(), String::hashOfUTF8("abc"));
    EXPECT_TRUE(String::fromUTF16(u"abc")->isASCII());
    EXPECT_FALSE(fromUTF8->isEqual(ns::str("gr\xC3\xBC\xC3\x9F").get()));
    EXPECT_NE(ns::str("ab")->hash(), ns::str("ba")->hash());
    EXPECT_FALSE(ns::str("1")->isEqual(ns::num(1).get()));
    EXPECT_FALSE(ns::str("x")->isEqualToString(static_cast<const String*>(nullptr)));

    EXPECT_EQ(ns::str("abc")->compare(*ns::str("abd")), -1);
    EXPECT_EQ(ns::str("abc")->compare(*ns::str("ab")), 1);
    EXPECT_EQ(fromUTF8->compare(*fromUTF16), 0);
    // UTF-16 order: U+FF5E sorts after the surrogates of U+1F600, unlike in code point order.
    EXPECT_EQ(ns::str("\xEF\xBD\x9E")->compare(*ns::str("\xF0\x9F\x98\x80")), 1);
    auto copy = fromUTF8->copy();
    EXPECT_EQ(copy.get(), fromUTF8.get());
}

// A string's hash is computed when first asked for, on whichever thread asks first, and is the
// same from every thread and for every equal string.
TEST(String, TheHashIsTheSameWhicheverThreadComputesItFirst) {
    std::vector<rt::Ref<String>> strings;
    for (int i = 0; i < 64; ++i)
        strings.push_back(i % 2 ? ns::str("key " + std::to_string(i)) : ns::str("cl\xC3\xA9 " + std::to_string(i)));
    std::vector<std::vector<std::size_t>> seen(4);
    std::vector<std::thread> threads;
    for (auto& out : seen)
        threads.emplace_back([&strings, &out] {
            for (auto& s : strings)
                out.push_back(s->hash());
        });
    for (auto& t : threads)
        t.join();
    for (std::size_t i = 0; i < strings.size(); ++i) {
        const std::size_t expected = String::hashOfUTF8(strings[i]->utf8());
        for (auto& out : seen)
            EXPECT_EQ(out[i], expected) << i;
        EXPECT_TRUE(strings[i]->isEqual(String::fromUTF16(strings[i]->utf16()).get()));
        EXPECT_FALSE(strings[i]->isEqual(strings[(i + 1) % strings.size()].get()));
    }
    // Equal strings whose hashes are not known yet, or known for one of them only, are equal.
    auto x = ns::str("same text"), y = ns::str("same text"), z = ns::str("same text");
    EXPECT_TRUE(x->isEqual(y.get()));
    (void)x->hash();
    EXPECT_TRUE(x->isEqual(z.get()));
    EXPECT_TRUE(z->isEqual(x.get()));
    EXPECT_FALSE(x->isEqual(ns::str("same texT").get()));
}

TEST(String, MalformedUTF8BecomesReplacementCharacters) {
    EXPECT_TRUE(String::isValidUTF8("ok \xC3\xA9 \xF0\x9F\x98\x80"));
    for (const char* bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80"})
        EXPECT_FALSE(String::isValidUTF8(bad)) << bad;

    // A truncated sequence is one replacement; each stray byte is one.
    auto s = ns::str("a\xE2\x82z\xFF\x80!");
    EXPECT_EQ(s->utf16(), u"a\uFFFDz\uFFFD\uFFFD!");
    EXPECT_EQ(s->utf8(), "a\xEF\xBF\xBDz\xEF\xBF\xBD\xEF\xBF\xBD!");
    EXPECT_TRUE(String::isValidUTF8(s->utf8()));
    EXPECT_EQ(s->hash(), String::hashOfUTF8("a\xE2\x82z\xFF\x80!"));
    EXPECT_TRUE(s->isEqualToString("a\xE2\x82z\xFF\x80!"));
    // An encoded surrogate is three malformed bytes.
    EXPECT_EQ(ns::str("\xED\xA0\x80")->length(), 3u);
}

TEST(String, SearchingAndAppending) {
    auto s = ns::str("\xF0\x9F\x98\x80 caf\xC3\xA9 caf\xC3\xA9");
    EXPECT_EQ(s->rangeOfString("caf\xC3\xA9"), (Range{3, 4}));
    EXPECT_EQ(s->rangeOfString("tea").location, ns::NotFound);
    EXPECT_EQ(s->rangeOfString("").location, ns::NotFound);
    EXPECT_TRUE(s->hasPrefix("\xF0\x9F\x98\x80"));
    EXPECT_TRUE(s->hasSuffix("\xC3\xA9"));
    EXPECT_FALSE(s->hasPrefix(""));
    EXPECT_FALSE(s->hasSuffix("caf"));
    EXPECT_TRUE(s->containsString(" c"));
    EXPECT_FALSE(s->containsString(""));
    EXPECT_EQ(ns::str("abc")->rangeOfString("c"), (Range{2, 1}));
    EXPECT_FALSE(ns::str("abc")->containsString("\xC3\xA9"));

    // A string holding a lone surrogate matches by units, not by its printed form.
    auto lone = String::fromUTF16(u"\xD83Dx");
    EXPECT_FALSE(lone->hasPrefix("\xEF\xBF\xBD"));
    EXPECT_TRUE(lone->hasSuffix("x"));

    auto joined = ns::str("ab")->stringByAppendingString("\xC3\xA9");
    EXPECT_TRUE(joined->isEqualToString("ab\xC3\xA9"));
    EXPECT_EQ(joined->length(), 3u);
    EXPECT_TRUE(ns::str("ab")->stringByAppendingString(*ns::str("cd"))->isEqualToString("abcd"));
}

TEST(String, NumberParsing) {
    EXPECT_EQ(ns::str("  -42abc")->intValue(), -42);
    EXPECT_EQ(ns::str("\t\n+17")->integerValue(), 17);
    EXPECT_EQ(ns::str("abc")->intValue(), 0);
    EXPECT_EQ(ns::str("- 5")->intValue(), 0);
    EXPECT_EQ(ns::str("3000000000")->intValue(), std::numeric_limits<int>::max());
    EXPECT_EQ(ns::str("-3000000000")->intValue(), std::numeric_limits<int>::min());
    EXPECT_EQ(ns::str("3000000000")->longLongValue(), 3000000000LL);
    EXPECT_EQ(ns::str("99999999999999999999")->longLongValue(), std::numeric_limits<long long>::max());
    EXPECT_EQ(ns::str("-9223372036854775808")->longLongValue(), std::numeric_limits<long long>::min());
    EXPECT_EQ(ns::str("-99999999999999999999")->longLongValue(), std::numeric_limits<long long>::min());
    EXPECT_EQ(ns::str("18446744073709551615")->unsignedLongLongValue(), 18446744073709551615ull);
    EXPECT_EQ(ns::str("99999999999999999999")->unsignedLongLongValue(), 18446744073709551615ull);

    EXPECT_DOUBLE_EQ(ns::str(" 2.5e3x")->doubleValue(), 2500.0);
    EXPECT_DOUBLE_EQ(ns::str("-.5")->doubleValue(), -0.5);
    EXPECT_DOUBLE_EQ(ns::str("+7.")->doubleValue(), 7.0);
    EXPECT_DOUBLE_EQ(ns::str("1e")->doubleValue(), 1.0);
    EXPECT_DOUBLE_EQ(ns::str("1.5E-2")->doubleValue(), 0.015);
    EXPECT_EQ(ns::str(".")->doubleValue(), 0.0);
    EXPECT_EQ(ns::str("inf")->doubleValue(), 0.0);
    EXPECT_EQ(ns::str("1,5")->doubleValue(), 1.0);
    EXPECT_TRUE(std::isinf(ns::str("1e999")->doubleValue()));
    EXPECT_EQ(ns::str("1e-999")->doubleValue(), 0.0);
    EXPECT_FLOAT_EQ(ns::str("0.25")->floatValue(), 0.25f);

    for (const char* yes : {"YES", "y", " true", "T", "1", "-0009", "+5"})
        EXPECT_TRUE(ns::str(yes)->boolValue()) << yes;
    for (const char* no : {"NO", "", "0", "000", "false", " x1", "-0"})
        EXPECT_FALSE(ns::str(no)->boolValue()) << no;
}

} // namespace
