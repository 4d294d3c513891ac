#pragma once
// Measuring plain text as the platform's string drawing does: the size a text takes in a font
// within a box, wrapped at words or characters, or kept on one line.

#include "platform/foundation/string.h"
#include "platform/graphics/geometry.h"
#include "platform/uikit/text_alignment.h"

namespace ui {

class Font;

// The size of `text` in `font` (the system font of 17 points when nil) laid out within `box`:
// wrapping modes break lines at the box's width and keep the lines that start within its height;
// the other modes keep one line, cut at the box's width. Exact, not rounded; zero for nil or
// empty text.
cg::Size sizeOfString(const rt::Ref<ns::String>& text, const rt::Ref<Font>& font, cg::Size box,
                      LineBreakMode mode);

} // namespace ui
