#pragma once
// ui::Label ("UILabel"): text and how it is shown, kept as data (nothing is drawn or measured).
// A label takes no touches unless told to.

#include "platform/foundation/string.h"
#include "platform/uikit/text_alignment.h"
#include "platform/uikit/view.h"

namespace ui {

class Font;

class Label : public View {
    RT_CLASS(Label)
public:
    // Nil when it has none.
    const rt::Ref<ns::String>& text() const noexcept { return text_; }
    void setText(rt::Ref<ns::String> text);
    // The system font of 17 points unless set; setting nil goes back to it.
    const rt::Ref<Font>& font() const noexcept { return font_; }
    void setFont(rt::Ref<Font> font);
    // Black unless set; setting nil goes back to it.
    const rt::Ref<Color>& textColor() const noexcept { return textColor_; }
    void setTextColor(rt::Ref<Color> color);
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

    std::string description() const override;

protected:
    Label();
    explicit Label(const cg::Rect& frame);

private:
    rt::Ref<ns::String> text_;
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    TextAlignment alignment_ = TextAlignment::Natural;
    long lines_ = 1;
    LineBreakMode lineBreak_ = LineBreakMode::TruncatingTail;
    bool enabled_ = true;
    bool adjustsFontSize_ = false;
};

} // namespace ui
