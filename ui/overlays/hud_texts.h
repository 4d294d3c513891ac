#pragma once
// What the HUDs show a person: the shared HUD's status (sh::ProgressHUD) and the label and detail
// of each HUD on a view (vh::ProgressHUD). A tester reads them here; a run report hears each text as
// it comes on screen. Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ui {
class View;
}

namespace sh {

// Told of each text as a HUD comes to show it (a HUD that shows the same text again tells no one).
using HUDTextObserver = std::function<void(std::string_view text)>;
std::uint64_t addHUDTextObserver(HUDTextObserver observer);
void removeHUDTextObserver(std::uint64_t token);
// The HUD classes tell the observers here.
void announceHUDText(std::string_view text);

// The HUDs on screen, each its view, the texts it shows and the part of its view that hides what
// lies under it: the shared HUD while it shows (its status), then each view HUD shown in the key
// window (its label and detail), the newest last; texts not empty.
struct HUDOnScreen {
    rt::Ref<ui::View> view;
    std::vector<std::string> texts;
    cg::Rect covers; // in the view's coordinates: its box, or its whole bounds when it dims the rest
};
std::vector<HUDOnScreen> hudsOnScreen();
// Their texts, in that order.
std::vector<std::string> hudTextsOnScreen();

} // namespace sh
