#include "tests/testkit/graphics/cairo_drawing.h"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/graphics/pixel_layout.h"

namespace testkit {

namespace {

// An image's pixels as cairo's native words (alpha, red, green, blue from the top byte down,
// premultiplied, components held to their alpha).
std::vector<std::uint32_t> wordsOf(const cg::Image& image) {
    const cg::detail::PixelLayout layout = *cg::detail::pixelLayout(image.bitmapInfo());
    std::vector<std::uint32_t> words(image.width() * image.height());
    for (std::size_t y = 0; y < image.height(); ++y)
        for (std::size_t x = 0; x < image.width(); ++x) {
            const std::uint8_t* p = image.bytes().data() + y * image.bytesPerRow() + x * 4;
            const std::uint32_t a = layout.hasAlpha ? p[layout.alpha] : 255;
            const auto held = [a](std::uint8_t c) { return std::min<std::uint32_t>(c, a); };
            words[y * image.width() + x] = a << 24 | held(p[layout.red]) << 16 | held(p[layout.green]) << 8 | held(p[layout.blue]);
        }
    return words;
}

cairo_surface_t* surfaceOver(std::vector<std::uint32_t>& words, std::size_t width, std::size_t height, bool alpha) {
    return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(words.data()),
                                               alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, int(width),
                                               int(height), int(width * 4));
}

} // namespace

rt::Ref<cg::Image> drawnByCairo(const cg::BitmapContext& context, const cg::Rect& rect, const cg::Image& image) {
    const rt::Ref<cg::Image> before = context.makeImage();
    const cg::detail::PixelLayout into = *cg::detail::pixelLayout(context.bitmapInfo());
    const cg::detail::PixelLayout from = *cg::detail::pixelLayout(image.bitmapInfo());
    std::vector<std::uint32_t> pixels = wordsOf(*before), source = wordsOf(image);
    const double iw = double(image.width()), ih = double(image.height());
    const cg::AffineTransform placed{.a = rect.width() / iw, .d = -rect.height() / ih, .tx = rect.minX(), .ty = rect.maxY()};
    const cg::AffineTransform flip{.d = -1, .ty = double(context.height())};
    const cg::AffineTransform m = placed.concat(context.ctm()).concat(flip);

    cairo_surface_t* fromSurface = surfaceOver(source, image.width(), image.height(), from.hasAlpha);
    cairo_surface_t* intoSurface = surfaceOver(pixels, context.width(), context.height(), into.hasAlpha);
    cairo_t* cr = cairo_create(intoSurface);
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.tx, m.ty);
    cairo_set_matrix(cr, &matrix);
    cairo_set_source_surface(cr, fromSurface, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), context.interpolationQuality() == cg::InterpolationQuality::None
                                                       ? CAIRO_FILTER_NEAREST
                                                       : CAIRO_FILTER_BILINEAR);
    cairo_rectangle(cr, 0, 0, iw, ih);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_finish(intoSurface);
    cairo_surface_destroy(intoSurface);
    cairo_surface_destroy(fromSurface);

    std::vector<std::uint8_t> bytes(context.bytesPerRow() * context.height());
    for (std::size_t y = 0; y < context.height(); ++y)
        for (std::size_t x = 0; x < context.width(); ++x) {
            const std::uint32_t word = pixels[y * context.width() + x];
            std::uint8_t* p = bytes.data() + y * context.bytesPerRow() + x * 4;
            p[into.alpha] = into.hasAlpha ? std::uint8_t(word >> 24) : 255;
            p[into.red] = std::uint8_t(word >> 16), p[into.green] = std::uint8_t(word >> 8), p[into.blue] = std::uint8_t(word);
        }
    return cg::Image::create(context.width(), context.height(), context.bytesPerRow(), context.bitmapInfo(), std::move(bytes));
}

rt::Ref<cg::Image> noisyImage(std::size_t width, std::size_t height, cg::BitmapInfo info, std::uint32_t seed,
                              bool smooth) {
    const cg::detail::PixelLayout layout = *cg::detail::pixelLayout(info);
    std::vector<std::uint8_t> bytes(width * height * 4);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const std::size_t x = i / 4 % width, y = i / 4 / width;
        bytes[i] = smooth ? std::uint8_t((x * 3 + y * 5 + i % 4 * 60) / 2 + (state >> 29)) : std::uint8_t(state >> 24);
    }
    if (layout.hasAlpha)
        for (std::size_t i = 0; i < bytes.size(); i += 4)
            for (int c : {layout.red, layout.green, layout.blue}) bytes[i + std::size_t(c)] = std::min(bytes[i + std::size_t(c)], bytes[i + std::size_t(layout.alpha)]);
    return cg::Image::create(width, height, width * 4, info, std::move(bytes));
}

int largestDifference(const cg::Image& a, const cg::Image& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.bitmapInfo() != b.bitmapInfo() ||
        a.bytesPerRow() != b.bytesPerRow())
        return 256;
    int largest = 0;
    for (std::size_t i = 0; i < a.bytes().size(); ++i) largest = std::max(largest, std::abs(int(a.bytes()[i]) - int(b.bytes()[i])));
    return largest;
}

} // namespace testkit
