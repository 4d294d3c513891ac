#include "platform/uikit/string_drawing.h"

#include <algorithm>

#include "platform/sim/run_text.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/text_measure.h"

namespace ui {

cg::Size sizeOfString(const rt::Ref<ns::String>& text, const rt::Ref<Font>& font, cg::Size box,
                      LineBreakMode mode) {
    const bool wraps = mode == LineBreakMode::WordWrapping || mode == LineBreakMode::CharWrapping;
    auto styled = detail::styledText(text, font ? font : Font::systemFontOfSize(Font::labelFontSize()),
                                     Color::blackColor(), TextAlignment::Left, mode);
    if (!styled) return {0, 0};
    const cg::Size size = detail::textSize(*styled, box.width, wraps ? 0 : 1);
    return {std::min(size.width, box.width), std::min(size.height, box.height)};
}

rt::Ref<ns::AttributedString> detail::maskedForDrawing(const rt::Ref<ns::AttributedString>& text) {
    if (!text || sim::maskedRunSecrets(text->string()->utf8()) == text->string()->utf8()) return text;
    auto masked = ns::MutableAttributedString::make();
    text->enumerateAttributes({0, text->length()}, [&](const ns::AttributedString::Attributes& attributes,
                                                       ns::Range range, bool&) {
        const std::string part = text->string()->substringWithRange(range)->utf8();
        masked->appendAttributedString(*ns::AttributedString::make(sim::maskedRunSecrets(part), attributes));
    });
    return masked;
}

} // namespace ui
