#pragma once
// ui::Image ("UIImage"): a name, a size and a scale, and for an image made from a bitmap, the
// bitmap (CGImage) and the orientation in which it is shown.
//
// imageNamed finds a name registered from code (a size without a bitmap), or a PNG file of the
// main bundle: "<name>@2x.png" at scale 2 (looked for first on a screen of scale 2 or more), or
// "<name>.png" at scale 1. The file is read once: the image of a name is kept (for the bundle and
// screen scale it was read for) and handed out again, as the platform caches named images. A file
// that cannot be decoded gives nil and one log line naming it; an unknown name gives nil.
//
// The size of an image with a bitmap is the bitmap's in points (its pixels / scale), its sides
// swapped when the orientation turns the bitmap a quarter (left, right and their mirrored forms).

#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/string.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/image.h"
#include "platform/runtime/object.h"

namespace ui {

// How the bitmap is turned to be seen upright (the graphics layer's orientations).
using cg::ImageOrientation;
using cg::isQuarterTurned;

// How an image is drawn: as it is, as it is, or as a template (its shape in the tint colour).
enum class ImageRenderingMode : long { Automatic = 0, AlwaysOriginal = 1, AlwaysTemplate = 2 };

class Image final : public rt::Object {
    RT_CLASS(Image)
public:
    // The image of that name, as above; nil for an empty or unknown name or a bad file.
    static rt::Ref<Image> imageNamed(std::string_view name);
    // Registers a name (its size in points) for imageNamed; registering again replaces the size.
    static void registerImageNamed(std::string_view name, cg::Size size);
    // Forgets every registered name (the harness, between tests).
    static void removeRegisteredImages();
    // An image that has no name (drawn in code).
    static rt::Ref<Image> imageWithSize(cg::Size size, double scale = 1);
    // An image of that bitmap (nil for none), at scale 1 and upright, or at the scale and orientation
    // given; a scale that is not positive and finite counts as 1, an orientation out of range as Up.
    static rt::Ref<Image> imageWithCGImage(const rt::Ref<cg::Image>& image);
    static rt::Ref<Image> imageWithCGImage(const rt::Ref<cg::Image>& image, double scale,
                                           ImageOrientation orientation);

    // The picture in JPEG bytes (UIImage initWithData:), at scale 1 and upright; nil, with one log
    // line, for bytes that are not a JPEG picture.
    static rt::Ref<Image> imageWithData(const rt::Ref<ns::Data>& data);

    // Nil for an image made in code.
    const rt::Ref<ns::String>& name() const noexcept { return name_; }
    cg::Size size() const noexcept { return size_; }
    double scale() const noexcept { return scale_; }
    // Nil for an image without a bitmap.
    const rt::Ref<cg::Image>& CGImage() const noexcept { return bitmap_; }
    ImageOrientation imageOrientation() const noexcept { return orientation_; }
    ImageRenderingMode renderingMode() const noexcept { return renderingMode_; }
    // The same picture in that rendering mode: the receiver when it already is, else a new image.
    rt::Ref<Image> imageWithRenderingMode(ImageRenderingMode mode) const;

    // Draws the image upright into `rect` of the current context (UIKit space, y down): its bitmap,
    // or for an image without one, the image object itself (a picture shows a grey box).
    void drawInRect(const cg::Rect& rect) const;

    // "<UIImage: 0x...>, {w, h}" with the name when it has one.
    std::string description() const override;

private:
    Image(rt::Ref<ns::String> name, cg::Size size, double scale)
        : name_(std::move(name)), size_(size), scale_(scale) {}
    Image(rt::Ref<ns::String> name, rt::Ref<cg::Image> bitmap, double scale);
    Image(rt::Ref<cg::Image> bitmap, double scale, ImageOrientation orientation);

    rt::Ref<ns::String> name_;
    cg::Size size_;
    double scale_;
    rt::Ref<cg::Image> bitmap_;
    ImageOrientation orientation_ = ImageOrientation::Up;
    ImageRenderingMode renderingMode_ = ImageRenderingMode::Automatic;
};

} // namespace ui
