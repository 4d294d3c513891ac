#pragma once
// ui::TextView ("UITextView"): editable text of many lines, in a scroll view (scroll_view.h:
// content offset, insets, scrollEnabled). Its content size follows its text: the bounds' width and
// the text's height wrapped at it, with the text container's insets, worked out at layout.
//
// Editing as a text field's, with the text view's delegate callbacks, all by name:
// textViewShouldBeginEditing:, textViewDidBeginEditing:, textView:shouldChangeTextInRange:replacementText:,
// textViewDidChange: after each keyboard edit, textViewShouldEndEditing: and textViewDidEndEditing:;
// and UITextViewTextDidBeginEditingNotification, UITextViewTextDidChangeNotification and
// UITextViewTextDidEndEditingNotification. Text set from code tells no one. The delegate is held
// weakly.
//
// Attributed text: setting it sets `text` to its characters and is drawn with its own attributes
// (text attachments as their images, text_attachment.h), its lines placed by the view's
// alignment; setting `text` again drops it, and the plain text is then drawn with the view's font,
// colour and alignment. The attributed text read back is the one set, or the plain text so styled.
//
// Drawing and size. The text is drawn from the top left of the bounds less the text container's
// insets (8 above and below, 5 of line padding at each side), wrapped at words. A text view that
// does not scroll (scrollEnabled NO) has an intrinsic size, with the label's height-for-width rule
// (label.h): the text wrapped at the width the layout gives, plus the insets; one that scrolls has
// none.

#include <string_view>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/string.h"
#include "platform/uikit/text_alignment.h"
#include "platform/uikit/scroll_view.h"

namespace ui {

class Font;

inline constexpr const char* UITextViewTextDidBeginEditingNotification = "UITextViewTextDidBeginEditingNotification";
inline constexpr const char* UITextViewTextDidChangeNotification = "UITextViewTextDidChangeNotification";
inline constexpr const char* UITextViewTextDidEndEditingNotification = "UITextViewTextDidEndEditingNotification";

class TextView : public ScrollView {
    RT_CLASS(TextView)
public:
    // Never nil: the empty string when there is none (setting nil sets it).
    const rt::Ref<ns::String>& text() const noexcept { return text_; }
    void setText(rt::Ref<ns::String> text);
    // Never nil (empty when there is no text).
    rt::Ref<ns::AttributedString> attributedText() const;
    void setAttributedText(const rt::Ref<ns::AttributedString>& text);
    const rt::Ref<Font>& font() const noexcept { return font_; }
    void setFont(rt::Ref<Font> font);
    const rt::Ref<Color>& textColor() const noexcept { return textColor_; }
    void setTextColor(rt::Ref<Color> color);
    TextAlignment textAlignment() const noexcept { return alignment_; }
    void setTextAlignment(TextAlignment alignment);
    bool isEditable() const noexcept { return editable_; }
    void setEditable(bool editable);
    bool isSelectable() const noexcept { return selectable_; }
    void setSelectable(bool selectable);
    // What the text keeps from the bounds unless set: 8 above and below, 5 at each side.
    static constexpr EdgeInsets kTextInsets{8, 5, 8, 5};
    const EdgeInsets& textContainerInset() const noexcept { return textContainerInset_; }
    void setTextContainerInset(const EdgeInsets& inset);

    // The keyboard's traits, kept as the platform's numbers.
    long keyboardType() const noexcept { return keyboardType_; }
    void setKeyboardType(long type) noexcept { keyboardType_ = type; }
    long returnKeyType() const noexcept { return returnKeyType_; }
    void setReturnKeyType(long type) noexcept { returnKeyType_ = type; }
    long autocorrectionType() const noexcept { return autocorrectionType_; }
    void setAutocorrectionType(long type) noexcept { autocorrectionType_ = type; }
    long autocapitalizationType() const noexcept { return autocapitalizationType_; }
    void setAutocapitalizationType(long type) noexcept { autocapitalizationType_ = type; }
    long keyboardAppearance() const noexcept { return keyboardAppearance_; }
    void setKeyboardAppearance(long appearance) noexcept { keyboardAppearance_ = appearance; }
    bool isSecureTextEntry() const noexcept { return secure_; }
    void setSecureTextEntry(bool secure) noexcept { secure_ = secure; }

    cg::Size intrinsicContentSize() const override;
    cg::Size sizeThatFits(cg::Size size) const override;
    void drawRect(const cg::Rect& rect) override;

    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);
    bool isEditing() const noexcept { return editing_; }

    // The keyboard, while the view edits: false (nothing changes) when it is not editing or the
    // delegate refused the change.
    bool insertText(std::string_view text);
    bool deleteBackward();

    bool canBecomeFirstResponder() const override;
    bool usesKeyboard() const override { return true; }
    bool canResignFirstResponder() const override;

protected:
    TextView();
    explicit TextView(const cg::Rect& frame);
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;
    bool adoptLayoutWidth(double width) override;
    void scrollEnabledDidChange() override { textSizeChanged(); }
    // The content size from the text, at the bounds' width.
    void layoutSubviews() override;

private:
    EdgeInsets textContainerInset_ = kTextInsets;
    // The text's size wrapped at `width` (0 or less: unlimited), rounded up, with the insets.
    cg::Size measuredSize(double width) const;
    void textSizeChanged();
    // What is measured and drawn: the attributed text set (attachments as placeholders), else the
    // plain text styled; nil when there is nothing to draw.
    rt::Ref<ns::AttributedString> displayedText() const;

    bool replace(ns::Range range, std::string_view replacement);

    rt::Ref<ns::String> text_;
    rt::Ref<ns::AttributedString> attributedText_; // nil: plain text
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    rt::Weak<rt::Object> delegate_;
    TextAlignment alignment_ = TextAlignment::Natural;
    bool editable_ = true;
    bool selectable_ = true;
    bool editing_ = false;
    double layoutWidth_ = 0;
    long keyboardType_ = 0, returnKeyType_ = 0, autocorrectionType_ = 0, autocapitalizationType_ = 2,
         keyboardAppearance_ = 0;
    bool secure_ = false;
};

} // namespace ui
