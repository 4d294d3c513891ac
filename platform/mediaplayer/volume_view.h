#pragma once
// mp::VolumeView ("MPVolumeView"): the system's volume slider as a view. While one is in a window the
// system volume indicator stays away (volume_indicator.h), even when the view is off screen.
// `sizeToFit` keeps its width and takes the slider's height. Main thread only.

#include "platform/uikit/view.h"

namespace mp {

class VolumeView final : public ui::View {
    RT_CLASS(VolumeView)
public:
    // The slider's height.
    static constexpr double kHeight = 34;

    cg::Size sizeThatFits(cg::Size size) const override;

protected:
    VolumeView() : VolumeView(cg::Rect{}) {}
    explicit VolumeView(const cg::Rect& frame);
    ~VolumeView() override;
    void didMoveToWindow() override;

private:
    bool inWindow_ = false;
};

} // namespace mp
