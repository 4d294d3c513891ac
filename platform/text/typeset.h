#pragma once
// The typeset form of an attributed string (private to the typesetter): attributes resolved per
// run, grapheme clusters with their advances and glyphs, paragraphs. Immutable once made.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/text/typesetter.h"

namespace ct::detail {

struct Style {
    std::size_t start = 0, end = 0;
    rt::Ref<ns::Dictionary> attributes;
    rt::Ref<Font> font;
    rt::Ref<cg::Color> color; // nil: the context's fill
    double kern = 0;
    long underline = 0;
    double baselineShift = 0;
    rt::Ref<RunDelegate> delegate;
    int direction = -1; // -1 not set, 0 left to right, 1 right to left
    double strokeWidth = 0; // percent of the size; negative: filled and stroked
    rt::Ref<cg::Color> strokeColor;
    bool ligatures = true;
    double ascent = 0, descent = 0, leading = 0;
};

enum class ClusterKind : std::uint8_t { Ink, Space, Newline, Hyphen };

struct Cluster {
    std::uint32_t start = 0, end = 0; // UTF-16 units
    std::uint32_t style = 0;
    std::uint32_t firstGlyph = 0, glyphEnd = 0;
    ClusterKind kind = ClusterKind::Ink;
    double advance = 0;
};

struct Glyph {
    std::uint32_t id = 0;
    double advance = 0, dx = 0, dy = 0;
};

struct Paragraph {
    std::size_t start = 0, end = 0;
    rt::Ref<ns::ParagraphStyle> style;
    bool rtl = false;
};

struct Typeset {
    rt::Ref<ns::AttributedString> string;
    std::vector<Style> styles;
    std::vector<Cluster> clusters;
    std::vector<Glyph> glyphs;
    std::vector<Paragraph> paragraphs;
    std::vector<double> prefix; // prefix[i]: the advances of clusters [0, i)

    static std::shared_ptr<const Typeset> make(const ns::AttributedString& string);
    // The first cluster starting at or after `unit` (clusters.size() when none).
    std::size_t clusterAtOrAfter(std::size_t unit) const;
    const Paragraph& paragraphOf(std::size_t unit) const;
    bool isRightToLeft(const Cluster& c) const;
};

} // namespace ct::detail
