#pragma once
// ns::DateFormatter ("NSDateFormatter") for fixed patterns, always in the POSIX locale (English
// names, ASCII digits) and the Gregorian calendar, whatever the process locale.
//
// Pattern letters: y (yy: two digits; other counts: zero-padded to the count), M and L (1-2:
// number, 3: "Jan", 4: "January"), d, H (0-23), h (1-12), k (1-24), K (0-11), m, s (zero-padded
// to the count), S (fraction of a second, truncated to the count's digits), E (1-3: "Mon",
// 4: "Monday"), a ("AM"/"PM"), Z (1-3: "+hhmm", 4: "GMT+hh:mm" or "GMT", 5: "+hh:mm" or "Z").
// Text in single quotes is literal ('' is a quote); other characters, including letters the
// formatter does not know, are literal.
//
// Parsing reads the same pattern: numbers take exactly the count's digits when another number
// follows with no separator ("yyyyMMddHHmmss"), else as many digits as there are; a zone in the
// text ("+hhmm", "+hh:mm", "+hh", "Z", "GMT", "GMT+h:mm", "UTC") overrides the formatter's. Missing
// fields default to 2000-01-01 00:00:00; "yy" picks the year within 80 years before and 20 after
// now. Text that does not match entirely, fields out of range (Feb 30), years past 200000 and
// numbers of more than 12 digits give nil.
//
// Thread-safe: setters and conversions may run on different threads.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/date.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

// The fixed locale's date and time styles: a style stands for a pattern (see formatForStyles).
enum class DateFormatterStyle : long { None = 0, Short = 1, Medium = 2, Long = 3, Full = 4 };

class DateFormatter : public rt::Object {
    RT_CLASS(DateFormatter)
public:
    // An empty pattern and the local time zone.
    static rt::Ref<DateFormatter> make();
    static rt::Ref<DateFormatter> withFormat(std::string_view format,
                                             std::optional<long> secondsFromGMT = std::nullopt);

    // A formatter whose pattern is the one of the two styles, in the local zone.
    static rt::Ref<DateFormatter> withStyles(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle);
    // A date's text in the two styles, in the local zone.
    static rt::Ref<String> localizedStringFromDate(const Date& date, DateFormatterStyle dateStyle,
                                                   DateFormatterStyle timeStyle);
    // The pattern of a date style and a time style, joined by " 'at' " when the date style is long
    // or full, else by ", ". Dates: short "M/d/yy", medium "MMM d, y", long "MMMM d, y", full
    // "EEEE, MMMM d, y". Times: short "h:mm a", medium "h:mm:ss a", long and full "h:mm:ss a ZZZZ".
    static std::string formatForStyles(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle);

    std::string dateFormat() const;
    void setDateFormat(std::string_view format);
    // A fixed offset east of UTC, in seconds; nullopt: the local zone, the system time zone
    // (ns::TimeZone: the device's, not the host's), with the offset in force at each date.
    void setTimeZone(std::optional<long> secondsFromGMT);
    std::optional<long> timeZone() const;

    rt::Ref<String> stringFromDate(const Date& date) const;
    // nil when the text does not match the pattern.
    rt::Ref<Date> dateFromString(std::string_view text) const;

    struct Token;

protected:
    ~DateFormatter() override;

private:
    DateFormatter();

    mutable std::mutex lock_;
    std::string format_;
    std::shared_ptr<const std::vector<Token>> tokens_;
    std::optional<long> zone_;
};

// Whole milliseconds since 1970-01-01 00:00:00 UTC (rounded down), clamped to the range of long
// long; 0 for NaN.
long long millisecondsSince1970(const Date& date);

} // namespace ns
