#pragma once
// JPEG pictures: an RGB bitmap to JPEG bytes, and JPEG bytes back to a cg::Image (RGB, a skipped
// fourth byte). Both refuse rather than stop the process on bad input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/runtime/object.h"

namespace cg {

class Image;

// JPEG bytes of `width` x `height` pixels of three bytes (RGB), rows `bytesPerRow` apart, at
// `quality` (1 to 100); empty, with the reason in `why`, for a bitmap too small for its sides.
std::vector<std::uint8_t> encodeJPEG(int width, int height, int bytesPerRow, const std::uint8_t* rgb, int quality,
                                     std::string* why = nullptr);

// The picture of JPEG bytes; nil, with the reason in `why`, for bytes that are not a JPEG picture.
rt::Ref<Image> createWithJPEGData(const std::uint8_t* bytes, std::size_t length, std::string* why = nullptr);

} // namespace cg
