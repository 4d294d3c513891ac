#include "diagnostics/display_touch_camera_keys/fill_color_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/layout_constraint.h"
#include "session/screen_support.h"

namespace ft {

namespace {

// What the retry button gains under a bottom safe area, and its title's top inset with and without.
constexpr double kFillColorRetryGrowth = 22;
constexpr double kFillColorTitleInsetWithSafeArea = 30;
constexpr double kFillColorTitleInset = 20;

const bool fillColorNibRegistered = registerTestScreenNib<FillColorViewController>(
    "FillColorViewController",
    [](const rt::Ref<ui::View>& view, FillColorViewController& screen) {
        screen.setRetryButtonHeightConstaint(FillColorViewController::addFillViews(view, screen));
    },
    ScenePlacement::AsFramed);

} // namespace

RT_DEFINE_CLASS(FillColorViewController, "FillColorViewController", ColorFillViewController,
                rt::prop("retryButtonHeightConstaint", &FillColorViewController::retryButtonHeightConstaint,
                         &FillColorViewController::setRetryButtonHeightConstaint,
                         {.memory = rt::Memory::Weak}))

FillColorViewController::FillColorViewController()
    : ColorFillViewController(
          {.colours = {{&ui::Color::whiteColor, &ui::Color::blackColor, "FILLCOLOR_CONTROLLER_WHITE"},
                       {&ui::Color::redColor, &ui::Color::whiteColor, "FILLCOLOR_CONTROLLER_RED"},
                       {&ui::Color::greenColor, &ui::Color::blackColor, "FILLCOLOR_CONTROLLER_GREEN"},
                       {&ui::Color::blueColor, &ui::Color::whiteColor, "FILLCOLOR_CONTROLLER_BLUE"},
                       {&ui::Color::blackColor, &ui::Color::whiteColor, "FILLCOLOR_CONTROLLER_BLACK"}},
           .barePeriod = 3.0}) {}

rt::Ref<ui::LayoutConstraint> FillColorViewController::retryButtonHeightConstaint() const {
    return retryHeight_.lock();
}

void FillColorViewController::setRetryButtonHeightConstaint(const rt::Ref<ui::LayoutConstraint>& constraint) {
    rt::KeyChange change(this, "retryButtonHeightConstaint");
    retryHeight_ = constraint;
}

void FillColorViewController::fitRetryButton() {
    auto retry = hideButtons();
    double inset = kFillColorTitleInset;
    if (hasBottomInset()) {
        if (auto height = retryButtonHeightConstaint())
            height->setConstant(height->constant() + kFillColorRetryGrowth);
        view()->layoutIfNeeded();
        inset = kFillColorTitleInsetWithSafeArea;
    }
    if (retry) retry->setTitleEdgeInsets({inset, 0, 0, 0});
}

} // namespace ft
