#pragma once
// A stage for benchmarks of test screens through the real runner, in virtual time: the root list
// on screen in a window of the application delegate's, a screen's item pushed with the runner and
// started, and back to the list.

#include <functional>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/fake_screens.h"

namespace bench_screens {

inline constexpr const char* kBenchNext = "BenchManualViewController";

// The list on screen in a window of the application delegate's, as the runner's tests have it.
class Stage {
public:
    explicit Stage(testkit::AppOptions options = {.delegateClass = "AppDelegate"}) : app_(std::move(options)) {
        window_ = rt::make<ui::Window>();
        window_->setFrame(ui::Screen::mainScreen()->bounds());
        rt::cast<ft::AppDelegate>(app_.delegate())->setWindow(window_);
        storyboard_ = ui::Storyboard::storyboardWithName("Main");
        testkit::registerFakeScreen(*storyboard_, kBenchNext, testkit::FakeScreen::Manual);
        navigation_ = rt::cast<ui::NavigationController>(storyboard_->instantiateInitialViewController());
        window_->setRootViewControllerObject(navigation_);
        window_->makeKeyAndVisible();
        app_.runUntilIdle();
    }
    ~Stage() {
        navigation_ = nullptr;
        storyboard_ = nullptr;
        rt::cast<ft::AppDelegate>(app_.delegate())->setWindow(nullptr);
        window_ = nullptr;
    }

    // Pushes the runner with the screen's item (a manual screen after it) and starts it; the item.
    rt::Ref<ft::TestBaseModel> open(const std::string& screen) {
        auto item = ft::TestBaseModel::make();
        item->setName(ns::String::make(screen));
        item->setProfile(ns::String::make("KEY"));
        auto next = ft::TestBaseModel::make();
        next->setName(ns::String::make(kBenchNext));
        auto runner = rt::cast<ft::ReadyStartViewController>(
            storyboard_->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
        runner->setDoItems(ns::Array::make({item, next}));
        runner->setIsAutoRunning(true);
        navigation_->pushViewController(runner, false);
        app_.runUntilIdle();
        app_.tapOutlet(runner, "startBtn");
        return item;
    }
    // Back to the list, the screen left wherever it was.
    void leave() {
        navigation_->popToRootViewControllerAnimated(false);
        app_.advance(1.0);
    }
    testkit::AppFixture& app() { return app_; }
    rt::Ref<ui::ViewController> top() const { return navigation_->topViewController(); }

private:
    testkit::AppFixture app_;
    rt::Ref<ui::Window> window_;
    rt::Ref<ui::Storyboard> storyboard_;
    rt::Ref<ui::NavigationController> navigation_;
};

// Push to verdict: how the tester (or nobody) drives the screen once it has loaded.
inline void pushToVerdict(benchmark::State& state, const std::string& screen,
                   const std::function<void(Stage&)>& drive) {
    Stage stage;
    for (auto _ : state) {
        auto item = stage.open(screen);
        drive(stage);
        if (item->success() == 0) {
            state.SkipWithError("no verdict");
            break;
        }
        state.PauseTiming();
        stage.leave();
        state.ResumeTiming();
    }
}

} // namespace bench_screens
