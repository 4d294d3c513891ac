#pragma once
// ui::Label ("UILabel"): plain text laid out and drawn through the text stand-in: its font (the
// system font of 17), colour, alignment, line-break mode and number of lines. The text is centred
// vertically in the rectangle it is drawn in; the last line shown (by the line limit or the
// height) is truncated with "…" when text remains and the mode truncates (head, middle or tail on
// one line, tail on more). Sizes from sizeThatFits and intrinsicContentSize are rounded up to whole points.
// A label takes no touches unless told to. Highlighted, it draws in its highlighted text colour when
// it has one; with a shadow colour, its text casts a shadow (offset (0, -1) unless set). One that
// adjusts its font size to fit, with a minimum scale factor, shrinks its plain text before it cuts
// it or breaks a word (fittedTextForDrawing); its sizes are measured in its own font.
//
// Height for width. A label of several lines (numberOfLines 0 or more than 1) wraps, for its
// intrinsic size, at preferredMaxLayoutWidth when that is set, else at the width the layout pass
// gives it (adoptLayoutWidth): its intrinsic height is the wrapped text's, its intrinsic width the
// unbroken text's, capped by that width. Before it has a width, it measures unbroken.

#include "platform/foundation/coding.h"
#include "platform/foundation/string.h"
#include "platform/uikit/text_alignment.h"
#include "platform/uikit/view.h"

namespace ns {
class AttributedString;
}

namespace ui {

class Font;

class Label : public View, public ns::Coding {
    RT_CLASS(Label)
public:
    // Nil when it has none.
    const rt::Ref<ns::String>& text() const noexcept { return text_; }
    void setText(rt::Ref<ns::String> text);
    // The text with attributes of its own laid over the label's font, colour and style, its
    // attachments' images inline on their lines (text_attachment.h); setting it sets `text` to its
    // characters, setting `text` drops it.
    const rt::Ref<ns::AttributedString>& attributedText() const noexcept { return attributedText_; }
    void setAttributedText(rt::Ref<ns::AttributedString> text);
    // The system font of 17 points unless set; setting nil goes back to it.
    const rt::Ref<Font>& font() const noexcept { return font_; }
    void setFont(rt::Ref<Font> font);
    // Black unless set; setting nil goes back to it.
    const rt::Ref<Color>& textColor() const noexcept { return textColor_; }
    virtual void setTextColor(rt::Ref<Color> color);
    TextAlignment textAlignment() const noexcept { return alignment_; }
    void setTextAlignment(TextAlignment alignment);
    // 0: as many lines as the text needs.
    long numberOfLines() const noexcept { return lines_; }
    void setNumberOfLines(long lines);
    LineBreakMode lineBreakMode() const noexcept { return lineBreak_; }
    void setLineBreakMode(LineBreakMode mode);
    bool isEnabled() const noexcept { return enabled_; }
    void setEnabled(bool enabled);
    bool adjustsFontSizeToFitWidth() const noexcept { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool adjusts);
    // The smallest share of the font's size that shrinking to fit may go down to; 0 unless set.
    double minimumScaleFactor() const noexcept { return minimumScaleFactor_; }
    void setMinimumScaleFactor(double factor);
    // Nil (no shadow) unless set.
    const rt::Ref<Color>& shadowColor() const noexcept { return shadowColor_; }
    void setShadowColor(rt::Ref<Color> color);
    cg::Size shadowOffset() const noexcept { return shadowOffset_; }
    void setShadowOffset(cg::Size offset);
    bool isHighlighted() const noexcept { return highlighted_; }
    // A change requests display.
    virtual void setHighlighted(bool highlighted);
    // Archived under "UIText", "UIFont", "UITextColor", "UITextAlignment", "UILineBreakMode" and
    // "UINumberOfLines"; each key absent leaves its default.
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;
    // Read as one element, of static text, its text unless another label is set.
    rt::Ref<ns::String> accessibilityLabel() const override;
    // Nil (the text colour) unless set; a change requests display.
    const rt::Ref<Color>& highlightedTextColor() const noexcept { return highlightedTextColor_; }
    void setHighlightedTextColor(rt::Ref<Color> color);
    // The width a label of several lines wraps at for its intrinsic size; 0 (the default): the
    // width the layout gives it.
    double preferredMaxLayoutWidth() const noexcept { return preferredMaxWidth_; }
    void setPreferredMaxLayoutWidth(double width);

    // The rectangle the text takes within `bounds` for that many lines (0: no limit), at the
    // bounds' origin.
    virtual cg::Rect textRectForBounds(const cg::Rect& bounds, long numberOfLines) const;
    // Lays out and draws the text into the current context, centred vertically in `rect`.
    virtual void drawTextInRect(const cg::Rect& rect);
    cg::Size sizeThatFits(cg::Size size) const override;
    cg::Size intrinsicContentSize() const override;
    void sizeToFit() override { View::sizeToFit(); }
    void drawRect(const cg::Rect& rect) override { drawTextInRect(rect); }

    std::string description() const override;

protected:
    // The text with the label's font, colour and paragraph style; nil without text.
    rt::Ref<ns::AttributedString> attributedTextForDrawing() const;
    // The same, in `font`.
    rt::Ref<ns::AttributedString> attributedTextForDrawing(const rt::Ref<Font>& font) const;
    // What the label draws in a rectangle of `size`: its text, or, when the font adjusts to fit,
    // the text in the largest font down to minimumScaleFactor of its size (a factor of 0 or 1
    // keeps the size) that shows it whole in its lines with no word broken; plain text only.
    rt::Ref<ns::AttributedString> fittedTextForDrawing(cg::Size size) const;
    // The exact size of the text laid out at `width` (0 or less: unlimited) within `lines`.
    cg::Size textSize(double width, long lines) const;
    // The size the text needs at `width` (0 or less: unlimited) within `lines`, rounded up to
    // whole points: what sizeThatFits and the intrinsic size measure with. With `unbroken`, also
    // the size at no limit of width, from the same typesetting.
    virtual cg::Size measuredSize(double width, long lines, cg::Size* unbroken = nullptr) const;
    bool adoptLayoutWidth(double width) override;

    Label();
    explicit Label(const cg::Rect& frame);

private:
    void textSizeChanged();

    rt::Ref<ns::String> text_;
    rt::Ref<ns::AttributedString> attributedText_;
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    TextAlignment alignment_ = TextAlignment::Natural;
    long lines_ = 1;
    LineBreakMode lineBreak_ = LineBreakMode::TruncatingTail;
    bool enabled_ = true;
    bool adjustsFontSize_ = false;
    bool highlighted_ = false;
    double minimumScaleFactor_ = 0;
    rt::Ref<Color> shadowColor_;
    cg::Size shadowOffset_{0, -1};
    rt::Ref<Color> highlightedTextColor_;
    double preferredMaxWidth_ = 0;
    double layoutWidth_ = 0; // the width the layout pass gave, for wrapping
};

} // namespace ui
