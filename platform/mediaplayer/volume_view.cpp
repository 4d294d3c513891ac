#include "platform/mediaplayer/volume_view.h"

#include "platform/mediaplayer/volume_indicator.h"
#include "platform/runtime/class.h"
#include "platform/uikit/window.h"

namespace mp {

RT_DEFINE_CLASS(VolumeView, "MPVolumeView", ui::View)

VolumeView::VolumeView(const cg::Rect& frame) : ui::View(frame) {
    VolumeIndicator::watch();
}

VolumeView::~VolumeView() {
    if (inWindow_) VolumeIndicator::volumeViewLeftWindow();
}

cg::Size VolumeView::sizeThatFits(cg::Size size) const {
    return {size.width, kHeight};
}

void VolumeView::didMoveToWindow() {
    ui::View::didMoveToWindow();
    const bool inWindow = window() != nullptr;
    if (inWindow == inWindow_) return;
    inWindow_ = inWindow;
    if (inWindow) VolumeIndicator::volumeViewEnteredWindow();
    else VolumeIndicator::volumeViewLeftWindow();
}

} // namespace mp
