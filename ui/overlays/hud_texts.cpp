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

void addViewHUDs(const ui::View& view, std::vector<HUDOnScreen>& huds) {
    if (auto hud = rt::cast<vh::ProgressHUD>(rt::Id(rt::retained(&view))); hud && hud->isShown()) {
        HUDOnScreen& shown = huds.emplace_back(HUDOnScreen{hud, {}, hud->box()});
        addText(shown.texts, hud->labelText());
        addText(shown.texts, hud->detailsLabelText());
    }
    for (const auto& subview : view.subviewList())
        addViewHUDs(*subview, huds);
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

std::vector<HUDOnScreen> hudsOnScreen() {
    std::vector<HUDOnScreen> huds;
    if (ProgressHUD::isVisible())
        addText(huds.emplace_back(HUDOnScreen{ProgressHUD::view(), {}, ProgressHUD::coveredRect()}).texts,
                ProgressHUD::status());
    auto application = ui::Application::sharedApplication();
    if (auto window = application ? application->keyWindow() : nullptr) addViewHUDs(*window, huds);
    return huds;
}

std::vector<std::string> hudTextsOnScreen() {
    std::vector<std::string> texts;
    for (HUDOnScreen& hud : hudsOnScreen())
        texts.insert(texts.end(), hud.texts.begin(), hud.texts.end());
    return texts;
}

} // namespace sh
