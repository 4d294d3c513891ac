#pragma once
// ui::Touch ("UITouch"): one finger on the screen, at a point in window coordinates, in a phase.

#include "platform/foundation/clock.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ui {

class View;
class Window;

// The platform's touch phases, in its order.
enum class TouchPhase : long { Began = 0, Moved = 1, Stationary = 2, Ended = 3, Cancelled = 4 };

class Touch final : public rt::Object {
    RT_CLASS(Touch)
public:
    // A touch on `view` at `location` in its window's coordinates, stamped with the clock's time.
    static rt::Ref<Touch> make(const rt::Ref<View>& view, cg::Point location, TouchPhase phase, long tapCount = 1);

    TouchPhase phase() const noexcept { return phase_; }
    void setPhase(TouchPhase phase);
    const rt::Ref<View>& view() const noexcept { return view_; }
    // The view's window, or nil.
    rt::Ref<Window> window() const;
    long tapCount() const noexcept { return tapCount_; }
    ns::TimeInterval timestamp() const noexcept { return timestamp_; }

    // The touch's point in `view`'s coordinates; in window coordinates for nil.
    cg::Point locationInView(const View* view) const;
    cg::Point previousLocationInView(const View* view) const;
    // Moves the touch, keeping the old point as the previous one.
    void moveTo(cg::Point windowLocation, TouchPhase phase);
    // Taken from its view by a recogniser that recognised it: the view was sent
    // touchesCancelled:withEvent: and hears no later phase of it; the recognisers still do.
    bool isCancelledInView() const noexcept { return cancelledInView_; }

private:
    friend class GestureRecognizer;
    Touch(rt::Ref<View> view, cg::Point location, TouchPhase phase, long tapCount);

    rt::Ref<View> view_;
    cg::Point location_, previous_;
    TouchPhase phase_;
    long tapCount_;
    ns::TimeInterval timestamp_;
    bool cancelledInView_ = false;
};

} // namespace ui
