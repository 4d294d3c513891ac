#pragma once
// av::CaptureDevice ("AVCaptureDevice"): the device's cameras and its microphone as capture
// devices, read from the simulated device at each call (a profile installed later is seen by the
// next call).
//
// Torch: a camera's torch mode (off 0, on 1, auto 2) changes only while the device object is
// locked for configuration, and locking fails unless the camera's torch is lockable; a change
// without the lock, or to a mode the camera cannot take, is logged and ignored, never thrown. The
// torch belongs to the camera: every device object of one position sees the same mode, and a
// change shows in the device log ("torch on").
//
// Access: the status per media type comes from the profile (video: cameraAccess.status; audio:
// the record permission). A request while undetermined shows the system's question
// (sim::Device::askPermission) and is answered with cameraAccess.answer after cameraAccess.after
// seconds, or by the tester's answer (camera.access, or a button of the question) if that comes
// first, and the status follows the answer; a request once decided answers at once. Answers come where the
// device's callbacks come from (sim/callbacks.h).

#include <functional>
#include <string_view>

#include "platform/foundation/array.h"
#include "platform/foundation/error.h"
#include "platform/runtime/object.h"

namespace av {

// AVMediaTypeVideo and AVMediaTypeAudio.
inline constexpr std::string_view MediaTypeVideo = "vide";
inline constexpr std::string_view MediaTypeAudio = "soun";

// AVCaptureDevicePosition.
enum class CaptureDevicePosition : long { Unspecified = 0, Back = 1, Front = 2 };
enum class CaptureTorchMode : long { Off = 0, On = 1, Auto = 2 };
enum class AuthorizationStatus : long { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };

class CaptureDevice : public rt::Object {
    RT_CLASS(CaptureDevice)
public:
    // The cameras for MediaTypeVideo, in the profile's order; the microphone for MediaTypeAudio.
    static rt::Ref<ns::Array> devicesWithMediaType(std::string_view mediaType);
    // The first back camera, else the first camera, for MediaTypeVideo; the microphone for
    // MediaTypeAudio; nil otherwise or without one.
    static rt::Ref<CaptureDevice> defaultDeviceWithMediaType(std::string_view mediaType);

    static AuthorizationStatus authorizationStatusForMediaType(std::string_view mediaType);
    static void requestAccessForMediaType(std::string_view mediaType, std::function<void(bool granted)> handler);
    // Whether the class answers requestAccessForMediaType:completionHandler: (older systems do
    // not). A test hook takes the method away and puts it back.
    static bool respondsToAccessRequest();
    static void setRespondsToAccessRequestForTesting(bool responds);

    CaptureDevicePosition position() const { return position_; }
    bool hasMediaType(std::string_view mediaType) const { return mediaType == (audio_ ? MediaTypeAudio : MediaTypeVideo); }
    bool hasFlash() const { return hasFlash_; }
    bool hasTorch() const { return hasTorch_; }

    bool lockForConfiguration(rt::Ref<ns::Error>* error = nullptr);
    void unlockForConfiguration();
    bool isTorchModeSupported(CaptureTorchMode mode) const;
    CaptureTorchMode torchMode() const;
    void setTorchMode(CaptureTorchMode mode);

private:
    CaptureDevice(CaptureDevicePosition position, bool hasFlash, bool hasTorch, bool audio = false)
        : position_(position), hasFlash_(hasFlash), hasTorch_(hasTorch), audio_(audio) {}

    CaptureDevicePosition position_;
    bool hasFlash_;
    bool hasTorch_;
    bool audio_;
    bool locked_ = false;
};

} // namespace av
