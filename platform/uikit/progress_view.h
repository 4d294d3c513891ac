#pragma once
// ui::ProgressView ("UIProgressView"): a bar filled to a fraction. It is 2 points high, whatever
// height its frame is given. Main thread only.

#include "platform/uikit/view.h"

namespace ui {

class ProgressView : public View {
    RT_CLASS(ProgressView)
public:
    static constexpr double barHeight = 2;

    // Held to 0...1.
    float progress() const noexcept { return progress_; }
    void setProgress(float progress);
    void setProgressAnimated(float progress, bool animated);
    void layoutSubviews() override;

protected:
    ProgressView();
    explicit ProgressView(const cg::Rect& frame);

private:
    float progress_ = 0;
};

} // namespace ui
