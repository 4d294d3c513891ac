// Table views: reloadData of a 40-row table whose cells are all reused, as a screen's reload after
// a change of its items; the data source dequeues each cell and writes its label, the delegate
// sizes every row. And a form's tree as its table reads it: every row's index path, a look-up by
// key, a cached appearance, a label row's cell reused, filled and laid out; a form table's reload
// of 1,000 to 100,000 rows bound from items. The entry rows:
// keystrokes (plain, autocomplete, decimal), the row layout, and binding a cell. Forms from data: a
// 200-element form (about 1,200 properties, names mapped and strings translated) built from a
// dictionary and from a 40 KB file, 200 values bound, read back through bindings and by key, and
// a template iterated over 1,000 items. The choice and date rows: a tap on an option, opening a
// radio list, preparing a date cell, toggling an inline picker. The simple rows' reload (a new cell
// on every call), a multiline keystroke, and scaling a picked picture. And a form's whole round trip
// from its file through the tester's driver and back.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/ui/forms/round_trip_steps.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/auto_entry_element.h"
#include "ui/forms/elements/autocomplete_text_field.h"
#include "ui/forms/elements/badge_element.h"
#include "ui/forms/elements/boolean_element.h"
#include "ui/forms/elements/date_cells.h"
#include "ui/forms/elements/date_time_elements.h"
#include "ui/forms/elements/decimal_element.h"
#include "ui/forms/elements/entry_element.h"
#include "ui/forms/elements/float_element.h"
#include "ui/forms/elements/image_element.h"
#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/elements/radio_elements.h"
#include "ui/forms/elements/select_section.h"
#include "ui/forms/elements/table_view_cell.h"
#include "ui/forms/elements/text_element.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/root_builder.h"
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

// A section that makes a label row for each item it is bound to ("iterate:self").
rt::Ref<fm::Section> labelTemplateSection() {
    auto section = rt::make<fm::Section>();
    section->setBind(ns::str("iterate:self"));
    section->setElementTemplate(rt::cast<ns::Dictionary>(ns::JSONSerialization::JSONObjectWithData(
        R"({"type": "FMLabelElement", "bind": "title:self"})")));
    return section;
}
// "Item 0", "Item 1", ...
rt::Ref<ns::Array> numberedItems(long count) {
    std::vector<rt::Id> items;
    for (long i = 0; i < count; ++i)
        items.push_back(ns::str("Item " + std::to_string(i)));
    return ns::Array::make(std::move(items));
}

// A form of one section of label rows made by a template from `range(0)` items, reloaded: every
// row's height is asked for, a screenful of cells made.
void FormTableReloadOfBoundRows(benchmark::State& state) {
    auto section = labelTemplateSection();
    section->bindToObject(numberedItems(state.range(0)));
    auto root = rt::make<fm::RootElement>();
    root->addSection(section);
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    for (auto _ : state)
        table->reloadData();
    state.counters["rows"] = static_cast<double>(table->numberOfRowsInSection(0));
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormTableReloadOfBoundRows)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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

// ---- Entry rows ----------------------------------------------------------------------------------
// Each keystroke benchmark types one character and deletes it again: two keystrokes an iteration.

// A form of one section of `rows` entry rows titled by their number, in a 320 x 568 table.
rt::Ref<fm::FormTableView> entryForm(std::vector<rt::Ref<fm::EntryElement>> rows, int sections = 1) {
    auto root = rt::make<fm::RootElement>();
    const std::size_t each = rows.size() / static_cast<std::size_t>(sections);
    for (int s = 0; s < sections; ++s) {
        auto section = rt::make<fm::Section>();
        for (std::size_t r = 0; r < each; ++r)
            section->addElement(rows[static_cast<std::size_t>(s) * each + r]);
        root->addSection(section);
    }
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    table->reloadData();
    return table;
}

std::vector<rt::Ref<fm::EntryElement>> entryRows(int count) {
    std::vector<rt::Ref<fm::EntryElement>> rows;
    for (int r = 0; r < count; ++r)
        rows.push_back(rt::make<fm::EntryElement>(ns::str("Title " + std::to_string(r * 7)), ns::str(""), nullptr));
    return rows;
}

template <class Field>
void typeAndDelete(benchmark::State& state, Field& field, std::string_view key) {
    for (auto _ : state) {
        field.insertText(key);
        field.deleteBackward();
    }
    state.SetItemsProcessed(2 * state.iterations());
}

void EntryKeystroke(benchmark::State& state) {
    auto element = rt::make<fm::EntryElement>(ns::str("Name"), ns::str("Jane Do"), nullptr);
    element->setMaxLength(40);
    long changes = 0;
    element->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    auto table = entryForm({element});
    auto field = rt::downcast<fm::EntryTableViewCell>(table->cellForElement(element))->textField();
    field->becomeFirstResponder();
    typeAndDelete(state, *field, "e");
    field->resignFirstResponder();
    benchmark::DoNotOptimize(changes);
    fm::Element::removeClassAppearances();
}
BENCHMARK(EntryKeystroke);

// No candidate of the thousand begins with the text, so every keystroke reads them all.
void EntryAutocompleteKeystrokeOverAThousandCandidates(benchmark::State& state) {
    auto element = rt::make<fm::AutoEntryElement>(ns::str("Model"), ns::str(""), nullptr);
    std::vector<rt::Id> candidates;
    for (int c = 0; c < 1000; ++c)
        candidates.push_back(ns::str("Handset model " + std::to_string(c)));
    element->setAutoCompleteValues(ns::Array::make(std::move(candidates)));
    auto table = entryForm({element});
    auto cell = rt::downcast<fm::AutoEntryTableViewCell>(table->cellForElement(element));
    cell->becomeFirstResponder();
    auto field = cell->autoCompleteField();
    field->insertText("hands");
    typeAndDelete(state, *field, "x");
    field->resignFirstResponder();
    fm::Element::removeClassAppearances();
}
BENCHMARK(EntryAutocompleteKeystrokeOverAThousandCandidates);

void EntryDecimalKeystroke(benchmark::State& state) {
    auto element = rt::make<fm::DecimalElement>();
    element->setFractionDigits(2);
    auto table = entryForm({element});
    auto field = rt::downcast<fm::DecimalTableViewCell>(table->cellForElement(element))->textField();
    field->becomeFirstResponder();
    field->insertText("1");
    field->insertText("2");
    field->insertText("3");
    typeAndDelete(state, *field, "4");
    field->resignFirstResponder();
    fm::Element::removeClassAppearances();
}
BENCHMARK(EntryDecimalKeystroke);

// The rows that show in 568 points of a section of fifty, each measuring every title of it.
void EntryLayoutOfTheVisibleCellsOfFiftyRows(benchmark::State& state) {
    auto rows = entryRows(50);
    auto table = entryForm(rows);
    std::vector<rt::Ref<ui::TableViewCell>> visible;
    for (const auto& row : rows)
        if (auto cell = table->cellForElement(row); cell && cell->frame().minY() < 568) visible.push_back(cell);
    for (auto _ : state)
        for (const auto& cell : visible) {
            cell->setNeedsLayout();
            cell->layoutIfNeeded();
        }
    state.counters["cells"] = static_cast<double>(visible.size());
    fm::Element::removeClassAppearances();
}
BENCHMARK(EntryLayoutOfTheVisibleCellsOfFiftyRows)->Unit(benchmark::kMicrosecond);

// A cell bound to the middle row of ten sections of twenty: a new toolbar, two focus searches.
void EntryBindACellInAFormOfTwoHundred(benchmark::State& state) {
    auto rows = entryRows(200);
    auto table = entryForm(rows, 10);
    table->scrollToRowAtIndexPath(rows[100]->getIndexPath(), 0, false); // only rows on screen have cells
    auto cell = rt::downcast<fm::EntryTableViewCell>(table->cellForElement(rows[100]));
    for (auto _ : state)
        cell->prepareForElement(rows[100], table);
    fm::Element::removeClassAppearances();
}
BENCHMARK(EntryBindACellInAFormOfTwoHundred);

// ---- Forms from data ----------------------------------------------------------------------------
// A form of 200 elements in 4 sections, six properties each: "type" aside, a title and a key to
// translate, a binding, a height, an enumerated accessory, a hidden flag.
std::string formBenchText(std::size_t titlePadding) {
    const std::string padding(titlePadding, 'x');
    std::string text = R"({"title": "Form", "sections": [)";
    for (int s = 0; s < 4; ++s) {
        text += std::string(s ? "," : "") + R"({"title": "Section", "elements": [)";
        for (int e = 0; e < 50; ++e) {
            const std::string n = std::to_string(s * 50 + e);
            text += std::string(e ? "," : "") + R"({"type": "FMLabelElement", "title": "Title )" + padding + n +
                    R"(", "key": "k)" + n + R"(", "bind": "title:v)" + n +
                    R"(", "height": 44, "accessoryType": "DisclosureIndicator", "hidden": false})";
        }
        text += "]}";
    }
    return text + "]}";
}

void FormBuildTwoHundredElementsFromADictionary(benchmark::State& state) {
    const rt::Id form = ns::JSONSerialization::JSONObjectWithData(formBenchText(0));
    auto builder = rt::make<fm::RootBuilder>();
    for (auto _ : state)
        benchmark::DoNotOptimize(builder->buildWithObject(form));
}
BENCHMARK(FormBuildTwoHundredElementsFromADictionary)->Unit(benchmark::kMicrosecond);

void FormBuildTwoHundredElementsFromAFortyKilobyteFile(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / "table-view-bench-forms";
    std::filesystem::create_directories(folder);
    const std::string text = formBenchText(60);
    std::ofstream(folder / "form.json") << text;
    ns::Bundle::setMainBundlePath(folder);
    state.counters["bytes"] = double(text.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(fm::RootElement::initWithJSONFile("form"));
    ns::Bundle::setMainBundlePath("");
    std::filesystem::remove_all(folder);
}
BENCHMARK(FormBuildTwoHundredElementsFromAFortyKilobyteFile)->Unit(benchmark::kMicrosecond);

// The 200-element form and a dictionary with a value for each binding.
struct FormBenchBound {
    rt::Ref<fm::RootElement> root =
        rt::make<fm::RootBuilder>()->buildWithObject(ns::JSONSerialization::JSONObjectWithData(formBenchText(0)));
    rt::Ref<ns::MutableDictionary> data = [] {
        auto values = ns::MutableDictionary::make();
        for (int i = 0; i < 200; ++i)
            values->setObjectForKey(ns::str("Value " + std::to_string(i)), "v" + std::to_string(i));
        return values;
    }();
};

void FormBindTwoHundredValues(benchmark::State& state) {
    FormBenchBound form;
    for (auto _ : state)
        form.root->bindToObject(form.data);
}
BENCHMARK(FormBindTwoHundredValues)->Unit(benchmark::kMicrosecond);

void FormFetchTwoHundredValuesThroughBindings(benchmark::State& state) {
    FormBenchBound form;
    form.root->bindToObject(form.data);
    for (auto _ : state) {
        auto back = ns::MutableDictionary::withCapacity(200);
        form.root->fetchValueUsingBindingsIntoObject(back);
        benchmark::DoNotOptimize(back);
    }
}
BENCHMARK(FormFetchTwoHundredValuesThroughBindings)->Unit(benchmark::kMicrosecond);

void FormFetchTwoHundredValuesByKey(benchmark::State& state) {
    auto root = rt::make<fm::RootElement>();
    for (int s = 0; s < 4; ++s) {
        auto section = rt::make<fm::Section>();
        for (int e = 0; e < 50; ++e) {
            auto text = rt::make<fm::TextElement>(ns::str("Text " + std::to_string(e)));
            text->setKey(ns::str("k" + std::to_string(s * 50 + e)));
            section->addElement(text);
        }
        root->addSection(section);
    }
    for (auto _ : state) {
        auto back = ns::MutableDictionary::withCapacity(200);
        root->fetchValueIntoObject(back);
        benchmark::DoNotOptimize(back);
    }
}
BENCHMARK(FormFetchTwoHundredValuesByKey)->Unit(benchmark::kMicrosecond);

void FormIterateATemplateOverAThousandItems(benchmark::State& state) {
    auto section = labelTemplateSection();
    const auto collection = numberedItems(1000);
    for (auto _ : state)
        section->bindToObject(collection);
}
BENCHMARK(FormIterateATemplateOverAThousandItems)->Unit(benchmark::kMicrosecond);

// ---- Choice and date rows -----------------------------------------------------------------------

rt::Ref<ns::Array> hundredItems() {
    std::vector<rt::Id> items;
    for (int i = 0; i < 100; ++i)
        items.push_back(ns::str("Option " + std::to_string(i)));
    return ns::Array::make(std::move(items));
}

// A tap on an option row of a 100-item single-choice section: the mark moves between rows 0 and 1.
void SelectTapOnAHundredItemSection(benchmark::State& state) {
    auto root = rt::make<fm::RootElement>();
    root->addSection(rt::make<fm::SelectSection>(hundredItems(), static_cast<std::size_t>(0)));
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    table->reloadData();
    long row = 1;
    for (auto _ : state) {
        table->tapRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0));
        row = 1 - row;
    }
    fm::Element::removeClassAppearances();
}
BENCHMARK(SelectTapOnAHundredItemSection);

// A 100-item radio list opened: its rows built, its controller and table loaded, pushed without
// animation (popped untimed).
void RadioOpenAHundredItemList(benchmark::State& state) {
    auto first = rt::make<fm::FormController>(formOfTwoHundredRows());
    auto navigation = ui::NavigationController::withRootViewController(first);
    const auto items = hundredItems();
    for (auto _ : state) {
        auto radio = rt::make<fm::RadioElement>(items, 50, ns::str("Pick"));
        auto controller = first->makeControllerForRoot(radio);
        controller->view();
        navigation->pushViewController(controller, false);
        state.PauseTiming();
        navigation->popViewControllerAnimated(false);
        state.ResumeTiming();
    }
    fm::Element::removeClassAppearances();
}
BENCHMARK(RadioOpenAHundredItemList)->Unit(benchmark::kMicrosecond);

// A date cell prepared again for its element (date and time, the picker as keyboard).
void DatePrepareTheEntryCell(benchmark::State& state) {
    auto element = rt::make<fm::DateTimeInlineElement>(ns::str("When"), ns::Date::now(), 2);
    std::vector<rt::Ref<fm::EntryElement>> rows{element};
    auto table = entryForm(rows);
    auto cell = rt::downcast<fm::DateEntryTableViewCell>(table->cellForElement(element));
    for (auto _ : state)
        cell->prepareForElement(element, table);
    fm::Element::removeClassAppearances();
}
BENCHMARK(DatePrepareTheEntryCell);

// An inline picker in a 200-row form opened and closed: two toggles an iteration, each closing the
// visible pickers and recomputing the row heights. The other rows are plain, so that the figure is
// the toggle's and the heights' (the table's update also prepares the visible cells again, which
// for entry rows costs their focus searches).
void DateToggleAnInlinePickerInTwoHundredRows(benchmark::State& state) {
    auto root = formOfTwoHundredRows();
    auto element = rt::make<fm::DateTimeInlineElement>(ns::str("When"), ns::Date::now(), 2);
    element->setShowPickerInCell(true);
    root->getSectionForIndex(0)->insertElementAtIndex(element, 0);
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    table->reloadData();
    for (auto _ : state)
        element->performAction();
    fm::Element::removeClassAppearances();
}
BENCHMARK(DateToggleAnInlinePickerInTwoHundredRows)->Unit(benchmark::kMicrosecond);

// ---- Simple, multiline and image rows ------------------------------------------------------------

// Badge, boolean and float rows make a new cell on every call: a reload makes the ones on screen.
void FormReloadOfTwoHundredSimpleRows(benchmark::State& state) {
    auto root = rt::make<fm::RootElement>();
    for (int s = 0; s < 10; ++s) {
        auto section = rt::make<fm::Section>();
        for (int r = 0; r < 20; ++r) {
            const auto title = ns::str("Row " + std::to_string(r));
            if (r % 3 == 0) section->addElement(rt::make<fm::BadgeElement>(title, ns::str("12")));
            else if (r % 3 == 1) section->addElement(rt::make<fm::BooleanElement>(title, true));
            else section->addElement(rt::make<fm::FloatElement>(title, 0.5f));
        }
        root->addSection(section);
    }
    auto table = rt::make<fm::FormTableView>(rt::Ref<ui::ViewController>(), root);
    table->setFrame(cg::Rect::make(0, 0, 320, 568));
    for (auto _ : state) {
        table->reloadData();
        table->layoutIfNeeded();
    }
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormReloadOfTwoHundredSimpleRows)->Unit(benchmark::kMicrosecond);

// Counts the editing-changed calls of the multiline editor.
class BenchMultilineDelegate : public rt::Object {
    RT_CLASS(BenchMultilineDelegate)
public:
    long changes = 0;
    void editingChanged(const rt::Id&, const rt::Id&) { ++changes; }
};

} // namespace

RT_DEFINE_CLASS(BenchMultilineDelegate, "BenchMultilineDelegate", rt::Object,
                rt::method("FMEntryEditingChangedForElement:andCell:", &BenchMultilineDelegate::editingChanged))

namespace {

// One keystroke in the multiline editor: asked, taken into the text view and the element, told.
void FormMultilineKeystroke(benchmark::State& state) {
    auto element = rt::make<fm::MultilineElement>();
    auto delegate = rt::make<BenchMultilineDelegate>();
    element->setDelegate(delegate);
    auto editor = rt::make<fm::MultilineTextViewController>(ns::str("Note"));
    editor->setEntryElement(element);
    const auto& view = editor->textView();
    view->setText(ns::str(std::string(200, 'a')));
    const auto key = ns::str("b");
    for (auto _ : state) {
        const ns::Range end{view->text()->length(), 0};
        if (editor->textViewShouldChangeText(view, end, key)) {
            view->setText(view->text()->stringByAppendingString(*key));
            editor->textViewDidChange(view);
        }
        if (view->text()->length() > 400) view->setText(ns::str(std::string(200, 'a')));
    }
    benchmark::DoNotOptimize(delegate->changes);
}
BENCHMARK(FormMultilineKeystroke);

// A picked 3000 by 2000 picture drawn down to 600 by 400.
void FormImageScaledDownOnPick(benchmark::State& state) {
    auto element = rt::make<fm::ImageElement>();
    element->setImageMaxLength(600);
    const auto picked = ui::Image::imageWithSize({3000, 2000});
    auto info = ns::MutableDictionary::make();
    info->setObjectForKey(picked, ui::UIImagePickerControllerOriginalImage);
    for (auto _ : state)
        element->imagePickerDidFinishPicking(nullptr, info);
    if (element->imageValue()->size().width != 600) state.SkipWithError("not scaled to 600");
}
BENCHMARK(FormImageScaledDownOnPick)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The whole round trip of a form file of about 20 rows: the tree built from the file and bound to the data
// file's dictionary, shown in a navigation controller, filled by the tester's driver (about 40
// driver steps in virtual time: typing, a completion, a switch, a slider, a radio list, an inline
// date, a countdown, a multiline screen, a nested root, a button, select taps, a moved row) and
// fetched back into a dictionary. The application fixture is made once.
void FormRoundTripEndToEnd(benchmark::State& state) {
    testkit::AppFixture app;
    ns::Bundle::setMainBundlePath(FT_FORMS_TEST_BUNDLE);
    auto window = rt::make<ui::Window>();
    window->makeKeyAndVisible();
    for (auto _ : state) {
        forms_test::RoundTripSteps steps(app, window);
        const auto data = forms_test::RoundTripSteps::dataFromFile();
        if (!data || !steps.show(data) || !steps.fill()) {
            state.SkipWithError(("the round trip stopped at " + steps.failure()).c_str());
            break;
        }
        auto fetched = ns::MutableDictionary::make();
        steps.form()->fetchValueIntoObject(fetched);
        steps.form()->fetchValueUsingBindingsIntoObject(data);
        benchmark::DoNotOptimize(fetched->count());
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        window->setRootViewControllerObject(nullptr);
    }
    window = nullptr;
    fm::Element::removeClassAppearances();
}
BENCHMARK(FormRoundTripEndToEnd)->Unit(benchmark::kMillisecond);

} // namespace
