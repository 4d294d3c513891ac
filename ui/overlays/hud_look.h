#pragma once
// How the HUDs look (sh::ProgressHUD and vh::ProgressHUD): a near-opaque dark box with rounded
// corners in the middle of what they cover (what lies under it does not show through), a figure at
// its top (the working ring, a tick, a cross) and the texts under it, white and centred, each
// wrapping at 200 points at most. Main thread only.

#include <initializer_list>

#include "platform/graphics/geometry.h"

namespace cg {
class Context;
}
namespace ui {
class Label;
}

namespace sh {

enum class HUDFigure { None, Ring, Tick, Cross };

// The labels' look: white, centred, wrapping, bold at `size`.
void styleHUDLabel(ui::Label& label, double size);
// Places the shown labels (hidden ones are skipped) one under the other, below the figure when
// there is one, in a box `margin` wide around them, centred in `bounds` and moved down by
// `yOffset`. Answers the box.
cg::Rect placeHUDBox(const cg::Rect& bounds, double margin, double yOffset, HUDFigure figure,
                     std::initializer_list<ui::Label*> labels);
// Draws the box and its figure (a figure at the box's top, `margin` in).
void drawHUDBox(cg::Context& context, const cg::Rect& box, double margin, HUDFigure figure);

} // namespace sh
