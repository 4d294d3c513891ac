#pragma once
// The platform's private status bar, reached only by key-value coding from the application's key
// "statusBar", as the profile's statusBar.layout lays it out:
// - "none": nil;
// - "old": "UIStatusBar" → "foregroundView" (a view) → its subviews, one of them a
//   "UIStatusBarSignalStrengthItemView" answering "signalStrengthRaw" and "signalStrengthBars";
// - "new": "UIStatusBar_Modern" → "statusBar" → "items", a dictionary: before 12.0 keyed by name
//   ("_UIStatusBarCellularItem" → "_signalView" → "_numberOfBars"); from 12.0 keyed by identifiers
//   (their "object" is the profile's item name, in order) whose items reach the cellular entry by
//   "_statusBar._currentData._cellularEntry" ("_status", "_displayValue": the bars);
// - "broken": a status bar lacking every key, raising ns::Exception "NSUndefinedKeyException" for
//   each, as the platform's private classes do.
// Elsewhere a key a node lacks logs and answers nil, as any object's does. Main thread only.

#include "platform/runtime/object.h"

namespace sim {
struct Profile;
}

namespace ui::detail {

inline constexpr const char* UndefinedKeyException = "NSUndefinedKeyException";

// A status bar for the device's state `device`, or nil.
rt::Id makeStatusBar(const sim::Profile& device);

} // namespace ui::detail
