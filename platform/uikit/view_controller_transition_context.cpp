#include "platform/uikit/view_controller_transition_context.h"

#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace ui {

const rt::Protocol& animatedTransitioningProtocol() {
    static const rt::Protocol protocol("UIViewControllerAnimatedTransitioning",
                                       {{rt::Sel("transitionDuration:"), "d@:@", true},
                                        {rt::Sel("animateTransition:"), "v@:@", true},
                                        {rt::Sel("animationEnded:"), "v@:B", false}});
    return protocol;
}

rt::Ref<ViewControllerTransitionContext>
ViewControllerTransitionContext::make(rt::Ref<View> container, rt::Ref<ViewController> from,
                                      rt::Ref<ViewController> to, bool animated, CompletionHandler handler,
                                      std::optional<cg::Rect> finalFrame) {
    auto context = rt::make<ViewControllerTransitionContext>();
    context->container_ = std::move(container);
    context->from_ = std::move(from);
    context->to_ = std::move(to);
    context->animated_ = animated;
    context->handler_ = std::move(handler);
    context->finalFrame_ = finalFrame;
    return context;
}

rt::Ref<ViewController> ViewControllerTransitionContext::viewControllerForKey(std::string_view key) const {
    if (key == TransitionContextFromViewControllerKey) return from_;
    if (key == TransitionContextToViewControllerKey) return to_;
    return nullptr;
}

rt::Ref<View> ViewControllerTransitionContext::viewForKey(std::string_view key) const {
    if (key == TransitionContextFromViewKey) return from_ ? from_->view() : nullptr;
    if (key == TransitionContextToViewKey) return to_ ? to_->view() : nullptr;
    return nullptr;
}

cg::Rect ViewControllerTransitionContext::initialFrameForViewController(
    const rt::Ref<ViewController>& controller) const {
    // The source starts where it stands; where the destination starts is the animator's choice.
    if (controller && controller == from_ && container_) return container_->bounds();
    return cg::Rect::zero();
}

cg::Rect ViewControllerTransitionContext::finalFrameForViewController(
    const rt::Ref<ViewController>& controller) const {
    if (controller && controller == to_ && container_) return finalFrame_.value_or(container_->bounds());
    return cg::Rect::zero();
}

void ViewControllerTransitionContext::cancelInteractiveTransition() {
    cancelled_ = true;
}

void ViewControllerTransitionContext::completeTransition(bool didComplete) {
    if (completed_) {
        ns::log("-[%@ completeTransition:] called again; the transition had already ended.",
                getClass().name());
        return;
    }
    completed_ = true;
    // The handler goes first: it may let go of the last reference to the context's owner.
    rt::Ref<ViewControllerTransitionContext> self = rt::retained(this);
    CompletionHandler handler = std::move(handler_);
    if (handler) handler(didComplete);
}

rt::Ref<ViewController>
ViewControllerTransitionContext::viewControllerForKeyObject(const rt::Ref<ns::String>& key) const {
    return key ? viewControllerForKey(key->utf8()) : nullptr;
}

rt::Ref<View> ViewControllerTransitionContext::viewForKeyObject(const rt::Ref<ns::String>& key) const {
    return key ? viewForKey(key->utf8()) : nullptr;
}

RT_DEFINE_CLASS(
    ViewControllerTransitionContext, "_UIViewControllerOneToOneTransitionContext", rt::Object,
    rt::prop("containerView", &ViewControllerTransitionContext::containerView),
    rt::prop("animated", &ViewControllerTransitionContext::isAnimated, {.getter = "isAnimated"}),
    rt::prop("interactive", &ViewControllerTransitionContext::isInteractive, {.getter = "isInteractive"}),
    rt::prop("transitionWasCancelled", &ViewControllerTransitionContext::transitionWasCancelled),
    rt::method("viewControllerForKey:", &ViewControllerTransitionContext::viewControllerForKeyObject),
    rt::method("viewForKey:", &ViewControllerTransitionContext::viewForKeyObject),
    rt::method("initialFrameForViewController:",
               &ViewControllerTransitionContext::initialFrameForViewController),
    rt::method("finalFrameForViewController:", &ViewControllerTransitionContext::finalFrameForViewController),
    rt::method("cancelInteractiveTransition", &ViewControllerTransitionContext::cancelInteractiveTransition),
    rt::method("completeTransition:", &ViewControllerTransitionContext::completeTransition))

} // namespace ui
