#include "platform/uikit/button_dialog.h"

#include <algorithm>

#include "platform/graphics/layer.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/observer_list.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"

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

rt::ObserverList<ButtonDialog::PresentObserver>& takeAwayObservers() {
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

std::uint64_t ButtonDialog::addTakeAwayObserver(PresentObserver observer) {
    return takeAwayObservers().add(std::move(observer));
}

void ButtonDialog::removeTakeAwayObserver(std::uint64_t token) {
    takeAwayObservers().remove(token);
}

void ButtonDialog::takeAway() {
    takeAwayObservers().tell(*this);
    visible_ = false;
    pressedIndex_ = -1;
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
    // The button shows pressed while what its tap does runs, as long as the dialog shows.
    pressedIndex_ = index;
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
    for (const auto& dialog : all) {
        dialog->visible_ = false;
        dialog->pressedIndex_ = -1;
    }
}

void ButtonDialog::placeOnScreen(cg::Size screen) {
    const std::vector<rt::Ref<View>> old = subviewList();
    for (const rt::Ref<View>& view : old)
        view->removeFromSuperview();
    const bool sheet = isSheet();
    const double width = sheet ? screen.width - 16 : 270, padding = 16, row = sheet ? 57 : 44;
    auto text = [&](const rt::Ref<ns::String>& words, const rt::Ref<Font>& font, const rt::Ref<Color>& color,
                    double y) {
        auto label = rt::make<Label>(cg::Rect::make(padding, y, width - 2 * padding, 0));
        label->setText(words);
        label->setFont(font);
        label->setTextColor(color);
        label->setTextAlignment(TextAlignment::Center);
        label->setNumberOfLines(0);
        label->setFrame(cg::Rect::make(padding, y, width - 2 * padding,
                                       label->sizeThatFits({width - 2 * padding, 0}).height));
        addSubview(label);
        return label->frame().maxY();
    };
    auto rule = [&](const cg::Rect& rect) {
        auto line = rt::make<View>(rect);
        line->setBackgroundColor(Color::colorWithWhite(0, 0.2));
        addSubview(line);
    };
    // The texts, then the buttons under a rule (at the top when there is no text).
    double y = padding;
    bool said = false;
    if (title_ && !title_->isEmpty()) {
        y = text(title_, sheet ? Font::systemFontOfSize(13) : Font::boldSystemFontOfSize(17),
                 sheet ? Color::colorWithWhite(0.45, 1) : Color::blackColor(), y) +
            4;
        said = true;
    }
    if (rt::Ref<ns::String> message = messageText(); message && !message->isEmpty()) {
        y = text(message, Font::systemFontOfSize(13), Color::blackColor(), y);
        said = true;
    }
    y = said ? y + padding - 4 : 0;
    const long count = numberOfButtons();
    const bool sideBySide = !sheet && count == 2;
    const rt::Ref<Color> tint = Color::systemBlueColor();
    for (long i = 0; i < count; ++i) {
        const double w = sideBySide ? width / 2 : width;
        const cg::Rect place = cg::Rect::make(sideBySide ? i * w : 0, sideBySide ? y : y + i * row, w, row);
        auto label = rt::make<Label>(place);
        if (i == pressedIndex_) label->setBackgroundColor(Color::colorWithWhite(kPressedButtonWhite, 1));
        addSubview(label);
        if (place.minY() > 0) rule(cg::Rect::make(place.minX(), place.minY(), w, 0.5));
        if (sideBySide && i == 1) rule(cg::Rect::make(place.minX(), place.minY(), 0.5, row));
        label->setText(buttons_[std::size_t(i)]);
        label->setTextAlignment(TextAlignment::Center);
        label->setFont(i == cancelIndex_ ? Font::boldSystemFontOfSize(sheet ? 20 : 17)
                                         : Font::systemFontOfSize(sheet ? 20 : 17));
        label->setTextColor(i == reservedButtonIndex() ? Color::redColor() : tint);
    }
    const double height = y + (sideBySide ? row : double(count) * row);
    setBackgroundColor(Color::colorWithWhite(0.97, 1));
    layer()->setCornerRadius(kCornerRadius);
    layer()->setMasksToBounds(true); // a pressed button's grey keeps to the corners
    setFrame(sheet ? cg::Rect::make(8, screen.height - 8 - height, width, height)
                   : cg::Rect::make((screen.width - width) / 2, (screen.height - height) / 2, width, height));
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
