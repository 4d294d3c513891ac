#include "platform/sim/frame_image.h"

#include <algorithm>
#include <cctype>

#include "platform/graphics/image.h"
#include "platform/sim/input_file.h"

namespace sim {

namespace {

// Reads the header's next whole number, skipping blanks and comments; one past a million reads as
// a million and one.
std::optional<long> headerNumber(std::string_view bytes, std::size_t& at) {
    for (;;) {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at])))
            ++at;
        if (at < bytes.size() && bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n')
                ++at;
            continue;
        }
        break;
    }
    long value = 0;
    std::size_t digits = 0;
    while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at]))) {
        value = std::min(value * 10 + (bytes[at++] - '0'), 1'000'001L);
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return value;
}

// "<source>: <what>", or only what is wrong without a source.
bool fail(std::string* error, std::string_view source, std::string_view what) {
    if (error) *error = (source.empty() ? std::string() : std::string(source) + ": ") + std::string(what);
    return false;
}

} // namespace

void FrameImage::rgbAt(int x, int y, std::uint8_t out[3]) const noexcept {
    const std::uint8_t* p = pixels.data() + static_cast<std::size_t>(y) * bytesPerRow + (rgb ? 3 * x : x);
    out[0] = p[0];
    out[1] = rgb ? p[1] : p[0];
    out[2] = rgb ? p[2] : p[0];
}

std::optional<FrameImage> parseNetpbm(std::string_view bytes, std::string_view source, std::string* error) {
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '2' && bytes[1] != '3' && bytes[1] != '5' && bytes[1] != '6')) {
        fail(error, source, "not a PGM or PPM image");
        return std::nullopt;
    }
    const bool rgb = bytes[1] == '3' || bytes[1] == '6';
    const bool binary = bytes[1] == '5' || bytes[1] == '6';
    std::size_t at = 2;
    auto width = headerNumber(bytes, at), height = width ? headerNumber(bytes, at) : std::nullopt;
    auto maxval = height ? headerNumber(bytes, at) : std::nullopt;
    if (!maxval || *width < 1 || *height < 1 || *maxval < 1 || *maxval > 65535) {
        fail(error, source, "bad image header");
        return std::nullopt;
    }
    if (*width > kMaxFrameSide || *height > kMaxFrameSide) {
        fail(error, source,
             std::string(*width > kMaxFrameSide ? "wider" : "taller") + " than " +
                 std::to_string(kMaxFrameSide) + " pixels");
        return std::nullopt;
    }
    FrameImage image;
    image.width = static_cast<int>(*width);
    image.height = static_cast<int>(*height);
    image.rgb = rgb;
    const int channels = rgb ? 3 : 1;
    image.bytesPerRow = image.width * channels;
    const std::size_t count = static_cast<std::size_t>(image.bytesPerRow) * image.height;
    // The data must be long enough for what the header claims before the pixels are made: a few
    // bytes may claim 8192 x 8192. A binary sample takes one or two bytes, a text one a digit and
    // a blank before the next.
    const std::size_t size = *maxval > 255 ? 2 : 1;
    if (binary) ++at; // the one blank after the header
    if (at > bytes.size() || bytes.size() - at < (binary ? count * size : 2 * count - 1)) {
        fail(error, source, "image data too short");
        return std::nullopt;
    }
    image.pixels.resize(count);
    const auto scale = [&](long v) { return static_cast<std::uint8_t>((v * 255 + *maxval / 2) / *maxval); };
    if (binary) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at + i * size);
            long v = size == 2 ? (p[0] << 8 | p[1]) : p[0];
            image.pixels[i] = scale(std::min(v, *maxval));
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            auto v = headerNumber(bytes, at);
            if (!v) {
                fail(error, source, "image data too short");
                return std::nullopt;
            }
            image.pixels[i] = scale(std::min(*v, *maxval));
        }
    }
    return image;
}

rt::Ref<cg::Image> framePicture(const FrameImage& frame) {
    if (frame.width <= 0 || frame.height <= 0) return nullptr;
    std::vector<std::uint32_t> words(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
    std::uint32_t* to = words.data();
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            std::uint8_t rgb[3];
            frame.rgbAt(x, y, rgb);
            *to++ = std::uint32_t{rgb[0]} << 16 | std::uint32_t{rgb[1]} << 8 | rgb[2];
        }
    return cg::Image::createWithRasterWords(static_cast<std::size_t>(frame.width),
                                            static_cast<std::size_t>(frame.height), std::move(words));
}

std::string frameFilePath(std::string_view file) {
    if (file.find('/') != std::string_view::npos) return std::string(file);
    return profilesDirectory() + "/" + std::string(file);
}

FrameImage testCard(CameraPosition position) {
    // The bars' colours, left to right: 75% white, yellow, cyan, green, magenta, red, blue, black.
    static constexpr std::uint8_t kBars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                                 {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};
    // The letters, five by seven, a row a byte, its top bit at the left.
    static constexpr std::uint8_t kBack[7] = {0xF0, 0x88, 0x88, 0xF0, 0x88, 0x88, 0xF0};
    static constexpr std::uint8_t kFront[7] = {0xF8, 0x80, 0x80, 0xF0, 0x80, 0x80, 0x80};
    const std::uint8_t* letter = position == CameraPosition::Back ? kBack : kFront;
    constexpr int kBarsEnd = kTestCardHeight * 3 / 5, kStepsEnd = kBarsEnd + 16, kCell = 15, kDot = 4;
    constexpr int kBoxSide = 10 * kDot, kBoxX = (kTestCardWidth - kBoxSide) / 2,
                  kBoxY = (kStepsEnd + kTestCardHeight - kBoxSide) / 2;
    FrameImage card;
    card.width = kTestCardWidth;
    card.height = kTestCardHeight;
    card.bytesPerRow = 3 * kTestCardWidth;
    card.pixels.resize(static_cast<std::size_t>(card.bytesPerRow) * kTestCardHeight);
    for (int y = 0; y < kTestCardHeight; ++y)
        for (int x = 0; x < kTestCardWidth; ++x) {
            std::uint8_t* p = card.pixels.data() + static_cast<std::size_t>(y) * card.bytesPerRow + 3 * x;
            const int column = x * 8 / kTestCardWidth;
            const int lx = (x - kBoxX) / kDot - 2, ly = (y - kBoxY) / kDot - 1; // in the letter
            std::uint8_t grey;
            if (y < kBarsEnd) {
                std::copy_n(kBars[column], 3, p);
                continue;
            }
            if (y < kStepsEnd)
                grey = static_cast<std::uint8_t>(column * 255 / 7);
            else if (x >= kBoxX && x < kBoxX + kBoxSide && y >= kBoxY && y < kBoxY + kBoxSide)
                grey = lx >= 0 && lx < 5 && ly >= 0 && ly < 7 && (letter[ly] << lx & 0x80) ? 0 : 128;
            else
                grey = (x / kCell + (y - kStepsEnd) / kCell) % 2 ? 255 : 0;
            std::fill_n(p, 3, grey);
        }
    return card;
}

std::shared_ptr<const FrameImage> makeFrameImage(const CameraFrame& frame, CameraPosition position,
                                                 std::string* error) {
    if (frame.isTestCard()) return std::make_shared<const FrameImage>(testCard(position));
    if (frame.file.empty()) {
        auto image = std::make_shared<FrameImage>();
        image->width = kSolidFrameWidth;
        image->height = kSolidFrameHeight;
        image->bytesPerRow = 3 * image->width;
        image->pixels.resize(static_cast<std::size_t>(image->bytesPerRow) * image->height);
        for (std::size_t i = 0; i < image->pixels.size(); i += 3) {
            image->pixels[i] = static_cast<std::uint8_t>(frame.red);
            image->pixels[i + 1] = static_cast<std::uint8_t>(frame.green);
            image->pixels[i + 2] = static_cast<std::uint8_t>(frame.blue);
        }
        return image;
    }
    const std::string path = frameFilePath(frame.file);
    const auto decode = [](std::string_view bytes, std::string* reason) -> DecodedInputs::Decoded {
        std::optional<FrameImage> image = parseNetpbm(bytes, {}, reason);
        if (!image) return {};
        const std::size_t size = image->pixels.size();
        return {std::make_shared<const FrameImage>(std::move(*image)), size};
    };
    std::string reason;
    auto image = std::static_pointer_cast<const FrameImage>(
        DecodedInputs::read("frame", path, kFrameFileLimit, decode, &reason));
    if (!image && error) *error = path + ": " + reason;
    return image;
}

} // namespace sim
