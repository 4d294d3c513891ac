#pragma once
// sb::ProgressBar ("SBProgressBar"): a flat progress bar. The fill is a subview progress × width
// wide in the first tint colour; with indicator mode 2 a label inside the fill shows the rounded
// percentage ("46%"). setProgress clamps to 0..1 and ignores NaN; `progress` reads the new value at
// once, and an animated change moves the fill over 0.3 s on the clock. The stripe, track and
// gloss settings are kept for the callers that set them; the flat bar draws none of them.

#include <cstdint>

#include "platform/foundation/array.h"
#include "platform/uikit/view.h"

namespace ui {
class Label;
}

namespace sb {

class ProgressBar : public ui::View {
    RT_CLASS(ProgressBar)
public:
    static constexpr double kAnimationDuration = 0.3;
    static constexpr std::int64_t kFlat = 1;
    static constexpr std::int64_t kPercentInFill = 2;

    double progress() const noexcept { return progress_; }
    void setProgress(double progress) { setProgressAnimated(progress, false); }
    void setProgressAnimated(double progress, bool animated);
    // Whether an animated change is still moving the fill.
    bool isAnimating() const noexcept { return animations_ > 0; }

    std::int64_t type() const noexcept { return type_; }
    void setType(std::int64_t type);
    const rt::Ref<ns::Array>& progressTintColors() const noexcept { return tintColors_; }
    void setProgressTintColors(rt::Ref<ns::Array> colors);
    bool hideStripes() const noexcept { return hideStripes_; }
    void setHideStripes(bool hide);
    bool hideTrack() const noexcept { return hideTrack_; }
    void setHideTrack(bool hide);
    bool hideGloss() const noexcept { return hideGloss_; }
    void setHideGloss(bool hide);
    std::int64_t indicatorTextDisplayMode() const noexcept { return indicatorMode_; }
    void setIndicatorTextDisplayMode(std::int64_t mode);

    const rt::Ref<ui::View>& fill() const noexcept { return fill_; }
    const rt::Ref<ui::Label>& indicatorLabel() const noexcept { return label_; }

    void layoutSubviews() override;

protected:
    explicit ProgressBar(const cg::Rect& frame = {});

private:
    double progress_ = 0;
    std::int64_t type_ = kFlat;
    rt::Ref<ns::Array> tintColors_;
    bool hideStripes_ = false;
    bool hideTrack_ = false;
    bool hideGloss_ = false;
    std::int64_t indicatorMode_ = 0;
    int animations_ = 0;
    rt::Ref<ui::View> fill_;
    rt::Ref<ui::Label> label_;
};

} // namespace sb
