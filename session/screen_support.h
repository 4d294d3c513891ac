#pragma once
// Small helpers the session's screens share: localised texts, the application delegate's window,
// the device's bottom safe area, the system version's first component, one constraint added to a
// scene's view, a screen's first line placed under the bars.

#include <string>
#include <string_view>

#include "platform/foundation/string.h"
#include "platform/uikit/layout_attribute.h"

namespace ns {
class Error;
}

namespace ui {
class LayoutConstraint;
class View;
class Window;
} // namespace ui

namespace ft {

// The main bundle's text for `key` in the default table, empty when it has none.
rt::Ref<ns::String> localized(std::string_view key);
// The application delegate's window, or nil.
rt::Ref<ui::Window> delegateWindow();
// The bottom safe-area inset of the application delegate's window (the home indicator's band): 0
// without a window, and before system 11.
double bottomInset();
// System 11 or later, with a bottom safe-area inset on the application delegate's window.
bool hasBottomInset();
// Whether the system version's first component is 7.
bool isSystem7();
// ": <the error's description>", or nothing without an error: the tail of a verdict's why.
std::string describedError(const rt::Ref<ns::Error>& error);
// Adds to `holder` the required constraint `item.attribute == to.toAttribute + constant` (`to` nil
// for a constant size) and answers it.
rt::Ref<ui::LayoutConstraint> pinEqual(const rt::Ref<ui::View>& holder, const rt::Id& item, ui::LayoutAttribute attribute,
                                       const rt::Id& to, ui::LayoutAttribute toAttribute, double constant);
// How far a screen's first line stands under the bars, on every device.
inline constexpr double kFirstLineUnderBars = 36;
// Pins `item`'s top kFirstLineUnderBars (and `below` more) under the bars: the top layout guide
// of `owner`, the screen whose scene `holder` is; for an owner that is no screen, that far under a
// 64-point bar from `holder`'s top.
rt::Ref<ui::LayoutConstraint> pinUnderBars(const rt::Ref<ui::View>& holder, const rt::Id& item, const rt::Id& owner,
                                           double below = 0);

} // namespace ft
