// The second attributed label's model: its settings, its text, the composed string, the cached
// text frame and sizing.

#include "ui/labels/rl_attributed_label.h"

#include <cmath>
#include <limits>
#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/text_attachment.h"
#include "ui/labels/rl_string_additions.h"

namespace rl {

RT_DEFINE_CLASS(AttributedLabel, "RLAttributedLabel", ui::Label,
                rt::method("awakeFromNib", &AttributedLabel::awakeFromNib),
                rt::method("actionSheet:clickedButtonAtIndex:", &AttributedLabel::actionSheetClickedButtonAtIndex),
                rt::method("actionSheetCancel:", &AttributedLabel::actionSheetCancel))

AttributedLabel::AttributedLabel() : AttributedLabel(cg::Rect::zero()) {}

AttributedLabel::AttributedLabel(const cg::Rect& frame) : ui::Label(frame) { configureDefaults(); }

AttributedLabel::~AttributedLabel() { stopLongPressTimer(); }

rt::Ref<AttributedLabel> AttributedLabel::make(const cg::Rect& frame) { return rt::make<AttributedLabel>(frame); }

void AttributedLabel::configureDefaults() {
    verticalAlignment_ = 0;
    // Every view answers its tint colour, so that is the link colour.
    linkColor_ = tintColor();
    if (!linkColor_) linkColor_ = ui::Color::blueColor();
    detectorTypes_ = 32; // links only
    highlightedLinkBackground_ = ui::Color::colorWithWhite(0.5, 0.5);
}

void AttributedLabel::awakeFromNib() {
    configureDefaults();
    setAttributedText(mutableAttributedStringFromLabel(*this));
}

rt::Ref<ns::MutableAttributedString> AttributedLabel::mutableAttributedStringFromLabel(const ui::Label& label) {
    if (!label.text() || label.text()->length() == 0) return nullptr;
    auto str = ns::MutableAttributedString::make(label.text());
    rl::setFont(*str, label.font());
    rl::setTextColor(*str, label.textColor());
    const auto* own = rt::cast<const AttributedLabel>(&label);
    rl::setTextAlignment(*str, alignmentFromUITextAlignment(static_cast<long>(label.textAlignment())),
                         lineBreakModeFromUILineBreakMode(static_cast<long>(label.lineBreakMode())),
                         own ? own->lineHeight_ : 0);
    return str;
}

// ---- Text ----

void AttributedLabel::setText(rt::Ref<ns::String> text) {
    ui::Label::setText(std::move(text));
    setAttributedText(mutableAttributedStringFromLabel(*this));
    if (!string_) return;
    rl::setUnderlineStyle(*string_, underlineStyle_, underlineModifier_);
    rl::setStrokeWidth(*string_, strokeWidth_);
    rl::setStrokeColor(*string_, strokeColor_);
    rl::setKern(*string_, textKern_);
}

rt::Ref<ns::AttributedString> AttributedLabel::attributedText() const {
    return string_ ? rt::downcast<ns::AttributedString>(string_->copy()) : nullptr;
}

void AttributedLabel::setAttributedText(const rt::Ref<ns::AttributedString>& text) {
    if (text.get() == string_.get()) return;
    string_ = text ? text->mutableCopy() : nullptr;
    detected_ = nullptr;
    linksDetected_ = false;
    removeAllExplicitLinks();
    images_.clear();
    if (string_) processLinksInAttributedString(*string_);
    attributedTextDidChange();
}

rt::Ref<ns::MutableAttributedString> AttributedLabel::mutableAttributedStringWithAdditions() const {
    if (!string_) return nullptr;
    auto composed = string_->mutableCopy();
    if (autoDetectLinks_) applyLinkStyle(detected_.get(), *composed);
    applyLinkStyle(explicit_.get(), *composed);
    if (!images_.empty()) insertImagePlaceholders(*composed);
    if (isHighlighted()) rl::setTextColor(*composed, highlightedTextColor());
    if (auto placed = ui::withAttachmentPlaceholders(composed); placed != composed)
        return placed->mutableCopy();
    return composed;
}

void AttributedLabel::attributedTextDidChange() {
    resetTextFrame();
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void AttributedLabel::resetTextFrame() {
    textFrame_ = nullptr;
    frameString_ = nullptr;
    frameImages_.clear();
    accessibleElements_ = nullptr;
}

const rt::Ref<ct::Frame>& AttributedLabel::textFrame() {
    // A resize that went past setFrame (bounds, layout) also makes the cached frame stale.
    if (textFrame_ && !(frameBounds_ == bounds())) resetTextFrame();
    if (!textFrame_) {
        if (auto composed = mutableAttributedStringWithAdditions()) {
            frameBounds_ = bounds();
            setTextFrame(ct::Framesetter::make(*composed)->createFrame({0, 0}, frameBounds_));
            frameString_ = std::move(composed);
            frameImages_ = images_;
        }
    }
    return textFrame_;
}

void AttributedLabel::setTextFrame(rt::Ref<ct::Frame> frame) {
    if (frame != textFrame_) textFrame_ = std::move(frame);
}

void AttributedLabel::setFrame(const cg::Rect& frame) {
    const bool changed = !(frame == this->frame());
    ui::View::setFrame(frame);
    if (changed) attributedTextDidChange();
}

// ---- Style ----

void AttributedLabel::setFont(rt::Ref<ui::Font> font) {
    ui::Label::setFont(std::move(font));
    if (string_) rl::setFont(*string_, ui::Label::font());
    attributedTextDidChange();
}

void AttributedLabel::setFont(const rt::Ref<ui::Font>& font, ns::Range range) {
    if (string_) rl::setFont(*string_, font, range);
    attributedTextDidChange();
}

void AttributedLabel::setTextColor(rt::Ref<ui::Color> color) {
    ui::Label::setTextColor(std::move(color));
    if (string_) rl::setTextColor(*string_, textColor());
    attributedTextDidChange();
}

void AttributedLabel::setTextColor(const rt::Ref<ui::Color>& color, ns::Range range) {
    if (string_) rl::setTextColor(*string_, color, range);
    attributedTextDidChange();
}

void AttributedLabel::setUnderlineStyle(std::int32_t style) {
    if (style == underlineStyle_) return;
    underlineStyle_ = style;
    if (string_) rl::setUnderlineStyle(*string_, underlineStyle_, underlineModifier_);
    attributedTextDidChange();
}

void AttributedLabel::setUnderlineStyleModifier(std::int32_t modifier) {
    if (modifier == underlineModifier_) return;
    underlineModifier_ = modifier;
    if (string_) rl::setUnderlineStyle(*string_, underlineStyle_, underlineModifier_);
    attributedTextDidChange();
}

void AttributedLabel::setUnderlineStyle(std::int32_t style, std::int32_t modifier, ns::Range range) {
    if (string_) rl::setUnderlineStyle(*string_, style, modifier, range);
    attributedTextDidChange();
}

void AttributedLabel::setShadowBlur(double blur) {
    if (blur == shadowBlur_) return;
    shadowBlur_ = blur;
    attributedTextDidChange();
}

void AttributedLabel::setStrokeWidth(double width) {
    if (width == strokeWidth_) return;
    strokeWidth_ = width;
    if (string_) rl::setStrokeWidth(*string_, width);
    attributedTextDidChange();
}

void AttributedLabel::setStrokeWidth(double width, ns::Range range) {
    if (string_) rl::setStrokeWidth(*string_, width, range);
    attributedTextDidChange();
}

void AttributedLabel::setStrokeColor(rt::Ref<ui::Color> color) {
    if (color == strokeColor_) return;
    strokeColor_ = std::move(color);
    if (string_) rl::setStrokeColor(*string_, strokeColor_);
    attributedTextDidChange();
}

void AttributedLabel::setStrokeColor(const rt::Ref<ui::Color>& color, ns::Range range) {
    if (string_) rl::setStrokeColor(*string_, color, range);
    attributedTextDidChange();
}

void AttributedLabel::setTextKern(double kern) {
    if (kern == textKern_) return;
    textKern_ = kern;
    if (string_) rl::setKern(*string_, kern);
    attributedTextDidChange();
}

void AttributedLabel::setTextKern(double kern, ns::Range range) {
    if (string_) rl::setKern(*string_, kern, range);
    attributedTextDidChange();
}

void AttributedLabel::setTailTruncationString(const rt::Ref<ns::String>& token) {
    const bool same = token == tailTruncation_ || (token && tailTruncation_ && token->isEqual(tailTruncation_.get()));
    if (same) return;
    tailTruncation_ = token ? ns::String::make(token->utf8()) : nullptr;
    attributedTextDidChange();
}

void AttributedLabel::applyParagraphStyle(long alignment, long mode) {
    if (!string_) return;
    rl::setTextAlignment(*string_, alignmentFromUITextAlignment(alignment), lineBreakModeFromUILineBreakMode(mode),
                         lineHeight_);
    attributedTextDidChange();
}

void AttributedLabel::setLineHeight(double height) {
    lineHeight_ = height;
    applyParagraphStyle(static_cast<long>(textAlignment()), static_cast<long>(lineBreakMode()));
}

void AttributedLabel::setTextAlignment(ui::TextAlignment alignment) {
    // Justified lives in the paragraph style; the label itself reports left.
    ui::Label::setTextAlignment(alignment == ui::TextAlignment::Justified ? ui::TextAlignment::Left : alignment);
    applyParagraphStyle(static_cast<long>(alignment), static_cast<long>(lineBreakMode()));
}

void AttributedLabel::setLineBreakMode(ui::LineBreakMode mode) {
    ui::Label::setLineBreakMode(mode);
    applyParagraphStyle(static_cast<long>(textAlignment()), static_cast<long>(mode));
}

void AttributedLabel::setHighlighted(bool highlighted) {
    const bool changed = highlighted != isHighlighted();
    ui::Label::setHighlighted(highlighted);
    if (changed) attributedTextDidChange();
}

void AttributedLabel::setHighlightedTextColor(rt::Ref<ui::Color> color) {
    const bool changed = color != highlightedTextColor();
    ui::Label::setHighlightedTextColor(std::move(color));
    if (changed) attributedTextDidChange();
}

// ---- Sizing ----

cg::Size AttributedLabel::sizeThatFits(cg::Size size) const {
    if (!string_) return {0, 0};
    auto composed = mutableAttributedStringWithAdditions();
    return sizeForAttributedString(composed.get(), numberOfLines(), size);
}

cg::Size AttributedLabel::intrinsicContentSize() const { return sizeThatFits(ui::Label::intrinsicContentSize()); }

cg::Size sizeForAttributedString(const ns::AttributedString* str, long lines, cg::Size constraint) {
    if (!str) return {0, 0};
    auto framesetter = ct::Framesetter::make(*str);
    ns::Range range{0, 0};
    if (lines == 1) {
        constraint = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    } else if (lines > 1) {
        auto frame = framesetter->createFrame({0, 0}, cg::Rect{{0, 0}, constraint});
        const auto& laid = frame->lines();
        if (!laid.empty()) {
            const auto last = std::min<std::size_t>(laid.size(), static_cast<std::size_t>(lines)) - 1;
            range.length = laid[last]->stringRange().max();
        }
    }
    const cg::Size suggested = framesetter->suggestFrameSizeWithConstraints(range, constraint);
    return {std::ceil(suggested.width), std::ceil(suggested.height)};
}

} // namespace rl
