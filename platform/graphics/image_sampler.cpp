#include "platform/graphics/image_sampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cg::detail {

namespace {

using Fixed = std::int64_t; // 16.16

constexpr Fixed kOne = 1 << 16, kHalf = 1 << 15;

// To 16.16, rounding half to even, as the rasteriser does; nil beyond what its 32 bits hold.
std::optional<Fixed> toFixed(double v) {
    const double scaled = std::nearbyint(v * double(kOne));
    if (!(std::abs(scaled) < double(std::numeric_limits<std::int32_t>::max()))) return std::nullopt;
    return Fixed(scaled);
}

// The inverse as the rasteriser computes it: scales and moves directly, the rest through the
// adjugate times the determinant's reciprocal.
std::optional<AffineTransform> inverted(const AffineTransform& m) {
    if (m.b == 0 && m.c == 0) {
        if (m.a == 0 || m.d == 0) return std::nullopt;
        AffineTransform r{.a = m.a, .d = m.d, .tx = -m.tx, .ty = -m.ty};
        if (r.a != 1) r.a = 1 / r.a, r.tx *= r.a;
        if (r.d != 1) r.d = 1 / r.d, r.ty *= r.d;
        return r;
    }
    const double det = m.a * m.d - m.b * m.c;
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    const double s = 1 / det;
    return AffineTransform{m.d * s, -m.b * s, -m.c * s, m.a * s, (m.c * m.ty - m.d * m.tx) * s,
                           (m.b * m.tx - m.a * m.ty) * s};
}

// A determinant of ±1 with one axis pair (nearly) zero: the rasteriser keeps such a transform
// as it rounds.
bool hasUnitScale(const AffineTransform& m) {
    constexpr double kEpsilon = 1.0 / 256;
    const double det = m.a * m.d - m.b * m.c;
    if (!(std::abs(det * det - 1) < kEpsilon)) return false;
    return (std::abs(m.c) < kEpsilon && std::abs(m.b) < kEpsilon) ||
           (std::abs(m.a) < kEpsilon && std::abs(m.d) < kEpsilon);
}

// The whole device pixels the rasteriser moves by first, to keep the fixed-point translation
// small: of the translation and the points where a coordinate maps to plus or minus itself, the
// one nearest the origin, rounded down.
Point wholeShift(const AffineTransform& p) {
    double tx = p.tx, ty = p.ty, norm = std::max(std::abs(tx), std::abs(ty));
    for (int i = -1; i < 2; i += 2) {
        for (int j = -1; j < 2; j += 2) {
            double den = (p.a + i) * (p.d + j) - p.c * p.b;
            if (std::abs(den) < std::numeric_limits<double>::epsilon()) continue;
            double x = p.ty * p.c - p.tx * (p.d + j), y = p.tx * p.b - p.ty * (p.a + i);
            den = 1 / den;
            x *= den, y *= den;
            if (const double n = std::max(std::abs(x), std::abs(y)); norm > n) norm = n, tx = x, ty = y;
        }
    }
    return {std::floor(tx), std::floor(ty)};
}

inline std::uint32_t load(const std::uint8_t* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store(std::uint8_t* p, std::uint32_t v) noexcept { std::memcpy(p, &v, 4); }

// a·b/255 rounded, for bytes.
inline std::uint32_t mul255(std::uint32_t a, std::uint32_t b) noexcept {
    const std::uint32_t t = a * b + 0x80;
    return (t + (t >> 8)) >> 8;
}

// Bytes 0 and 2 of a pixel in the 32-bit lanes of a 64-bit word.
inline std::uint64_t spread(std::uint32_t p) noexcept {
    return (p & 0xFFu) | std::uint64_t(p & 0xFF0000u) << 16;
}

// The bilinear blend of four pixels with 7-bit weights, each byte on its own, truncated.
inline std::uint32_t blend4(std::uint32_t tl, std::uint32_t tr, std::uint32_t bl, std::uint32_t br, std::uint32_t dx,
                            std::uint32_t dy) noexcept {
    const std::uint64_t wtl = (128 - dx) * (128 - dy), wtr = dx * (128 - dy), wbl = (128 - dx) * dy, wbr = dx * dy;
    const std::uint64_t even = spread(tl) * wtl + spread(tr) * wtr + spread(bl) * wbl + spread(br) * wbr;
    const std::uint64_t odd =
        spread(tl >> 8) * wtl + spread(tr >> 8) * wtr + spread(bl >> 8) * wbl + spread(br >> 8) * wbr;
    const std::uint64_t e = (even >> 14) & 0x000000FF000000FFu, o = (odd >> 14) & 0x000000FF000000FFu;
    return std::uint32_t(e | e >> 16) | std::uint32_t(o | o >> 16) << 8;
}

struct Sampler {
    const SourcePixels& source;

    std::uint32_t nearest(SampleGrid::Position p) const noexcept {
        const int x = int(std::clamp<Fixed>((p.x - 1) >> 16, 0, source.width - 1));
        const int y = int(std::clamp<Fixed>((p.y - 1) >> 16, 0, source.height - 1));
        return load(source.at(x, y));
    }

    std::uint32_t bilinear(SampleGrid::Position p) const noexcept {
        const Fixed fx = p.x - kHalf, fy = p.y - kHalf;
        const Fixed x = fx >> 16, y = fy >> 16;
        const auto dx = std::uint32_t(fx >> 9) & 0x7F, dy = std::uint32_t(fy >> 9) & 0x7F;
        // Beyond the edges the edge pixels go on.
        const auto clamped = [](Fixed v, int side) { return int(std::clamp<Fixed>(v, 0, side - 1)); };
        const int x0 = clamped(x, source.width), x1 = clamped(x + 1, source.width);
        const int y0 = clamped(y, source.height), y1 = clamped(y + 1, source.height);
        return blend4(load(source.at(x0, y0)), load(source.at(x1, y0)), load(source.at(x0, y1)),
                      load(source.at(x1, y1)), dx, dy);
    }

    // The pixels [from, to) of a run starting at `p` whose samples all blend four pixels of the
    // picture (none beyond its edges), the first at `out`.
    void bilinearInside(SampleGrid::Position p, SampleGrid::Position step, int from, int to, std::uint32_t bits,
                        std::uint8_t* out) const noexcept {
        p.x += from * step.x, p.y += from * step.y, out += std::ptrdiff_t(from) * 4;
#if defined(__SSE2__)
        // Two neighbours that sit side by side in memory (along the picture's rows, or down its
        // columns, either way) are read at once; the sum is exact, so the order of the two blends
        // does not change it.
        const bool rows = source.across == 4 || source.across == -4;
        if (rows || source.down == 4 || source.down == -4) {
            const std::uint8_t* origin = source.origin;
            const std::ptrdiff_t across = source.across, down = source.down;
            const std::ptrdiff_t other = rows ? down : across, lower = (rows ? across : down) < 0 ? -4 : 0;
            const bool forward = lower == 0;
            const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(128), set = _mm_set1_epi32(int(bits));
            // One sample's four bytes as 32-bit lanes.
            const auto sample = [&](SampleGrid::Position q) {
                const Fixed fx = q.x - kHalf, fy = q.y - kHalf;
                const auto dx = std::uint32_t(fx >> 9) & 0x7F, dy = std::uint32_t(fy >> 9) & 0x7F;
                const std::uint32_t inner = rows ? dx : dy, outer = rows ? dy : dx;
                const std::uint8_t* first = origin + (fx >> 16) * across + (fy >> 16) * down + lower;
                const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)), zero);
                const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first + other)), zero);
                const __m128i w = _mm_set1_epi16(short(outer));
                const __m128i v = _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(full, w)), _mm_mullo_epi16(b, w));
                const std::uint32_t low = forward ? 128 - inner : inner;
                const __m128i pairs = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 8));
                return _mm_srli_epi32(_mm_madd_epi16(pairs, _mm_set1_epi32(int((128 - low) << 16 | low))), 14);
            };
            int i = from;
            for (; i + 1 < to; i += 2, p.x += 2 * step.x, p.y += 2 * step.y, out += 8) {
                const __m128i r = _mm_packs_epi32(sample(p), sample({p.x + step.x, p.y + step.y}));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_packus_epi16(r, r), set));
            }
            if (i < to) {
                const __m128i r = _mm_packs_epi32(sample(p), zero);
                store(out, std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(r, r))) | bits);
            }
            return;
        }
#endif
        for (int i = from; i < to; ++i, p.x += step.x, p.y += step.y, out += 4) store(out, bilinear(p) | bits);
    }
};

// Floor and ceiling of a / b, b > 0.
Fixed floorDiv(Fixed a, Fixed b) noexcept {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
Fixed ceilDiv(Fixed a, Fixed b) noexcept {
    return -floorDiv(-a, b);
}

// The steps k in [0, count) for which lo <= start + k·step <= hi, as [first, end).
std::pair<int, int> stepsWithin(Fixed start, Fixed step, Fixed lo, Fixed hi, int count) noexcept {
    Fixed first = 0, last = count - 1;
    if (step == 0) {
        if (start < lo || start > hi) return {0, 0};
    } else if (step > 0) {
        first = std::max(first, ceilDiv(lo - start, step)), last = std::min(last, floorDiv(hi - start, step));
    } else {
        first = std::max(first, ceilDiv(start - hi, -step)), last = std::min(last, floorDiv(start - lo, -step));
    }
    return first <= last ? std::pair{int(first), int(last + 1)} : std::pair{0, 0};
}

// The sample over the pixel it lands on, with that share of coverage (premultiplied, "over").
std::uint32_t painted(std::uint32_t sample, std::uint32_t coverage, std::uint32_t under, int alpha) noexcept {
    std::uint8_t s[4], d[4];
    std::memcpy(s, &sample, 4);
    std::memcpy(d, &under, 4);
    const std::uint32_t keep = 255 - mul255(s[alpha], coverage);
    for (int k = 0; k < 4; ++k) d[k] = std::uint8_t(std::min<std::uint32_t>(255, mul255(s[k], coverage) + mul255(d[k], keep)));
    std::uint32_t result;
    std::memcpy(&result, d, 4);
    return result;
}

std::uint32_t alphaBits(int alpha) noexcept {
    std::uint8_t bytes[4] = {};
    bytes[alpha] = 255;
    return load(bytes);
}

} // namespace

std::optional<SampleGrid> SampleGrid::make(const AffineTransform& imageToDevice, Point anchor) {
    std::optional<AffineTransform> inverse = inverted(imageToDevice);
    if (!inverse) return std::nullopt;
    AffineTransform p = *inverse; // device -> image
    SampleGrid grid;
    const bool moves = !(p.a == 1 && p.b == 0 && p.c == 0 && p.d == 1) && (p.tx != 0 || p.ty != 0);
    if (moves) {
        const Point shift = wholeShift(p);
        p.tx += p.a * shift.x + p.c * shift.y;
        p.ty += p.b * shift.x + p.d * shift.y;
        grid.offsetX_ = -std::int64_t(shift.x), grid.offsetY_ = -std::int64_t(shift.y);
    }
    const auto xx = toFixed(p.a), xy = toFixed(p.c), x0 = toFixed(p.tx);
    const auto yx = toFixed(p.b), yy = toFixed(p.d), y0 = toFixed(p.ty);
    if (!xx || !xy || !x0 || !yx || !yy || !y0) return std::nullopt;
    grid.xx_ = *xx, grid.xy_ = *xy, grid.x0_ = *x0, grid.yx_ = *yx, grid.yy_ = *yy, grid.y0_ = *y0;
    if (hasUnitScale(p)) return grid;

    // Rounded entries drift from the exact transform with the distance; pin it at the anchor.
    const std::optional<AffineTransform> back = inverted(p);
    const auto ax = toFixed(anchor.x), ay = toFixed(anchor.y);
    if (!back || !ax || !ay) return grid;
    for (int round = 0; round < 5; ++round) {
        const Position at = grid.transformed(*ax, *ay);
        const double x = double(at.x) / kOne, y = double(at.y) / kOne;
        const double ex = back->a * x + back->c * y + back->tx - anchor.x;
        const double ey = back->b * x + back->d * y + back->ty - anchor.y;
        const auto dx = toFixed(p.a * ex + p.c * ey), dy = toFixed(p.b * ex + p.d * ey);
        if (!dx || !dy) break;
        grid.x0_ -= *dx, grid.y0_ -= *dy;
        if (*dx == 0 && *dy == 0) break;
    }
    return grid;
}

SampleGrid::Position SampleGrid::transformed(Fixed x, Fixed y) const noexcept {
    // Whole and fractional parts apart, the fractions' products rounded once, as the rasteriser
    // does (the homogeneous 1 is one whole part).
    const Fixed xi = x >> 16, xf = x & 0xFFFF, yi = y >> 16, yf = y & 0xFFFF;
    return {xx_ * xi + xy_ * yi + x0_ + ((xx_ * xf + xy_ * yf + 0x8000) >> 16),
            yx_ * xi + yy_ * yi + y0_ + ((yx_ * xf + yy_ * yf + 0x8000) >> 16)};
}

SampleGrid::Position SampleGrid::centreOf(std::int64_t x, std::int64_t y) const noexcept {
    return transformed((x + offsetX_) * kOne + kHalf, (y + offsetY_) * kOne + kHalf);
}

bool SampleGrid::isPixelExact() const noexcept {
    const Position origin = centreOf(0, 0);
    return xx_ % kOne == 0 && xy_ % kOne == 0 && yx_ % kOne == 0 && yy_ % kOne == 0 && (origin.x - kHalf) % kOne == 0 &&
           (origin.y - kHalf) % kOne == 0;
}

SourcePixels SourcePixels::seen(const std::uint8_t* bytes, std::size_t bytesPerRow, int bitmapWidth, int bitmapHeight,
                               ImageOrientation orientation) noexcept {
    const auto row = std::ptrdiff_t(bytesPerRow), right = std::ptrdiff_t(bitmapWidth - 1) * 4,
               bottom = std::ptrdiff_t(bitmapHeight - 1) * row;
    // The bitmap pixel at the picture's top left, and the steps along the picture's row and column.
    std::ptrdiff_t start = 0, across = 4, down = row;
    switch (orientation) {
    case ImageOrientation::Up: break;
    case ImageOrientation::Down: start = right + bottom, across = -4, down = -row; break;
    case ImageOrientation::Left: start = right, across = row, down = -4; break;
    case ImageOrientation::Right: start = bottom, across = -row, down = 4; break;
    case ImageOrientation::UpMirrored: start = right, across = -4; break;
    case ImageOrientation::DownMirrored: start = bottom, down = -row; break;
    case ImageOrientation::LeftMirrored: across = row, down = 4; break;
    case ImageOrientation::RightMirrored: start = right + bottom, across = -row, down = -4; break;
    }
    const bool swapped = isQuarterTurned(orientation);
    return {bytes, bytesPerRow, swapped ? bitmapHeight : bitmapWidth, swapped ? bitmapWidth : bitmapHeight,
            bytes + start, across, down};
}

void prefetch(const SourcePixels& source, const SampleGrid& grid, int x0, int y0, int x1, int y1) noexcept {
    Fixed minX = std::numeric_limits<Fixed>::max(), minY = minX, maxX = std::numeric_limits<Fixed>::min(), maxY = maxX;
    for (const auto& [x, y] : {std::pair{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}) {
        const SampleGrid::Position p = grid.centreOf(x, y);
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    const auto clamped = [](Fixed v, int side) { return int(std::clamp<Fixed>(v >> 16, 0, side - 1)); };
    // The picture's rectangle is a rectangle of the bitmap too, whichever way it is seen.
    const std::ptrdiff_t a = source.at(clamped(minX - kOne, source.width), clamped(minY - kOne, source.height)) - source.bytes;
    const std::ptrdiff_t b = source.at(clamped(maxX + kOne, source.width), clamped(maxY + kOne, source.height)) - source.bytes;
    const auto row = std::ptrdiff_t(source.bytesPerRow);
    const std::ptrdiff_t top = std::min(a, b) / row, bottom = std::max(a, b) / row;
    const std::ptrdiff_t left = std::min(a % row, b % row), right = std::max(a % row, b % row) + 4;
    constexpr std::ptrdiff_t kLine = 64;
    for (std::ptrdiff_t y = top; y <= bottom; ++y)
        for (std::ptrdiff_t x = left; x < right; x += kLine) __builtin_prefetch(source.bytes + y * row + x);
}

int firstOther(const std::uint8_t* bytes, int from, int to, std::uint8_t value) noexcept {
    const std::uint64_t all = 0x0101010101010101u * value;
    for (std::uint64_t word; to - from >= 8 && (std::memcpy(&word, bytes + from, 8), word == all);) from += 8;
    while (from < to && bytes[from] == value) ++from;
    return from;
}

int endOfLastOther(const std::uint8_t* bytes, int from, int to, std::uint8_t value) noexcept {
    const std::uint64_t all = 0x0101010101010101u * value;
    for (std::uint64_t word; to - from >= 8 && (std::memcpy(&word, bytes + to - 8, 8), word == all);) to -= 8;
    while (to > from && bytes[to - 1] == value) --to;
    return to;
}

void sampleRow(const SourcePixels& source, bool nearest, SampleGrid::Position start, SampleGrid::Position step,
               const std::uint8_t* coverage, const Landing& landing, std::uint8_t* out, int count) noexcept {
    const Sampler sampler{source};
    const std::uint32_t alphaMask = alphaBits(landing.alpha), opaqueBits = landing.opaque ? alphaMask : 0;
    SampleGrid::Position p = start;
    for (int i = 0; i < count;) {
        // A run of wholly covered pixels of an opaque picture: each one its sample, nothing else.
        if (landing.opaque && coverage[i] == 255) {
            const int end = firstOther(coverage, i + 1, count, 255);
            if (nearest) {
                for (; i < end; ++i, p.x += step.x, p.y += step.y, out += 4) store(out, sampler.nearest(p) | opaqueBits);
                continue;
            }
            // Inside the picture, then its edges going on before and after.
            const int n = end - i;
            const auto [ax, bx] = stepsWithin(p.x, step.x, kHalf, Fixed(source.width - 1) * kOne + kHalf - 1, n);
            const auto [ay, by] = stepsWithin(p.y, step.y, kHalf, Fixed(source.height - 1) * kOne + kHalf - 1, n);
            const int from = std::max(ax, ay), to = std::max(from, std::min(bx, by));
            const auto atEdges = [&](int a, int b) {
                for (int k = a; k < b; ++k)
                    store(out + std::ptrdiff_t(k) * 4, sampler.bilinear({p.x + k * step.x, p.y + k * step.y}) | opaqueBits);
            };
            atEdges(0, from);
            sampler.bilinearInside(p, step, from, to, opaqueBits, out);
            atEdges(to, n);
            i = end, p = {p.x + n * step.x, p.y + n * step.y}, out += std::ptrdiff_t(n) * 4;
            continue;
        }
        const std::uint32_t cover = coverage[i];
        if (cover == 0) {
            if (landing.cleared) store(out, landing.clearedPixel);
        } else if (const std::uint32_t sample = (nearest ? sampler.nearest(p) : sampler.bilinear(p)) | opaqueBits;
                   cover == 255 && (sample & alphaMask) == alphaMask) {
            store(out, sample);
        } else {
            store(out, painted(sample, cover, landing.cleared ? landing.clearedPixel : load(out), landing.alpha));
        }
        ++i, p.x += step.x, p.y += step.y, out += 4;
    }
}

} // namespace cg::detail
