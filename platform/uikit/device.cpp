#include "platform/uikit/device.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/corefoundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/boxed_registry.h"
#include "platform/sim/device.h"

namespace ui {

namespace {

std::mutex monitoringLock; // guards Device::monitoringLoop_
thread_local cf::DictionaryRef dictionaryInFlight = nullptr;

// The charger dictionary as the platform builds it while announcing a battery change: through the
// thread's default allocator.
cf::DictionaryRef createChargerDictionary(const sim::RegistryProperties& properties) {
    std::vector<rt::Id> keys, values;
    keys.reserve(properties.size());
    values.reserve(properties.size());
    for (const auto& [key, value] : properties) {
        keys.push_back(ns::String::make(key));
        values.push_back(sim::boxedValue(value));
    }
    return cf::dictionaryCreate(cf::allocatorGetDefault(), keys.data(), values.data(), keys.size());
}

} // namespace

Device::Device() : proximityNear_(sim::currentDevice()->proximityNear) {
    // The device lives for the process, so its hooks do too.
    sim::Device::shared().addHook(sim::Aspect::Battery, [this](const sim::Profile&) {
        if (!batteryMonitoring_.load()) return;
        rt::Ref<ns::RunLoop> loop;
        {
            std::lock_guard g(monitoringLock);
            loop = monitoringLoop_.lock();
        }
        const std::uint64_t generation = monitoringGeneration_.load();
        if (loop) loop->performBlock([this, generation] { announceBattery(generation, false); });
    });
    sim::Device::shared().addHook(sim::Aspect::Proximity,
                                  [this](const sim::Profile& state) { updateProximityState(state.proximityNear); });
}

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
    if (enabled == batteryMonitoring_.load()) return;
    {
        rt::KeyChange change(this, "batteryMonitoringEnabled");
        batteryMonitoring_.store(enabled);
        const std::uint64_t generation = ++monitoringGeneration_;
        {
            std::lock_guard g(monitoringLock);
            monitoringLoop_ = enabled ? rt::Weak<ns::RunLoop>(ns::RunLoop::current()) : rt::Weak<ns::RunLoop>();
        }
        if (!enabled) {
            level_.store(-1.0f);
            state_.store(DeviceBatteryState::Unknown);
            return;
        }
        // The figures are valid at once; the switch is announced on the run loop's next turn.
        const auto device = sim::currentDevice();
        level_.store(static_cast<float>(device->battery.level));
        state_.store(static_cast<DeviceBatteryState>(device->battery.state));
        if (device->battery.postOnMonitoringEnable)
            ns::RunLoop::current()->performBlock([this, generation] { announceBattery(generation, true); });
    }
}

void Device::announceBattery(std::uint64_t generation, bool switchedOn) {
    // Monitoring switched off or on again since this change was queued: that switch speaks.
    if (!batteryMonitoring_.load() || monitoringGeneration_.load() != generation) return;
    const auto device = sim::currentDevice();
    // Released, and the one being announced further out restored, when the announcement ends.
    struct InFlight {
        cf::DictionaryRef outer;
        explicit InFlight(cf::DictionaryRef dictionary) : outer(std::exchange(dictionaryInFlight, dictionary)) {}
        ~InFlight() { cf::release(std::exchange(dictionaryInFlight, outer)); }
    } inFlight(createChargerDictionary(device->chargerDictionary));
    const float level = static_cast<float>(device->battery.level);
    const auto state = static_cast<DeviceBatteryState>(device->battery.state);
    // What was last announced: for the switch, unknown and -1, though the figures were kept at once.
    const DeviceBatteryState stateBefore = switchedOn ? DeviceBatteryState::Unknown : state_.load();
    const float levelBefore = switchedOn ? -1.0f : level_.load();
    const bool stateChanged = state != stateBefore, levelChanged = level != levelBefore;
    if (stateChanged) {
        rt::KeyChange change(this, "batteryState");
        state_.store(state);
    }
    if (levelChanged) {
        rt::KeyChange change(this, "batteryLevel");
        level_.store(level);
    }
    auto* center = ns::NotificationCenter::defaultCenter().get();
    if (stateChanged) center->postNotificationName(ns::UIDeviceBatteryStateDidChangeNotification, rt::retained(this));
    if (levelChanged) center->postNotificationName(ns::UIDeviceBatteryLevelDidChangeNotification, rt::retained(this));
}

rt::Ref<ns::Dictionary> Device::batteryDictionaryInFlight() {
    return dictionaryInFlight ? cf::bridgedDictionary(dictionaryInFlight) : nullptr;
}

bool Device::isMultitaskingSupported() const {
    return sim::currentDevice()->multitasking;
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
    updateProximityState(sim::currentDevice()->proximityNear);
}

RT_DEFINE_CLASS(Device, "UIDevice", rt::Object, rt::prop("name", &Device::name, {.memory = rt::Memory::Copy}),
                rt::prop("model", &Device::model, {.memory = rt::Memory::Copy}),
                rt::prop("localizedModel", &Device::localizedModel, {.memory = rt::Memory::Copy}),
                rt::prop("systemName", &Device::systemName, {.memory = rt::Memory::Copy}),
                rt::prop("systemVersion", &Device::systemVersion, {.memory = rt::Memory::Copy}),
                rt::prop("userInterfaceIdiom", &Device::userInterfaceIdiom),
                // Asked with respondsToSelector before it is read, as by code written for systems
                // older than the idiom.
                rt::method("userInterfaceIdiom", &Device::userInterfaceIdiom),
                rt::prop("batteryMonitoringEnabled", &Device::isBatteryMonitoringEnabled,
                         &Device::setBatteryMonitoringEnabled, {.getter = "isBatteryMonitoringEnabled"}),
                rt::prop("batteryLevel", &Device::batteryLevel),
                rt::prop("batteryState", &Device::batteryState),
                rt::prop("proximityMonitoringEnabled", &Device::isProximityMonitoringEnabled,
                         &Device::setProximityMonitoringEnabled, {.getter = "isProximityMonitoringEnabled"}),
                rt::prop("proximityState", &Device::proximityState),
                rt::prop("multitaskingSupported", &Device::isMultitaskingSupported, {.getter = "isMultitaskingSupported"}),
                rt::classMethod("currentDevice", +[] { return Device::currentDevice(); }))

} // namespace ui
