#include "diagnostics/display_touch_camera_keys/fill_lcd_color_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/runtime/class.h"
#include "platform/uikit/color.h"
#include "platform/uikit/layout_constraint.h"

namespace ft {

namespace {

const bool fillLCDColorNibRegistered = registerTestScreenNib<FillLCDColorViewController>(
    "FillLCDColorViewController",
    [](const rt::Ref<ui::View>& view, FillLCDColorViewController& screen) {
        FillLCDColorViewController::addFillViews(view, screen);
    },
    ScenePlacement::AsFramed);

} // namespace

RT_DEFINE_CLASS(FillLCDColorViewController, "FillLCDColorViewController", ColorFillViewController)

FillLCDColorViewController::FillLCDColorViewController()
    : ColorFillViewController(
          {.colours = {{&ui::Color::whiteColor, &ui::Color::blackColor, "FILLCOLOR_CONTROLLER_WHITE"},
                       {&ui::Color::blackColor, &ui::Color::whiteColor, "FILLCOLOR_CONTROLLER_BLACK"}},
           .barePeriod = 2.0,
           .asksItemsQuestion = true}) {}

} // namespace ft
