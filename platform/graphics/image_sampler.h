#pragma once
// Inside platform/graphics: sampling an image for the pixels of a bitmap, as the bitmap context
// draws it. Positions are 16.16 fixed point and advance by a fixed step along a row, the way the
// rasteriser samples, so that a picture drawn here has the rasteriser's pixels: the nearest pixel
// or a bilinear blend of four with 7-bit weights, edges extended outwards.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/image.h"

namespace cg::detail {

// Where each device pixel's centre falls in the image, in 16.16 fixed point.
class SampleGrid {
public:
    // For `imageToDevice` (image pixels, rows from the top, to device pixels, rows from the top),
    // exact at `anchor` (a device point: the centre of what is drawn). Nil when it has no inverse
    // or the fixed-point form cannot hold it.
    static std::optional<SampleGrid> make(const AffineTransform& imageToDevice, Point anchor);

    struct Position {
        std::int64_t x, y;
    };
    Position centreOf(std::int64_t x, std::int64_t y) const noexcept;
    // The step from a pixel to the next one on its row.
    Position step() const noexcept { return {xx_, yx_}; }
    // Every pixel centre falls on an image pixel's centre: each sample is one pixel, unblended.
    bool isPixelExact() const noexcept;

private:
    Position transformed(std::int64_t x, std::int64_t y) const noexcept;

    std::int64_t xx_ = 0, xy_ = 0, x0_ = 0, yx_ = 0, yy_ = 0, y0_ = 0;
    std::int64_t offsetX_ = 0, offsetY_ = 0; // whole pixels added to device coordinates first
};

// A picture as the sampler reads it: a bitmap of four bytes a pixel, in the destination's byte
// order, seen in an orientation (the picture's rows may be the bitmap's columns, either way).
struct SourcePixels {
    const std::uint8_t* bytes;
    std::size_t bytesPerRow;
    int width, height;           // the picture's
    const std::uint8_t* origin;  // the picture's top left pixel
    std::ptrdiff_t across, down; // from a pixel to the next one on the picture's row, and below it

    static SourcePixels seen(const std::uint8_t* bytes, std::size_t bytesPerRow, int bitmapWidth, int bitmapHeight,
                             ImageOrientation orientation) noexcept;
    const std::uint8_t* at(int x, int y) const noexcept { return origin + x * across + y * down; }
};

// How samples land on the destination's pixels.
struct Landing {
    int alpha;             // the byte of the alpha (or of the byte skipped)
    bool opaque;           // the source has no alpha: its alpha byte reads as 255
    bool cleared;          // the destination is not written yet: it reads as `clearedPixel`
    std::uint32_t clearedPixel;
};

// Asks the memory for the source pixels that the device rectangle [x0, x1] x [y0, y1] samples,
// ahead of their use: a turned picture is read across its rows, which the processor does not
// foresee.
void prefetch(const SourcePixels& source, const SampleGrid& grid, int x0, int y0, int x1, int y1) noexcept;

// In bytes [from, to): the first that is not `value` (to when all are), and the end of the last
// that is not (from when all are). Eight at a time.
int firstOther(const std::uint8_t* bytes, int from, int to, std::uint8_t value) noexcept;
int endOfLastOther(const std::uint8_t* bytes, int from, int to, std::uint8_t value) noexcept;

// Samples `count` pixels of a row, the first centred at `start`, into `out` (four bytes a pixel)
// under `coverage` (one byte a pixel: 255 paints the sample, 0 leaves the pixel, anything between
// mixes; a pixel with translucent samples is painted over).
void sampleRow(const SourcePixels& source, bool nearest, SampleGrid::Position start, SampleGrid::Position step,
               const std::uint8_t* coverage, const Landing& landing, std::uint8_t* out, int count) noexcept;

} // namespace cg::detail
