// Styling helpers over a mutable attributed string.

#include "ui/labels/rl_string_additions.h"

#include "platform/graphics/color.h"
#include "platform/runtime/number.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"

namespace rl {

namespace {

// The remove-then-add step every range form but the paragraph one shares: nil adds nothing.
void stringAdditionsReplace(ns::MutableAttributedString& str, const char* name, const rt::Id& value,
                            ns::Range range) {
    str.removeAttribute(name, range);
    if (value) str.addAttribute(name, value, range);
}

} // namespace

CTTextAlignment alignmentFromUITextAlignment(long alignment) noexcept {
    switch (alignment) {
    case 0: return 0;
    case 1: return 2;
    case 2: return 1;
    case 3: return 3;
    default: return 4;
    }
}

CTLineBreakMode lineBreakModeFromUILineBreakMode(long mode) noexcept {
    // Tail truncation is the label's own: the engine only wraps.
    return mode >= 0 && mode <= 5 && mode != 4 ? static_cast<CTLineBreakMode>(mode) : 0;
}

long lineBreakModeFromCTLineBreakMode(CTLineBreakMode mode) noexcept { return mode <= 5 ? mode : 0; }

ns::Range rangeOfEntireString(const ns::AttributedString& str) noexcept { return {0, str.length()}; }

void setFont(ns::MutableAttributedString& str, const rt::Ref<ui::Font>& font, ns::Range range) {
    stringAdditionsReplace(str, ns::FontAttributeName, font, range);
}

void setTextAlignment(ns::MutableAttributedString& str, CTTextAlignment alignment, CTLineBreakMode mode,
                      double lineHeight, ns::Range range) {
    auto style = ns::MutableParagraphStyle::make();
    style->setAlignment(static_cast<long>(ui::textAlignmentFromCTTextAlignment(alignment)));
    style->setLineBreakMode(static_cast<ns::ParagraphStyle::LineBreak>(lineBreakModeFromCTLineBreakMode(mode)));
    style->setMinimumLineHeight(lineHeight);
    style->setMaximumLineHeight(lineHeight);
    // No removal first: the new style replaces any over the range.
    str.addAttribute(ns::ParagraphStyleAttributeName, style, range);
}

void setTextColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color, ns::Range range) {
    stringAdditionsReplace(str, ns::ForegroundColorAttributeName, color, range);
}

void setBackgroundColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color, ns::Range range) {
    stringAdditionsReplace(str, ns::BackgroundColorAttributeName, color, range);
}

void setLigaturesEnabled(ns::MutableAttributedString& str, bool enabled, ns::Range range) {
    stringAdditionsReplace(str, ns::LigatureAttributeName, ns::Number::withInt(enabled ? 1 : 0), range);
}

void setKern(ns::MutableAttributedString& str, double kern, ns::Range range) {
    stringAdditionsReplace(str, ns::KernAttributeName, ns::Number::withDouble(kern), range);
}

void setUnderlineStyle(ns::MutableAttributedString& str, std::int32_t style, std::int32_t modifier, ns::Range range) {
    stringAdditionsReplace(str, ns::UnderlineStyleAttributeName, ns::Number::withInt(style | modifier), range);
}

void setStrokeWidth(ns::MutableAttributedString& str, double width, ns::Range range) {
    stringAdditionsReplace(str, ns::StrokeWidthAttributeName, ns::Number::withDouble(width), range);
}

void setStrokeColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color, ns::Range range) {
    const bool drawable = color && color->cgColor();
    stringAdditionsReplace(str, ns::StrokeColorAttributeName, drawable ? rt::Id(color) : rt::Id(), range);
}

void setLetterpressEnabled(ns::MutableAttributedString& str, bool enabled, ns::Range range) {
    stringAdditionsReplace(str, ns::TextEffectAttributeName,
                           enabled ? rt::Id(ns::String::make(ns::TextEffectLetterpressStyle)) : rt::Id(), range);
}

void setFont(ns::MutableAttributedString& str, const rt::Ref<ui::Font>& font) {
    setFont(str, font, rangeOfEntireString(str));
}
void setTextAlignment(ns::MutableAttributedString& str, CTTextAlignment alignment, CTLineBreakMode mode,
                      double lineHeight) {
    setTextAlignment(str, alignment, mode, lineHeight, rangeOfEntireString(str));
}
void setTextColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color) {
    setTextColor(str, color, rangeOfEntireString(str));
}
void setBackgroundColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color) {
    setBackgroundColor(str, color, rangeOfEntireString(str));
}
void setLigaturesEnabled(ns::MutableAttributedString& str, bool enabled) {
    setLigaturesEnabled(str, enabled, rangeOfEntireString(str));
}
void setKern(ns::MutableAttributedString& str, double kern) { setKern(str, kern, rangeOfEntireString(str)); }
void setUnderlineStyle(ns::MutableAttributedString& str, std::int32_t style, std::int32_t modifier) {
    setUnderlineStyle(str, style, modifier, rangeOfEntireString(str));
}
void setStrokeWidth(ns::MutableAttributedString& str, double width) {
    setStrokeWidth(str, width, rangeOfEntireString(str));
}
void setStrokeColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color) {
    setStrokeColor(str, color, rangeOfEntireString(str));
}
void setLetterpressEnabled(ns::MutableAttributedString& str, bool enabled) {
    setLetterpressEnabled(str, enabled, rangeOfEntireString(str));
}

} // namespace rl
