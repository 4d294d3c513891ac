#pragma once
// What the two charger-plug screens share: whether the battery has power, the battery-state
// changes that count (the first after subscription is dropped: switching monitoring on as the
// screen appears may post one), and the shown verdict (tick or cross, the code, the one row whose
// "result" is a BOOL number).

#include <string>
#include <string_view>

#include "platform/runtime/object.h"

namespace es {
class Signal;
}
namespace ui {
class ImageView;
}

namespace ft {

class BaseModelViewController;

// The battery is charging or full (the device's figures need monitoring on).
bool batteryPowered();
// Each battery-state change after the first, as whether the battery then has power.
rt::Ref<es::Signal> countedPowerChanges();
// Tick and 1 or cross and 2 (with why, setVerdict), and subItemlist [{"title": rowTitle, "result": passed}].
void showPlugVerdict(BaseModelViewController& screen, const rt::Ref<ui::ImageView>& image, bool passed,
                     std::string_view rowTitle, std::string why);
// Battery monitoring follows `present`: on while the screen is shown, off as it disappears.
void monitorBatteryWhileShown(BaseModelViewController& screen);

} // namespace ft
