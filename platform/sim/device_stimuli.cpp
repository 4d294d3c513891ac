// The stimuli: what a tester does to the device, as state changes and events, each logged.

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/foundation/dispatch.h"
#include "platform/sim/device.h"
#include "platform/sim/device_inner.h"

namespace sim {

namespace {

const char* sensorName(MotionSensor sensor) {
    switch (sensor) {
    case MotionSensor::Accelerometer: return "accel";
    case MotionSensor::Gyroscope: return "gyro";
    case MotionSensor::Magnetometer: return "magnet";
    }
    return "accel";
}

bool hasSensor(const Profile& p, MotionSensor sensor) {
    switch (sensor) {
    case MotionSensor::Accelerometer: return p.sensors.accelerometer;
    case MotionSensor::Gyroscope: return p.sensors.gyroscope;
    case MotionSensor::Magnetometer: return p.sensors.magnetometer;
    }
    return false;
}

Vector3& pose(Profile& p, MotionSensor sensor) {
    switch (sensor) {
    case MotionSensor::Accelerometer: return p.motion.accel;
    case MotionSensor::Gyroscope: return p.motion.gyro;
    case MotionSensor::Magnetometer: return p.motion.magnet;
    }
    return p.motion.accel;
}

// The state as the log's line about the battery ends.
Device::OwnWords batteryStateWords(BatteryState state) {
    switch (state) {
    case BatteryState::Unknown: return " unknown";
    case BatteryState::Unplugged: return " unplugged";
    case BatteryState::Charging: return " charging";
    case BatteryState::Full: return " full";
    }
    return " unknown";
}

// Runs `block` on the main queue `seconds` from now on the installed clock.
void later(double seconds, dispatch::Block block) {
    dispatch::asyncAfter(dispatch::after(seconds), dispatch::Queue::main(), std::move(block));
}

} // namespace

std::optional<MotionSensor> motionSensorNamed(std::string_view name) {
    if (name == "accel") return MotionSensor::Accelerometer;
    if (name == "gyro") return MotionSensor::Gyroscope;
    if (name == "magnet") return MotionSensor::Magnetometer;
    return std::nullopt;
}

std::optional<TouchPhase> touchPhaseNamed(std::string_view name) {
    if (name == "began") return TouchPhase::Began;
    if (name == "moved") return TouchPhase::Moved;
    if (name == "ended") return TouchPhase::Ended;
    if (name == "cancelled") return TouchPhase::Cancelled;
    return std::nullopt;
}

// ---- Keys -----------------------------------------------------------------------------------

namespace {

// `line` and `stays`: the log's words before the volume it went to, or stayed at.
void stepVolume(Device& device, double direction, Device::OwnWords line, Device::OwnWords stays) {
    const auto before = device.state();
    const double next = std::clamp(before->audio.outputVolume + direction * before->audio.volumeStep, 0.0, 1.0);
    if (next == before->audio.outputVolume) {
        device.log(stays, Device::Figure(next));
        return;
    }
    device.log(line, Device::Figure(next));
    device.change(Aspect::Audio, [next](Profile& p) { p.audio.outputVolume = next; });
}

} // namespace

void Device::pressVolumeUp() {
    stepVolume(*this, 1, "key volumeUp: volume ", "key volumeUp: volume stays ");
}

void Device::pressVolumeDown() {
    stepVolume(*this, -1, "key volumeDown: volume ", "key volumeDown: volume stays ");
}

void Device::pressHome() {
    log("key home");
    send({.kind = DeviceEvent::Kind::HomeKey});
}

void Device::pressPower() {
    log("key power");
    send({.kind = DeviceEvent::Kind::PowerKey});
}

void Device::setRingSwitch(bool silent) {
    log(silent ? "ring switch: silent" : "ring switch: ring");
    change(Aspect::RingSwitch, [silent](Profile& p) { p.ringSilent = silent; });
}

// ---- Power ----------------------------------------------------------------------------------

bool Device::setBattery(double level, BatteryState state) {
    if (!(level >= 0 && level <= 1)) return false;
    log("battery ", Figure(level), batteryStateWords(state));
    change(Aspect::Battery, [&](Profile& p) {
        p.battery.level = level;
        p.battery.state = state;
    });
    return true;
}

bool Device::plugCharger(std::string_view kind) {
    if (kind != "ac" && kind != "usb") return false;
    bool plugged;
    {
        std::lock_guard g(inner_->lock);
        plugged = !inner_->chargerKind.empty();
    }
    if (plugged) unplugCharger(); // a charger already in is taken out first: merges never stack
    const auto current = state();
    const Registry& adds = kind == "ac" ? current->chargers.ac : current->chargers.usb;
    Registry merged = current->registry;
    {
        std::lock_guard g(inner_->lock);
        inner_->chargerKind = std::string(kind);
        inner_->beforeMerge.clear();
        for (const auto& [service, properties] : adds) {
            auto it = merged.find(service);
            inner_->beforeMerge[service] =
                it == merged.end() ? std::nullopt : std::optional<RegistryProperties>(it->second);
            for (const auto& [key, value] : properties)
                merged[service][key] = value;
        }
    }
    log("charger " + std::string(kind) + " plugged in");
    const BatteryState charging = current->battery.level >= 1 ? BatteryState::Full : BatteryState::Charging;
    change(Aspect::Battery, [charging](Profile& p) { p.battery.state = charging; });
    change(Aspect::Registry, [&merged](Profile& p) { p.registry = merged; });
    return true;
}

void Device::unplugCharger() {
    std::string kind;
    std::map<std::string, std::optional<RegistryProperties>> before;
    {
        std::lock_guard g(inner_->lock);
        kind.swap(inner_->chargerKind);
        before.swap(inner_->beforeMerge);
    }
    if (kind.empty()) {
        log("charger unplug: no charger plugged in");
        return;
    }
    log("charger " + kind + " unplugged");
    change(Aspect::Battery, [](Profile& p) { p.battery.state = BatteryState::Unplugged; });
    change(Aspect::Registry, [&before](Profile& p) {
        for (const auto& [service, properties] : before) {
            if (properties) p.registry[service] = *properties;
            else p.registry.erase(service);
        }
    });
}

bool Device::setRegistryEntry(const std::string& service, std::optional<RegistryProperties> properties) {
    if (service.empty()) return false;
    log("registry " + service + (properties ? " set" : " removed"));
    change(Aspect::Registry, [&](Profile& p) {
        if (properties) p.registry[service] = std::move(*properties);
        else p.registry.erase(service);
    });
    return true;
}

// ---- Audio ----------------------------------------------------------------------------------

void Device::plugHeadphones(bool plugged) {
    DeviceEvent event{.kind = DeviceEvent::Kind::RouteChange, .reason = plugged ? 1 : 2};
    event.headphonesBefore = state()->headphonesPlugged;
    {
        std::lock_guard g(inner_->lock);
        event.outputsBefore.swap(inner_->routeOutputs);
    }
    log(plugged ? "headset plugged in" : "headset unplugged");
    change(Aspect::Headphones, [plugged](Profile& p) { p.headphonesPlugged = plugged; });
    send(event);
}

void Device::plugHeadset() {
    plugHeadphones(true);
}

void Device::unplugHeadset() {
    plugHeadphones(false);
}

void Device::changeRoute(long reason, std::vector<std::string> outputs) {
    DeviceEvent event{.kind = DeviceEvent::Kind::RouteChange, .reason = reason, .outputs = outputs};
    event.headphonesBefore = state()->headphonesPlugged;
    {
        std::lock_guard g(inner_->lock);
        event.outputsBefore = std::exchange(inner_->routeOutputs, std::move(outputs));
    }
    log("audio route change, reason ", Figure(static_cast<long long>(reason)));
    send(event);
}

void Device::setAudioInput(AudioInput input) {
    log("audio input changed");
    auto before = microphone();
    const std::int64_t at = currentSampleIndex();
    {
        std::lock_guard g(inner_->lock);
        inner_->earlierMicrophones.emplace_back(at, std::move(before));
        if (inner_->earlierMicrophones.size() > 16) inner_->earlierMicrophones.pop_front();
    }
    change(Aspect::Audio, [&input](Profile& p) { p.audio.input = std::move(input); });
}

std::vector<std::string> Device::routeOutputs() const {
    std::lock_guard g(inner_->lock);
    return inner_->routeOutputs;
}

// ---- Sensors --------------------------------------------------------------------------------

void Device::setProximity(bool near) {
    if (!state()->sensors.proximity) {
        log("proximity: no proximity sensor");
        return;
    }
    log(near ? "proximity near" : "proximity far");
    change(Aspect::Proximity, [near](Profile& p) { p.proximityNear = near; });
}

void Device::setMotionPose(MotionSensor sensor, Vector3 value) {
    if (!hasSensor(*state(), sensor)) {
        log(std::string("motion ") + sensorName(sensor) + ": no such sensor");
        return;
    }
    change(Aspect::Motion, [sensor, value](Profile& p) { pose(p, sensor) = value; });
}

bool Device::setMotionTrain(MotionSensor sensor, double every, std::vector<Vector3> values) {
    if (!(every > 0) || values.empty()) return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i == 0) setMotionPose(sensor, values[0]);
        else later(every * static_cast<double>(i), [this, sensor, value = values[i]] { setMotionPose(sensor, value); });
    }
    return true;
}

void Device::queueMotionSeries(MotionSensor sensor, std::vector<Vector3> values) {
    if (!hasSensor(*state(), sensor)) {
        log(std::string("motion ") + sensorName(sensor) + ": no such sensor");
        return;
    }
    std::lock_guard g(inner_->lock);
    auto& queue = inner_->series[sensor];
    queue.insert(queue.end(), values.begin(), values.end());
}

std::optional<Vector3> Device::takeMotionSeriesValue(MotionSensor sensor) {
    std::lock_guard g(inner_->lock);
    auto it = inner_->series.find(sensor);
    if (it == inner_->series.end() || it->second.empty()) return std::nullopt;
    Vector3 value = it->second.front();
    it->second.pop_front();
    return value;
}

void Device::failMotion(MotionSensor sensor, long code) {
    if (!hasSensor(*state(), sensor)) {
        log(std::string("motion ") + sensorName(sensor) + ": no such sensor");
        return;
    }
    send({.kind = DeviceEvent::Kind::MotionError, .sensor = sensor, .code = code});
}

void Device::locationFix(LocationFix fix) {
    if (!state()->sensors.gps) {
        log("location fix: no GPS");
        return;
    }
    {
        std::lock_guard g(inner_->lock);
        inner_->lastFix = fix;
    }
    send({.kind = DeviceEvent::Kind::LocationFix, .fix = fix});
}

std::optional<LocationFix> Device::lastLocationFix() const {
    std::lock_guard g(inner_->lock);
    return inner_->lastFix;
}

void Device::setLocationUpdating(const void* updater, bool updating) {
    std::lock_guard g(inner_->lock);
    if (updating)
        inner_->locationUpdaters.insert(updater);
    else
        inner_->locationUpdaters.erase(updater);
}

bool Device::locationInUse() const {
    std::lock_guard g(inner_->lock);
    const Profile& now = *inner_->state;
    return !inner_->locationUpdaters.empty() && now.sensors.gps &&
           (now.location.status == 3 || now.location.status == 4);
}

bool Device::setLocationAuthorization(int status) {
    if (status < 0 || status > 4) return false;
    log("location authorisation ", Figure(static_cast<long long>(status)));
    change(Aspect::Location, [status](Profile& p) { p.location.status = status; });
    return true;
}

void Device::locationError(long code) {
    if (!state()->sensors.gps) {
        log("location error: no GPS");
        return;
    }
    send({.kind = DeviceEvent::Kind::LocationError, .code = code});
}

// ---- Radio ----------------------------------------------------------------------------------

bool Device::setBluetoothState(int state) {
    if (state < 0 || state > 5) return false;
    log("bluetooth state ", Figure(static_cast<long long>(state)));
    change(Aspect::Bluetooth, [state](Profile& p) { p.bluetooth.state = state; });
    return true;
}

void Device::joinWifi(Wifi network) {
    if (!state()->hasWifiInterface()) {
        log("wifi join: no Wi-Fi interface");
        return;
    }
    log("wifi joined " + network.ssid);
    change(Aspect::Network, [&network](Profile& p) { p.wifi = std::move(network); });
}

void Device::leaveWifi() {
    if (!state()->onWifi()) {
        log("wifi leave: not joined");
        return;
    }
    log("wifi left");
    change(Aspect::Network, [](Profile& p) { p.wifi.reset(); });
}

void Device::setReachabilityFlags(const std::string& target, unsigned flags) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", flags);
    log("reachability " + target + " " + hex);
    change(Aspect::Network, [&](Profile& p) { p.reachability[target] = flags; });
}

void Device::setCarrier(std::optional<Carrier> carrier) {
    if (!state()->cellular) {
        log("SIM: no cellular radio");
        return;
    }
    log(carrier ? "SIM in: " + carrier->name : std::string("SIM out"));
    change(Aspect::Carrier, [&carrier](Profile& p) { p.carrier = std::move(carrier); });
}

// ---- Camera, touches, answers ---------------------------------------------------------------

bool Device::setCameraFrame(CameraPosition position, CameraFrame frame) {
    const char* name = position == CameraPosition::Back ? "back" : "front";
    if (!state()->camera(position)) {
        log(std::string("camera frame: no ") + name + " camera");
        return false;
    }
    change(Aspect::Cameras, [&](Profile& p) {
        for (Camera& c : p.cameras)
            if (c.position == position) c.frame = frame;
    });
    return true;
}

bool Device::touch(TouchPhase phase, std::vector<cg::Point> points) {
    if (points.empty()) return false;
    send({.kind = DeviceEvent::Kind::Touches, .phase = phase, .points = std::move(points)});
    return true;
}

bool Device::stroke(std::vector<cg::Point> points, double every) {
    if (points.size() < 2 || !(every >= 0)) return false;
    touch(TouchPhase::Began, {points.front()});
    for (std::size_t i = 1; i < points.size(); ++i) {
        const bool last = i + 1 == points.size();
        auto step = [this, last, point = points[i]] {
            touch(TouchPhase::Moved, {point});
            if (last) touch(TouchPhase::Ended, {point});
        };
        if (every == 0) step();
        else later(every * static_cast<double>(i), step);
    }
    return true;
}

void Device::openNotification() {
    log("notification opened");
    send({.kind = DeviceEvent::Kind::NotificationOpen});
}

void Device::answerRecordPermission(bool granted) {
    log(granted ? "record permission: allowed" : "record permission: refused");
    send({.kind = DeviceEvent::Kind::RecordPermissionAnswer, .answer = granted});
}

void Device::answerCameraAccess(bool granted) {
    log(granted ? "camera access: allowed" : "camera access: refused");
    send({.kind = DeviceEvent::Kind::CameraAccessAnswer, .answer = granted});
}

void Device::replyBiometric(bool success) {
    log(success ? "fingerprint: matched" : "fingerprint: not matched");
    send({.kind = DeviceEvent::Kind::BiometricReply, .answer = success});
}

bool Device::finishComposer(ComposeResult result) {
    const long code = static_cast<long>(result);
    if (code < 0 || code > 2) return false;
    log("message composer finished ", Figure(static_cast<long long>(code)));
    send({.kind = DeviceEvent::Kind::ComposerFinish, .code = code});
    return true;
}

// ---- Permission questions ------------------------------------------------------------------

namespace {

bool decided(const Profile& p, Permission permission) {
    switch (permission) {
    case Permission::Location: return p.location.status != 0;
    case Permission::Camera: return p.cameraAccess.status != 0;
    case Permission::Microphone: return p.audio.recordPermission != RecordPermission::Ask;
    }
    return true;
}

const char* askedText(Permission permission) {
    switch (permission) {
    case Permission::Location: return "location authorisation asked";
    case Permission::Camera: return "camera access asked";
    case Permission::Microphone: return "record permission asked";
    }
    return "";
}

} // namespace

void Device::askPermission(Permission permission) {
    {
        std::lock_guard g(inner_->lock);
        auto& asked = inner_->askedPermissions;
        if (decided(*inner_->state, permission) || std::ranges::find(asked, permission) != asked.end()) return;
        asked.push_back(permission);
    }
    log(askedText(permission));
    send({.kind = DeviceEvent::Kind::PermissionAsked, .permission = permission});
}

std::vector<Permission> Device::pendingPermissions() const {
    std::lock_guard g(inner_->lock);
    return inner_->askedPermissions;
}

bool Device::answerPermission(Permission permission, bool allowed) {
    const std::vector<Permission> pending = pendingPermissions();
    if (std::ranges::find(pending, permission) == pending.end()) return false;
    switch (permission) {
    case Permission::Location: setLocationAuthorization(allowed ? 4 : 2); break;
    case Permission::Camera: answerCameraAccess(allowed); break;
    case Permission::Microphone: answerRecordPermission(allowed); break;
    }
    return true;
}

void Device::settleDecidedPermissions() {
    std::vector<Permission> settled;
    {
        std::lock_guard g(inner_->lock);
        std::erase_if(inner_->askedPermissions, [&](Permission permission) {
            if (!decided(*inner_->state, permission)) return false;
            settled.push_back(permission);
            return true;
        });
    }
    for (Permission permission : settled)
        send({.kind = DeviceEvent::Kind::PermissionSettled, .permission = permission});
}

} // namespace sim
