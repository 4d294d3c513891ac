// Navigation: a push and a pop without animation on a navigation controller shown in a window,
// each with its appearance calls (four per transition), for a controller pushed again and again
// and for a fresh controller each time (which also loads its view).

#include <benchmark/benchmark.h>

#include "platform/runtime/class.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/window.h"

namespace {

class CountingController : public ui::ViewController {
    RT_CLASS(CountingController)
public:
    long calls = 0;

protected:
    CountingController() = default;
    void viewDidLoadBody() override { ++calls; }
    void viewWillAppearBody(bool) override { ++calls; }
    void viewDidAppearBody(bool) override { ++calls; }
    void viewWillDisappearBody(bool) override { ++calls; }
    void viewDidDisappearBody(bool) override { ++calls; }
};

} // namespace

RT_DEFINE_CLASS(CountingController, "BenchCountingController", ui::ViewController)

namespace {

struct Shown {
    rt::Ref<CountingController> root = rt::make<CountingController>();
    rt::Ref<ui::NavigationController> navigation = ui::NavigationController::withRootViewController(root);
    rt::Ref<ui::Window> window = rt::make<ui::Window>();
    Shown() {
        window->setRootViewControllerObject(navigation);
        window->makeKeyAndVisible();
        root->calls = 0;
    }
};

void BM_PushAndPopWithoutAnimation(benchmark::State& state) {
    Shown shown;
    auto pushed = rt::make<CountingController>();
    pushed->loadViewIfNeeded();
    pushed->calls = 0;
    for (auto _ : state) {
        shown.navigation->pushViewController(pushed, false);
        shown.navigation->popViewControllerAnimated(false);
    }
    const long expected = 4 * static_cast<long>(state.iterations());
    if (shown.root->calls != expected || pushed->calls != expected)
        state.SkipWithError("appearance calls were lost");
}
BENCHMARK(BM_PushAndPopWithoutAnimation);

void BM_PushAndPopAFreshControllerWithoutAnimation(benchmark::State& state) {
    Shown shown;
    for (auto _ : state) {
        auto pushed = rt::make<CountingController>();
        shown.navigation->pushViewController(pushed, false);
        shown.navigation->popViewControllerAnimated(false);
        if (pushed->calls != 5) state.SkipWithError("appearance calls were lost");
    }
}
BENCHMARK(BM_PushAndPopAFreshControllerWithoutAnimation);

} // namespace
