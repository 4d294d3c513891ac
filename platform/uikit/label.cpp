#include "platform/uikit/label.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/coder.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/accessibility_element.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/text_measure.h"

namespace ui {

Label::Label() : Label(cg::Rect::zero()) {}

Label::Label(const cg::Rect& frame)
    : View(frame), font_(Font::systemFontOfSize(Font::labelFontSize())), textColor_(Color::blackColor()) {
    setUserInteractionEnabled(false);
    setIsAccessibilityElement(true);
    setAccessibilityTraits(AccessibilityTraitStaticText);
}

rt::Ref<ns::String> Label::accessibilityLabel() const {
    if (auto label = View::accessibilityLabel()) return label;
    return text_;
}

// A label laid out by constraints tells the layout pass that its intrinsic size may have moved.
void Label::textSizeChanged() {
    if (!translatesAutoresizingMaskIntoConstraints()) invalidateIntrinsicContentSize();
}

void Label::setText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "text");
    text_ = std::move(text);
    attributedText_ = nullptr;
    setNeedsDisplay();
    textSizeChanged();
}

void Label::setFont(rt::Ref<Font> font) {
    rt::KeyChange change(this, "font");
    font_ = font ? std::move(font) : Font::systemFontOfSize(Font::labelFontSize());
    setNeedsDisplay();
    textSizeChanged();
}

void Label::setTextColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "textColor");
    textColor_ = color ? std::move(color) : Color::blackColor();
    setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment alignment) {
    rt::KeyChange change(this, "textAlignment");
    alignment_ = alignment;
    setNeedsDisplay();
}

void Label::setNumberOfLines(long lines) {
    rt::KeyChange change(this, "numberOfLines");
    lines_ = lines;
    setNeedsDisplay();
    textSizeChanged();
}

void Label::setLineBreakMode(LineBreakMode mode) {
    rt::KeyChange change(this, "lineBreakMode");
    lineBreak_ = mode;
    setNeedsDisplay();
}

void Label::setPreferredMaxLayoutWidth(double width) {
    rt::KeyChange change(this, "preferredMaxLayoutWidth");
    preferredMaxWidth_ = std::isfinite(width) && width > 0 ? width : 0;
    textSizeChanged();
}

void Label::setEnabled(bool enabled) {
    rt::KeyChange change(this, "enabled");
    enabled_ = enabled;
    setNeedsDisplay();
}

void Label::setAdjustsFontSizeToFitWidth(bool adjusts) {
    rt::KeyChange change(this, "adjustsFontSizeToFitWidth");
    adjustsFontSize_ = adjusts;
    setNeedsDisplay();
}

void Label::setMinimumScaleFactor(double factor) {
    rt::KeyChange change(this, "minimumScaleFactor");
    minimumScaleFactor_ = factor;
}

void Label::setShadowColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "shadowColor");
    shadowColor_ = std::move(color);
    setNeedsDisplay();
}

void Label::setShadowOffset(cg::Size offset) {
    rt::KeyChange change(this, "shadowOffset");
    shadowOffset_ = offset;
    setNeedsDisplay();
}

void Label::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    rt::KeyChange change(this, "highlighted");
    highlighted_ = highlighted;
    setNeedsDisplay();
}

void Label::setHighlightedTextColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "highlightedTextColor");
    highlightedTextColor_ = std::move(color);
    setNeedsDisplay();
}

namespace {

constexpr double kUnlimited = std::numeric_limits<double>::infinity();

bool truncates(LineBreakMode mode) {
    return mode == LineBreakMode::TruncatingHead || mode == LineBreakMode::TruncatingMiddle ||
           mode == LineBreakMode::TruncatingTail;
}

} // namespace

void Label::setAttributedText(rt::Ref<ns::AttributedString> text) {
    setText(text ? text->string() : nullptr);
    rt::KeyChange change(this, "attributedText");
    attributedText_ = std::move(text);
}

rt::Ref<ns::AttributedString> Label::attributedTextForDrawing() const {
    return attributedTextForDrawing(font_);
}

rt::Ref<ns::AttributedString> Label::attributedTextForDrawing(const rt::Ref<Font>& font) const {
    // The engine wraps where a label truncates; the label truncates its last line itself.
    const rt::Ref<Color>& color = highlighted_ && highlightedTextColor_ ? highlightedTextColor_ : textColor_;
    auto styled = detail::styledText(text_, font, color, alignment_,
                                     truncates(lineBreak_) ? LineBreakMode::WordWrapping : lineBreak_);
    if (!styled || !attributedText_) return styled;
    auto text = ns::MutableAttributedString::make(styled->string(), styled->attributesAtIndex(0));
    attributedText_->enumerateAttributes({0, attributedText_->length()},
                                         [&](const ns::AttributedString::Attributes& attributes, ns::Range range, bool&) {
                                             if (attributes) text->addAttributes(*attributes, range);
                                         });
    return withAttachmentPlaceholders(text);
}

cg::Size Label::textSize(double width, long lines) const {
    rt::Ref<ns::AttributedString> text = attributedTextForDrawing();
    return text ? detail::textSize(*text, width, lines) : cg::Size{};
}

namespace detail {

rt::Ref<ns::AttributedString> styledText(const rt::Ref<ns::String>& text, const rt::Ref<Font>& font,
                                         const rt::Ref<Color>& color, TextAlignment alignment,
                                         LineBreakMode wrap) {
    if (!text || text->isEmpty()) return nullptr;
    auto style = ns::MutableParagraphStyle::make();
    style->setAlignment(long(alignment));
    style->setLineBreakMode(ns::ParagraphStyle::LineBreak(long(wrap)));
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(font, ns::FontAttributeName);
    attributes->setObjectForKey(color, ns::ForegroundColorAttributeName);
    attributes->setObjectForKey(style, ns::ParagraphStyleAttributeName);
    return ns::AttributedString::make(text, attributes);
}

cg::Size textSize(const ns::AttributedString& text, double width, long lines) {
    if (lines == 1) { // one unbroken line
        auto line = ct::Line::make(text);
        double ascent = 0, descent = 0, leading = 0;
        const double w = line->typographicBounds(&ascent, &descent, &leading);
        return {w - line->trailingWhitespaceWidth(), ascent + descent + leading};
    }
    return textSize(*ct::Framesetter::make(text), width, lines);
}

cg::Size textSize(const ct::Framesetter& framesetter, double width, long lines) {
    if (!(width > 0)) width = kUnlimited;
    ns::Range range{0, 0};
    if (lines > 1) {
        auto frame = framesetter.createFrame({0, 0}, cg::Rect::make(0, 0, std::min(width, 1e9), 1e9));
        if (!frame->lines().empty())
            range.length =
                frame->lines()[std::min<std::size_t>(std::size_t(lines), frame->lines().size()) - 1]
                    ->stringRange()
                    .max();
    }
    return framesetter.suggestFrameSizeWithConstraints(range, {width, kUnlimited});
}

} // namespace detail

cg::Rect Label::textRectForBounds(const cg::Rect& bounds, long numberOfLines) const {
    const cg::Size size = textSize(bounds.width(), numberOfLines);
    return {bounds.origin, {std::min(size.width, bounds.width()), std::min(size.height, bounds.height())}};
}

cg::Size Label::measuredSize(double width, long lines, cg::Size* unbroken) const {
    auto rounded = [](cg::Size size) { return cg::Size{std::ceil(size.width), std::ceil(size.height)}; };
    rt::Ref<ns::AttributedString> text = attributedTextForDrawing();
    cg::Size size;
    if (text && lines == 1) {
        size = rounded(detail::textSize(*text, width, lines));
        if (unbroken) *unbroken = size;
    } else if (text) { // one typesetting for both widths
        auto framesetter = ct::Framesetter::make(*text);
        size = rounded(detail::textSize(*framesetter, width, lines));
        if (unbroken) *unbroken = rounded(detail::textSize(*framesetter, 0, lines));
    } else if (unbroken) {
        *unbroken = {};
    }
    return size;
}

cg::Size Label::sizeThatFits(cg::Size size) const {
    return measuredSize(size.width, lines_);
}

cg::Size Label::intrinsicContentSize() const {
    const double wrapAt = lines_ == 1 ? 0 : preferredMaxWidth_ > 0 ? preferredMaxWidth_ : layoutWidth_;
    if (!(wrapAt > 0)) return measuredSize(0, lines_);
    cg::Size unbroken;
    const cg::Size wrapped = measuredSize(wrapAt, lines_, &unbroken);
    return {std::min(unbroken.width, wrapAt), wrapped.height};
}

bool Label::adoptLayoutWidth(double width) {
    if (lines_ == 1 || preferredMaxWidth_ > 0 || width == layoutWidth_) return false;
    layoutWidth_ = width;
    return true;
}

namespace {

// Whether `text` laid out in `size` shows whole, in `lines` at most (0: any number), with no word
// broken between two lines.
bool showsWhole(const ns::AttributedString& text, cg::Size size, long lines) {
    auto frame =
        ct::Framesetter::make(text)->createFrame({0, 0}, cg::Rect::make(0, 0, size.width, size.height));
    const auto& laid = frame->lines();
    if (laid.empty() || (lines > 0 && laid.size() > std::size_t(lines)) ||
        laid.back()->stringRange().max() < text.length())
        return false;
    const ns::String& characters = *text.string();
    for (std::size_t i = 0; i + 1 < laid.size(); ++i) {
        const std::size_t end = laid[i]->stringRange().max();
        const char16_t last = end ? characters.characterAtIndex(end - 1) : u' ';
        if (last != u' ' && last != u'\n' && last != u'-') return false;
    }
    return true;
}

} // namespace

rt::Ref<ns::AttributedString> Label::fittedTextForDrawing(cg::Size size) const {
    rt::Ref<ns::AttributedString> text = attributedTextForDrawing();
    const double smallest = minimumScaleFactor_ * font_->pointSize();
    if (!text || attributedText_ || !adjustsFontSize_ ||
        !(minimumScaleFactor_ > 0 && minimumScaleFactor_ < 1) || showsWhole(*text, size, lines_))
        return text;
    // The largest size, to a quarter point, at which the text shows whole; the smallest when none.
    const auto at = [&](double points) { return attributedTextForDrawing(font_->fontWithSize(points)); };
    double fits = smallest, cuts = font_->pointSize();
    while (cuts - fits > 0.25) {
        const double middle = (fits + cuts) / 2;
        (showsWhole(*at(middle), size, lines_) ? fits : cuts) = middle;
    }
    return at(fits);
}

void Label::drawTextInRect(const cg::Rect& rect) {
    cg::Context* context = graphicsGetCurrentContext();
    if (!context || !(rect.width() > 0) || !(rect.height() > 0)) return;
    rt::Ref<ns::AttributedString> fitted = fittedTextForDrawing(rect.size);
    rt::Ref<ns::AttributedString> text = maskedForDrawing(fitted);
    if (!text) return;
    const double height = std::min(rect.height(), detail::textSize(*fitted, rect.width(), lines_).height);
    const double width = rect.width();
    context->saveGState();
    if (shadowColor_) context->setShadowWithColor(shadowOffset_, 0, shadowColor_->cgColor());
    // Engine space is y up: flip around the text's box, centred in the rectangle.
    context->translateCTM(rect.minX(), rect.minY() + (rect.height() - height) / 2 + height);
    context->scaleCTM(1, -1);
    context->setTextMatrix(cg::AffineTransform::identity());
    auto framesetter = ct::Framesetter::make(*text);
    auto frame = framesetter->createFrame({0, 0}, cg::Rect::make(0, 0, width, height));
    const auto& lines = frame->lines();
    const std::size_t count = lines_ > 0 ? std::min<std::size_t>(std::size_t(lines_), lines.size()) : lines.size();
    const double flush = alignment_ == TextAlignment::Center ? 0.5 : alignment_ == TextAlignment::Right ? 1 : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const cg::Point origin = frame->lineOrigins()[i];
        rt::Ref<ct::Line> line = lines[i];
        const ns::Range range = line->stringRange();
        if (i + 1 == count && truncates(lineBreak_) && range.max() < text->length()) {
            // The rest of the text (all of it on one line) with "…" for what does not fit.
            ct::TruncationType type = ct::TruncationType::End;
            if (lines_ == 1 && lineBreak_ == LineBreakMode::TruncatingHead) type = ct::TruncationType::Start;
            if (lines_ == 1 && lineBreak_ == LineBreakMode::TruncatingMiddle) type = ct::TruncationType::Middle;
            const std::size_t from = lines_ == 1 ? 0 : range.location;
            auto rest = text->attributedSubstringFromRange({from, text->length() - from});
            auto token = ct::Line::make(*ns::AttributedString::make("\u2026", text->attributesAtIndex(range.location)));
            auto whole = ct::Line::make(*rest);
            rt::Ref<ct::Line> cut = whole->truncated(width, type, token);
            line = cut ? cut : token;
            context->setTextPosition(line->penOffsetForFlush(flush, width), origin.y);
        } else {
            context->setTextPosition(origin.x, origin.y);
        }
        drawLineWithAttachments(*context, *line);
    }
    context->restoreGState();
    tellTextDrawn(*this, *text->string(), (count ? lines[count - 1]->stringRange().max() : 0) >= text->length());
}

std::string Label::description() const {
    std::string text = View::description();
    text.pop_back();
    return text + "; text = '" + (text_ ? text_->utf8() : std::string()) + "'>";
}

RT_DEFINE_CLASS(Label, "UILabel", View,
                rt::prop("text", &Label::text, &Label::setText, {.memory = rt::Memory::Copy}),
                rt::prop("attributedText", &Label::attributedText, &Label::setAttributedText,
                         {.memory = rt::Memory::Copy}),
                rt::prop("font", &Label::font, &Label::setFont),
                rt::prop("textColor", &Label::textColor, &Label::setTextColor),
                rt::prop("textAlignment", &Label::textAlignment, &Label::setTextAlignment),
                rt::prop("numberOfLines", &Label::numberOfLines, &Label::setNumberOfLines),
                rt::prop("lineBreakMode", &Label::lineBreakMode, &Label::setLineBreakMode),
                rt::prop("enabled", &Label::isEnabled, &Label::setEnabled, {.getter = "isEnabled"}),
                rt::prop("adjustsFontSizeToFitWidth", &Label::adjustsFontSizeToFitWidth,
                         &Label::setAdjustsFontSizeToFitWidth),
                rt::prop("preferredMaxLayoutWidth", &Label::preferredMaxLayoutWidth,
                         &Label::setPreferredMaxLayoutWidth),
                rt::prop("minimumScaleFactor", &Label::minimumScaleFactor, &Label::setMinimumScaleFactor),
                rt::prop("shadowColor", &Label::shadowColor, &Label::setShadowColor),
                rt::prop("shadowOffset", &Label::shadowOffset, &Label::setShadowOffset),
                rt::prop("highlighted", &Label::isHighlighted, &Label::setHighlighted, {.getter = "isHighlighted"}),
                rt::prop("highlightedTextColor", &Label::highlightedTextColor, &Label::setHighlightedTextColor),
                ns::adoptsCoding())

void Label::encodeWithCoder(ns::Coder& coder) const {
    if (text_) coder.encodeObject(text_, "UIText");
    coder.encodeObject(font_, "UIFont");
    coder.encodeObject(textColor_, "UITextColor");
    coder.encodeInt64(static_cast<std::int64_t>(alignment_), "UITextAlignment");
    coder.encodeInt64(static_cast<std::int64_t>(lineBreak_), "UILineBreakMode");
    coder.encodeInt64(lines_, "UINumberOfLines");
}

rt::Id Label::initWithCoder(ns::Coder& coder) {
    if (coder.containsValueForKey("UIText")) setText(coder.decodeObjectOfClass<ns::String>("UIText"));
    if (coder.containsValueForKey("UIFont")) setFont(coder.decodeObjectOfClass<Font>("UIFont"));
    if (coder.containsValueForKey("UITextColor")) setTextColor(coder.decodeObjectOfClass<Color>("UITextColor"));
    if (coder.containsValueForKey("UITextAlignment"))
        setTextAlignment(static_cast<TextAlignment>(coder.decodeInt64("UITextAlignment")));
    if (coder.containsValueForKey("UILineBreakMode"))
        setLineBreakMode(static_cast<LineBreakMode>(coder.decodeInt64("UILineBreakMode")));
    if (coder.containsValueForKey("UINumberOfLines")) setNumberOfLines(static_cast<long>(coder.decodeInt64("UINumberOfLines")));
    return rt::retained(this);
}

} // namespace ui
