#include "platform/uikit/text_view.h"

#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/font.h"
#include "platform/uikit/text_editing.h"

namespace ui {

namespace {
const rt::Sel kTextViewShouldBegin("textViewShouldBeginEditing:");
const rt::Sel kTextViewDidBegin("textViewDidBeginEditing:");
const rt::Sel kTextViewShouldEnd("textViewShouldEndEditing:");
const rt::Sel kTextViewDidEnd("textViewDidEndEditing:");
const rt::Sel kTextViewShouldChange("textView:shouldChangeTextInRange:replacementText:");
const rt::Sel kTextViewDidChange("textViewDidChange:");

void post(const char* name, TextView& view) {
    ns::NotificationCenter::defaultCenter()->postNotificationName(name, rt::retained(&view));
}
} // namespace

TextView::TextView() : TextView(cg::Rect::zero()) {}

TextView::TextView(const cg::Rect& frame)
    : View(frame), text_(ns::String::empty()), font_(Font::systemFontOfSize(12)), textColor_(Color::blackColor()) {}

void TextView::setText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "text");
    text_ = text ? std::move(text) : ns::String::empty();
}

void TextView::setFont(rt::Ref<Font> font) {
    rt::KeyChange change(this, "font");
    font_ = std::move(font);
}

void TextView::setTextColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "textColor");
    textColor_ = std::move(color);
}

void TextView::setTextAlignment(TextAlignment alignment) {
    rt::KeyChange change(this, "textAlignment");
    alignment_ = alignment;
}

void TextView::setEditable(bool editable) {
    rt::KeyChange change(this, "editable");
    editable_ = editable;
    if (!editable) resignFirstResponder();
}

void TextView::setSelectable(bool selectable) {
    rt::KeyChange change(this, "selectable");
    selectable_ = selectable;
}

void TextView::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}

bool TextView::canBecomeFirstResponder() const {
    if (!editable_) return false;
    return detail::ask(delegate(), kTextViewShouldBegin, true, rt::retained(this));
}

bool TextView::canResignFirstResponder() const {
    return detail::ask(delegate(), kTextViewShouldEnd, true, rt::retained(this));
}

void TextView::didBecomeFirstResponder() {
    editing_ = true;
    detail::tell(delegate(), kTextViewDidBegin, rt::retained(this));
    post(UITextViewTextDidBeginEditingNotification, *this);
}

void TextView::didResignFirstResponder() {
    editing_ = false;
    detail::tell(delegate(), kTextViewDidEnd, rt::retained(this));
    post(UITextViewTextDidEndEditingNotification, *this);
}

bool TextView::replace(ns::Range range, std::string_view replacement) {
    if (!editing_) return false;
    rt::Ref<TextView> self = rt::retained(this);
    if (!detail::ask(delegate(), kTextViewShouldChange, true, self, range, ns::String::make(replacement))) return false;
    setText(detail::replacing(*text_, range, replacement));
    detail::tell(delegate(), kTextViewDidChange, self);
    post(UITextViewTextDidChangeNotification, *this);
    return true;
}

bool TextView::insertText(std::string_view text) {
    return replace(detail::insertionRange(*text_), text);
}

bool TextView::deleteBackward() {
    if (text_->isEmpty()) return false;
    return replace(detail::deletionRange(*text_), "");
}

RT_DEFINE_CLASS(TextView, "UITextView", View,
                rt::prop("text", &TextView::text, &TextView::setText, {.memory = rt::Memory::Copy}),
                rt::prop("font", &TextView::font, &TextView::setFont),
                rt::prop("textColor", &TextView::textColor, &TextView::setTextColor),
                rt::prop("textAlignment", &TextView::textAlignment, &TextView::setTextAlignment),
                rt::prop("editable", &TextView::isEditable, &TextView::setEditable, {.getter = "isEditable"}),
                rt::prop("selectable", &TextView::isSelectable, &TextView::setSelectable, {.getter = "isSelectable"}),
                rt::prop("delegate", &TextView::delegate, &TextView::setDelegate, {.memory = rt::Memory::Weak}),
                rt::prop("editing", &TextView::isEditing, {.getter = "isEditing"}))

} // namespace ui
