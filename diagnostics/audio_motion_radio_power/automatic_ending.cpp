#include "diagnostics/audio_motion_radio_power/automatic_ending.h"

#include <utility>

#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"

namespace ft {

void endAutomatically(BaseModelViewController& screen, std::int64_t code, std::string why) {
    screen.setVerdict(code, std::move(why));
    if (screen.single() || screen.isRetryItem() || screen.isLastTestingItem()) screen.gotoResultView();
    else screen.gotoPreviousView();
}

} // namespace ft
