#pragma once
// ui::LocalNotification ("UILocalNotification"): a notification the application schedules for a
// fire date (ui::Application::scheduleLocalNotification).

#include "platform/foundation/date.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ui {

class LocalNotification final : public rt::Object {
    RT_CLASS(LocalNotification)
public:
    static rt::Ref<LocalNotification> make();

    const rt::Ref<ns::Date>& fireDate() const noexcept { return fireDate_; }
    void setFireDate(rt::Ref<ns::Date> date);
    const rt::Ref<ns::String>& alertBody() const noexcept { return alertBody_; }
    void setAlertBody(rt::Ref<ns::String> body);
    // The zone's name, kept as given (nil: the fire date is absolute, as here it always is).
    const rt::Id& timeZone() const noexcept { return timeZone_; }
    void setTimeZone(rt::Id zone);

private:
    LocalNotification() = default;
    rt::Ref<ns::Date> fireDate_;
    rt::Ref<ns::String> alertBody_;
    rt::Id timeZone_;
};

} // namespace ui
