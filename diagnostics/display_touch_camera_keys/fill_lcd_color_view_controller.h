#pragma once
// ft::FillLCDColorViewController ("FillLCDColorViewController"): the two-colour fill test, white then
// black, each bare for 2.0 s, asking the item's own question (empty without one); the retry button
// keeps its scene's height and insets (color_fill_view_controller.h). No catalogue row opens it.

#include "diagnostics/display_touch_camera_keys/color_fill_view_controller.h"

namespace ft {

class FillLCDColorViewController : public ColorFillViewController {
    RT_CLASS(FillLCDColorViewController)
protected:
    FillLCDColorViewController();
};

} // namespace ft
