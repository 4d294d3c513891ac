#pragma once
// si::Hardware ("SIHardware"): the device's model, screen and software, its platform name, and the
// per-model facts of the bundle's property list named after the platform name without blanks
// ("iPhone 6 Plus" -> "iPhone6Plus.plist"). Class methods only; each asks afresh. Main thread
// (the screen and device objects are the user interface's).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace si {

class Hardware : public rt::Object {
    RT_CLASS(Hardware)
public:
    // The per-model dictionary; nil without a platform name or its property list.
    static rt::Ref<ns::Dictionary> infoForDevice();

    static rt::Ref<ns::String> deviceModel();
    static rt::Ref<ns::String> deviceName();
    static rt::Ref<ns::String> systemName();
    static rt::Ref<ns::String> systemVersion();
    // The main screen's size in points, truncated.
    static std::int64_t screenWidth();
    static std::int64_t screenHeight();
    // The main screen's brightness, 0 to 100.
    static double brightness();
    // The machine identifier's platform name ("iPhone5,2" -> "iPhone 5", an unlisted "iPhone10,3"
    // -> "iPhone"); nil for a machine of no known family.
    static rt::Ref<ns::String> platformType();
    // The time since the system started, "hh:mm:ss" with hours running past 24.
    static rt::Ref<ns::String> bootTime();
    // Whether the device has a proximity sensor: switching monitoring on holds. Monitoring is left
    // as it was found.
    static bool proximitySensor();
    static bool multitaskingEnabled();

    // Per-model values as stored; nil without the list or the key.
    static rt::Id sim();
    static rt::Id dimensions();
    static rt::Id weight();
    static rt::Id displayType();
    static rt::Id displayDensity();
    static rt::Id WLAN();
    static rt::Id bluetooth();
    static rt::Id cameraPrimary();
    static rt::Id cameraSecondary();
    static rt::Id cpu();
    static rt::Id gpu();
    // Whether the per-model value is "Yes".
    static bool siri();
    static bool touchID();

    // The platform name of a machine identifier, as platformType gives it.
    static std::optional<std::string> platformNameForMachine(std::string_view machine);

private:
    Hardware() = default;
};

} // namespace si
