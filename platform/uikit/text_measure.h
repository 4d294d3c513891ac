#pragma once
// Inside the UIKit stand-in: plain text styled as a label or a text view shows it, and measured
// through the typesetter.

#include "platform/foundation/attributed_string.h"
#include "platform/uikit/text_alignment.h"

namespace ct {
class Framesetter;
}
namespace ui {
class Color;
class Font;
} // namespace ui

namespace ui::detail {

// The text with that font, colour, alignment and line breaks; nil for nil or empty text.
rt::Ref<ns::AttributedString> styledText(const rt::Ref<ns::String>& text, const rt::Ref<Font>& font,
                                         const rt::Ref<Color>& color, TextAlignment alignment,
                                         LineBreakMode wrap);
// The exact size of the text laid out at `width` (0 or less: unlimited) within `lines` (0: no
// limit; 1: one unbroken line).
cg::Size textSize(const ns::AttributedString& text, double width, long lines);
// The same for lines other than 1, from a framesetter that typeset the text once.
cg::Size textSize(const ct::Framesetter& framesetter, double width, long lines);

} // namespace ui::detail
