// Navigation: the stack and its appearance calls in the platform's order, the bar that mirrors it,
// transitions on the clock, changes that wait for a running transition, animators handed out by
// the delegate, undone transitions, and the back button.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/uikit/control.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller_transition_context.h"
#include "platform/uikit/window.h"
#include "tests/platform/uikit/traced_controller.h"

namespace {

using Lines = std::vector<std::string>;
using ui::NavigationController;
using uikit_tests::trace;
using uikit_tests::TracedController;

// A navigation-controller delegate that hands itself out as the animator. Its transition takes
// `duration` on the clock and completes as finished, unless `cancel` is set: then it cancels and
// completes as not finished at once.
class Animator : public rt::Object {
    RT_CLASS(Animator)
public:
    double duration = 1.0;
    bool cancel = false;
    std::vector<long> operations;

    rt::Id animationController(const rt::Ref<NavigationController>&, long operation,
                               const rt::Ref<ui::ViewController>&, const rt::Ref<ui::ViewController>&) {
        operations.push_back(operation);
        return rt::retained(this);
    }
    double transitionDuration(const rt::Ref<ui::ViewControllerTransitionContext>&) { return duration; }
    void animateTransition(const rt::Ref<ui::ViewControllerTransitionContext>& context) {
        auto to = context->viewControllerForKey(ui::TransitionContextToViewControllerKey);
        context->containerView()->addSubview(to->view());
        if (cancel) {
            context->cancelInteractiveTransition();
            context->completeTransition(!context->transitionWasCancelled());
            return;
        }
        ui::View::animateWithDuration(transitionDuration(context), {},
                                      [context](bool) { context->completeTransition(true); });
    }

private:
    Animator() = default;
};

// A navigation controller that answers the bar's question itself, and counts the questions.
class AskingNavigationController : public NavigationController {
    RT_CLASS(AskingNavigationController)
public:
    bool answer = false;
    int asked = 0;
    bool shouldPopItem(const rt::Ref<ui::NavigationBar>&, const rt::Ref<ui::NavigationItem>&) {
        ++asked;
        return answer;
    }

private:
    AskingNavigationController() = default;
};

} // namespace

RT_DEFINE_CLASS(
    Animator, "UIKitTestAnimator", rt::Object,
    rt::method("navigationController:animationControllerForOperation:fromViewController:toViewController:",
               &Animator::animationController),
    rt::method("transitionDuration:", &Animator::transitionDuration),
    rt::method("animateTransition:", &Animator::animateTransition))
RT_DEFINE_CLASS(AskingNavigationController, "UIKitTestAskingNavigationController", NavigationController,
                rt::method("navigationBar:shouldPopItem:", &AskingNavigationController::shouldPopItem))

namespace {

class Navigation : public uikit_tests::ScreenTest {
protected:
    // The bar's item titles, bottom first.
    static std::string titles(const NavigationController& navigation) {
        std::string text;
        for (const auto& item : navigation.navigationBar()->itemList())
            text += (text.empty() ? "" : " ") + (item->title() ? item->title()->utf8() : std::string("-"));
        return text;
    }
};

TEST_F(Navigation, PushAndPopCallTheAppearanceMethodsInThePlatformsOrder) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    window_ = rt::make<ui::Window>();
    window_->setRootViewControllerObject(navigation);
    window_->makeKeyAndVisible();
    EXPECT_EQ(trace(), (Lines{"A viewDidLoad", "A viewWillAppear:", "A viewDidAppear:"}));

    trace().clear();
    navigation->pushViewController(b, false);
    EXPECT_EQ(navigation->topViewController(), b) << "the stack changes at once";
    EXPECT_TRUE(trace().empty()) << "the transition starts once the turn has committed";
    EXPECT_TRUE(onScreen(*a));
    EXPECT_EQ(titles(*navigation), "A") << "the bar as A stood";
    runFor(0);
    EXPECT_EQ(trace(), (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:",
                              "A viewDidDisappear:", "B viewDidAppear:"}));
    EXPECT_EQ(titles(*navigation), "A B");
    EXPECT_EQ(navigation->topViewController(), b);
    EXPECT_EQ(b->navigationController(), navigation);
    EXPECT_TRUE(onScreen(*b));
    EXPECT_FALSE(onScreen(*a));
    EXPECT_TRUE(navigation->navigationBar()->isBackButtonVisible());

    trace().clear();
    EXPECT_EQ(navigation->popViewControllerAnimated(false), b);
    runFor(0);
    EXPECT_EQ(
        trace(),
        (Lines{"B viewWillDisappear:", "A viewWillAppear:", "B viewDidDisappear:", "A viewDidAppear:"}));
    EXPECT_EQ(titles(*navigation), "A");
    EXPECT_EQ(b->navigationController(), nullptr);
    EXPECT_TRUE(onScreen(*a));
    EXPECT_FALSE(onScreen(*b));
    EXPECT_EQ(navigation->popViewControllerAnimated(false), nullptr); // the root stays
}

TEST_F(Navigation, AnAnimatedTransitionLastsThePlatformsDurationOnTheClock) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    show(navigation);

    navigation->pushViewController(b, true);
    EXPECT_TRUE(navigation->isTransitioning());
    EXPECT_EQ(navigation->topViewController(), b); // the stack changes at once
    runUntil(ui::kDefaultTransitionDuration - 0.01);
    EXPECT_EQ(trace(), (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:"}));
    runUntil(ui::kDefaultTransitionDuration);
    EXPECT_EQ(trace().back(), "B viewDidAppear:");
    EXPECT_FALSE(navigation->isTransitioning());
    EXPECT_FALSE(onScreen(*a));
}

TEST_F(Navigation, AChangeRequestedDuringATransitionWaitsForItsEnd) {
    auto a = TracedController::named("A"), b = TracedController::named("B"), c = TracedController::named("C");
    auto navigation = NavigationController::withRootViewController(a);
    show(navigation);

    navigation->pushViewController(b, true);
    navigation->pushViewController(c, false);
    EXPECT_EQ(navigation->popViewControllerAnimated(false), nullptr); // waits too: nothing to answer yet
    EXPECT_EQ(navigation->pendingTransitionCount(), 2u);
    EXPECT_EQ(navigation->viewControllerList(), (std::vector<rt::Ref<ui::ViewController>>{a, b}));

    runFor(0); // the push of B starts
    trace().clear();
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(trace(),
              (Lines{"A viewDidDisappear:", "B viewDidAppear:",                          // the push of B ends
                     "C viewDidLoad", "B viewWillDisappear:", "C viewWillAppear:",       // then C's starts
                     "B viewDidDisappear:", "C viewDidAppear:",                          // and ends at once
                     "C viewWillDisappear:", "B viewWillAppear:", "C viewDidDisappear:", // then the pop
                     "B viewDidAppear:"}));
    EXPECT_EQ(navigation->viewControllerList(), (std::vector<rt::Ref<ui::ViewController>>{a, b}));
    EXPECT_EQ(navigation->pendingTransitionCount(), 0u);
}

TEST_F(Navigation, APushFromAnAppearanceMethodFollowsTheTransitionThatCalledIt) {
    auto a = TracedController::named("A"), b = TracedController::named("B"), c = TracedController::named("C");
    auto navigation = NavigationController::withRootViewController(a);
    show(navigation);
    NavigationController* raw = navigation.get();
    ui::ViewController* pushed = c.get();
    b->onNote = [raw, pushed](const std::string& what) {
        if (what == "viewDidLoad") raw->pushViewController(rt::retained(pushed), false);
    };

    navigation->pushViewController(b, false);
    runFor(0);
    EXPECT_EQ(trace(),
              (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:", "A viewDidDisappear:",
                     "B viewDidAppear:", "C viewDidLoad", "B viewWillDisappear:", "C viewWillAppear:",
                     "B viewDidDisappear:", "C viewDidAppear:"}));
    EXPECT_EQ(navigation->topViewController(), c);
    b->onNote = nullptr;
}

TEST_F(Navigation, TheDelegatesAnimatorRunsTheTransitionForItsOwnDuration) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    auto animator = rt::make<Animator>();
    navigation->setDelegate(animator);
    show(navigation);

    navigation->pushViewController(b, true);
    runFor(0.99);
    EXPECT_TRUE(navigation->isTransitioning());
    runFor(0.01);
    EXPECT_FALSE(navigation->isTransitioning());
    EXPECT_EQ(trace().back(), "B viewDidAppear:");
    EXPECT_TRUE(onScreen(*b));
    EXPECT_FALSE(onScreen(*a)); // the container took the source's view away

    navigation->popViewControllerAnimated(true);
    navigation->pushViewController(b, false); // unanimated: the delegate is not asked
    runFor(1);
    EXPECT_EQ(animator->operations, (std::vector<long>{1, 2}));
    EXPECT_EQ(navigation->topViewController(), b);
}

TEST_F(Navigation, ATransitionCompletedAsNotFinishedIsUndone) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    auto animator = rt::make<Animator>();
    animator->cancel = true;
    navigation->setDelegate(animator);
    show(navigation);

    navigation->pushViewController(b, true);
    runFor(0);
    EXPECT_EQ(trace(),
              (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:", "B viewWillDisappear:",
                     "A viewWillAppear:", "B viewDidDisappear:", "A viewDidAppear:"}));
    EXPECT_EQ(navigation->viewControllerList(), (std::vector<rt::Ref<ui::ViewController>>{a}));
    EXPECT_EQ(titles(*navigation), "A");
    EXPECT_EQ(b->parentViewController(), nullptr);
    EXPECT_TRUE(onScreen(*a));
    EXPECT_FALSE(onScreen(*b));
    EXPECT_FALSE(navigation->isTransitioning());
}

TEST_F(Navigation, OffScreenTheStackChangesAndTheTopAppearsWithTheController) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    navigation->pushViewController(b, true);
    EXPECT_TRUE(trace().empty());
    EXPECT_FALSE(navigation->isTransitioning());
    EXPECT_EQ(titles(*navigation), "A B");

    window_ = rt::make<ui::Window>();
    window_->setRootViewControllerObject(navigation);
    window_->makeKeyAndVisible();
    EXPECT_EQ(trace(), (Lines{"B viewDidLoad", "B viewWillAppear:", "B viewDidAppear:"}));
    EXPECT_FALSE(a->isViewLoaded());
}

TEST_F(Navigation, APopOverSeveralLevelsPassesOverTheControllersBetween) {
    auto a = TracedController::named("A"), b = TracedController::named("B"), c = TracedController::named("C"),
         d = TracedController::named("D");
    auto navigation = NavigationController::withRootViewController(a);
    navigation->setViewControllerList({a, b, c, d});
    show(navigation);

    rt::Ref<ns::Array> popped = navigation->popToRootViewControllerAnimated(false);
    ASSERT_TRUE(popped);
    EXPECT_TRUE(popped->isEqual(ns::Array::withObjects({b, c, d}).get()));
    runFor(0);
    // A's view had never loaded: it loads first, as a pushed controller's does.
    EXPECT_EQ(trace(), (Lines{"A viewDidLoad", "D viewWillDisappear:", "A viewWillAppear:",
                              "D viewDidDisappear:", "A viewDidAppear:"}));
    EXPECT_EQ(titles(*navigation), "A");
    EXPECT_EQ(navigation->popToRootViewControllerAnimated(false), nullptr);
}

TEST_F(Navigation, MisuseIsLoggedAndLeavesTheStackAlone) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    show(navigation);
    ns::CapturedLog log;

    navigation->pushViewController(a, false);
    navigation->pushViewController(nullptr, false);
    navigation->pushViewController(NavigationController::withRootViewController(b), false);
    EXPECT_EQ(navigation->popToViewController(b, false), nullptr);
    EXPECT_EQ(navigation->viewControllerList(), (std::vector<rt::Ref<ui::ViewController>>{a}));
    EXPECT_TRUE(trace().empty());
    EXPECT_TRUE(log.contains("Pushing the same view controller instance more than once is not supported"));
    EXPECT_TRUE(log.contains("Pushing a navigation controller is not supported"));
    EXPECT_TRUE(log.contains("Tried to pop to a view controller that doesn't exist"));
}

TEST_F(Navigation, TheBackButtonPopsUnlessTheBarsDelegateSaysNo) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = rt::make<AskingNavigationController>();
    navigation->setViewControllerList({a});
    show(navigation);
    const auto& bar = navigation->navigationBar();
    EXPECT_FALSE(bar->tapBackButton()); // nothing below the root

    navigation->pushViewController(b, false);
    runFor(0);
    navigation->answer = false;
    EXPECT_TRUE(bar->tapBackButton());
    EXPECT_EQ(navigation->asked, 1);
    EXPECT_EQ(navigation->topViewController(), b);
    EXPECT_EQ(titles(*navigation), "A B");
    EXPECT_LT(bar->backButton()->alpha(), 1); // still dimmed: the platform leaves it so

    navigation->answer = true;
    EXPECT_TRUE(bar->tapBackButton());
    EXPECT_TRUE(navigation->isTransitioning()); // the pop is animated
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(navigation->topViewController(), a);
    EXPECT_EQ(bar->backButton()->alpha(), 1);

    // A pop from code asks nobody.
    navigation->pushViewController(b, false);
    navigation->popViewControllerAnimated(false);
    EXPECT_EQ(navigation->asked, 2);

    // A top item that hides the back button leaves nothing to tap.
    navigation->pushViewController(b, false);
    runFor(0);
    b->navigationItem()->setHidesBackButton(true);
    EXPECT_FALSE(bar->tapBackButton());
    EXPECT_EQ(navigation->asked, 2);
}

TEST_F(Navigation, WithoutTheQuestionTheBackButtonPopsAndATouchOnItIsATap) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    auto navigation = NavigationController::withRootViewController(a);
    navigation->pushViewController(b, false);
    show(navigation);
    const auto& button = navigation->navigationBar()->backButton();
    EXPECT_FALSE(button->isHidden());

    button->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(navigation->topViewController(), a);
    EXPECT_TRUE(button->isHidden());
}

TEST_F(Navigation, TheBarAndTheInteractivePopAreFlags) {
    auto navigation = NavigationController::withRootViewController(TracedController::named("A"));
    show(navigation);
    const auto& bar = navigation->navigationBar();
    EXPECT_EQ(bar->window(), window_);

    ns::setValueForKey(navigation, ns::Number::withBool(true), "navigationBarHidden");
    EXPECT_TRUE(navigation->isNavigationBarHidden());
    EXPECT_TRUE(bar->isHidden());
    navigation->setNavigationBarHidden(false, true);
    EXPECT_FALSE(bar->isHidden());

    const auto& recognizer = navigation->interactivePopGestureRecognizer();
    EXPECT_TRUE(recognizer->isEnabled());
    ns::setValueForKeyPath(navigation, ns::Number::withBool(false),
                           "interactivePopGestureRecognizer.enabled");
    EXPECT_FALSE(recognizer->isEnabled());
    EXPECT_EQ(recognizer->view(), navigation->view());

    // A bar managed by a controller keeps the controller as its delegate.
    ns::CapturedLog log;
    bar->setDelegate(navigation->topViewController());
    EXPECT_EQ(bar->delegate(), navigation);
    EXPECT_TRUE(
        log.contains("Cannot manually set the delegate on a UINavigationBar managed by a controller."));
}

} // namespace

namespace {

// A view kept out from under the top bar begins below it while the bar shows, and fills the
// container again when the bar hides; every other view fills it always (the default device: a
// 375 x 667 screen, the bar from 20 to 64).
TEST_F(Navigation, AViewKeptFromUnderTheTopBarBeginsBelowItWhileTheBarShows) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    b->setEdgesForExtendedLayout(ui::ViewController::RectEdgeLeft | ui::ViewController::RectEdgeBottom |
                                 ui::ViewController::RectEdgeRight);
    auto navigation = NavigationController::withRootViewController(a);
    show(navigation);
    EXPECT_EQ(a->view()->frame(), cg::Rect::make(0, 0, 375, 667));
    navigation->pushViewController(b, false);
    runFor(0);
    EXPECT_EQ(b->view()->frame(), cg::Rect::make(0, 64, 375, 603));
    navigation->setNavigationBarHidden(true);
    EXPECT_EQ(b->view()->frame(), cg::Rect::make(0, 0, 375, 667));
    navigation->setNavigationBarHidden(false);
    EXPECT_EQ(b->view()->frame(), cg::Rect::make(0, 64, 375, 603));
    navigation->popViewControllerAnimated(false);
    runFor(0);
    EXPECT_EQ(a->view()->frame(), cg::Rect::make(0, 0, 375, 667));
}

} // namespace
