#pragma once
// The display pass: draws a view tree into a context, in UIKit's space (top left, y down) of the
// view's superview. Hidden views and views at alpha 0.01 or less are skipped with their subviews. Per
// view: save; move to its frame (its transform about its centre), then by its bounds' origin;
// clip to the bounds when it clips; its background; drawRect(bounds) with the context current; its
// layer's sublayers; its subviews, back to front; restore.
//
// A picture: ui::writeSnapshot lays the view out, records it and replays the record into a
// bitmap (white where nothing is drawn) `scale` pixels a point, written as a PNG.

#include <string>

#include "platform/graphics/context.h"

namespace ns {
class Error;
}

namespace ui {

class View;

void renderView(View& view, cg::Context& context);
// Nil when written; an error when the file cannot be written.
rt::Ref<ns::Error> writeSnapshot(View& view, const std::string& path, double scale = 2);

} // namespace ui
