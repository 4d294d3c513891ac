#pragma once
// What this folder's test screens share.
// - Their scenes: the base's scene with the screen's own views (session/test_screen_scene.h).
// - The question screens' verdict: the tester's answer as the item's code, then the way out.

#include "session/test_screen_scene.h"

namespace ft {

class BaseModelViewController;

// YES 1, NO 2 into the screen's item, then gotoResultView.
void recordVerdict(BaseModelViewController& screen, bool passed);

} // namespace ft
