#pragma once
// ft::FillColorViewController ("FillColorViewController"): the full-screen colour fill test (key
// "LCD_FILL_TEST"): white, red, green, blue and black, each bare for 3.0 s, the question naming the
// colour (color_fill_view_controller.h). On a device with a bottom safe area the retry button at the
// top grows by 22 points and its title moves 30 down (20 elsewhere), clear of the sensor housing.

#include "diagnostics/display_touch_camera_keys/color_fill_view_controller.h"

namespace ft {

class FillColorViewController : public ColorFillViewController {
    RT_CLASS(FillColorViewController)
public:
    // The retry button's height.
    rt::Ref<ui::LayoutConstraint> retryButtonHeightConstaint() const;
    void setRetryButtonHeightConstaint(const rt::Ref<ui::LayoutConstraint>& constraint);

protected:
    FillColorViewController();
    void fitRetryButton() override;

private:
    rt::Weak<ui::LayoutConstraint> retryHeight_;
};

} // namespace ft
