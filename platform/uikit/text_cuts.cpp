#include "platform/uikit/text_cuts.h"

#include "platform/runtime/observer_list.h"

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

} // namespace ui
