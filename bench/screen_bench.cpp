// Screens as they are laid out and looked at: a layout pass of the question screen and of the
// runner after their wrapping text changed (two texts of different lengths in turn), a picture of
// the results screen with 40 rows at one pixel a point (drawn; recorded, the main job's part on the
// main thread; drawn and written as a PNG),
// and a named image asked for again.

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/foundation/error.h"
#include "platform/runtime/kvc.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/question_view_controller.h"
#include "session/ready_start_view_controller.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

constexpr const char* kShortText =
    "Is the water damage sticker inside the SIM tray white, with no red or pink "
    "spots on it anywhere?";
constexpr const char* kLongText =
    "Take the SIM tray out with the tool, hold it under a bright light and look at the small sticker at "
    "its end. Is the water damage sticker white, with no red or pink spots on it anywhere, and is the "
    "tray itself free of rust?";

// The application with its key window showing the root list, and one screen pushed above it.
struct OnScreen {
    testkit::AppFixture app{{.delegateClass = "AppDelegate"}};
    rt::Ref<ui::Window> window = rt::make<ui::Window>();
    rt::Ref<ui::Storyboard> storyboard = ui::Storyboard::storyboardWithName("Main");
    rt::Ref<ui::NavigationController> navigation;

    OnScreen() {
        rt::cast<ft::AppDelegate>(app.delegate())->setWindow(window);
        navigation = rt::cast<ui::NavigationController>(storyboard->instantiateInitialViewController());
        window->setRootViewControllerObject(navigation);
        window->makeKeyAndVisible();
        app.runUntilIdle();
    }
    ~OnScreen() {
        navigation = nullptr;
        rt::cast<ft::AppDelegate>(app.delegate())->setWindow(nullptr);
        window = nullptr;
    }
    static rt::Ref<ft::TestBaseModel> item(const char* screen) {
        auto made = ft::TestBaseModel::make();
        made->setName(ns::String::make(screen));
        made->setTitle(ns::String::make("Water damage"));
        made->setMessage(ns::String::make(kLongText));
        made->setQuestion(ns::String::make(kShortText));
        made->setIcon(ns::String::make("icono_ldi_sticker"));
        return made;
    }
    template <class Screen> rt::Ref<Screen> push(const char* identifier, const char* screen) {
        auto controller = rt::cast<Screen>(storyboard->instantiateViewControllerWithIdentifier(identifier));
        if (!controller) return nullptr;
        if constexpr (std::is_same_v<Screen, ft::ReadyStartViewController>)
            controller->setDoItems(ns::Array::make(std::vector<rt::Id>{item(screen)}));
        else
            controller->setInfo(item(screen));
        navigation->pushViewController(controller, false);
        app.runUntilIdle();
        return controller;
    }
};

void BM_QuestionScreenLayout(benchmark::State& state) {
    OnScreen screen;
    auto question =
        screen.push<ft::QuestionViewController>("QuestionViewController", "QuestionViewController");
    if (!question) {
        state.SkipWithError("no question screen");
        return;
    }
    auto label = question->questionLabel();
    bool longText = false;
    for (auto _ : state) {
        longText = !longText;
        label->setText(ns::String::make(longText ? kLongText : kShortText));
        screen.window->layoutIfNeeded();
    }
}
BENCHMARK(BM_QuestionScreenLayout)->Unit(benchmark::kMicrosecond);

void BM_RunnerScreenLayout(benchmark::State& state) {
    OnScreen screen;
    auto runner =
        screen.push<ft::ReadyStartViewController>("ReadyStartViewController", "WaterDamgeViewController");
    if (!runner) {
        state.SkipWithError("no runner");
        return;
    }
    bool longText = false;
    for (auto _ : state) {
        longText = !longText;
        runner->setTestGuideWithString(ns::String::make(longText ? kLongText : kShortText));
        runner->view()->setNeedsLayout();
        screen.window->layoutIfNeeded();
    }
}
BENCHMARK(BM_RunnerScreenLayout)->Unit(benchmark::kMicrosecond);

// The results screen of a run of 40 failed items on screen.
struct ResultsOnScreen : OnScreen {
    ResultsOnScreen() {
        auto results = storyboard->instantiateViewControllerWithIdentifier("ResultViewController");
        std::vector<rt::Id> items;
        for (int i = 0; i < 40; ++i) {
            auto made = item("WaterDamgeViewController");
            made->setTitle(ns::String::make("Water damage " + std::to_string(i)));
            made->setSuccess(2);
            items.push_back(made);
        }
        ns::setValueForKey(results, ns::Array::make(items), "list");
        navigation->pushViewController(rt::cast<ui::ViewController>(results), false);
        app.runUntilIdle();
    }
};

void BM_ResultsScreenPicture(benchmark::State& state) {
    ResultsOnScreen screen;
    for (auto _ : state)
        benchmark::DoNotOptimize(ui::screenPicture(*screen.window));
}
BENCHMARK(BM_ResultsScreenPicture)->Unit(benchmark::kMillisecond);

// The main thread's part of a picture in the main job: the screen recorded.
void BM_ResultsScreenRecording(benchmark::State& state) {
    ResultsOnScreen screen;
    for (auto _ : state)
        benchmark::DoNotOptimize(ui::recordScreen(*screen.window));
}
BENCHMARK(BM_ResultsScreenRecording)->Unit(benchmark::kMillisecond);

void BM_ResultsScreenPictureFile(benchmark::State& state) {
    ResultsOnScreen screen;
    const std::string path = screen.app.scratchFolder() + "/results.png";
    for (auto _ : state)
        if (ui::writeScreenPicture(*screen.window, path)) state.SkipWithError("the picture was not written");
}
BENCHMARK(BM_ResultsScreenPictureFile)->Unit(benchmark::kMillisecond);

void BM_ImageNamedCached(benchmark::State& state) {
    testkit::AppFixture app;
    benchmark::DoNotOptimize(ui::Image::imageNamed("icon_run_n"));
    for (auto _ : state)
        benchmark::DoNotOptimize(ui::Image::imageNamed("icon_run_n"));
}
BENCHMARK(BM_ImageNamedCached)->Unit(benchmark::kNanosecond);

} // namespace
