// The number formatter's decimal style in its fixed English locale, both ways.

#include <gtest/gtest.h>

#include "platform/foundation/number_formatter.h"

namespace {

TEST(NumberFormatter, TheDecimalStyleGroupsAndKeepsItsFractionDigits) {
    struct Case {
        double value;
        unsigned long minimum, maximum;
        const char* text;
    };
    const Case cases[] = {
        {1234, 0, 0, "1,234"},         {1234567.925, 2, 2, "1,234,567.92"}, {0, 2, 2, "0.00"},
        {0.125, 0, 2, "0.12"},         {0.135, 0, 2, "0.14"},              {1.5, 0, 3, "1.5"},
        {-1234.5, 1, 1, "-1,234.5"},   {-0.001, 2, 2, "0.00"},             {999.999, 0, 2, "1,000"},
    };
    auto formatter = rt::make<ns::NumberFormatter>();
    formatter->setNumberStyle(ns::NumberFormatterStyle::Decimal);
    for (const Case& c : cases) {
        formatter->setMaximumFractionDigits(c.maximum);
        formatter->setMinimumFractionDigits(c.minimum);
        EXPECT_EQ(formatter->stringFromNumber(ns::Number::withDouble(c.value))->utf8(), c.text) << c.value;
    }
    EXPECT_EQ(formatter->stringFromNumber(nullptr), nullptr);
}

TEST(NumberFormatter, ParsingReadsDigitsGroupsAndAFractionOrNothing) {
    struct Case {
        const char* text;
        bool parses;
        double value;
        bool whole;
    };
    const Case cases[] = {
        {"123456789", true, 123456789, true}, {"1,234.5", true, 1234.5, false}, {"-42", true, -42, true},
        {"", false, 0, false},                {"12a", false, 0, false},        {"1.2.3", false, 0, false},
        {"-", false, 0, false},
    };
    auto formatter = rt::make<ns::NumberFormatter>();
    formatter->setNumberStyle(ns::NumberFormatterStyle::Decimal);
    for (const Case& c : cases) {
        auto number = formatter->numberFromString(c.text);
        ASSERT_EQ(number != nullptr, c.parses) << c.text;
        if (!number) continue;
        EXPECT_EQ(number->doubleValue(), c.value) << c.text;
        EXPECT_EQ(number->isFloatingPoint(), !c.whole) << c.text;
    }
}

} // namespace
