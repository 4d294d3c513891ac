// The root test list's catalogue: building the list of tests for the installed device, with the
// profile read and the device checks run, on the default simulated iPhone in a scratch home.

#include <benchmark/benchmark.h>

#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/utility.h"
#include "session/root_table_view_controller.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

void BM_CatalogueBuild(benchmark::State& state) {
    testkit::AppOptions options;
    options.delegateClass = "AppDelegate";
    testkit::AppFixture app(std::move(options));
    rt::cast<ft::AppDelegate>(app.delegate())->setWindow(rt::make<ui::Window>());
    ft::Utility::generateWifiOnlyDataFileIfNecessary();
    for (auto _ : state) {
        auto list = ft::RootTableViewController::make();
        benchmark::DoNotOptimize(list->itemList());
    }
}
BENCHMARK(BM_CatalogueBuild);

} // namespace
