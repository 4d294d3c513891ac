#include "platform/uikit/popover_controller.h"

#include "platform/runtime/class.h"
#include "platform/uikit/delegate_messages.h"

namespace ui {

void PopoverController::setDelegate(const rt::Id& delegate) {
    delegate_ = delegate ? rt::Weak<rt::Object>(delegate) : rt::Weak<rt::Object>();
}

void PopoverController::presentPopoverFromRect(const cg::Rect& rect, const rt::Ref<View>& view, unsigned long arrows,
                                               bool) {
    fromRect_ = rect;
    inView_ = view;
    arrows_ = arrows;
    visible_ = true;
    if (content_) content_->loadViewIfNeeded();
}

void PopoverController::dismissPopoverAnimated(bool) {
    visible_ = false;
}

void PopoverController::dismissByUser() {
    if (!visible_) return;
    rt::Ref<PopoverController> self = rt::retained(this);
    dismissPopoverAnimated(true);
    detail::tell(delegate(), rt::Sel("popoverControllerDidDismissPopover:"), rt::Id(self));
}

RT_DEFINE_CLASS(PopoverController, "UIPopoverController", rt::Object,
                rt::prop("delegate", &PopoverController::delegate, &PopoverController::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::method("dismissPopoverAnimated:", &PopoverController::dismissPopoverAnimated))

} // namespace ui
