// The HUD added to one view: hiding the newest one, and the auto-hiding message whose completion
// runs once, at its time, whoever hides it first.

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/uikit/label.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/overlays/view_hud.h"

namespace {

using ViewHUD = vh::ProgressHUD;

class ViewHUDTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        host_ = rt::make<ui::View>(cg::Rect{{0, 0}, {320, 480}});
    }
    void TearDown() override {
        host_ = nullptr;
        AppTest::TearDown();
    }
    rt::Ref<ui::View> host_;
};

TEST_F(ViewHUDTest, HideForViewTakesOffTheNewestAndAnswersWhetherOneWasThere) {
    EXPECT_FALSE(ViewHUD::hideHUDForView(host_, true));
    EXPECT_FALSE(ViewHUD::hideHUDForView(nullptr, true));
    EXPECT_FALSE(ViewHUD::showHUDAddedTo(nullptr, true));

    auto first = ViewHUD::showHUDAddedTo(host_, true);
    auto second = ViewHUD::showHUDAddedTo(host_, true);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(second->isShown());
    EXPECT_EQ(second->frame(), host_->bounds());
    second->setLabelText(ns::String::make("Report"));
    EXPECT_EQ(second->label()->text()->utf8(), "Report");

    EXPECT_EQ(ViewHUD::HUDForView(host_), second);
    EXPECT_TRUE(ViewHUD::hideHUDForView(host_, true));
    EXPECT_FALSE(second->superview());
    EXPECT_FALSE(second->isShown());
    EXPECT_EQ(ViewHUD::HUDForView(host_), first);
    EXPECT_TRUE(ViewHUD::hideHUDForView(host_, false));
    EXPECT_FALSE(ViewHUD::hideHUDForView(host_, false));
    EXPECT_EQ(host_->subviews()->count(), 0u);
}

TEST_F(ViewHUDTest, TheAutoHideMessageHidesAtItsTimeAndCompletesOnce) {
    int completions = 0;
    auto hud = ViewHUD::showAutoHideMessageWithTitle(ns::String::make("Done"), 3.0, host_,
                                                         [&completions] { ++completions; });
    ASSERT_TRUE(hud);
    EXPECT_EQ(hud->mode(), ViewHUD::kModeText);
    EXPECT_EQ(hud->labelText()->utf8(), "");
    EXPECT_EQ(hud->detailsLabelText()->utf8(), "Done");
    EXPECT_EQ(hud->margin(), 10);
    EXPECT_EQ(hud->yOffset(), 15);

    app().advance(2.99);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(hud->superview(), host_);
    app().advance(0.01);
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(hud->superview());
    app().advance(10);
    EXPECT_EQ(completions, 1);
}

TEST_F(ViewHUDTest, AHideBeforeTheTimeCompletesOnceAndTheTimerThenDoesNothing) {
    int completions = 0;
    rt::Weak<ViewHUD> weak = ViewHUD::showAutoHideMessageWithTitle(ns::String::make("x"), 1.0, host_,
                                                                           [&completions] { ++completions; });
    EXPECT_TRUE(ViewHUD::hideHUDForView(host_, true));
    EXPECT_EQ(completions, 1);
    // The completion may drop the last view holding the HUD: the pending hide keeps it whole.
    host_ = nullptr;
    app().advance(2);
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(weak.lock());
}

TEST_F(ViewHUDTest, ACompletionThatShowsAnotherMessageOnTheSameViewStartsAfresh) {
    std::vector<std::string> heard;
    ViewHUD::showAutoHideMessageWithTitle(ns::String::make("one"), 1.0, host_, [&] {
        heard.push_back("one");
        ViewHUD::showAutoHideMessageWithTitle(ns::String::make("two"), 1.0, host_,
                                                  [&] { heard.push_back("two"); });
    });
    app().advance(1);
    EXPECT_EQ(heard, (std::vector<std::string>{"one"}));
    ASSERT_TRUE(ViewHUD::HUDForView(host_));
    EXPECT_EQ(ViewHUD::HUDForView(host_)->detailsLabelText()->utf8(), "two");
    app().advance(1);
    EXPECT_EQ(heard, (std::vector<std::string>{"one", "two"}));
    EXPECT_FALSE(ViewHUD::HUDForView(host_));
}

} // namespace
