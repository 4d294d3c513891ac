#include "platform/graphics/glyph_masks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace cg::detail {

namespace {

constexpr int kPhases = 8;                          // positions within a pixel, each way
constexpr int kLargest = 256;                       // pixels a side: larger glyphs are filled as outlines
constexpr std::size_t kBudget = std::size_t(8) << 20; // bytes of coverage kept

struct Key {
    const void* source;
    double size;
    std::uint32_t glyph;
    double a, b, c, d; // text space to pixels, without the translation
    int phaseX, phaseY;
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    std::size_t operator()(const Key& k) const noexcept {
        std::size_t h = std::hash<const void*>()(k.source);
        for (double v : {k.size, k.a, k.b, k.c, k.d}) h = h * 1099511628211ull ^ std::hash<double>()(v);
        return (h * 31 + k.glyph) * 131 + std::size_t(k.phaseX * kPhases + k.phaseY);
    }
};

// A glyph's coverage, one byte a pixel; its top left from the whole pixel of the glyph's origin.
struct Mask {
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<std::uint8_t> coverage;
};

class Masks {
public:
    std::shared_ptr<const Mask> find(const Key& key) {
        std::lock_guard guard(lock_);
        auto it = masks_.find(key);
        return it == masks_.end() ? nullptr : it->second;
    }
    // Keeps the mask (or the one another thread kept first) and hands it back.
    std::shared_ptr<const Mask> keep(const Key& key, std::shared_ptr<const Mask> mask) {
        std::lock_guard guard(lock_);
        ++made_;
        if (bytes_ + mask->coverage.size() > kBudget) {
            masks_.clear();
            bytes_ = 0;
        }
        auto [it, added] = masks_.emplace(key, std::move(mask));
        if (added) bytes_ += it->second->coverage.size();
        return it->second;
    }
    GlyphMaskCount count() {
        std::lock_guard guard(lock_);
        return {made_, masks_.size()};
    }

private:
    std::mutex lock_;
    std::unordered_map<Key, std::shared_ptr<const Mask>, KeyHash> masks_;
    std::size_t bytes_ = 0, made_ = 0;
};

Masks& masks() {
    static Masks* shared = new Masks; // kept as long as the process
    return *shared;
}

// Fills the outline into a mask at the key's transform and position within the pixel; an empty
// mask for a glyph without ink, nil for one too large to keep.
std::shared_ptr<const Mask> makeMask(const Key& key, const Path* outline) {
    auto mask = std::make_shared<Mask>();
    if (!outline) return mask;
    const AffineTransform linear{key.a, key.b, key.c, key.d, 0, 0};
    const Rect box = linear.apply(outline->boundingBox());
    const double ox = double(key.phaseX) / kPhases, oy = double(key.phaseY) / kPhases;
    if (!std::isfinite(box.minX()) || !std::isfinite(box.maxX()) || !std::isfinite(box.minY()) ||
        !std::isfinite(box.maxY()) || box.width() > kLargest || box.height() > kLargest)
        return nullptr;
    mask->x = int(std::floor(box.minX() + ox)) - 1;
    mask->y = int(std::floor(box.minY() + oy)) - 1;
    mask->width = int(std::ceil(box.maxX() + ox)) + 1 - mask->x;
    mask->height = int(std::ceil(box.maxY() + oy)) + 1 - mask->y;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, mask->width, mask->height);
    cairo_t* cr = cairo_create(surface);
    cairo_matrix_t m;
    cairo_matrix_init(&m, key.a, key.b, key.c, key.d, ox - mask->x, oy - mask->y);
    cairo_set_matrix(cr, &m);
    appendPath(cr, *outline);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    mask->coverage.resize(std::size_t(mask->width) * std::size_t(mask->height));
    for (int row = 0; row < mask->height; ++row)
        std::memcpy(mask->coverage.data() + std::size_t(row) * std::size_t(mask->width), data + row * stride,
                    std::size_t(mask->width));
    cairo_surface_destroy(surface);
    return mask;
}

} // namespace

bool paintGlyphMasks(cairo_t* cr, const GlyphRun& run, const AffineTransform& ctm, const Color& color, double alpha) {
    const void* source = run.font ? run.font->outlineSource() : nullptr;
    if (!source || run.glyphs.empty()) return source != nullptr;
    const AffineTransform linear =
        AffineTransform{run.textMatrix.a, run.textMatrix.b, run.textMatrix.c, run.textMatrix.d, 0, 0}.concat(
            AffineTransform{ctm.a, ctm.b, ctm.c, ctm.d, 0, 0});
    struct Placed {
        std::shared_ptr<const Mask> mask;
        int x, y; // the mask's top left in pixels
    };
    std::vector<Placed> placed;
    placed.reserve(run.glyphs.size());
    int left = 0, top = 0, right = 0, bottom = 0;
    for (std::size_t i = 0; i < run.glyphs.size() && i < run.positions.size(); ++i) {
        const Point origin = ctm.apply(textSpaceToUser(run, run.positions[i]));
        if (!std::isfinite(origin.x) || !std::isfinite(origin.y) || std::abs(origin.x) > 1e6 || std::abs(origin.y) > 1e6)
            return false;
        double wholeX = std::floor(origin.x), wholeY = std::floor(origin.y);
        int phaseX = int(std::lround((origin.x - wholeX) * kPhases)), phaseY = int(std::lround((origin.y - wholeY) * kPhases));
        if (phaseX == kPhases) phaseX = 0, wholeX += 1;
        if (phaseY == kPhases) phaseY = 0, wholeY += 1;
        const Key key{source, run.font->pointSize(), run.glyphs[i], linear.a, linear.b, linear.c, linear.d, phaseX, phaseY};
        std::shared_ptr<const Mask> mask = masks().find(key);
        if (!mask) {
            mask = makeMask(key, run.font->pathForGlyph(run.glyphs[i]).get());
            if (!mask) return false;
            mask = masks().keep(key, std::move(mask));
        }
        if (mask->coverage.empty()) continue;
        const Placed at{mask, int(wholeX) + mask->x, int(wholeY) + mask->y};
        if (placed.empty()) left = at.x, top = at.y, right = at.x + mask->width, bottom = at.y + mask->height;
        left = std::min(left, at.x), top = std::min(top, at.y);
        right = std::max(right, at.x + mask->width), bottom = std::max(bottom, at.y + mask->height);
        placed.push_back(at);
    }
    if (placed.empty()) return true;
    // The run's coverage: each glyph's added in, held at full.
    const int width = right - left, height = bottom - top;
    cairo_surface_t* coverage = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    unsigned char* data = cairo_image_surface_get_data(coverage);
    const int stride = cairo_image_surface_get_stride(coverage);
    for (const Placed& glyph : placed) {
        const Mask& mask = *glyph.mask;
        for (int row = 0; row < mask.height; ++row) {
            unsigned char* to = data + (glyph.y - top + row) * stride + (glyph.x - left);
            const std::uint8_t* from = mask.coverage.data() + std::size_t(row) * std::size_t(mask.width);
            for (int x = 0; x < mask.width; ++x) to[x] = std::uint8_t(std::min(255, to[x] + from[x]));
        }
    }
    cairo_surface_mark_dirty(coverage);
    cairo_identity_matrix(cr);
    cairo_set_source_rgba(cr, color.red(), color.green(), color.blue(), color.alpha() * alpha);
    cairo_mask_surface(cr, coverage, left, top);
    cairo_surface_destroy(coverage);
    return true;
}

void appendPath(cairo_t* cr, const Path& path) {
    for (const PathElement& e : path.elements()) {
        const Point* p = e.points;
        switch (e.type) {
        case PathElement::Type::MoveTo: cairo_move_to(cr, p[0].x, p[0].y); break;
        case PathElement::Type::LineTo: cairo_line_to(cr, p[0].x, p[0].y); break;
        case PathElement::Type::QuadCurveTo: {
            double x0 = p[0].x, y0 = p[0].y;
            if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x0, &y0);
            cairo_curve_to(cr, x0 + 2.0 / 3 * (p[0].x - x0), y0 + 2.0 / 3 * (p[0].y - y0),
                           p[1].x + 2.0 / 3 * (p[0].x - p[1].x), p[1].y + 2.0 / 3 * (p[0].y - p[1].y), p[1].x, p[1].y);
            break;
        }
        case PathElement::Type::CurveTo: cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y); break;
        case PathElement::Type::Arc:
            // Clockwise decreases the angle, in cairo's terms a negative arc.
            if (e.clockwise)
                cairo_arc_negative(cr, p[0].x, p[0].y, e.radius, e.startAngle, e.endAngle);
            else
                cairo_arc(cr, p[0].x, p[0].y, e.radius, e.startAngle, e.endAngle);
            break;
        case PathElement::Type::Close: cairo_close_path(cr); break;
        }
    }
}

GlyphMaskCount glyphMaskCount() {
    return masks().count();
}

} // namespace cg::detail
