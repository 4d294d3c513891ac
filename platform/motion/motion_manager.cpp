#include "platform/motion/motion_manager.h"

#include <algorithm>
#include <array>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace cm {

RT_DEFINE_CLASS(LogItem, "CMLogItem", rt::Object, rt::prop("timestamp", &LogItem::timestamp))
RT_DEFINE_CLASS(AccelerometerData, "CMAccelerometerData", LogItem)
RT_DEFINE_CLASS(GyroData, "CMGyroData", LogItem)
RT_DEFINE_CLASS(MagnetometerData, "CMMagnetometerData", LogItem)
RT_DEFINE_CLASS(MotionManager, "CMMotionManager", rt::Object,
                rt::prop("accelerometerAvailable", &MotionManager::isAccelerometerAvailable),
                rt::prop("gyroAvailable", &MotionManager::isGyroAvailable),
                rt::prop("magnetometerAvailable", &MotionManager::isMagnetometerAvailable),
                rt::prop("deviceMotionAvailable", &MotionManager::isDeviceMotionAvailable),
                rt::prop("accelerometerUpdateInterval", &MotionManager::accelerometerUpdateInterval,
                         &MotionManager::setAccelerometerUpdateInterval),
                rt::prop("gyroUpdateInterval", &MotionManager::gyroUpdateInterval, &MotionManager::setGyroUpdateInterval),
                rt::prop("magnetometerUpdateInterval", &MotionManager::magnetometerUpdateInterval,
                         &MotionManager::setMagnetometerUpdateInterval),
                rt::method("stopAccelerometerUpdates", &MotionManager::stopAccelerometerUpdates),
                rt::method("stopGyroUpdates", &MotionManager::stopGyroUpdates),
                rt::method("stopMagnetometerUpdates", &MotionManager::stopMagnetometerUpdates))

// What runs per sensor. Main thread only.
struct MotionManager::Updates {
    // Hands the reading (null: none, with the error) to the handler.
    using Deliver = std::function<void(const sim::Vector3* value, const rt::Ref<ns::Error>& error)>;
    struct Sensor {
        double interval = 0.1;
        bool active = false;
        std::uint64_t generation = 0; // moves on at each start and stop: older readings are void
        ns::TimeInterval start = 0;
        rt::Ref<ns::OperationQueue> queue;
        std::shared_ptr<const Deliver> deliver;
    };
    std::array<Sensor, 3> sensors;
    sim::Device::HookId errors = 0;

    static std::size_t index(sim::MotionSensor sensor) { return static_cast<std::size_t>(sensor); }
};

namespace {

void handOver(const rt::Ref<ns::OperationQueue>& queue, dispatch::Block block) {
    if (queue) queue->addOperationWithBlock(std::move(block));
    else dispatch::async(dispatch::Queue::main(), std::move(block));
}

sim::Vector3 reading(sim::MotionSensor sensor) {
    if (auto next = sim::Device::shared().takeMotionSeriesValue(sensor)) return *next;
    const sim::RestingPose& pose = sim::currentDevice()->motion;
    switch (sensor) {
    case sim::MotionSensor::Accelerometer: return pose.accel;
    case sim::MotionSensor::Gyroscope: return pose.gyro;
    case sim::MotionSensor::Magnetometer: return pose.magnet;
    }
    return pose.accel;
}

// Schedules reading number `n` (from 1) of a run of updates.
void scheduleReading(const rt::Weak<MotionManager>& weak, MotionManager::Updates& updates, sim::MotionSensor sensor,
                     std::uint64_t generation, long n);

} // namespace

MotionManager::MotionManager(bool accelerometer, bool gyroscope, bool magnetometer, bool deviceMotion)
    : accelerometer_(accelerometer), gyroscope_(gyroscope), magnetometer_(magnetometer), deviceMotion_(deviceMotion),
      updates_(std::make_unique<Updates>()) {
    Updates* updates = updates_.get(); // removed with the hook in the destructor
    updates_->errors = sim::Device::shared().addEventHook([updates](const sim::DeviceEvent& event) {
        if (event.kind != sim::DeviceEvent::Kind::MotionError) return;
        Updates::Sensor& s = updates->sensors[Updates::index(event.sensor)];
        if (!s.active) return;
        auto error = ns::Error::make(ErrorDomain, event.code);
        handOver(s.queue, [deliver = s.deliver, error] { (*deliver)(nullptr, error); });
    });
}

MotionManager::~MotionManager() {
    sim::Device::shared().removeHook(updates_->errors);
}

rt::Ref<MotionManager> MotionManager::make() {
    const auto device = sim::currentDevice();
    const sim::Sensors& s = device->sensors;
    return rt::make<MotionManager>(s.accelerometer, s.gyroscope, s.magnetometer, s.deviceMotion);
}

namespace {

void scheduleReading(const rt::Weak<MotionManager>& weak, MotionManager::Updates& updates, sim::MotionSensor sensor,
                     std::uint64_t generation, long n) {
    const MotionManager::Updates::Sensor& s = updates.sensors[MotionManager::Updates::index(sensor)];
    const ns::TimeInterval when = s.start + s.interval * static_cast<double>(n);
    MotionManager::Updates* target = &updates;
    dispatch::asyncAfter(when, dispatch::Queue::main(), [weak, target, sensor, generation, n] {
        rt::Ref<MotionManager> manager = weak.lock(); // keeps `target` alive while it is read
        if (!manager) return;
        MotionManager::Updates::Sensor& s = target->sensors[MotionManager::Updates::index(sensor)];
        if (!s.active || s.generation != generation) return;
        const sim::Vector3 value = reading(sensor);
        handOver(s.queue, [deliver = s.deliver, value] { (*deliver)(&value, nullptr); });
        scheduleReading(weak, *target, sensor, generation, n + 1);
    });
}

} // namespace

// ---- One sensor's start, stop and interval, for all three ------------------------------------

namespace {

void start(MotionManager& manager, MotionManager::Updates& updates, bool available, sim::MotionSensor sensor,
           const rt::Ref<ns::OperationQueue>& queue, MotionManager::Updates::Deliver deliver) {
    MotionManager::Updates::Sensor& s = updates.sensors[MotionManager::Updates::index(sensor)];
    ++s.generation;
    s.active = available && deliver;
    if (!s.active) return;
    s.queue = queue;
    s.deliver = std::make_shared<const MotionManager::Updates::Deliver>(std::move(deliver));
    s.start = ns::Clock::currentTime();
    scheduleReading(rt::Weak<MotionManager>(&manager), updates, sensor, s.generation, 1);
}

// A handler for readings of `Data` holding a `Value`.
template <class Data, class Value, class Handler>
MotionManager::Updates::Deliver wrap(Handler handler) {
    if (!handler) return {};
    return [handler = std::move(handler)](const sim::Vector3* v, const rt::Ref<ns::Error>& error) {
        handler(v ? rt::make<Data>(ns::Clock::currentTime(), Value{v->x, v->y, v->z}) : nullptr, error);
    };
}

void stop(MotionManager::Updates& updates, sim::MotionSensor sensor) {
    MotionManager::Updates::Sensor& s = updates.sensors[MotionManager::Updates::index(sensor)];
    ++s.generation;
    s.active = false;
    s.queue = nullptr;
    s.deliver = nullptr;
}

void setInterval(MotionManager::Updates& updates, sim::MotionSensor sensor, double seconds) {
    updates.sensors[MotionManager::Updates::index(sensor)].interval = std::max(0.001, seconds);
}

} // namespace

double MotionManager::accelerometerUpdateInterval() const {
    return updates_->sensors[0].interval;
}
void MotionManager::setAccelerometerUpdateInterval(double seconds) {
    setInterval(*updates_, sim::MotionSensor::Accelerometer, seconds);
}
double MotionManager::gyroUpdateInterval() const {
    return updates_->sensors[1].interval;
}
void MotionManager::setGyroUpdateInterval(double seconds) {
    setInterval(*updates_, sim::MotionSensor::Gyroscope, seconds);
}
double MotionManager::magnetometerUpdateInterval() const {
    return updates_->sensors[2].interval;
}
void MotionManager::setMagnetometerUpdateInterval(double seconds) {
    setInterval(*updates_, sim::MotionSensor::Magnetometer, seconds);
}

void MotionManager::startAccelerometerUpdatesToQueue(const rt::Ref<ns::OperationQueue>& queue, AccelerometerHandler handler) {
    start(*this, *updates_, accelerometer_, sim::MotionSensor::Accelerometer, queue, wrap<AccelerometerData, Acceleration>(std::move(handler)));
}

void MotionManager::startGyroUpdatesToQueue(const rt::Ref<ns::OperationQueue>& queue, GyroHandler handler) {
    start(*this, *updates_, gyroscope_, sim::MotionSensor::Gyroscope, queue, wrap<GyroData, RotationRate>(std::move(handler)));
}

void MotionManager::startMagnetometerUpdatesToQueue(const rt::Ref<ns::OperationQueue>& queue, MagnetometerHandler handler) {
    start(*this, *updates_, magnetometer_, sim::MotionSensor::Magnetometer, queue, wrap<MagnetometerData, MagneticField>(std::move(handler)));
}

void MotionManager::stopAccelerometerUpdates() {
    stop(*updates_, sim::MotionSensor::Accelerometer);
}
void MotionManager::stopGyroUpdates() {
    stop(*updates_, sim::MotionSensor::Gyroscope);
}
void MotionManager::stopMagnetometerUpdates() {
    stop(*updates_, sim::MotionSensor::Magnetometer);
}
bool MotionManager::isAccelerometerActive() const {
    return updates_->sensors[0].active;
}
bool MotionManager::isGyroActive() const {
    return updates_->sensors[1].active;
}
bool MotionManager::isMagnetometerActive() const {
    return updates_->sensors[2].active;
}

} // namespace cm
