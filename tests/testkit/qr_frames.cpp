#include "tests/testkit/qr_frames.h"

#include <qrencode.h>

#include <algorithm>
#include <fstream>
#include <random>

namespace testkit {

GreyFrame qrFrame(const std::string& text, const QrFrameOptions& options) {
    GreyFrame frame;
    frame.bytesPerRow = frame.width + options.padding;
    frame.pixels.assign(std::size_t(frame.bytesPerRow) * std::size_t(frame.height), std::uint8_t(options.light));
    if (options.code) {
        QRcode* code = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
        if (!code) return GreyFrame{};
        const int quiet = 4, side = (code->width + 2 * quiet) * options.module;
        const int left = options.left >= 0 ? options.left : (frame.width - side) / 2;
        const int top = options.top >= 0 ? options.top : (frame.height - side) / 2;
        for (int my = 0; my < code->width; ++my)
            for (int mx = 0; mx < code->width; ++mx) {
                if (!(code->data[my * code->width + mx] & 1)) continue;
                for (int py = 0; py < options.module; ++py)
                    for (int px = 0; px < options.module; ++px) {
                        const int x = left + (quiet + mx) * options.module + px;
                        const int y = top + (quiet + my) * options.module + py;
                        if (x >= 0 && x < frame.width && y >= 0 && y < frame.height)
                            frame.pixels[std::size_t(y) * std::size_t(frame.bytesPerRow) + std::size_t(x)] =
                                std::uint8_t(options.dark);
                    }
            }
        QRcode_free(code);
    }
    if (options.noise > 0) {
        std::mt19937 random(options.seed);
        std::uniform_int_distribution<int> shift(-options.noise, options.noise);
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x) {
                auto& pixel = frame.pixels[std::size_t(y) * std::size_t(frame.bytesPerRow) + std::size_t(x)];
                pixel = std::uint8_t(std::clamp(int(pixel) + shift(random), 0, 255));
            }
    }
    return frame;
}

std::string writeQrFrame(const std::filesystem::path& folder, const std::string& name, const std::string& text,
                         const QrFrameOptions& options) {
    QrFrameOptions unpadded = options;
    unpadded.padding = 0;
    const GreyFrame frame = qrFrame(text, unpadded);
    const std::string path = (folder / name).string();
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << frame.width << " " << frame.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(frame.pixels.data()), std::streamsize(frame.pixels.size()));
    return path;
}

} // namespace testkit
