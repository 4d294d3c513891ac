#pragma once
// av::CaptureDevice ("AVCaptureDevice"): the device's cameras as capture devices, read from the
// simulated device at each call (a profile installed later is seen by the next call).

#include <string_view>

#include "platform/foundation/array.h"
#include "platform/runtime/object.h"

namespace av {

// AVMediaTypeVideo and AVMediaTypeAudio.
inline constexpr std::string_view MediaTypeVideo = "vide";
inline constexpr std::string_view MediaTypeAudio = "soun";

// AVCaptureDevicePosition.
enum class CaptureDevicePosition : long { Unspecified = 0, Back = 1, Front = 2 };

class CaptureDevice : public rt::Object {
    RT_CLASS(CaptureDevice)
public:
    // The cameras for MediaTypeVideo, in the profile's order; empty for any other type.
    static rt::Ref<ns::Array> devicesWithMediaType(std::string_view mediaType);
    // The first back camera, else the first camera, for MediaTypeVideo; nil otherwise or without one.
    static rt::Ref<CaptureDevice> defaultDeviceWithMediaType(std::string_view mediaType);

    CaptureDevicePosition position() const { return position_; }
    bool hasFlash() const { return hasFlash_; }
    bool hasTorch() const { return hasTorch_; }

private:
    CaptureDevice(CaptureDevicePosition position, bool hasFlash, bool hasTorch)
        : position_(position), hasFlash_(hasFlash), hasTorch_(hasTorch) {}

    CaptureDevicePosition position_;
    bool hasFlash_;
    bool hasTorch_;
};

} // namespace av
