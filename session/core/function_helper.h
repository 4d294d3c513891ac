#pragma once
// ft::FunctionHelper ("FunctionHelper"): whether the device has a camera at a position, a flash,
// a gyroscope, device motion and an accelerometer. Each call asks the platform again.

#include <cstdint>

#include "platform/runtime/object.h"

namespace ft {

class FunctionHelper : public rt::Object {
    RT_CLASS(FunctionHelper)
public:
    // Positions as the capture devices give them: 1 back, 2 front.
    static bool hasCameraWithPosition(std::int64_t position);
    // The default video device exists and has a flash.
    static bool hasFlash();
    static bool hasGyroscope();
    static bool hasMotion();
    static bool hasAccelerometer();
};

} // namespace ft
