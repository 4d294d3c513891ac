#pragma once
// cm::MotionManager ("CMMotionManager"): which motion sensors the device has, read from the
// simulated device when the manager is made. Updates are not part of it yet.

#include "platform/runtime/object.h"

namespace cm {

class MotionManager : public rt::Object {
    RT_CLASS(MotionManager)
public:
    static rt::Ref<MotionManager> make();

    bool isAccelerometerAvailable() const { return accelerometer_; }
    bool isGyroAvailable() const { return gyroscope_; }
    bool isDeviceMotionAvailable() const { return deviceMotion_; }

private:
    MotionManager(bool accelerometer, bool gyroscope, bool deviceMotion)
        : accelerometer_(accelerometer), gyroscope_(gyroscope), deviceMotion_(deviceMotion) {}

    bool accelerometer_;
    bool gyroscope_;
    bool deviceMotion_;
};

} // namespace cm
