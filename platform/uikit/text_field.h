#pragma once
// ui::TextField ("UITextField"): one line of editable text.
//
// Editing. The field becomes the first responder when tapped (or told to) and its delegate agrees
// (textFieldShouldBeginEditing:); then the delegate hears textFieldDidBeginEditing:, the targets
// editing-did-begin (0x10000) and the default centre UITextFieldTextDidBeginEditingNotification.
// While it edits, each keyboard edit (insertText, deleteBackward) is offered to the delegate
// (textField:shouldChangeCharactersInRange:replacementString:) and, when made, sends
// editing-changed (0x20000) and UITextFieldTextDidChangeNotification. Ending (the delegate may
// refuse with textFieldShouldEndEditing:) sends textFieldDidEndEditing:, editing-did-end (0x40000)
// and UITextFieldTextDidEndEditingNotification. Text set from code sends nothing.
//
// The delegate is held weakly; every callback goes by name.
//
// Drawing. The border style: a line is a black frame of one point, a bezel a grey one, a rounded
// rectangle a white field of corner radius 5 with a light grey edge; none draws nothing. Inside
// it (7 points from the sides with a border), on one line centred vertically and cut with "…"
// at the end when too long: the text in its colour, each character a dot "•" in secure entry,
// or, while the text is empty, the placeholder in the placeholder grey.

#include <string_view>

#include "platform/foundation/string.h"
#include "platform/uikit/control.h"
#include "platform/uikit/text_alignment.h"

namespace ui {

class Font;
class Label;

inline constexpr const char* UITextFieldTextDidBeginEditingNotification = "UITextFieldTextDidBeginEditingNotification";
inline constexpr const char* UITextFieldTextDidChangeNotification = "UITextFieldTextDidChangeNotification";
inline constexpr const char* UITextFieldTextDidEndEditingNotification = "UITextFieldTextDidEndEditingNotification";

enum class TextBorderStyle : long { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };
enum class TextFieldViewMode : long { Never = 0, WhileEditing = 1, UnlessEditing = 2, Always = 3 };
// Where the text line sits in a field taller than it.
enum class ContentVerticalAlignment : long { Center = 0, Top = 1, Bottom = 2, Fill = 3 };

class TextField : public Control {
    RT_CLASS(TextField)
public:
    // Never nil: the empty string when there is none (setting nil sets it).
    const rt::Ref<ns::String>& text() const noexcept { return text_; }
    void setText(rt::Ref<ns::String> text);
    const rt::Ref<ns::String>& placeholder() const noexcept { return placeholder_; }
    void setPlaceholder(rt::Ref<ns::String> placeholder);
    const rt::Ref<Font>& font() const noexcept { return font_; }
    virtual void setFont(rt::Ref<Font> font);
    const rt::Ref<Color>& textColor() const noexcept { return textColor_; }
    void setTextColor(rt::Ref<Color> color);
    TextAlignment textAlignment() const noexcept { return alignment_; }
    void setTextAlignment(TextAlignment alignment);
    TextBorderStyle borderStyle() const noexcept { return borderStyle_; }
    void setBorderStyle(TextBorderStyle style);
    TextFieldViewMode clearButtonMode() const noexcept { return clearButtonMode_; }
    void setClearButtonMode(TextFieldViewMode mode);
    bool clearsOnBeginEditing() const noexcept { return clearsOnBeginEditing_; }
    void setClearsOnBeginEditing(bool clears);
    bool isSecureTextEntry() const noexcept { return secure_; }
    void setSecureTextEntry(bool secure);
    // The platform's keyboard traits, kept as their numbers.
    long keyboardType() const noexcept { return keyboardType_; }
    void setKeyboardType(long type);
    long returnKeyType() const noexcept { return returnKeyType_; }
    void setReturnKeyType(long type);
    long autocorrectionType() const noexcept { return autocorrectionType_; }
    void setAutocorrectionType(long type);
    long autocapitalizationType() const noexcept { return autocapitalizationType_; }
    void setAutocapitalizationType(long type);
    long keyboardAppearance() const noexcept { return keyboardAppearance_; }
    void setKeyboardAppearance(long appearance);
    bool enablesReturnKeyAutomatically() const noexcept { return enablesReturnKeyAutomatically_; }
    void setEnablesReturnKeyAutomatically(bool enables);
    ContentVerticalAlignment contentVerticalAlignment() const noexcept { return verticalAlignment_; }
    void setContentVerticalAlignment(ContentVerticalAlignment alignment);
    // Shown in the keyboard's place while the field edits; nil: the keys.
    const rt::Ref<View>& inputView() const noexcept { return inputView_; }
    void setInputView(rt::Ref<View> view);

    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);
    bool isEditing() const noexcept { return editing_; }

    // The keyboard, while the field edits: false (nothing changes) when it is not editing or the
    // delegate refused the change.
    // One character typed, or a whole string pasted at once.
    bool insertText(std::string_view text);
    bool deleteBackward();
    // The edit every keyboard change is: asks the delegate, replaces `range` (UTF-16 units, cut to
    // the text), then sends editing-changed and UITextFieldTextDidChangeNotification, in order.
    bool replace(ns::Range range, std::string_view replacement);
    // The return key: asks textFieldShouldReturn:, then sends editing-did-end-on-exit; false when
    // not editing.
    bool pressReturn();

    bool canBecomeFirstResponder() const override;
    bool usesKeyboard() const override { return true; }
    bool canResignFirstResponder() const override;

    // The placeholder's colour: the platform's light grey.
    static rt::Ref<Color> placeholderColor();
    // Where the text is drawn: the bounds less the border's room.
    virtual cg::Rect textRectForBounds(const cg::Rect& bounds) const;
    void drawRect(const cg::Rect& rect) override;
    // Draws the text (or the placeholder) into `rect` of the current context; subclasses draw
    // their own.
    virtual void drawTextInRect(const cg::Rect& rect);

protected:
    TextField();
    explicit TextField(const cg::Rect& frame);
    void didBecomeFirstResponder() override;
    void didResignFirstResponder() override;
    void didCompleteTap(const rt::Ref<Event>& event) override;

private:
    rt::Ref<ns::String> text_;
    rt::Ref<ns::String> placeholder_;
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    rt::Weak<rt::Object> delegate_;
    rt::Ref<Label> drawing_; // draws the text line, made on first draw
    rt::Ref<View> inputView_;
    TextAlignment alignment_ = TextAlignment::Natural;
    TextBorderStyle borderStyle_ = TextBorderStyle::None;
    TextFieldViewMode clearButtonMode_ = TextFieldViewMode::Never;
    long keyboardType_ = 0;
    long returnKeyType_ = 0;
    long autocorrectionType_ = 0;
    long autocapitalizationType_ = 2; // sentences
    long keyboardAppearance_ = 0;
    ContentVerticalAlignment verticalAlignment_ = ContentVerticalAlignment::Center;
    bool enablesReturnKeyAutomatically_ = false;
    bool clearsOnBeginEditing_ = false;
    bool secure_ = false;
    bool editing_ = false;
};

} // namespace ui
