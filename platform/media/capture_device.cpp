#include "platform/media/capture_device.h"

#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace av {

RT_DEFINE_CLASS(CaptureDevice, "AVCaptureDevice", rt::Object,
                rt::prop("position", &CaptureDevice::position),
                rt::prop("hasFlash", &CaptureDevice::hasFlash),
                rt::prop("hasTorch", &CaptureDevice::hasTorch))

rt::Ref<ns::Array> CaptureDevice::devicesWithMediaType(std::string_view mediaType) {
    auto devices = ns::MutableArray::make();
    if (mediaType != MediaTypeVideo) return devices;
    for (const sim::Camera& camera : sim::currentDevice()->cameras) {
        auto position =
            camera.position == sim::CameraPosition::Front ? CaptureDevicePosition::Front : CaptureDevicePosition::Back;
        devices->addObject(rt::make<CaptureDevice>(position, camera.hasFlash, camera.hasTorch));
    }
    return devices;
}

rt::Ref<CaptureDevice> CaptureDevice::defaultDeviceWithMediaType(std::string_view mediaType) {
    auto devices = devicesWithMediaType(mediaType);
    rt::Ref<CaptureDevice> first;
    for (const rt::Id& d : *devices) {
        auto device = rt::downcast<CaptureDevice>(d);
        if (device->position() == CaptureDevicePosition::Back) return device;
        if (!first) first = device;
    }
    return first;
}

} // namespace av
