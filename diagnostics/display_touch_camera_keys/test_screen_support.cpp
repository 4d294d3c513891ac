#include "diagnostics/display_touch_camera_keys/test_screen_support.h"

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/view.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"

namespace ft {

void registerTestScreenNib(std::string name, SceneBuilder addViews) {
    ui::Nib::registerNib(
        std::move(name), [addViews = std::move(addViews)](const rt::Id& owner) -> ui::Nib::Loaded {
            rt::Ref<ns::Array> loaded =
                ui::Nib::nibWithNibName("BaseModelViewController")->instantiateWithOwner(owner);
            auto view = loaded->count() ? rt::cast<ui::View>(loaded->objectAtIndex(0)) : nullptr;
            if (!view) return {};
            addViews(view, owner);
            // The base's views were woken as they loaded; the screen's own are plain views.
            return {{view}, {}};
        });
}

rt::Ref<ui::Label> addSceneLabel(const rt::Ref<ui::View>& view, const cg::Rect& frame, double size) {
    auto label = rt::make<ui::Label>(frame);
    label->setTextAlignment(ui::TextAlignment::Center);
    label->setNumberOfLines(0);
    label->setFont(ui::Font::systemFontOfSize(size));
    label->setTextColor(ui::Color::darkTextColor());
    view->addSubview(label);
    return label;
}

void recordVerdict(BaseModelViewController& screen, bool passed) {
    if (auto item = screen.info()) item->setSuccess(passed ? TestBaseModel::kPassed : TestBaseModel::kFailed);
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
