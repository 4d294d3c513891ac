#include "platform/graphics/bitmap_context.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/graphics/image_sampler.h"
#include "platform/graphics/pixel_layout.h"
#include "platform/runtime/class.h"

namespace cg {

namespace {

// Coverage is made for this many rows at once; within them the picture is sampled in blocks this
// many columns wide, so that the part of a turned picture being read stays in the cache.
constexpr int kStripRows = 64;
constexpr int kBlockColumns = 64;

// Room for `size` bytes, left unwritten: a large bitmap's pages cost nothing until drawn on.
std::shared_ptr<std::uint8_t> allocatePixels(std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(size, 1)));
    if (!bytes) return nullptr;
    return std::shared_ptr<std::uint8_t>(bytes, [](std::uint8_t* p) { std::free(p); });
}

// A pixel of a new bitmap: black, transparent where there is alpha.
std::uint32_t clearedPixel(const detail::PixelLayout& layout) {
    std::uint8_t bytes[4] = {};
    if (!layout.hasAlpha) bytes[layout.alpha] = 255;
    std::uint32_t pixel;
    std::memcpy(&pixel, bytes, 4);
    return pixel;
}

void fill(std::uint8_t* pixels, std::size_t count, std::uint32_t pixel) {
    if (pixel == 0) {
        std::memset(pixels, 0, count * 4);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) std::memcpy(pixels + i * 4, &pixel, 4);
}

// The image's pixels as the sampler reads them, in the bitmap's byte order: its own bytes when
// they are already so and have no alpha; otherwise a copy, alpha 255 for an image without it and
// premultiplied components above their alpha held to it.
struct Source {
    detail::SourcePixels pixels;
    std::unique_ptr<std::uint8_t[]> copy;
};

Source sourceFor(const Image& image, ImageOrientation orientation, const detail::PixelLayout& from,
                 const detail::PixelLayout& into) {
    const int width = int(image.width()), height = int(image.height());
    if (!from.hasAlpha && from.red == into.red && from.green == into.green && from.blue == into.blue)
        return {detail::SourcePixels::seen(image.bytes().data(), image.bytesPerRow(), width, height, orientation), {}};
    Source source{{}, std::make_unique_for_overwrite<std::uint8_t[]>(image.width() * image.height() * 4)};
    for (std::size_t y = 0; y < image.height(); ++y) {
        const std::uint8_t* p = image.bytes().data() + y * image.bytesPerRow();
        std::uint8_t* out = source.copy.get() + y * image.width() * 4;
        for (std::size_t x = 0; x < image.width(); ++x, p += 4, out += 4) {
            const std::uint8_t a = from.hasAlpha ? p[from.alpha] : 255;
            out[into.red] = std::min(p[from.red], a);
            out[into.green] = std::min(p[from.green], a);
            out[into.blue] = std::min(p[from.blue], a);
            out[into.alpha] = a;
        }
    }
    source.pixels = detail::SourcePixels::seen(source.copy.get(), image.width() * 4, width, height, orientation);
    return source;
}

// Where the drawing happens, bounded as the rasteriser bounds it: the picture's quadrilateral (`m`
// applied to [0, w] x [0, h]) cut to the bitmap's rows, its bounding box rounded out to whole
// pixels and held to the bitmap. Null when nothing is left.
Rect drawnBox(const AffineTransform& m, double w, double h, double width, double height) {
    std::vector<Point> polygon{m.apply(Point{0, 0}), m.apply(Point{w, 0}), m.apply(Point{w, h}), m.apply(Point{0, h})};
    const auto cut = [&polygon](auto distance) { // keeps distance >= 0
        std::vector<Point> kept;
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
            const double da = distance(a), db = distance(b);
            if (da >= 0) kept.push_back(a);
            if ((da >= 0) != (db >= 0)) {
                const double t = da / (da - db);
                kept.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
            }
        }
        polygon = std::move(kept);
    };
    cut([](Point p) { return p.y; });
    cut([height](Point p) { return height - p.y; });
    if (polygon.empty()) return Rect::null();
    double left = polygon[0].x, right = left, top = polygon[0].y, bottom = top;
    for (Point p : polygon)
        left = std::min(left, p.x), right = std::max(right, p.x), top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    // (A cut point may stray a rounding error past its row.)
    left = std::max(0.0, std::floor(left)), top = std::max(0.0, std::floor(top));
    right = std::min(width, std::ceil(right)), bottom = std::min(height, std::ceil(bottom));
    return left < right && top < bottom ? Rect::make(left, top, right - left, bottom - top) : Rect::null();
}

// The first and last covered columns of a coverage row, [first, end); equal when none is.
std::pair<int, int> coveredSpan(const std::uint8_t* coverage, int width) {
    const int first = detail::firstOther(coverage, 0, width, 0);
    return {first, detail::endOfLastOther(coverage, first, width, 0)};
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
        context->pixels_ = allocatePixels(bytesPerRow * h);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return context->pixels_ ? context : nullptr;
}

void BitmapContext::clearRows(std::size_t from, std::size_t to) const noexcept {
    for (std::size_t y = from; y < to; ++y) clearAround(y, 0, 0);
}

void BitmapContext::clearAround(std::size_t row, std::size_t left, std::size_t right) const noexcept {
    if (!cleared_) return;
    const std::uint32_t pixel = clearedPixel(*detail::pixelLayout(info_));
    std::uint8_t* p = pixels_.get() + row * bytesPerRow_;
    fill(p, left, pixel);
    fill(p + right * 4, width_ - right, pixel);
    std::memset(p + width_ * 4, 0, bytesPerRow_ - width_ * 4);
}

bool BitmapContext::ownPixels() {
    if (pixels_.use_count() == 1) return true;
    const std::size_t size = bytesPerRow_ * height_;
    std::shared_ptr<std::uint8_t> own;
    try {
        own = allocatePixels(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!own) return false;
    std::memcpy(own.get(), pixels_.get(), size);
    pixels_ = std::move(own);
    return true;
}

void BitmapContext::drawImage(const Rect& rect, const rt::Ref<Image>& image, ImageOrientation orientation) {
    if (!image || rect.isEmpty() || image->width() > kMaxSide || image->height() > kMaxSide) return;
    const auto target = detail::pixelLayout(info_), source = detail::pixelLayout(image->bitmapInfo());
    if (!target || !source) return;
    const bool swapped = isQuarterTurned(orientation);
    const double iw = double(swapped ? image->height() : image->width());
    const double ih = double(swapped ? image->width() : image->height());
    // Picture pixels (rows from the top) -> user space -> the bitmap, origin bottom left -> its rows
    // from the top.
    const AffineTransform placed{.a = rect.width() / iw, .d = -rect.height() / ih, .tx = rect.minX(), .ty = rect.maxY()};
    const AffineTransform flip{.d = -1, .ty = double(height_)};
    const AffineTransform m = placed.concat(ctm_).concat(flip);
    if (!m.isInvertible() || !std::isfinite(m.a) || !std::isfinite(m.b) || !std::isfinite(m.c) ||
        !std::isfinite(m.d))
        return;

    const Rect box = drawnBox(m, iw, ih, double(width_), double(height_));
    if (box.isNull()) return;
    const auto grid = detail::SampleGrid::make(m, {box.midX(), box.midY()});
    if (!grid || !ownPixels()) return;
    const Source pictured = sourceFor(*image, orientation, *source, *target);

    const bool nearest = quality_ == InterpolationQuality::None || grid->isPixelExact();
    const detail::Landing landing{target->alpha, !source->hasAlpha, cleared_, clearedPixel(*target)};
    const auto width = int(width_), firstRow = int(box.minY()), endRow = int(box.maxY());
    clearRows(0, std::size_t(firstRow));
    clearRows(std::size_t(endRow), height_);

    // Each strip's coverage comes from the rasteriser: the picture's rectangle filled with its
    // antialiasing, exactly as the drawing would cover it.
    const int coverageStride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    std::vector<std::uint8_t> coverage(std::size_t(coverageStride) * kStripRows);
    std::pair<int, int> spans[kStripRows];
    for (int y0 = firstRow; y0 < endRow; y0 += kStripRows) {
        const int rows = std::min(kStripRows, endRow - y0);
        std::fill(coverage.begin(), coverage.end(), 0);
        cairo_surface_t* mask =
            cairo_image_surface_create_for_data(coverage.data(), CAIRO_FORMAT_A8, width, rows, coverageStride);
        cairo_t* cr = cairo_create(mask);
        cairo_matrix_t matrix;
        cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.tx, m.ty - y0);
        cairo_set_matrix(cr, &matrix);
        cairo_rectangle(cr, 0, 0, iw, ih);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_finish(mask);
        cairo_surface_destroy(mask);

        int from = width, to = 0;
        for (int r = 0; r < rows; ++r) {
            spans[r] = coveredSpan(coverage.data() + std::size_t(r) * std::size_t(coverageStride), width);
            if (spans[r].first < spans[r].second) from = std::min(from, spans[r].first), to = std::max(to, spans[r].second);
            clearAround(std::size_t(y0 + r), std::size_t(spans[r].first), std::size_t(spans[r].second));
        }
        for (int x0 = from; x0 < to; x0 += kBlockColumns) {
            detail::prefetch(pictured.pixels, *grid, x0 + kBlockColumns, y0, x0 + 2 * kBlockColumns, y0 + rows);
            for (int r = 0; r < rows; ++r) {
                const int a = std::max(spans[r].first, x0), b = std::min(spans[r].second, x0 + kBlockColumns);
                if (a >= b) continue;
                const int y = y0 + r;
                detail::sampleRow(pictured.pixels, nearest, grid->centreOf(a, y), grid->step(),
                                  coverage.data() + std::size_t(r) * std::size_t(coverageStride) + std::size_t(a), landing,
                                  pixels_.get() + std::size_t(y) * bytesPerRow_ + std::size_t(a) * 4, b - a);
            }
        }
    }
    cleared_ = false;
}

rt::Ref<Image> BitmapContext::makeImage() const {
    clearRows(0, height_);
    cleared_ = false;
    return rt::make<Image>(width_, height_, bytesPerRow_, info_, std::shared_ptr<const std::uint8_t>(pixels_),
                           bytesPerRow_ * height_);
}

RT_DEFINE_CLASS(BitmapContext, "CGBitmapContext", rt::Object)

} // namespace cg
