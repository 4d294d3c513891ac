#pragma once
// Small helpers the session's screens share: localised texts, the application delegate's window,
// the device's bottom safe area, the system version's first component, one constraint added to a
// scene's view.

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

} // namespace ft
