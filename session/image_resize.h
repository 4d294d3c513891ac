#pragma once
// Resizing images (the application's "Resize" additions to UIImage): crop, resize to a size, to fit
// or fill a box, redraw upright, and rotate.
//
// Every drawn answer is a new image: scale 1, orientation up, its bitmap without alpha (bitmap
// info 5). The answer is nil when nothing is left to draw: a nil image or one without a bitmap, a
// size that is zero, negative or not finite, or a crop that misses the bitmap.

#include "platform/graphics/bitmap_context.h"
#include "platform/graphics/geometry.h"
#include "platform/uikit/image.h"
#include "platform/uikit/view_content_mode.h"

namespace ft {

// The part of the bitmap inside `rect`, in the bitmap's pixels from its top left, made integral and
// clipped to the bitmap. The image's orientation and scale are not applied: on a turned image the
// crop cuts the bitmap as stored. The part keeps the bitmap's layout.
rt::Ref<ui::Image> croppedImage(const rt::Ref<ui::Image>& image, const cg::Rect& rect);

// The image redrawn upright at `newSize`, on a bitmap of that size rounded out to whole pixels.
rt::Ref<ui::Image> resizedImage(const rt::Ref<ui::Image>& image, cg::Size newSize,
                                cg::InterpolationQuality quality);

// The image scaled, keeping its proportions, to fit inside (ScaleAspectFit) or cover
// (ScaleAspectFill) a box of `bounds`, then resized as above. Any other mode throws ns::Exception
// "NSInvalidArgumentException", "Unsupported content mode: <mode>", before anything else is looked at.
rt::Ref<ui::Image> resizedImageWithContentMode(const rt::Ref<ui::Image>& image, ui::ViewContentMode mode,
                                               cg::Size bounds, cg::InterpolationQuality quality);

// The image redrawn so that its orientation is up, at its size in points; the image itself when it
// already is up.
rt::Ref<ui::Image> fixOrientation(const rt::Ref<ui::Image>& image);

// The upright image turned about its centre by `degrees` (clockwise as seen), on a canvas the size of
// the turned picture's bounding box rounded up to whole pixels. Corners the picture leaves are black.
rt::Ref<ui::Image> rotatedByDegrees(const rt::Ref<ui::Image>& image, double degrees);

} // namespace ft
