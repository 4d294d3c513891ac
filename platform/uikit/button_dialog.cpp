#include "platform/uikit/button_dialog.h"

#include <algorithm>

#include "platform/runtime/observation.h"
#include "platform/runtime/observer_list.h"
#include "platform/uikit/delegate_messages.h"

namespace ui {

namespace {
// Presented dialogs, kept alive while they show. Main thread only; never destroyed, so no
// dialog is let go while the process exits.
std::vector<rt::Ref<ButtonDialog>>& presentedList() {
    static auto* list = new std::vector<rt::Ref<ButtonDialog>>();
    return *list;
}

rt::ObserverList<ButtonDialog::PresentObserver>& presentObservers() {
    static auto* observers = new rt::ObserverList<ButtonDialog::PresentObserver>;
    return *observers;
}
} // namespace

void ButtonDialog::setTitle(rt::Ref<ns::String> title) {
    rt::KeyChange change(this, "title");
    title_ = std::move(title);
}

void ButtonDialog::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate ? rt::Weak<rt::Object>(delegate) : rt::Weak<rt::Object>();
}

long ButtonDialog::addButtonWithTitle(rt::Ref<ns::String> title) {
    if (!title) return -1;
    buttons_.push_back(std::move(title));
    return numberOfButtons() - 1;
}

rt::Ref<ns::String> ButtonDialog::buttonTitleAtIndex(long index) const {
    return index >= 0 && index < numberOfButtons() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

void ButtonDialog::setCancelButtonIndex(long index) {
    rt::KeyChange change(this, "cancelButtonIndex");
    cancelIndex_ = index >= 0 && index < numberOfButtons() ? index : -1;
}

long ButtonDialog::firstOtherButtonIndex() const noexcept {
    for (long i = 0; i < numberOfButtons(); ++i)
        if (i != cancelIndex_ && i != reservedButtonIndex()) return i;
    return -1;
}

void ButtonDialog::present() {
    if (visible_) return;
    rt::Ref<ButtonDialog> self = rt::retained(this);
    detail::tell(delegate(), callbacks_.willPresent, self);
    visible_ = true;
    presentedList().push_back(self);
    detail::tell(delegate(), callbacks_.didPresent, self);
    presentObservers().tell(*this);
}

std::uint64_t ButtonDialog::addPresentObserver(PresentObserver observer) {
    return presentObservers().add(std::move(observer));
}

void ButtonDialog::removePresentObserver(std::uint64_t token) {
    presentObservers().remove(token);
}

void ButtonDialog::takeAway() {
    visible_ = false;
    auto& list = presentedList();
    // The list may hold the last reference; `keep` lets go of it once the list is consistent.
    auto at = std::find(list.begin(), list.end(), rt::Ref<ButtonDialog>(rt::retained(this)));
    if (at == list.end()) return;
    rt::Ref<ButtonDialog> keep = std::move(*at);
    list.erase(at);
}

void ButtonDialog::dismissWithClickedButtonIndex(long, bool) {
    if (visible_) takeAway();
}

bool ButtonDialog::press(long index) {
    if (!visible_ || index < 0 || index >= numberOfButtons()) return false;
    rt::Ref<ButtonDialog> self = rt::retained(this);
    detail::tell(delegate(), callbacks_.clicked, self, index);
    if (!visible_) return true; // the clicked callback took the dialog away itself
    detail::tell(delegate(), callbacks_.willDismiss, self, index);
    takeAway();
    detail::tell(delegate(), callbacks_.didDismiss, self, index);
    return true;
}

std::vector<rt::Ref<ButtonDialog>> ButtonDialog::presented() {
    return presentedList();
}

void ButtonDialog::dismissAllPresented() {
    std::vector<rt::Ref<ButtonDialog>> all;
    all.swap(presentedList());
    for (const auto& dialog : all)
        dialog->visible_ = false;
}

rt::ClassMember ButtonDialog::sharedMembers() {
    static const rt::ClassMember members[] = {
        rt::prop("title", &ButtonDialog::title, &ButtonDialog::setTitle, {.memory = rt::Memory::Copy}),
        rt::prop("delegate", &ButtonDialog::delegate, &ButtonDialog::setDelegate, {.memory = rt::Memory::Weak}),
        rt::prop("numberOfButtons", &ButtonDialog::numberOfButtons),
        rt::prop("cancelButtonIndex", &ButtonDialog::cancelButtonIndex, &ButtonDialog::setCancelButtonIndex),
        rt::prop("firstOtherButtonIndex", &ButtonDialog::firstOtherButtonIndex),
        rt::prop("visible", &ButtonDialog::isVisible, {.getter = "isVisible"}),
        rt::method("addButtonWithTitle:", &ButtonDialog::addButtonWithTitle),
        rt::method("buttonTitleAtIndex:", &ButtonDialog::buttonTitleAtIndex),
        rt::method("dismissWithClickedButtonIndex:animated:", &ButtonDialog::dismissWithClickedButtonIndex),
    };
    return [](rt::Class& cls) {
        for (const rt::ClassMember& member : members)
            member(cls);
    };
}

} // namespace ui
