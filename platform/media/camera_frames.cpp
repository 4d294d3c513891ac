#include "platform/media/camera_frames.h"

#include <cstring>

#include "platform/graphics/context.h"
#include "platform/graphics/image.h"
#include "platform/sim/device.h"
#include "platform/sim/frame_image.h"

namespace av {

CameraPixels cameraPixels(CaptureDevicePosition position, bool mirrored) {
    CameraPixels out;
    const auto frame = sim::Device::shared().cameraFrame(cameraPosition(position));
    if (!frame || frame->width <= 0 || frame->height <= 0) return out;
    out.width = frame->width;
    out.height = frame->height;
    out.rgb.resize(std::size_t(out.width) * std::size_t(out.height) * 3);
    std::uint8_t* to = out.rgb.data();
    const std::size_t row = std::size_t(out.width) * 3;
    for (int y = 0; y < out.height; ++y, to += row) {
        if (frame->rgb && !mirrored) {
            std::memcpy(to, frame->pixels.data() + std::size_t(y) * std::size_t(frame->bytesPerRow), row);
            continue;
        }
        for (int x = 0; x < out.width; ++x)
            frame->rgbAt(mirrored ? out.width - 1 - x : x, y, to + std::size_t(x) * 3);
    }
    return out;
}

rt::Ref<cg::Image> cameraPicture(CaptureDevicePosition position) {
    return sim::Device::shared().cameraPicture(cameraPosition(position));
}

void drawCameraPicture(cg::Context& context, const cg::Rect& rect, const rt::Ref<cg::Image>& picture,
                       bool mirrored) {
    // A bitmap's top row lands at the rectangle's larger y: flip about the rectangle (and about
    // its middle upright line when mirrored).
    context.saveGState();
    context.translateCTM(mirrored ? rect.minX() + rect.maxX() : 0, rect.minY() + rect.maxY());
    context.scaleCTM(mirrored ? -1 : 1, -1);
    context.drawImage(rect, picture);
    context.restoreGState();
}

} // namespace av
