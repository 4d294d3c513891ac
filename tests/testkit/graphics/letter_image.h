#pragma once
// Bitmaps written and read as letters, one opaque colour per letter: "ABCD/EFGH" is a 4 x 2 image
// (bitmap info 5) whose top row is ABCD. Reading gives the rows back, "." for a pixel of no
// letter's colour (black, a blend).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/image.h"

namespace testkit {

using Rgb = std::array<std::uint8_t, 3>;

// A..Z; each component is 0, 120 or 240 (blue 15 more), so a blend of two letters is neither.
inline Rgb letterColour(char letter) {
    const int i = letter - 'A';
    return {std::uint8_t(i % 3 * 120), std::uint8_t(i / 3 % 3 * 120), std::uint8_t(i / 9 * 120 + 15)};
}

inline rt::Ref<cg::Image> letterImage(std::string_view rows) {
    const std::size_t width = rows.find('/') == std::string_view::npos ? rows.size() : rows.find('/');
    std::vector<std::uint8_t> bytes;
    for (char ch : rows)
        if (ch != '/') {
            const Rgb c = letterColour(ch);
            bytes.insert(bytes.end(), {c[0], c[1], c[2], 0xFF});
        }
    const std::size_t height = bytes.size() / 4 / width;
    return cg::Image::create(width, height, width * 4, cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast),
                             std::move(bytes));
}

// The colour at (x, y) from the top left of an image of bitmap info 5.
inline Rgb pixelAt(const cg::Image& image, std::size_t x, std::size_t y) {
    const std::uint8_t* p = image.bytes().data() + y * image.bytesPerRow() + x * 4;
    return {p[0], p[1], p[2]};
}

inline std::string letterRows(const rt::Ref<cg::Image>& image) {
    if (!image) return "nil";
    std::string text;
    for (std::size_t y = 0; y < image->height(); ++y) {
        if (y) text += '/';
        for (std::size_t x = 0; x < image->width(); ++x) {
            char found = '.';
            for (char letter = 'A'; letter <= 'Z' && found == '.'; ++letter)
                if (pixelAt(*image, x, y) == letterColour(letter)) found = letter;
            text += found;
        }
    }
    return text;
}

} // namespace testkit
