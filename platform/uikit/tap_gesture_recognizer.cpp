#include "platform/uikit/tap_gesture_recognizer.h"

#include <cmath>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

namespace {
// How far a finger may wander before the tap fails.
constexpr double kAllowableMovement = 10;
} // namespace

rt::Ref<TapGestureRecognizer> TapGestureRecognizer::withTargetAction(const rt::Id& target, rt::Sel action) {
    auto recognizer = rt::make<TapGestureRecognizer>();
    recognizer->addTargetAction(target, action);
    return recognizer;
}

void TapGestureRecognizer::setNumberOfTapsRequired(long taps) {
    rt::KeyChange change(this, "numberOfTapsRequired");
    tapsRequired_ = taps;
}

void TapGestureRecognizer::setNumberOfTouchesRequired(long touches) {
    rt::KeyChange change(this, "numberOfTouchesRequired");
    touchesRequired_ = touches;
}

void TapGestureRecognizer::began(const std::vector<rt::Ref<Touch>>&) {
    fingersDown_ = static_cast<long>(trackedTouches().size());
    if (fingersDown_ > touchesRequired_) setState(GestureRecognizerState::Failed);
}

void TapGestureRecognizer::moved(const std::vector<rt::Ref<Touch>>& touches) {
    for (const auto& touch : touches) {
        const cg::Point now = touch->locationInView(nullptr), before = touch->previousLocationInView(nullptr);
        if (std::hypot(now.x - before.x, now.y - before.y) > kAllowableMovement) {
            setState(GestureRecognizerState::Failed);
            return;
        }
    }
}

void TapGestureRecognizer::ended(const std::vector<rt::Ref<Touch>>& touches) {
    if (state() != GestureRecognizerState::Possible) return;
    // Recognised when the last finger lifts, with as many fingers as required, tapped often enough.
    if (trackedTouches().size() > touches.size()) return;
    long taps = 0;
    for (const auto& touch : touches)
        taps = std::max(taps, touch->tapCount());
    if (fingersDown_ != touchesRequired_) setState(GestureRecognizerState::Failed);
    else if (taps >= tapsRequired_) setState(GestureRecognizerState::Ended);
}

void TapGestureRecognizer::cancelled(const std::vector<rt::Ref<Touch>>&) {
    if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

RT_DEFINE_CLASS(TapGestureRecognizer, "UITapGestureRecognizer", GestureRecognizer,
                rt::prop("numberOfTapsRequired", &TapGestureRecognizer::numberOfTapsRequired,
                         &TapGestureRecognizer::setNumberOfTapsRequired),
                rt::prop("numberOfTouchesRequired", &TapGestureRecognizer::numberOfTouchesRequired,
                         &TapGestureRecognizer::setNumberOfTouchesRequired))

} // namespace ui
