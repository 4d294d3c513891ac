#pragma once
// How light a pixel of a picture a run wrote is: the mean of red, green and blue at (x, y) from the
// top left of an opaque picture, or of a PNG file (-1, with a test failure, when it cannot be read).

#include <cstddef>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/graphics/image.h"

namespace testkit {

inline int brightnessAt(const cg::Image& picture, std::size_t x, std::size_t y) {
    const std::uint32_t word = picture.rasterWords()[y * picture.width() + x];
    return int(((word >> 16) & 0xFF) + ((word >> 8) & 0xFF) + (word & 0xFF)) / 3;
}

inline int brightnessAt(const std::string& png, std::size_t x, std::size_t y) {
    std::string why;
    const auto picture = cg::Image::createWithPNGFile(png, &why);
    if (!picture) ADD_FAILURE() << png << ": " << why;
    return picture ? brightnessAt(*picture, x, y) : -1;
}

} // namespace testkit
