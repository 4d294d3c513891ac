#pragma once
// ui::ActivityIndicatorView ("UIActivityIndicatorView"): the spinning busy mark. Its size is fixed
// by its style, whatever frame it is given: white large (0) 37 x 37 points, white (1) and grey (2)
// 20 x 20. With hidesWhenStopped (the default) it is hidden whenever it is not animating;
// startAnimating shows it. A picture shows twelve spokes. Main thread only.

#include "platform/uikit/view.h"

namespace ui {

enum class ActivityIndicatorViewStyle : long { WhiteLarge = 0, White = 1, Gray = 2 };

class ActivityIndicatorView : public View {
    RT_CLASS(ActivityIndicatorView)
public:
    static rt::Ref<ActivityIndicatorView> withStyle(ActivityIndicatorViewStyle style);

    ActivityIndicatorViewStyle activityIndicatorViewStyle() const noexcept { return style_; }
    void setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style);
    bool hidesWhenStopped() const noexcept { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);
    bool isAnimating() const noexcept { return animating_; }
    void startAnimating();
    void stopAnimating();

    // The size of a style (an unknown one is the grey).
    static cg::Size sizeOfStyle(ActivityIndicatorViewStyle style);
    cg::Size intrinsicContentSize() const override { return sizeOfStyle(style_); }
    void drawRect(const cg::Rect& rect) override;

protected:
    ActivityIndicatorView();
    explicit ActivityIndicatorView(const cg::Rect& frame);

private:
    ActivityIndicatorViewStyle style_ = ActivityIndicatorViewStyle::White;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
};

} // namespace ui
