#pragma once
// tl::AttributedLabel ("TLAttributedLabel"): a label that draws an attributed string with the
// string's own attributes (font, foreground colour, ...), aligned and wrapped as the label says.
// Plain text set on it takes the label's font and colour.
//
// Sizing rests on one measuring function, suggestedSizeForFramesetter, which asks the text
// engine's framesetter for the size of the text within a width (the height never limits), for a
// line limit: 1 measures the text as one unbroken line, n >= 2 the first n lines. Results are
// rounded up to whole points. Main thread only (measuring is safe on any thread).

#include "platform/foundation/attributed_string.h"
#include "platform/uikit/label.h"

namespace ct {
class Framesetter;
}

namespace tl {

class AttributedLabel : public ui::Label {
    RT_CLASS(AttributedLabel)
public:
    // The height (and for one line, the width) that stands for no limit in the engine's constraints.
    static constexpr double kUnlimited = 100000;

    static rt::Ref<AttributedLabel> make(const cg::Rect& frame = cg::Rect::zero());

    // Nil when the label has no text.
    const rt::Ref<ns::AttributedString>& attributedText() const noexcept { return attributedText_; }
    // An attributed string is kept as it is; a plain string gets the label's font and colour; nil
    // (or anything else) clears the text. The plain `text` follows.
    void setText(const rt::Id& text);

    // The size `text` needs within the width of `constraints` for `limit` lines (0: no limit);
    // (0, 0) for nil or empty text.
    static cg::Size sizeThatFitsAttributedString(const rt::Ref<ns::AttributedString>& text, cg::Size constraints,
                                                 unsigned long limit);
    // The measuring function: the size of `text` (whose length bounds the range) set by
    // `framesetter`, within `size`'s width, for `limit` lines, each side rounded up.
    static cg::Size suggestedSizeForFramesetter(const ct::Framesetter& framesetter, const ns::AttributedString& text,
                                                cg::Size size, unsigned long limit);

    cg::Size sizeThatFits(cg::Size size) const override;
    void drawTextInRect(const cg::Rect& rect) override;

protected:
    // Its own text measured as above (a width of 0 or less: no limit), for the intrinsic size.
    cg::Size measuredSize(double width, long lines, cg::Size* unbroken = nullptr) const override;
    explicit AttributedLabel(const cg::Rect& frame);
    AttributedLabel();
    ~AttributedLabel() override;

private:
    rt::Ref<ns::AttributedString> attributedText_;
};

} // namespace tl
