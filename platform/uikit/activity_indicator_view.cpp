#include "platform/uikit/activity_indicator_view.h"

#include <cmath>
#include <numbers>

#include "platform/graphics/context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/graphics_context.h"

namespace ui {

RT_DEFINE_CLASS(ActivityIndicatorView, "UIActivityIndicatorView", View,
                rt::prop("activityIndicatorViewStyle", &ActivityIndicatorView::activityIndicatorViewStyle,
                         &ActivityIndicatorView::setActivityIndicatorViewStyle),
                rt::prop("hidesWhenStopped", &ActivityIndicatorView::hidesWhenStopped,
                         &ActivityIndicatorView::setHidesWhenStopped),
                rt::prop("animating", &ActivityIndicatorView::isAnimating, {.getter = "isAnimating"}),
                rt::method("startAnimating", &ActivityIndicatorView::startAnimating),
                rt::method("stopAnimating", &ActivityIndicatorView::stopAnimating))

ActivityIndicatorView::ActivityIndicatorView() : ActivityIndicatorView(cg::Rect::zero()) {}

// The platform centres the mark of its style's size where the frame was.
ActivityIndicatorView::ActivityIndicatorView(const cg::Rect& frame)
    : View(cg::Rect{{frame.midX() - sizeOfStyle(ActivityIndicatorViewStyle::White).width / 2,
                     frame.midY() - sizeOfStyle(ActivityIndicatorViewStyle::White).height / 2},
                    sizeOfStyle(ActivityIndicatorViewStyle::White)}) {
    setHidden(true);
}

rt::Ref<ActivityIndicatorView> ActivityIndicatorView::withStyle(ActivityIndicatorViewStyle style) {
    auto view = rt::make<ActivityIndicatorView>();
    view->setActivityIndicatorViewStyle(style);
    return view;
}

cg::Size ActivityIndicatorView::sizeOfStyle(ActivityIndicatorViewStyle style) {
    return style == ActivityIndicatorViewStyle::WhiteLarge ? cg::Size{37, 37} : cg::Size{20, 20};
}

void ActivityIndicatorView::setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style) {
    rt::KeyChange change(this, "activityIndicatorViewStyle");
    const long raw = static_cast<long>(style);
    style_ = raw >= 0 && raw <= 2 ? style : ActivityIndicatorViewStyle::Gray;
    const cg::Rect old = frame();
    const cg::Size size = sizeOfStyle(style_);
    setFrame(cg::Rect{{old.midX() - size.width / 2, old.midY() - size.height / 2}, size});
    setNeedsDisplay();
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
    rt::KeyChange change(this, "hidesWhenStopped");
    hidesWhenStopped_ = hides;
    if (!animating_) setHidden(hides);
}

void ActivityIndicatorView::startAnimating() {
    if (animating_) return;
    rt::KeyChange change(this, "animating");
    animating_ = true;
    setHidden(false);
}

void ActivityIndicatorView::stopAnimating() {
    if (!animating_) return;
    rt::KeyChange change(this, "animating");
    animating_ = false;
    if (hidesWhenStopped_) setHidden(true);
}

void ActivityIndicatorView::drawRect(const cg::Rect&) {
    cg::Context* context = graphicsGetCurrentContext();
    if (!context) return;
    const cg::Rect box = bounds();
    const double cx = box.midX(), cy = box.midY(), outer = box.width() / 2, inner = outer * 0.45;
    const double shade = style_ == ActivityIndicatorViewStyle::Gray ? 0.45 : 1.0;
    context->setLineWidth(style_ == ActivityIndicatorViewStyle::WhiteLarge ? 3.5 : 2.0);
    for (int spoke = 0; spoke < 12; ++spoke) {
        const double angle = spoke * std::numbers::pi / 6;
        context->setRGBStrokeColor(shade, shade, shade, 0.25 + 0.75 * spoke / 11.0);
        context->moveToPoint(cx + inner * std::cos(angle), cy + inner * std::sin(angle));
        context->addLineToPoint(cx + outer * std::cos(angle), cy + outer * std::sin(angle));
        context->strokePath();
    }
}

} // namespace ui
