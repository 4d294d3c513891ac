#include "platform/text/typeset.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/array.h"
#include "platform/runtime/number.h"
#include "platform/text/font_backend.h"
#include "platform/text/utf16.h"

namespace ct::detail {

namespace {

bool isNewline(char16_t u) {
    return u == '\n' || u == '\r' || u == 0x2028 || u == 0x2029 || u == 0x85;
}

double numberOr(const rt::Id& value, double fallback) {
    auto* n = dynamic_cast<const rt::NumericValue*>(value.get());
    if (!n) return fallback;
    const double v = n->doubleValue();
    return std::isfinite(v) ? v : fallback;
}

// 1 right to left, 0 left to right, -1 neither.
int strongDirection(char32_t c) {
    if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF)) return 1;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0x058F && c != 0xD7 && c != 0xF7) ||
        (c >= 0x0900 && c <= 0x1FFF) || (c >= 0x3040 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3))
        return 0;
    return -1;
}

Style resolve(const rt::Ref<ns::Dictionary>& a, ns::Range range) {
    Style s;
    s.start = range.location, s.end = range.max();
    s.attributes = a;
    rt::Id font = a->objectForKey(ns::FontAttributeName);
    if (auto* f = dynamic_cast<const Font*>(font.get()))
        s.font = rt::retained(f);
    else if (auto* source = dynamic_cast<const FontSource*>(font.get()))
        s.font = source->ctFont();
    if (!s.font) s.font = Font::defaultFont();
    s.color = cg::colorFromValue(a->objectForKey(ns::CTForegroundColorAttributeName).get());
    if (!s.color) s.color = cg::colorFromValue(a->objectForKey(ns::ForegroundColorAttributeName).get());
    if (!s.color && !(numberOr(a->objectForKey(ns::CTForegroundColorFromContextAttributeName), 0) != 0))
        s.color = cg::Color::black();
    s.kern = numberOr(a->objectForKey(ns::KernAttributeName), 0);
    s.underline = long(numberOr(a->objectForKey(ns::UnderlineStyleAttributeName), 0));
    s.baselineShift = numberOr(a->objectForKey(ns::SuperscriptAttributeName), 0) * s.font->size() / 3;
    s.delegate = rt::cast<RunDelegate>(a->objectForKey(ns::RunDelegateAttributeName));
    rt::Id direction = a->objectForKey(ns::WritingDirectionAttributeName);
    if (auto array = rt::cast<ns::Array>(direction); array && array->count() > 0)
        s.direction = long(numberOr(array->objectAtIndex(0), 0)) & 1;
    else if (direction)
        s.direction = long(numberOr(direction, 0)) & 1;
    s.strokeWidth = numberOr(a->objectForKey(ns::StrokeWidthAttributeName), 0);
    s.strokeColor = cg::colorFromValue(a->objectForKey(ns::StrokeColorAttributeName).get());
    s.ligatures = numberOr(a->objectForKey(ns::LigatureAttributeName), 1) != 0;
    if (s.delegate) {
        s.ascent = s.delegate->ascent(), s.descent = s.delegate->descent(), s.leading = 0;
    } else {
        s.ascent = s.font->ascent(), s.descent = s.font->descent(), s.leading = s.font->leading();
    }
    return s;
}

ClusterKind kindOf(std::u16string_view unitsOfCluster) {
    const char16_t u = unitsOfCluster[0];
    if (isNewline(u)) return ClusterKind::Newline;
    if (unitsOfCluster.size() == 1 && (u == ' ' || u == '\t' || u == 0x3000 || (u >= 0x2000 && u <= 0x200A)))
        return ClusterKind::Space;
    if (u == '-' || u == 0x2010) return ClusterKind::Hyphen;
    return ClusterKind::Ink;
}

} // namespace

std::shared_ptr<const Typeset> Typeset::make(const ns::AttributedString& source) {
    auto t = std::make_shared<Typeset>();
    t->string = ns::AttributedString::withAttributedString(source);
    const ns::String& string = *t->string->string();
    const std::u16string text = string.utf16();
    const std::size_t length = text.size();

    source.enumerateAttributes({0, length}, [&](const rt::Ref<ns::Dictionary>& a, ns::Range r, bool&) {
        t->styles.push_back(resolve(a, r));
    });

    // Paragraphs, each ending after its newline.
    for (std::size_t start = 0; start < length;) {
        std::size_t end = start;
        while (end < length && !isNewline(text[end])) ++end;
        if (end < length) end += (text[end] == '\r' && end + 1 < length && text[end + 1] == '\n') ? 2 : 1;
        Paragraph p{start, end, nullptr, false};
        rt::Id style = t->string->attributeAtIndex(ns::ParagraphStyleAttributeName, start);
        p.style = rt::cast<ns::ParagraphStyle>(style);
        if (!p.style) p.style = ns::ParagraphStyle::defaultStyle();
        for (std::size_t i = start; i < end;) {
            const int d = strongDirection(utf16::next(text, i, end));
            if (d >= 0) {
                p.rtl = d == 1;
                break;
            }
        }
        t->paragraphs.push_back(std::move(p));
        start = end;
    }

    // A cluster and a glyph per unit at most, as a rule: room for them all at once, so that long
    // text is not copied again and again as it grows.
    t->clusters.reserve(length);
    t->glyphs.reserve(length);
    std::vector<ShapedGlyph> shaped;
    shaped.reserve(length);
    for (const Paragraph& p : t->paragraphs) {
        const std::u16string_view paragraph(text.data() + p.start, p.end - p.start);
        for (std::size_t si = 0; si < t->styles.size(); ++si) {
            const Style& style = t->styles[si];
            const std::size_t lo = std::max(style.start, p.start), hi = std::min(style.end, p.end);
            if (lo >= hi) continue;
            // Grapheme clusters of this segment (held inside it).
            const std::size_t firstCluster = t->clusters.size();
            for (std::size_t i = lo; i < hi;) {
                ns::Range r = string.rangeOfComposedCharacterSequenceAtIndex(i);
                const std::size_t end = std::min(hi, std::max(r.max(), i + 1));
                // Filled in place: a cluster built aside and copied in is read back whole right
                // after its fields were written one by one, which stalls the copy on every cluster.
                Cluster& c = t->clusters.emplace_back();
                c.start = std::uint32_t(i), c.end = std::uint32_t(end), c.style = std::uint32_t(si);
                c.kind = kindOf(std::u16string_view(text.data() + i, end - i));
                i = end;
            }
            // The cluster holding `unit`. Shaping gives its glyph groups in text order, so a cursor
            // walks forward with them; a group behind the cursor is searched for.
            std::size_t cursor = firstCluster;
            auto clusterOf = [&](std::size_t unit) {
                if (t->clusters[cursor].start > unit) {
                    auto it = std::upper_bound(t->clusters.begin() + firstCluster, t->clusters.begin() + cursor, unit,
                                               [](std::size_t u, const Cluster& c) { return u < c.start; });
                    cursor = std::size_t(it - t->clusters.begin()) - 1;
                }
                while (cursor + 1 < t->clusters.size() && t->clusters[cursor + 1].start <= unit) ++cursor;
                return cursor;
            };
            if (style.delegate) {
                for (std::size_t c = firstCluster; c < t->clusters.size(); ++c) {
                    t->clusters[c].advance = style.delegate->width();
                    t->clusters[c].firstGlyph = t->clusters[c].glyphEnd = std::uint32_t(t->glyphs.size());
                }
                continue;
            }
            const auto segmentGlyphs = std::uint32_t(t->glyphs.size());
            shaped.clear();
            style.font->face().shape(paragraph, lo - p.start, hi - lo, style.ligatures, shaped);
            const double size = style.font->size();
            // Glyphs go to the cluster their shaping cluster starts in; a glyph group covering several
            // clusters (a ligature) shares its advance among them evenly.
            std::size_t g = 0;
            while (g < shaped.size()) {
                const std::size_t groupStart = shaped[g].cluster + p.start;
                std::size_t next = g;
                double advance = 0;
                while (next < shaped.size() && shaped[next].cluster + p.start == groupStart) advance += shaped[next++].advance;
                const std::size_t groupEnd = next < shaped.size() ? std::max<std::size_t>(shaped[next].cluster + p.start, groupStart + 1) : hi;
                const std::size_t owner = clusterOf(std::min(std::max(groupStart, lo), hi - 1));
                std::size_t last = owner;
                while (last + 1 < t->clusters.size() && t->clusters[last + 1].start < groupEnd) ++last;
                Cluster& c = t->clusters[owner];
                if (c.glyphEnd == c.firstGlyph) c.firstGlyph = c.glyphEnd = std::uint32_t(t->glyphs.size());
                for (std::size_t k = g; k < next; ++k) {
                    t->glyphs.push_back({shaped[k].glyph, shaped[k].advance * size, shaped[k].xOffset * size, shaped[k].yOffset * size});
                    c.glyphEnd = std::uint32_t(t->glyphs.size());
                }
                const double share = advance * size / double(last - owner + 1);
                for (std::size_t k = owner; k <= last; ++k) t->clusters[k].advance += share;
                g = next;
            }
            // A cluster without glyphs (inside a ligature) stands between its neighbours' glyphs, so
            // every run of clusters covers one stretch of glyphs.
            std::uint32_t glyphsSoFar = segmentGlyphs;
            for (std::size_t c = firstCluster; c < t->clusters.size(); ++c) {
                Cluster& cluster = t->clusters[c];
                if (cluster.kind == ClusterKind::Newline) { // no width, nothing drawn
                    cluster.advance = 0;
                    const std::uint32_t after = cluster.glyphEnd > cluster.firstGlyph ? cluster.glyphEnd : glyphsSoFar;
                    cluster.firstGlyph = cluster.glyphEnd = glyphsSoFar; // its glyph is not drawn
                    glyphsSoFar = after;
                    continue;
                }
                if (cluster.glyphEnd == cluster.firstGlyph) cluster.firstGlyph = cluster.glyphEnd = glyphsSoFar;
                glyphsSoFar = cluster.glyphEnd;
                cluster.advance += style.kern;
            }
        }
    }
    // Paragraph by paragraph, style by style: the clusters are in text order.
    t->prefix.resize(t->clusters.size() + 1);
    for (std::size_t i = 0; i < t->clusters.size(); ++i) t->prefix[i + 1] = t->prefix[i] + t->clusters[i].advance;
    return t;
}

std::size_t Typeset::clusterAtOrAfter(std::size_t unit) const {
    return std::lower_bound(clusters.begin(), clusters.end(), unit,
                            [](const Cluster& c, std::size_t u) { return c.start < u; }) - clusters.begin();
}

const Paragraph& Typeset::paragraphOf(std::size_t unit) const {
    auto it = std::upper_bound(paragraphs.begin(), paragraphs.end(), unit,
                               [](std::size_t u, const Paragraph& p) { return u < p.end; });
    return it == paragraphs.end() ? paragraphs.back() : *it;
}

bool Typeset::isRightToLeft(const Cluster& c) const {
    const Style& s = styles[c.style];
    return s.direction >= 0 ? s.direction == 1 : paragraphOf(c.start).rtl;
}

} // namespace ct::detail
