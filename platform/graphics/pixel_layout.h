#pragma once
// Inside platform/graphics: where the components of a 32-bit pixel sit for a bitmap info.

#include <optional>

#include "platform/graphics/image.h"

namespace cg::detail {

struct PixelLayout {
    int red, green, blue;
    int alpha; // the alpha byte, or the byte skipped
    bool hasAlpha;
};

// Nil for a layout cg::Image does not hold.
std::optional<PixelLayout> pixelLayout(BitmapInfo info) noexcept;

} // namespace cg::detail
