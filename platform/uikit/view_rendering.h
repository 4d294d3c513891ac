#pragma once
// The display pass: draws a view tree into a context, in UIKit's space (top left, y down) of the
// view's superview. Hidden views and views at alpha 0.01 or less are skipped with their subviews. Per
// view: save; move to its frame (its transform about its centre), then by its bounds' origin;
// clip to the bounds when it clips; its background (within its layer's rounded corners);
// drawRect(bounds) with the context current; its subviews, back to front (a clipping view's only
// where they meet its bounds); its layer's sublayers (a layer added to a view's layer stands above
// the subviews it has); its layer's border over all of it; restore.
//
// A picture: ui::writeSnapshot lays the view out, records it and replays the record into a
// bitmap (white where nothing is drawn) `scale` pixels a point, written as a PNG.
//
// The screen, as a person sees it: ui::recordScreen lays the window out and records its whole tree
// (the navigation bar among it), the application's status bar over it, then, over the screen
// dimmed, each alert and action sheet on the screen placed as it shows (ButtonDialog::onScreen,
// placeOnScreen), first presented first, its button pressed in the turn shown pressed; the control
// tapped in the turn shows under the finger (Control::tappedThisTurn). Recording is the
// part that needs the main thread: the record holds only immutable values, so ui::pictureOf may
// paint it on any thread, at the window's size in points, `scale` pixels a point, white where
// nothing is drawn. ui::screenPicture does both.

#include <memory>
#include <string>

#include "platform/graphics/context.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"

namespace ns {
class Error;
}

namespace ui {

class View;
class Window;

void renderView(View& view, cg::Context& context);
cg::DisplayList recordScreen(Window& window);
std::unique_ptr<cg::RasterContext> pictureOf(const cg::DisplayList& drawing, cg::Size size, double scale = 1);
std::unique_ptr<cg::RasterContext> screenPicture(Window& window, double scale = 1);
// Nil when written; an error when the file cannot be written.
rt::Ref<ns::Error> writeScreenPicture(Window& window, const std::string& path, double scale = 1);
// Nil when written; an error when the file cannot be written.
rt::Ref<ns::Error> writeSnapshot(View& view, const std::string& path, double scale = 2);

} // namespace ui
