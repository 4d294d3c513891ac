#pragma once
// Private to the media stand-ins: finding machine-readable codes in an 8-bit luminance picture.
// The picture is read where it lies (rows of `bytesPerRow` bytes, no copy).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/geometry.h"

namespace av {

struct DecodedCode {
    std::string type; // a metadata object type (metadata_output.h)
    std::string text; // UTF-8
    std::vector<cg::Point> corners; // in pixels, clockwise from the top left
};

// The metadata object types the decoder reads, in a fixed order.
const std::vector<std::string_view>& decodableCodeTypes();

// The codes of the wanted types in the picture, in the decoder's order; types the decoder does not
// read are passed over.
std::vector<DecodedCode> decodeCodes(const std::uint8_t* luminance, int width, int height, int bytesPerRow,
                                     const std::vector<std::string>& types);

} // namespace av
