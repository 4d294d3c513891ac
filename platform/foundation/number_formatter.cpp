#include "platform/foundation/number_formatter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ns {

namespace {

// The fraction digits a style keeps at most; a formatter writes no more than this many.
constexpr unsigned long kNumberFormatterDigitLimit = 17;

bool numberFormatterDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

NumberFormatter::~NumberFormatter() = default;

void NumberFormatter::setNumberStyle(NumberFormatterStyle style) {
    rt::KeyChange change(this, "numberStyle");
    style_ = style;
    minimumFractionDigits_ = 0;
    maximumFractionDigits_ = style == NumberFormatterStyle::Decimal ? 3 : 0;
}

void NumberFormatter::setMinimumFractionDigits(unsigned long digits) {
    rt::KeyChange change(this, "minimumFractionDigits");
    minimumFractionDigits_ = std::min(digits, kNumberFormatterDigitLimit);
    maximumFractionDigits_ = std::max(maximumFractionDigits_, minimumFractionDigits_);
}

void NumberFormatter::setMaximumFractionDigits(unsigned long digits) {
    rt::KeyChange change(this, "maximumFractionDigits");
    maximumFractionDigits_ = std::min(digits, kNumberFormatterDigitLimit);
    minimumFractionDigits_ = std::min(minimumFractionDigits_, maximumFractionDigits_);
}

std::string NumberFormatter::stringFromDouble(double value) const {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-∞" : "∞";
    const bool decimal = style_ == NumberFormatterStyle::Decimal;
    const int kept = decimal ? static_cast<int>(maximumFractionDigits_) : 0;
    // Rounds half to even at the last digit kept ("%.*f" rounds the exact binary value, and
    // nearbyint under the default mode rounds ties to even).
    const double scale = std::pow(10.0, kept);
    double rounded = std::nearbyint(value * scale) / scale;
    if (!std::isfinite(rounded) || std::fabs(value) * scale >= 9e15) rounded = value;
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", kept, std::fabs(rounded));
    std::string digits = buffer;
    std::string whole = digits.substr(0, digits.find('.'));
    std::string fraction = digits.size() > whole.size() ? digits.substr(whole.size() + 1) : std::string();
    while (fraction.size() > (decimal ? minimumFractionDigits_ : 0) && fraction.back() == '0')
        fraction.pop_back();
    std::string out;
    const bool negative = rounded < 0;
    if (negative) out += '-';
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (decimal && i > 0 && (whole.size() - i) % 3 == 0) out += ',';
        out += whole[i];
    }
    if (!fraction.empty()) out += '.' + fraction;
    return out;
}

rt::Ref<String> NumberFormatter::stringFromNumber(const rt::Ref<Number>& number) const {
    if (!number) return nullptr;
    return String::make(stringFromDouble(number->doubleValue()));
}

rt::Ref<Number> NumberFormatter::numberFromString(const rt::Ref<String>& text) const {
    return text ? numberFromString(text->utf8()) : nullptr;
}

rt::Ref<Number> NumberFormatter::numberFromString(std::string_view text) const {
    const bool decimal = style_ == NumberFormatterStyle::Decimal;
    std::string plain;
    std::size_t i = 0, digits = 0;
    if (i < text.size() && text[i] == '-') plain += text[i++];
    bool fraction = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (numberFormatterDigit(c)) {
            plain += c;
            ++digits;
        } else if (c == ',' && decimal && !fraction && digits > 0) {
            continue;
        } else if (c == '.' && !fraction) {
            fraction = true;
            plain += c;
        } else {
            return nullptr;
        }
    }
    if (digits == 0) return nullptr;
    if (!fraction) {
        errno = 0;
        const long long whole = std::strtoll(plain.c_str(), nullptr, 10);
        if (errno == 0) return Number::withLong(static_cast<long>(whole));
    }
    return Number::withDouble(std::strtod(plain.c_str(), nullptr));
}

RT_DEFINE_CLASS(NumberFormatter, "NSNumberFormatter", rt::Object,
                rt::prop("minimumFractionDigits", &NumberFormatter::minimumFractionDigits,
                         &NumberFormatter::setMinimumFractionDigits),
                rt::prop("maximumFractionDigits", &NumberFormatter::maximumFractionDigits,
                         &NumberFormatter::setMaximumFractionDigits))

} // namespace ns
