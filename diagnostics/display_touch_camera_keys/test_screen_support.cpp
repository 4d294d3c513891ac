#include "diagnostics/display_touch_camera_keys/test_screen_support.h"

#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"

namespace ft {

void recordVerdict(BaseModelViewController& screen, bool passed) {
    if (auto item = screen.info()) item->setSuccess(passed ? TestBaseModel::kPassed : TestBaseModel::kFailed);
    screen.gotoResultView();
}

} // namespace ft
