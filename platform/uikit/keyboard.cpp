#include "platform/uikit/keyboard.h"

#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "platform/uikit/screen.h"

namespace ui::detail {

void postKeyboardNotification(bool showing, double accessoryHeight) {
    const cg::Rect screen = Screen::mainScreen()->bounds();
    const double height = kKeyboardHeight + accessoryHeight;
    const cg::Rect end = cg::Rect::make(0, screen.height() - (showing ? height : 0), screen.width(), height);
    auto info = ns::Dictionary::withPairs(
        {{ns::String::make(UIKeyboardAnimationCurveUserInfoKey), ns::Number::withLong(kKeyboardAnimationCurve)},
         {ns::String::make(UIKeyboardAnimationDurationUserInfoKey), ns::Number::withDouble(kKeyboardAnimationDuration)},
         {ns::String::make(UIKeyboardFrameEndUserInfoKey), ns::Value::with(end)}});
    ns::NotificationCenter::defaultCenter()->postNotificationName(
        showing ? UIKeyboardWillShowNotification : UIKeyboardWillHideNotification, nullptr, info);
}

} // namespace ui::detail
