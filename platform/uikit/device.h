#pragma once
// ui::Device ("UIDevice"): the simulated device as the platform describes it. Identity, system
// and battery are read from the installed profile at each call; monitoring flags and the
// proximity state are kept here.
//
// Battery figures need monitoring, as on the platform: without it the level reads -1 and the state
// unknown, and nothing is announced. Switching monitoring on gives the figures at once. While it
// is on, each battery change of the simulated device is one block performed on the run loop of the
// thread that switched monitoring on: it builds the charger dictionary there through the thread's
// default cf allocator (batteryDictionaryInFlight reads it, alive until the block ends),
// announces "batteryState" and "batteryLevel" to their key-value observers with the new values,
// and posts the state and level did-change notifications for what changed. Switching monitoring on
// is announced so, on the next turn, as a change from unknown and -1, unless the profile's
// battery.postOnMonitoringEnable is false.
//
// Proximity monitoring cannot be turned on for a device without a proximity sensor; while it is
// on, a change of the sensor's reading posts UIDeviceProximityStateDidChangeNotification. The
// reading starts as the installed device's (its profile's proximity.near).

#include <atomic>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {
class RunLoop;
}

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

    bool isBatteryMonitoringEnabled() const noexcept { return batteryMonitoring_.load(); }
    // Any thread; the thread switching it on is the one whose run loop hears the changes.
    void setBatteryMonitoringEnabled(bool enabled);
    // 0...1 while monitoring, else -1.
    float batteryLevel() const noexcept { return level_.load(); }
    DeviceBatteryState batteryState() const noexcept { return state_.load(); }
    // The charger dictionary the change being announced on this thread built; nil outside one.
    static rt::Ref<ns::Dictionary> batteryDictionaryInFlight();

    bool isMultitaskingSupported() const;

    bool isProximityMonitoringEnabled() const noexcept { return proximityMonitoring_; }
    // Stays off on a device without a proximity sensor.
    void setProximityMonitoringEnabled(bool enabled);
    // Whether something is near the sensor; always NO while not monitoring.
    bool proximityState() const noexcept { return proximityMonitoring_ && proximityNear_; }
    // The simulated sensor's reading: while monitoring, a change posts
    // UIDeviceProximityStateDidChangeNotification.
    void updateProximityState(bool near);

    // Monitoring off and the sensor reading what the installed device's does: how the device
    // starts (the main job's and the application fixture's set-up).
    void resetState();

private:
    Device();
    // Delivers the battery figures of the simulated device as one change, on this thread;
    // `switchedOn`: the announcement of switching monitoring on.
    void announceBattery(std::uint64_t generation, bool switchedOn);

    std::atomic<bool> batteryMonitoring_{false};
    std::atomic<std::uint64_t> monitoringGeneration_{0}; // moves on at each switch
    std::atomic<float> level_{-1.0f};
    std::atomic<DeviceBatteryState> state_{DeviceBatteryState::Unknown};
    rt::Weak<ns::RunLoop> monitoringLoop_;
    bool proximityMonitoring_ = false;
    bool proximityNear_;
};

} // namespace ui
