#pragma once
// Private to the media stand-ins: what a camera sees, as pixels and as a picture.

#include <cstdint>
#include <vector>

#include "platform/media/capture_device.h"
#include "platform/sim/profile.h"

namespace cg {
class Context;
class Image;
struct Rect;
} // namespace cg

namespace av {

inline sim::CameraPosition cameraPosition(CaptureDevicePosition position) {
    return position == CaptureDevicePosition::Front ? sim::CameraPosition::Front : sim::CameraPosition::Back;
}

// What the camera at `position` sees now, as rows of RGB pixels (three bytes), mirrored left to
// right when asked; empty without such a camera.
struct CameraPixels {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};
CameraPixels cameraPixels(CaptureDevicePosition position, bool mirrored);

// What the camera at `position` sees now as a picture: the one the device keeps for the frame
// (sim::Device::cameraPicture), the same object each time; nil without such a camera.
rt::Ref<cg::Image> cameraPicture(CaptureDevicePosition position);
// Draws the picture into `rect` of a layer's space (y down), its top row at the rectangle's top,
// mirrored left to right when asked.
void drawCameraPicture(cg::Context& context, const cg::Rect& rect, const rt::Ref<cg::Image>& picture,
                       bool mirrored = false);

} // namespace av
