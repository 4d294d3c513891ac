#pragma once
// ui::PopoverController ("UIPopoverController"): a controller shown in a floating box over the
// screen, on the pad. Headless: presenting records where it points and holds the content; a
// dismissal from code tells no one, the user's (the tester's dismissByUser) tells the delegate
// popoverControllerDidDismissPopover:. The delegate is held weakly. Main thread only.

#include "platform/uikit/view_controller.h"

namespace ui {

class PopoverController : public rt::Object {
    RT_CLASS(PopoverController)
public:
    const rt::Ref<ViewController>& contentViewController() const noexcept { return content_; }
    cg::Size popoverContentSize() const noexcept { return size_; }
    void setPopoverContentSize(cg::Size size) noexcept { size_ = size; }
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);
    bool isPopoverVisible() const noexcept { return visible_; }
    // Where it was last presented from: the rectangle in `view`, and the arrows allowed.
    const cg::Rect& presentedFromRect() const noexcept { return fromRect_; }
    rt::Ref<View> presentedInView() const { return inView_.lock(); }
    unsigned long permittedArrowDirections() const noexcept { return arrows_; }

    void presentPopoverFromRect(const cg::Rect& rect, const rt::Ref<View>& view, unsigned long arrows, bool animated);
    void dismissPopoverAnimated(bool animated);
    // The tester's tap outside the box: dismissed, and the delegate told.
    void dismissByUser();

protected:
    explicit PopoverController(rt::Ref<ViewController> content) : content_(std::move(content)) {}
    PopoverController() = default;

private:
    rt::Ref<ViewController> content_;
    cg::Size size_{320, 1100};
    rt::Weak<rt::Object> delegate_;
    bool visible_ = false;
    cg::Rect fromRect_;
    rt::Weak<View> inView_;
    unsigned long arrows_ = 0;
};

} // namespace ui
