#include "platform/uikit/label.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"

namespace ui {

Label::Label() : Label(cg::Rect::zero()) {}

Label::Label(const cg::Rect& frame)
    : View(frame), font_(Font::systemFontOfSize(Font::labelFontSize())), textColor_(Color::blackColor()) {
    setUserInteractionEnabled(false);
}

void Label::setText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "text");
    text_ = std::move(text);
}

void Label::setFont(rt::Ref<Font> font) {
    rt::KeyChange change(this, "font");
    font_ = font ? std::move(font) : Font::systemFontOfSize(Font::labelFontSize());
}

void Label::setTextColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "textColor");
    textColor_ = color ? std::move(color) : Color::blackColor();
}

void Label::setTextAlignment(TextAlignment alignment) {
    rt::KeyChange change(this, "textAlignment");
    alignment_ = alignment;
}

void Label::setNumberOfLines(long lines) {
    rt::KeyChange change(this, "numberOfLines");
    lines_ = lines;
}

void Label::setLineBreakMode(LineBreakMode mode) {
    rt::KeyChange change(this, "lineBreakMode");
    lineBreak_ = mode;
}

void Label::setEnabled(bool enabled) {
    rt::KeyChange change(this, "enabled");
    enabled_ = enabled;
}

void Label::setAdjustsFontSizeToFitWidth(bool adjusts) {
    rt::KeyChange change(this, "adjustsFontSizeToFitWidth");
    adjustsFontSize_ = adjusts;
}

std::string Label::description() const {
    std::string text = View::description();
    text.pop_back();
    return text + "; text = '" + (text_ ? text_->utf8() : std::string()) + "'>";
}

RT_DEFINE_CLASS(Label, "UILabel", View,
                rt::prop("text", &Label::text, &Label::setText,
                         {.memory = rt::Memory::Copy}),
                rt::prop("font", &Label::font, &Label::setFont),
                rt::prop("textColor", &Label::textColor, &Label::setTextColor),
                rt::prop("textAlignment", &Label::textAlignment, &Label::setTextAlignment),
                rt::prop("numberOfLines", &Label::numberOfLines, &Label::setNumberOfLines),
                rt::prop("lineBreakMode", &Label::lineBreakMode, &Label::setLineBreakMode),
                rt::prop("enabled", &Label::isEnabled, &Label::setEnabled, {.getter = "isEnabled"}),
                rt::prop("adjustsFontSizeToFitWidth", &Label::adjustsFontSizeToFitWidth,
                         &Label::setAdjustsFontSizeToFitWidth))

} // namespace ui
