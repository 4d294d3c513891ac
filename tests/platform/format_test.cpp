#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <string>

#include "platform/foundation/environment.h"
#include "platform/foundation/format.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"

namespace {

using ns::format;

TEST(Format, ObjectsAndNil) {
    rt::Ref<ns::String> nil;
    EXPECT_EQ(format("[%@] [%@]", ns::str("caf\xC3\xA9"), nil), "[caf\xC3\xA9] [(null)]");
    EXPECT_EQ(format("%@ %@", ns::num(42), ns::num(2.5)), "42 2.5");
    EXPECT_EQ(format("%@|%@|%@|%@", 7, -3L, 1.5, true), "7|-3|1.5|YES");
    EXPECT_EQ(format("%@ %@ %@", "text", std::string("str"), 'c'), "text str c");
    EXPECT_EQ(format("%@", *ns::str("by reference")), "by reference");
    const char* nullText = nullptr;
    EXPECT_EQ(format("%s/%s/%s", nullText, nil, ns::str("obj")), "(null)/(null)/obj");
    EXPECT_EQ(format("%s", nullptr), "(null)");
}

TEST(Format, IntegerConversions) {
    EXPECT_EQ(format("%d %i %u", -5, 7, 3u), "-5 7 3");
    EXPECT_EQ(format("%ld %lu %lld %llu", -1L, 2UL, -3LL, 4ULL), "-1 2 -3 4");
    EXPECT_EQ(format("%zu %zd", std::size_t{9}, std::ptrdiff_t{-9}), "9 -9");
    EXPECT_EQ(format("%x %X %lx %o", 255, 255, 0xABCDEF12345L, 8), "ff FF abcdef12345 10");
    // The argument's own type decides: a long prints whole, a negative int reads as 32 bits.
    EXPECT_EQ(format("%d", 5000000000L), "5000000000");
    EXPECT_EQ(format("%x", -1), "ffffffff");
    EXPECT_EQ(format("%x", std::int8_t{-1}), "ff");
    EXPECT_EQ(format("%lx", -1L), "ffffffffffffffff");
    EXPECT_EQ(format("%hhd %hx", 300, 0x12345), "44 2345");
    EXPECT_EQ(format("%d", 18446744073709551615ULL), "18446744073709551615");
    EXPECT_EQ(format("%d %d", ns::num(12), ns::num(2.9)), "12 2");
    EXPECT_EQ(format("%d %u", true, ns::num(7u)), "1 7");
    EXPECT_EQ(format("%c%c%c", 'o', 107, 0xE9), "ok\xC3\xA9");
    EXPECT_EQ(format("%d", "text"), "text");
    EXPECT_EQ(format("%D %U", -2L, 2UL), "-2 2");
}

TEST(Format, FloatingConversions) {
    EXPECT_EQ(format("%f %F", 1.5, 2.0f), "1.500000 2.000000");
    EXPECT_EQ(format("%.2f %e %E", 3.14159, 12345.678, 0.00012), "3.14 1.234568e+04 1.200000E-04");
    EXPECT_EQ(format("%g %G %g", 0.0001, 1e20, 100.0), "0.0001 1E+20 100");
    EXPECT_EQ(format("%f %.1f", 3, ns::num(2.25)), "3.000000 2.2");
    EXPECT_EQ(format("%.1f", ns::str("4.75xyz")), "4.8");
    // The decimal point does not follow the process locale.
    const char* previous = setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (setlocale(LC_NUMERIC, "de_DE.UTF-8") || setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(format("%.2f", 1.25), "1.25");
        setlocale(LC_NUMERIC, saved.c_str());
    }
}

TEST(Format, FlagsWidthAndPrecision) {
    EXPECT_EQ(format("[%5d][%-5d][%05d][%+d][% d]", 42, 42, 42, 42, 42), "[   42][42   ][00042][+42][ 42]");
    EXPECT_EQ(format("[%#x][%#o][%8.3f][%-8.2e]", 255, 8, 3.14159, 1.0), "[0xff][010][   3.142][1.00e+00]");
    EXPECT_EQ(format("[%.3d][%+.2f]", 7, 2.0), "[007][+2.00]");
    EXPECT_EQ(format("[%6@][%-6@][%.2@]", ns::str("ab"), ns::str("ab"), ns::str("abcdef")),
              "[    ab][ab    ][ab]");
    // Width and precision count characters, not bytes.
    EXPECT_EQ(format("[%4s][%.2s]", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"),
              "[ \xC3\xA9t\xC3\xA9][\xC3\xA9t]");
    EXPECT_EQ(format("[%*d][%-*d][%.*f]", 4, 7, 3, 7, 2, 1.0), "[   7][7  ][1.00]");
    EXPECT_EQ(format("[%*d][%.*f]", -4, 7, -1, 1.5), "[7   ][1.500000]");
    // Absurd widths are clamped rather than honoured.
    EXPECT_LE(format("%999999999d", 1).size(), 10000u);
}

TEST(Format, PositionalArguments) {
    EXPECT_EQ(format("%2$@ %1$@ %2$@", ns::str("a"), ns::str("b")), "b a b");
    EXPECT_EQ(format("%1$*2$d|", 5, 4), "   5|");
    EXPECT_EQ(format("%3$@", 1, 2), "");
}

TEST(Format, PointersAndPercent) {
    int x = 0;
    const std::string p = format("%p", &x);
    EXPECT_EQ(p.rfind("0x", 0), 0u);
    EXPECT_EQ(std::strtoull(p.c_str() + 2, nullptr, 16), reinterpret_cast<std::uintptr_t>(&x));
    EXPECT_EQ(format("%p", static_cast<const void*>(nullptr)), "0x0");
    auto s = ns::str("x");
    EXPECT_EQ(format("%p", s), format("%p", static_cast<const void*>(s.get())));
    EXPECT_EQ(format("100%% %d%%", 5), "100% 5%");
}

TEST(Format, MissingArgumentsAndMalformedSpecs) {
    EXPECT_EQ(format("a%db%@c%sd"), "abcd");
    EXPECT_EQ(format("%d and %d", 1), "1 and ");
    EXPECT_EQ(format("%*d", 5), "");
    EXPECT_EQ(format("50%"), "50%");
    EXPECT_EQ(format("%y %k", 1), "%y %k");
    EXPECT_EQ(format("%5%d", 3), "%53");
    EXPECT_EQ(format("%-"), "%-");
    EXPECT_EQ(format("%lq", 1), "%lq");
    EXPECT_EQ(format("%n%d", 9), "%n9"); // never writes through an argument
    EXPECT_EQ(format("plain text"), "plain text");
    EXPECT_EQ(format("%@", 1, 2, 3), "1");
}

TEST(Format, StringWithFormatAndLog) {
    auto s = ns::stringWithFormat("%@ \xE2\x86\x92 %d", ns::str("x"), 3);
    EXPECT_TRUE(s->isEqualToString("x \xE2\x86\x92 3"));
    EXPECT_EQ(s->length(), 5u);
    ns::CapturedLog log;
    ns::log("value=%@ count=%d", ns::num(1.5), 2);
    ns::log("no args %%");
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], "value=1.5 count=2");
    EXPECT_EQ(log.lines()[1], "no args %");
}

TEST(Environment, LookupEveryCall) {
    const char* name = "FT_STRINGS_TEST_VARIABLE";
    unsetenv(name);
    EXPECT_FALSE(ns::environmentValue(name));
    setenv(name, "", 1);
    ASSERT_TRUE(ns::environmentValue(name));
    EXPECT_EQ(*ns::environmentValue(name), "");
    setenv(name, "on", 1);
    EXPECT_EQ(ns::environmentValue(name).value_or("?"), "on");
    unsetenv(name);
    EXPECT_FALSE(ns::environmentValue(name));
    EXPECT_FALSE(ns::environmentValue(""));
    EXPECT_FALSE(ns::environmentValue("A=B"));
}

} // namespace
