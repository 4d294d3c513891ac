#pragma once
// Small helpers the session's screens share: localised texts, the application delegate's window,
// the device's bottom safe area, the system version's first component.

#include <string_view>

#include "platform/foundation/string.h"

namespace ui {
class Window;
}

namespace ft {

// The main bundle's text for `key` in the default table, empty when it has none.
rt::Ref<ns::String> localized(std::string_view key);
// The application delegate's window, or nil.
rt::Ref<ui::Window> delegateWindow();
// System 11 or later, with a bottom safe-area inset on the application delegate's window.
bool hasBottomInset();
// Whether the system version's first component is 7.
bool isSystem7();

} // namespace ft
