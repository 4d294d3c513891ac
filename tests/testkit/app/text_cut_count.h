#pragma once
// Counts the texts views draw cut while it lives (ui::addTextCutObserver).

#include "platform/uikit/text_cuts.h"

namespace testkit {

struct TextCutCount {
    int cuts = 0;
    const std::uint64_t token = ui::addTextCutObserver([this](const ui::View&, const ns::String&) { ++cuts; });
    TextCutCount() = default;
    TextCutCount(const TextCutCount&) = delete;
    ~TextCutCount() { ui::removeTextCutObserver(token); }
};

} // namespace testkit
