#include "platform/graphics/raster_context.h"

#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/file_manager.h"
#include "platform/graphics/glyph_masks.h"
#include "platform/graphics/image.h"

namespace cg {

namespace {

using detail::appendPath;

void setMatrix(cairo_t* cr, const AffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    // A transform that cannot be inverted draws nothing; cairo would refuse it for good.
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) {
        cairo_matrix_init(&m, 1e-9, 0, 0, 1e-9, t.tx, t.ty);
        cairo_set_matrix(cr, &m);
        return;
    }
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_set_matrix(cr, &m);
}

// A horizontal then a vertical box filter of the given radius over premultiplied pixels.
void boxBlur(cairo_surface_t* surface, int radius) {
    if (radius < 1 || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    if (!data || w == 0 || h == 0) return;
    std::vector<unsigned> line(std::max(w, h) * 4);
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                for (int c = 0; c < 4; ++c) line[j * 4 + c] = at(i, j)[c];
            for (int j = 0; j < length; ++j) {
                const int lo = std::max(0, j - radius), hi = std::min(length - 1, j + radius);
                for (int c = 0; c < 4; ++c) {
                    unsigned sum = 0;
                    for (int k = lo; k <= hi; ++k) sum += line[k * 4 + c];
                    at(i, j)[c] = static_cast<unsigned char>(sum / unsigned(2 * radius + 1));
                }
            }
        }
    };
    pass(h, w, [&](int y, int x) { return data + y * stride + x * 4; });
    pass(w, h, [&](int x, int y) { return data + y * stride + x * 4; });
    cairo_surface_mark_dirty(surface);
}

void setSource(cairo_t* cr, const rt::Ref<Color>& color, double alpha) {
    cairo_set_source_rgba(cr, color->red(), color->green(), color->blue(), color->alpha() * alpha);
}

void setStrokeStyle(cairo_t* cr, const PaintState& s, double width) {
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, s.lineCap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                           : s.lineCap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                          : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, s.lineJoin == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                            : s.lineJoin == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                            : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, s.miterLimit);
    cairo_set_dash(cr, s.dash.empty() ? nullptr : s.dash.data(), int(s.dash.size()), s.dashPhase);
}

// Paints the bitmap into `rect` of user space, its top row along the rectangle's larger y, as a
// bitmap context draws it: smoothly scaled, its edge pixels extended, nothing outside the
// rectangle, at the state's alpha. With `color`, the bitmap's coverage in that colour (a shadow).
void paintBitmap(cairo_t* cr, const Image& image, const Rect& rect, const PaintState& s,
                 const rt::Ref<Color>& color) {
    const double iw = double(image.width()), ih = double(image.height());
    if (!(rect.width() > 0) || !(rect.height() > 0) || !std::isfinite(rect.width()) ||
        !std::isfinite(rect.height()) || !std::isfinite(rect.minX()) || !std::isfinite(rect.minY()))
        return;
    cairo_surface_t* pixels = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(image.rasterWords()), CAIRO_FORMAT_ARGB32, int(image.width()),
        int(image.height()), int(image.width() * 4));
    setMatrix(cr, s.ctm);
    cairo_rectangle(cr, rect.minX(), rect.minY(), rect.width(), rect.height());
    cairo_clip(cr);
    cairo_matrix_t placed;
    cairo_matrix_init(&placed, rect.width() / iw, 0, 0, -rect.height() / ih, rect.minX(), rect.maxY());
    cairo_transform(cr, &placed);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(pixels);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
    if (color) {
        setSource(cr, color, s.alpha);
        cairo_mask(cr, pattern);
    } else {
        cairo_set_source(cr, pattern);
        cairo_paint_with_alpha(cr, s.alpha);
    }
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(pixels);
}

// Paints the command's shape with `color` (nil: its own colours) into the current target.
void paintShape(cairo_t* cr, const DrawCommand& c, const rt::Ref<Color>& color) {
    const PaintState& s = c.state;
    auto colourOr = [&](const rt::Ref<Color>& own) -> const rt::Ref<Color>& { return color ? color : own; };
    switch (c.kind) {
    case DrawCommand::Kind::Fill:
    case DrawCommand::Kind::EOFill:
        if (!colourOr(s.fillColor)) return;
        setMatrix(cr, s.ctm);
        appendPath(cr, *c.path);
        cairo_set_fill_rule(cr, c.kind == DrawCommand::Kind::EOFill ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        setSource(cr, colourOr(s.fillColor), s.alpha);
        cairo_fill(cr);
        break;
    case DrawCommand::Kind::Stroke:
        if (!colourOr(s.strokeColor) || s.lineWidth <= 0) return;
        setMatrix(cr, s.ctm);
        appendPath(cr, *c.path);
        setStrokeStyle(cr, s, s.lineWidth);
        setSource(cr, colourOr(s.strokeColor), s.alpha);
        cairo_stroke(cr);
        break;
    case DrawCommand::Kind::Glyphs: {
        const GlyphRun& run = *c.run;
        if (run.strokeWidth <= 0) {
            if (!colourOr(run.color)) return;
            if (detail::paintGlyphMasks(cr, run, s.ctm, *colourOr(run.color), s.alpha)) return;
        }
        // Outlined, or glyphs the masks do not serve: their outlines filled or stroked as a path.
        const AffineTransform linear{run.textMatrix.a, run.textMatrix.b, run.textMatrix.c, run.textMatrix.d, 0, 0};
        cairo_new_path(cr);
        for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
            rt::Ref<Path> outline = run.font->pathForGlyph(run.glyphs[i]);
            if (!outline) continue;
            const Point at = textSpaceToUser(run, run.positions[i]);
            setMatrix(cr, linear.concat(AffineTransform::identity().translate(at.x, at.y)).concat(s.ctm));
            appendPath(cr, *outline);
        }
        setMatrix(cr, s.ctm);
        if (run.strokeWidth > 0) {
            if (!colourOr(run.strokeColor)) return cairo_new_path(cr);
            setStrokeStyle(cr, s, run.strokeWidth);
            setSource(cr, colourOr(run.strokeColor), s.alpha);
            cairo_stroke(cr);
        } else {
            if (!colourOr(run.color)) return cairo_new_path(cr);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
            setSource(cr, colourOr(run.color), s.alpha);
            cairo_fill(cr);
        }
        break;
    }
    case DrawCommand::Kind::Image:
        if (const rt::Ref<Image> bitmap = rt::cast<Image>(c.image)) {
            paintBitmap(cr, *bitmap, c.rect, s, color);
            break;
        }
        // Anything else (an image of a size without pixels): a light grey box where it would be.
        setMatrix(cr, s.ctm);
        cairo_rectangle(cr, c.rect.minX(), c.rect.minY(), c.rect.width(), c.rect.height());
        setSource(cr, color ? color : Color::gray(0.8), s.alpha);
        cairo_fill(cr);
        break;
    }
}

} // namespace

struct RasterContext::Surface {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    ~Surface() {
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
    }
};

RasterContext::RasterContext(int width, int height)
    : surface_(std::make_unique<Surface>()), width_(std::clamp(width, 1, 16384)), height_(std::clamp(height, 1, 16384)) {
    surface_->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    surface_->cr = cairo_create(surface_->surface);
}

RasterContext::~RasterContext() = default;

void RasterContext::clearTo(const rt::Ref<Color>& color) {
    cairo_t* cr = surface_->cr;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (color)
        setSource(cr, color, 1);
    else
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

Pixel RasterContext::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    cairo_surface_flush(surface_->surface);
    const auto* row = cairo_image_surface_get_data(surface_->surface) + y * stride();
    std::uint32_t v;
    std::memcpy(&v, row + x * 4, 4);
    const unsigned a = v >> 24;
    auto un = [a](unsigned c) { return static_cast<std::uint8_t>(a == 0 ? 0 : (c * 255 + a / 2) / a); };
    return {un((v >> 16) & 0xff), un((v >> 8) & 0xff), un(v & 0xff), static_cast<std::uint8_t>(a)};
}

const std::uint8_t* RasterContext::data() const {
    cairo_surface_flush(surface_->surface);
    return cairo_image_surface_get_data(surface_->surface);
}

int RasterContext::stride() const {
    return cairo_image_surface_get_stride(surface_->surface);
}

namespace {

// A zlib stream (RFC 1950) of one deflate block (RFC 1951) in the fixed codes, whose only matches
// repeat the byte before: the filtered rows of a screen are mostly long runs of zeros, which this
// writes in 13 bits a 258 bytes, several times faster than a general encoder would.
class RunLengthDeflater {
public:
    explicit RunLengthDeflater(std::string& out) : out_(out) {
        out_ += {char(0x78), char(0x01)}; // deflate, 32 KiB window, no dictionary
        put(1, 1);                        // the last block
        put(1, 2);                        // of the fixed codes
    }
    void add(const std::uint8_t* bytes, std::size_t size) {
        adler_ = adler32(adler_, bytes, uInt(size));
        for (std::size_t i = 0; i < size;) {
            std::size_t run = 0;
            if (started_) {
                const std::size_t most = std::min<std::size_t>(258, size - i);
                const std::uint64_t repeated = 0x0101010101010101ull * last_;
                for (std::uint64_t eight; run + 8 <= most; run += 8) {
                    std::memcpy(&eight, bytes + i + run, 8);
                    if (eight != repeated) break;
                }
                while (run < most && bytes[i + run] == last_) ++run;
            }
            if (run >= 3) {
                length(run);
                put(0, 5); // distance 1
                i += run;
            } else {
                literal(bytes[i]);
                last_ = bytes[i++];
                started_ = true;
            }
        }
    }
    void finish() {
        literal(256); // the end of the block
        if (bits_) put(0, 8 - bits_);
        for (int shift = 24; shift >= 0; shift -= 8) out_ += char(adler_ >> shift);
    }

private:
    // Up to 16 bits, the first bit lowest.
    void put(std::uint32_t value, int count) {
        pending_ |= std::uint64_t(value) << bits_;
        bits_ += count;
        while (bits_ >= 8) {
            out_ += char(pending_);
            pending_ >>= 8;
            bits_ -= 8;
        }
    }
    struct Code {
        std::uint16_t bits; // reversed: a Huffman code goes out from its highest bit
        std::uint8_t count;
    };
    // The fixed code of each literal and length symbol.
    static const std::array<Code, 288>& codes() {
        static const std::array<Code, 288> table = [] {
            std::array<Code, 288> made{};
            for (unsigned symbol = 0; symbol < 288; ++symbol) {
                const auto [value, count] = symbol < 144   ? std::pair{0x30 + symbol, 8}
                                            : symbol < 256 ? std::pair{0x190 + symbol - 144, 9}
                                            : symbol < 280 ? std::pair{symbol - 256, 7}
                                                           : std::pair{0xC0 + symbol - 280, 8};
                unsigned reversed = 0;
                for (int i = 0; i < count; ++i) reversed |= ((value >> i) & 1) << (count - 1 - i);
                made[symbol] = {std::uint16_t(reversed), std::uint8_t(count)};
            }
            return made;
        }();
        return table;
    }
    void literal(unsigned symbol) {
        const Code& c = codes()[symbol];
        put(c.bits, c.count);
    }
    void length(std::size_t n) {
        static constexpr std::uint16_t base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr std::uint8_t extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        unsigned i = 28;
        while (base[i] > n) --i;
        literal(257 + i);
        if (extra[i]) put(std::uint32_t(n - base[i]), extra[i]);
    }

    std::string& out_;
    std::uint64_t pending_ = 0;
    int bits_ = 0;
    uLong adler_ = adler32(0, nullptr, 0);
    std::uint8_t last_ = 0;
    bool started_ = false;
};

// A PNG of 8-bit RGB (or RGBA) rows, each with the Sub filter, compressed by RunLengthDeflater.
std::string encodePNG(const std::uint8_t* data, int stride, int width, int height) {
    // Opaque pictures (a screen's) are written as RGB, others as RGBA.
    std::uint32_t all = 0xFFFFFFFF;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* pixels = data + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < width; ++x) {
            std::uint32_t v;
            std::memcpy(&v, pixels + std::size_t(x) * 4, 4);
            all &= v;
        }
    }
    const bool opaque = all >> 24 == 255;
    const std::size_t channels = opaque ? 3 : 4;
    std::string deflated;
    deflated.reserve(std::size_t(1) << 16);
    RunLengthDeflater deflater(deflated);
    std::vector<std::uint8_t> row(std::size_t(width) * channels + 1);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = row.data();
        *out++ = 1; // the Sub filter: each byte less the same byte of the pixel before, so flat runs are zeros
        const std::uint8_t* pixels = data + std::size_t(y) * std::size_t(stride);
        unsigned r0 = 0, g0 = 0, b0 = 0, a0 = 0;
        for (int x = 0; x < width; ++x) {
            std::uint32_t v;
            std::memcpy(&v, pixels + std::size_t(x) * 4, 4);
            const unsigned a = v >> 24;
            unsigned r = v >> 16 & 0xff, g = v >> 8 & 0xff, b = v & 0xff;
            if (a != 255) { // undo the premultiplying
                r = a ? (r * 255 + a / 2) / a : 0, g = a ? (g * 255 + a / 2) / a : 0,
                b = a ? (b * 255 + a / 2) / a : 0;
            }
            *out++ = std::uint8_t(r - r0), *out++ = std::uint8_t(g - g0), *out++ = std::uint8_t(b - b0);
            if (!opaque) *out++ = std::uint8_t(a - a0);
            r0 = r, g0 = g, b0 = b, a0 = a;
        }
        deflater.add(row.data(), row.size());
    }
    deflater.finish();
    std::string png("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&png](const char* type, const std::string& body) {
        auto word = [&png](std::uint32_t v) { png += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
        word(std::uint32_t(body.size()));
        const std::string typed = type + body;
        png += typed;
        word(std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()))));
    };
    std::string header;
    for (std::uint32_t v : {std::uint32_t(width), std::uint32_t(height)})
        header += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    header +=
        {8, char(opaque ? 2 : 6), 0, 0, 0}; // 8 bits, RGB or RGBA, deflate, adaptive filters, not interlaced
    chunk("IHDR", header);
    chunk("IDAT", deflated);
    chunk("IEND", {});
    return png;
}

} // namespace

std::string RasterContext::png() const {
    return encodePNG(data(), stride(), width_, height_);
}

rt::Ref<ns::Error> RasterContext::writePNG(const std::string& path) const {
    const int failure = ns::writeFile(path, png(), ns::Durability::Unsynced);
    if (!failure) return nullptr;
    const std::string why = std::strerror(failure);
    return ns::Error::make(
        ns::CocoaErrorDomain, 512,
        ns::Dictionary::withObjectsForKeys({ns::str("Could not write the picture to " + path + ": " + why)},
                                           {ns::str(ns::LocalizedDescriptionKey)}));
}

void RasterContext::render(const DrawCommand& c) {
    cairo_t* cr = surface_->cr;
    if ((c.kind == DrawCommand::Kind::Glyphs && !c.run) ||
        ((c.kind == DrawCommand::Kind::Fill || c.kind == DrawCommand::Kind::EOFill ||
          c.kind == DrawCommand::Kind::Stroke) && !c.path))
        return;
    cairo_save(cr);
    for (const Clip& clip : c.state.clips) {
        setMatrix(cr, clip.ctm);
        appendPath(cr, *clip.path);
        cairo_set_fill_rule(cr, clip.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_clip(cr);
    }
    if (c.state.shadow.isSet()) {
        cairo_push_group(cr);
        paintShape(cr, c, c.state.shadow.color);
        cairo_identity_matrix(cr);
        cairo_pattern_t* shadow = cairo_pop_group(cr);
        cairo_surface_t* pixels = nullptr;
        if (cairo_pattern_get_surface(shadow, &pixels) == CAIRO_STATUS_SUCCESS)
            boxBlur(pixels, int(std::lround(c.state.shadow.blur / 2)));
        cairo_translate(cr, c.state.shadow.offset.width, c.state.shadow.offset.height);
        cairo_set_source(cr, shadow);
        cairo_paint(cr);
        cairo_pattern_destroy(shadow);
    }
    paintShape(cr, c, nullptr);
    cairo_restore(cr);
}

} // namespace cg
