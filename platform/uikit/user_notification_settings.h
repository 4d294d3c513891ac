#pragma once
// ui::UserNotificationSettings ("UIUserNotificationSettings"): the kinds of notification an
// application asks the user for (badge 1, sound 2, alert 4) and its categories. A value; the
// application records what it was asked to register.

#include "platform/foundation/set.h"
#include "platform/runtime/object.h"

namespace ui {

enum UserNotificationType : unsigned long {
    UserNotificationTypeNone = 0,
    UserNotificationTypeBadge = 1,
    UserNotificationTypeSound = 2,
    UserNotificationTypeAlert = 4,
};

class UserNotificationSettings final : public rt::Object {
    RT_CLASS(UserNotificationSettings)
public:
    static rt::Ref<UserNotificationSettings> settingsForTypes(unsigned long types, rt::Ref<ns::Set> categories);

    unsigned long types() const noexcept { return types_; }
    // Nil when none were given.
    const rt::Ref<ns::Set>& categories() const noexcept { return categories_; }

    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override { return types_; }

private:
    UserNotificationSettings(unsigned long types, rt::Ref<ns::Set> categories)
        : types_(types), categories_(std::move(categories)) {}

    unsigned long types_;
    rt::Ref<ns::Set> categories_;
};

} // namespace ui
