#pragma once
// ui::DatePicker ("UIDatePicker"): a date, by default the clock's time when the picker was made,
// held between an optional minimum and maximum. Setting the date from code, or by key, sends
// nothing.

#include "platform/uikit/control.h"

namespace ns {
class Date;
}

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

protected:
    DatePicker();
    explicit DatePicker(const cg::Rect& frame);

private:
    rt::Ref<ns::Date> date_;
    rt::Ref<ns::Date> minimum_;
    rt::Ref<ns::Date> maximum_;
    DatePickerMode mode_ = DatePickerMode::DateAndTime;
    long minuteInterval_ = 1;
};

} // namespace ui
