// Table views: reloadData of a 40-row table whose cells are all reused, as a screen's reload after
// a change of its items; the data source dequeues each cell and writes its label, the delegate
// sizes every row. And a form's tree as its table reads it: every row's index path, a look-up by
// key, a cached appearance, a label row's cell reused, filled and laid out.

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/window.h"
#include "ui/forms/appearance.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/table_view_cell.h"
#include "ui/forms/section.h"

namespace {

constexpr long kRows = 40;

class Items : public rt::Object {
    RT_CLASS(Items)
public:
    rt::Ref<ns::String> identifier = ns::str("reuseCell");
    std::vector<rt::Ref<ns::String>> titles;

    long rows(const rt::Id&, long) { return kRows; }
    double height(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        return path->row() % 8 == 0 ? 40 : 70;
    }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>& path) {
        auto cell = rt::downcast<ui::TableView>(table)->dequeueReusableCellWithIdentifierForIndexPath(
            identifier, path);
        cell->textLabel()->setText(titles[static_cast<std::size_t>(path->row())]);
        return cell;
    }
};
RT_DEFINE_CLASS(Items, "TableBenchItems", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &Items::rows),
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

// Ten sections of twenty elements, keyed "k0" to "k199" in order.
rt::Ref<fm::RootElement> formOfTwoHundred() {
    auto root = rt::make<fm::RootElement>();
    for (int s = 0; s < 10; ++s) {
        auto section = rt::make<fm::Section>();
        for (int e = 0; e < 20; ++e)
            section->addElement(rt::make<fm::Element>(ns::str("k" + std::to_string(s * 20 + e))));
        root->addSection(section);
    }
    return root;
}

void FormIndexPathsOfTwoHundredRows(benchmark::State& state) {
    auto root = formOfTwoHundred();
    std::vector<rt::Ref<fm::Element>> all;
    for (const auto& section : *root->sections())
        for (const auto& element : *section->elements())
            all.push_back(element);
    for (auto _ : state)
        for (const auto& element : all)
            benchmark::DoNotOptimize(element->getIndexPath());
}
BENCHMARK(FormIndexPathsOfTwoHundredRows)->Unit(benchmark::kMicrosecond);

void FormElementWithTheLastKey(benchmark::State& state) {
    auto root = formOfTwoHundred();
    for (auto _ : state)
        benchmark::DoNotOptimize(root->elementWithKey("k199"));
}
BENCHMARK(FormElementWithTheLastKey)->Unit(benchmark::kMicrosecond);

void FormCachedAppearance(benchmark::State& state) {
    auto element = rt::make<fm::Element>();
    element->appearance(); // falls back to the class appearance once, then keeps it
    for (auto _ : state)
        benchmark::DoNotOptimize(element->appearance());
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormCachedAppearance);

// One label row: each reload puts its cell back in the pool, and the row takes it out again,
// fills it and lays it out.
class FormRow : public rt::Object {
    RT_CLASS(FormRow)
public:
    rt::Ref<fm::LabelElement> element = rt::make<fm::LabelElement>(ns::str("Battery"), ns::str("98%"));
    long rows(const rt::Id&, long) { return 1; }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>&) {
        auto cell = element->getCellForTableView(rt::downcast<ui::TableView>(table), nullptr);
        if (auto formCell = rt::cast<fm::TableViewCell>(cell))
            formCell->layoutSubviewsInsideBounds(formCell->contentView()->bounds());
        return cell;
    }
};
RT_DEFINE_CLASS(FormRow, "TableBenchFormRow", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &FormRow::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &FormRow::cell))

void FormLabelCellReusedFilledAndLaidOut(benchmark::State& state) {
    auto row = rt::make<FormRow>();
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 375, 667));
    table->setDataSource(row);
    table->reloadData(); // makes the cell; every later reload reuses it
    for (auto _ : state)
        table->reloadData();
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormLabelCellReusedFilledAndLaidOut)->Unit(benchmark::kMicrosecond);

// A form of 10 sections of 20 rows, 44 high, in a 320 x 568 table.
rt::Ref<fm::RootElement> formOfTwoHundredRows() {
    auto root = rt::make<fm::RootElement>();
    for (int s = 0; s < 10; ++s) {
        auto section = rt::make<fm::Section>();
        for (int r = 0; r < 20; ++r)
            section->addElement(rt::make<fm::Element>());
        root->addSection(section);
    }
    return root;
}

void FormTableReloadOfTwoHundredRows(benchmark::State& state) {
    auto root = formOfTwoHundredRows();
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    for (auto _ : state)
        table->reloadData();
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormTableReloadOfTwoHundredRows)->Unit(benchmark::kMicrosecond);

// One screen scrolled: the 13 rows on screen go back to the pools and the next 13 take their cells.
void FormTableScrollOneScreen(benchmark::State& state) {
    auto root = formOfTwoHundredRows();
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    table->reloadData();
    double offset = 0;
    for (auto _ : state) {
        offset = offset == 0 ? 13 * 44 : 0;
        table->setContentOffset({0, offset});
    }
    state.counters["cells"] = static_cast<double>(table->visibleCells()->count());
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormTableScrollOneScreen)->Unit(benchmark::kMicrosecond);

// Fifty rows hidden in one batch (checked against the model), then shown again untimed.
void FormHideFiftyRowsInOneBatch(benchmark::State& state) {
    auto root = formOfTwoHundredRows();
    auto controller = rt::make<fm::FormController>(root);
    controller->view();
    std::vector<rt::Ref<fm::Element>> fifty;
    for (int s = 0; s < 10; ++s)
        for (int r = 0; r < 5; ++r)
            fifty.push_back((*root->getSectionForIndex(s)->elements())[static_cast<std::size_t>(r * 4)]);
    for (auto _ : state) {
        controller->hideElements(ui::TableViewRowAnimation::Fade, fifty);
        state.PauseTiming();
        controller->showElements(ui::TableViewRowAnimation::Fade, fifty);
        state.ResumeTiming();
    }
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormHideFiftyRowsInOneBatch)->Unit(benchmark::kMicrosecond);

// A nested form opened: its controller, table and rows, pushed without animation (popped untimed).
void FormOpenNestedForm(benchmark::State& state) {
    auto nested = formOfTwoHundredRows();
    auto first = rt::make<fm::FormController>(formOfTwoHundredRows());
    auto navigation = ui::NavigationController::withRootViewController(first);
    // On screen, so the pushed form gets the screen's size and makes a screenful of rows.
    auto window = rt::make<ui::Window>(cg::Rect::make(0, 0, 320, 568));
    window->setRootViewControllerObject(navigation);
    window->makeKeyAndVisible();
    for (auto _ : state) {
        auto controller = first->makeControllerForRoot(nested);
        controller->view();
        navigation->pushViewController(controller, false);
        state.PauseTiming();
        state.counters["cells"] = static_cast<double>(controller->formTableView()->visibleCells()->count());
        navigation->popViewControllerAnimated(false);
        state.ResumeTiming();
    }
    window->setHidden(true);
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormOpenNestedForm)->Unit(benchmark::kMicrosecond);

} // namespace
