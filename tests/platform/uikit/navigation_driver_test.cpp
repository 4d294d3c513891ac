// The application fixture's navigation calls: the controller on screen through navigation
// controllers and presentations, the stack shown, and the tester's back button.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/window.h"
#include "tester/driver.h"
#include "tests/platform/uikit/traced_controller.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace {

using uikit_tests::TracedController;
using uikit_tests::UnwindTarget;
using Names = std::vector<std::string>;

class NavigationDriver : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        root_ = TracedController::named("root");
        showInNavigation(root_);
    }
    void TearDown() override {
        root_ = nullptr;
        NavigationAppTest::TearDown();
    }

    rt::Ref<TracedController> root_;
};

TEST_F(NavigationDriver, TheTopAndTheStackFollowPushesAndPresentations) {
    EXPECT_EQ(app().topViewController(), root_);
    EXPECT_EQ(app().navigationStack(), (Names{"UIKitTestTracedController"}));

    auto next = rt::make<UnwindTarget>();
    navigation_->pushViewController(next, true);
    EXPECT_EQ(app().topViewController(), next); // the stack is the new one from the call on
    EXPECT_EQ(app().navigationStack(), (Names{"UIKitTestTracedController", "UIKitTestUnwindTarget"}));

    app().advance(ui::kDefaultTransitionDuration);
    auto modal = TracedController::named("modal");
    next->presentViewController(modal, false);
    EXPECT_EQ(app().topViewController(), modal);
    EXPECT_TRUE(app().navigationStack().empty()); // no navigation controller is on screen
    EXPECT_FALSE(app().tapBack());
    modal->dismissViewControllerAnimated(false);
    EXPECT_EQ(app().topViewController(), next);
}

TEST_F(NavigationDriver, TapBackPopsWhenThereIsABackButtonToTap) {
    EXPECT_FALSE(app().tapBack()); // the root has none

    navigation_->pushViewController(TracedController::named("next"), false);
    app().advance(0);
    EXPECT_TRUE(app().tapBack());
    app().advance(ui::kDefaultTransitionDuration);
    EXPECT_EQ(app().topViewController(), root_);

    navigation_->pushViewController(TracedController::named("next"), false);
    app().advance(0);
    navigation_->setNavigationBarHidden(true);
    EXPECT_FALSE(app().tapBack()); // a hidden bar cannot be tapped
    EXPECT_EQ(navigation_->viewControllerList().size(), 2u);
}

TEST_F(NavigationDriver, TheSightIsWhatShowsAndWhatATapReachesOrTheDialogOverIt) {
    auto next = TracedController::named("next");
    navigation_->pushViewController(next, false);
    app().advance(0);
    next->navigationItem()->setTitle(ns::str("Radio"));
    for (const char* text : {"Is it right?", "Hidden"}) {
        auto label = rt::make<ui::Label>(cg::Rect::make(20, 100, 300, 40));
        label->setText(ns::str(text));
        label->setHidden(text[0] == 'H');
        next->view()->addSubview(label);
    }
    for (const char* title : {"Yes", "No"}) { // "No" disabled
        auto button = ui::Button::buttonWithType(ui::ButtonType::System);
        button->setFrame(cg::Rect::make(title[0] == 'Y' ? 20 : 200, 500, 100, 40));
        button->setTitleForState(ns::str(title), ui::ControlStates::Normal);
        button->setEnabled(title[0] == 'Y');
        next->view()->addSubview(button);
    }
    // Controls without a title or an outlet, named as a tester finds them: by what they are called
    // aloud, or by the action they send the screen; a view's state by its accessibility value.
    for (const char* name : {"Close", "save"}) {
        auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
        button->setFrame(cg::Rect::make(name[0] == 'C' ? 20 : 200, 560, 100, 40));
        if (name[0] == 'C')
            button->setAccessibilityLabel(ns::str(name));
        else
            button->addTargetActionForControlEvents(next, rt::Sel(name), ui::ControlEvent::TouchUpInside);
        next->view()->addSubview(button);
    }
    auto grid = rt::make<ui::View>(cg::Rect::make(20, 300, 100, 100));
    grid->setAccessibilityValue(ns::str("cells left: 3 of 40"));
    next->view()->addSubview(grid);
    const auto seen = [&] {
        const sim::Driver::Sight sight = app().driver().sight();
        return std::vector<Names>{{sight.screen}, sight.texts, sight.controls};
    };
    EXPECT_EQ(seen(), (std::vector<Names>{{"UIKitTestTracedController"},
                                          {"Radio", "Is it right?", "cells left: 3 of 40"},
                                          {"\"Yes\"", "\"Close\"", "send action=save", "back"}}));
    rt::make<ui::AlertView>(ns::str("Quarnotix"), ns::str("Exit?"), nullptr, ns::str("Cancel"),
                            std::vector<rt::Ref<ns::String>>{ns::str("OK")})
        ->show();
    EXPECT_EQ(seen(), (std::vector<Names>{{"alert"}, {"Quarnotix", "Exit?"}, {"\"Cancel\"", "\"OK\""}}));
    ui::ButtonDialog::dismissAllPresented();
}

} // namespace
