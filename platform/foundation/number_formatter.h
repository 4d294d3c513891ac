#pragma once
// ns::NumberFormatter ("NSNumberFormatter") in a fixed English locale: ASCII digits, grouping ","
// every three digits of the whole part, decimal separator ".", minus "-".
//
// Styles: none (0) writes the whole number, rounded, without grouping; decimal (1) groups and
// writes between the minimum and maximum fraction digits (0 and 3 by default), rounding half to
// even at the last one kept. Setting a minimum above the maximum raises the maximum; a maximum
// below the minimum lowers the minimum.
//
// Parsing reads an optional minus, digits (with "," between groups in the decimal style) and an
// optional fraction; anything else, or no digit at all, gives nil. A whole number that fits a
// 64-bit integer is a long number, the others a double.

#include <string_view>

#include "platform/foundation/string.h"
#include "platform/runtime/number.h"

namespace ns {

enum class NumberFormatterStyle : long { None = 0, Decimal = 1 };

class NumberFormatter : public rt::Object {
    RT_CLASS(NumberFormatter)
public:
    NumberFormatterStyle numberStyle() const noexcept { return style_; }
    void setNumberStyle(NumberFormatterStyle style);
    unsigned long minimumFractionDigits() const noexcept { return minimumFractionDigits_; }
    void setMinimumFractionDigits(unsigned long digits);
    unsigned long maximumFractionDigits() const noexcept { return maximumFractionDigits_; }
    void setMaximumFractionDigits(unsigned long digits);

    // Nil for a nil number.
    rt::Ref<String> stringFromNumber(const rt::Ref<Number>& number) const;
    std::string stringFromDouble(double value) const;
    rt::Ref<Number> numberFromString(const rt::Ref<String>& text) const;
    rt::Ref<Number> numberFromString(std::string_view text) const;

protected:
    NumberFormatter() = default;
    ~NumberFormatter() override;

private:
    NumberFormatterStyle style_ = NumberFormatterStyle::None;
    unsigned long minimumFractionDigits_ = 0;
    unsigned long maximumFractionDigits_ = 0;
};

} // namespace ns
