#include "session/core/push_animator.h"

#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_controller_transition_context.h"

namespace ft {

double PushAnimator::transitionDuration(const rt::Ref<ui::ViewControllerTransitionContext>&) const {
    return kFadeDuration;
}

void PushAnimator::animateTransition(const rt::Ref<ui::ViewControllerTransitionContext>& context) {
    rt::Ref<ui::ViewController> to = context->viewControllerForKey(ui::TransitionContextToViewControllerKey);
    rt::Ref<ui::View> view = to->view();
    context->containerView()->addSubview(view);
    view->setAlpha(0);
    ui::View::animateWithDuration(
        transitionDuration(context), [view] { view->setAlpha(1); },
        [context](bool) { context->completeTransition(!context->transitionWasCancelled()); });
}

RT_DEFINE_CLASS(PushAnimator, "PushAnimator", rt::Object, rt::adopts(ui::animatedTransitioningProtocol()),
                rt::method("transitionDuration:", &PushAnimator::transitionDuration),
                rt::method("animateTransition:", &PushAnimator::animateTransition))

} // namespace ft
