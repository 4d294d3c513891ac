#include "session/core/function_helper.h"

#include "platform/media/capture_device.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/class.h"

namespace ft {

RT_DEFINE_CLASS(FunctionHelper, "FunctionHelper", rt::Object)

bool FunctionHelper::hasCameraWithPosition(std::int64_t position) {
    const auto devices = av::CaptureDevice::devicesWithMediaType(av::MediaTypeVideo);
    for (const rt::Id& d : *devices)
        if (static_cast<std::int64_t>(rt::downcast<av::CaptureDevice>(d)->position()) == position) return true;
    return false;
}

bool FunctionHelper::hasFlash() {
    auto device = av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo);
    return device && device->hasFlash();
}

bool FunctionHelper::hasGyroscope() {
    return cm::MotionManager::make()->isGyroAvailable();
}

bool FunctionHelper::hasMotion() {
    return cm::MotionManager::make()->isDeviceMotionAvailable();
}

bool FunctionHelper::hasAccelerometer() {
    return cm::MotionManager::make()->isAccelerometerAvailable();
}

} // namespace ft
