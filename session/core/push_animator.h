#pragma once
// PushAnimator: the push of a navigation controller as a fade-in of the destination over
// kFadeDuration (0.5 s) whatever the context. It adds the destination's view to the container at
// alpha 0 and animates it to 1; at the end it completes the transition as finished, unless the
// context reports it cancelled. No state: one is made per transition.

#include "platform/runtime/object.h"

namespace ui {
class ViewControllerTransitionContext;
}

namespace ft {

// The fades' length, in seconds.
inline constexpr double kFadeDuration = 0.5;

class PushAnimator : public rt::Object {
    RT_CLASS(PushAnimator)
public:
    double transitionDuration(const rt::Ref<ui::ViewControllerTransitionContext>& context) const;
    void animateTransition(const rt::Ref<ui::ViewControllerTransitionContext>& context);

private:
    PushAnimator() = default;
};

} // namespace ft
