#include "platform/uikit/touch.h"

#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"

namespace ui {

Touch::Touch(rt::Ref<View> view, cg::Point location, TouchPhase phase, long tapCount)
    : view_(std::move(view)), location_(location), previous_(location), phase_(phase), tapCount_(tapCount),
      timestamp_(ns::Clock::currentTime()) {}

rt::Ref<Touch> Touch::make(const rt::Ref<View>& view, cg::Point location, TouchPhase phase, long tapCount) {
    return rt::make<Touch>(view, location, phase, tapCount);
}

void Touch::setPhase(TouchPhase phase) {
    phase_ = phase;
    timestamp_ = ns::Clock::currentTime();
}

rt::Ref<Window> Touch::window() const {
    return view_ ? view_->window() : nullptr;
}

cg::Point Touch::locationInView(const View* view) const {
    return view ? view->convertPointFromView(location_, nullptr) : location_;
}

cg::Point Touch::previousLocationInView(const View* view) const {
    return view ? view->convertPointFromView(previous_, nullptr) : previous_;
}

void Touch::moveTo(cg::Point windowLocation, TouchPhase phase) {
    previous_ = location_;
    location_ = windowLocation;
    setPhase(phase);
}

RT_DEFINE_CLASS(Touch, "UITouch", rt::Object, rt::prop("tapCount", &Touch::tapCount),
                rt::prop("timestamp", &Touch::timestamp))

} // namespace ui
