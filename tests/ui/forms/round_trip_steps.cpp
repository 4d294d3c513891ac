#include "tests/ui/forms/round_trip_steps.h"

#include <fstream>
#include <iterator>

#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/window.h"
#include "tester/driver.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/forms/elements/auto_entry_element.h"
#include "ui/forms/elements/autocomplete_text_field.h"
#include "ui/forms/elements/date_cells.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/float_element.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

RT_DEFINE_CLASS(forms_test::RoundTripController, "RoundTripController", fm::FormController,
                rt::method("send:", &forms_test::RoundTripController::send))

namespace forms_test {

rt::Ref<ns::MutableDictionary> RoundTripSteps::dataFromFile() {
    std::ifstream file(ns::Bundle::mainBundle()->bundlePath() + "/round_trip_data.json");
    const std::string json{std::istreambuf_iterator<char>(file), {}};
    auto data = rt::cast<ns::MutableDictionary>(
        ns::JSONSerialization::JSONObjectWithData(json, ns::JSONReadingOptions::MutableContainers));
    const auto when = data ? rt::cast<ns::Number>(data->objectForKey("when")) : nullptr;
    if (!when) return nullptr;
    data->setObjectForKey(ns::Date::withTimeIntervalSince1970(when->doubleValue()), ns::str("when"));
    return data;
}

RoundTripSteps::RoundTripSteps(testkit::AppFixture& app, rt::Ref<ui::Window> window)
    : app_(app), window_(std::move(window)) {}

RoundTripSteps::~RoundTripSteps() = default;

bool RoundTripSteps::check(bool ok, std::string_view what) {
    if (!ok && failure_.empty()) failure_ = what;
    return ok;
}

bool RoundTripSteps::show(const rt::Id& data) {
    controller_ = rt::cast<RoundTripController>(
        fm::FormController::controllerForRoot(fm::RootElement::initWithJSONFileAndData(formFile, data)));
    if (!check(controller_ != nullptr, "the form file's controller")) return false;
    window_->setRootViewControllerObject(ui::NavigationController::withRootViewController(controller_));
    app_.advance(1);
    return true;
}

bool RoundTripSteps::fill() {
    return typeThenComplete("name", "Bea", "fruit", "apr") && typeEntry("price", "275") &&
           toggleSwitch("member") && slide("level", 0.75f) && chooseRadio("size", 2) &&
           pickInlineDate("when", pickedDate) && setCountdown("timer", 600) &&
           editMultiline("notes", " and second") && editNested("Address", "city", "Oslo", "Rome") &&
           tapButton("Send") && tapSelectRows("picked", {2, 1, 0}) && moveSortingRow("items", 2, 0);
}

rt::Ref<ui::TableViewCell> RoundTripSteps::cell(const char* key) {
    const auto element = form()->elementWithKey(key);
    if (!element) return nullptr;
    const auto path = element->getIndexPath();
    return app_.driver().revealRow(table(), path->row(), path->section());
}

bool RoundTripSteps::tapRowOf(const char* key) {
    const auto element = form()->elementWithKey(key);
    return element && app_.driver().tapRow(table(), element->getIndexPath()->row());
}

long RoundTripSteps::sectionIndex(const char* key) const {
    const auto section = form()->sectionWithKey(key);
    return section ? static_cast<long>(form()->getVisibleIndexForSection(section.get())) : -1;
}

// The row of the first section with that title (rows without a key).
rt::Ref<fm::RootElement> RoundTripSteps::titled(std::string_view title) const {
    for (const auto& element : *form()->getSectionForIndex(0)->elements()) {
        auto root = rt::cast<fm::RootElement>(element);
        if (root && root->title() && root->title()->utf8() == title) return root;
    }
    return nullptr;
}

bool RoundTripSteps::typeEntryOnly(const char* key, std::string_view text) {
    auto entry = rt::cast<fm::EntryTableViewCell>(cell(key));
    if (!check(entry != nullptr, "an entry cell")) return false;
    entry->textField()->setText(ns::str(""));
    return check(app_.typeText(entry->textField(), text), "typing into an entry");
}

bool RoundTripSteps::typeEntry(const char* key, std::string_view text) {
    if (!typeEntryOnly(key, text)) return false;
    auto entry = rt::cast<fm::EntryTableViewCell>(cell(key));
    return check(app_.endEditing(entry->textField()), "ending an entry");
}

bool RoundTripSteps::typeThenComplete(const char* key, std::string_view text, const char* next,
                                      std::string_view start) {
    if (!typeEntryOnly(key, text)) return false;
    auto entry = rt::cast<fm::EntryTableViewCell>(cell(key));
    entry->previousNextControl()->setSelectedSegmentIndex(1);
    entry->handleActionBarPreviousNext(entry->previousNextControl());
    app_.advance(0.5);
    auto completing = rt::cast<fm::AutoEntryTableViewCell>(cell(next));
    if (!check(completing && completing->autoCompleteField()->isFirstResponder(),
               "\"Next\" to the autocomplete"))
        return false;
    for (const char c : start)
        if (!check(completing->autoCompleteField()->insertText(std::string_view(&c, 1)),
                   "typing to complete"))
            return false;
    completing->handleActionBarDone(nullptr);
    app_.advance(0.5);
    return true;
}

bool RoundTripSteps::toggleSwitch(const char* key) {
    const auto row = cell(key);
    auto toggle = row ? rt::cast<ui::Switch>(rt::Id(row->accessoryView())) : nullptr;
    return check(toggle && app_.tap(toggle), "a tap on the switch");
}

bool RoundTripSteps::slide(const char* key, float value) {
    auto slider = rt::cast<fm::FloatTableViewCell>(cell(key));
    return check(slider && app_.driver().slide(slider->slider(), value), "sliding");
}

bool RoundTripSteps::chooseRadio(const char* key, long item) {
    if (!check(tapRowOf(key), "a tap on the radio row")) return false;
    app_.advance(1);
    auto list = rt::cast<fm::FormController>(app_.driver().topViewController());
    if (!check(list && list != controller_, "the radio list")) return false;
    if (!check(app_.tapRow(list->formTableView(), item), "a tap on a radio item")) return false;
    app_.advance(0.3);
    app_.advance(1);
    return check(app_.driver().topViewController() == controller_, "the radio list closing");
}

bool RoundTripSteps::pickInlineDate(const char* key, double secondsSince1970) {
    if (!check(tapRowOf(key), "a tap on the date row")) return false;
    app_.advance(0.3);
    auto unfolded = rt::cast<fm::DateInlineTableViewCell>(cell(key));
    if (!check(unfolded && unfolded->presentingPicker(), "the inline picker")) return false;
    if (!check(app_.pickDate(unfolded->pickerView(), secondsSince1970), "a spin of the date")) return false;
    if (!check(tapRowOf(key), "a tap folding the date row")) return false;
    app_.advance(0.3);
    return true;
}

bool RoundTripSteps::setCountdown(const char* key, double seconds) {
    auto entry = rt::cast<fm::DateEntryTableViewCell>(cell(key));
    if (!check(entry && tapRowOf(key) && entry->pickerView(), "the countdown's picker")) return false;
    return check(app_.pickDuration(entry->pickerView(), seconds), "a spin of the countdown") &&
           check(app_.endEditing(entry->textField()), "ending the countdown");
}

bool RoundTripSteps::editMultiline(const char* key, std::string_view more) {
    if (!check(tapRowOf(key), "a tap on the multiline row")) return false;
    app_.advance(1);
    auto editor = rt::cast<fm::MultilineTextViewController>(app_.driver().topViewController());
    if (!check(editor && app_.typeText(editor->textView(), more), "typing in the multiline editor"))
        return false;
    if (!check(app_.driver().tapBack(), "back from the multiline editor")) return false;
    app_.advance(1);
    return true;
}

bool RoundTripSteps::editNested(const char* title, const char* key, std::string_view before,
                                std::string_view text) {
    const rt::Ref<fm::RootElement> nested = titled(title);
    if (!check(nested && app_.driver().tapRow(table(), nested->getIndexPath()->row()),
               "a tap on the nested root"))
        return false;
    app_.advance(1);
    auto shown = rt::cast<fm::FormController>(app_.driver().topViewController());
    auto entry = shown ? rt::cast<fm::EntryTableViewCell>(
                             shown->formTableView()->cellForElement(nested->elementWithKey(key)))
                       : nullptr;
    if (!check(entry && entry->textField()->text()->utf8() == before, "the nested entry's bound text"))
        return false;
    entry->textField()->setText(ns::str(""));
    if (!check(app_.typeText(entry->textField(), text) && app_.endEditing(entry->textField()),
               "typing nested"))
        return false;
    if (!check(app_.tapItem(shown->navigationItem()->leftBarButtonItem()), "\"Close\"")) return false;
    app_.advance(1);
    return true;
}

bool RoundTripSteps::tapButton(const char* title) {
    const rt::Ref<fm::RootElement> button = titled(title);
    if (!check(button && app_.driver().tapRow(table(), button->getIndexPath()->row()), "a tap on the button"))
        return false;
    app_.advance(1);
    return true;
}

bool RoundTripSteps::tapSelectRows(const char* key, std::initializer_list<long> rows) {
    const long index = sectionIndex(key);
    if (!check(index >= 0, "the select section")) return false;
    for (const long option : rows)
        if (!check(app_.driver().revealRow(table(), option, index) &&
                       app_.driver().tapRow(table(), option, index),
                   "a tap on a select row"))
            return false;
    return true;
}

bool RoundTripSteps::moveSortingRow(const char* key, long from, long to) {
    const long index = sectionIndex(key);
    return check(index >= 0 && table()->moveRow(ns::IndexPath::indexPathForRowInSection(from, index),
                                                ns::IndexPath::indexPathForRowInSection(to, index)),
                 "moving a sorting row");
}

} // namespace forms_test
