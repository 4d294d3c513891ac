#include "platform/uikit/view_rendering.h"

#include <cmath>

#include "platform/foundation/error.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/color.h"
#include "platform/uikit/control.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"

namespace ui {

void renderView(View& view, cg::Context& context) {
    if (view.isHidden() || view.alpha() <= 0.01) return;
    const rt::Ref<View> keep = rt::retained(&view); // drawRect may change the tree
    const cg::Rect bounds = view.bounds();
    context.saveGState();
    context.translateCTM(view.center().x, view.center().y);
    context.concatCTM(view.transform());
    context.translateCTM(-bounds.size.width / 2 - bounds.origin.x, -bounds.size.height / 2 - bounds.origin.y);
    context.setAlpha(context.state().alpha * view.alpha());
    if (view.clipsToBounds()) context.clipToRect(bounds);
    if (view.hasLayer() && view.layer()->masksToBounds()) {
        auto outline = cg::MutablePath::make();
        outline->addRoundedRect(bounds, view.layer()->cornerRadius());
        context.addPath(*outline);
        context.clip();
    }
    if (const rt::Ref<Color>& background = view.backgroundColor(); background && background->alpha() > 0) {
        if (view.hasLayer()) {
            view.layer()->fillBackground(context, bounds, background->cgColor());
        } else {
            context.setFillColor(background->cgColor());
            context.fillRect(bounds);
        }
    }
    {
        CurrentGraphicsContext current(context);
        context.saveGState();
        view.drawRect(bounds);
        context.restoreGState();
    }
    view.didDisplay();
    const std::vector<rt::Ref<View>> subviews = view.subviewList();
    for (const rt::Ref<View>& subview : subviews)
        // What a clipping view cannot show is not drawn (a table's rows beyond its bounds).
        if (!view.clipsToBounds() || subview->frame().intersects(bounds)) renderView(*subview, context);
    if (view.hasLayer()) {
        for (const rt::Ref<ca::Layer>& layer : view.layer()->sublayers()) layer->renderInContext(context);
        view.layer()->strokeBorder(context, bounds);
    }
    context.restoreGState();
}

std::unique_ptr<cg::RasterContext> pictureOf(const cg::DisplayList& drawing, cg::Size size, double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
    auto picture =
        std::make_unique<cg::RasterContext>(int(std::min(std::ceil(size.width * scale), 16384.0)),
                                            int(std::min(std::ceil(size.height * scale), 16384.0)));
    picture->clearTo(cg::Color::white());
    picture->scaleCTM(scale, scale);
    drawing.replay(*picture);
    return picture;
}

rt::Ref<ns::Error> writeSnapshot(View& view, const std::string& path, double scale) {
    view.layoutIfNeeded();
    cg::RecordingContext recording;
    // The view's own frame origin is its superview's business: draw it at the picture's corner.
    const cg::Rect frame = view.frame();
    recording.translateCTM(-frame.minX(), -frame.minY());
    renderView(view, recording);
    return pictureOf(recording.displayList(), frame.size, scale)->writePNG(path);
}

cg::DisplayList recordScreen(Window& window) {
    window.layoutIfNeeded();
    cg::RecordingContext recording;
    const Control::PressedLook tapped(Control::tappedThisTurn());
    renderView(window, recording);
    // The status bar stands over the application's windows, under the alerts' dimming.
    if (const rt::Ref<Application> application = Application::sharedApplication())
        application->drawStatusBar(recording, window.bounds().width());
    const std::vector<rt::Ref<ButtonDialog>> dialogs = ButtonDialog::onScreen();
    if (!dialogs.empty()) {
        recording.setFillColor(cg::Color::make(0, 0, 0, 0.4));
        recording.fillRect(window.bounds());
    }
    for (const rt::Ref<ButtonDialog>& dialog : dialogs) {
        dialog->placeOnScreen(window);
        renderView(*dialog, recording);
    }
    return recording.takeDisplayList();
}

std::unique_ptr<cg::RasterContext> screenPicture(Window& window, double scale) {
    return pictureOf(recordScreen(window), window.bounds().size, scale);
}

rt::Ref<ns::Error> writeScreenPicture(Window& window, const std::string& path, double scale) {
    return screenPicture(window, scale)->writePNG(path);
}

} // namespace ui
