// The storyboard as data: reading it (and its faults, each naming the field), instantiating scenes
// by class name, segues (prepared before the destination loads, custom classes made by name,
// declared on a base class), unwinds to the nearest controller with the action, and the loud
// failure of anything unknown.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/color.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/window.h"
#include "tests/platform/uikit/traced_controller.h"

namespace {

using Lines = std::vector<std::string>;
using Stack = std::vector<rt::Ref<ui::ViewController>>;
using uikit_tests::trace;
using uikit_tests::TracedController;
using uikit_tests::UnwindTarget;

// A segue of the application's own: it notes its performing and pushes without animation.
class UnanimatedSegue : public ui::StoryboardSegue {
    RT_CLASS(UnanimatedSegue)
public:
    void perform() override {
        trace().push_back("segue perform");
        sourceViewController()->navigationController()->pushViewController(destinationViewController(),
                                                                           false);
    }

protected:
    UnanimatedSegue() = default;
};

} // namespace

RT_DEFINE_CLASS(UnanimatedSegue, "UIKitTestUnanimatedSegue", ui::StoryboardSegue)

namespace {

// R answers the unwind action backHere:, and so does D, a subclass of R's class.
constexpr std::string_view kStoryboard = R"({
  "initialScene": "nav",
  "scenes": [
    {"identifier": "nav", "class": "UINavigationController", "rootScene": "R", "delegate": "self",
     "attributes": {"navigationBar.barTintColor": {"color": [0, 0.5, 1, 1]}, "title": "Home",
                    "automaticallyAdjustsScrollViewInsets": false}},
    {"identifier": "R", "class": "UIKitTestUnwindTarget", "outlets": ["tableView"], "actions": ["openSafari"]},
    {"identifier": "A", "class": "UIKitTestTracedController"},
    {"identifier": "B", "class": "UIKitTestTracedController"},
    {"identifier": "C", "class": "UIKitTestTracedController",
     "prototypeCells": [{"reuseIdentifier": "ReuseIdentifier", "class": "UITableViewCell"}]},
    {"identifier": "D", "class": "UIKitTestUnwindTargetSubclass"}
  ],
  "segues": [
    {"source": "R", "identifier": "next", "kind": "push", "destination": "A"},
    {"source": "A", "identifier": "next", "kind": "UIKitTestUnanimatedSegue", "destination": "B"},
    {"source": "UIKitTestUnwindTarget", "identifier": "next", "kind": "push", "destination": "C"},
    {"source": "UIKitTestTracedController", "identifier": "home", "kind": "unwind", "action": "backHere:"}
  ],
  "nibs": [{"name": "ItemTableViewCell", "reuseIdentifier": "reuseCell"}]
})";

class Storyboards : public uikit_tests::ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        storyboard_ = ui::Storyboard::storyboardWithJSON("Test", kStoryboard);
    }
    void TearDown() override {
        storyboard_ = nullptr;
        ScreenTest::TearDown();
    }

    template <class T = TracedController> rt::Ref<T> scene(std::string_view identifier) {
        return rt::cast<T>(storyboard_->instantiateViewControllerWithIdentifier(identifier));
    }
    // A navigation controller of these scenes, bottom first, shown in a window.
    rt::Ref<ui::NavigationController> shownStack(const std::vector<std::string_view>& identifiers) {
        auto navigation = rt::make<ui::NavigationController>();
        Stack stack;
        for (std::string_view identifier : identifiers)
            stack.push_back(scene(identifier));
        navigation->setViewControllerList(stack);
        show(navigation);
        return navigation;
    }

    rt::Ref<ui::Storyboard> storyboard_;
};

// The reason of the exception `f` raises, or "" when it raises none.
template <class F> std::string failure(F&& f) {
    try {
        f();
    } catch (const ns::Exception& e) {
        EXPECT_EQ(e.name(), ns::InvalidArgumentException);
        return e.reason();
    }
    return "";
}

TEST_F(Storyboards, TheDataDescribesScenesSeguesAndNibs) {
    ASSERT_EQ(storyboard_->scenes().size(), 6u);
    const ui::Storyboard::Scene* root = storyboard_->scene("R");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->outlets, (Lines{"tableView"}));
    EXPECT_EQ(root->actions, (Lines{"openSafari"}));
    EXPECT_EQ(storyboard_->scene("C")->prototypeCells.at(0).reuseIdentifier, "ReuseIdentifier");
    EXPECT_EQ(storyboard_->segues().at(3).action, "backHere:");
    EXPECT_TRUE(storyboard_->segues().at(3).isUnwind());
    EXPECT_EQ(storyboard_->nibs().at(0).reuseIdentifier, "reuseCell");

    auto navigation = rt::cast<ui::NavigationController>(storyboard_->instantiateInitialViewController());
    ASSERT_TRUE(navigation);
    EXPECT_EQ(navigation->delegate(), navigation); // "delegate": "self"
    // The attributes, set by key path: a colour, a text and a boolean.
    const rt::Ref<ui::Color>& bar = navigation->navigationBar()->barTintColor();
    ASSERT_TRUE(bar);
    EXPECT_EQ((std::vector<double>{bar->red(), bar->green(), bar->blue(), bar->alpha()}),
              (std::vector<double>{0, 0.5, 1, 1}));
    EXPECT_EQ(navigation->title()->utf8(), "Home");
    EXPECT_FALSE(navigation->automaticallyAdjustsScrollViewInsets());
    auto top = rt::cast<UnwindTarget>(navigation->topViewController());
    ASSERT_TRUE(top);
    EXPECT_EQ(top->storyboard(), storyboard_);
    EXPECT_EQ(top->sceneIdentifier(), "R");
    EXPECT_FALSE(top->isViewLoaded());
}

TEST_F(Storyboards, AFaultInTheDataNamesTheFileAndTheField) {
    ns::CapturedLog log;
    auto read = [](std::string_view json) {
        return failure([&] { ui::Storyboard::storyboardWithJSON("T", json); });
    };
    EXPECT_EQ(read("[1"), read("[1")); // stable
    EXPECT_NE(read("[1").find("T.storyboard.json: (top): not JSON"), std::string::npos);
    EXPECT_EQ(read("{}"), "T.storyboard.json: scenes: missing");
    EXPECT_EQ(read(R"({"scenes": [{"identifier": "A"}]})"), "T.storyboard.json: scenes[0].class: missing");
    EXPECT_EQ(read(R"({"scenes": [{"identifier": "A", "class": 3}]})"),
              "T.storyboard.json: scenes[0].class: not a string");
    EXPECT_EQ(read(R"({"scenes": [], "initialScene": "Z"})"),
              "T.storyboard.json: initialScene: no scene \"Z\"");
    EXPECT_EQ(read(R"({"scenes": [], "segues": [{"source": "A", "identifier": "x", "kind": "push"}]})"),
              "T.storyboard.json: segues[0].destination: missing");
    EXPECT_EQ(
        read(
            R"({"scenes": [], "segues": [{"source": "A", "identifier": "x", "kind": "push", "destination": "Z"}]})"),
        "T.storyboard.json: segues[0].destination: no scene \"Z\"");
    EXPECT_EQ(read(R"({"scenes": [], "segues": [{"source": "A", "identifier": "x", "kind": "unwind"}]})"),
              "T.storyboard.json: segues[0].action: missing");
    EXPECT_EQ(read(R"({"scenes": [{"identifier": "A", "class": "B"}, {"identifier": "A", "class": "C"}]})"),
              "T.storyboard.json: scenes[1].identifier: \"A\" is taken");
    for (const char* bad : {"null", R"({"color": [1, 1, 1]})", R"({"color": [1, 2, 1, 1]})", R"([1])"}) {
        const std::string reason = read(std::string(R"({"scenes": [{"identifier": "A", "class": "B", "attributes": )") +
                                        R"({"k": )" + bad + "}}]}");
        EXPECT_EQ(reason.rfind("T.storyboard.json: scenes[0].attributes.k", 0), 0u) << bad << ": " << reason;
    }
    EXPECT_EQ(read(R"({"scenes": [{"identifier": "A", "class": "B", "attributes": []}]})"),
              "T.storyboard.json: scenes[0].attributes: not an object");
    EXPECT_TRUE(log.contains("T.storyboard.json: scenes: missing"));
    EXPECT_NE(failure([] {
                  ui::Storyboard::storyboardWithName("NoSuchStoryboard");
              }).find("Could not find a storyboard named 'NoSuchStoryboard'"),
              std::string::npos);
}

TEST_F(Storyboards, AnUnknownSceneOrClassFailsLoudly) {
    ns::CapturedLog log;
    EXPECT_EQ(failure([&] { storyboard_->instantiateViewControllerWithIdentifier("Z"); }),
              "Storyboard (" + storyboard_->description() +
                  ") doesn't contain a view controller with identifier 'Z'");
    EXPECT_TRUE(log.contains("doesn't contain a view controller with identifier 'Z'"));

    storyboard_->registerScene("X", "UIKitTestNoSuchClass");
    EXPECT_EQ(failure([&] { storyboard_->instantiateViewControllerWithIdentifier("X"); }),
              "Unknown class UIKitTestNoSuchClass in the scene 'X' of storyboard 'Test'.");
    storyboard_->registerScene("X", "NSObject");
    EXPECT_NE(failure([&] {
                  storyboard_->instantiateViewControllerWithIdentifier("X");
              }).find("is not a view controller"),
              std::string::npos);

    // A scene registered from code replaces the class of one read from the file.
    storyboard_->registerScene("A", "UIKitTestUnwindTarget");
    EXPECT_TRUE(scene<UnwindTarget>("A"));
}

TEST_F(Storyboards, PrepareForSegueRunsBeforeTheDestinationsViewLoads) {
    auto navigation = shownStack({"R"});
    auto root = rt::cast<TracedController>(navigation->topViewController());
    auto sender = ns::String::make("row 3");

    root->performSegueWithIdentifier("next", sender);
    EXPECT_EQ(trace(), (Lines{"R prepareForSegue: next"})) << "the push starts once the turn has committed";
    runFor(0);
    EXPECT_EQ(trace(), (Lines{"R prepareForSegue: next", "A viewDidLoad",
                              "R viewWillDisappear:", "A viewWillAppear:"}));
    EXPECT_EQ(root->preparedIdentifier, "next");
    EXPECT_EQ(root->preparedSender, sender);
    EXPECT_EQ(root->preparedDestination.lock(), navigation->topViewController());
    runFor(ui::kDefaultTransitionDuration); // a push segue is animated
    EXPECT_EQ(trace().back(), "A viewDidAppear:");
}

TEST_F(Storyboards, AnUnknownSegueFailsLoudly) {
    auto navigation = shownStack({"R", "A"});
    auto a = navigation->topViewController();
    ns::CapturedLog log;
    EXPECT_EQ(failure([&] { a->performSegueWithIdentifier("nope", nullptr); }),
              "Receiver (" + a->description() + ") has no segue with identifier 'nope'");
    EXPECT_TRUE(log.contains("has no segue with identifier 'nope'"));
    // A controller made in code has no storyboard, so no segues.
    auto loose = TracedController::named("X");
    EXPECT_NE(failure([&] { loose->performSegueWithIdentifier("next", nullptr); }).find("has no segue"),
              std::string::npos);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(navigation->topViewController(), a);
}

TEST_F(Storyboards, ACustomSegueClassIsMadeByNameAndPerformed) {
    auto navigation = shownStack({"R", "A"});
    navigation->topViewController()->performSegueWithIdentifier("next", nullptr);
    runFor(0);
    EXPECT_EQ(trace(),
              (Lines{"A prepareForSegue: next", "segue perform", "B viewDidLoad", "A viewWillDisappear:",
                     "B viewWillAppear:", "A viewDidDisappear:", "B viewDidAppear:"}));
    EXPECT_FALSE(navigation->isTransitioning());

    storyboard_->registerSegue({.source = "B",
                                .identifier = "odd",
                                .kind = "UIKitTestNoSuchSegue",
                                .destination = "C",
                                .action = ""});
    ns::CapturedLog log;
    EXPECT_EQ(failure([&] { navigation->topViewController()->performSegueWithIdentifier("odd", nullptr); }),
              "The segue 'odd' of storyboard 'Test' is of the kind 'UIKitTestNoSuchSegue', which names no "
              "segue class.");
}

TEST_F(Storyboards, ASegueDeclaredOnABaseClassServesItsSubclasses) {
    // D's class derives from the one "next" is declared on; R's scene declares its own "next".
    auto navigation = shownStack({"R", "D"});
    navigation->topViewController()->performSegueWithIdentifier("next", nullptr);
    runFor(0);
    EXPECT_EQ(trace().at(1), "C viewDidLoad");

    runFor(ui::kDefaultTransitionDuration);
    navigation->popToRootViewControllerAnimated(false);
    runFor(0);
    trace().clear();
    navigation->topViewController()->performSegueWithIdentifier("next", nullptr);
    runFor(0);
    EXPECT_EQ(trace().at(1), "A viewDidLoad");
}

TEST_F(Storyboards, AThreeLevelUnwindCallsTheActionOnceBeforeTheDestinationAppears) {
    auto navigation = shownStack({"R", "A", "B", "C"});
    auto root = rt::cast<UnwindTarget>(navigation->viewControllerList().front());

    navigation->topViewController()->performSegueWithIdentifier("home", nullptr);
    runFor(0);
    EXPECT_EQ(trace(), (Lines{"C prepareForSegue: home", "R backHere: from C", "R viewDidLoad",
                              "C viewWillDisappear:", "R viewWillAppear:"}));
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(trace().back(), "R viewDidAppear:");
    EXPECT_EQ(root->unwinds, 1);
    EXPECT_EQ(navigation->viewControllerList(), (Stack{root}));
}

TEST_F(Storyboards, AnUnwindEndsAtTheNearestControllerWithTheAction) {
    auto navigation = shownStack({"R", "D", "A"});
    auto d = rt::cast<UnwindTarget>(navigation->viewControllerList().at(1));
    navigation->topViewController()->performSegueWithIdentifier("home", nullptr);
    EXPECT_EQ(trace().at(1), "D backHere: from A");
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(navigation->topViewController(), d);

    // Below the root there is nobody to answer: it is logged and nothing moves.
    auto plain = shownStack({"A", "B"});
    ns::CapturedLog log;
    plain->topViewController()->performSegueWithIdentifier("home", nullptr);
    EXPECT_TRUE(log.contains("found no view controller below it that answers backHere:"));
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(plain->viewControllerList().size(), 2u);
}

TEST_F(Storyboards, AnUnwindFromAPresentedControllerDismissesItOnTheWayBack) {
    auto navigation = shownStack({"R", "A"});
    auto presented = scene("B");
    navigation->topViewController()->presentViewController(presented, false);
    trace().clear();

    presented->performSegueWithIdentifier("home", nullptr);
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(trace(),
              (Lines{"B prepareForSegue: home", "R backHere: from B", "B viewWillDisappear:", "R viewDidLoad",
                     "R viewWillAppear:", "B viewDidDisappear:", "R viewDidAppear:"}));
    EXPECT_EQ(navigation->presentedViewController(), nullptr);
    EXPECT_EQ(navigation->viewControllerList().size(), 1u);
}

} // namespace
