#pragma once
// Small helpers the session's screens share: localised texts, the application delegate's window,
// the device's bottom safe area, the system version's first component, one constraint added to a
// scene's view, a scene's views placed under the bars and above the home indicator's band.

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
// Where the bars end on most phones (the status bar and a navigation bar): the scenes are drawn
// for it, and a scene without a screen stands that far under its view's top.
inline constexpr double kSceneBarsHeight = 64;
// Pins `item`'s top `distance` under the bars: the top layout guide of `owner`, the screen whose
// scene `holder` is; for an owner that is no screen, kSceneBarsHeight and `distance` under
// `holder`'s top.
rt::Ref<ui::LayoutConstraint> pinBelowBars(const rt::Ref<ui::View>& holder, const rt::Id& item,
                                           const rt::Id& owner, double distance);
// Pins `item`'s top kFirstLineUnderBars (and `below` more) under the bars (pinBelowBars).
rt::Ref<ui::LayoutConstraint> pinUnderBars(const rt::Ref<ui::View>& holder, const rt::Id& item, const rt::Id& owner,
                                           double below = 0);
// Pins `item`'s bottom `distance` above the home indicator's band: the bottom layout guide of
// `owner` (nothing on a screen without one); for an owner that is no screen, `holder`'s bottom.
rt::Ref<ui::LayoutConstraint> pinAboveBand(const rt::Ref<ui::View>& holder, const rt::Id& item,
                                           const rt::Id& owner, double distance);

} // namespace ft
