#include "session/test_screen_scene.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/view.h"
#include "session/base_model_view_controller.h"
#include "session/screen_support.h"

namespace ft {

namespace {

// How far above the answers a view that gives way to them stands, at least.
constexpr double kAboveAnswers = 8;

// Each view of the scene placed by its frame pinned where the frame puts it under a phone's bars,
// giving way upwards where a shorter screen brings the answers nearer.
void keepUnderBars(const rt::Ref<ui::View>& view, const rt::Id& owner) {
    using Attribute = ui::LayoutAttribute;
    const auto screen = rt::cast<BaseModelViewController>(owner);
    const rt::Ref<ui::Button> answers = screen ? screen->successButton() : nullptr;
    for (const rt::Ref<ui::View>& part : view->subviewList()) {
        if (!part->translatesAutoresizingMaskIntoConstraints()) continue;
        const cg::Rect frame = part->frame();
        part->setTranslatesAutoresizingMaskIntoConstraints(false);
        pinEqual(view, part, Attribute::Leading, view, Attribute::Leading, frame.minX());
        pinEqual(view, part, Attribute::Width, nullptr, Attribute::NotAnAttribute, frame.width());
        pinEqual(view, part, Attribute::Height, nullptr, Attribute::NotAnAttribute, frame.height());
        auto top = pinBelowBars(view, part, owner, frame.minY() - kSceneBarsHeight);
        if (!answers) continue;
        const double above = answers->frame().minY() - frame.maxY();
        top->setPriority(ui::LayoutPriorityDefaultHigh);
        view->addConstraint(ui::LayoutConstraint::constraintWithItem(
            part, Attribute::Bottom, ui::LayoutRelation::LessThanOrEqual, answers, Attribute::Top, 1,
            -(above >= 0 ? std::min(kAboveAnswers, above) : kAboveAnswers)));
    }
}

} // namespace

void registerTestScreenNib(std::string name, SceneBuilder addViews, ScenePlacement placement) {
    ui::Nib::registerNib(
        std::move(name), [addViews = std::move(addViews), placement](const rt::Id& owner) -> ui::Nib::Loaded {
            rt::Ref<ns::Array> loaded =
                ui::Nib::nibWithNibName("BaseModelViewController")->instantiateWithOwner(owner);
            auto view = loaded->count() ? rt::cast<ui::View>(loaded->objectAtIndex(0)) : nullptr;
            if (!view) return {};
            addViews(view, owner);
            if (placement == ScenePlacement::UnderBars) keepUnderBars(view, owner);
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

} // namespace ft
