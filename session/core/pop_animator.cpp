#include "session/core/pop_animator.h"

#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_controller_transition_context.h"
#include "session/core/push_animator.h"

namespace ft {

double PopAnimator::transitionDuration(const rt::Ref<ui::ViewControllerTransitionContext>&) const {
    return kFadeDuration;
}

void PopAnimator::animateTransition(const rt::Ref<ui::ViewControllerTransitionContext>& context) {
    rt::Ref<ui::View> to = context->viewControllerForKey(ui::TransitionContextToViewControllerKey)->view();
    rt::Ref<ui::View> from =
        context->viewControllerForKey(ui::TransitionContextFromViewControllerKey)->view();
    context->containerView()->insertSubviewBelowSubview(to, from);
    ui::View::animateWithDuration(
        transitionDuration(context), [from] { from->setAlpha(0); },
        [context, from](bool) {
            const bool cancelled = context->transitionWasCancelled();
            if (cancelled) from->setAlpha(1);
            context->completeTransition(!cancelled);
        });
}

RT_DEFINE_CLASS(PopAnimator, "PopAnimator", rt::Object, rt::adopts(ui::animatedTransitioningProtocol()),
                rt::method("transitionDuration:", &PopAnimator::transitionDuration),
                rt::method("animateTransition:", &PopAnimator::animateTransition))

} // namespace ft
