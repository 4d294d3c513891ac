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
//
// The same bar as the screen shows it (drawStatusBar), from the same state: in the band at the
// top of the screen, 20 points, or the top safe-area inset where that is deeper (44 on the iPhone
// XR). Of the radios it shows the device's cellular service (sim::cellularService): the signal
// bars and the carrier's name in service, else, on a device with a cellular radio, "No Service" (a
// SIM without a network code or a radio technology) or "No SIM", and no bars ("iPad" or "iPod" on
// a device without a radio); the Wi-Fi fan when the device has joined a network on its Wi-Fi
// interface, else the technology data goes over ("LTE") while there is service; and the location
// arrow while location is in use. The private tree's bars are the drawn ones: none out of service.
// The time and the day are the device's language and region's (status_bar_clock.h).
// - A 20-point band: the signal bars, the network's name and the fan or the technology at the
//   left; the time ("10:00 AM", "10:00") in the middle; the arrow, the battery's percentage, the
//   battery filled to its level and, on power, a bolt at the right.
// - An iPad from system 12: the time and the day ("10:00 AM", "Wed May 1") at the left; the
//   signal (or "No Service", "No SIM"), the fan or the technology, the arrow, the percentage and
//   the battery (its bolt inside) at the right.
// - A deeper band, the two sides of the notch: the time ("10:00") and the arrow at the left; the
//   signal (or "No Service", "No SIM"), the fan or the technology and the battery (its bolt
//   inside) at the right.
// Texts are drawn by labels, so a picture's texts list them. White for the light-content style,
// else black.

#include <memory>
#include <vector>

#include "platform/runtime/object.h"

namespace cg {
class Context;
class DisplayList;
}
namespace sim {
struct Profile;
}

namespace ui {

// The status bar's band at the top of the screen of `device`, in points: 20, or the top safe-area
// inset where that is deeper (deviceSafeAreaInsets).
double statusBarBand(const sim::Profile& device);

} // namespace ui

namespace ui::detail {

inline constexpr const char* UndefinedKeyException = "NSUndefinedKeyException";

// A status bar for the device's state `device`, or nil.
rt::Id makeStatusBar(const sim::Profile& device);

// The bar of `device`'s state, location in use or not (sim::Device::locationInUse), at the clock's
// time `now` (seconds since the reference date) across the top of a screen `width` points wide,
// drawn into `context` in the screen's space and kept: drawn again (its texts told to the text
// observers again) for as long as what it shows stays the same, so that every picture draws it
// without laying its texts out anew.
class StatusBarPicture {
public:
    StatusBarPicture(cg::Context& context, const sim::Profile& device, bool locationInUse, double width,
                     bool lightContent, double now);
    StatusBarPicture(StatusBarPicture&&) noexcept;
    ~StatusBarPicture();
    void drawAgain(cg::Context& context) const;

private:
    struct Text;
    std::unique_ptr<cg::DisplayList> drawing_;
    std::vector<Text> texts_;
};

} // namespace ui::detail
