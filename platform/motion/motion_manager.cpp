#include "platform/motion/motion_manager.h"

#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace cm {

RT_DEFINE_CLASS(MotionManager, "CMMotionManager", rt::Object,
                rt::prop("accelerometerAvailable", &MotionManager::isAccelerometerAvailable),
                rt::prop("gyroAvailable", &MotionManager::isGyroAvailable),
                rt::prop("deviceMotionAvailable", &MotionManager::isDeviceMotionAvailable))

rt::Ref<MotionManager> MotionManager::make() {
    const auto device = sim::currentDevice();
    const sim::Sensors& s = device->sensors;
    return rt::make<MotionManager>(s.accelerometer, s.gyroscope, s.deviceMotion);
}

} // namespace cm
