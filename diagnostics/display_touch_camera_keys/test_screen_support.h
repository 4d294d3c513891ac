#pragma once
// What this folder's test screens share.
// - Their scenes: the base's scene with the screen's own views (session/test_screen_scene.h).
// - The question screens' verdict: the tester's answer as the item's code, then the way out.

#include <string>

#include "session/test_screen_scene.h"

namespace ns {
class MutableDictionary;
}
namespace ui {
class Color;
class ViewController;
} // namespace ui

namespace ft {

class BaseModelViewController;

// YES 1, NO 2 into the screen's item with why (none: the tester's answer says it), then
// gotoResultView.
void recordVerdict(BaseModelViewController& screen, bool passed, std::string why = {});

// A step row of the screen's own list: {"title": title}.
rt::Ref<ns::MutableDictionary> titledRow(const char* title);

// The navigation bar (of the screen's navigation controller) and the status bar hidden or shown.
void setBarsHidden(ui::ViewController& screen, bool hidden);

// The touch tests' untouched target: RGB (74, 144, 226) / 255.
rt::Ref<ui::Color> touchTargetColor();

} // namespace ft
