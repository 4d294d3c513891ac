#include "platform/graphics/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/graphics/pixel_layout.h"
#include "platform/runtime/class.h"

namespace cg {

std::optional<detail::PixelLayout> detail::pixelLayout(BitmapInfo info) noexcept {
    if (info & ~(kBitmapAlphaInfoMask | kBitmapByteOrderMask)) return std::nullopt;
    const BitmapInfo order = info & kBitmapByteOrderMask;
    if (order != 0 && order != kBitmapByteOrder32Big && order != kBitmapByteOrder32Little) return std::nullopt;
    PixelLayout big;
    switch (ImageAlphaInfo(info & kBitmapAlphaInfoMask)) {
    case ImageAlphaInfo::PremultipliedLast: big = {0, 1, 2, 3, true}; break;
    case ImageAlphaInfo::NoneSkipLast: big = {0, 1, 2, 3, false}; break;
    case ImageAlphaInfo::PremultipliedFirst: big = {1, 2, 3, 0, true}; break;
    case ImageAlphaInfo::NoneSkipFirst: big = {1, 2, 3, 0, false}; break;
    default: return std::nullopt;
    }
    if (order != kBitmapByteOrder32Little) return big;
    // A little-endian 32-bit word holds the same components in the opposite byte order.
    return PixelLayout{3 - big.red, 3 - big.green, 3 - big.blue, 3 - big.alpha, big.hasAlpha};
}

std::vector<std::uint32_t> detail::rasterWords(const Image& image, const PixelLayout& layout) {
    const std::size_t width = image.width(), height = image.height(), stride = image.bytesPerRow();
    std::vector<std::uint32_t> words(width * height);
    const std::uint8_t* bytes = image.bytes().data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* p = bytes + y * stride;
        std::uint32_t* out = words.data() + y * width;
        for (std::size_t x = 0; x < width; ++x, p += 4) {
            const std::uint32_t a = layout.hasAlpha ? p[layout.alpha] : 255;
            // A premultiplied component above its alpha is out of range: hold it to the alpha.
            const auto held = [a](std::uint8_t c) { return std::min<std::uint32_t>(c, a); };
            out[x] = a << 24 | held(p[layout.red]) << 16 | held(p[layout.green]) << 8 | held(p[layout.blue]);
        }
    }
    return words;
}

std::uint32_t* Image::rasterWords() const {
    if (heldWords_) return const_cast<std::uint32_t*>(heldWords_);
    std::call_once(wordsMade_, [this] { words_ = detail::rasterWords(*this, *detail::pixelLayout(info_)); });
    return words_.data();
}

namespace {

// An image keeping `bytes` as they are.
rt::Ref<Image> held(std::size_t width, std::size_t height, std::size_t bytesPerRow, BitmapInfo info,
                    std::vector<std::uint8_t> bytes) {
    auto kept = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    const std::size_t size = kept->size();
    return rt::make<Image>(width, height, bytesPerRow, info, std::shared_ptr<const std::uint8_t>(kept, kept->data()),
                           size);
}

} // namespace

rt::Ref<Image> Image::create(std::size_t width, std::size_t height, std::size_t bytesPerRow, BitmapInfo info,
                             std::vector<std::uint8_t> bytes) {
    if (width == 0 || height == 0 || !detail::pixelLayout(info)) return nullptr;
    if (width > std::numeric_limits<std::size_t>::max() / 4 || bytesPerRow < width * 4) return nullptr;
    // The last row needs only its pixels.
    if (bytesPerRow > (std::numeric_limits<std::size_t>::max() - width * 4) / height) return nullptr;
    if (bytes.size() < bytesPerRow * (height - 1) + width * 4) return nullptr;
    return held(width, height, bytesPerRow, info, std::move(bytes));
}

rt::Ref<Image> Image::createWithRasterWords(std::size_t width, std::size_t height,
                                            std::vector<std::uint32_t> words) {
    if (width == 0 || height == 0 || width > std::numeric_limits<std::size_t>::max() / 4 / height ||
        words.size() < width * height)
        return nullptr;
    words.resize(width * height);
    for (std::uint32_t& word : words)
        word |= 0xFF000000u;
    auto kept = std::make_shared<const std::vector<std::uint32_t>>(std::move(words));
    const std::uint32_t* first = kept->data();
    auto image = rt::make<Image>(width, height, width * 4,
                                 BitmapInfo(ImageAlphaInfo::NoneSkipFirst) | kBitmapByteOrder32Host,
                                 std::shared_ptr<const std::uint8_t>(kept, reinterpret_cast<const std::uint8_t*>(first)),
                                 width * height * 4);
    image->heldWords_ = first;
    return image;
}

rt::Ref<Image> Image::createWithImageInRect(const rt::Ref<Image>& image, const Rect& rect) {
    if (!image) return nullptr;
    if (!std::isfinite(rect.origin.x) || !std::isfinite(rect.origin.y) || !std::isfinite(rect.size.width) ||
        !std::isfinite(rect.size.height))
        return nullptr;
    const Rect bounds = Rect::make(0, 0, double(image->width_), double(image->height_));
    const Rect part = rect.integral().intersection(bounds);
    if (part.isEmpty()) return nullptr;
    const auto x = std::size_t(part.minX()), y = std::size_t(part.minY());
    const auto width = std::size_t(part.width()), height = std::size_t(part.height());
    const std::size_t rowBytes = width * 4;
    std::vector<std::uint8_t> bytes(rowBytes * height);
    for (std::size_t row = 0; row < height; ++row) {
        const std::uint8_t* from = image->bytes_.get() + (y + row) * image->bytesPerRow_ + x * 4;
        std::copy(from, from + rowBytes, bytes.data() + row * rowBytes);
    }
    return held(width, height, rowBytes, image->info_, std::move(bytes));
}

std::string Image::description() const {
    char text[96];
    std::snprintf(text, sizeof text, "<CGImage %p> %zu x %zu, info %u", static_cast<const void*>(this), width_,
                  height_, unsigned(info_));
    return text;
}

RT_DEFINE_CLASS(Image, "CGImage", rt::Object)

} // namespace cg
