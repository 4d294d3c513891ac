#include "platform/uikit/date_picker.h"

#include "platform/foundation/date.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

DatePicker::DatePicker() : DatePicker(cg::Rect::zero()) {}

DatePicker::DatePicker(const cg::Rect& frame) : Control(frame), date_(ns::Date::now()) {}

void DatePicker::setDate(rt::Ref<ns::Date> date) {
    if (!date) return;
    rt::KeyChange change(this, "date");
    if (minimum_ && date->compare(*minimum_) < 0) date = minimum_;
    if (maximum_ && date->compare(*maximum_) > 0) date = maximum_;
    date_ = std::move(date);
}

void DatePicker::setDateAnimated(rt::Ref<ns::Date> date, bool) {
    setDate(std::move(date));
}

void DatePicker::setMinimumDate(rt::Ref<ns::Date> date) {
    {
        rt::KeyChange change(this, "minimumDate");
        minimum_ = std::move(date);
    }
    setDate(date_);
}

void DatePicker::setMaximumDate(rt::Ref<ns::Date> date) {
    {
        rt::KeyChange change(this, "maximumDate");
        maximum_ = std::move(date);
    }
    setDate(date_);
}

void DatePicker::setDatePickerMode(DatePickerMode mode) {
    rt::KeyChange change(this, "datePickerMode");
    mode_ = mode;
}

void DatePicker::setMinuteInterval(long interval) {
    rt::KeyChange change(this, "minuteInterval");
    minuteInterval_ = interval;
}

void DatePicker::setCountDownDuration(double seconds) {
    rt::KeyChange change(this, "countDownDuration");
    countDown_ = seconds > 0 ? seconds : 0;
}

void DatePicker::setTimeZone(rt::Ref<ns::TimeZone> zone) {
    rt::KeyChange change(this, "timeZone");
    timeZone_ = std::move(zone);
}

cg::Size DatePicker::sizeThatFits(cg::Size) const {
    return {320, 216};
}

RT_DEFINE_CLASS(DatePicker, "UIDatePicker", Control,
                rt::prop("date", &DatePicker::date, &DatePicker::setDate),
                rt::prop("minimumDate", &DatePicker::minimumDate, &DatePicker::setMinimumDate),
                rt::prop("maximumDate", &DatePicker::maximumDate, &DatePicker::setMaximumDate),
                rt::prop("datePickerMode", &DatePicker::datePickerMode, &DatePicker::setDatePickerMode),
                rt::prop("minuteInterval", &DatePicker::minuteInterval, &DatePicker::setMinuteInterval),
                rt::prop("countDownDuration", &DatePicker::countDownDuration, &DatePicker::setCountDownDuration),
                rt::prop("timeZone", &DatePicker::timeZone, &DatePicker::setTimeZone),
                rt::method("setDate:animated:", &DatePicker::setDateAnimated))

} // namespace ui
