#pragma once
// cg::BitmapContext ("CGBitmapContext"): a drawing context over a bitmap of its own. Its user
// space starts as the bitmap's with the origin at the bottom left and y up; the current transform
// (CTM) maps user space onto it. An image drawn into a rectangle fills it, its top row along the
// rectangle's top (the larger y).
//
// Sampling follows the interpolation quality: None takes the nearest pixel, every other quality
// blends the four nearest (bilinear). Beyond its edges an image continues its edge pixels, so an
// edge never fades into transparent black; what lies outside the rectangle is left alone.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/image.h"
#include "platform/runtime/object.h"

namespace cg {

enum class InterpolationQuality : int { Default = 0, None = 1, Low = 2, High = 3, Medium = 4 };

class BitmapContext final : public rt::Object {
    RT_CLASS(BitmapContext)
public:
    // The rasteriser's largest side, in pixels.
    static constexpr std::size_t kMaxSide = 32767;

    // A context of width x height pixels (each side truncated to whole pixels), cleared to zero.
    // bytesPerRow 0 chooses (four bytes a pixel). Nil for a side that is not finite, under one pixel
    // or over kMaxSide, components that are not 8 bits, rows shorter than the pixels, a layout
    // cg::Image does not hold, or a bitmap the memory cannot hold.
    static rt::Ref<BitmapContext> create(double width, double height, std::size_t bitsPerComponent,
                                         std::size_t bytesPerRow, ColorSpaceModel space, BitmapInfo info);

    std::size_t width() const noexcept { return width_; }
    std::size_t height() const noexcept { return height_; }
    std::size_t bitsPerComponent() const noexcept { return 8; }
    std::size_t bytesPerRow() const noexcept { return bytesPerRow_; }
    ColorSpaceModel colorSpaceModel() const noexcept { return ColorSpaceModel::RGB; }
    BitmapInfo bitmapInfo() const noexcept { return info_; }

    // The current transform, and the steps that change it (each acts in the current user space).
    const AffineTransform& ctm() const noexcept { return ctm_; }
    void concatCTM(const AffineTransform& transform) noexcept { ctm_ = transform.concat(ctm_); }
    void translateCTM(double dx, double dy) noexcept { ctm_ = ctm_.translate(dx, dy); }
    void rotateCTM(double angle) noexcept { ctm_ = ctm_.rotate(angle); }
    void scaleCTM(double sx, double sy) noexcept { ctm_ = ctm_.scale(sx, sy); }

    InterpolationQuality interpolationQuality() const noexcept { return quality_; }
    void setInterpolationQuality(InterpolationQuality quality) noexcept { quality_ = quality; }

    // Draws `image` scaled to fill `rect` (standardized) in user space. Nothing happens for a nil
    // image, one with a side over kMaxSide, an empty rectangle, or a transform that flattens the
    // picture or is not finite.
    void drawImage(const Rect& rect, const rt::Ref<Image>& image) { drawImage(rect, image, ImageOrientation::Up); }
    // Draws the picture `image` shows in `orientation` (its sides swapped for the quarter turns):
    // the same pixels as drawing an upright copy of it, without making one.
    void drawImage(const Rect& rect, const rt::Ref<Image>& image, ImageOrientation orientation);
    // The bitmap as it is now, in the context's layout (later drawing does not change it).
    rt::Ref<Image> makeImage() const;

private:
    BitmapContext(std::size_t width, std::size_t height, std::size_t bytesPerRow, BitmapInfo info)
        : width_(width), height_(height), bytesPerRow_(bytesPerRow), info_(info) {}

    // Gives the pixels their cleared value where `cleared_` still stands for them: the rows
    // [from, to) whole, or the columns [0, left) and [right, width) of one row, and the padding.
    void clearRows(std::size_t from, std::size_t to) const noexcept;
    void clearAround(std::size_t row, std::size_t left, std::size_t right) const noexcept;
    // The pixels to draw on: a copy of its own while an image shares them. False when there is
    // no memory for one.
    bool ownPixels();

    std::size_t width_, height_, bytesPerRow_;
    BitmapInfo info_;
    AffineTransform ctm_;
    InterpolationQuality quality_ = InterpolationQuality::Default;
    // The pixels in the context's layout, rows bytesPerRow apart; the images made from them share
    // them. Until the first drawing or image, nothing is written: every pixel is cleared (all
    // zero, the byte skipped 255), which that drawing writes along with what it draws.
    std::shared_ptr<std::uint8_t> pixels_;
    mutable bool cleared_ = true;
};

} // namespace cg
