#pragma once
// Inside platform/graphics: where the components of a 32-bit pixel sit for a bitmap info.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/graphics/image.h"

namespace cg::detail {

struct PixelLayout {
    int red, green, blue;
    int alpha; // the alpha byte, or the byte skipped
    bool hasAlpha;
};

// Nil for a layout cg::Image does not hold.
std::optional<PixelLayout> pixelLayout(BitmapInfo info) noexcept;

// The image's pixels as the rasteriser's words: one native-endian word each (alpha, red, green,
// blue from the top byte down, premultiplied), rows without padding.
std::vector<std::uint32_t> rasterWords(const Image& image, const PixelLayout& layout);

} // namespace cg::detail
