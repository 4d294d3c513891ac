#include "platform/foundation/date_formatter.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

#include "platform/foundation/calendar.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(DateFormatter, "NSDateFormatter", rt::Object)

struct DateFormatter::Token {
    char letter = 0;  // 0 for literal text
    int count = 0;    // repetitions of the letter
    std::string text; // the literal
};

namespace {

using detail::civilFromDays;
using detail::daysFromCivil;
using detail::floorDiv;

using Tokens = std::vector<DateFormatter::Token>;

constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

bool isPatternLetter(char c) {
    return std::string_view("yMLdHhkKmsSEaZ").find(c) != std::string_view::npos;
}

bool isNumeric(const DateFormatter::Token& t) {
    switch (t.letter) {
    case 'y':
    case 'd':
    case 'H':
    case 'h':
    case 'k':
    case 'K':
    case 'm':
    case 's':
    case 'S':
        return true;
    case 'M':
    case 'L':
        return t.count <= 2;
    default:
        return false;
    }
}

Tokens tokenize(std::string_view f) {
    Tokens out;
    auto literal = [&](std::string_view text) {
        if (out.empty() || out.back().letter) out.push_back({});
        out.back().text += text;
    };
    for (std::size_t i = 0; i < f.size();) {
        const char c = f[i];
        if (c == '\'') {
            if (i + 1 < f.size() && f[i + 1] == '\'') {
                literal("'");
                i += 2;
                continue;
            }
            std::size_t j = i + 1;
            std::string text;
            while (j < f.size()) {
                if (f[j] == '\'') {
                    if (j + 1 < f.size() && f[j + 1] == '\'') {
                        text += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += f[j++];
            }
            literal(text);
            i = j + 1; // past the closing quote (or the end)
        } else if (isPatternLetter(c)) {
            std::size_t j = i;
            while (j < f.size() && f[j] == c)
                ++j;
            out.push_back({c, static_cast<int>(j - i), {}});
            i = j;
        } else {
            literal(f.substr(i, 1));
            ++i;
        }
    }
    return out;
}

unsigned daysInMonth(long long y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// The local zone's offset east of UTC at a moment.
// The device's local time: the system time zone's offset at that moment.
long localOffset(long long secondsSince1970) {
    return TimeZone::systemSecondsFromGMT(secondsSince1970);
}

std::string padded(long long v, int width) {
    std::string digits = std::to_string(v < 0 ? -v : v);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return v < 0 ? "-" + digits : digits;
}

std::string zoneText(long offset, int count) {
    const char sign = offset < 0 ? '-' : '+';
    const long a = offset < 0 ? -offset : offset;
    const std::string hh = padded(a / 3600, 2), mm = padded(a / 60 % 60, 2);
    if (count == 4) return offset == 0 ? "GMT" : std::string("GMT") + sign + hh + ":" + mm;
    if (count >= 5) return offset == 0 ? "Z" : std::string(1, sign) + hh + ":" + mm;
    return std::string(1, sign) + hh + mm;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Parsed years go up to this (dates stay well inside what the arithmetic and a double carry), and
// numbers take at most this many digits.
constexpr long long kMaxYear = 200000;
constexpr std::size_t kMaxDigits = 12;

// Parses text against the tokens.
class Parser {
public:
    Parser(const Tokens& tokens, std::string_view text) : tokens_(tokens), s_(text) {}

    // Seconds since 1970 of the parsed time, given the zone to use when the text has none.
    std::optional<double> parse(std::optional<long> zone) {
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            const auto& t = tokens_[i];
            const bool adjacent = i + 1 < tokens_.size() && isNumeric(tokens_[i + 1]);
            if (!t.letter) {
                if (s_.substr(pos_, t.text.size()) != t.text) return std::nullopt;
                pos_ += t.text.size();
            } else if (!field(t, adjacent)) {
                return std::nullopt;
            }
        }
        if (pos_ != s_.size()) return std::nullopt;
        if (hour12_) {
            if (hour_ < 1 || hour_ > 12) return std::nullopt;
            if (pm_) hour_ = hour_ % 12 + (*pm_ ? 12 : 0);
        }
        if (month_ < 1 || month_ > 12 || day_ < 1 ||
            day_ > daysInMonth(year_, static_cast<unsigned>(month_)) || hour_ < 0 || hour_ > 23 ||
            minute_ < 0 || minute_ > 59 || second_ < 0 || second_ > 59)
            return std::nullopt;
        const long long naive =
            daysFromCivil(year_, static_cast<unsigned>(month_), static_cast<unsigned>(day_)) * 86400 +
            hour_ * 3600 + minute_ * 60 + second_;
        long long t;
        if (parsedZone_)
            t = naive - *parsedZone_;
        else if (zone)
            t = naive - *zone;
        else {
            t = naive - localOffset(naive);
            t = naive - localOffset(t);
        }
        return static_cast<double>(t) + fraction_;
    }

private:
    // A number of at most kMaxDigits digits (more fail: no field needs them, and they would not
    // fit), and at least `minCount`.
    bool digits(int minCount, int maxCount, long long& out, int* used = nullptr) {
        const std::size_t start = pos_;
        out = 0;
        while (pos_ < s_.size() && static_cast<int>(pos_ - start) < maxCount && s_[pos_] >= '0' &&
               s_[pos_] <= '9') {
            if (pos_ - start == kMaxDigits) return false;
            out = out * 10 + (s_[pos_++] - '0');
        }
        if (used) *used = static_cast<int>(pos_ - start);
        return static_cast<int>(pos_ - start) >= minCount;
    }

    bool name(const char* const* names, int n, long long& index) {
        for (int full = 1; full >= 0; --full) {
            for (int i = 0; i < n; ++i) {
                std::string_view candidate = names[i];
                if (!full) candidate = candidate.substr(0, 3);
                if (equalsIgnoringCase(s_.substr(pos_, candidate.size()), candidate)) {
                    pos_ += candidate.size();
                    index = i;
                    return true;
                }
            }
        }
        return false;
    }

    bool zone() {
        auto rest = s_.substr(pos_);
        if (!rest.empty() && rest[0] == 'Z') {
            ++pos_;
            parsedZone_ = 0;
            return true;
        }
        bool named = false;
        if (equalsIgnoringCase(rest.substr(0, 3), "GMT") || equalsIgnoringCase(rest.substr(0, 3), "UTC")) {
            pos_ += 3;
            named = true;
            parsedZone_ = 0;
            if (pos_ >= s_.size() || (s_[pos_] != '+' && s_[pos_] != '-')) return true;
        }
        if (pos_ >= s_.size() || (s_[pos_] != '+' && s_[pos_] != '-')) return false;
        const long sign = s_[pos_++] == '-' ? -1 : 1;
        long long h = 0, m = 0;
        int used = 0;
        if (!digits(1, 2, h, &used) || (!named && used != 2)) return false;
        if (pos_ < s_.size() && s_[pos_] == ':') {
            ++pos_;
            if (!digits(2, 2, m)) return false;
        } else if (pos_ + 1 < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
            if (!digits(2, 2, m)) return false;
        }
        if (h > 18 || m > 59) return false;
        parsedZone_ = sign * static_cast<long>(h * 3600 + m * 60);
        return true;
    }

    bool field(const DateFormatter::Token& t, bool adjacent) {
        const int maxDigits = adjacent ? t.count : 10;
        const int minDigits = adjacent ? t.count : 1;
        long long v = 0;
        int used = 0;
        switch (t.letter) {
        case 'y':
            if (!digits(minDigits, maxDigits, v, &used)) return false;
            if (t.count == 2 && used == 2) {
                // Within 80 years before and 20 after now.
                long long now, cy;
                unsigned cm, cd;
                now = static_cast<long long>(std::floor(Clock::currentTime() + TimeIntervalSince1970));
                civilFromDays(floorDiv(now, 86400), cy, cm, cd);
                const long long base = cy - 80;
                v = base + ((v - base) % 100 + 100) % 100;
            }
            if (v > kMaxYear) return false;
            year_ = v;
            return true;
        case 'M':
        case 'L':
            if (t.count >= 3) {
                if (!name(kMonths, 12, v)) return false;
                month_ = v + 1;
                return true;
            }
            if (!digits(minDigits, adjacent ? maxDigits : 2, v)) return false;
            month_ = v;
            return true;
        case 'd':
            return digits(minDigits, adjacent ? maxDigits : 2, day_);
        case 'H':
            return digits(minDigits, adjacent ? maxDigits : 2, hour_);
        case 'k':
            if (!digits(minDigits, adjacent ? maxDigits : 2, v) || v < 1 || v > 24) return false;
            hour_ = v % 24;
            return true;
        case 'K':
            if (!digits(minDigits, adjacent ? maxDigits : 2, v) || v > 11) return false;
            hour12_ = true;
            hour_ = v == 0 ? 12 : v;
            return true;
        case 'h':
            hour12_ = true;
            return digits(minDigits, adjacent ? maxDigits : 2, hour_);
        case 'm':
            return digits(minDigits, adjacent ? maxDigits : 2, minute_);
        case 's':
            return digits(minDigits, adjacent ? maxDigits : 2, second_);
        case 'S':
            if (!digits(minDigits, adjacent ? maxDigits : 9, v, &used)) return false;
            fraction_ = static_cast<double>(v) / std::pow(10.0, used);
            return true;
        case 'E':
            return name(kDays, 7, v);
        case 'a':
            if (equalsIgnoringCase(s_.substr(pos_, 2), "AM"))
                pm_ = false;
            else if (equalsIgnoringCase(s_.substr(pos_, 2), "PM"))
                pm_ = true;
            else
                return false;
            pos_ += 2;
            return true;
        case 'Z':
            return zone();
        default:
            return false;
        }
    }

    const Tokens& tokens_;
    std::string_view s_;
    std::size_t pos_ = 0;
    long long year_ = 2000, month_ = 1, day_ = 1, hour_ = 0, minute_ = 0, second_ = 0;
    double fraction_ = 0;
    bool hour12_ = false;
    std::optional<bool> pm_;
    std::optional<long> parsedZone_;
};

} // namespace

DateFormatter::DateFormatter() : tokens_(std::make_shared<const Tokens>()) {}

DateFormatter::~DateFormatter() = default;

rt::Ref<DateFormatter> DateFormatter::make() {
    return rt::make<DateFormatter>();
}

rt::Ref<DateFormatter> DateFormatter::withFormat(std::string_view format,
                                                 std::optional<long> secondsFromGMT) {
    auto f = rt::make<DateFormatter>();
    f->setDateFormat(format);
    f->setTimeZone(secondsFromGMT);
    return f;
}

std::string DateFormatter::formatForStyles(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle) {
    static constexpr const char* dates[] = {"", "M/d/yy", "MMM d, y", "MMMM d, y", "EEEE, MMMM d, y"};
    static constexpr const char* times[] = {"", "h:mm a", "h:mm:ss a", "h:mm:ss a ZZZZ", "h:mm:ss a ZZZZ"};
    auto pick = [](const char* const(&patterns)[5], DateFormatterStyle style) {
        const auto index = static_cast<long>(style);
        return std::string(index >= 0 && index < 5 ? patterns[index] : "");
    };
    const std::string date = pick(dates, dateStyle), time = pick(times, timeStyle);
    if (date.empty() || time.empty()) return date + time;
    return date + (dateStyle >= DateFormatterStyle::Long ? " 'at' " : ", ") + time;
}

rt::Ref<DateFormatter> DateFormatter::withStyles(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle) {
    return withFormat(formatForStyles(dateStyle, timeStyle));
}

rt::Ref<String> DateFormatter::localizedStringFromDate(const Date& date, DateFormatterStyle dateStyle,
                                                       DateFormatterStyle timeStyle) {
    return withStyles(dateStyle, timeStyle)->stringFromDate(date);
}

std::string DateFormatter::dateFormat() const {
    std::lock_guard g(lock_);
    return format_;
}

void DateFormatter::setDateFormat(std::string_view format) {
    auto tokens = std::make_shared<const Tokens>(tokenize(format));
    std::lock_guard g(lock_);
    format_ = std::string(format);
    tokens_ = std::move(tokens);
}

void DateFormatter::setTimeZone(std::optional<long> secondsFromGMT) {
    std::lock_guard g(lock_);
    zone_ = secondsFromGMT;
}

std::optional<long> DateFormatter::timeZone() const {
    std::lock_guard g(lock_);
    return zone_;
}

rt::Ref<String> DateFormatter::stringFromDate(const Date& date) const {
    std::shared_ptr<const Tokens> tokens;
    std::optional<long> zone;
    {
        std::lock_guard g(lock_);
        tokens = tokens_;
        zone = zone_;
    }
    const double t = date.timeIntervalSince1970();
    if (!std::isfinite(t) || std::fabs(t) > 1e15) return String::empty();
    const double whole = std::floor(t);
    const double fraction = t - whole;
    const auto secs = static_cast<long long>(whole);
    const long offset = zone ? *zone : localOffset(secs);
    const long long local = secs + offset;
    const long long days = floorDiv(local, 86400);
    const long long sod = local - days * 86400;
    long long year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    const long long hour = sod / 3600, minute = sod / 60 % 60, second = sod % 60;
    const int weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday

    std::string out;
    for (const Token& tk : *tokens) {
        const int n = tk.count;
        switch (tk.letter) {
        case 0:
            out += tk.text;
            break;
        case 'y':
            out += n == 2 ? padded(((year % 100) + 100) % 100, 2) : padded(year, n);
            break;
        case 'M':
        case 'L':
            if (n >= 4)
                out += kMonths[month - 1];
            else if (n == 3)
                out += std::string_view(kMonths[month - 1]).substr(0, 3);
            else
                out += padded(month, n);
            break;
        case 'd':
            out += padded(day, n);
            break;
        case 'H':
            out += padded(hour, n);
            break;
        case 'h':
            out += padded(hour % 12 == 0 ? 12 : hour % 12, n);
            break;
        case 'k':
            out += padded(hour == 0 ? 24 : hour, n);
            break;
        case 'K':
            out += padded(hour % 12, n);
            break;
        case 'm':
            out += padded(minute, n);
            break;
        case 's':
            out += padded(second, n);
            break;
        case 'S': {
            const double scaled = std::floor(fraction * std::pow(10.0, std::min(n, 15)));
            std::string digits = padded(static_cast<long long>(scaled), std::min(n, 15));
            digits.resize(static_cast<std::size_t>(n), '0');
            out += digits;
            break;
        }
        case 'E':
            out += n >= 4 ? std::string(kDays[weekday]) : std::string(kDays[weekday]).substr(0, 3);
            break;
        case 'a':
            out += hour < 12 ? "AM" : "PM";
            break;
        case 'Z':
            out += zoneText(offset, n);
            break;
        default:
            break;
        }
    }
    return String::make(out);
}

rt::Ref<Date> DateFormatter::dateFromString(std::string_view text) const {
    std::shared_ptr<const Tokens> tokens;
    std::optional<long> zone;
    {
        std::lock_guard g(lock_);
        tokens = tokens_;
        zone = zone_;
    }
    auto t = Parser(*tokens, text).parse(zone);
    if (!t) return nullptr;
    return Date::withTimeIntervalSince1970(*t);
}

long long millisecondsSince1970(const Date& date) {
    const double ms = std::floor(date.timeIntervalSince1970() * 1000.0);
    if (std::isnan(ms)) return 0;
    // Clamped before converting: past the range the conversion is undefined.
    if (ms >= 9223372036854775807.0) return std::numeric_limits<long long>::max();
    if (ms <= -9223372036854775808.0) return std::numeric_limits<long long>::min();
    return static_cast<long long>(ms);
}

} // namespace ns
