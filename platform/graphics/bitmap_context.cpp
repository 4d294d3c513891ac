#include "platform/graphics/bitmap_context.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/graphics/pixel_layout.h"
#include "platform/runtime/class.h"

namespace cg {

namespace {

cairo_format_t formatFor(const detail::PixelLayout& layout) {
    return layout.hasAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
}

// A surface over words that outlive it.
cairo_surface_t* surfaceOver(std::uint32_t* words, std::size_t width, std::size_t height, cairo_format_t format) {
    return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(words), format, int(width),
                                               int(height), int(width * 4));
}

} // namespace

rt::Ref<BitmapContext> BitmapContext::create(double width, double height, std::size_t bitsPerComponent,
                                             std::size_t bytesPerRow, ColorSpaceModel space, BitmapInfo info) {
    if (!std::isfinite(width) || !std::isfinite(height) || width < 1 || height < 1) return nullptr;
    if (width >= double(kMaxSide + 1) || height >= double(kMaxSide + 1)) return nullptr;
    if (bitsPerComponent != 8 || space != ColorSpaceModel::RGB || !detail::pixelLayout(info)) return nullptr;
    const auto w = std::size_t(width), h = std::size_t(height);
    if (bytesPerRow == 0) bytesPerRow = w * 4;
    if (bytesPerRow < w * 4) return nullptr;
    auto context = rt::make<BitmapContext>(w, h, bytesPerRow, info);
    try {
        context->pixels_.assign(w * h, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return context;
}

void BitmapContext::drawImage(const Rect& rect, const rt::Ref<Image>& image) {
    if (!image || rect.isEmpty() || image->width() > kMaxSide || image->height() > kMaxSide) return;
    const auto target = detail::pixelLayout(info_), source = detail::pixelLayout(image->bitmapInfo());
    if (!target || !source) return;
    const double iw = double(image->width()), ih = double(image->height());
    // Image pixels (rows from the top) -> user space -> the bitmap, origin bottom left -> the
    // rasteriser's rows from the top.
    const AffineTransform placed{.a = rect.width() / iw, .d = -rect.height() / ih, .tx = rect.minX(), .ty = rect.maxY()};
    const AffineTransform flip{.d = -1, .ty = double(height_)};
    const AffineTransform m = placed.concat(ctm_).concat(flip);
    if (!m.isInvertible() || !std::isfinite(m.a) || !std::isfinite(m.b) || !std::isfinite(m.c) ||
        !std::isfinite(m.d))
        return;

    std::vector<std::uint32_t> words = detail::rasterWords(*image, *source);
    cairo_surface_t* from = surfaceOver(words.data(), image->width(), image->height(), formatFor(*source));
    cairo_surface_t* into = surfaceOver(pixels_.data(), width_, height_, formatFor(*target));
    cairo_t* cr = cairo_create(into);
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.tx, m.ty);
    cairo_set_matrix(cr, &matrix);
    cairo_set_source_surface(cr, from, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern,
                             quality_ == InterpolationQuality::None ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
    cairo_rectangle(cr, 0, 0, iw, ih);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_finish(into);
    cairo_surface_destroy(into);
    cairo_surface_destroy(from);
}

rt::Ref<Image> BitmapContext::makeImage() const {
    const detail::PixelLayout layout = *detail::pixelLayout(info_);
    std::vector<std::uint8_t> bytes(bytesPerRow_ * height_);
    for (std::size_t y = 0; y < height_; ++y) {
        std::uint8_t* p = bytes.data() + y * bytesPerRow_;
        const std::uint32_t* in = pixels_.data() + y * width_;
        for (std::size_t x = 0; x < width_; ++x, p += 4) {
            const std::uint32_t word = in[x];
            p[layout.alpha] = layout.hasAlpha ? std::uint8_t(word >> 24) : 255;
            p[layout.red] = std::uint8_t(word >> 16);
            p[layout.green] = std::uint8_t(word >> 8);
            p[layout.blue] = std::uint8_t(word);
        }
    }
    return Image::create(width_, height_, bytesPerRow_, info_, std::move(bytes));
}

RT_DEFINE_CLASS(BitmapContext, "CGBitmapContext", rt::Object)

} // namespace cg
