#include "platform/uikit/button_dialog.h"

#include <algorithm>

#include "platform/graphics/layer.h"
#include "platform/graphics/path.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/observer_list.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/device.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/transaction.h"

namespace ui {

namespace {
// The dialogs on the screen, first presented first: those presented, and those taken away in the
// current turn, which stay on it until the turn has committed. The list keeps them alive. Main
// thread only; never destroyed, so no dialog is let go while the process exits.
std::vector<rt::Ref<ButtonDialog>>& onScreenList() {
    static auto* list = new std::vector<rt::Ref<ButtonDialog>>();
    return *list;
}

rt::ObserverList<ButtonDialog::PresentObserver>& presentObservers() {
    static auto* observers = new rt::ObserverList<ButtonDialog::PresentObserver>;
    return *observers;
}

rt::ObserverList<ButtonDialog::PresentObserver>& pressObservers() {
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
    if (going_) leaveScreen(); // shown again before it had left: from the top
    detail::tell(delegate(), callbacks_.willPresent, self);
    visible_ = true;
    onScreenList().push_back(self);
    detail::tell(delegate(), callbacks_.didPresent, self);
    presentObservers().tell(*this);
}

std::uint64_t ButtonDialog::addPresentObserver(PresentObserver observer) {
    return presentObservers().add(std::move(observer));
}

void ButtonDialog::removePresentObserver(std::uint64_t token) {
    presentObservers().remove(token);
}

std::uint64_t ButtonDialog::addPressObserver(PresentObserver observer) {
    return pressObservers().add(std::move(observer));
}

void ButtonDialog::removePressObserver(std::uint64_t token) {
    pressObservers().remove(token);
}

void ButtonDialog::takeAway(long pressed) {
    visible_ = false;
    going_ = true;
    // The screen list keeps it alive until then.
    ca::Transaction::addPostCommitHandler([weak = rt::Weak<ButtonDialog>(rt::retained(this)), pressed] {
        const rt::Ref<ButtonDialog> self = weak.lock();
        if (!self || !self->going_) return; // taken off the screen meanwhile (shown again, or by the harness)
        self->leaveScreen();
        if (pressed >= 0) detail::tell(self->delegate(), self->callbacks_.didDismiss, self, pressed);
    });
}

void ButtonDialog::leaveScreen() {
    going_ = false;
    pressedIndex_ = -1;
    auto& list = onScreenList();
    // The list may hold the last reference; `keep` lets go of it once the list is consistent.
    auto at = std::find(list.begin(), list.end(), rt::Ref<ButtonDialog>(rt::retained(this)));
    if (at == list.end()) return;
    rt::Ref<ButtonDialog> keep = std::move(*at);
    list.erase(at);
}

void ButtonDialog::dismissWithClickedButtonIndex(long, bool) {
    if (visible_) takeAway(-1);
}

bool ButtonDialog::press(long index) {
    if (!visible_ || index < 0 || index >= numberOfButtons()) return false;
    rt::Ref<ButtonDialog> self = rt::retained(this);
    // The button shows pressed from the tap until the dialog has left the screen.
    pressedIndex_ = index;
    pressObservers().tell(*this);
    detail::tell(delegate(), callbacks_.clicked, self, index);
    if (!visible_) return true; // the clicked callback took the dialog away itself
    detail::tell(delegate(), callbacks_.willDismiss, self, index);
    takeAway(index);
    return true;
}

std::vector<rt::Ref<ButtonDialog>> ButtonDialog::presented() {
    std::vector<rt::Ref<ButtonDialog>> shown;
    for (const rt::Ref<ButtonDialog>& dialog : onScreenList())
        if (dialog->visible_) shown.push_back(dialog);
    return shown;
}

std::vector<rt::Ref<ButtonDialog>> ButtonDialog::onScreen() {
    return onScreenList();
}

void ButtonDialog::dismissAllPresented() {
    std::vector<rt::Ref<ButtonDialog>> all;
    all.swap(onScreenList());
    for (const auto& dialog : all) {
        dialog->visible_ = dialog->going_ = false;
        dialog->pressedIndex_ = -1;
    }
}

namespace {

constexpr double kDialogPadding = 16;
// A sheet's margin from the screen's sides and foot, and the gap over its cancel block.
constexpr double kSheetMargin = 8;
// A pad's popover: its width, and its arrow's height.
constexpr double kPopoverWidth = 304, kPopoverArrow = 13;

rt::Ref<View> makeBox(const cg::Rect& frame) {
    auto box = rt::make<View>(frame);
    box->setBackgroundColor(Color::colorWithWhite(0.97, 1));
    box->layer()->setCornerRadius(ButtonDialog::kCornerRadius);
    box->layer()->setMasksToBounds(true); // a pressed button's grey keeps to the corners
    return box;
}

} // namespace

double ButtonDialog::fillBox(View& box, double width, bool texts, const std::vector<long>& buttons) const {
    const bool sheet = isSheet();
    const double padding = kDialogPadding, row = sheet ? 57 : 44;
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
        box.addSubview(label);
        return label->frame().maxY();
    };
    auto rule = [&](const cg::Rect& rect) {
        auto line = rt::make<View>(rect);
        line->setBackgroundColor(Color::colorWithWhite(0, 0.2));
        box.addSubview(line);
    };
    // The texts, then the buttons under a rule (at the top when there is no text).
    double y = padding;
    bool said = false;
    if (texts && title_ && !title_->isEmpty()) {
        y = text(title_, sheet ? Font::systemFontOfSize(13) : Font::boldSystemFontOfSize(17),
                 sheet ? Color::colorWithWhite(0.45, 1) : Color::blackColor(), y) +
            4;
        said = true;
    }
    if (rt::Ref<ns::String> message = messageText(); texts && message && !message->isEmpty()) {
        y = text(message, Font::systemFontOfSize(13), Color::blackColor(), y);
        said = true;
    }
    y = said ? y + padding - 4 : 0;
    const std::size_t count = buttons.size();
    const bool sideBySide = !sheet && count == 2;
    const rt::Ref<Color> tint = Color::systemBlueColor();
    for (std::size_t n = 0; n < count; ++n) {
        const long i = buttons[n];
        const double w = sideBySide ? width / 2 : width;
        const cg::Rect place =
            cg::Rect::make(sideBySide ? double(n) * w : 0, sideBySide ? y : y + double(n) * row, w, row);
        auto label = rt::make<Label>(place);
        if (i == pressedIndex_) label->setBackgroundColor(Color::colorWithWhite(kPressedButtonWhite, 1));
        box.addSubview(label);
        if (place.minY() > 0) rule(cg::Rect::make(place.minX(), place.minY(), w, 0.5));
        if (sideBySide && n == 1) rule(cg::Rect::make(place.minX(), place.minY(), 0.5, row));
        label->setText(buttons_[std::size_t(i)]);
        label->setTextAlignment(TextAlignment::Center);
        label->setFont(i == cancelIndex_ ? Font::boldSystemFontOfSize(sheet ? 20 : 17)
                                         : Font::systemFontOfSize(sheet ? 20 : 17));
        label->setTextColor(i == reservedButtonIndex() ? Color::redColor() : tint);
    }
    return y + (count == 0 ? 0 : sideBySide ? row : double(count) * row);
}

void ButtonDialog::placeOnScreen(const View& window) {
    const std::vector<rt::Ref<View>> old = subviewList();
    for (const rt::Ref<View>& view : old)
        view->removeFromSuperview();
    const cg::Size screen = window.bounds().size;
    const EdgeInsets insets = window.safeAreaInsets();
    std::vector<long> buttons;
    for (long i = 0; i < numberOfButtons(); ++i)
        buttons.push_back(i);
    setBackgroundColor(nullptr);
    if (!isSheet()) { // an alert: one box in the middle of the screen
        constexpr double kAlertWidth = 270;
        auto box = makeBox(cg::Rect::make(0, 0, kAlertWidth, 0));
        const double height = fillBox(*box, kAlertWidth, true, buttons);
        box->setFrame(cg::Rect::make(0, 0, kAlertWidth, height));
        addSubview(box);
        setFrame(cg::Rect::make((screen.width - kAlertWidth) / 2, (screen.height - height) / 2, kAlertWidth,
                                height));
        return;
    }
    const bool pad = Device::currentDevice()->userInterfaceIdiom() == UserInterfaceIdiom::Pad;
    // Cancel stands in a block of its own under the others; a pad's popover has none (a tap beside
    // it cancels).
    if (cancelIndex_ >= 0) std::erase(buttons, cancelIndex_);
    if (pad) return placeAsPopover(screen, insets, buttons);
    const double width = screen.width - 2 * kSheetMargin - insets.left - insets.right;
    double height = 0;
    std::vector<rt::Ref<View>> blocks;
    if (!buttons.empty() || (title_ && !title_->isEmpty())) {
        auto block = makeBox(cg::Rect::make(0, 0, width, 0));
        block->setFrame(cg::Rect::make(0, 0, width, fillBox(*block, width, true, buttons)));
        height = block->frame().height();
        blocks.push_back(block);
    }
    if (cancelIndex_ >= 0) {
        const double top = blocks.empty() ? 0 : height + kSheetMargin;
        auto block = makeBox(cg::Rect::make(0, top, width, 0));
        block->setFrame(cg::Rect::make(0, top, width, fillBox(*block, width, false, {cancelIndex_})));
        height = block->frame().maxY();
        blocks.push_back(block);
    }
    for (const rt::Ref<View>& block : blocks)
        addSubview(block);
    // Above the home indicator's band, or a margin above the screen's foot.
    const double foot = screen.height - std::max(kSheetMargin, insets.bottom);
    setFrame(cg::Rect::make(kSheetMargin + insets.left, foot - height, width, height));
}

void ButtonDialog::placeAsPopover(cg::Size screen, const EdgeInsets& insets,
                                  const std::vector<long>& buttons) {
    auto box = makeBox(cg::Rect::make(0, 0, kPopoverWidth, 0));
    const double height = fillBox(*box, kPopoverWidth, true, buttons);
    const auto [from, pointed] = source();
    const cg::Rect at = from.isNull() ? cg::Rect::make(0, 0, screen.width, screen.height) : from;
    const double left = kSheetMargin + insets.left, right = screen.width - kSheetMargin - insets.right;
    const double x = std::clamp(at.midX() - kPopoverWidth / 2, left, std::max(left, right - kPopoverWidth));
    if (!pointed) { // shown in a view: in its middle
        box->setFrame(cg::Rect::make(0, 0, kPopoverWidth, height));
        addSubview(box);
        setFrame(cg::Rect::make(x, at.midY() - height / 2, kPopoverWidth, height));
        return;
    }
    // Below the rectangle, its arrow pointing up at it, unless only above is there room.
    const double total = height + kPopoverArrow;
    const bool below =
        at.maxY() + total <= screen.height - insets.bottom - kSheetMargin || at.minY() - total < insets.top;
    const double top = below ? at.maxY() : at.minY() - total;
    box->setFrame(cg::Rect::make(0, below ? kPopoverArrow : 0, kPopoverWidth, height));
    addSubview(box);
    const double tip = std::clamp(at.midX() - x, kCornerRadius + kPopoverArrow,
                                  kPopoverWidth - kCornerRadius - kPopoverArrow);
    auto arrow = cg::MutablePath::make();
    const double base = below ? kPopoverArrow : height, point = below ? 0 : total;
    arrow->moveTo({tip - kPopoverArrow, base});
    arrow->addLineTo({tip, point});
    arrow->addLineTo({tip + kPopoverArrow, base});
    arrow->closeSubpath();
    auto shape = ca::ShapeLayer::make();
    shape->setPath(arrow);
    shape->setFillColor(Color::colorWithWhite(0.97, 1)->cgColor());
    auto pointer = rt::make<View>(cg::Rect::make(0, 0, kPopoverWidth, total));
    pointer->layer()->addSublayer(shape);
    addSubview(pointer);
    setFrame(cg::Rect::make(x, top, kPopoverWidth, total));
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
