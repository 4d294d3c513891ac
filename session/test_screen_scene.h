#pragma once
// A test screen's scene: the base test screen's scene (its instruction label and pass, fail and
// result buttons, base_model_view_controller.h), loaded with the screen as owner, with the
// screen's own views added over it. Registered as a nib under the screen's class name, so the
// screen's view comes from it.
//
// The screen's views are placed for the main screen's width and as they stand under a phone's
// bars (kSceneBarsHeight). Those a scene places by their frames keep that place under the bars on
// every device: once the scene is built, each is pinned at its frame's distance under the top
// layout guide, at its left and of its size, and gives way upwards rather than reach the answers
// (the success and fail buttons) where a shorter screen brings them nearer: it keeps 8 points
// above them (or as near as it was placed). A scene whose frames already stand where they show
// keeps them (AsFramed): one that covers the whole screen (the colour fills), or one whose view
// begins under the bar (the water damage question).

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

// Where a scene's views placed by their frames stand.
enum class ScenePlacement { UnderBars, AsFramed };

// Registers the nib `name`: the base's scene, then `addViews` with its view and the owner.
void registerTestScreenNib(std::string name, SceneBuilder addViews,
                           ScenePlacement placement = ScenePlacement::UnderBars);

// The same, with the owner as the screen's class (`addViews` is not called for another owner).
template <class Screen, class AddViews>
bool registerTestScreenNib(std::string name, AddViews addViews,
                           ScenePlacement placement = ScenePlacement::UnderBars) {
    registerTestScreenNib(
        std::move(name),
        [addViews](const rt::Ref<ui::View>& view, const rt::Id& owner) {
            if (auto screen = rt::cast<Screen>(owner)) addViews(view, *screen);
        },
        placement);
    return true;
}

// A label added to the scene at `frame`: centred, as many lines as it needs, the system font of
// `size`, dark text.
rt::Ref<ui::Label> addSceneLabel(const rt::Ref<ui::View>& view, const cg::Rect& frame, double size);

} // namespace ft
