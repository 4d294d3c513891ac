#pragma once
// The runner on screen over the real root list, with scripted test screens, and the contract every
// test screen keeps with the runner. The session's runner and base-screen tests and every screen's
// tests share it; a program that uses it links the session whole (target testkit_screens).
//
//   class MyScreenTest : public testkit::RunFixture {};
//   TEST_F(MyScreenTest, PassesAndLeaves) {
//       run({item("PowerKeyViewController"), item(testkit::kManualB)});
//       ASSERT_TRUE(tapStart());
//       ...
//       EXPECT_TRUE(keptContract(contract().last(), "unwindToPreviousView"));
//   }
//
// Each screen the runner opens is watched from before its view loads: what `present` and `choose`
// send, each segue it performs, and whether it still lives. The contract: all of it happens on the
// main thread; it shows (present YES) before it takes an answer; it leaves exactly once, by the
// segue its place in the run calls for, after its last answer and before it disappears (present
// NO); and once its unwind has run, it is gone (a push to the results keeps it beneath them). Main
// thread only.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/user_defaults.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/window.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "session/root_table_view_controller.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/fake_screens.h"

namespace testkit {

// Scenes the fixture registers: three manual screens, an automatic one and a refusing one.
inline constexpr const char* kManualA = "ManualAViewController";
inline constexpr const char* kManualB = "ManualBViewController";
inline constexpr const char* kManualC = "ManualCViewController";
inline constexpr const char* kAutomatic = "AutomaticViewController";
inline constexpr const char* kRefusing = "RefusingViewController";

// What one screen the runner opened did, in order: "present:1" / "present:0", "choose:1" /
// "choose:0", "leave:<segue>", each led by "off-main " when it came on another thread.
struct WatchedScreen {
    std::string className;
    rt::Weak<ft::BaseModelViewController> screen{};
    std::vector<std::string> events{};
    std::vector<rt::Ref<es::Disposable>> subscriptions{};

    bool gone() const { return !screen.lock(); }
    // The events joined by spaces.
    std::string text() const;
};

// The screens the runner opened, first opened first.
class ScreenContract {
public:
    void watch(const rt::Ref<ft::BaseModelViewController>& screen);
    const std::vector<std::shared_ptr<WatchedScreen>>& screens() const noexcept { return screens_; }
    // The last screen opened; a test failure and an empty record when none was.
    const WatchedScreen& last() const;
    void clear() { screens_.clear(); }

private:
    std::vector<std::shared_ptr<WatchedScreen>> screens_;
};

// Whether the screen kept the contract, having left by `segue`; the failure says what it did.
::testing::AssertionResult keptContract(const WatchedScreen& watched, std::string_view segue);

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override { start(); }
    void TearDown() override { stop(); }
    virtual AppOptions options() const { return {.delegateClass = "AppDelegate"}; }
    // The scenes of the fake screens; a subclass may add its own.
    virtual void registerScenes(ui::Storyboard& storyboard);

    void start();
    void stop();

    // A new item running the screen `name`.
    static rt::Ref<ft::TestBaseModel> item(std::string_view name, bool isAuto = false,
                                           std::string_view profile = "KEY");

    // Pushes the runner with the items above the list, as "doit" does, and lets it settle.
    void run(std::vector<rt::Ref<ft::TestBaseModel>> items, bool ofSelection = true);
    // Lets the main queue and the navigation's transitions (fades of half a second) run out.
    void settle() { app_->advance(1.0); }
    bool tapOutlet(const rt::Id& owner, std::string_view outlet);
    bool tapStart() { return tapOutlet(runner_, "startBtn"); }
    // The runner disappears and appears again, as under a screen pushed and popped.
    void reappear();

    rt::Ref<ui::ViewController> top() const { return navigation_->topViewController(); }
    rt::Ref<FakeTestScreen> screen() const { return rt::cast<FakeTestScreen>(top()); }
    std::string counter() const;
    std::string shownTitle() const;
    // The titles of the sheet on screen, as their keys' last words ("EXIT SKIP CANCEL").
    std::string sheetButtons() const;
    bool pressSheet(long index);
    bool pressAlert(long index);
    std::string alertMessage() const;
    static std::string localized(const std::string& key);
    static void setDefault(const char* key, bool value) {
        ns::UserDefaults::standardUserDefaults()->setBool(value, key);
    }
    std::string topClass() const { return top() ? std::string(top()->getClass().name()) : ""; }
    // The screens the runner has opened since the fixture started.
    const ScreenContract& contract() const noexcept { return contract_; }

    std::unique_ptr<AppFixture> app_;
    rt::Ref<ui::Window> window_;
    rt::Ref<ui::Storyboard> storyboard_;
    rt::Ref<ui::NavigationController> navigation_;
    rt::Ref<ft::RootTableViewController> list_;
    rt::Ref<ft::ReadyStartViewController> runner_;
    std::vector<rt::Ref<ft::TestBaseModel>> items_;

private:
    ScreenContract contract_;
    rt::Ref<es::Disposable> opening_;
};

} // namespace testkit
