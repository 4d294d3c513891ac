#include "platform/uikit/text_cuts.h"

#include "platform/runtime/observer_list.h"

namespace ui {

namespace {
rt::ObserverList<TextCutObserver>& textCutObservers() {
    static auto* observers = new rt::ObserverList<TextCutObserver>;
    return *observers;
}
} // namespace

std::uint64_t addTextCutObserver(TextCutObserver observer) {
    return textCutObservers().add(std::move(observer));
}

void removeTextCutObserver(std::uint64_t token) {
    textCutObservers().remove(token);
}

void tellTextCut(const View& view, const ns::String& text) {
    textCutObservers().tell(view, text);
}

} // namespace ui
