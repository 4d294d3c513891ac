#include "ui/overlays/hud_texts.h"

#include "platform/runtime/observer_list.h"
#include "platform/uikit/application.h"
#include "platform/uikit/window.h"
#include "ui/overlays/progress_hud.h"
#include "ui/overlays/view_hud.h"

namespace sh {

namespace {

rt::ObserverList<HUDTextObserver>& observers() {
    static auto* list = new rt::ObserverList<HUDTextObserver>;
    return *list;
}

void addText(std::vector<std::string>& texts, const rt::Ref<ns::String>& text) {
    if (text && text->length() > 0) texts.push_back(text->utf8());
}

void viewHUDTexts(const ui::View& view, std::vector<std::string>& texts) {
    if (auto hud = rt::cast<vh::ProgressHUD>(rt::Id(rt::retained(&view))); hud && hud->isShown()) {
        addText(texts, hud->labelText());
        addText(texts, hud->detailsLabelText());
    }
    for (const auto& subview : view.subviewList())
        viewHUDTexts(*subview, texts);
}

} // namespace

std::uint64_t addHUDTextObserver(HUDTextObserver observer) {
    return observers().add(std::move(observer));
}

void removeHUDTextObserver(std::uint64_t token) {
    observers().remove(token);
}

void announceHUDText(std::string_view text) {
    if (!text.empty()) observers().tell(text);
}

std::vector<std::string> hudTextsOnScreen() {
    std::vector<std::string> texts;
    if (ProgressHUD::isVisible()) addText(texts, ProgressHUD::status());
    auto application = ui::Application::sharedApplication();
    if (auto window = application ? application->keyWindow() : nullptr) viewHUDTexts(*window, texts);
    return texts;
}

} // namespace sh
