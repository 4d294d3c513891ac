#pragma once
// Counts the texts views draw cut while it lives (ui::addTextDrawnObserver).

#include "platform/uikit/text_cuts.h"

namespace testkit {

struct TextCutCount {
    int cuts = 0;
    const std::uint64_t token =
        ui::addTextDrawnObserver([this](const ui::View&, const ns::String&, bool whole) { cuts += whole ? 0 : 1; });
    TextCutCount() = default;
    TextCutCount(const TextCutCount&) = delete;
    ~TextCutCount() { ui::removeTextDrawnObserver(token); }
};

} // namespace testkit
