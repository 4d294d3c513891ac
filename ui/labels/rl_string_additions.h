#pragma once
// Styling helpers over a mutable attributed string, one attribute each, over a range or over the
// whole string, and the mappings between the label's alignment and line-break values and the text
// engine's. Each range form removes the attribute over the range, then adds the new value when
// there is one (so a nil font or colour clears it); the paragraph form replaces whatever style the
// range had. Ranges must lie in the string. Used by rl::AttributedLabel only; no state.

#include <cstdint>

#include "platform/foundation/attributed_string.h"
#include "platform/uikit/text_alignment.h"

namespace ui {
class Color;
class Font;
}

namespace rl {

// The text engine's alignment (left 0, right 1, centre 2, justified 3, natural 4) and line-break
// mode (0 word, 1 character, 2 clip, 3 head, 4 tail, 5 middle).
using CTTextAlignment = std::uint8_t;
using CTLineBreakMode = std::uint8_t;

// Label alignment to the engine's: centre and right swap; anything not 0-3 is natural.
CTTextAlignment alignmentFromUITextAlignment(long alignment) noexcept;
// Label line-break mode to the engine's. Tail truncation (4) goes to word wrapping: the label
// truncates its last line itself. Anything not 0-5 is word wrapping.
CTLineBreakMode lineBreakModeFromUILineBreakMode(long mode) noexcept;
// The engine's mode back to the label's: 0-5 keep their number, anything else is 0.
long lineBreakModeFromCTLineBreakMode(CTLineBreakMode mode) noexcept;

ns::Range rangeOfEntireString(const ns::AttributedString& str) noexcept;

void setFont(ns::MutableAttributedString& str, const rt::Ref<ui::Font>& font, ns::Range range);
// A new style per call: the mapped alignment and mode, minimum = maximum line height (0: none).
void setTextAlignment(ns::MutableAttributedString& str, CTTextAlignment alignment, CTLineBreakMode mode,
                      double lineHeight, ns::Range range);
void setTextColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color, ns::Range range);
// Stored only; the engine does not draw it.
void setBackgroundColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color, ns::Range range);
void setLigaturesEnabled(ns::MutableAttributedString& str, bool enabled, ns::Range range);
void setKern(ns::MutableAttributedString& str, double kern, ns::Range range);
// Stores style | modifier as a 32-bit integer; 0 is an explicit absence of underline.
void setUnderlineStyle(ns::MutableAttributedString& str, std::int32_t style, std::int32_t modifier, ns::Range range);
void setStrokeWidth(ns::MutableAttributedString& str, double width, ns::Range range);
// The colour object itself is stored; one without a drawing colour adds nothing.
void setStrokeColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color, ns::Range range);
// Stored only; the engine does not draw it.
void setLetterpressEnabled(ns::MutableAttributedString& str, bool enabled, ns::Range range);

// The whole-string forms.
void setFont(ns::MutableAttributedString& str, const rt::Ref<ui::Font>& font);
void setTextAlignment(ns::MutableAttributedString& str, CTTextAlignment alignment, CTLineBreakMode mode,
                      double lineHeight);
void setTextColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color);
void setBackgroundColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color);
void setLigaturesEnabled(ns::MutableAttributedString& str, bool enabled);
void setKern(ns::MutableAttributedString& str, double kern);
void setUnderlineStyle(ns::MutableAttributedString& str, std::int32_t style, std::int32_t modifier);
void setStrokeWidth(ns::MutableAttributedString& str, double width);
void setStrokeColor(ns::MutableAttributedString& str, const rt::Ref<ui::Color>& color);
void setLetterpressEnabled(ns::MutableAttributedString& str, bool enabled);

} // namespace rl
