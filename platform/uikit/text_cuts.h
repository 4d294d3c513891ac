#pragma once
// Text drawn cut: each label and text view that draws less than its whole text (its last line shown
// cut with "…", or lines left out for want of room) tells the observers here, so a run can list
// every text its pictures show cut. Main thread, as drawing a screen is.

#include <cstdint>
#include <functional>

namespace ns {
class String;
}

namespace ui {

class View;

// The view that drew and its whole text.
using TextCutObserver = std::function<void(const View& view, const ns::String& text)>;
std::uint64_t addTextCutObserver(TextCutObserver observer);
void removeTextCutObserver(std::uint64_t token);
// The views that draw text call it.
void tellTextCut(const View& view, const ns::String& text);

} // namespace ui
