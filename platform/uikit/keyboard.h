#pragma once
// The on-screen keyboard's notifications: will-show as a text input takes first responder, will-hide
// as the last one gives it up (one input handing over to another shows the keyboard anew, without a
// hide). Posted with a nil object on the default centre; the user info holds the animation's curve
// and duration and the keyboard's end frame (the keys and the input's accessory view, at the foot of
// the main screen).

namespace ui {

inline constexpr const char* UIKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* UIKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* UIKeyboardAnimationCurveUserInfoKey = "UIKeyboardAnimationCurveUserInfoKey";
inline constexpr const char* UIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";
inline constexpr const char* UIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";

// The keys' height, without an accessory view.
inline constexpr double kKeyboardHeight = 216;
inline constexpr double kKeyboardAnimationDuration = 0.25;
// The keyboard's own curve, past the public ones.
inline constexpr long kKeyboardAnimationCurve = 7;

namespace detail {
// Posts will-show (`showing`) or will-hide for a keyboard with an accessory `accessoryHeight` high.
void postKeyboardNotification(bool showing, double accessoryHeight);
} // namespace detail

} // namespace ui
