#pragma once
// Camera frames holding a QR code, for tests and benchmarks: the text encoded in 8-bit mode at
// level M, each module a square of pixels, a quiet zone of 4 modules, on a 640 x 480 grey frame.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testkit {

struct QrFrameOptions {
    int module = 6;               // pixels a module side (4 to 8 read well)
    int left = -1, top = -1;      // the quiet zone's top-left corner; -1 centres the code
    int padding = 0;              // bytes past the pixels at the end of each row
    int dark = 0, light = 255;    // the modules' and the background's grey
    int noise = 0;                // each pixel moved by up to this much, from `seed`
    unsigned seed = 1;
    bool code = true;             // false: the background alone
};

struct GreyFrame {
    int width = 640, height = 480, bytesPerRow = 640;
    std::vector<std::uint8_t> pixels;
};

// The frame in memory; without pixels when the text cannot be encoded.
GreyFrame qrFrame(const std::string& text, const QrFrameOptions& options = {});
// The same (padding aside) written as a binary PGM file in `folder`; its path.
std::string writeQrFrame(const std::filesystem::path& folder, const std::string& name, const std::string& text,
                         const QrFrameOptions& options = {});

} // namespace testkit
