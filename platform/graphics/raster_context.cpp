#include "platform/graphics/raster_context.h"

#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/foundation/error.h"
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

// A PNG of 8-bit RGB (or RGBA) rows, each with the Sub filter, deflated with run-length matches
// only: pictures of screens are mostly flat colour, which that compresses well and quickly. Empty
// when zlib fails.
std::string encodePNG(const std::uint8_t* data, int stride, int width, int height) {
    auto word = [&](int x, int y) {
        std::uint32_t v;
        std::memcpy(&v, data + std::size_t(y) * std::size_t(stride) + std::size_t(x) * 4, 4);
        return v;
    };
    // Opaque pictures (a screen's) are written as RGB, others as RGBA.
    bool opaque = true;
    for (int y = 0; y < height && opaque; ++y)
        for (int x = 0; x < width && opaque; ++x)
            opaque = word(x, y) >> 24 == 255;
    const std::size_t channels = opaque ? 3 : 4;
    // Row by row: each filtered into one buffer and deflated at once, so no copy of the whole
    // picture is made. Run-length matches only: the filtered rows of a screen are mostly zeros.
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) return {};
    std::string deflated(std::size_t(1) << 16, '\0');
    std::vector<char> row(std::size_t(width) * channels + 1);
    // Deflates what is in z's input; false when zlib fails.
    auto pump = [&](int flush) {
        for (;;) {
            z.next_out = reinterpret_cast<Bytef*>(deflated.data()) + z.total_out;
            z.avail_out = uInt(deflated.size() - z.total_out);
            const int status = deflate(&z, flush);
            if (status == Z_STREAM_END) return true;
            if (status != Z_OK && status != Z_BUF_ERROR) return false;
            if (z.avail_out == 0) {
                deflated.resize(deflated.size() * 2);
                continue;
            }
            // With room left, deflate took all it was given; finishing, it made no progress.
            if (flush != Z_FINISH || status == Z_BUF_ERROR) return flush != Z_FINISH;
        }
    };
    bool deflating = true;
    for (int y = 0; y < height && deflating; ++y) {
        char* out = row.data();
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
            *out++ = char(r - r0), *out++ = char(g - g0), *out++ = char(b - b0);
            if (!opaque) *out++ = char(a - a0);
            r0 = r, g0 = g, b0 = b, a0 = a;
        }
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = uInt(row.size());
        deflating = pump(Z_NO_FLUSH);
    }
    deflating = deflating && pump(Z_FINISH);
    deflated.resize(z.total_out);
    deflateEnd(&z);
    if (!deflating) return {};
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

rt::Ref<ns::Error> RasterContext::writePNG(const std::string& path) const {
    const std::string png = encodePNG(data(), stride(), width_, height_);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!png.empty() && out.write(png.data(), std::streamsize(png.size())) && out.flush()) return nullptr;
    const std::string why = png.empty() ? "the picture could not be compressed" : std::strerror(errno);
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
