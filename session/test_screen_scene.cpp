#include "session/test_screen_scene.h"

#include "platform/foundation/array.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/view.h"

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

} // namespace ft
