#include "platform/uikit/text_view.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/text_editing.h"
#include "platform/uikit/text_measure.h"

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
    : ScrollView(frame), text_(ns::String::empty()), font_(Font::systemFontOfSize(12)), textColor_(Color::blackColor()) {}

void TextView::setText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "text");
    text_ = text ? std::move(text) : ns::String::empty();
    attributedText_ = nullptr;
    textSizeChanged();
}

rt::Ref<ns::AttributedString> TextView::attributedText() const {
    if (attributedText_) return attributedText_;
    rt::Ref<ns::AttributedString> styled =
        detail::styledText(text_, font_, textColor_, alignment_, LineBreakMode::WordWrapping);
    return styled ? styled : ns::AttributedString::make(ns::String::empty());
}

void TextView::setAttributedText(const rt::Ref<ns::AttributedString>& text) {
    rt::KeyChange change(this, "attributedText");
    rt::KeyChange plain(this, "text");
    attributedText_ = text ? ns::AttributedString::withAttributedString(*text) : nullptr;
    text_ = text ? text->string() : ns::String::empty();
    textSizeChanged();
}

rt::Ref<ns::AttributedString> TextView::displayedText() const {
    if (attributedText_)
        return attributedText_->length() ? withAttachmentPlaceholders(attributedText_) : nullptr;
    return detail::styledText(text_, font_, textColor_, alignment_, LineBreakMode::WordWrapping);
}

void TextView::setFont(rt::Ref<Font> font) {
    rt::KeyChange change(this, "font");
    font_ = std::move(font);
    textSizeChanged();
}

void TextView::setTextColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "textColor");
    textColor_ = std::move(color);
    setNeedsDisplay();
}

void TextView::setTextAlignment(TextAlignment alignment) {
    rt::KeyChange change(this, "textAlignment");
    alignment_ = alignment;
    setNeedsDisplay();
}

void TextView::setTextContainerInset(const EdgeInsets& inset) {
    textContainerInset_ = inset;
    textSizeChanged();
}

void TextView::textSizeChanged() {
    setNeedsDisplay();
    setNeedsLayout(); // the content size, measured once at the next layout
    if (!translatesAutoresizingMaskIntoConstraints()) invalidateIntrinsicContentSize();
}

cg::Size TextView::measuredSize(double width) const {
    const double padding = textContainerInset_.left + textContainerInset_.right;
    rt::Ref<ns::AttributedString> text = displayedText();
    const cg::Size size =
        text ? detail::textSize(*text, width > padding ? width - padding : 0, 0) : cg::Size{};
    return {std::ceil(size.width) + padding,
            std::ceil(size.height) + textContainerInset_.top + textContainerInset_.bottom};
}

cg::Size TextView::sizeThatFits(cg::Size size) const {
    return measuredSize(size.width);
}

cg::Size TextView::intrinsicContentSize() const {
    if (isScrollEnabled()) return View::intrinsicContentSize();
    const cg::Size unbroken = measuredSize(0);
    if (!(layoutWidth_ > 0)) return unbroken;
    return {std::min(unbroken.width, layoutWidth_), measuredSize(layoutWidth_).height};
}

void TextView::layoutSubviews() {
    ScrollView::layoutSubviews();
    const double width = bounds().width();
    setContentSize({width, measuredSize(width).height});
}

bool TextView::adoptLayoutWidth(double width) {
    if (isScrollEnabled() || width == layoutWidth_) return false;
    layoutWidth_ = width;
    return true;
}

void TextView::drawRect(const cg::Rect& rect) {
    cg::Context* context = graphicsGetCurrentContext();
    rt::Ref<ns::AttributedString> text = maskedForDrawing(displayedText());
    const cg::Rect box = insetRect(rect, textContainerInset_);
    if (!context || !text || !(box.width() > 0) || !(box.height() > 0)) return;
    context->saveGState();
    // Engine space is y up: flip around the text's box, drawn from its top.
    context->clipToRect(box);
    context->translateCTM(box.minX(), box.maxY());
    context->scaleCTM(1, -1);
    context->setTextMatrix(cg::AffineTransform::identity());
    auto frame =
        ct::Framesetter::make(*text)->createFrame({0, 0}, cg::Rect::make(0, 0, box.width(), box.height()));
    const double flush = alignment_ == TextAlignment::Center  ? 0.5
                         : alignment_ == TextAlignment::Right ? 1
                                                              : 0;
    for (std::size_t i = 0; i < frame->lines().size(); ++i) {
        const rt::Ref<ct::Line>& line = frame->lines()[i];
        context->setTextPosition(line->penOffsetForFlush(flush, box.width()), frame->lineOrigins()[i].y);
        drawLineWithAttachments(*context, *line);
    }
    context->restoreGState();
    // A text view that scrolls shows the rest when scrolled; one that does not has cut it.
    tellTextDrawn(*this, *text->string(), isScrollEnabled() || frame->visibleStringRange().max() >= text->length());
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

RT_DEFINE_CLASS(TextView, "UITextView", ScrollView,
                rt::prop("text", &TextView::text, &TextView::setText, {.memory = rt::Memory::Copy}),
                rt::prop("attributedText", &TextView::attributedText, &TextView::setAttributedText,
                         {.memory = rt::Memory::Copy}),
                rt::prop("font", &TextView::font, &TextView::setFont),
                rt::prop("textColor", &TextView::textColor, &TextView::setTextColor),
                rt::prop("textAlignment", &TextView::textAlignment, &TextView::setTextAlignment),
                rt::prop("editable", &TextView::isEditable, &TextView::setEditable, {.getter = "isEditable"}),
                rt::prop("selectable", &TextView::isSelectable, &TextView::setSelectable,
                         {.getter = "isSelectable"}),
                rt::prop("delegate", &TextView::delegate, &TextView::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::prop("editing", &TextView::isEditing, {.getter = "isEditing"}),
                rt::prop("keyboardType", &TextView::keyboardType, &TextView::setKeyboardType),
                rt::prop("returnKeyType", &TextView::returnKeyType, &TextView::setReturnKeyType),
                rt::prop("autocorrectionType", &TextView::autocorrectionType, &TextView::setAutocorrectionType),
                rt::prop("autocapitalizationType", &TextView::autocapitalizationType,
                         &TextView::setAutocapitalizationType),
                rt::prop("keyboardAppearance", &TextView::keyboardAppearance, &TextView::setKeyboardAppearance),
                rt::prop("secureTextEntry", &TextView::isSecureTextEntry, &TextView::setSecureTextEntry,
                         {.getter = "isSecureTextEntry"}))

} // namespace ui
