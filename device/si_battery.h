#pragma once
// si::Battery ("SIBattery"): the battery's charge and state, and how long a full battery's hours
// of each activity (from the per-model property list, as si::Hardware reads it) last at the
// present level. Class methods only; each asks afresh. Main thread (battery monitoring reports
// on the run loop of the thread that switches it on).

#include <cstdint>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"
#include "platform/uikit/device.h"

namespace si {

class Battery : public rt::Object {
    RT_CLASS(Battery)
public:
    // The current device, with battery monitoring switched on.
    static const rt::Ref<ui::Device>& device();
    static rt::Ref<ns::Dictionary> infoForDevice();
    // Percent while the level is above 0, else -1.
    static double batteryLevel();
    // The level is exactly 100.
    static bool batteryFullCharged();
    // Charging or full.
    static bool inCharge();
    // Any state but unplugged: an unknown state counts as plugged in.
    static bool devicePluggedIntoPower();
    static std::int64_t batteryState();

    // "h:mm" left of the per-model hours at the present level; "NS" without the value, "ND" when
    // the level is unknown.
    static rt::Ref<ns::String> remainingHoursForStandby();
    static rt::Ref<ns::String> remainingHoursFor3gConversation();
    static rt::Ref<ns::String> remainingHoursFor2gConversation();
    static rt::Ref<ns::String> remainingHoursForInternet3g();
    static rt::Ref<ns::String> remainingHoursForInternetWiFi();
    static rt::Ref<ns::String> remainingHoursForVideo();
    static rt::Ref<ns::String> remainingHoursForAudio();

private:
    Battery() = default;
};

} // namespace si
