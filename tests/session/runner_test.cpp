// The runner: walking a run's items, starting screens by hand and by itself, choosing the screen
// of a catalogue name, coming back from screens, its back sheet, its appearance and the guide.

#include "tests/session/run_fixture.h"

#include <algorithm>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/run_loop.h"
#include "platform/uikit/button.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/view.h"
#include "session/question_view_controller.h"
#include "session/result_view_controller.h"
#include "ui/labels/attributed_label.h"
#include "ui/overlays/progress_hud.h"

namespace {

using runtest::kAutomatic;
using runtest::kManualA;
using runtest::kManualB;
using runtest::kManualC;
using runtest::kRefusing;
using testkit::FakeRefusingScreen;

class RunnerTest : public runtest::RunTest {};

TEST_F(RunnerTest, ManualItemsCountUpAsEachScreenComesBack) {
    run({item(kManualA), item(kManualB), item(kManualC)});
    std::vector<std::string> seen{counter()};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(tapStart());
        ASSERT_TRUE(screen());
        ASSERT_TRUE(tapOutlet(screen(), "successButton"));
        ASSERT_EQ(top(), runner_);
        seen.push_back(counter());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
    EXPECT_EQ(shownTitle(), "Title ManualCViewController");
    EXPECT_EQ(items_[0]->success(), 1);
}

TEST_F(RunnerTest, AnAutomaticFirstItemStartsOnTheNextTurnHidden) {
    items_ = {item(kAutomatic, true), item(kManualA)};
    std::vector<rt::Id> entries(items_.begin(), items_.end());
    runner_ = rt::cast<ft::ReadyStartViewController>(storyboard_->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
    runner_->setDoItems(ns::Array::make(entries));
    runner_->setIsAutoRunning(true);
    // The push's turn, and its commit: the runner appears, loaded, not started yet.
    dispatch::async(dispatch::Queue::main(), [this] { navigation_->pushViewController(runner_, false); });
    ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr);
    EXPECT_EQ(top(), runner_);
    ASSERT_TRUE(runner_->startBtn());
    EXPECT_FALSE(runner_->startBtn()->isHidden());
    app_->runUntilIdle(); // the queued start: no tap
    EXPECT_TRUE(runner_->startBtn()->isHidden());
    EXPECT_TRUE(runner_->textLabel()->isHidden());
    EXPECT_TRUE(runner_->itemPanel()->isHidden());
    EXPECT_EQ(runner_->handleIndex(), 1); // its screen is on its way
    settle(); // the screen passes and comes back; the manual item waits
    EXPECT_EQ(items_[0]->success(), 1);
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(counter(), "2/2");
    EXPECT_FALSE(runner_->startBtn()->isHidden());
}

TEST_F(RunnerTest, ASingleAutomaticItemWaitsForStartAndItsScreenIsSingle) {
    run({item(kAutomatic, true)}, false);
    EXPECT_EQ(counter(), "1/1");
    EXPECT_EQ(top(), runner_);
    EXPECT_TRUE(tapStart()); // the automatic screen passes; a single run ends at the list
    EXPECT_EQ(testkit::FakeTestScreen::journal().front(), "load single");
    EXPECT_EQ(items_[0]->success(), 1);
    EXPECT_EQ(top(), list_);
}

TEST_F(RunnerTest, StartingAnItemHandsOverItsPlaceAndBackShowsThePreviousOne) {
    run({item(kManualA), item(kManualB), item(kManualC), item(kManualA), item(kManualB)});
    runner_->setHandleIndex(2);
    ASSERT_TRUE(tapStart());
    auto opened = screen();
    ASSERT_TRUE(opened);
    EXPECT_EQ(runner_->handleIndex(), 3);
    EXPECT_EQ(opened->handleIndex(), 2);
    EXPECT_EQ(opened->info(), items_[2]);
    EXPECT_EQ(opened->delegate(), rt::Id(runner_));
    EXPECT_TRUE(runner_->getClass().conformsTo(ft::modelViewControllerDelegateProtocol()));
    EXPECT_FALSE(opened->isRetryItem());
    opened->performSegueWithIdentifier("doRetry", nullptr);
    settle();
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(runner_->handleIndex(), 1);
    EXPECT_EQ(shownTitle(), "Title ManualBViewController");
    EXPECT_EQ(counter(), "2/5");
}

TEST_F(RunnerTest, PastTheEndTheRunnerHidesAndUnwindsToTheListAfterOneSecond) {
    run({item(kManualA)});
    ASSERT_TRUE(tapStart());
    screen()->gotoPreviousView(); // a screen that comes back past the last item
    app_->advance(0.99);
    EXPECT_EQ(top(), runner_);
    EXPECT_FALSE(navigation_->isTransitioning());
    EXPECT_TRUE(runner_->textLabel()->isHidden());
    EXPECT_TRUE(runner_->startBtn()->isHidden());
    app_->advance(0.01);
    EXPECT_TRUE(top() == list_ || navigation_->isTransitioning());
    settle();
    EXPECT_EQ(top(), list_);
}

TEST_F(RunnerTest, ARetryFromTheResultsShowsTheItemUnstartedAndItsScreenReturnsThere) {
    run({item(kManualA), item(kManualB), item(kAutomatic, true)}); // a profile run: ends at the results
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(tapStart());
        ASSERT_TRUE(tapOutlet(screen(), "successButton"));
    }
    settle(); // the automatic last item passes and leaves for the results
    auto results = rt::cast<ft::ResultViewController>(top());
    ASSERT_TRUE(results) << topClass();
    EXPECT_EQ(results->list()->count(), 3u);
    results->setRetryIndex(2);
    results->performSegueWithIdentifier("doRetryFromResult", nullptr);
    settle();
    EXPECT_EQ(top(), runner_); // not started, though automatic
    EXPECT_EQ(runner_->handleIndex(), 2);
    EXPECT_EQ(shownTitle(), "Title AutomaticViewController");
    EXPECT_TRUE(runner_->doRetryIndication());
    EXPECT_TRUE(app_->tapBack());
    EXPECT_EQ(sheetButtons(), "EXIT CANCEL");
    ASSERT_TRUE(pressSheet(1));
    testkit::FakeTestScreen::journal().clear();
    ASSERT_TRUE(tapStart()); // the retried automatic screen passes and returns to the results
    EXPECT_EQ(testkit::FakeTestScreen::journal().front(), "load retry");
    EXPECT_TRUE(rt::cast<ft::ResultViewController>(top())) << topClass();
}

TEST_F(RunnerTest, ExitFromTheSheetOfARetryGoesBackToTheResults) {
    run({item(kManualA), item(kManualB)});
    runner_->setDoRetryIndication(true);
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(0));
    EXPECT_TRUE(app_->presentedAlerts().empty());
    auto results = rt::cast<ft::ResultViewController>(top());
    ASSERT_TRUE(results);
    EXPECT_EQ(results->list(), runner_->doItems());
}

TEST_F(RunnerTest, DelayedWorkOfARunnerThatHasGoneDoesNothing) {
    // Gone before its queued automatic start.
    items_ = {item(kAutomatic, true), item(kManualA)};
    std::vector<rt::Id> entries(items_.begin(), items_.end());
    runner_ = rt::cast<ft::ReadyStartViewController>(storyboard_->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
    runner_->setDoItems(ns::Array::make(entries));
    runner_->setIsAutoRunning(true);
    navigation_->pushViewController(runner_, false);
    navigation_->popViewControllerAnimated(false);
    runner_ = nullptr;
    settle();
    EXPECT_EQ(top(), list_);
    EXPECT_TRUE(testkit::FakeTestScreen::journal().empty());

    // Gone during the wait past the end of a run.
    run({item(kManualA)});
    ASSERT_TRUE(tapStart());
    screen()->gotoPreviousView();
    app_->advance(0.6);
    ASSERT_EQ(top(), runner_);
    navigation_->popToRootViewControllerAnimated(false);
    runner_ = nullptr;
    app_->advance(2);
    EXPECT_EQ(top(), list_);
    EXPECT_FALSE(navigation_->isTransitioning());
}

TEST_F(RunnerTest, ARetryIndexOutsideTheRunShowsAndStartsNothing) {
    run({item(kManualA), item(kManualB)});
    auto results = rt::cast<ft::ResultViewController>(storyboard_->instantiateViewControllerWithIdentifier("ResultViewController"));
    ASSERT_TRUE(results);
    navigation_->pushViewController(results, false);
    for (std::int64_t index : {std::int64_t(7), std::int64_t(-1)}) {
        results->setRetryIndex(index);
        if (top() != results) navigation_->pushViewController(results, false);
        results->performSegueWithIdentifier("doRetryFromResult", nullptr);
        settle();
        EXPECT_EQ(top(), runner_);
        EXPECT_EQ(shownTitle(), "Title ManualAViewController");
        EXPECT_TRUE(tapStart()); // nothing to start: back to the list at most, never a screen
        EXPECT_FALSE(screen());
        if (top() == list_) break;
    }
}

// ---- Choosing the screen ----

TEST_F(RunnerTest, SharedScreensAreChosenByTheTextInTheNameWithoutAskingTheClass) {
    testkit::registerFakeScreen(*storyboard_, "CameraModelViewController", testkit::FakeScreen::Manual, false);
    testkit::registerFakeScreen(*storyboard_, "FrontBlackCameraModelViewController", testkit::FakeScreen::Refusing);
    FakeRefusingScreen::setRefusal("never asked");
    run({item("FrontBlackCameraModelViewController"), item("QuestionViewController")});
    ASSERT_TRUE(tapStart());
    ASSERT_TRUE(screen());
    EXPECT_EQ(screen()->sceneIdentifier(), "CameraModelViewController");
    EXPECT_EQ(FakeRefusingScreen::extraMessageCalls(), 0);
    ASSERT_TRUE(tapOutlet(screen(), "successButton"));
    ASSERT_TRUE(tapStart());
    EXPECT_TRUE(rt::cast<ft::QuestionViewController>(top())) << topClass();
}

TEST_F(RunnerTest, ANameThatNamesNoClassOpensTheSegueOfThatName) {
    testkit::registerFakeScreen(*storyboard_, "NoSuchClassViewController", testkit::FakeScreen::Manual, false);
    run({item("NoSuchClassViewController")});
    ASSERT_TRUE(tapStart());
    ASSERT_TRUE(screen());
    EXPECT_EQ(screen()->sceneIdentifier(), "NoSuchClassViewController");
}

TEST_F(RunnerTest, AtTheEndChoosingPopsToTheListAndOpensNothing) {
    run({item(kManualA)});
    runner_->setHandleIndex(1);
    runner_->showExtraMessageIfNeed(ns::String::make(kManualA));
    settle();
    EXPECT_EQ(top(), list_);
    EXPECT_TRUE(testkit::FakeTestScreen::journal().empty());
}

TEST_F(RunnerTest, ARefusalShowsItsTextAndKeepsTheItemEvenAfterAnAutomaticStart) {
    FakeRefusingScreen::setRefusal("Unplug the headset");
    run({item(kRefusing, true, "HEADSET_TEST"), item(kManualA)}); // started by itself, refused
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(FakeRefusingScreen::extraMessageCalls(), 1);
    // The HUD goes; the log keeps which item was refused and why.
    const auto lines = app_->logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Runner: item 1 of 2, HEADSET_TEST, refused: Unplug the headset"),
              lines.end());
    EXPECT_EQ(sh::ProgressHUD::kind(), sh::ProgressHUD::Kind::Error);
    EXPECT_EQ(sh::ProgressHUD::status()->utf8(), "Unplug the headset");
    EXPECT_EQ(sh::ProgressHUD::maskType(), sh::ProgressHUD::kMaskBlack);
    EXPECT_EQ(runner_->handleIndex(), 0);
    EXPECT_FALSE(runner_->startBtn()->isHidden()); // shown again: start and skip can be used
    EXPECT_FALSE(runner_->itemPanel()->isHidden());
    FakeRefusingScreen::setRefusal(std::nullopt); // the tester unplugged it
    sh::ProgressHUD::dismiss();
    ASSERT_TRUE(tapStart());
    EXPECT_TRUE(screen());
    EXPECT_EQ(runner_->handleIndex(), 1);
}

// ---- The runner's sheet ----

TEST_F(RunnerTest, TheSheetOffersBackOnlyAfterAManualItem) {
    run({item(kManualA), item(kManualB), item(kAutomatic, true), item(kManualC)});
    EXPECT_TRUE(app_->tapBack());
    EXPECT_EQ(top(), runner_); // never popped by the back button
    EXPECT_EQ(sheetButtons(), "EXIT SKIP CANCEL");
    ASSERT_TRUE(pressSheet(2));
    runner_->setHandleIndex(1);
    EXPECT_TRUE(app_->tapBack());
    EXPECT_EQ(sheetButtons(), "EXIT BACK SKIP CANCEL");
    ASSERT_TRUE(pressSheet(1)); // back
    EXPECT_EQ(runner_->handleIndex(), 0);
    EXPECT_EQ(shownTitle(), "Title ManualAViewController");
    runner_->setHandleIndex(3); // after an automatic item
    EXPECT_TRUE(app_->tapBack());
    EXPECT_EQ(sheetButtons(), "EXIT SKIP CANCEL");
}

TEST_F(RunnerTest, SkipMarksAtOnceAndTheAnswerDecidesWhatShows) {
    run({item(kManualA), item(kAutomatic, true), item(kManualC)});
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(1)); // skip
    EXPECT_EQ(items_[0]->success(), 2);
    EXPECT_EQ(alertMessage(), localized("BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_SKIP"));
    ASSERT_TRUE(pressAlert(0)); // NO: the mark stays, the item too
    EXPECT_EQ(items_[0]->success(), 2);
    EXPECT_EQ(runner_->handleIndex(), 0);
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(1));
    ASSERT_TRUE(pressAlert(1)); // YES: the next item, not started though automatic
    settle();
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(runner_->handleIndex(), 1);
    EXPECT_EQ(shownTitle(), "Title AutomaticViewController");
    EXPECT_EQ(items_[1]->success(), 0);
    runner_->setHandleIndex(2);
    EXPECT_TRUE(app_->tapBack());
    EXPECT_EQ(sheetButtons(), "EXIT SKIP CANCEL"); // after an automatic item
    ASSERT_TRUE(pressSheet(1));
    ASSERT_TRUE(pressAlert(1)); // the last, "manualrun" absent: the results
    EXPECT_TRUE(rt::cast<ft::ResultViewController>(top())) << topClass();
}

TEST_F(RunnerTest, ConfirmedExitEndsTheProcessAndNothingElse) {
    run({item(kManualA), item(kManualB)});
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(0));
    EXPECT_EQ(alertMessage(), localized("BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_EXIT"));
    ASSERT_TRUE(pressAlert(1));
    EXPECT_EQ(app_->exitStatus(), 0);
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(items_[0]->success(), 0);
}

// ---- Appearance and the guide ----

TEST_F(RunnerTest, AppearingWithResetRaisesTheViewAndClearsTheFlags) {
    run({item(kManualA), item("BatteryViewController")});
    auto top = runner_->viewtopcon();
    ASSERT_TRUE(top);
    EXPECT_EQ(top->constant(), 0);
    setDefault("reset", true);
    ASSERT_TRUE(tapStart());
    ASSERT_TRUE(tapOutlet(screen(), "successButton")); // the second appearance
    EXPECT_EQ(top->constant(), -3.0);
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->boolForKey("reset"));
    ASSERT_TRUE(app_->defaultsFile());
    EXPECT_NE(app_->defaultsFile()->find("\"reset\": false"), std::string::npos) << *app_->defaultsFile();

    top->setConstant(0);
    setDefault("manualrunstate", true);
    setDefault("singalrunstate", true);
    reappear();
    EXPECT_EQ(top->constant(), -3.0);
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->boolForKey("singalrunstate"));
}

TEST_F(RunnerTest, ThePanelIsPlacedByItsConstraintsAndMovesWithTheRaise) {
    run({item(kManualA), item(kManualB)});
    ASSERT_TRUE(tapStart());
    ASSERT_TRUE(tapOutlet(screen(), "successButton")); // appeared twice, laid out each time
    EXPECT_EQ(runner_->itemPanel()->frame(), cg::Rect::make(0, 64, 375, 136));
    setDefault("reset", true);
    reappear();
    app_->runUntilIdle();
    EXPECT_EQ(runner_->itemPanel()->frame(), cg::Rect::make(0, 61, 375, 136));
    EXPECT_FALSE(app_->logContains("Unable to simultaneously satisfy constraints"));
}

TEST_F(RunnerTest, TheBatteryItemRaisesTheViewWithoutAnInsetAndClearsReset) {
    auto battery = item("BatteryViewController");
    battery->setTitle(ft::localized("ROOTLIST_TITLE_BATTERY"));
    run({battery});
    setDefault("reset", true);
    reappear();
    EXPECT_EQ(runner_->viewtopcon()->constant(), -3.0);
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->boolForKey("reset"));
}

TEST_F(RunnerTest, TheGuideSitsBelowThePanelAtTheMeasuredHeight) {
    run({item(kManualA)});
    const cg::Rect panel = runner_->itemPanel()->frame();
    ASSERT_EQ(panel.maxY(), 200);
    runner_->setTestGuideWithString(ns::String::make("abc"));
    runner_->view()->layoutIfNeeded();
    EXPECT_EQ(runner_->textLabel()->frame(), cg::Rect::make(5, 250, 365, 18));
    EXPECT_FALSE(runner_->textLabel()->isHidden());
    EXPECT_EQ(runner_->textLabel()->text()->utf8(), "abc");
    EXPECT_EQ(runner_->textLabel()->textAlignment(), ui::TextAlignment::Center);
    EXPECT_EQ(runner_->textLabel()->numberOfLines(), 0);
    // 40 words: "word " advances 46.875 points, seven words a 365-point line, six lines.
    std::string longGuide;
    for (int i = 0; i < 40; ++i) longGuide += "word ";
    runner_->setTestGuideWithString(ns::String::make(longGuide));
    runner_->view()->layoutIfNeeded();
    EXPECT_EQ(runner_->textLabel()->frame().height(), 6 * 15 + 3);
}

class InsetRunnerTest : public runtest::RunTest {
    testkit::AppOptions options() const override { return {.device = "iphone_xr", .delegateClass = "AppDelegate"}; }
};

TEST_F(InsetRunnerTest, WithABottomInsetTheGuideIsLowerAndOnlyResetOrManualRunRaise) {
    window_->setFrame(cg::Rect::make(0, 0, 414, 896));
    run({item(kManualA)});
    ASSERT_GT(window_->safeAreaInsets().bottom, 0);
    // The panel under the XR's 88-point bars, 136 high; the guide 70 under it.
    EXPECT_EQ(runner_->itemPanel()->frame().minY(), 88);
    EXPECT_EQ(runner_->textLabel()->frame().minY(), 294);
    setDefault("reset", true);
    setDefault("singalrunstate", true);
    reappear();
    EXPECT_EQ(runner_->viewtopcon()->constant(), -3.0);
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->boolForKey("reset"));
    EXPECT_TRUE(ns::UserDefaults::standardUserDefaults()->boolForKey("singalrunstate"));
}

} // namespace
