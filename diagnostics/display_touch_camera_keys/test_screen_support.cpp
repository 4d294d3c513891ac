#include "diagnostics/display_touch_camera_keys/test_screen_support.h"

#include <utility>

#include "platform/foundation/dictionary.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/navigation_controller.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"

namespace ft {

void recordVerdict(BaseModelViewController& screen, bool passed, std::string why) {
    screen.setVerdict(passed ? TestBaseModel::kPassed : TestBaseModel::kFailed, std::move(why));
    screen.gotoResultView();
}

rt::Ref<ns::MutableDictionary> titledRow(const char* title) {
    auto row = ns::MutableDictionary::make();
    row->setObjectForKey(ns::String::make(title), "title");
    return row;
}

void setBarsHidden(ui::ViewController& screen, bool hidden) {
    if (auto navigation = screen.navigationController()) navigation->setNavigationBarHidden(hidden);
    if (auto application = ui::Application::sharedApplication()) application->setStatusBarHidden(hidden);
}

rt::Ref<ui::Color> touchTargetColor() {
    return ui::Color::colorWithRed(74 / 255.0, 144 / 255.0, 226 / 255.0, 1);
}

} // namespace ft
