#pragma once
// Texts drawn, and texts drawn cut: each label and text view that draws a text tells the observers
// here whether it drew all of it or less (its last line shown cut with "…", or lines left out for
// want of room), so a run can list the texts each of its pictures shows and every text they show
// cut. Main thread, as drawing a screen is.

#include <cstdint>
#include <functional>

#include "platform/foundation/attributed_string.h"

namespace ui {

class View;

// The view that drew, its whole text and whether it drew it whole (false: cut): told of every
// text drawn.
using TextDrawnObserver = std::function<void(const View& view, const ns::String& text, bool whole)>;
std::uint64_t addTextDrawnObserver(TextDrawnObserver observer);
void removeTextDrawnObserver(std::uint64_t token);
// The views that draw text call it for each text they draw.
void tellTextDrawn(const View& view, const ns::String& text, bool whole);

// The text as every view draws it: what the run's masker replaces in it (sim::runTextMasks, the
// text read whole, whatever runs of attributes it is made of) written in the attributes of the
// first character it replaces; the text itself when nothing is. What the view holds is unchanged:
// only its picture shows the text masked.
rt::Ref<ns::AttributedString> maskedForDrawing(const rt::Ref<ns::AttributedString>& text);

} // namespace ui
