#pragma once
// cg::Image ("CGImage"): an immutable bitmap of 8-bit RGB components in 32-bit pixels, rows from
// the top. The bitmap info says where each component sits in a pixel (ImageAlphaInfo, plus an
// optional 32-bit byte order); the layouts held are the premultiplied ones (1, 2) and those
// without alpha that skip a byte (5, 6), in big-endian (the default) or little-endian order.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace cg {

enum class ColorSpaceModel : int { RGB = 1 };

enum class ImageAlphaInfo : std::uint32_t {
    None = 0,
    PremultipliedLast = 1,
    PremultipliedFirst = 2,
    Last = 3,
    First = 4,
    NoneSkipLast = 5,
    NoneSkipFirst = 6,
    Only = 7,
};

using BitmapInfo = std::uint32_t;
inline constexpr BitmapInfo kBitmapAlphaInfoMask = 0x1F;
inline constexpr BitmapInfo kBitmapByteOrderMask = 0x7000;
inline constexpr BitmapInfo kBitmapByteOrder32Little = 2u << 12;
inline constexpr BitmapInfo kBitmapByteOrder32Big = 4u << 12;
// The host's own order of a 32-bit word's bytes.
inline constexpr BitmapInfo kBitmapByteOrder32Host =
    std::endian::native == std::endian::little ? kBitmapByteOrder32Little : kBitmapByteOrder32Big;

// How a bitmap is turned to be seen upright: Left turns it anticlockwise, Right clockwise.
enum class ImageOrientation : long {
    Up = 0,
    Down = 1,
    Left = 2,
    Right = 3,
    UpMirrored = 4,
    DownMirrored = 5,
    LeftMirrored = 6,
    RightMirrored = 7,
};

// Left, Right, LeftMirrored and RightMirrored: the bitmap's sides are seen swapped.
constexpr bool isQuarterTurned(ImageOrientation orientation) noexcept {
    return orientation == ImageOrientation::Left || orientation == ImageOrientation::Right ||
           orientation == ImageOrientation::LeftMirrored || orientation == ImageOrientation::RightMirrored;
}

class Image final : public rt::Object {
    RT_CLASS(Image)
public:
    // An image of those bytes, rows `bytesPerRow` apart. Nil for a side of zero, a layout not held,
    // rows shorter than width pixels, or fewer bytes than the rows need.
    static rt::Ref<Image> create(std::size_t width, std::size_t height, std::size_t bytesPerRow, BitmapInfo info,
                                 std::vector<std::uint8_t> bytes);
    // An opaque image of the rasteriser's own words (0xFFRRGGBB, native-endian; the top byte is made
    // 255), rows without padding, kept as they are: rasterWords() answers those words, so drawing
    // the image converts and copies nothing. Nil for a side of zero or fewer words than the pixels.
    static rt::Ref<Image> createWithRasterWords(std::size_t width, std::size_t height,
                                                std::vector<std::uint32_t> words);
    // The part of `image` inside `rect`, in pixels from the top left. The rectangle is first made
    // integral, then clipped to the bitmap; nil when nothing of the bitmap is left (or `rect` is
    // not finite). The part keeps the image's layout.
    static rt::Ref<Image> createWithImageInRect(const rt::Ref<Image>& image, const Rect& rect);
    // The picture of a PNG file, its pixels premultiplied in the rasteriser's native order. Nil,
    // with the reason in `why`, for a file that cannot be read or decoded.
    static rt::Ref<Image> createWithPNGFile(const std::string& path, std::string* why = nullptr);

    std::size_t width() const noexcept { return width_; }
    std::size_t height() const noexcept { return height_; }
    std::size_t bitsPerComponent() const noexcept { return 8; }
    std::size_t bitsPerPixel() const noexcept { return 32; }
    std::size_t bytesPerRow() const noexcept { return bytesPerRow_; }
    ColorSpaceModel colorSpaceModel() const noexcept { return ColorSpaceModel::RGB; }
    BitmapInfo bitmapInfo() const noexcept { return info_; }
    ImageAlphaInfo alphaInfo() const noexcept { return ImageAlphaInfo(info_ & kBitmapAlphaInfoMask); }
    // The pixels, height rows of bytesPerRow bytes.
    std::span<const std::uint8_t> bytes() const noexcept { return {bytes_.get(), size_}; }

    // The pixels as the rasteriser's words (native-endian, alpha in the top byte, premultiplied),
    // rows without padding; made on first use and kept with the image, for a rasteriser to paint
    // the same image again without converting it (an image of raster words answers its own pixels).
    // Nothing may write through the pointer.
    std::uint32_t* rasterWords() const;

    // "<CGImage 0x...> 4 x 2, info 5".
    std::string description() const override;

private:
    // A bitmap context hands its pixels to the images it makes without copying them; it draws on a
    // copy of its own while they are shared.
    friend class BitmapContext;

    Image(std::size_t width, std::size_t height, std::size_t bytesPerRow, BitmapInfo info,
          std::shared_ptr<const std::uint8_t> bytes, std::size_t size)
        : width_(width), height_(height), bytesPerRow_(bytesPerRow), info_(info), bytes_(std::move(bytes)),
          size_(size) {}

    std::size_t width_, height_, bytesPerRow_;
    BitmapInfo info_;
    std::shared_ptr<const std::uint8_t> bytes_;
    std::size_t size_;
    const std::uint32_t* heldWords_ = nullptr; // the pixels, when they are raster words already
    mutable std::once_flag wordsMade_;
    mutable std::vector<std::uint32_t> words_;
};

} // namespace cg
