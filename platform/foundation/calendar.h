#pragma once
// Proleptic Gregorian calendar arithmetic shared by the date formatter and the property lists, and
// ns::Calendar over it.

namespace ns::detail {

// a / b rounded towards negative infinity.
inline long long floorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a date, and back.
inline long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = floorDiv(y, 400);
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

inline void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = floorDiv(z, 146097);
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

} // namespace ns::detail

#include "platform/runtime/object.h"

namespace ns {

class Date;

// A date's fields in a calendar: the year is astronomical (0 is 1 BC); months and days count
// from 1.
struct DateComponents {
    long long year = 1970;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// ns::Calendar ("NSCalendar"): the Gregorian calendar, in the system time zone (the device's
// local time). Splits a date into its fields and builds a date back from them. Any thread.
class Calendar : public rt::Object {
    RT_CLASS(Calendar)
public:
    static rt::Ref<Calendar> currentCalendar();
    // The fields of the date's local time; the fraction of a second is dropped.
    DateComponents components(const Date& date) const;
    // The moment those local fields name. Fields out of range carry over (month 13 is January of
    // the next year, minute 75 is 1:15). A local time that a zone change skips reads in the
    // offset before the change; one it repeats, in the earlier of its two moments.
    rt::Ref<Date> dateFromComponents(const DateComponents& components) const;

private:
    Calendar() = default;
};

} // namespace ns
