#include "platform/uikit/text_field.h"

#include <algorithm>

#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/bezier_path.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/event.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_editing.h"

namespace ui {

namespace {
const rt::Sel kShouldBegin("textFieldShouldBeginEditing:");
const rt::Sel kDidBegin("textFieldDidBeginEditing:");
const rt::Sel kShouldEnd("textFieldShouldEndEditing:");
const rt::Sel kDidEnd("textFieldDidEndEditing:");
const rt::Sel kShouldChange("textField:shouldChangeCharactersInRange:replacementString:");
const rt::Sel kShouldReturn("textFieldShouldReturn:");

void post(const char* name, TextField& field) {
    ns::NotificationCenter::defaultCenter()->postNotificationName(name, rt::retained(&field));
}
} // namespace

TextField::TextField() : TextField(cg::Rect::zero()) {}

TextField::TextField(const cg::Rect& frame)
    : Control(frame), text_(ns::String::empty()), font_(Font::systemFontOfSize(17)), textColor_(Color::blackColor()) {}

void TextField::setText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "text");
    text_ = text ? std::move(text) : ns::String::empty();
}

void TextField::setPlaceholder(rt::Ref<ns::String> placeholder) {
    rt::KeyChange change(this, "placeholder");
    placeholder_ = std::move(placeholder);
}

void TextField::setFont(rt::Ref<Font> font) {
    rt::KeyChange change(this, "font");
    font_ = std::move(font);
}

void TextField::setTextColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "textColor");
    textColor_ = std::move(color);
}

void TextField::setTextAlignment(TextAlignment alignment) {
    rt::KeyChange change(this, "textAlignment");
    alignment_ = alignment;
}

void TextField::setBorderStyle(TextBorderStyle style) {
    rt::KeyChange change(this, "borderStyle");
    borderStyle_ = style;
}

void TextField::setClearButtonMode(TextFieldViewMode mode) {
    rt::KeyChange change(this, "clearButtonMode");
    clearButtonMode_ = mode;
}

void TextField::setClearsOnBeginEditing(bool clears) {
    rt::KeyChange change(this, "clearsOnBeginEditing");
    clearsOnBeginEditing_ = clears;
}

void TextField::setSecureTextEntry(bool secure) {
    rt::KeyChange change(this, "secureTextEntry");
    secure_ = secure;
}

void TextField::setKeyboardType(long type) {
    rt::KeyChange change(this, "keyboardType");
    keyboardType_ = type;
}

void TextField::setReturnKeyType(long type) {
    rt::KeyChange change(this, "returnKeyType");
    returnKeyType_ = type;
}

void TextField::setAutocorrectionType(long type) {
    rt::KeyChange change(this, "autocorrectionType");
    autocorrectionType_ = type;
}

void TextField::setAutocapitalizationType(long type) {
    rt::KeyChange change(this, "autocapitalizationType");
    autocapitalizationType_ = type;
}

void TextField::setKeyboardAppearance(long appearance) {
    rt::KeyChange change(this, "keyboardAppearance");
    keyboardAppearance_ = appearance;
}

void TextField::setEnablesReturnKeyAutomatically(bool enables) {
    rt::KeyChange change(this, "enablesReturnKeyAutomatically");
    enablesReturnKeyAutomatically_ = enables;
}

void TextField::setContentVerticalAlignment(ContentVerticalAlignment alignment) {
    rt::KeyChange change(this, "contentVerticalAlignment");
    verticalAlignment_ = alignment;
}

void TextField::setInputView(rt::Ref<View> view) {
    rt::KeyChange change(this, "inputView");
    inputView_ = std::move(view);
}

void TextField::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}

// ---- Drawing -----------------------------------------------------------------------------------

rt::Ref<Color> TextField::placeholderColor() {
    return Color::colorWithRed(199.0 / 255, 199.0 / 255, 205.0 / 255, 1);
}

cg::Rect TextField::textRectForBounds(const cg::Rect& bounds) const {
    const double side = borderStyle_ == TextBorderStyle::None ? 0 : 7;
    return insetRect(bounds, {0, side, 0, side});
}

void TextField::drawRect(const cg::Rect& rect) {
    const cg::Rect edge = insetRect(bounds(), {0.5, 0.5, 0.5, 0.5}); // a one-point line inside the bounds
    if (borderStyle_ == TextBorderStyle::RoundedRect) {
        auto field = BezierPath::bezierPathWithRoundedRect(edge, 5);
        Color::whiteColor()->setFill();
        field->fill();
        Color::colorWithWhite(0.8, 1)->setStroke();
        field->stroke();
    } else if (borderStyle_ != TextBorderStyle::None) {
        (borderStyle_ == TextBorderStyle::Line ? Color::blackColor() : Color::grayColor())->setStroke();
        BezierPath::bezierPathWithRect(edge)->stroke();
    }
    drawTextInRect(textRectForBounds(rect));
}

void TextField::drawTextInRect(const cg::Rect& rect) {
    const bool placeholder = text_->isEmpty();
    rt::Ref<ns::String> shown = placeholder ? placeholder_ : text_;
    if (!placeholder && secure_) {
        std::string dots; // one a character: a byte that does not continue one
        for (const char byte : text_->utf8())
            if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) dots += "\u2022";
        shown = ns::String::make(dots);
    }
    if (!shown || shown->isEmpty()) return;
    if (!drawing_) drawing_ = rt::make<Label>();
    drawing_->setText(shown);
    drawing_->setFont(font_);
    drawing_->setTextColor(placeholder ? placeholderColor() : textColor_);
    drawing_->setTextAlignment(alignment_);
    drawing_->drawTextInRect(rect);
}

// ---- Editing -----------------------------------------------------------------------------------

bool TextField::canBecomeFirstResponder() const {
    if (!isEnabled()) return false;
    return detail::ask(delegate(), kShouldBegin, true, rt::retained(this));
}

bool TextField::canResignFirstResponder() const {
    return detail::ask(delegate(), kShouldEnd, true, rt::retained(this));
}

void TextField::didBecomeFirstResponder() {
    rt::Ref<TextField> self = rt::retained(this);
    editing_ = true;
    if (clearsOnBeginEditing_) setText(nullptr);
    detail::tell(delegate(), kDidBegin, self);
    sendActionsForEvents(ControlEvent::EditingDidBegin, nullptr);
    post(UITextFieldTextDidBeginEditingNotification, *this);
}

void TextField::didResignFirstResponder() {
    rt::Ref<TextField> self = rt::retained(this);
    editing_ = false;
    detail::tell(delegate(), kDidEnd, self);
    sendActionsForEvents(ControlEvent::EditingDidEnd, nullptr);
    post(UITextFieldTextDidEndEditingNotification, *this);
}

void TextField::didCompleteTap(const rt::Ref<Event>&) {
    becomeFirstResponder();
}

bool TextField::replace(ns::Range range, std::string_view replacement) {
    if (!editing_) return false;
    const std::size_t length = text_->length();
    range.location = std::min(range.location, length);
    range.length = std::min(range.length, length - range.location);
    rt::Ref<TextField> self = rt::retained(this);
    if (!detail::ask(delegate(), kShouldChange, true, self, range, ns::String::make(replacement))) return false;
    setText(detail::replacing(*text_, range, replacement));
    sendActionsForEvents(ControlEvent::EditingChanged, nullptr);
    post(UITextFieldTextDidChangeNotification, *this);
    return true;
}

bool TextField::insertText(std::string_view text) {
    return replace(detail::insertionRange(*text_), text);
}

bool TextField::deleteBackward() {
    if (text_->isEmpty()) return false;
    return replace(detail::deletionRange(*text_), "");
}

bool TextField::pressReturn() {
    if (!editing_) return false;
    rt::Ref<TextField> self = rt::retained(this);
    detail::ask(delegate(), kShouldReturn, true, self);
    sendActionsForEvents(ControlEvent::EditingDidEndOnExit, nullptr);
    return true;
}

RT_DEFINE_CLASS(TextField, "UITextField", Control,
                rt::prop("text", &TextField::text, &TextField::setText, {.memory = rt::Memory::Copy}),
                rt::prop("placeholder", &TextField::placeholder, &TextField::setPlaceholder, {.memory = rt::Memory::Copy}),
                rt::prop("font", &TextField::font, &TextField::setFont),
                rt::prop("textColor", &TextField::textColor, &TextField::setTextColor),
                rt::prop("textAlignment", &TextField::textAlignment, &TextField::setTextAlignment),
                rt::prop("borderStyle", &TextField::borderStyle, &TextField::setBorderStyle),
                rt::prop("clearButtonMode", &TextField::clearButtonMode, &TextField::setClearButtonMode),
                rt::prop("clearsOnBeginEditing", &TextField::clearsOnBeginEditing, &TextField::setClearsOnBeginEditing),
                rt::prop("secureTextEntry", &TextField::isSecureTextEntry, &TextField::setSecureTextEntry,
                         {.getter = "isSecureTextEntry"}),
                rt::prop("keyboardType", &TextField::keyboardType, &TextField::setKeyboardType),
                rt::prop("returnKeyType", &TextField::returnKeyType, &TextField::setReturnKeyType),
                rt::prop("autocorrectionType", &TextField::autocorrectionType, &TextField::setAutocorrectionType),
                rt::prop("autocapitalizationType", &TextField::autocapitalizationType,
                         &TextField::setAutocapitalizationType),
                rt::prop("keyboardAppearance", &TextField::keyboardAppearance, &TextField::setKeyboardAppearance),
                rt::prop("enablesReturnKeyAutomatically", &TextField::enablesReturnKeyAutomatically,
                         &TextField::setEnablesReturnKeyAutomatically),
                rt::prop("contentVerticalAlignment", &TextField::contentVerticalAlignment,
                         &TextField::setContentVerticalAlignment),
                rt::prop("inputView", &TextField::inputView, &TextField::setInputView),
                rt::prop("delegate", &TextField::delegate, &TextField::setDelegate, {.memory = rt::Memory::Weak}),
                rt::prop("editing", &TextField::isEditing, {.getter = "isEditing"}))

} // namespace ui
