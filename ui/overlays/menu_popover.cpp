#include "ui/overlays/menu_popover.h"

#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"

namespace pm {

RT_DEFINE_CLASS(MenuPopover, "PMMenuPopover", ui::View,
                rt::method("setMenuPopoverDelegate:", &MenuPopover::setMenuPopoverDelegate),
                rt::method("showInView:", &MenuPopover::showInView),
                rt::method("dismissMenuPopover", &MenuPopover::dismissMenuPopover),
                rt::method("rowTapped:", &MenuPopover::rowTapped),
                rt::method("backgroundTapped:", &MenuPopover::backgroundTapped))

namespace {
const rt::Sel kDidSelect("menuPopover:didSelectMenuItemAtIndex:");
} // namespace

const rt::Protocol& menuPopoverDelegateProtocol() {
    static const rt::Protocol protocol("PMMenuPopoverDelegate", {{kDidSelect, "v@:@q", true}});
    return protocol;
}

MenuPopover::MenuPopover(const cg::Rect& frame) : ui::View(frame) {}

rt::Ref<MenuPopover> MenuPopover::initWithFrame(const cg::Rect& frame, const rt::Ref<ns::Array>& items) {
    auto menu = rt::make<MenuPopover>(frame);
    const std::size_t count = items ? items->count() : 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto row = ui::Button::buttonWithType(ui::ButtonType::Custom);
        row->setFrame(cg::Rect{{0, static_cast<double>(i) * kRowHeight}, {frame.size.width, kRowHeight}});
        row->setTag(static_cast<long>(i));
        row->setTitleForState(rt::cast<ns::String>(items->objectAtIndex(i)), ui::ControlStates::Normal);
        row->addTargetActionForControlEvents(menu, rt::Sel("rowTapped:"), ui::ControlEvent::TouchUpInside);
        menu->addSubview(row);
        menu->rows_.push_back(row);
    }
    return menu;
}

void MenuPopover::setMenuPopoverDelegate(const rt::Id& delegate) {
    delegate_ = delegate;
}

void MenuPopover::showInView(const rt::Ref<ui::View>& view) {
    if (!view) return;
    dismissing_ = false;
    background_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    background_->setFrame(view->bounds());
    background_->setBackgroundColor(ui::Color::clearColor());
    background_->addTargetActionForControlEvents(rt::retained(this), rt::Sel("backgroundTapped:"),
                                                 ui::ControlEvent::TouchUpInside);
    view->addSubview(background_);
    view->addSubview(rt::retained(this));
    setAlpha(0);
    ui::View::animateWithDuration(kFadeDuration, [self = rt::retained(this)] { self->setAlpha(1); });
}

void MenuPopover::dismissMenuPopover() {
    if (dismissing_ || !superview()) return;
    dismissing_ = true;
    ui::View::animateWithDuration(
        kFadeDuration, [self = rt::retained(this)] { self->setAlpha(0); },
        [self = rt::retained(this)](bool) {
            if (!self->dismissing_) return; // shown again meanwhile
            if (self->background_) self->background_->removeFromSuperview();
            self->background_ = nullptr;
            self->removeFromSuperview();
        });
}

rt::Ref<ui::Button> MenuPopover::rowButton(std::size_t index) const {
    return index < rows_.size() ? rows_[index] : nullptr;
}

void MenuPopover::rowTapped(const rt::Id& sender) {
    auto row = rt::cast<ui::Button>(sender);
    if (!row) return;
    const long index = row->tag();
    auto self = rt::retained(this);
    dismissMenuPopover();
    if (rt::Id delegate = menuPopoverDelegate(); delegate && delegate->respondsToSelector(kDidSelect))
        rt::send(delegate, kDidSelect, rt::Id(self), index);
}

void MenuPopover::backgroundTapped(const rt::Id&) {
    dismissMenuPopover();
}

} // namespace pm
