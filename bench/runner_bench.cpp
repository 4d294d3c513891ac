// The runner: a run of 40 scripted automatic screens through the real runner, from the push to
// the results screen, in virtual time (the wall time is what a run costs; items/s gives the cost
// of one item), and measuring a 1,000-character guide.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/foundation/attributed_string.h"
#include "platform/uikit/font.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "session/result_view_controller.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/fake_screens.h"
#include "ui/labels/attributed_label.h"

namespace {

constexpr int kItems = 40;

void BM_RunnerAutomaticRun(benchmark::State& state) {
    testkit::AppFixture app({.delegateClass = "AppDelegate"});
    auto window = rt::make<ui::Window>();
    rt::cast<ft::AppDelegate>(app.delegate())->setWindow(window);
    auto storyboard = ui::Storyboard::storyboardWithName("Main");
    std::vector<std::string> names;
    for (int i = 0; i < kItems; ++i) {
        names.push_back("BenchAutomatic" + std::to_string(i) + "ViewController");
        testkit::registerFakeScreen(*storyboard, names.back(), testkit::FakeScreen::Automatic);
    }
    auto navigation = rt::cast<ui::NavigationController>(storyboard->instantiateInitialViewController());
    window->setRootViewControllerObject(navigation);
    window->makeKeyAndVisible();
    app.runUntilIdle();
    for (auto _ : state) {
        std::vector<rt::Id> items;
        for (const auto& name : names) {
            auto item = ft::TestBaseModel::make();
            item->setName(ns::String::make(name));
            item->setTitle(ns::String::make(name));
            item->setMessage(ns::String::make("Wait while the test runs by itself."));
            item->setIsAuto(true);
            items.push_back(item);
        }
        auto runner = rt::cast<ft::ReadyStartViewController>(
            storyboard->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
        runner->setDoItems(ns::Array::make(items));
        runner->setIsAutoRunning(true);
        navigation->pushViewController(runner, false);
        app.advance(kItems * 2.0);
        if (!rt::cast<ft::ResultViewController>(navigation->topViewController())) {
            state.SkipWithError("the run did not reach the results");
            break;
        }
        state.PauseTiming();
        navigation->popToRootViewControllerAnimated(false);
        app.runUntilIdle();
        testkit::FakeTestScreen::journal().clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    navigation = nullptr;
    rt::cast<ft::AppDelegate>(app.delegate())->setWindow(nullptr);
    window = nullptr;
}
BENCHMARK(BM_RunnerAutomaticRun)->Unit(benchmark::kMillisecond);

void BM_RunnerGuideMeasure(benchmark::State& state) {
    std::string text;
    while (text.size() < 1000) text += "Hold the device still and press the button. ";
    text.resize(1000);
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ui::Font::systemFontOfSize(15.0), ns::FontAttributeName);
    auto guide = ns::AttributedString::make(text, attributes);
    for (auto _ : state)
        benchmark::DoNotOptimize(tl::AttributedLabel::sizeThatFitsAttributedString(guide, {365, 3.4e38}, 0));
}
BENCHMARK(BM_RunnerGuideMeasure)->Unit(benchmark::kMicrosecond);

} // namespace
