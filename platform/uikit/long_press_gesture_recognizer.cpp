#include "platform/uikit/long_press_gesture_recognizer.h"

#include <cmath>

#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

rt::Ref<LongPressGestureRecognizer> LongPressGestureRecognizer::withTargetAction(const rt::Id& target,
                                                                                 rt::Sel action) {
    auto recognizer = rt::make<LongPressGestureRecognizer>();
    recognizer->addTargetAction(target, action);
    return recognizer;
}

void LongPressGestureRecognizer::setMinimumPressDuration(double seconds) {
    rt::KeyChange change(this, "minimumPressDuration");
    minimumDuration_ = seconds;
}

void LongPressGestureRecognizer::setAllowableMovement(double points) {
    rt::KeyChange change(this, "allowableMovement");
    allowableMovement_ = points;
}

bool LongPressGestureRecognizer::isTracking() const {
    return state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed;
}

void LongPressGestureRecognizer::began(const std::vector<rt::Ref<Touch>>& touches) {
    if (state() != GestureRecognizerState::Possible || trackedTouches().size() != touches.size()) return;
    start_ = locationInView(nullptr);
    const unsigned long press = ++press_;
    dispatch::asyncAfter(dispatch::after(minimumDuration_), dispatch::Queue::main(),
                         [weak = rt::Weak<LongPressGestureRecognizer>(rt::retained(this)), press] {
                             auto self = weak.lock();
                             if (self && self->press_ == press && self->state() == GestureRecognizerState::Possible &&
                                 self->numberOfTouches() > 0)
                                 self->setState(GestureRecognizerState::Began);
                         });
}

void LongPressGestureRecognizer::moved(const std::vector<rt::Ref<Touch>>&) {
    if (isTracking()) {
        setState(GestureRecognizerState::Changed);
    } else if (state() == GestureRecognizerState::Possible) {
        const cg::Point now = locationInView(nullptr);
        if (std::hypot(now.x - start_.x, now.y - start_.y) > allowableMovement_) setState(GestureRecognizerState::Failed);
    }
}

void LongPressGestureRecognizer::ended(const std::vector<rt::Ref<Touch>>& touches) {
    if (trackedTouches().size() > touches.size()) return; // a finger is still down
    if (isTracking()) setState(GestureRecognizerState::Ended);
    else if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

void LongPressGestureRecognizer::cancelled(const std::vector<rt::Ref<Touch>>&) {
    if (isTracking()) setState(GestureRecognizerState::Cancelled);
    else if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

void LongPressGestureRecognizer::reset() {
    ++press_;
    GestureRecognizer::reset();
}

RT_DEFINE_CLASS(LongPressGestureRecognizer, "UILongPressGestureRecognizer", GestureRecognizer,
                rt::prop("minimumPressDuration", &LongPressGestureRecognizer::minimumPressDuration,
                         &LongPressGestureRecognizer::setMinimumPressDuration),
                rt::prop("allowableMovement", &LongPressGestureRecognizer::allowableMovement,
                         &LongPressGestureRecognizer::setAllowableMovement))

} // namespace ui
