#pragma once
// Counts the texts views draw cut while it lives (ui::addTextDrawnObserver), and lists the texts a
// picture of the screen draws whole.

#include <string>
#include <vector>

#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_rendering.h"

namespace testkit {

struct TextCutCount {
    int cuts = 0;
    const std::uint64_t token =
        ui::addTextDrawnObserver([this](const ui::View&, const ns::String&, bool whole) { cuts += whole ? 0 : 1; });
    TextCutCount() = default;
    TextCutCount(const TextCutCount&) = delete;
    ~TextCutCount() { ui::removeTextDrawnObserver(token); }
};

// The texts a picture of the screen of `window` (its dialogs and the status bar over it) draws
// whole, in the order drawn.
inline std::vector<std::string> wholeTextsPictured(ui::Window& window) {
    std::vector<std::string> drawn;
    const std::uint64_t token =
        ui::addTextDrawnObserver([&](const ui::View&, const ns::String& text, bool whole) {
            if (whole) drawn.push_back(text.utf8());
        });
    ui::screenPicture(window);
    ui::removeTextDrawnObserver(token);
    return drawn;
}

} // namespace testkit
