// The runner on screen over the real root list, with scripted test screens: the fixture the
// runner's, the base screen's and the question screen's tests share.

#pragma once

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
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "session/root_table_view_controller.h"
#include "session/screen_support.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/fake_screens.h"

namespace runtest {

// Scenes the fixture registers: three manual screens, an automatic one, a refusing one and one
// whose disappear sends tuples; "HomeKeyViewController" and "JailBreakViewController" keep
// running in the background.
inline constexpr const char* kManualA = "ManualAViewController";
inline constexpr const char* kManualB = "ManualBViewController";
inline constexpr const char* kManualC = "ManualCViewController";
inline constexpr const char* kAutomatic = "AutomaticViewController";
inline constexpr const char* kRefusing = "RefusingViewController";

class RunTest : public ::testing::Test {
protected:
    void SetUp() override { start(); }
    void TearDown() override { stop(); }
    virtual testkit::AppOptions options() const { return {.delegateClass = "AppDelegate"}; }

    void start() {
        app_ = std::make_unique<testkit::AppFixture>(options());
        testkit::FakeTestScreen::journal().clear();
        testkit::FakeRefusingScreen::setRefusal(std::nullopt);
        testkit::FakeRefusingScreen::resetCalls();
        window_ = rt::make<ui::Window>();
        rt::cast<ft::AppDelegate>(app_->delegate())->setWindow(window_);
        storyboard_ = ui::Storyboard::storyboardWithName("Main");
        using testkit::FakeScreen;
        for (const char* name : {kManualA, kManualB, kManualC, "HomeKeyViewController", "BatteryViewController"})
            testkit::registerFakeScreen(*storyboard_, name, FakeScreen::Manual);
        testkit::registerFakeScreen(*storyboard_, kAutomatic, FakeScreen::Automatic);
        testkit::registerFakeScreen(*storyboard_, kRefusing, FakeScreen::Refusing);
        testkit::registerFakeScreen(*storyboard_, "JailBreakViewController", FakeScreen::TupleDisappearing);
        navigation_ = rt::cast<ui::NavigationController>(storyboard_->instantiateInitialViewController());
        ASSERT_TRUE(navigation_);
        list_ = rt::cast<ft::RootTableViewController>(navigation_->topViewController());
        window_->setRootViewControllerObject(navigation_);
        window_->makeKeyAndVisible();
        app_->runUntilIdle();
    }
    void stop() {
        items_.clear();
        runner_ = nullptr;
        list_ = nullptr;
        navigation_ = nullptr;
        storyboard_ = nullptr;
        window_ = nullptr;
        if (app_)
            if (auto delegate = rt::cast<ft::AppDelegate>(app_->delegate())) delegate->setWindow(nullptr);
        app_.reset();
    }

    // A new item running the screen `name`.
    static rt::Ref<ft::TestBaseModel> item(std::string_view name, bool isAuto = false, std::string_view profile = "KEY") {
        auto made = ft::TestBaseModel::make();
        made->setName(ns::String::make(name));
        made->setTitle(ns::String::make(std::string("Title ") + std::string(name)));
        made->setMessage(ns::String::make("Guide"));
        made->setIcon(ns::String::make("icon_usb"));
        made->setIsAuto(isAuto);
        made->setProfile(ns::String::make(profile));
        return made;
    }

    // Pushes the runner with the items above the list, as "doit" does, and lets it settle.
    void run(std::vector<rt::Ref<ft::TestBaseModel>> items, bool ofSelection = true) {
        items_ = items;
        std::vector<rt::Id> entries(items.begin(), items.end());
        runner_ = rt::cast<ft::ReadyStartViewController>(
            storyboard_->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
        ASSERT_TRUE(runner_);
        runner_->setDoItems(ns::Array::make(entries));
        runner_->setIsAutoRunning(ofSelection);
        navigation_->pushViewController(runner_, false);
        settle();
    }
    // Lets the main queue and the navigation's transitions (fades of half a second) run out.
    void settle() { app_->advance(1.0); }
    bool tapOutlet(const rt::Id& owner, std::string_view outlet) {
        const bool tapped = app_->tapOutlet(owner, outlet);
        settle();
        return tapped;
    }
    bool tapStart() { return tapOutlet(runner_, "startBtn"); }
    // The runner disappears and appears again, as under a screen pushed and popped.
    void reappear() {
        for (bool appearing : {false, true}) {
            runner_->beginAppearanceTransition(appearing, false);
            runner_->endAppearanceTransition();
        }
    }

    rt::Ref<ui::ViewController> top() const { return navigation_->topViewController(); }
    rt::Ref<testkit::FakeTestScreen> screen() const { return rt::cast<testkit::FakeTestScreen>(top()); }
    std::string counter() const {
        auto label = runner_->autoStep();
        return label && label->text() ? label->text()->utf8() : "";
    }
    std::string shownTitle() const {
        auto label = runner_->testtitle();
        return label && label->text() ? label->text()->utf8() : "";
    }
    // The titles of the sheet on screen, as their keys' last words ("EXIT SKIP CANCEL").
    std::string sheetButtons() const {
        auto sheets = app_->presentedSheets();
        if (sheets.empty()) return "no sheet";
        std::string out;
        for (long i = 0; i < sheets.back()->numberOfButtons(); ++i) {
            std::string title = sheets.back()->buttonTitleAtIndex(i)->utf8();
            for (const char* word : {"EXIT", "BACK", "SKIP", "CANCEL"})
                if (title == localized(std::string("BASETEST_CONTROLLER_ACTIONSHEET_") + word)) title = word;
            out += (out.empty() ? "" : " ") + title;
        }
        return out;
    }
    bool pressSheet(long index) {
        auto sheets = app_->presentedSheets();
        const bool pressed = !sheets.empty() && app_->press(sheets.back(), index);
        settle();
        return pressed;
    }
    bool pressAlert(long index) {
        auto alerts = app_->presentedAlerts();
        const bool pressed = !alerts.empty() && app_->press(alerts.back(), index);
        settle();
        return pressed;
    }
    std::string alertMessage() const {
        auto alerts = app_->presentedAlerts();
        return alerts.empty() || !alerts.back()->message() ? "" : alerts.back()->message()->utf8();
    }
    static std::string localized(const std::string& key) { return ft::localized(key)->utf8(); }
    static void setDefault(const char* key, bool value) {
        ns::UserDefaults::standardUserDefaults()->setBool(value, key);
    }
    std::string topClass() const { return top() ? std::string(top()->getClass().name()) : ""; }

    std::unique_ptr<testkit::AppFixture> app_;
    rt::Ref<ui::Window> window_;
    rt::Ref<ui::Storyboard> storyboard_;
    rt::Ref<ui::NavigationController> navigation_;
    rt::Ref<ft::RootTableViewController> list_;
    rt::Ref<ft::ReadyStartViewController> runner_;
    std::vector<rt::Ref<ft::TestBaseModel>> items_;
};

} // namespace runtest
