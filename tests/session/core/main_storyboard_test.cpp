// The storyboard "Main": every scene, segue, unwind action, outlet, nib and reuse identifier the
// session's screens rely on, and every segue performed against scenes registered from code.

#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/window.h"
#include "session/core/push_animator.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using Names = std::vector<std::string>;

const Names kTestScreens = {"ACUsbPlugViewController",
                            "ComputerUSBPlugViewController",
                            "CameraModelViewController",
                            "CameraPictureViewController",
                            "CameraVideoViewController",
                            "PhysicalKeyViewController",
                            "HomeKeyViewController",
                            "PowerKeyViewController",
                            "FlashModelViewController",
                            "GyroscopeViewController",
                            "AccelerometerViewController",
                            "ProximityViewController",
                            "LouderSpeakerViewController",
                            "HeadsetPlugViewController",
                            "BrightnessViewController",
                            "FillColorViewController",
                            "MicrophoneRecordViewController",
                            "MicrophoneLoopBackViewController",
                            "TouchScreenViewController",
                            "WaterDamgeViewController",
                            "BatteryViewController",
                            "SMSViewController",
                            "MakeCallViewController",
                            "VibrationViewController",
                            "BluetoothViewController",
                            "WifiViewController",
                            "RFTestViewController",
                            "JailBreakViewController",
                            "GPSViewController",
                            "QuestionViewController"};
const std::set<std::string> kUnanimated = {"CameraModelViewController", "CameraPictureViewController",
                                           "CameraVideoViewController"};

// What the stand-ins heard: "<scene> <action> from <source scene>", and the segues they prepared.
Names& heard() {
    static Names lines;
    return lines;
}

// A stand-in for a scene's screen: notes the segues it prepares and the unwind actions it gets.
class StandIn : public ui::ViewController {
    RT_CLASS(StandIn)
public:
    void unwound(const char* action, const rt::Ref<ui::StoryboardSegue>& segue) {
        heard().push_back(sceneIdentifier() + " " + action + " from " +
                          segue->sourceViewController()->sceneIdentifier());
    }

protected:
    StandIn() = default;
    void prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id&) override {
        heard().push_back(sceneIdentifier() + " prepares " + segue->identifier()->utf8() + " as " +
                          std::string(segue->getClass().name()));
    }
};

class StandInRootList : public StandIn {
    RT_CLASS(StandInRootList)
public:
    void doCompletedForRoot(const rt::Ref<ui::StoryboardSegue>& segue) {
        unwound("doCompletedForRoot:", segue);
    }

protected:
    StandInRootList() = default;
};

class StandInRunner : public StandIn {
    RT_CLASS(StandInRunner)
public:
    void doCompleted(const rt::Ref<ui::StoryboardSegue>& segue) { unwound("doCompleted:", segue); }
    void doRetry(const rt::Ref<ui::StoryboardSegue>& segue) { unwound("doRetry:", segue); }
    void doRetryFromResult(const rt::Ref<ui::StoryboardSegue>& segue) {
        unwound("doRetryFromResult:", segue);
    }

protected:
    StandInRunner() = default;
};

} // namespace

RT_DEFINE_CLASS(StandIn, "MainStoryboardTestStandIn", ui::ViewController)
RT_DEFINE_CLASS(StandInRootList, "MainStoryboardTestRootList", StandIn,
                rt::method("doCompletedForRoot:", &StandInRootList::doCompletedForRoot))
RT_DEFINE_CLASS(StandInRunner, "MainStoryboardTestRunner", StandIn,
                rt::method("doCompleted:", &StandInRunner::doCompleted),
                rt::method("doRetry:", &StandInRunner::doRetry),
                rt::method("doRetryFromResult:", &StandInRunner::doRetryFromResult))

namespace {

class MainStoryboard : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        heard().clear();
        main_ = ui::Storyboard::storyboardWithName("Main");
    }
    void TearDown() override {
        main_ = nullptr;
        AppTest::TearDown();
    }

    // The screens' classes come with their own work: stand-ins are registered for their scenes.
    // The test screens' segues are declared on their base class, BaseModelViewController, which is
    // made at run time (from the stand-in) when no class of that name is registered yet.
    void registerStandIns() {
        main_->registerScene("RootTableViewController", "MainStoryboardTestRootList");
        main_->registerScene("ReadyStartViewController", "MainStoryboardTestRunner");
        main_->registerScene("ResultViewController", "MainStoryboardTestStandIn");
        if (!rt::Class::named("BaseModelViewController"))
            rt::Class::createSubclass("BaseModelViewController", StandIn::staticClass(),
                                      StandIn::staticClass());
        for (const std::string& screen : kTestScreens)
            main_->registerScene(screen, "BaseModelViewController");
    }

    const ui::Storyboard::Segue* segue(std::string_view source, std::string_view identifier) const {
        for (const auto& s : main_->segues())
            if (s.source == source && s.identifier == identifier) return &s;
        return nullptr;
    }

    rt::Ref<ui::Storyboard> main_;
};

TEST_F(MainStoryboard, ListsEverySceneSegueAndUnwindActionOfTheScreens) {
    ASSERT_TRUE(main_);
    const ui::Storyboard::Scene* initial = main_->scene(main_->initialScene());
    ASSERT_TRUE(initial);
    EXPECT_EQ(initial->className, "UINavigationController");
    EXPECT_EQ(initial->rootScene, "RootTableViewController");
    EXPECT_TRUE(initial->delegateIsSelf); // "Main"'s navigation controller fades its pushes and pops

    Names scenes = {"RootTableViewController", "ReadyStartViewController", "ResultViewController"};
    scenes.insert(scenes.end(), kTestScreens.begin(), kTestScreens.end());
    for (const std::string& identifier : scenes) {
        const ui::Storyboard::Scene* scene = main_->scene(identifier);
        ASSERT_TRUE(scene) << identifier;
        EXPECT_EQ(scene->className, identifier);
    }

    const auto* doit = segue("RootTableViewController", "doit");
    ASSERT_TRUE(doit);
    EXPECT_EQ(doit->kind, "push");
    EXPECT_EQ(doit->destination, "ReadyStartViewController");
    for (const std::string& screen : kTestScreens) {
        const auto* opens = segue("ReadyStartViewController", screen);
        ASSERT_TRUE(opens) << screen;
        EXPECT_EQ(opens->destination, screen);
        EXPECT_EQ(opens->kind, kUnanimated.contains(screen) ? "PushNoAnimationSegue" : "push") << screen;
    }
    for (const char* source : {"ReadyStartViewController", "BaseModelViewController"})
        EXPECT_EQ(segue(source, "doResult")->destination, "ResultViewController") << source;

    const std::map<std::pair<std::string, std::string>, std::string> unwinds = {
        {{"BaseModelViewController", "unwindToPreviousView"}, "doCompleted:"},
        {{"BaseModelViewController", "doRetry"}, "doRetry:"},
        {{"ResultViewController", "doRetryFromResult"}, "doRetryFromResult:"},
        {{"ReadyStartViewController", "unwindToRootView"}, "doCompletedForRoot:"},
        {{"BaseModelViewController", "unwindToRootView"}, "doCompletedForRoot:"}};
    for (const auto& [at, action] : unwinds) {
        const auto* unwind = segue(at.first, at.second);
        ASSERT_TRUE(unwind) << at.first << " " << at.second;
        EXPECT_TRUE(unwind->isUnwind());
        EXPECT_EQ(unwind->action, action);
    }

    EXPECT_EQ(main_->scene("ReadyStartViewController")->outlets,
              (Names{"startBtn", "testItemImage", "autoStep", "testtitle", "itemPanel", "viewtopcon",
                     "labelMessage"}));
    EXPECT_EQ(main_->scene("RootTableViewController")->outlets,
              (Names{"tableView", "selectionButton", "saveBarButton", "tabletopviewcon"}));
    EXPECT_EQ(main_->scene("GPSViewController")->outlets,
              (Names{"labelTitle", "successButton", "failButton", "resultButton"}));
    EXPECT_EQ(main_->scene("GPSViewController")->actions, (Names{"success:", "fail:", "passAction:"}));
    EXPECT_EQ(main_->scene("ResultViewController")->outlets.size(), 9u);
    const auto& cells = main_->scene("ResultViewController")->prototypeCells;
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].reuseIdentifier, "ReuseIdentifier");
    EXPECT_EQ(cells[0].className, "ResultTableViewCell");
    ASSERT_EQ(main_->nibs().size(), 2u);
    EXPECT_EQ(main_->nibs()[0].name, "ItemTableViewCell");
    EXPECT_EQ(main_->nibs()[0].reuseIdentifier, "reuseCell");
    EXPECT_EQ(main_->nibs()[1].name, "SpaceTableViewCell");
    EXPECT_EQ(main_->nibs()[1].reuseIdentifier, "seperatorReuse");
}

TEST_F(MainStoryboard, EverySegueResolvesAgainstScenesRegisteredFromCode) {
    registerStandIns();
    for (const auto& s : main_->segues())
        EXPECT_TRUE(ui::Storyboard::segueClassForKind(s.kind)) << s.kind;

    auto navigation = rt::cast<ui::NavigationController>(main_->instantiateInitialViewController());
    ASSERT_TRUE(navigation);
    EXPECT_EQ(navigation->delegate(), navigation);
    auto top = [&] { return navigation->topViewController(); };
    auto perform = [&](const char* identifier) { top()->performSegueWithIdentifier(identifier, nullptr); };
    auto last = [] { return heard().empty() ? std::string() : heard().back(); };

    // Off screen every push and pop takes effect at once.
    perform("doit");
    ASSERT_TRUE(rt::cast<StandInRunner>(top()));
    auto runner = top();
    for (const std::string& screen : kTestScreens) {
        perform(screen.c_str());
        EXPECT_EQ(heard().back(),
                  "ReadyStartViewController prepares " + screen + " as " +
                      (kUnanimated.contains(screen) ? "PushNoAnimationSegue" : "UIStoryboardPushSegue"));
        EXPECT_EQ(top()->sceneIdentifier(), screen);
        perform("unwindToPreviousView");
        EXPECT_EQ(last(), "ReadyStartViewController doCompleted: from " + screen);
        EXPECT_EQ(top(), runner);
    }

    perform("QuestionViewController");
    perform("doRetry");
    EXPECT_EQ(last(), "ReadyStartViewController doRetry: from QuestionViewController");

    perform("AccelerometerViewController");
    perform("doResult");
    EXPECT_EQ(top()->sceneIdentifier(), "ResultViewController");
    perform("doRetryFromResult");
    EXPECT_EQ(last(), "ReadyStartViewController doRetryFromResult: from ResultViewController");
    EXPECT_EQ(top(), runner);

    perform("doResult");
    EXPECT_EQ(top()->sceneIdentifier(), "ResultViewController");
    navigation->popViewControllerAnimated(false);

    perform("GPSViewController");
    perform("unwindToRootView");
    EXPECT_EQ(last(), "RootTableViewController doCompletedForRoot: from GPSViewController");
    EXPECT_EQ(navigation->viewControllerList().size(), 1u);

    perform("doit");
    perform("unwindToRootView");
    EXPECT_EQ(last(), "RootTableViewController doCompletedForRoot: from ReadyStartViewController");
    EXPECT_EQ(navigation->viewControllerList().size(), 1u);
}

TEST_F(MainStoryboard, TheCameraScreensArePushedWithoutAnimation) {
    registerStandIns();
    auto navigation = rt::cast<ui::NavigationController>(main_->instantiateInitialViewController());
    auto window = rt::make<ui::Window>();
    window->setRootViewControllerObject(navigation);
    window->makeKeyAndVisible();
    navigation->topViewController()->performSegueWithIdentifier("doit", nullptr);
    app().advance(ft::kFadeDuration);
    auto runner = navigation->topViewController();

    runner->performSegueWithIdentifier("CameraVideoViewController", nullptr);
    app().advance(0); // the turn commits: the push starts, and ends at once
    EXPECT_FALSE(navigation->isTransitioning());
    EXPECT_EQ(navigation->topViewController()->sceneIdentifier(), "CameraVideoViewController");
    navigation->popViewControllerAnimated(false);
    app().advance(0);

    runner->performSegueWithIdentifier("BatteryViewController", nullptr);
    app().advance(0);
    EXPECT_TRUE(navigation->isTransitioning()); // a push segue fades, the controller being its own delegate
    app().advance(ft::kFadeDuration);
    EXPECT_FALSE(navigation->isTransitioning());
    window->setRootViewControllerObject(nullptr);
}

} // namespace
