// The base test screen inside real runs: the leaving rule, its signals, the back sheet and its
// confirmations, the background rule, the Japanese pass and fail titles, and the question screen.

#include "tests/session/run_fixture.h"

#include "platform/foundation/locale.h"
#include "platform/foundation/notification_center.h"
#include "platform/uikit/button.h"
#include "platform/uikit/font.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/view.h"
#include "session/question_view_controller.h"
#include "session/result_view_controller.h"
#include "ui/overlays/progress_hud.h"

namespace {

using runtest::kAutomatic;
using runtest::kManualA;
using runtest::kManualB;
using runtest::kManualC;
using testkit::FakeTestScreen;

class BaseScreenTest : public runtest::RunTest {
protected:
    // Runs three manual items (or one alone) and opens the screen of item `index`.
    rt::Ref<FakeTestScreen> open(std::int64_t index, bool ofSelection = true, bool retry = false) {
        if (ofSelection) run({item(kManualA), item(kManualB), item(kManualC)});
        else run({item(kManualA)}, false);
        runner_->setHandleIndex(index);
        runner_->setDoRetryIndication(retry);
        runner_->changeIntroInfo();
        if (!tapStart()) ADD_FAILURE() << "start could not be tapped";
        return screen();
    }
    // Where the run went: "list", "runner", "results" or the class on top.
    std::string place() const {
        if (top() == list_) return "list";
        if (top() == runner_) return "runner";
        if (rt::cast<ft::ResultViewController>(top())) return "results";
        return topClass();
    }
};

// ---- The leaving rule ----

TEST_F(BaseScreenTest, LeavingFollowsThePositionOfTheItemInTheRun) {
    struct Case {
        const char* name;
        std::int64_t index;
        bool ofSelection, retry;
        std::optional<bool> manualRun;
        const char* place;
    };
    const Case cases[] = {
        {"single", 0, false, false, true, "list"},
        {"retry", 1, true, true, true, "results"},
        {"middle", 1, true, false, true, "runner"},
        {"last, play button", 2, true, false, true, "list"},
        {"last, profile", 2, true, false, false, "results"},
        {"last, flag absent", 2, true, false, std::nullopt, "results"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stop();
        start();
        if (c.manualRun) setDefault("manualrun", *c.manualRun);
        auto opened = open(c.index, c.ofSelection, c.retry);
        ASSERT_TRUE(opened);
        list_->setTestList(ns::MutableArray::make());
        opened->success(nullptr); // the pass button's action: choose, then gotoResultView
        settle();
        EXPECT_EQ(place(), c.place);
        if (place() == "list") {
            EXPECT_FALSE(list_->testList()); // doCompletedForRoot: ran
        }
        if (auto results = rt::cast<ft::ResultViewController>(top())) {
            EXPECT_EQ(results->list(), runner_->doItems());
            EXPECT_EQ(results->info(), opened->info());
            EXPECT_EQ(results->isSingle(), !c.ofSelection);
        }
    }
}

TEST_F(BaseScreenTest, IdentityDecidesTheLastItemAndPassActionNeedsACode) {
    setDefault("manualrun", false);
    auto opened = open(2);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->isLastTestingItem());
    auto copy = item(kManualC);
    opened->setInfo(copy); // equal in every field, but not the run's last object
    EXPECT_FALSE(opened->isLastTestingItem());
    opened->setInfo(items_[2]);
    opened->passAction(nullptr); // code 0: nothing
    settle();
    EXPECT_EQ(top(), opened);
    items_[2]->setSuccess(1);
    opened->passAction(nullptr);
    settle();
    EXPECT_EQ(place(), "results");
}

// ---- Signals ----

TEST_F(BaseScreenTest, SignalsFollowTheScreensOwnMethods) {
    auto opened = open(0);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(tapOutlet(opened, "failButton"));
    // The override of viewWillAppear: ran before present sent YES; choose sent with the code written.
    EXPECT_EQ(opened->events(), (std::vector<std::string>{"load", "appear", "present:1", "choose:0", "code:2", "present:0"}));
}

TEST_F(BaseScreenTest, TheBackgroundSignalEndsAtTheFirstDisappearance) {
    for (const char* name : {"HomeKeyViewController", "JailBreakViewController"}) {
        SCOPED_TRACE(name);
        stop();
        start();
        run({item(name), item(kManualB)});
        ASSERT_TRUE(tapStart());
        rt::Ref<FakeTestScreen> opened = screen();
        ASSERT_TRUE(opened);
        app_->enterBackground(); // a screen that keeps running: it hears it, and stays
        app_->enterForeground();
        EXPECT_EQ(top(), opened);
        ASSERT_TRUE(tapOutlet(opened, "successButton"));
        EXPECT_EQ(top(), runner_);
        app_->enterBackground();
        app_->enterForeground();
        EXPECT_EQ(std::count(opened->events().begin(), opened->events().end(), "background"), 1);
    }
}

// ---- The back sheet ----

TEST_F(BaseScreenTest, TheSheetOffersWhatThePositionAllows) {
    struct Case {
        const char* name;
        std::vector<rt::Ref<ft::TestBaseModel>> items;
        std::int64_t index;
        bool ofSelection, retry;
        const char* buttons;
    };
    const Case cases[] = {
        {"retry", {item(kManualA), item(kManualB)}, 1, true, true, "EXIT CANCEL"},
        {"single", {item(kManualA)}, 0, false, false, "EXIT CANCEL"},
        {"first", {item(kManualA), item(kManualB)}, 0, true, false, "EXIT SKIP CANCEL"},
        {"automatic", {item(kManualA), item(runtest::kRefusing, true)}, 1, true, false, "EXIT SKIP CANCEL"},
        {"after automatic", {item(runtest::kRefusing, true), item(kManualB)}, 1, true, false, "EXIT SKIP CANCEL"},
        {"else", {item(kManualA), item(kManualB)}, 1, true, false, "EXIT BACK SKIP CANCEL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stop();
        start();
        testkit::FakeRefusingScreen::setRefusal("refused"); // the automatic item waits at the runner
        run(c.items, c.ofSelection);
        testkit::FakeRefusingScreen::setRefusal(std::nullopt);
        // The refusal's message covers the screen until it hides.
        app_->advance(sh::ProgressHUD::kMaximumDismissInterval + sh::ProgressHUD::kFadeDuration);
        runner_->setHandleIndex(c.index);
        runner_->setDoRetryIndication(c.retry);
        ASSERT_TRUE(tapStart());
        auto opened = screen();
        ASSERT_TRUE(opened);
        EXPECT_TRUE(app_->tapBack());
        EXPECT_EQ(top(), opened); // never popped
        EXPECT_EQ(sheetButtons(), c.buttons);
    }
}

TEST_F(BaseScreenTest, BackGoesToThePreviousItemWithItsCodeKept) {
    auto opened = open(2);
    items_[1]->setSuccess(1);
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(1));
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(runner_->handleIndex(), 1);
    EXPECT_EQ(shownTitle(), "Title ManualBViewController");
    EXPECT_EQ(items_[2]->success(), 0);
    EXPECT_EQ(items_[1]->success(), 1);
}

TEST_F(BaseScreenTest, ConfirmedSkipMarksTheItemAndLeaves) {
    struct Case {
        std::int64_t index;
        std::optional<bool> manualRun;
        const char* place;
    };
    for (const Case& c : {Case{1, true, "runner"}, Case{2, std::nullopt, "results"}, Case{2, true, "list"}}) {
        SCOPED_TRACE(c.place);
        stop();
        start();
        if (c.manualRun) setDefault("manualrun", *c.manualRun);
        auto opened = open(c.index);
        ASSERT_TRUE(opened);
        EXPECT_TRUE(app_->tapBack());
        ASSERT_TRUE(pressSheet(c.index == 1 ? 2 : 2)); // SKIP
        EXPECT_EQ(alertMessage(), localized("READYSTART_CONTROLLER_ALERTVIEW_MESSAGE_SKIP"));
        EXPECT_EQ(items_[std::size_t(c.index)]->success(), 0); // not before the answer
        ASSERT_TRUE(pressAlert(1));
        settle();
        EXPECT_EQ(items_[std::size_t(c.index)]->success(), 2);
        EXPECT_EQ(place(), c.place);
        if (place() == "runner") {
            EXPECT_EQ(shownTitle(), "Title ManualCViewController");
        }
    }
}

TEST_F(BaseScreenTest, ExitAsksInARunAndLeavesAtOnceInARetryOrASingleTest) {
    auto opened = open(1);
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(0));
    EXPECT_EQ(alertMessage(), localized("READYSTART_CONTROLLER_ALERTVIEW_MESSAGE_EXIT"));
    // OK ends the application with nothing sent, and the shipped text says so.
    EXPECT_NE(alertMessage().find("End the run"), std::string::npos) << alertMessage();
    EXPECT_NE(alertMessage().find("no result is saved or sent"), std::string::npos) << alertMessage();
    ASSERT_TRUE(pressAlert(0)); // cancel
    EXPECT_FALSE(app_->exitStatus());
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(0));
    ASSERT_TRUE(pressAlert(1)); // OK
    EXPECT_EQ(app_->exitStatus(), 0);
    EXPECT_EQ(top(), opened);
    EXPECT_EQ(items_[1]->success(), 0);

    for (bool retry : {true, false}) {
        stop();
        start();
        open(retry ? 1 : 0, retry, retry);
        EXPECT_TRUE(app_->tapBack());
        ASSERT_TRUE(pressSheet(0));
        EXPECT_TRUE(app_->presentedAlerts().empty());
        settle();
        EXPECT_EQ(place(), retry ? "results" : "list");
    }
}

TEST_F(BaseScreenTest, DisappearingTakesOpenDialogsAwayWithoutAnswering) {
    auto opened = open(1);
    EXPECT_TRUE(app_->tapBack());
    ASSERT_TRUE(pressSheet(2)); // skip: its confirmation opens
    EXPECT_TRUE(app_->tapBack()); // and the sheet again
    opened->gotoPreviousView();
    settle();
    EXPECT_TRUE(app_->presentedAlerts().empty());
    EXPECT_TRUE(app_->presentedSheets().empty());
    EXPECT_EQ(items_[1]->success(), 0);
    EXPECT_EQ(top(), runner_);
}

// ---- The background rule ----

TEST_F(BaseScreenTest, GoingToTheBackgroundAbandonsTheTestUnlessTheScreenKeepsRunning) {
    run({item("HomeKeyViewController"), item(kManualB)});
    ASSERT_TRUE(tapStart());
    auto home = screen();
    EXPECT_TRUE(app_->tapBack());
    app_->enterBackground();
    EXPECT_TRUE(app_->presentedSheets().empty());
    EXPECT_EQ(top(), home);
    EXPECT_EQ(runner_->handleIndex(), 1);
    app_->enterForeground();

    // A manual screen in a run: the runner steps back to it, the screen goes, the code stays.
    stop();
    start();
    auto opened = open(1);
    items_[1]->setSuccess(1);
    app_->enterBackground();
    settle();
    EXPECT_EQ(top(), runner_);
    EXPECT_EQ(runner_->handleIndex(), 1);
    EXPECT_EQ(shownTitle(), "Title ManualBViewController");
    EXPECT_EQ(items_[1]->success(), 1);
    app_->enterForeground();
    app_->enterBackground(); // gone from the screen: nothing more
    EXPECT_EQ(runner_->handleIndex(), 1);
}

TEST_F(BaseScreenTest, AnAbandonedAutomaticTestGoesToTheListAndARetryOneLevel) {
    run({item(kManualA, false, "WIFI"), item(kManualB)});
    ASSERT_TRUE(tapStart());
    app_->enterBackground();
    app_->advance(1);
    EXPECT_EQ(top(), list_);

    stop();
    start();
    open(1, true, true);
    app_->enterBackground();
    settle();
    EXPECT_EQ(top(), runner_);
}

// ---- Titles ----

TEST_F(BaseScreenTest, JapaneseGetsThinLargeAnswerTitles) {
    auto english = open(0);
    ASSERT_TRUE(english);
    EXPECT_EQ(english->successButton()->titleForState(ui::ControlStates::Normal)->utf8(), localized("BASETEST_CONTROLLER_YES"));
    EXPECT_EQ(english->failButton()->titleForState(ui::ControlStates::Normal)->utf8(), localized("BASETEST_CONTROLLER_NO"));
    EXPECT_NE(english->successButton()->titleLabel()->font()->fontName()->utf8(), "HelveticaNeue-Thin");
    EXPECT_EQ(english->successButton()->contentEdgeInsets(), (ui::EdgeInsets{}));

    stop();
    start();
    ns::Locale::setPreferredLanguages({"ja-JP", "en"});
    auto japanese = open(0);
    for (const auto& button : {japanese->successButton(), japanese->failButton()}) {
        EXPECT_EQ(button->titleLabel()->font()->fontName()->utf8(), "HelveticaNeue-Thin");
        EXPECT_EQ(button->titleLabel()->font()->pointSize(), 48);
        EXPECT_EQ(button->contentEdgeInsets(), (ui::EdgeInsets{20, 0, 20, 0}));
    }
    EXPECT_TRUE(japanese->successButton()->isExclusiveTouch());
    EXPECT_TRUE(japanese->resultButton()->isExclusiveTouch());
    const bool resultHidden = japanese->resultButton()->isHidden();
    rt::send(japanese, rt::Sel("hidenButtons:"), true);
    EXPECT_TRUE(japanese->successButton()->isHidden());
    EXPECT_TRUE(japanese->failButton()->isHidden());
    EXPECT_EQ(japanese->resultButton()->isHidden(), resultHidden);
}

// ---- The question screen ----

TEST_F(BaseScreenTest, TheQuestionShowsItsTextAndTheAnswerBecomesTheResult) {
    for (bool yes : {true, false}) {
        stop();
        start();
        auto asked = item("QuestionViewController");
        if (yes) asked->setQuestion(ns::String::make("Is the sticker white?"));
        run({asked, item(kManualB)});
        ASSERT_TRUE(tapStart());
        auto question = rt::cast<ft::QuestionViewController>(top());
        ASSERT_TRUE(question);
        EXPECT_EQ(app_->labelText(question, "questionLabel"), yes ? "Is the sticker white?" : "");
        EXPECT_EQ(question->edgesForExtendedLayout(), 0u);
        std::vector<std::string> formats;
        auto constraints = question->view()->constraints();
        for (const rt::Id& entry : *constraints)
            if (auto constraint = rt::cast<ui::LayoutConstraint>(entry); constraint && constraint->visualFormat()) {
                // Each format's constraints remember it; list each format once, in order.
                auto text = constraint->visualFormat()->utf8() + " " + std::to_string(constraint->formatOptions());
                if (formats.empty() || formats.back() != text) formats.push_back(text);
            }
        EXPECT_EQ(formats, (std::vector<std::string>{"H:|-[label]-| 0",
                                                     "V:|-(>=0)-[label]-100-[bottomLayoutGuide] 512"}));
        ASSERT_TRUE(tapOutlet(question, yes ? "successButton" : "failButton"));
        EXPECT_EQ(asked->success(), yes ? 1 : 2);
        EXPECT_EQ(top(), runner_); // the middle of a run: back to the runner
    }
}

} // namespace
