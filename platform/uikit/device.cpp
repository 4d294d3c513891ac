#include "platform/uikit/device.h"

#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"

namespace ui {

const rt::Ref<Device>& Device::currentDevice() {
    static const rt::Ref<Device> device = rt::immortal(rt::make<Device>());
    return device;
}

rt::Ref<ns::String> Device::name() const {
    const auto device = sim::currentDevice();
    return ns::String::make(device->name.empty() ? sim::modelText(device->model) : device->name);
}

rt::Ref<ns::String> Device::model() const {
    return ns::String::make(sim::modelText(sim::currentDevice()->model));
}

rt::Ref<ns::String> Device::systemName() const {
    return ns::String::make(sim::currentDevice()->systemName);
}

rt::Ref<ns::String> Device::systemVersion() const {
    return ns::String::make(sim::currentDevice()->systemVersion);
}

UserInterfaceIdiom Device::userInterfaceIdiom() const {
    return sim::currentDevice()->model == sim::Model::iPad ? UserInterfaceIdiom::Pad : UserInterfaceIdiom::Phone;
}

void Device::setBatteryMonitoringEnabled(bool enabled) {
    rt::KeyChange change(this, "batteryMonitoringEnabled");
    batteryMonitoring_ = enabled;
}

float Device::batteryLevel() const {
    return batteryMonitoring_ ? static_cast<float>(sim::currentDevice()->battery.level) : -1.0f;
}

DeviceBatteryState Device::batteryState() const {
    if (!batteryMonitoring_) return DeviceBatteryState::Unknown;
    return static_cast<DeviceBatteryState>(sim::currentDevice()->battery.state);
}

void Device::setProximityMonitoringEnabled(bool enabled) {
    rt::KeyChange change(this, "proximityMonitoringEnabled");
    proximityMonitoring_ = enabled && sim::currentDevice()->sensors.proximity;
}

void Device::updateProximityState(bool near) {
    const bool before = proximityState();
    {
        rt::KeyChange change(this, "proximityState");
        proximityNear_ = near;
    }
    if (proximityState() != before)
        ns::NotificationCenter::defaultCenter()->postNotificationName(ns::UIDeviceProximityStateDidChangeNotification,
                                                                       rt::retained(this));
}

void Device::resetState() {
    setBatteryMonitoringEnabled(false);
    setProximityMonitoringEnabled(false);
    updateProximityState(false);
}

RT_DEFINE_CLASS(Device, "UIDevice", rt::Object, rt::prop("name", &Device::name, {.memory = rt::Memory::Copy}),
                rt::prop("model", &Device::model, {.memory = rt::Memory::Copy}),
                rt::prop("localizedModel", &Device::localizedModel, {.memory = rt::Memory::Copy}),
                rt::prop("systemName", &Device::systemName, {.memory = rt::Memory::Copy}),
                rt::prop("systemVersion", &Device::systemVersion, {.memory = rt::Memory::Copy}),
                rt::prop("userInterfaceIdiom", &Device::userInterfaceIdiom),
                rt::prop("batteryMonitoringEnabled", &Device::isBatteryMonitoringEnabled,
                         &Device::setBatteryMonitoringEnabled, {.getter = "isBatteryMonitoringEnabled"}),
                rt::prop("batteryLevel", &Device::batteryLevel),
                rt::prop("batteryState", &Device::batteryState),
                rt::prop("proximityMonitoringEnabled", &Device::isProximityMonitoringEnabled,
                         &Device::setProximityMonitoringEnabled, {.getter = "isProximityMonitoringEnabled"}),
                rt::prop("proximityState", &Device::proximityState),
                rt::classMethod("currentDevice", +[] { return Device::currentDevice(); }))

} // namespace ui
