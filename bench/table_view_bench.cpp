// Table views: reloadData of a 40-row table whose cells are all reused, as a screen's reload after
// a change of its items; the data source dequeues each cell and writes its label, the delegate
// sizes every row.

#include <benchmark/benchmark.h>

#include "platform/foundation/index_path.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"

namespace {

constexpr long kRows = 40;

class Items : public rt::Object {
    RT_CLASS(Items)
public:
    rt::Ref<ns::String> identifier = ns::str("reuseCell");
    std::vector<rt::Ref<ns::String>> titles;

    long rows(const rt::Id&, long) { return kRows; }
    double height(const rt::Id&, const rt::Ref<ns::IndexPath>& path) { return path->row() % 8 == 0 ? 40 : 70; }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>& path) {
        auto cell = rt::downcast<ui::TableView>(table)->dequeueReusableCellWithIdentifierForIndexPath(identifier, path);
        cell->textLabel()->setText(titles[static_cast<std::size_t>(path->row())]);
        return cell;
    }
};
RT_DEFINE_CLASS(Items, "TableBenchItems", rt::Object, rt::method("tableView:numberOfRowsInSection:", &Items::rows),
                rt::method("tableView:heightForRowAtIndexPath:", &Items::height),
                rt::method("tableView:cellForRowAtIndexPath:", &Items::cell))

void ReloadFortyReusedRows(benchmark::State& state) {
    auto items = rt::make<Items>();
    for (long row = 0; row < kRows; ++row)
        items->titles.push_back(ns::str("Test item " + std::to_string(row)));
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 375, 667));
    table->registerClassForCellReuseIdentifier(&ui::TableViewCell::staticClass(), items->identifier);
    table->setDataSource(items);
    table->setDelegate(items);
    table->reloadData(); // makes the cells; every later reload reuses them
    for (auto _ : state)
        table->reloadData();
    benchmark::DoNotOptimize(table->contentSize());
    state.counters["rows"] = static_cast<double>(table->numberOfRowsInSection(0));
}
BENCHMARK(ReloadFortyReusedRows)->Unit(benchmark::kMicrosecond);

} // namespace
