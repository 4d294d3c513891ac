// The root test list on the default simulated iPhone in a scratch home: building the catalogue
// (profile read, device checks run), loading the list with its first reload, and one tick reaching
// the play button's visibility.

#include <benchmark/benchmark.h>

#include "platform/foundation/index_path.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "session/root_table_view_controller.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

testkit::AppOptions listOptions() {
    testkit::AppOptions options;
    options.delegateClass = "AppDelegate";
    return options;
}

void BM_CatalogueBuild(benchmark::State& state) {
    testkit::AppFixture app(listOptions());
    rt::cast<ft::AppDelegate>(app.delegate())->setWindow(rt::make<ui::Window>());
    ft::Utility::generateWifiOnlyDataFileIfNecessary();
    for (auto _ : state) {
        auto list = ft::RootTableViewController::make();
        benchmark::DoNotOptimize(list->itemList());
    }
}
BENCHMARK(BM_CatalogueBuild);

// The storyboard's list in its navigation controller, made the root of a fresh window.
rt::Ref<ft::RootTableViewController> showList(rt::Ref<ui::Window>& window) {
    window = rt::make<ui::Window>();
    auto navigation = rt::cast<ui::NavigationController>(
        ui::Storyboard::storyboardWithName("Main")->instantiateInitialViewController());
    auto list = rt::cast<ft::RootTableViewController>(navigation->topViewController());
    window->setRootViewControllerObject(navigation);
    window->makeKeyAndVisible();
    return list;
}

// Load with the first reload: the catalogue, the play-visibility pipeline and the 42 cells.
void BM_ListLoad(benchmark::State& state) {
    testkit::AppFixture app(listOptions());
    auto delegate = rt::cast<ft::AppDelegate>(app.delegate());
    ft::Utility::generateWifiOnlyDataFileIfNecessary();
    long rows = 0;
    for (auto _ : state) {
        rt::Ref<ui::Window> window;
        auto list = showList(window);
        delegate->setWindow(window);
        rows = list->tableView()->numberOfRowsInSection(0);
        for (long row = 0; row < rows; ++row)
            benchmark::DoNotOptimize(
                list->tableView()->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0)));
        state.PauseTiming();
        delegate->setWindow(nullptr);
        window = nullptr;
        list = nullptr;
        app.runUntilIdle();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ListLoad)->Unit(benchmark::kMicrosecond);

// One item's tick toggled, through the pipeline to the play button's hidden flag.
void BM_TickToPlayVisibility(benchmark::State& state) {
    testkit::AppFixture app(listOptions());
    auto delegate = rt::cast<ft::AppDelegate>(app.delegate());
    rt::Ref<ui::Window> window;
    auto list = showList(window);
    delegate->setWindow(window);
    app.runUntilIdle();
    rt::Ref<ft::TestBaseModel> item;
    for (const rt::Id& entry : *list->itemList())
        if ((item = rt::cast<ft::TestBaseModel>(entry))) break;
    bool selected = item->selected();
    for (auto _ : state) {
        selected = !selected;
        item->setSelected(selected);
        if (list->play()->isHidden() == selected) state.SkipWithError("play did not follow the tick");
    }
    delegate->setWindow(nullptr);
}
BENCHMARK(BM_TickToPlayVisibility);

} // namespace
