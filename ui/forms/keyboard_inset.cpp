#include "ui/forms/keyboard_inset.h"

#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "platform/uikit/keyboard.h"
#include "platform/uikit/view.h"

namespace fm {

void KeyboardObservation::start(const Handler& handler) {
    stop();
    const auto& center = ns::NotificationCenter::defaultCenter();
    for (const char* name : {ui::UIKeyboardWillShowNotification, ui::UIKeyboardWillHideNotification})
        tokens_.push_back(center->addObserverForName(name, nullptr, nullptr, handler));
}

void KeyboardObservation::stop() {
    const auto& center = ns::NotificationCenter::defaultCenter();
    for (const rt::Id& token : tokens_)
        center->removeObserver(token);
    tokens_.clear();
}

bool keyboardShows(const rt::Ref<ns::Notification>& notification) {
    return notification && notification->name()->utf8() == ui::UIKeyboardWillShowNotification;
}

void animateInsetForKeyboard(const rt::Ref<ns::Notification>& notification, bool showing,
                             const rt::Ref<ui::View>& converter, std::function<void(double bottom)> apply) {
    const rt::Ref<ns::Dictionary>& info = notification ? notification->userInfo() : nullptr;
    auto number = [&](const char* key) { return info ? rt::cast<ns::Number>(info->objectForKey(key)) : nullptr; };
    const auto curve = number(ui::UIKeyboardAnimationCurveUserInfoKey);
    const auto duration = number(ui::UIKeyboardAnimationDurationUserInfoKey);
    const auto endValue = info ? rt::cast<ns::Value>(info->objectForKey(ui::UIKeyboardFrameEndUserInfoKey)) : nullptr;
    const cg::Rect end = endValue && converter ? converter->convertRectToView(endValue->get<cg::Rect>(), nullptr)
                                               : cg::Rect::zero();
    const unsigned long options = curve ? static_cast<unsigned long>(curve->longValue()) : 0;
    const double bottom = showing ? end.size.height : 0;
    ui::View::animateWithDuration(
        duration ? duration->doubleValue() : 0, 0, options, [apply = std::move(apply), bottom] { apply(bottom); }, {});
}

} // namespace fm
