#pragma once
// ui::DatePicker ("UIDatePicker"): a date, by default the clock's time when the picker was made,
// held between an optional minimum and maximum, and a countdown duration for the countdown mode.
// Setting either from code, or by key, sends nothing; the user's spin (the driver's pickDate and
// pickDuration) sends value-changed (4096). It fits a fixed 320 x 216.

#include "platform/uikit/control.h"

namespace ns {
class Date;
class TimeZone;
} // namespace ns

namespace ui {

enum class DatePickerMode : long { Time = 0, Date = 1, DateAndTime = 2, CountDownTimer = 3 };

class DatePicker : public Control {
    RT_CLASS(DatePicker)
public:
    const rt::Ref<ns::Date>& date() const noexcept { return date_; }
    // Nil is ignored; a date outside the bounds is held to them.
    void setDate(rt::Ref<ns::Date> date);
    void setDateAnimated(rt::Ref<ns::Date> date, bool animated);
    const rt::Ref<ns::Date>& minimumDate() const noexcept { return minimum_; }
    void setMinimumDate(rt::Ref<ns::Date> date);
    const rt::Ref<ns::Date>& maximumDate() const noexcept { return maximum_; }
    void setMaximumDate(rt::Ref<ns::Date> date);
    DatePickerMode datePickerMode() const noexcept { return mode_; }
    void setDatePickerMode(DatePickerMode mode);
    long minuteInterval() const noexcept { return minuteInterval_; }
    void setMinuteInterval(long interval);
    // Seconds, 0 by default; negatives count as 0.
    double countDownDuration() const noexcept { return countDown_; }
    void setCountDownDuration(double seconds);
    // Nil: the system's.
    const rt::Ref<ns::TimeZone>& timeZone() const noexcept { return timeZone_; }
    void setTimeZone(rt::Ref<ns::TimeZone> zone);
    cg::Size sizeThatFits(cg::Size size) const override;

protected:
    DatePicker();
    explicit DatePicker(const cg::Rect& frame);

private:
    rt::Ref<ns::Date> date_;
    rt::Ref<ns::Date> minimum_;
    rt::Ref<ns::Date> maximum_;
    DatePickerMode mode_ = DatePickerMode::DateAndTime;
    long minuteInterval_ = 1;
    double countDown_ = 0;
    rt::Ref<ns::TimeZone> timeZone_;
};

} // namespace ui
