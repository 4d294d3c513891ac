#pragma once
// ui::Device ("UIDevice"): the simulated device as the platform describes it. Identity, system
// and battery are read from the installed profile at each call; monitoring flags and the
// proximity state are kept here.
//
// Battery figures need monitoring, as on the platform: without it the level reads -1 and the state
// unknown. Proximity monitoring cannot be turned on for a device without a proximity sensor.

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ui {

enum class UserInterfaceIdiom : long { Unspecified = -1, Phone = 0, Pad = 1 };
// The platform's battery states, in its order.
enum class DeviceBatteryState : long { Unknown = 0, Unplugged = 1, Charging = 2, Full = 3 };

class Device final : public rt::Object {
    RT_CLASS(Device)
public:
    // The one device (immortal).
    static const rt::Ref<Device>& currentDevice();

    rt::Ref<ns::String> name() const;
    // "iPhone", "iPad" or "iPod touch".
    rt::Ref<ns::String> model() const;
    rt::Ref<ns::String> localizedModel() const { return model(); }
    rt::Ref<ns::String> systemName() const;
    // The profile's text ("12.4.1").
    rt::Ref<ns::String> systemVersion() const;
    // The phone idiom for iPhones and iPod touches, the pad idiom for iPads.
    UserInterfaceIdiom userInterfaceIdiom() const;

    bool isBatteryMonitoringEnabled() const noexcept { return batteryMonitoring_; }
    void setBatteryMonitoringEnabled(bool enabled);
    // 0...1 while monitoring, else -1.
    float batteryLevel() const;
    DeviceBatteryState batteryState() const;

    bool isProximityMonitoringEnabled() const noexcept { return proximityMonitoring_; }
    // Stays off on a device without a proximity sensor.
    void setProximityMonitoringEnabled(bool enabled);
    // Whether something is near the sensor; always NO while not monitoring.
    bool proximityState() const noexcept { return proximityMonitoring_ && proximityNear_; }
    // The simulated sensor's reading: while monitoring, a change posts
    // UIDeviceProximityStateDidChangeNotification.
    void updateProximityState(bool near);

    // Monitoring off and nothing near: how the device starts (the application fixture's set-up).
    void resetState();

private:
    Device() = default;

    bool batteryMonitoring_ = false;
    bool proximityMonitoring_ = false;
    bool proximityNear_ = false;
};

} // namespace ui
