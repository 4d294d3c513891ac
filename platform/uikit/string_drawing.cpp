#include "platform/uikit/string_drawing.h"

#include <algorithm>

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

} // namespace ui
