#include "platform/uikit/local_notification.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

rt::Ref<LocalNotification> LocalNotification::make() {
    return rt::make<LocalNotification>();
}

void LocalNotification::setFireDate(rt::Ref<ns::Date> date) {
    rt::KeyChange change(this, "fireDate");
    fireDate_ = std::move(date);
}

void LocalNotification::setAlertBody(rt::Ref<ns::String> body) {
    rt::KeyChange change(this, "alertBody");
    alertBody_ = std::move(body);
}

void LocalNotification::setTimeZone(rt::Id zone) {
    rt::KeyChange change(this, "timeZone");
    timeZone_ = std::move(zone);
}

RT_DEFINE_CLASS(LocalNotification, "UILocalNotification", rt::Object,
                rt::prop("fireDate", &LocalNotification::fireDate, &LocalNotification::setFireDate,
                         {.memory = rt::Memory::Copy}),
                rt::prop("alertBody", &LocalNotification::alertBody, &LocalNotification::setAlertBody,
                         {.memory = rt::Memory::Copy}),
                rt::prop("timeZone", &LocalNotification::timeZone, &LocalNotification::setTimeZone,
                         {.memory = rt::Memory::Copy}))

} // namespace ui
