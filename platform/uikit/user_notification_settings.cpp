#include "platform/uikit/user_notification_settings.h"

#include "platform/runtime/class.h"

namespace ui {

rt::Ref<UserNotificationSettings> UserNotificationSettings::settingsForTypes(unsigned long types,
                                                                            rt::Ref<ns::Set> categories) {
    return rt::make<UserNotificationSettings>(types, std::move(categories));
}

bool UserNotificationSettings::isEqual(const rt::Object* other) const {
    auto* settings = dynamic_cast<const UserNotificationSettings*>(other);
    return settings && settings->types_ == types_ && rt::equal(settings->categories_, categories_);
}

RT_DEFINE_CLASS(UserNotificationSettings, "UIUserNotificationSettings", rt::Object,
                rt::prop("types", &UserNotificationSettings::types),
                rt::prop("categories", &UserNotificationSettings::categories, {.memory = rt::Memory::Copy}),
                rt::classMethod("settingsForTypes:categories:", &UserNotificationSettings::settingsForTypes))

} // namespace ui
