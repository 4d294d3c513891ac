#include "platform/uikit/progress_view.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

ProgressView::ProgressView() : ProgressView(cg::Rect::make(0, 0, 0, barHeight)) {}

ProgressView::ProgressView(const cg::Rect& frame)
    : View(cg::Rect::make(frame.origin.x, frame.origin.y, frame.size.width, barHeight)) {}

void ProgressView::setProgress(float progress) {
    rt::KeyChange change(this, "progress");
    progress_ = progress > 0 ? std::min(progress, 1.0f) : 0.0f;
    setNeedsDisplay();
}

void ProgressView::setProgressAnimated(float progress, bool) {
    setProgress(progress);
}

// Keeps the bar's own height, about its centre.
void ProgressView::layoutSubviews() {
    if (bounds().size.height == barHeight) return;
    const cg::Point middle = center();
    setBounds(cg::Rect::make(bounds().origin.x, bounds().origin.y, bounds().size.width, barHeight));
    setCenter(middle);
}

RT_DEFINE_CLASS(ProgressView, "UIProgressView", View,
                rt::prop("progress", &ProgressView::progress, &ProgressView::setProgress),
                rt::method("setProgress:animated:", &ProgressView::setProgressAnimated))

} // namespace ui
