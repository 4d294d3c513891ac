#include "platform/uikit/navigation_controller.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/status_bar.h"
#include "platform/uikit/typed_objects.h"
#include "platform/uikit/transaction.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller_transition_context.h"

namespace ui {

namespace {

const rt::Sel kWillShow("navigationController:willShowViewController:animated:");
const rt::Sel kDidShow("navigationController:didShowViewController:animated:");
const rt::Sel kAnimationController(
    "navigationController:animationControllerForOperation:fromViewController:toViewController:");
const rt::Sel kAnimateTransition("animateTransition:");

bool contains(const std::vector<rt::Ref<ViewController>>& stack, const rt::Ref<ViewController>& controller) {
    return std::find(stack.begin(), stack.end(), controller) != stack.end();
}

} // namespace

struct NavigationController::Transition {
    std::vector<rt::Ref<ViewController>> previousStack;
    rt::Ref<ViewController> from, to;
    bool animated = false;
    rt::Ref<ViewControllerTransitionContext> context;
};

NavigationController::NavigationController() {
    bar_ = rt::make<NavigationBar>();
    bar_->controller_ = rt::Weak<NavigationController>(this);
    popRecognizer_ = rt::make<GestureRecognizer>();
}

NavigationController::~NavigationController() = default;

rt::Ref<NavigationController>
NavigationController::withRootViewController(const rt::Ref<ViewController>& root) {
    auto navigation = rt::make<NavigationController>();
    if (root) navigation->setViewControllerList({root});
    return navigation;
}

void NavigationController::loadView() {
    const cg::Rect bounds = Screen::mainScreen()->bounds();
    auto view = rt::make<View>(bounds);
    container_ = rt::make<View>(bounds);
    view->addSubview(container_);
    // Below the status bar's band (as the top guide).
    const double top = statusBarBand(*sim::currentDevice());
    bar_->setFrame(cg::Rect::make(0, top, bounds.size.width, NavigationBar::kHeight));
    view->addSubview(bar_);
    view->addGestureRecognizer(popRecognizer_);
    setView(view);
}

rt::Ref<View> NavigationController::container() const {
    view(); // loads the view, which makes the container
    return container_;
}

// ---- The stack -----------------------------------------------------------------------------------

rt::Ref<ns::Array> NavigationController::viewControllers() const {
    return ns::Array::make(std::vector<rt::Id>(stack_.begin(), stack_.end()));
}

rt::Ref<ViewController> NavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

rt::Ref<ViewController> NavigationController::visibleViewController() const {
    if (presentedViewController()) return presentedViewController();
    rt::Ref<ViewController> top = topViewController();
    if (top && top->presentedViewController()) return top->presentedViewController();
    return top;
}

void NavigationController::setViewControllers(const rt::Ref<ns::Array>& controllers, bool animated) {
    setViewControllerList(
        detail::typedObjects<ViewController>(controllers, "-[UINavigationController setViewControllers:]"),
        animated);
}

void NavigationController::setViewControllerList(std::vector<rt::Ref<ViewController>> controllers,
                                                 bool animated) {
    if (deferWhileTransitioning(
            [this, controllers, animated] { setViewControllerList(controllers, animated); }))
        return;
    std::vector<rt::Ref<ViewController>> list;
    for (rt::Ref<ViewController>& controller : controllers) {
        if (!controller || contains(list, controller)) continue;
        if (rt::cast<NavigationController>(controller)) {
            ns::log("Pushing a navigation controller is not supported: %@ was left out.", controller);
            continue;
        }
        list.push_back(std::move(controller));
    }
    NavigationControllerOperation operation = NavigationControllerOperation::None;
    rt::Ref<ViewController> from = topViewController();
    rt::Ref<ViewController> to = list.empty() ? nullptr : list.back();
    if (from != to)
        operation =
            contains(stack_, to) ? NavigationControllerOperation::Pop : NavigationControllerOperation::Push;
    changeStack(std::move(list), operation, animated);
}

void NavigationController::pushViewController(const rt::Ref<ViewController>& controller, bool animated) {
    if (!controller) {
        ns::logLine("-[UINavigationController pushViewController:animated:]: nil cannot be pushed.");
        return;
    }
    if (rt::cast<NavigationController>(controller)) {
        ns::log("Pushing a navigation controller is not supported: %@ was not pushed.", controller);
        return;
    }
    if (deferWhileTransitioning([this, controller, animated] { pushViewController(controller, animated); }))
        return;
    if (contains(stack_, controller)) {
        ns::log(
            "Pushing the same view controller instance more than once is not supported: %@ was not pushed.",
            controller);
        return;
    }
    auto stack = stack_;
    stack.push_back(controller);
    changeStack(std::move(stack), NavigationControllerOperation::Push, animated);
}

rt::Ref<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
    if (deferWhileTransitioning([this, animated] { popViewControllerAnimated(animated); })) return nullptr;
    if (stack_.size() < 2) return nullptr;
    auto stack = stack_;
    rt::Ref<ViewController> popped = std::move(stack.back());
    stack.pop_back();
    changeStack(std::move(stack), NavigationControllerOperation::Pop, animated);
    return popped;
}

rt::Ref<ns::Array> NavigationController::popToRootViewControllerAnimated(bool animated) {
    if (deferWhileTransitioning([this, animated] { popToRootViewControllerAnimated(animated); }))
        return nullptr;
    if (stack_.empty()) return nullptr;
    return popToViewController(stack_.front(), animated);
}

rt::Ref<ns::Array> NavigationController::popToViewController(const rt::Ref<ViewController>& controller,
                                                             bool animated) {
    if (deferWhileTransitioning([this, controller, animated] { popToViewController(controller, animated); }))
        return nullptr;
    auto at = std::find(stack_.begin(), stack_.end(), controller);
    if (at == stack_.end()) {
        ns::log("Tried to pop to a view controller that doesn't exist: %@.", controller);
        return nullptr;
    }
    if (at + 1 == stack_.end()) return nullptr;
    auto popped = ns::Array::make(std::vector<rt::Id>(at + 1, stack_.end()));
    std::vector<rt::Ref<ViewController>> stack(stack_.begin(), at + 1);
    changeStack(std::move(stack), NavigationControllerOperation::Pop, animated);
    return popped;
}

// ---- Transitions ---------------------------------------------------------------------------------

bool NavigationController::deferWhileTransitioning(std::function<void()> change) {
    if (!transition_) return false;
    pending_.push_back(std::move(change));
    return true;
}

void NavigationController::runPending() {
    while (!transition_ && !pending_.empty()) {
        std::function<void()> change = std::move(pending_.front());
        pending_.pop_front();
        change();
    }
}

void NavigationController::syncBarItems() {
    std::vector<rt::Ref<NavigationItem>> items;
    items.reserve(stack_.size());
    for (const rt::Ref<ViewController>& controller : stack_)
        items.push_back(controller->navigationItem());
    bar_->setItemList(std::move(items));
}

void NavigationController::installView(const rt::Ref<ViewController>& controller,
                                       const rt::Ref<ViewController>& below) {
    rt::Ref<View> box = container();
    rt::Ref<View> view = controller->view();
    if (view->superview() == box) return;
    view->setFrame(contentFrame(*controller));
    rt::Ref<View> above = below ? below->viewIfLoaded() : nullptr;
    if (above && above->superview() == box)
        box->insertSubviewBelowSubview(view, above);
    else
        box->addSubview(view);
}

void NavigationController::changeStack(std::vector<rt::Ref<ViewController>> stack,
                                       NavigationControllerOperation operation, bool animated) {
    rt::Ref<NavigationController> self = rt::retained(this);
    std::vector<rt::Ref<ViewController>> previous;
    {
        rt::KeyChange change(this, "viewControllers");
        previous = std::exchange(stack_, std::move(stack));
    }
    for (const rt::Ref<ViewController>& controller : stack_)
        if (controller->parentViewController() != self) addChildViewController(controller);

    // The bar takes the new stack's items once the top leaving has been told it will disappear:
    // until then it shows as it stood, its own bar above it.
    rt::Ref<ViewController> from = previous.empty() ? nullptr : previous.back();
    rt::Ref<ViewController> to = topViewController();
    auto release = [&] {
        for (const rt::Ref<ViewController>& controller : previous)
            if (!contains(stack_, controller) && controller->parentViewController() == self)
                controller->removeFromParentViewController();
    };
    if (from == to || !isShowing() || !from || !to) {
        // No transition: off screen, the top unchanged, or a stack started or emptied.
        if (from && from != to) {
            if (isShowing()) from->beginAppearanceTransition(false, false);
            if (rt::Ref<View> view = from->viewIfLoaded(); view && view->superview() == container_)
                view->removeFromSuperview();
            from->endAppearanceTransition();
        }
        syncBarItems();
        if (to && from != to && isShowing()) {
            to->beginAppearanceTransition(true, false);
            installView(to, nullptr);
            to->endAppearanceTransition();
        }
        release();
        return;
    }

    transition_ = std::make_unique<Transition>(Transition{std::move(previous), from, to, animated, nullptr});
    // The transition starts once the frame of this turn is committed: until then the screen shows
    // the top that leaves, as it stood, under its own bar.
    ca::Transaction::addPostCommitHandler([weak = rt::Weak<NavigationController>(self), operation] {
        if (rt::Ref<NavigationController> navigation = weak.lock()) navigation->startTransition(operation);
    });
}

void NavigationController::startTransition(NavigationControllerOperation operation) {
    if (!transition_ || transition_->context) return;
    rt::Ref<NavigationController> self = rt::retained(this);
    const rt::Ref<ViewController> from = transition_->from, to = transition_->to;
    const bool animated = transition_->animated;
    to->loadViewIfNeeded();
    // Where it will stand, before any animator puts it in the container.
    const cg::Rect toFrame = contentFrame(*to);
    to->view()->setFrame(toFrame);
    rt::Id delegate = delegate_.lock();
    if (delegate && delegate->respondsToSelector(kWillShow))
        rt::send(delegate, kWillShow, self, to, animated);
    from->beginAppearanceTransition(false, animated);
    syncBarItems();
    to->beginAppearanceTransition(true, animated);

    rt::Id animator;
    if (animated && delegate && delegate->respondsToSelector(kAnimationController))
        animator = rt::send(delegate, kAnimationController, self, static_cast<long>(operation), from, to);
    rt::Weak<NavigationController> weak(self);
    auto context =
        ViewControllerTransitionContext::make(container(), from, to, animated, [weak](bool didComplete) {
            if (rt::Ref<NavigationController> navigation = weak.lock())
                navigation->finishTransition(didComplete);
        }, toFrame);
    transition_->context = context;
    if (animator && animator->respondsToSelector(kAnimateTransition)) {
        rt::send(animator, kAnimateTransition, context);
        return;
    }
    installView(to, operation == NavigationControllerOperation::Pop ? from : nullptr);
    if (animated)
        View::animateWithDuration(kDefaultTransitionDuration, View::Animations(), [context](bool) {
            context->completeTransition(!context->transitionWasCancelled());
        });
    else
        context->completeTransition(true);
}

void NavigationController::finishTransition(bool didComplete) {
    if (!transition_) return;
    rt::Ref<NavigationController> self = rt::retained(this);
    Transition& t = *transition_;
    if (didComplete) {
        installView(t.to, nullptr); // in case the animator left it out
        if (rt::Ref<View> view = t.from->viewIfLoaded(); view && view->superview() == container_)
            view->removeFromSuperview();
        t.from->endAppearanceTransition();
        t.to->endAppearanceTransition();
        for (const rt::Ref<ViewController>& controller : t.previousStack)
            if (!contains(stack_, controller) && controller->parentViewController() == self)
                controller->removeFromParentViewController();
        rt::Id delegate = delegate_.lock();
        if (delegate && delegate->respondsToSelector(kDidShow))
            rt::send(delegate, kDidShow, self, t.to, t.animated);
    } else {
        // Undone: the stack, the bar and the views as they were; the destination goes away again.
        std::vector<rt::Ref<ViewController>> abandoned;
        {
            rt::KeyChange change(this, "viewControllers");
            abandoned = std::exchange(stack_, t.previousStack);
        }
        for (const rt::Ref<ViewController>& controller : abandoned)
            if (!contains(stack_, controller) && controller->parentViewController() == self)
                controller->removeFromParentViewController();
        syncBarItems();
        if (rt::Ref<View> view = t.to->viewIfLoaded(); view && view->superview() == container_)
            view->removeFromSuperview();
        installView(t.from, nullptr);
        t.to->beginAppearanceTransition(false, t.animated);
        t.from->beginAppearanceTransition(true, t.animated);
        t.to->endAppearanceTransition();
        t.from->endAppearanceTransition();
    }
    transition_.reset();
    runPending();
}

void NavigationController::forwardAppearanceTransition(bool begin, bool appearing, bool animated) {
    if (transition_) return; // the running transition speaks for its two controllers
    rt::Ref<ViewController> top = topViewController();
    if (!top) return;
    if (!begin) {
        top->endAppearanceTransition();
        return;
    }
    if (appearing) installView(top, nullptr);
    top->beginAppearanceTransition(appearing, animated);
}

// ---- The bar and the delegate --------------------------------------------------------------------

bool NavigationController::isNavigationBarHidden() const {
    return bar_->isHidden();
}

cg::Rect NavigationController::contentFrame(const ViewController& controller) const {
    const cg::Rect whole = container()->bounds();
    if ((controller.edgesForExtendedLayout() & RectEdgeTop) || bar_->isHidden()) return whole;
    const double top = std::min(bar_->frame().maxY(), whole.height());
    return cg::Rect::make(whole.minX(), whole.minY() + top, whole.width(), whole.height() - top);
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
    rt::KeyChange change(this, "navigationBarHidden");
    bar_->setHidden(hidden);
    if (rt::Ref<ViewController> top = topViewController(); top && top->isViewLoaded() && container_ &&
                                                             top->viewIfLoaded()->superview() == container_)
        top->viewIfLoaded()->setFrame(contentFrame(*top));
}

void NavigationController::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}

RT_DEFINE_CLASS(
    NavigationController, "UINavigationController", ViewController,
    rt::prop("viewControllers", &NavigationController::viewControllers,
             &NavigationController::setViewControllersObject, {.memory = rt::Memory::Copy}),
    rt::prop("topViewController", &NavigationController::topViewController),
    rt::prop("visibleViewController", &NavigationController::visibleViewController),
    rt::prop("navigationBar", &NavigationController::navigationBar),
    rt::prop("navigationBarHidden", &NavigationController::isNavigationBarHidden,
             &NavigationController::setNavigationBarHiddenObject, {.getter = "isNavigationBarHidden"}),
    rt::prop("interactivePopGestureRecognizer", &NavigationController::interactivePopGestureRecognizer),
    rt::prop("delegate", &NavigationController::delegate, &NavigationController::setDelegate,
             {.memory = rt::Memory::Weak}),
    rt::method("pushViewController:animated:", &NavigationController::pushViewController),
    rt::method("popViewControllerAnimated:", &NavigationController::popViewControllerAnimated),
    rt::method("popToRootViewControllerAnimated:", &NavigationController::popToRootViewControllerAnimated),
    rt::method("popToViewController:animated:", &NavigationController::popToViewController),
    rt::method("setViewControllers:animated:", &NavigationController::setViewControllers),
    rt::method("setNavigationBarHidden:animated:", &NavigationController::setNavigationBarHidden))

} // namespace ui
