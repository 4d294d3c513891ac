#pragma once
// The display pass: draws a view tree into a context, in UIKit's space (top left, y down) of the
// view's superview. Hidden views and views at alpha 0.01 or less are skipped with their subviews. Per
// view: save; move to its frame (its transform about its centre), then by its bounds' origin;
// clip to the bounds when it clips; its background; drawRect(bounds) with the context current; its
// layer's sublayers; its subviews, back to front; restore.
//
// A picture: ui::writeSnapshot lays the view out, records it and replays the record into a
// bitmap (white where nothing is drawn) `scale` pixels a point, written as a PNG.
//
// A picture of the screen, as a person sees it: ui::screenPicture lays the window out and draws
// its whole tree (the navigation bar among it), then, over the screen dimmed, each presented
// alert and action sheet placed as it shows (ButtonDialog::placeOnScreen), first presented
// first; the window's size in points, `scale` pixels a point, white where nothing is drawn.

#include <memory>
#include <string>

#include "platform/graphics/context.h"
#include "platform/graphics/raster_context.h"

namespace ns {
class Error;
}

namespace ui {

class View;
class Window;

void renderView(View& view, cg::Context& context);
std::unique_ptr<cg::RasterContext> screenPicture(Window& window, double scale = 1);
// Nil when written; an error when the file cannot be written.
rt::Ref<ns::Error> writeScreenPicture(Window& window, const std::string& path, double scale = 1);
// Nil when written; an error when the file cannot be written.
rt::Ref<ns::Error> writeSnapshot(View& view, const std::string& path, double scale = 2);

} // namespace ui
