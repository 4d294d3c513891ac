#include "platform/text/typesetter.h"

#include <algorithm>
#include <cmath>

#include "platform/runtime/class.h"
#include "platform/text/typeset.h"

namespace ct {

using detail::Cluster;
using detail::ClusterKind;
using detail::Style;
using detail::Typeset;

namespace {

double sane(double v) {
    return v >= 0 && std::isfinite(v) ? v : 0;
}

bool isWhitespace(const Cluster& c) {
    return c.kind == ClusterKind::Space || c.kind == ClusterKind::Newline;
}

using LineBreak = ns::ParagraphStyle::LineBreak;

// The end of the line that starts at cluster `first` within `width` (at least one cluster).
std::size_t breakLine(const Typeset& t, std::size_t first, std::size_t end, double width, LineBreak mode) {
    const auto& clusters = t.clusters;
    if (mode == LineBreak::Clipping) {
        for (std::size_t i = first; i < end; ++i)
            if (clusters[i].kind == ClusterKind::Newline) return i + 1;
        return end;
    }
    const bool words = mode != LineBreak::CharWrapping;
    double x = 0;
    std::size_t lastBreak = 0; // 0: none (a line never ends at its own start)
    for (std::size_t i = first; i < end; ++i) {
        const Cluster& c = clusters[i];
        if (c.kind == ClusterKind::Newline) return i + 1;
        if (c.kind == ClusterKind::Space && words) { // spaces hang past the width
            x += c.advance;
            lastBreak = i + 1;
            continue;
        }
        if (x + c.advance > width && i > first) return words && lastBreak ? lastBreak : i;
        x += c.advance;
        if (c.kind == ClusterKind::Hyphen && words) lastBreak = i + 1;
    }
    return end;
}

double flushOf(const detail::Paragraph& p) {
    switch (p.style->alignment()) {
    case 1: return 0.5; // centre
    case 2: return 1;   // right
    case 4: return p.rtl ? 1 : 0; // natural
    default: return 0; // left; justified lays out as natural left-to-right text
    }
}

} // namespace

// ---- RunDelegate ----

rt::Ref<RunDelegate> RunDelegate::make(Callbacks callbacks, rt::Id reference) {
    return rt::make<RunDelegate>(std::move(callbacks), std::move(reference));
}

double RunDelegate::ascent() const {
    return callbacks_.ascent ? sane(callbacks_.ascent(reference_)) : 0;
}

double RunDelegate::descent() const {
    return callbacks_.descent ? sane(callbacks_.descent(reference_)) : 0;
}

double RunDelegate::width() const {
    return callbacks_.width ? sane(callbacks_.width(reference_)) : 0;
}

// ---- Run ----

const rt::Ref<ns::Dictionary>& Run::attributes() const {
    return typeset_->styles[style_].attributes;
}

const rt::Ref<Font>& Run::font() const {
    return typeset_->styles[style_].font;
}

double Run::typographicBounds(double* ascent, double* descent, double* leading) const {
    const Style& s = typeset_->styles[style_];
    if (ascent) *ascent = s.ascent;
    if (descent) *descent = s.descent;
    if (leading) *leading = s.leading;
    return width_;
}

// ---- Line ----

rt::Ref<Line> Line::make(const ns::AttributedString& string) {
    auto typeset = Typeset::make(string);
    const std::size_t n = typeset->clusters.size();
    return over(std::move(typeset), 0, n, 0);
}

rt::Ref<Line> Line::over(std::shared_ptr<const Typeset> typeset, std::size_t first, std::size_t end, std::size_t indexBase) {
    auto line = rt::make<Line>();
    const Typeset& t = *typeset;
    line->first_ = first, line->end_ = end;
    line->width_ = t.prefix[end] - t.prefix[first];
    std::size_t ink = end;
    while (ink > first && isWhitespace(t.clusters[ink - 1])) --ink;
    line->trailing_ = t.prefix[end] - t.prefix[ink];
    for (std::size_t c = first; c < end; ++c) {
        if (c > first && t.clusters[c].style == t.clusters[c - 1].style) continue;
        const Style& s = t.styles[t.clusters[c].style];
        line->ascent_ = std::max(line->ascent_, s.ascent + s.baselineShift);
        line->descent_ = std::max(line->descent_, s.descent - s.baselineShift);
        line->leading_ = std::max(line->leading_, s.leading);
    }
    if (first == end && !t.styles.empty()) { // an empty line keeps its font's height
        const Style& s = t.styles.back();
        line->ascent_ = s.ascent, line->descent_ = s.descent, line->leading_ = s.leading;
    }
    line->indexShift_ = std::ptrdiff_t(indexBase);
    line->typeset_ = std::move(typeset);
    return line;
}

ns::Range Line::stringRange() const {
    const Typeset& t = *typeset_;
    if (first_ == end_) {
        const std::size_t at = first_ < t.clusters.size() ? t.clusters[first_].start : t.string->length();
        return {std::size_t(std::ptrdiff_t(at) + indexShift_), 0};
    }
    const std::size_t start = t.clusters[first_].start, end = t.clusters[end_ - 1].end;
    return {std::size_t(std::ptrdiff_t(start) + indexShift_), end - start};
}

double Line::xOf(std::size_t cluster) const {
    return typeset_->prefix[cluster] - typeset_->prefix[first_];
}

std::vector<rt::Ref<Run>> Line::glyphRuns() const {
    const Typeset& t = *typeset_;
    std::vector<rt::Ref<Run>> runs;
    for (std::size_t c = first_; c < end_;) {
        std::size_t e = c + 1;
        while (e < end_ && t.clusters[e].style == t.clusters[c].style) ++e;
        auto run = rt::make<Run>();
        run->typeset_ = typeset_;
        run->style_ = t.clusters[c].style;
        run->range_ = {std::size_t(std::ptrdiff_t(t.clusters[c].start) + indexShift_), t.clusters[e - 1].end - t.clusters[c].start};
        run->status_ = t.isRightToLeft(t.clusters[c]) ? Run::RightToLeft : Run::NoStatus;
        run->x_ = xOf(c);
        run->width_ = xOf(e) - run->x_;
        const double shift = t.styles[run->style_].baselineShift;
        const std::size_t glyphs = std::max(t.clusters[e - 1].glyphEnd, t.clusters[c].firstGlyph) - t.clusters[c].firstGlyph;
        run->glyphs_.reserve(glyphs);
        run->positions_.reserve(glyphs);
        for (std::size_t k = c; k < e; ++k) {
            const Cluster& cluster = t.clusters[k];
            double x = xOf(k);
            for (std::uint32_t g = cluster.firstGlyph; g < cluster.glyphEnd; ++g) {
                run->glyphs_.push_back(t.glyphs[g].id);
                run->positions_.push_back({x + t.glyphs[g].dx, shift + t.glyphs[g].dy});
                x += t.glyphs[g].advance;
            }
        }
        runs.push_back(std::move(run));
        c = e;
    }
    return runs;
}

std::size_t Line::glyphCount() const {
    if (first_ == end_) return 0;
    return typeset_->clusters[end_ - 1].glyphEnd - typeset_->clusters[first_].firstGlyph;
}

double Line::typographicBounds(double* ascent, double* descent, double* leading) const {
    if (ascent) *ascent = ascent_;
    if (descent) *descent = descent_;
    if (leading) *leading = leading_;
    return width_;
}

double Line::penOffsetForFlush(double flush, double width) const {
    if (!std::isfinite(flush) || !std::isfinite(width)) return 0;
    return std::max(0.0, (width - (width_ - trailing_)) * std::clamp(flush, 0.0, 1.0));
}

rt::Ref<Line> Line::truncated(double width, TruncationType type, const rt::Ref<Line>& token) const {
    if (!(width >= 0)) return nullptr;
    if (width_ - trailing_ <= width) return rt::retained(this);
    const double tokenWidth = token ? token->width() : 0;
    if (tokenWidth > width) return nullptr;
    const Typeset& t = *typeset_;
    const std::size_t n = end_ - first_;
    auto prefix = [&](std::size_t k) { return t.prefix[first_ + k] - t.prefix[first_]; };
    auto split = [type](std::size_t k) -> std::pair<std::size_t, std::size_t> {
        const std::size_t left = type == TruncationType::End ? k : type == TruncationType::Start ? 0 : (k + 1) / 2;
        return {left, k - left};
    };
    // The most clusters whose measured widths fit beside the token...
    std::size_t k = n;
    while (k > 0) {
        --k;
        const auto [left, right] = split(k);
        if (prefix(left) + (prefix(n) - prefix(n - right)) + tokenWidth <= width) break;
    }
    // ...then fewer while the text shaped anew (kerning, ligatures across the join) is wider.
    for (;; --k) {
        const auto [left, right] = split(k);
        auto text = ns::MutableAttributedString::make();
        auto piece = [&](std::size_t from, std::size_t to) { // clusters of this line, relative
            if (from >= to) return;
            const std::size_t a = t.clusters[first_ + from].start, b = t.clusters[first_ + to - 1].end;
            text->appendAttributedString(*t.string->attributedSubstringFromRange({a, b - a}));
        };
        piece(0, left);
        if (token && token->first_ < token->end_) {
            const Typeset& tt = *token->typeset_;
            const std::size_t a = tt.clusters[token->first_].start, b = tt.clusters[token->end_ - 1].end;
            text->appendAttributedString(*tt.string->attributedSubstringFromRange({a, b - a}));
        }
        piece(n - right, n);
        auto typeset = Typeset::make(*text);
        const std::size_t count = typeset->clusters.size();
        auto line = over(std::move(typeset), 0, count, stringRange().location);
        if (line->width_ <= width || k == 0) return line->width_ <= width ? line : nullptr;
    }
}

std::size_t Line::stringIndexForPosition(cg::Point position) const {
    const ns::Range range = stringRange();
    if (first_ == end_ || !(position.x > 0)) return range.location;
    const Typeset& t = *typeset_;
    // The first cluster whose middle lies beyond x.
    const double base = t.prefix[first_];
    auto it = std::upper_bound(t.clusters.begin() + std::ptrdiff_t(first_), t.clusters.begin() + std::ptrdiff_t(end_),
                               position.x, [&](double x, const Cluster& c) {
                                   const std::size_t i = std::size_t(&c - t.clusters.data());
                                   return x < t.prefix[i] - base + c.advance / 2;
                               });
    if (it == t.clusters.begin() + std::ptrdiff_t(end_)) return range.max();
    return std::size_t(std::ptrdiff_t(it->start) + indexShift_);
}

double Line::offsetForStringIndex(std::size_t index) const {
    const ns::Range range = stringRange();
    if (index <= range.location || first_ == end_) return 0;
    if (index >= range.max()) return width_;
    const Typeset& t = *typeset_;
    const std::size_t unit = std::size_t(std::ptrdiff_t(index) - indexShift_);
    // The cluster holding the unit.
    auto it = std::upper_bound(t.clusters.begin() + std::ptrdiff_t(first_), t.clusters.begin() + std::ptrdiff_t(end_),
                               unit, [](std::size_t u, const Cluster& c) { return u < c.start; });
    return xOf(std::size_t(it - t.clusters.begin()) - 1);
}

void Line::draw(cg::Context& context) const {
    const cg::Point origin = context.textPosition();
    const Typeset& t = *typeset_;
    for (const rt::Ref<Run>& run : glyphRuns()) {
        const Style& s = t.styles[run->style_];
        if (s.delegate) continue; // a placeholder draws nothing
        context.setTextPosition(origin.x + run->x_, origin.y);
        cg::GlyphRun glyphs;
        glyphs.font = s.font;
        glyphs.glyphs = std::move(run->glyphs_); // the run is this call's own
        glyphs.width = run->width_;
        glyphs.color = s.color;
        glyphs.positions.reserve(run->positions_.size());
        for (cg::Point p : run->positions_) glyphs.positions.push_back({p.x - run->x_, p.y});
        if (s.strokeWidth != 0) {
            const double width = std::abs(s.strokeWidth) * s.font->size() / 100;
            if (s.strokeWidth < 0) context.showGlyphRun(glyphs); // filled, then outlined
            context.setTextPosition(origin.x + run->x_, origin.y);
            glyphs.strokeWidth = width;
            glyphs.strokeColor = s.strokeColor ? s.strokeColor : (s.color ? s.color : context.state().fillColor);
        }
        if (!glyphs.glyphs.empty()) context.showGlyphRun(std::move(glyphs));
        if (s.underline != 0 && run->width_ > 0) {
            const double thickness = s.font->underlineThickness() * ((s.underline & 0xff) == 2 ? 2 : 1);
            const double y = s.font->underlinePosition() + s.baselineShift;
            const cg::AffineTransform& m = context.textMatrix();
            const cg::Point a = m.apply(cg::Point{run->x_, y}), b = m.apply(cg::Point{run->x_ + run->width_, y});
            context.saveGState();
            if (s.color) context.setStrokeColor(s.color);
            else context.setStrokeColor(context.state().fillColor);
            context.setLineWidth(thickness);
            context.setLineDash(0, {});
            context.beginPath();
            context.moveToPoint(origin.x + a.x, origin.y + a.y);
            context.addLineToPoint(origin.x + b.x, origin.y + b.y);
            context.strokePath();
            context.restoreGState();
        }
    }
    context.setTextPosition(origin.x + width_, origin.y);
}

// ---- Frame ----

void Frame::draw(cg::Context& context) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        context.setTextPosition(box_.minX() + origins_[i].x, box_.minY() + origins_[i].y);
        lines_[i]->draw(context);
    }
}

// ---- Framesetter ----

struct Framesetter::Layout {
    std::vector<rt::Ref<Line>> lines;
    std::vector<cg::Point> origins;
    double depth = 0;       // from the top to the last line's bottom
    double widest = 0;      // without trailing whitespace, indents included
    ns::Range visible;
};

rt::Ref<Framesetter> Framesetter::make(const ns::AttributedString& string) {
    auto framesetter = rt::make<Framesetter>();
    framesetter->typeset_ = Typeset::make(string);
    return framesetter;
}

const rt::Ref<ns::AttributedString>& Framesetter::attributedString() const {
    return typeset_->string;
}

void Framesetter::layOut(ns::Range range, const cg::Rect& box, Layout& out) const {
    const Typeset& t = *typeset_;
    const std::size_t length = t.string->length();
    const std::size_t from = std::min(range.location, length);
    const std::size_t to = range.length == 0 ? length : std::min(length, from + std::min(range.length, length - from));
    out.visible = {from, 0};
    if (!std::isfinite(box.minX()) || !std::isfinite(box.minY()) || !(box.size.width >= 0) || !(box.size.height >= 0))
        return;
    const double width = box.size.width, height = box.size.height;
    std::size_t c = t.clusterAtOrAfter(from);
    const std::size_t end = t.clusterAtOrAfter(to);
    double depth = 0;
    while (c < end) {
        const detail::Paragraph& paragraph = t.paragraphOf(t.clusters[c].start);
        const ns::ParagraphStyle& style = *paragraph.style;
        const double indent = t.clusters[c].start == paragraph.start ? style.firstLineHeadIndent() : 0;
        const double available = std::max(0.0, width - indent);
        const std::size_t e = std::min(end, breakLine(t, c, end, available, style.lineBreakMode()));
        auto line = Line::over(typeset_, c, e, 0);
        double lineHeight = line->ascent_ + line->descent_ + line->leading_;
        if (style.lineHeightMultiple() > 0) lineHeight *= style.lineHeightMultiple();
        lineHeight = std::max(lineHeight, style.minimumLineHeight());
        if (style.maximumLineHeight() > 0) lineHeight = std::min(lineHeight, style.maximumLineHeight());
        const double lineBottom = depth + (out.lines.empty() ? 0 : style.lineSpacing()) + lineHeight;
        if (lineBottom > height + 1e-9 * std::max(1.0, height)) break; // the next line's box does not fit
        out.origins.push_back({indent + line->penOffsetForFlush(flushOf(paragraph), available),
                               height - lineBottom + line->descent_});
        out.widest = std::max(out.widest, indent + line->width_ - line->trailing_);
        out.depth = depth = lineBottom;
        out.visible.length = t.clusters[e - 1].end - from;
        out.lines.push_back(std::move(line));
        c = e;
    }
}

rt::Ref<Frame> Framesetter::createFrame(ns::Range range, const rt::Ref<cg::Path>& path) const {
    const cg::Rect box = path ? path->boundingBox() : cg::Rect::null();
    auto frame = rt::make<Frame>();
    frame->path_ = path ? path : cg::Path::withRect(cg::Rect::zero());
    const std::size_t length = typeset_->string->length();
    const std::size_t from = std::min(range.location, length);
    frame->range_ = {from, range.length == 0 ? length - from : std::min(range.length, length - from)};
    if (box.isNull()) {
        frame->visible_ = {from, 0};
        return frame;
    }
    frame->box_ = box;
    Layout layout;
    layOut(range, box, layout);
    frame->lines_ = std::move(layout.lines);
    frame->origins_ = std::move(layout.origins);
    frame->visible_ = layout.visible;
    return frame;
}

rt::Ref<Frame> Framesetter::createFrame(ns::Range range, const cg::Rect& rect) const {
    if (!std::isfinite(rect.size.width) || !std::isfinite(rect.size.height) || rect.size.width < 0 || rect.size.height < 0)
        return createFrame(range, rt::Ref<cg::Path>());
    return createFrame(range, cg::Path::withRect(rect));
}

cg::Size Framesetter::suggestFrameSizeWithConstraints(ns::Range range, cg::Size constraints, ns::Range* fitRange) const {
    if (fitRange) *fitRange = {std::min(range.location, typeset_->string->length()), 0};
    if (!(constraints.width >= 0) || !(constraints.height >= 0)) return {};
    const double unlimited = 1e300;
    const double width = std::isinf(constraints.width) ? unlimited : constraints.width;
    const double height = std::isinf(constraints.height) ? unlimited : constraints.height;
    Layout layout;
    layOut(range, cg::Rect::make(0, 0, width, height), layout);
    if (fitRange) *fitRange = layout.visible;
    if (layout.lines.empty()) return {};
    return {layout.widest, layout.depth};
}

RT_DEFINE_CLASS(RunDelegate, "CTRunDelegate", rt::Object)
RT_DEFINE_CLASS(Run, "CTRun", rt::Object)
RT_DEFINE_CLASS(Line, "CTLine", rt::Object)
RT_DEFINE_CLASS(Frame, "CTFrame", rt::Object)
RT_DEFINE_CLASS(Framesetter, "CTFramesetter", rt::Object)

} // namespace ct
