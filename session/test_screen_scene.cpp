#include "session/test_screen_scene.h"

#include "platform/foundation/array.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/view.h"
#include "session/screen_support.h"

namespace ft {

namespace {

// Each view of the scene placed by its frame pinned where the frame puts it under a phone's bars.
void keepUnderBars(const rt::Ref<ui::View>& view, const rt::Id& owner) {
    using Attribute = ui::LayoutAttribute;
    for (const rt::Ref<ui::View>& part : view->subviewList()) {
        if (!part->translatesAutoresizingMaskIntoConstraints()) continue;
        const cg::Rect frame = part->frame();
        part->setTranslatesAutoresizingMaskIntoConstraints(false);
        pinEqual(view, part, Attribute::Leading, view, Attribute::Leading, frame.minX());
        pinEqual(view, part, Attribute::Width, nullptr, Attribute::NotAnAttribute, frame.width());
        pinEqual(view, part, Attribute::Height, nullptr, Attribute::NotAnAttribute, frame.height());
        pinBelowBars(view, part, owner, frame.minY() - kSceneBarsHeight);
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
