#include "platform/foundation/date.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Date, "NSDate", rt::Object)

namespace {

constexpr TimeInterval kDistantPast = -63114076800.0;  // 0001-01-01 00:00:00 (Julian calendar)
constexpr TimeInterval kDistantFuture = 63113904000.0; // 4001-01-01 00:00:00
// Descriptions clamp to about ±100 million years, well within every integer used below.
constexpr TimeInterval kDescribable = 3.0e15;

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kJulianDayOf1970 = 2440588;
// 1582-10-15, the first Gregorian day; earlier days are shown in the Julian calendar.
constexpr std::int64_t kGregorianStart = 2299161;

struct Civil {
    std::int64_t year;
    int month, day;
};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// A Julian day number to a calendar date (Gregorian from 1582-10-15, Julian before).
Civil civilFromJulianDay(std::int64_t jd) {
    std::int64_t b, c;
    if (jd >= kGregorianStart) {
        std::int64_t a = jd + 32044;
        b = floorDiv(4 * a + 3, 146097);
        c = a - floorDiv(146097 * b, 4);
    } else {
        b = 0;
        c = jd + 32082;
    }
    std::int64_t d = floorDiv(4 * c + 3, 1461);
    std::int64_t e = c - floorDiv(1461 * d, 4);
    std::int64_t m = floorDiv(5 * e + 2, 153);
    Civil r;
    r.day = static_cast<int>(e - floorDiv(153 * m + 2, 5) + 1);
    r.month = static_cast<int>(m + 3 - 12 * floorDiv(m, 10));
    r.year = 100 * b + d - 4800 + floorDiv(m, 10);
    return r;
}

rt::Ref<Date> immortal(rt::Ref<Date> d) {
    rt::makeImmortal(*d);
    return d;
}

} // namespace

rt::Ref<Date> Date::now() {
    return rt::make<Date>(Clock::currentTime());
}

rt::Ref<Date> Date::withTimeIntervalSinceReferenceDate(TimeInterval t) {
    return rt::make<Date>(t);
}

rt::Ref<Date> Date::withTimeIntervalSince1970(TimeInterval t) {
    return rt::make<Date>(t - TimeIntervalSince1970);
}

rt::Ref<Date> Date::distantPast() {
    static const rt::Ref<Date> d = immortal(rt::make<Date>(kDistantPast));
    return d;
}

rt::Ref<Date> Date::distantFuture() {
    static const rt::Ref<Date> d = immortal(rt::make<Date>(kDistantFuture));
    return d;
}

TimeInterval Date::timeIntervalSinceNow() const {
    return t_ - Clock::currentTime();
}

rt::Ref<Date> Date::dateByAddingTimeInterval(TimeInterval dt) const {
    return rt::make<Date>(t_ + dt);
}

int Date::compare(const Date& other) const noexcept {
    if (t_ < other.t_) return -1;
    if (t_ > other.t_) return 1;
    return 0;
}

rt::Ref<Date> Date::earlierDate(const rt::Ref<Date>& other) const {
    if (other && other->t_ < t_) return other;
    return rt::retained(this);
}

rt::Ref<Date> Date::laterDate(const rt::Ref<Date>& other) const {
    if (other && other->t_ > t_) return other;
    return rt::retained(this);
}

std::string Date::description() const {
    TimeInterval t = t_ + TimeIntervalSince1970;
    if (std::isnan(t)) t = 0;
    t = std::clamp(t, -kDescribable, kDescribable);
    auto secs = static_cast<std::int64_t>(std::floor(t));
    std::int64_t days = floorDiv(secs, kSecondsPerDay);
    std::int64_t rest = secs - days * kSecondsPerDay;
    Civil c = civilFromJulianDay(days + kJulianDayOf1970);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%04lld-%02d-%02d %02d:%02d:%02d +0000", c.year < 0 ? "-" : "",
                  static_cast<long long>(c.year < 0 ? -c.year : c.year), c.month, c.day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return buf;
}

bool Date::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* d = dynamic_cast<const Date*>(other);
    return d && isEqualToDate(*d);
}

std::size_t Date::hash() const {
    double t = t_ == 0 ? 0.0 : t_; // -0 and +0 are equal dates
    return std::hash<double>()(t);
}

} // namespace ns
