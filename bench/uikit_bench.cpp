// The UIKit stand-in: setting up (and tearing down) the application fixture, and a tap through a
// control's target-action: the action sent by name to one target, from sendActionsForControlEvents
// and from a whole touch (began, ended, touch-up-inside).

#include <benchmark/benchmark.h>

#include <optional>

#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/uikit/button.h"
#include "platform/uikit/event.h"
#include "platform/uikit/touch.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

class TapCounter : public rt::Object {
    RT_CLASS(TapCounter)
public:
    void tapped(const rt::Id&, const rt::Id&) { ++count; }
    long count = 0;

private:
    TapCounter() = default;
};

} // namespace

RT_DEFINE_CLASS(TapCounter, "BenchTapCounter", rt::Object, rt::method("tapped:forEvent:", &TapCounter::tapped))

namespace {

void BM_AppFixtureSetUp(benchmark::State& state) {
    for (auto _ : state) {
        std::optional<testkit::AppFixture> app;
        app.emplace(testkit::AppOptions{.device = "iphone_xr"});
        benchmark::DoNotOptimize(app->app().get());
        state.PauseTiming();
        app.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AppFixtureSetUp)->Unit(benchmark::kMicrosecond);

void BM_AppFixtureSetUpAndTearDown(benchmark::State& state) {
    for (auto _ : state) {
        testkit::AppFixture app({.device = "iphone_xr"});
        benchmark::DoNotOptimize(app.app().get());
    }
}
BENCHMARK(BM_AppFixtureSetUpAndTearDown)->Unit(benchmark::kMicrosecond);

struct TapScene {
    rt::Ref<ui::Button> button = rt::make<ui::Button>(cg::Rect::make(10, 10, 100, 44));
    rt::Ref<TapCounter> target = rt::make<TapCounter>();
    TapScene() {
        button->addTargetActionForControlEvents(target, rt::Sel("tapped:forEvent:"), ui::ControlEvent::TouchUpInside);
    }
};

void BM_TapThroughTargetAction(benchmark::State& state) {
    TapScene scene;
    for (auto _ : state)
        scene.button->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);
    if (scene.target->count != static_cast<long>(state.iterations())) state.SkipWithError("taps were lost");
}
BENCHMARK(BM_TapThroughTargetAction);

void BM_TapWithTouches(benchmark::State& state) {
    TapScene scene;
    auto touch = ui::Touch::make(scene.button, {60, 32}, ui::TouchPhase::Began);
    auto event = ui::Event::withTouches({touch});
    auto touches = event->allTouches();
    for (auto _ : state) {
        touch->setPhase(ui::TouchPhase::Began);
        scene.button->touchesBegan(touches, event);
        touch->setPhase(ui::TouchPhase::Ended);
        scene.button->touchesEnded(touches, event);
    }
    if (scene.target->count != static_cast<long>(state.iterations())) state.SkipWithError("taps were lost");
}
BENCHMARK(BM_TapWithTouches);

} // namespace
