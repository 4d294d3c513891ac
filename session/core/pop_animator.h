#pragma once
// PopAnimator: the pop of a navigation controller as a fade-out of the source over kFadeDuration
// (0.5 s) whatever the context. It puts the destination's view into the container below the
// source's and animates the source's alpha to 0; at the end it completes the transition as
// finished, unless the context reports it cancelled. A cancelled pop leaves the source on screen,
// so its view gets its alpha of 1 back. No state: one is made per transition.

#include "platform/runtime/object.h"

namespace ui {
class ViewControllerTransitionContext;
}

namespace ft {

class PopAnimator : public rt::Object {
    RT_CLASS(PopAnimator)
public:
    double transitionDuration(const rt::Ref<ui::ViewControllerTransitionContext>& context) const;
    void animateTransition(const rt::Ref<ui::ViewControllerTransitionContext>& context);

private:
    PopAnimator() = default;
};

} // namespace ft
