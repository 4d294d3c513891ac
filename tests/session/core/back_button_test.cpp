// The navigation glue of the session: the back button asks the top screen (a NO keeps everything
// and undims the bar, a YES pops on the next turn), pops from code ask nobody, the fade animators
// and their hand-out, and the associated object.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/uikit/control.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller_transition_context.h"
#include "platform/uikit/window.h"
#include "session/core/associated_object.h"
#include "session/core/back_button_handler.h"
#include "session/core/pop_animator.h"
#include "session/core/push_animator.h"
#include "session/core/should_pop_on_back_button.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace {

// A screen that answers the back button's question, and counts the times it was asked.
class GuardedScreen : public ui::ViewController {
    RT_CLASS(GuardedScreen)
public:
    bool answer = false;
    int asked = 0;
    bool navigationShouldPopOnBackButton() {
        ++asked;
        return answer;
    }
    void backHome(const rt::Ref<ui::StoryboardSegue>&) { ++unwound; }
    int unwound = 0;

protected:
    GuardedScreen() = default;
};

// A screen without the question.
class PlainScreen : public ui::ViewController {
    RT_CLASS(PlainScreen)

protected:
    PlainScreen() = default;
};

} // namespace

RT_DEFINE_CLASS(GuardedScreen, "BackButtonTestGuardedScreen", ui::ViewController,
                rt::method("navigationShouldPopOnBackButton",
                           &GuardedScreen::navigationShouldPopOnBackButton),
                rt::method("backHome:", &GuardedScreen::backHome))
RT_DEFINE_CLASS(PlainScreen, "BackButtonTestPlainScreen", ui::ViewController)

namespace {

class BackButton : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        root_ = rt::make<GuardedScreen>();
        showInNavigation(root_);
    }
    void TearDown() override {
        root_ = nullptr;
        NavigationAppTest::TearDown();
    }
    const rt::Ref<ui::NavigationBar>& bar() const { return navigation_->navigationBar(); }
    std::size_t depth() const { return navigation_->viewControllerList().size(); }

    rt::Ref<GuardedScreen> root_;
};

TEST_F(BackButton, AScreenThatAnswersNoKeepsTheStackAndTheBarAndTheButtonComesBack) {
    auto screen = rt::make<GuardedScreen>();
    navigation_->pushViewController(screen, false);
    app().advance(0);
    const auto items = bar()->itemList();

    EXPECT_TRUE(app().tapBack());
    EXPECT_EQ(screen->asked, 1);
    app().advance(ft::kRestoreBackButtonDuration);
    EXPECT_EQ(depth(), 2u);
    EXPECT_EQ(bar()->itemList(), items);
    EXPECT_EQ(bar()->backButton()->alpha(), 1);
    EXPECT_FALSE(navigation_->isTransitioning());
}

TEST_F(BackButton, AScreenWithoutTheQuestionPopsOnTheNextTurnOfTheMainQueue) {
    navigation_->pushViewController(rt::make<PlainScreen>(), false);
    app().advance(0);

    EXPECT_TRUE(bar()->tapBackButton());
    EXPECT_EQ(depth(), 2u); // the bar was told NO; the pop waits for the main queue
    EXPECT_FALSE(navigation_->isTransitioning());
    app().runUntilIdle();
    EXPECT_EQ(depth(), 1u);
    EXPECT_TRUE(navigation_->isTransitioning()); // with animation, from the commit of that turn
    app().advance(ui::kDefaultTransitionDuration);
    EXPECT_EQ(app().topViewController(), root_);
    EXPECT_EQ(root_->asked, 0);
}

TEST_F(BackButton, APopFromCodeIsNotAsked) {
    auto screen = rt::make<GuardedScreen>();
    navigation_->pushViewController(screen, false);
    app().advance(0);
    navigation_->popViewControllerAnimated(false);
    EXPECT_EQ(depth(), 1u);

    // Nor is an unwind.
    auto storyboard = ui::Storyboard::empty("Glue");
    storyboard->registerScene("guarded", "BackButtonTestGuardedScreen");
    storyboard->registerSegue({.source = "guarded",
                               .identifier = "home",
                               .kind = "unwind",
                               .destination = "",
                               .action = "backHome:"});
    auto unwinding = rt::cast<GuardedScreen>(storyboard->instantiateViewControllerWithIdentifier("guarded"));
    navigation_->pushViewController(unwinding, false);
    app().advance(0);
    unwinding->performSegueWithIdentifier("home", nullptr);
    app().advance(ui::kDefaultTransitionDuration);
    EXPECT_EQ(root_->unwound, 1);
    EXPECT_EQ(depth(), 1u);
    EXPECT_EQ(screen->asked + unwinding->asked + root_->asked, 0);

    // A bar that holds more items than the controller has controllers only follows a pop begun
    // in code: the answer is YES and the screen is not asked.
    navigation_->pushViewController(screen, false);
    app().advance(0);
    auto items = bar()->itemList();
    items.push_back(ui::NavigationItem::withTitle("extra"));
    bar()->setItemList(items);
    EXPECT_TRUE(ft::navigationBarShouldPopItem(*navigation_, bar(), items.back()));
    EXPECT_EQ(screen->asked, 0);
}

TEST_F(BackButton, TheNavigationControllerHandsOutTheFadesAndTheirTransitionsLastHalfASecond) {
    auto from = rt::make<PlainScreen>(), to = rt::make<PlainScreen>();
    auto ask = [&](long operation) {
        return ft::animationControllerForOperation(*navigation_, navigation_, operation, from, to);
    };
    EXPECT_TRUE(rt::cast<ft::PushAnimator>(ask(1)));
    EXPECT_TRUE(rt::cast<ft::PopAnimator>(ask(2)));
    EXPECT_FALSE(ask(0));
    EXPECT_NE(ask(1), ask(1)); // a new one each time

    // Only for a controller that is its own delegate.
    navigation_->setDelegate(navigation_);
    navigation_->pushViewController(to, true);
    app().advance(ft::kFadeDuration - 0.01);
    EXPECT_TRUE(navigation_->isTransitioning());
    app().advance(0.01);
    EXPECT_FALSE(navigation_->isTransitioning());
    EXPECT_EQ(to->view()->alpha(), 1);
    navigation_->popViewControllerAnimated(true);
    app().advance(ft::kFadeDuration);
    EXPECT_FALSE(navigation_->isTransitioning());
    EXPECT_EQ(app().topViewController(), root_);
}

// The context of a transition from `from` to `to` in a fresh container, and how it was completed.
struct Fade {
    rt::Ref<ui::View> container = rt::make<ui::View>(cg::Rect::make(0, 0, 320, 480));
    rt::Ref<ui::ViewController> from = rt::make<PlainScreen>(), to = rt::make<PlainScreen>();
    std::vector<bool> completions;
    rt::Ref<ui::ViewControllerTransitionContext> context = ui::ViewControllerTransitionContext::make(
        container, from, to, true, [this](bool finished) { completions.push_back(finished); });
    Fade() { container->addSubview(from->view()); }
};

TEST_F(BackButton, TheFadesCompleteAsFinishedAfterHalfASecondAndAsNotFinishedWhenCancelled) {
    {
        Fade push;
        rt::make<ft::PushAnimator>()->animateTransition(push.context);
        EXPECT_EQ(push.to->view()->superview(), push.container);
        app().advance(ft::kFadeDuration - 0.01);
        EXPECT_TRUE(push.completions.empty());
        app().advance(0.01);
        EXPECT_EQ(push.completions, (std::vector<bool>{true}));
    }
    {
        Fade pop;
        rt::make<ft::PopAnimator>()->animateTransition(pop.context);
        EXPECT_EQ(pop.container->subviewList().front(), pop.to->view()); // below the source
        EXPECT_EQ(pop.from->view()->alpha(), 0);
        app().advance(ft::kFadeDuration);
        EXPECT_EQ(pop.completions, (std::vector<bool>{true}));
    }
    for (bool pushing : {true, false}) {
        Fade cancelled;
        if (pushing)
            rt::make<ft::PushAnimator>()->animateTransition(cancelled.context);
        else
            rt::make<ft::PopAnimator>()->animateTransition(cancelled.context);
        cancelled.context->cancelInteractiveTransition();
        app().advance(ft::kFadeDuration);
        EXPECT_EQ(cancelled.completions, (std::vector<bool>{false})) << (pushing ? "push" : "pop");
        EXPECT_EQ(cancelled.from->view()->alpha(), 1) << "the source stays on screen, seen";
    }
}

TEST(AssociatedObject, IsNilUntilSetAndSettingNilRemovesIt) {
    auto owner = rt::make<PlainScreen>();
    EXPECT_EQ(ft::associatedObject(*owner), nullptr);

    rt::Weak<ns::String> tag;
    {
        auto text = ns::String::make("your gestureRecoginer");
        tag = text;
        ft::setAssociatedObject(*owner, text);
    }
    EXPECT_EQ(ft::associatedObject(*owner), tag.lock()); // held strongly
    EXPECT_EQ(rt::send(owner, rt::Sel("associatedObject")), tag.lock());

    rt::send(owner, rt::Sel("setAssociatedObject:"), rt::Id());
    EXPECT_EQ(ft::associatedObject(*owner), nullptr);
    EXPECT_EQ(tag.lock(), nullptr); // let go
}

TEST(BackButtonHandler, EveryViewControllerAdoptsTheProtocolWithItsOptionalQuestion) {
    const rt::Protocol& protocol = ft::backButtonHandlerProtocol();
    EXPECT_TRUE(PlainScreen::staticClass().conformsTo(protocol));
    EXPECT_TRUE(ui::NavigationController::staticClass().conformsTo(protocol));
    const auto* question = protocol.method(rt::Sel("navigationShouldPopOnBackButton"), false);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->types, "B@:");
    EXPECT_EQ(rt::Protocol::named("BackButtonHandlerProtocol"), &protocol);
}

} // namespace
