#include "ui/overlays/progress_bar.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"

namespace sb {

RT_DEFINE_CLASS(ProgressBar, "SBProgressBar", ui::View,
                rt::prop("progress", &ProgressBar::progress, &ProgressBar::setProgress),
                rt::prop("type", &ProgressBar::type, &ProgressBar::setType),
                rt::prop("progressTintColors", &ProgressBar::progressTintColors, &ProgressBar::setProgressTintColors),
                rt::prop("hideStripes", &ProgressBar::hideStripes, &ProgressBar::setHideStripes),
                rt::prop("hideTrack", &ProgressBar::hideTrack, &ProgressBar::setHideTrack),
                rt::prop("hideGloss", &ProgressBar::hideGloss, &ProgressBar::setHideGloss),
                rt::prop("indicatorTextDisplayMode", &ProgressBar::indicatorTextDisplayMode,
                         &ProgressBar::setIndicatorTextDisplayMode),
                rt::method("setProgress:animated:", &ProgressBar::setProgressAnimated))

ProgressBar::ProgressBar(const cg::Rect& frame)
    : ui::View(frame), fill_(rt::make<ui::View>()), label_(rt::make<ui::Label>()) {
    label_->setFont(ui::Font::systemFontOfSize(12));
    label_->setTextColor(ui::Color::whiteColor());
    label_->setTextAlignment(ui::TextAlignment::Center);
    label_->setHidden(true);
    fill_->addSubview(label_);
    addSubview(fill_);
}

void ProgressBar::setProgressAnimated(double progress, bool animated) {
    if (std::isnan(progress)) return;
    {
        rt::KeyChange change(this, "progress");
        progress_ = std::clamp(progress, 0.0, 1.0);
    }
    if (!animated) return layoutSubviews();
    ++animations_;
    rt::Weak<ProgressBar> weak(rt::retained(this));
    ui::View::animateWithDuration(
        kAnimationDuration, [weak] {
            if (auto self = weak.lock()) self->layoutSubviews();
        },
        [weak](bool) {
            if (auto self = weak.lock()) --self->animations_;
        });
}

void ProgressBar::setType(std::int64_t type) {
    rt::KeyChange change(this, "type");
    type_ = type;
}

void ProgressBar::setProgressTintColors(rt::Ref<ns::Array> colors) {
    rt::KeyChange change(this, "progressTintColors");
    tintColors_ = std::move(colors);
    layoutSubviews();
}

void ProgressBar::setHideStripes(bool hide) {
    rt::KeyChange change(this, "hideStripes");
    hideStripes_ = hide;
}

void ProgressBar::setHideTrack(bool hide) {
    rt::KeyChange change(this, "hideTrack");
    hideTrack_ = hide;
}

void ProgressBar::setHideGloss(bool hide) {
    rt::KeyChange change(this, "hideGloss");
    hideGloss_ = hide;
}

void ProgressBar::setIndicatorTextDisplayMode(std::int64_t mode) {
    rt::KeyChange change(this, "indicatorTextDisplayMode");
    indicatorMode_ = mode;
    layoutSubviews();
}

void ProgressBar::layoutSubviews() {
    ui::View::layoutSubviews();
    const cg::Rect bounds = this->bounds();
    fill_->setFrame(cg::Rect::make(0, 0, progress_ * bounds.width(), bounds.height()));
    if (tintColors_ && tintColors_->count() > 0) fill_->setBackgroundColor(rt::cast<ui::Color>(tintColors_->objectAtIndex(0)));
    label_->setHidden(indicatorMode_ != kPercentInFill);
    label_->setText(ns::stringWithFormat("%.0f%%", std::round(progress_ * 100)));
    label_->setFrame(fill_->bounds());
}

} // namespace sb
