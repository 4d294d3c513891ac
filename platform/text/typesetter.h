#pragma once
// The text stand-in's typesetter (namespace ct), after the platform's text framework:
//
// - Framesetter ("CTFramesetter") typesets an attributed string once (fonts resolved, every run
//   shaped over its paragraph, grapheme clusters measured) and keeps it; frames for any range and
//   rectangle, and suggested sizes, only break lines over that work.
// - Frame ("CTFrame"): the lines of a range that fit a rectangle, filled from the top, with their
//   origins (y up, relative to the rectangle's bottom-left corner).
// - Line ("CTLine"): runs of one set of attributes each; measures, flush offsets, truncation, hit
//   testing, drawing. Run ("CTRun"): the glyphs of one run, positions relative to the line origin.
// - RunDelegate ("CTRunDelegate"): sizes a placeholder that draws nothing.
//
// Breaking: word wrap at spaces and after hyphens (the spaces stay on the line, hanging past the
// width); a word longer than the line breaks between grapheme clusters; a newline ends its line
// and belongs to it. Character wrap breaks between any clusters; clip keeps one line per
// paragraph. The truncating modes lay out as word wrap (truncation is the caller's, with
// Line::truncated). A cluster, and so a surrogate pair, is never split.
//
// Attributes read: font (ui::Font or ct::Font; 12 pt without), foreground colour (either key, a
// ui::Color or a cg::Color; black without), foreground-from-context (the context's fill), kern
// (after each cluster), paragraph style (of the paragraph's first character), underline,
// superscript (S/3 per step), run delegate, writing direction, stroke width and colour, ligature.
//
// Right to left (by the writing-direction attribute, or the paragraph's first strong character)
// sets the run's status bit only: runs are not reordered. Justified text lays out as natural.
// Ranges past the text are clamped to it; non-finite or negative sizes give empty frames and zero
// sizes. Nothing is rounded.
//
// Immutable once made: framesetters, frames and lines may be used from several threads.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/context.h"
#include "platform/text/font.h"

namespace ct {

namespace detail {
struct Typeset;
}

enum class TruncationType : int { Start = 0, End = 1, Middle = 2 };

class RunDelegate final : public rt::Object {
    RT_CLASS(RunDelegate)
public:
    struct Callbacks {
        std::function<double(const rt::Id& reference)> ascent;
        std::function<double(const rt::Id& reference)> descent;
        std::function<double(const rt::Id& reference)> width;
    };
    static rt::Ref<RunDelegate> make(Callbacks callbacks, rt::Id reference);

    // A missing callback, or one that answers a negative or non-finite value, gives 0.
    double ascent() const;
    double descent() const;
    double width() const;
    const rt::Id& reference() const noexcept { return reference_; }

private:
    RunDelegate(Callbacks callbacks, rt::Id reference)
        : callbacks_(std::move(callbacks)), reference_(std::move(reference)) {}
    Callbacks callbacks_;
    rt::Id reference_;
};

class Run final : public rt::Object {
    RT_CLASS(Run)
public:
    enum Status : unsigned { NoStatus = 0, RightToLeft = 1 };

    ns::Range stringRange() const noexcept { return range_; }
    const rt::Ref<ns::Dictionary>& attributes() const;
    const rt::Ref<Font>& font() const;
    unsigned status() const noexcept { return status_; }
    // The width; ascent, descent and leading through the pointers (each may be null).
    double typographicBounds(double* ascent, double* descent, double* leading) const;
    // The run's start on its line.
    double xOffset() const noexcept { return x_; }
    std::size_t glyphCount() const noexcept { return glyphs_.size(); }
    const std::vector<std::uint32_t>& glyphs() const noexcept { return glyphs_; }
    // Relative to the line's origin, y up.
    const std::vector<cg::Point>& positions() const noexcept { return positions_; }

private:
    friend class Line;
    Run() = default;
    std::shared_ptr<const detail::Typeset> typeset_;
    std::uint32_t style_ = 0;
    ns::Range range_;
    unsigned status_ = NoStatus;
    double x_ = 0, width_ = 0;
    std::vector<std::uint32_t> glyphs_;
    std::vector<cg::Point> positions_;
};

class Line final : public rt::Object {
    RT_CLASS(Line)
public:
    // The whole string as one line (newlines included, nothing broken).
    static rt::Ref<Line> make(const ns::AttributedString& string);

    ns::Range stringRange() const;
    std::vector<rt::Ref<Run>> glyphRuns() const;
    std::size_t glyphCount() const;
    // The typographic width (trailing whitespace included); the tallest run's ascent, descent and
    // leading through the pointers.
    double typographicBounds(double* ascent, double* descent, double* leading) const;
    double width() const noexcept { return width_; }
    double trailingWhitespaceWidth() const noexcept { return trailing_; }
    // max(0, (width - the width without trailing whitespace) × flush); flush 0 left, 0.5 centre, 1 right.
    double penOffsetForFlush(double flush, double width) const;
    // This line when it fits `width`; otherwise a new line of its text less whole clusters (from
    // the end, the start or the middle) with the token's text where they were, as wide as fits.
    // Nil when the token alone does not fit. A nil token counts as empty. The new line's indexes
    // count from this line's start through its own text.
    rt::Ref<Line> truncated(double width, TruncationType type, const rt::Ref<Line>& token) const;
    // The caret boundary nearest to x (a point right of a cluster's middle gives its end); positions
    // before the line give its start, beyond it its end.
    std::size_t stringIndexForPosition(cg::Point position) const;
    // The caret's x for an index (an index inside a cluster gives the cluster's start; past the
    // line, its width).
    double offsetForStringIndex(std::size_t index) const;
    // One glyph run per run, at the context's text position; underlines as strokes. The text
    // position moves to the line's end.
    void draw(cg::Context& context) const;

private:
    friend class Frame;
    friend class Framesetter;
    Line() = default;
    static rt::Ref<Line> over(std::shared_ptr<const detail::Typeset> typeset, std::size_t first, std::size_t end,
                              std::size_t indexBase);
    // x of cluster `c` (first_ <= c <= end_) from the line's start.
    double xOf(std::size_t cluster) const;

    std::shared_ptr<const detail::Typeset> typeset_;
    std::size_t first_ = 0, end_ = 0; // clusters [first_, end_)
    std::ptrdiff_t indexShift_ = 0;   // added to the typeset's indexes when reported
    double width_ = 0, trailing_ = 0, ascent_ = 0, descent_ = 0, leading_ = 0;
};

class Frame final : public rt::Object {
    RT_CLASS(Frame)
public:
    ns::Range stringRange() const noexcept { return range_; }
    // What the lines hold.
    ns::Range visibleStringRange() const noexcept { return visible_; }
    const rt::Ref<cg::Path>& path() const noexcept { return path_; }
    const std::vector<rt::Ref<Line>>& lines() const noexcept { return lines_; }
    // Baseline origins, y up, relative to the path's bounding box.
    const std::vector<cg::Point>& lineOrigins() const noexcept { return origins_; }
    // Each line at its origin (offset by the box's origin).
    void draw(cg::Context& context) const;

private:
    friend class Framesetter;
    Frame() = default;
    ns::Range range_, visible_;
    rt::Ref<cg::Path> path_;
    cg::Rect box_;
    std::vector<rt::Ref<Line>> lines_;
    std::vector<cg::Point> origins_;
};

class Framesetter final : public rt::Object {
    RT_CLASS(Framesetter)
public:
    static rt::Ref<Framesetter> make(const ns::AttributedString& string);

    const rt::Ref<ns::AttributedString>& attributedString() const;
    // The lines of `range` (length 0: to the end) that fit the path's bounding box.
    rt::Ref<Frame> createFrame(ns::Range range, const rt::Ref<cg::Path>& path) const;
    rt::Ref<Frame> createFrame(ns::Range range, const cg::Rect& rect) const;
    // The widest line without trailing whitespace, by the distance from the top to the last line's
    // bottom, for the lines of `range` that fit the constraints (an infinite one is no limit).
    cg::Size suggestFrameSizeWithConstraints(ns::Range range, cg::Size constraints, ns::Range* fitRange = nullptr) const;

private:
    Framesetter() = default;
    struct Layout;
    void layOut(ns::Range range, const cg::Rect& box, Layout& out) const;
    std::shared_ptr<const detail::Typeset> typeset_;
};

} // namespace ct
