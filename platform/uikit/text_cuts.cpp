#include "platform/uikit/text_cuts.h"

#include "platform/runtime/observer_list.h"
#include "platform/sim/run_text.h"

namespace ui {

namespace {
rt::ObserverList<TextDrawnObserver>& textDrawnObservers() {
    static auto* observers = new rt::ObserverList<TextDrawnObserver>;
    return *observers;
}
} // namespace

std::uint64_t addTextDrawnObserver(TextDrawnObserver observer) {
    return textDrawnObservers().add(std::move(observer));
}

void removeTextDrawnObserver(std::uint64_t token) {
    textDrawnObservers().remove(token);
}

void tellTextDrawn(const View& view, const ns::String& text, bool whole) {
    textDrawnObservers().tell(view, text, whole);
}

rt::Ref<ns::AttributedString> maskedForDrawing(const rt::Ref<ns::AttributedString>& text) {
    if (!text) return text;
    const std::string utf8 = text->string()->utf8();
    const std::vector<sim::MaskedPart> parts = sim::runTextMasks(utf8);
    if (parts.empty()) return text;
    // The UTF-16 index of each byte offset the parts name, counted in one walk.
    std::vector<std::size_t> unitAt(utf8.size() + 1);
    for (std::size_t at = 0, units = 0; at <= utf8.size(); ++at) {
        unitAt[at] = units;
        if (at == utf8.size()) break;
        const auto byte = static_cast<unsigned char>(utf8[at]);
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    rt::Ref<ns::MutableAttributedString> masked = text->mutableCopy();
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) // from the end: the earlier indexes hold
        masked->replaceCharactersInRange({unitAt[part->begin], unitAt[part->end] - unitAt[part->begin]},
                                         *ns::String::make(part->shown));
    return masked;
}

} // namespace ui
