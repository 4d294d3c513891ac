#pragma once
// sim::FrameImage: what a camera sees now, as 8-bit pixels rows from the top: one byte a pixel
// (grey, from a PGM file) or three (RGB, from a PPM file or a solid colour).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/sim/profile.h"

namespace cg {
class Image;
}

namespace sim {

struct FrameImage {
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
    bool rgb = true; // false: grey
    std::vector<std::uint8_t> pixels; // height rows of bytesPerRow

    // The pixel at (x, y) as RGB (grey repeated).
    void rgbAt(int x, int y, std::uint8_t out[3]) const noexcept;
};

// A solid frame's size.
inline constexpr int kSolidFrameWidth = 640, kSolidFrameHeight = 480;

// The longest side a frame file may give, and the most bytes the file may hold: the largest frame
// of one byte a sample (8192 x 8192 RGB) with room for its header. Two-byte or text samples are
// held to the same size.
inline constexpr int kMaxFrameSide = 8192;
inline constexpr std::size_t kFrameFileLimit =
    std::size_t{kMaxFrameSide} * kMaxFrameSide * 3 + (std::size_t{1} << 20); // 193 MB

// Where a frame file is: a name without a '/' is a file of the profiles folder (profilesDirectory(),
// where the shipped test cards are), as a profile named without a path is; any other path is taken
// as it is.
std::string frameFilePath(std::string_view file);
// The frame a CameraFrame describes for the camera at `position`: a solid colour, a binary or text
// PGM/PPM file (maxval up to 65535, scaled to 8 bits), read through sim::DecodedInputs (while a
// reading is open, a file decoded already is that image, shared), or that camera's test card. Null
// with "<file>: <reason>" when the file is not a regular file of at most kFrameFileLimit bytes, not
// such an image, or past the reading's limit.
std::shared_ptr<const FrameImage> makeFrameImage(const CameraFrame& frame, CameraPosition position,
                                                 std::string* error = nullptr);
// A camera's own test card, kTestCardWidth x kTestCardHeight RGB: colour bars over the top three
// fifths, eight steps of grey from black to white, then a chequerboard under a grey box that holds
// the camera's letter ("B" for the back one, "F" for the front one), as a reader tells left from
// right and the two cameras apart.
inline constexpr int kTestCardWidth = 120, kTestCardHeight = 160;
FrameImage testCard(CameraPosition position);
// A PGM/PPM image from its bytes; `source` (when not empty) names it in messages.
std::optional<FrameImage> parseNetpbm(std::string_view bytes, std::string_view source, std::string* error = nullptr);
// The frame as an opaque picture of the rasteriser's own words (cg::Image::createWithRasterWords);
// nil for an empty frame. Device::cameraPicture keeps one per frame.
rt::Ref<cg::Image> framePicture(const FrameImage& frame);

} // namespace sim
