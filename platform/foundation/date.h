#pragma once
// ns::Date: an immutable point in time, as seconds since the reference date
// (2001-01-01 00:00:00 UTC).

#include <string>

#include "platform/foundation/clock.h"
#include "platform/runtime/object.h"

namespace ns {

class Date : public rt::Object {
    RT_CLASS(Date)
public:
    // The installed clock's time (Clock::current()).
    static rt::Ref<Date> now();
    static rt::Ref<Date> withTimeIntervalSinceReferenceDate(TimeInterval t);
    static rt::Ref<Date> withTimeIntervalSince1970(TimeInterval t);
    // 0001-01-01 and 4001-01-01 (shared instances).
    static rt::Ref<Date> distantPast();
    static rt::Ref<Date> distantFuture();

    TimeInterval timeIntervalSinceReferenceDate() const noexcept { return t_; }
    TimeInterval timeIntervalSince1970() const noexcept { return t_ + TimeIntervalSince1970; }
    // Receiver minus `other`: positive when the receiver is later.
    TimeInterval timeIntervalSinceDate(const Date& other) const noexcept { return t_ - other.t_; }
    TimeInterval timeIntervalSinceNow() const;
    rt::Ref<Date> dateByAddingTimeInterval(TimeInterval dt) const;

    // -1 when the receiver is earlier, 0 when equal, 1 when later.
    int compare(const Date& other) const noexcept;
    bool isEqualToDate(const Date& other) const noexcept { return t_ == other.t_; }
    // The earlier (later) of the two; the receiver when they are equal or `other` is nil.
    rt::Ref<Date> earlierDate(const rt::Ref<Date>& other) const;
    rt::Ref<Date> laterDate(const rt::Ref<Date>& other) const;

    // "2001-01-01 00:00:00 +0000", in UTC.
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

protected:
    Date() = default;
    explicit Date(TimeInterval t) : t_(t) {}

private:
    TimeInterval t_ = 0;
};

} // namespace ns
