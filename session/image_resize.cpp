#include "session/image_resize.h"

#include <cmath>
#include <numbers>
#include <string>

#include "platform/foundation/exception.h"
#include "platform/graphics/affine_transform.h"
#include "platform/uikit/image_context.h"
#include "platform/uikit/view.h"

namespace ft {

namespace {

using Orientation = ui::ImageOrientation;

constexpr cg::BitmapInfo kNoAlpha = cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast);

bool isDrawable(cg::Size size) {
    return std::isfinite(size.width) && std::isfinite(size.height) && size.width > 0 && size.height > 0;
}

rt::Ref<cg::Image> bitmapOf(const rt::Ref<ui::Image>& image) {
    return image ? image->CGImage() : nullptr;
}

// The transform that turns the image's bitmap upright on a canvas of `size` (the bitmap being
// drawn into the canvas's rectangle, its sides swapped when the image is quarter-turned).
cg::AffineTransform transformForOrientation(Orientation orientation, cg::Size size) {
    const double w = size.width, h = size.height;
    cg::AffineTransform t;
    switch (orientation) {
    case Orientation::Down:
    case Orientation::DownMirrored: t = t.translate(w, h).rotate(std::numbers::pi); break;
    case Orientation::Left:
    case Orientation::LeftMirrored: t = t.translate(w, 0).rotate(std::numbers::pi / 2); break;
    case Orientation::Right:
    case Orientation::RightMirrored: t = t.translate(0, h).rotate(-std::numbers::pi / 2); break;
    case Orientation::Up:
    case Orientation::UpMirrored: break;
    }
    switch (orientation) {
    case Orientation::UpMirrored:
    case Orientation::DownMirrored: t = t.translate(w, 0).scale(-1, 1); break;
    case Orientation::LeftMirrored:
    case Orientation::RightMirrored: t = t.translate(h, 0).scale(-1, 1); break;
    default: break;
    }
    return t;
}

// Draws the bitmap under `transform` into a new bitmap of `canvas` (truncated to whole pixels),
// into `into`.
rt::Ref<ui::Image> redrawn(const rt::Ref<cg::Image>& bitmap, cg::Size canvas, const cg::AffineTransform& transform,
                           const cg::Rect& into, cg::InterpolationQuality quality) {
    auto context = cg::BitmapContext::create(canvas.width, canvas.height, 8, 0, cg::ColorSpaceModel::RGB, kNoAlpha);
    if (!context) return nullptr;
    context->concatCTM(transform);
    context->setInterpolationQuality(quality);
    context->drawImage(into, bitmap);
    return ui::Image::imageWithCGImage(context->makeImage());
}

// The drawing step of a resize: a bitmap of `newSize` made integral, the bitmap drawn under
// `transform` into that rectangle, or into it with its sides swapped when `transposed`.
rt::Ref<ui::Image> resizedImage(const rt::Ref<cg::Image>& bitmap, cg::Size newSize,
                                const cg::AffineTransform& transform, bool transposed,
                                cg::InterpolationQuality quality) {
    const cg::Rect newRect = cg::Rect::make(0, 0, newSize.width, newSize.height).integral();
    const cg::Rect transposedRect = cg::Rect::make(0, 0, newRect.height(), newRect.width());
    return redrawn(bitmap, newRect.size, transform, transposed ? transposedRect : newRect, quality);
}

// A side within a millionth of a whole number is that number (what the rotation's sines leave).
double snapped(double side) {
    const double whole = std::round(side);
    return std::abs(side - whole) <= 1e-6 ? whole : side;
}

} // namespace

rt::Ref<ui::Image> croppedImage(const rt::Ref<ui::Image>& image, const cg::Rect& rect) {
    const rt::Ref<cg::Image> bitmap = bitmapOf(image);
    if (!bitmap) return nullptr;
    return ui::Image::imageWithCGImage(cg::Image::createWithImageInRect(bitmap, rect));
}

rt::Ref<ui::Image> resizedImage(const rt::Ref<ui::Image>& image, cg::Size newSize,
                                cg::InterpolationQuality quality) {
    const rt::Ref<cg::Image> bitmap = bitmapOf(image);
    if (!bitmap || !isDrawable(newSize)) return nullptr;
    const Orientation orientation = image->imageOrientation();
    return resizedImage(bitmap, newSize, transformForOrientation(orientation, newSize),
                        ui::isQuarterTurned(orientation), quality);
}

rt::Ref<ui::Image> resizedImageWithContentMode(const rt::Ref<ui::Image>& image, ui::ViewContentMode mode,
                                               cg::Size bounds, cg::InterpolationQuality quality) {
    if (mode != ui::ViewContentMode::ScaleAspectFit && mode != ui::ViewContentMode::ScaleAspectFill)
        ns::raise(ns::InvalidArgumentException, "Unsupported content mode: " + std::to_string(long(mode)));
    if (!image || !isDrawable(image->size())) return nullptr;
    const cg::Size size = image->size();
    const double horizontal = bounds.width / size.width, vertical = bounds.height / size.height;
    const double ratio = mode == ui::ViewContentMode::ScaleAspectFit ? std::min(horizontal, vertical)
                                                                     : std::max(horizontal, vertical);
    return resizedImage(image, {size.width * ratio, size.height * ratio}, quality);
}

rt::Ref<ui::Image> fixOrientation(const rt::Ref<ui::Image>& image) {
    if (image && image->imageOrientation() == Orientation::Up) return image;
    const rt::Ref<cg::Image> bitmap = bitmapOf(image);
    if (!bitmap || !isDrawable(image->size())) return nullptr;
    const cg::Size size = image->size();
    const cg::Rect into = ui::isQuarterTurned(image->imageOrientation())
                              ? cg::Rect::make(0, 0, size.height, size.width)
                              : cg::Rect::make(0, 0, size.width, size.height);
    return redrawn(bitmap, size, transformForOrientation(image->imageOrientation(), size), into,
                   cg::InterpolationQuality::Default);
}

rt::Ref<ui::Image> rotatedByDegrees(const rt::Ref<ui::Image>& image, double degrees) {
    // A picture of one pixel a point is drawn as seen straight from its bitmap, the same pixels as
    // its straightened copy would give; any other is straightened first.
    const rt::Ref<ui::Image> upright = image && image->scale() == 1 ? image : fixOrientation(image);
    const rt::Ref<cg::Image> bitmap = bitmapOf(upright);
    if (!bitmap) return nullptr;
    const double radians = std::numbers::pi * (degrees / 180);
    const cg::Size size = upright->size();

    // The canvas is the frame of a view of the picture's size turned by the angle.
    auto box = rt::make<ui::View>(cg::Rect::make(0, 0, size.width, size.height));
    box->setTransform(cg::AffineTransform::identity().rotate(radians));
    const cg::Rect frame = box->frame();
    const cg::Size canvas{snapped(frame.width()), snapped(frame.height())};

    ui::graphicsBeginImageContext(canvas);
    rt::Ref<ui::Image> rotated;
    if (rt::Ref<cg::BitmapContext> context = ui::graphicsGetCurrentImageContext()) {
        context->translateCTM(canvas.width / 2, canvas.height / 2);
        context->rotateCTM(radians);
        context->scaleCTM(1, -1);
        context->drawImage(cg::Rect::make(-size.width / 2, -size.height / 2, size.width, size.height), bitmap,
                           upright->imageOrientation());
        rotated = ui::graphicsGetImageFromCurrentImageContext();
    }
    ui::graphicsEndImageContext();
    return rotated;
}

} // namespace ft
