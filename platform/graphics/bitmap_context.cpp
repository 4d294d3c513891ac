#include "platform/graphics/bitmap_context.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "platform/graphics/pixel_layout.h"
#include "platform/runtime/class.h"

namespace cg {

namespace {

// Where each component of a rasteriser word goes in a layout's 32-bit pixel, as shifts of the
// pixel read as a little-endian word: one shift and mask per component, the same for every pixel.
struct Shifts {
    unsigned red, green, blue, alpha;
    explicit Shifts(const detail::PixelLayout& layout)
        : red(8u * unsigned(layout.red)), green(8u * unsigned(layout.green)), blue(8u * unsigned(layout.blue)),
          alpha(8u * unsigned(layout.alpha)) {}
};

inline std::uint32_t loadPixel(const std::uint8_t* p) noexcept {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The image's pixels as rasteriser words (see BitmapContext::pixels_).
std::vector<std::uint32_t> wordsOf(const Image& image, const detail::PixelLayout& layout) {
    const std::size_t width = image.width(), height = image.height(), stride = image.bytesPerRow();
    std::vector<std::uint32_t> words(width * height);
    const std::uint8_t* bytes = image.bytes().data();
    const Shifts at(layout);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* p = bytes + y * stride;
        std::uint32_t* out = words.data() + y * width;
        if (!layout.hasAlpha) {
            for (std::size_t x = 0; x < width; ++x, p += 4) {
                const std::uint32_t v = loadPixel(p);
                out[x] = 0xff000000u | ((v >> at.red) & 0xff) << 16 | ((v >> at.green) & 0xff) << 8 | ((v >> at.blue) & 0xff);
            }
            continue;
        }
        for (std::size_t x = 0; x < width; ++x, p += 4) {
            const std::uint32_t a = p[layout.alpha];
            // A premultiplied component above its alpha is out of range: hold it to the alpha.
            const auto held = [a](std::uint8_t c) { return std::min<std::uint32_t>(c, a); };
            out[x] = a << 24 | held(p[layout.red]) << 16 | held(p[layout.green]) << 8 | held(p[layout.blue]);
        }
    }
    return words;
}

// a * b / 255, rounded, for bytes.
inline std::uint32_t mul255(std::uint32_t a, std::uint32_t b) noexcept {
    const std::uint32_t t = a * b + 0x80;
    return ((t >> 8) + t) >> 8;
}

// Every component of a word times b / 255.
inline std::uint32_t scaled(std::uint32_t word, std::uint32_t b) noexcept {
    return mul255(word >> 24, b) << 24 | mul255((word >> 16) & 0xff, b) << 16 | mul255((word >> 8) & 0xff, b) << 8 |
           mul255(word & 0xff, b);
}

// `source` (premultiplied) over `destination`, seen through a coverage of 0-255.
inline std::uint32_t over(std::uint32_t source, std::uint32_t destination, std::uint32_t coverage) noexcept {
    if (coverage != 255) source = scaled(source, coverage);
    const std::uint32_t alpha = source >> 24;
    if (alpha == 255) return source;
    const std::uint32_t rest = scaled(destination, 255 - alpha);
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= std::min<std::uint32_t>(((source >> shift) & 0xff) + ((rest >> shift) & 0xff), 255) << shift;
    return out;
}

// Positions in the image are 16.16 fixed point, as the rasteriser has always placed its samples:
// the inverse transform's coefficients are rounded to that precision and its translation chosen so
// that it is exact at the middle of the drawn area; a row is then walked with one addition per
// pixel, never a transform call.
using Fixed = std::int64_t;
constexpr int kFractionBits = 16;
constexpr Fixed kOne = Fixed{1} << kFractionBits;
// To the nearest, ties to even.
Fixed toFixed(double v) noexcept { return Fixed(std::nearbyint(v * double(kOne))); }

struct FixedTransform {
    Fixed a, b, c, d, tx, ty;

    // `t` maps the bitmap to the image, `forward` back. The translation is corrected until the
    // rounded transform takes `middle` where the exact one does.
    FixedTransform(const AffineTransform& t, const AffineTransform& forward, Point middle)
        : a(toFixed(t.a)), b(toFixed(t.b)), c(toFixed(t.c)), d(toFixed(t.d)), tx(toFixed(t.tx)), ty(toFixed(t.ty)) {
        const Fixed mx = toFixed(middle.x), my = toFixed(middle.y);
        for (int pass = 0; pass < 5; ++pass) {
            const auto [x, y] = apply(mx, my);
            const Point back = forward.apply(Point{double(x) / double(kOne), double(y) / double(kOne)});
            const double ex = back.x - middle.x, ey = back.y - middle.y;
            const Fixed dx = toFixed(t.a * ex + t.c * ey), dy = toFixed(t.b * ex + t.d * ey);
            tx -= dx, ty -= dy;
            if (dx == 0 && dy == 0) break;
        }
    }
    // A point in 16.16, mapped (products at full precision, then rounded).
    std::pair<Fixed, Fixed> apply(Fixed x, Fixed y) const noexcept {
        const Fixed half = kOne / 2;
        return {(a * x + c * y + (tx << kFractionBits) + half) >> kFractionBits,
                (b * x + d * y + (ty << kFractionBits) + half) >> kFractionBits};
    }
    // The centre of pixel (x, y), mapped.
    std::pair<Fixed, Fixed> centre(std::size_t x, std::size_t y) const noexcept {
        return apply(Fixed(2 * x + 1) << (kFractionBits - 1), Fixed(2 * y + 1) << (kFractionBits - 1));
    }
};

// Bilinear weights have 7 bits, as the rasteriser's have always had.
constexpr int kWeightBits = 7;

// The four components of a word apart, two in each half of a 64-bit lane pair, so that weighted
// sums (16-bit weights) do not run into each other.
inline std::uint64_t lowPair(std::uint32_t w) noexcept { return (w & 0xffu) | std::uint64_t(w & 0xff0000u) << 16; }
inline std::uint64_t highPair(std::uint32_t w) noexcept { return lowPair(w >> 8); }

inline std::uint32_t bilinear(std::uint32_t tl, std::uint32_t tr, std::uint32_t bl, std::uint32_t br, std::uint32_t fx,
                              std::uint32_t fy) noexcept {
    if ((fx | fy) == 0) return tl;
    fx <<= 8 - kWeightBits;
    fy <<= 8 - kWeightBits;
    const std::uint64_t wtl = (256 - fx) * (256 - fy), wtr = fx * (256 - fy), wbl = (256 - fx) * fy, wbr = fx * fy;
    const std::uint64_t low = lowPair(tl) * wtl + lowPair(tr) * wtr + lowPair(bl) * wbl + lowPair(br) * wbr;
    const std::uint64_t high = highPair(tl) * wtl + highPair(tr) * wtr + highPair(bl) * wbl + highPair(br) * wbr;
    return std::uint32_t((low >> 16) & 0xff) | std::uint32_t((high >> 16) & 0xff) << 8 |
           std::uint32_t((low >> 48) & 0xff) << 16 | std::uint32_t((high >> 48) & 0xff) << 24;
}

// How much of each pixel of a band of rows the picture's outline covers (0-255), from cairo's
// rasteriser: the antialiased edges are exactly what they always were. Kept per band so that a
// large bitmap needs no mask of its own size.
class CoverageBand {
public:
    CoverageBand(std::size_t width, std::size_t rows)
        : stride_(std::size_t(cairo_format_stride_for_width(CAIRO_FORMAT_A8, int(width)))), rows_(rows),
          width_(width), bytes_(stride_ * rows) {}

    // Rasterises the image's rectangle (iw x ih under `m`) for the rows from `top`.
    void fill(const AffineTransform& m, double iw, double ih, std::size_t top) {
        std::fill(bytes_.begin(), bytes_.end(), 0);
        cairo_surface_t* surface = cairo_image_surface_create_for_data(bytes_.data(), CAIRO_FORMAT_A8, int(width_),
                                                                       int(rows_), int(stride_));
        cairo_t* cr = cairo_create(surface);
        cairo_matrix_t matrix;
        cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.tx, m.ty - double(top));
        cairo_set_matrix(cr, &matrix);
        cairo_rectangle(cr, 0, 0, iw, ih);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_finish(surface);
        cairo_surface_destroy(surface);
    }
    const std::uint8_t* row(std::size_t i) const noexcept { return bytes_.data() + i * stride_; }
    std::size_t rows() const noexcept { return rows_; }

private:
    std::size_t stride_, rows_, width_;
    std::vector<unsigned char> bytes_;
};

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
        !std::isfinite(m.d) || !std::isfinite(m.tx) || !std::isfinite(m.ty))
        return;
    const AffineTransform inverse = m.invert();

    // The rows the picture spans, and in each row the columns between its outline's extremes.
    const Point corners[4] = {m.apply(Point{0, 0}), m.apply(Point{iw, 0}), m.apply(Point{iw, ih}),
                              m.apply(Point{0, ih})};
    double top = corners[0].y, bottom = corners[0].y;
    for (const Point& p : corners) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    if (!(bottom > 0) || !(top < double(height_))) return;
    const auto firstRow = std::size_t(std::max(0.0, std::floor(top)));
    const auto endRow = std::size_t(std::min(double(height_), std::ceil(bottom)));
    const auto span = [&](double y0, double y1) { // columns [from, to) the outline may reach in [y0, y1]
        double from = double(width_), to = 0;
        for (int i = 0; i < 4; ++i) {
            const Point p = corners[i], q = corners[(i + 1) % 4];
            const double lo = std::max(y0, std::min(p.y, q.y)), hi = std::min(y1, std::max(p.y, q.y));
            if (lo > hi) continue;
            for (double y : {lo, hi}) {
                const double x = p.y == q.y ? (y == p.y ? p.x : q.x) : p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y);
                from = std::min({from, x, p.y == q.y ? std::min(p.x, q.x) : x});
                to = std::max({to, x, p.y == q.y ? std::max(p.x, q.x) : x});
            }
        }
        return std::pair{std::size_t(std::clamp(std::floor(from) - 1, 0.0, double(width_))),
                         std::size_t(std::clamp(std::ceil(to) + 1, 0.0, double(width_)))};
    };

    const std::vector<std::uint32_t> words = wordsOf(*image, *source);
    const std::int64_t lastX = std::int64_t(image->width()) - 1, lastY = std::int64_t(image->height()) - 1;
    const std::size_t stride = image->width();
    const bool nearest = quality_ == InterpolationQuality::None;
    // A bilinear sample stands between pixel centres (half a pixel back); a nearest sample on a
    // pixel boundary takes the pixel before it.
    const Fixed back = nearest ? 1 : kOne / 2;
    const double left = std::clamp(std::floor(std::min({corners[0].x, corners[1].x, corners[2].x, corners[3].x})), 0.0,
                                   double(width_));
    const double right = std::clamp(std::ceil(std::max({corners[0].x, corners[1].x, corners[2].x, corners[3].x})),
                                    0.0, double(width_));
    const FixedTransform steps(inverse, m, {(left + right) / 2, (double(firstRow) + double(endRow)) / 2});
    const auto sample = [&](Fixed u, Fixed v) -> std::uint32_t {
        const std::int64_t x = u >> kFractionBits, y = v >> kFractionBits;
        const std::int64_t x0 = std::clamp<std::int64_t>(x, 0, lastX), y0 = std::clamp<std::int64_t>(y, 0, lastY);
        const std::uint32_t* row0 = words.data() + std::size_t(y0) * stride;
        if (nearest) return row0[x0];
        const std::int64_t x1 = std::clamp<std::int64_t>(x + 1, 0, lastX);
        const std::int64_t y1 = std::clamp<std::int64_t>(y + 1, 0, lastY);
        const std::uint32_t* row1 = words.data() + std::size_t(y1) * stride;
        const auto fx = std::uint32_t(u >> (kFractionBits - kWeightBits)) & ((1u << kWeightBits) - 1);
        const auto fy = std::uint32_t(v >> (kFractionBits - kWeightBits)) & ((1u << kWeightBits) - 1);
        return bilinear(row0[x0], row0[x1], row1[x0], row1[x1], fx, fy);
    };

    // Bands of rows, each walked in tiles of columns: a turned picture is read along slanted
    // lines, and a tile keeps the rows of it that it reads (and their pages) at hand.
    constexpr std::size_t kBand = 64, kTile = 64;
    CoverageBand band(width_, std::min(endRow - firstRow, kBand));
    std::pair<std::size_t, std::size_t> spans[kBand];
    for (std::size_t bandTop = firstRow; bandTop < endRow; bandTop += kBand) {
        const std::size_t rowsHere = std::min(kBand, endRow - bandTop);
        band.fill(m, iw, ih, bandTop);
        std::size_t left = width_, right = 0;
        for (std::size_t i = 0; i < rowsHere; ++i) {
            spans[i] = span(double(bandTop + i), double(bandTop + i + 1));
            if (spans[i].first < spans[i].second)
                left = std::min(left, spans[i].first), right = std::max(right, spans[i].second);
        }
        for (std::size_t tile = left; tile < right; tile += kTile) {
            for (std::size_t i = 0; i < rowsHere; ++i) {
                const std::size_t row = bandTop + i;
                const std::size_t from = std::max(spans[i].first, tile), to = std::min(spans[i].second, tile + kTile);
                if (from >= to) continue;
                const std::uint8_t* coverage = band.row(i);
                // The sample point moves by one fixed step a pixel along the row.
                auto [u, v] = steps.centre(from, row);
                u -= back, v -= back;
                std::uint32_t* out = pixels_.data() + row * width_;
                for (std::size_t column = from; column < to; ++column, u += steps.a, v += steps.b) {
                    const std::uint32_t covered = coverage[column];
                    if (covered == 0) continue;
                    const std::uint32_t color = sample(u, v);
                    out[column] = covered == 255 && color >> 24 == 255 ? color : over(color, out[column], covered);
                }
            }
        }
    }
}

rt::Ref<Image> BitmapContext::makeImage() const {
    const detail::PixelLayout layout = *detail::pixelLayout(info_);
    const Shifts at(layout);
    const std::uint32_t opaque = layout.hasAlpha ? 0 : 0xffu << at.alpha;
    std::vector<std::uint8_t> bytes(bytesPerRow_ * height_);
    for (std::size_t y = 0; y < height_; ++y) {
        std::uint8_t* p = bytes.data() + y * bytesPerRow_;
        const std::uint32_t* in = pixels_.data() + y * width_;
        for (std::size_t x = 0; x < width_; ++x, p += 4) {
            const std::uint32_t word = in[x];
            const std::uint32_t pixel = opaque | (word >> 24) << at.alpha | ((word >> 16) & 0xff) << at.red |
                                        ((word >> 8) & 0xff) << at.green | (word & 0xff) << at.blue;
            p[0] = std::uint8_t(pixel), p[1] = std::uint8_t(pixel >> 8), p[2] = std::uint8_t(pixel >> 16),
            p[3] = std::uint8_t(pixel >> 24);
        }
    }
    return Image::create(width_, height_, bytesPerRow_, info_, std::move(bytes));
}

RT_DEFINE_CLASS(BitmapContext, "CGBitmapContext", rt::Object)

} // namespace cg
