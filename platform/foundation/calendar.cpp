#include "platform/foundation/calendar.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/date.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"

namespace ns {

namespace {
constexpr long long calendarSecondsPerDay = 86400;
} // namespace

rt::Ref<Calendar> Calendar::currentCalendar() {
    return rt::make<Calendar>();
}

DateComponents Calendar::components(const Date& date) const {
    const auto utc = static_cast<long long>(std::floor(date.timeIntervalSince1970()));
    const long long local = utc + TimeZone::systemSecondsFromGMT(utc);
    const long long days = detail::floorDiv(local, calendarSecondsPerDay);
    const long long rest = local - days * calendarSecondsPerDay;
    DateComponents parts;
    unsigned month = 1, day = 1;
    detail::civilFromDays(days, parts.year, month, day);
    parts.month = static_cast<int>(month);
    parts.day = static_cast<int>(day);
    parts.hour = static_cast<int>(rest / 3600);
    parts.minute = static_cast<int>(rest / 60 % 60);
    parts.second = static_cast<int>(rest % 60);
    return parts;
}

rt::Ref<Date> Calendar::dateFromComponents(const DateComponents& c) const {
    // Months carry into years first, so that the day arithmetic sees a month of 1 to 12.
    const long long months = c.year * 12 + (c.month - 1);
    const long long year = detail::floorDiv(months, 12);
    const auto month = static_cast<unsigned>(months - year * 12 + 1);
    const long long local = (detail::daysFromCivil(year, month, 1) + c.day - 1) * calendarSecondsPerDay +
                            c.hour * 3600LL + c.minute * 60LL + c.second;
    // The offsets a day either side; a candidate holds when its moment has its own offset.
    const long before = TimeZone::systemSecondsFromGMT(local - calendarSecondsPerDay);
    const long after = TimeZone::systemSecondsFromGMT(local + calendarSecondsPerDay);
    const bool beforeHolds = TimeZone::systemSecondsFromGMT(local - before) == before;
    const bool afterHolds = TimeZone::systemSecondsFromGMT(local - after) == after;
    long offset = before;
    if (beforeHolds && afterHolds)
        offset = std::max(before, after);
    else if (afterHolds)
        offset = after;
    return Date::withTimeIntervalSince1970(static_cast<double>(local - offset));
}

RT_DEFINE_CLASS(Calendar, "NSCalendar", rt::Object)

} // namespace ns
