#pragma once
// A test screen's scene: the base test screen's scene (its instruction label and pass, fail and
// result buttons, base_model_view_controller.h), loaded with the screen as owner, with the
// screen's own views added over it; the views are placed for the main screen's size. Registered
// as a nib under the screen's class name, so the screen's view comes from it.

#include <functional>
#include <string>

#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ui {
class Label;
class View;
} // namespace ui

namespace ft {

using SceneBuilder = std::function<void(const rt::Ref<ui::View>& view, const rt::Id& owner)>;

// Registers the nib `name`: the base's scene, then `addViews` with its view and the owner.
void registerTestScreenNib(std::string name, SceneBuilder addViews);

// The same, with the owner as the screen's class (`addViews` is not called for another owner).
template <class Screen, class AddViews> bool registerTestScreenNib(std::string name, AddViews addViews) {
    registerTestScreenNib(std::move(name), [addViews](const rt::Ref<ui::View>& view, const rt::Id& owner) {
        if (auto screen = rt::cast<Screen>(owner)) addViews(view, *screen);
    });
    return true;
}

// A label added to the scene at `frame`: centred, as many lines as it needs, the system font of
// `size`, dark text.
rt::Ref<ui::Label> addSceneLabel(const rt::Ref<ui::View>& view, const cg::Rect& frame, double size);

} // namespace ft
