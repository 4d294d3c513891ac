// A form from a form file bound to data, filled by the tester's driver and read back: each
// editing step is a helper, so a new kind of row adds one line to the form file and one step.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/window.h"
#include "tester/driver.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/forms/elements/auto_entry_element.h"
#include "ui/forms/elements/autocomplete_text_field.h"
#include "ui/forms/elements/badge_element.h"
#include "ui/forms/elements/date_cells.h"
#include "ui/forms/elements/date_time_elements.h"
#include "ui/forms/elements/decimal_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/float_element.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/elements/radio_elements.h"
#include "ui/forms/elements/select_section.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"

namespace {

// The form's controller class, named by the form file; counts its button's action.
class RoundTripController : public fm::FormController {
    RT_CLASS(RoundTripController)
public:
    int sent = 0;
    rt::Id sentWith;
    void send(const rt::Id& element) {
        ++sent;
        sentWith = element;
    }
};

// The data as a typed object: what the form file binds, with the data file's values.
class RoundTripData : public rt::Object {
    RT_CLASS(RoundTripData)
public:
    rt::Ref<ns::String> name() const { return name_; }
    void setName(rt::Ref<ns::String> v) { name_ = std::move(v); }
    rt::Ref<ns::String> fruit() const { return fruit_; }
    void setFruit(rt::Ref<ns::String> v) { fruit_ = std::move(v); }
    rt::Ref<ns::Number> price() const { return price_; }
    void setPrice(rt::Ref<ns::Number> v) { price_ = std::move(v); }
    bool member() const { return member_; }
    void setMember(bool v) { member_ = v; }
    float level() const { return level_; }
    void setLevel(float v) { level_ = v; }
    rt::Ref<ns::String> notes() const { return notes_; }
    void setNotes(rt::Ref<ns::String> v) { notes_ = std::move(v); }
    rt::Ref<ns::String> city() const { return city_; }
    void setCity(rt::Ref<ns::String> v) { city_ = std::move(v); }
    rt::Ref<ns::Array> items() const { return items_; }
    void setItems(rt::Ref<ns::Array> v) { items_ = std::move(v); }
    long size() const { return size_; }
    void setSize(long v) { size_ = v; }
    rt::Ref<ns::Date> when() const { return when_; }
    void setWhen(rt::Ref<ns::Date> v) { when_ = std::move(v); }
    rt::Ref<ns::Number> timer() const { return timer_; }
    void setTimer(rt::Ref<ns::Number> v) { timer_ = std::move(v); }
    rt::Ref<ns::Array> picked() const { return picked_; }
    void setPicked(rt::Ref<ns::Array> v) { picked_ = std::move(v); }

private:
    rt::Ref<ns::String> name_ = ns::str("Ann"), fruit_ = ns::str(""), notes_ = ns::str("First"), city_ = ns::str("Oslo");
    rt::Ref<ns::Number> price_ = ns::Number::withDouble(1.5);
    bool member_ = false;
    float level_ = 0.25f;
    rt::Ref<ns::Array> items_ = ns::Array::withObjects({ns::str("a"), ns::str("b"), ns::str("c")});
    long size_ = 1;
    rt::Ref<ns::Date> when_ = ns::Date::withTimeIntervalSince1970(1767261600);
    rt::Ref<ns::Number> timer_ = ns::Number::withInt(5400);
    rt::Ref<ns::Array> picked_ = ns::Array::withObjects({ns::Number::withLong(0)});
};

} // namespace

RT_DEFINE_CLASS(RoundTripData, "RoundTripData", rt::Object,
                rt::prop("name", &RoundTripData::name, &RoundTripData::setName),
                rt::prop("fruit", &RoundTripData::fruit, &RoundTripData::setFruit),
                rt::prop("price", &RoundTripData::price, &RoundTripData::setPrice),
                rt::prop("member", &RoundTripData::member, &RoundTripData::setMember),
                rt::prop("level", &RoundTripData::level, &RoundTripData::setLevel),
                rt::prop("notes", &RoundTripData::notes, &RoundTripData::setNotes),
                rt::prop("city", &RoundTripData::city, &RoundTripData::setCity),
                rt::prop("items", &RoundTripData::items, &RoundTripData::setItems),
                rt::prop("size", &RoundTripData::size, &RoundTripData::setSize),
                rt::prop("when", &RoundTripData::when, &RoundTripData::setWhen),
                rt::prop("timer", &RoundTripData::timer, &RoundTripData::setTimer),
                rt::prop("picked", &RoundTripData::picked, &RoundTripData::setPicked))

RT_DEFINE_CLASS(RoundTripController, "RoundTripController", fm::FormController,
                rt::method("send:", &RoundTripController::send))

namespace {

using ns::str;

class RoundTripTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ns::Bundle::setMainBundlePath(FT_FORMS_TEST_BUNDLE);
        window = rt::make<ui::Window>();
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        window = nullptr;
        ns::Bundle::setMainBundlePath("");
        fm::Element::removeClassAppearances();
        AppTest::TearDown();
    }

    // Shows the form in a navigation controller in the key window.
    rt::Ref<RoundTripController> show(const rt::Ref<fm::RootElement>& root) {
        auto controller = rt::cast<RoundTripController>(fm::FormController::controllerForRoot(root));
        EXPECT_TRUE(controller);
        window->setRootViewControllerObject(ui::NavigationController::withRootViewController(controller));
        app().advance(1);
        return controller;
    }
    // The row's cell, scrolled into view as a tester looks for it.
    rt::Ref<ui::TableViewCell> cell(const char* key) {
        const auto path = form()->elementWithKey(key)->getIndexPath();
        return app().driver().revealRow(table(), path->row(), path->section());
    }
    rt::Ref<fm::FormTableView> table() const { return controller->formTableView(); }
    const rt::Ref<fm::RootElement>& form() const { return controller->root(); }
    long row(const rt::Ref<fm::Element>& element) const { return element->getIndexPath()->row(); }

    // ---- The editing steps ----
    void typeEntry(const char* key, std::string_view text) {
        auto entry = rt::cast<fm::EntryTableViewCell>(cell(key));
        ASSERT_TRUE(entry);
        entry->textField()->setText(str(""));
        ASSERT_TRUE(app().typeText(entry->textField(), text));
        ASSERT_TRUE(app().endEditing(entry->textField()));
    }
    // Types into the entry, then "Next" to the autocomplete row, types the start of a candidate
    // and takes the completion with "Done".
    void typeThenComplete(const char* key, std::string_view text, const char* next, std::string_view start) {
        typeEntryOnly(key, text);
        auto entry = rt::cast<fm::EntryTableViewCell>(cell(key));
        entry->previousNextControl()->setSelectedSegmentIndex(1);
        entry->handleActionBarPreviousNext(entry->previousNextControl());
        app().advance(0.5);
        auto completing = rt::cast<fm::AutoEntryTableViewCell>(cell(next));
        ASSERT_TRUE(completing);
        ASSERT_TRUE(completing->autoCompleteField()->isFirstResponder());
        for (const char c : start)
            ASSERT_TRUE(completing->autoCompleteField()->insertText(std::string_view(&c, 1)));
        completing->handleActionBarDone(nullptr);
        app().advance(0.5);
    }
    void typeEntryOnly(const char* key, std::string_view text) {
        auto entry = rt::cast<fm::EntryTableViewCell>(cell(key));
        ASSERT_TRUE(entry);
        entry->textField()->setText(str(""));
        ASSERT_TRUE(app().typeText(entry->textField(), text));
    }
    void moveSortingRow(const char* key, long from, long to) {
        const auto section = form()->sectionWithKey(key);
        ASSERT_TRUE(section);
        const long index = static_cast<long>(form()->getVisibleIndexForSection(section.get()));
        ASSERT_TRUE(table()->moveRow(ns::IndexPath::indexPathForRowInSection(from, index),
                                     ns::IndexPath::indexPathForRowInSection(to, index)));
    }
    void toggleSwitch(const char* key) {
        auto toggle = rt::cast<ui::Switch>(rt::Id(cell(key)->accessoryView()));
        ASSERT_TRUE(toggle);
        ASSERT_TRUE(app().tap(toggle));
    }
    void slide(const char* key, float value) {
        auto slider = rt::cast<fm::FloatTableViewCell>(cell(key));
        ASSERT_TRUE(slider);
        ASSERT_TRUE(app().driver().slide(slider->slider(), value));
    }
    void editMultiline(const char* key, std::string_view more) {
        ASSERT_TRUE(app().driver().tapRow(table(), row(form()->elementWithKey(key))));
        app().advance(1);
        auto editor = rt::cast<fm::MultilineTextViewController>(app().driver().topViewController());
        ASSERT_TRUE(editor);
        ASSERT_TRUE(app().typeText(editor->textView(), more));
        ASSERT_TRUE(app().driver().tapBack());
        app().advance(1);
    }
    // Opens the radio row's list, taps the item and lets the list close itself.
    void chooseRadio(const char* key, long item) {
        ASSERT_TRUE(app().driver().tapRow(table(), row(form()->elementWithKey(key))));
        app().advance(1);
        auto list = rt::cast<fm::FormController>(app().driver().topViewController());
        ASSERT_TRUE(list && list != controller);
        ASSERT_TRUE(app().tapRow(list->formTableView(), item));
        app().advance(0.3);
        app().advance(1);
        ASSERT_EQ(app().driver().topViewController(), controller);
    }
    // A tap unfolds the picker in the row; once it has faded in, a spin picks; a tap folds it.
    void pickInlineDate(const char* key, double secondsSince1970) {
        const long at = row(form()->elementWithKey(key));
        ASSERT_TRUE(app().driver().tapRow(table(), at));
        app().advance(0.3);
        auto inline_ = rt::cast<fm::DateInlineTableViewCell>(cell(key));
        ASSERT_TRUE(inline_ && inline_->presentingPicker());
        ASSERT_TRUE(app().pickDate(inline_->pickerView(), secondsSince1970));
        ASSERT_TRUE(app().driver().tapRow(table(), at));
        app().advance(0.3);
    }
    // The countdown's picker is its field's keyboard.
    void setCountdown(const char* key, double seconds) {
        auto entry = rt::cast<fm::DateEntryTableViewCell>(cell(key));
        ASSERT_TRUE(entry);
        ASSERT_TRUE(app().driver().tapRow(table(), row(form()->elementWithKey(key))));
        ASSERT_TRUE(entry->pickerView());
        ASSERT_TRUE(app().pickDuration(entry->pickerView(), seconds));
        ASSERT_TRUE(app().endEditing(entry->textField()));
    }
    void tapSelectRows(const char* key, std::initializer_list<long> rows) {
        const auto section = form()->sectionWithKey(key);
        ASSERT_TRUE(section);
        const long index = static_cast<long>(form()->getVisibleIndexForSection(section.get()));
        for (const long option : rows) {
            ASSERT_TRUE(app().driver().revealRow(table(), option, index));
            ASSERT_TRUE(app().driver().tapRow(table(), option, index));
        }
    }
    // The row of the first section with that title (rows without a key).
    rt::Ref<fm::RootElement> titled(std::string_view title) const {
        for (const auto& element : *form()->getSectionForIndex(0)->elements()) {
            auto root = rt::cast<fm::RootElement>(element);
            if (root && root->title() && root->title()->utf8() == title) return root;
        }
        return nullptr;
    }
    void editNested(const char* title, const char* key, std::string_view before, std::string_view text) {
        const rt::Ref<fm::RootElement> nested = titled(title);
        ASSERT_TRUE(nested);
        ASSERT_TRUE(app().driver().tapRow(table(), row(nested)));
        app().advance(1);
        auto shown = rt::cast<fm::FormController>(app().driver().topViewController());
        ASSERT_TRUE(shown);
        auto entry = rt::cast<fm::EntryTableViewCell>(shown->formTableView()->cellForElement(nested->elementWithKey(key)));
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->textField()->text()->utf8(), before);
        entry->textField()->setText(str(""));
        ASSERT_TRUE(app().typeText(entry->textField(), text));
        ASSERT_TRUE(app().endEditing(entry->textField()));
        ASSERT_TRUE(app().tapItem(shown->navigationItem()->leftBarButtonItem())) << "Close";
        app().advance(1);
    }
    void tapButton(const char* title) {
        const rt::Ref<fm::RootElement> button = titled(title);
        ASSERT_TRUE(button);
        ASSERT_TRUE(app().driver().tapRow(table(), row(button)));
        app().advance(1);
    }

    rt::Ref<ns::MutableDictionary> fillTheForm(const rt::Id& data);

    rt::Ref<ui::Window> window;
    rt::Ref<RoundTripController> controller;
};

constexpr const char* roundTripKeys[] = {"name",  "fruit", "price", "member", "level", "size", "when",
                                         "timer", "notes", "city",  "picked", "items"};
constexpr double roundTripPicked = 1767405600; // 2026-01-03 09:00 UTC; the data holds 2026-01-01 10:00

std::string roundTripText(const rt::Id& value) {
    return value ? value->description() : "nil";
}

// Shows the form file bound to the data, checks the bound values show, runs every editing step and
// answers what the tree fetches into a fresh dictionary, checked against the expected values.
rt::Ref<ns::MutableDictionary> RoundTripTest::fillTheForm(const rt::Id& data) {
    controller = show(fm::RootElement::initWithJSONFileAndData("round_trip_form", data));
    if (!controller) return nullptr;
    EXPECT_EQ(rt::cast<fm::EntryTableViewCell>(cell("name"))->textField()->text()->utf8(), "Ann");
    EXPECT_FALSE(rt::cast<ui::Switch>(rt::Id(cell("member")->accessoryView()))->isOn());
    EXPECT_EQ(rt::cast<fm::FloatTableViewCell>(cell("level"))->slider()->value(), 0.25f);
    EXPECT_EQ(rt::cast<fm::EntryTableViewCell>(cell("size"))->textField()->text()->utf8(), "Medium");
    EXPECT_EQ(cell("timer")->detailTextLabel()->text()->utf8(), "1 hrs, 30 mins");

    typeThenComplete("name", "Bea", "fruit", "apr");
    typeEntry("price", "275");
    toggleSwitch("member");
    slide("level", 0.75f);
    chooseRadio("size", 2);
    pickInlineDate("when", roundTripPicked);
    setCountdown("timer", 600);
    editMultiline("notes", " and second");
    editNested("Address", "city", "Oslo", "Rome");
    tapButton("Send");
    tapSelectRows("picked", {2, 1, 0});
    moveSortingRow("items", 2, 0);
    EXPECT_EQ(controller->sent, 1);

    const auto expected = rt::cast<ns::MutableDictionary>(ns::JSONSerialization::JSONObjectWithData(
        R"({"city": "Rome", "fruit": "Apricot", "items": ["c", "a", "b"], "level": 0.75, "member": true,
            "name": "Bea", "notes": "First and second", "price": 2.75, "size": "L", "timer": 600,
            "picked": [2, 1]})",
        ns::JSONReadingOptions::MutableContainers));
    expected->setObjectForKey(ns::Date::withTimeIntervalSince1970(roundTripPicked), str("when"));
    auto fetched = ns::MutableDictionary::make();
    form()->fetchValueIntoObject(fetched);
    for (const char* key : roundTripKeys)
        EXPECT_EQ(roundTripText(fetched->objectForKey(key)), roundTripText(expected->objectForKey(key))) << key;
    return fetched;
}

TEST_F(RoundTripTest, AFormBoundToADictionaryWritesBackWhatAFreshTreeShows) {
    ns::CapturedLog log;
    std::ifstream file(FT_FORMS_TEST_BUNDLE "/round_trip_data.json");
    const std::string json{std::istreambuf_iterator<char>(file), {}};
    auto data = rt::cast<ns::MutableDictionary>(
        ns::JSONSerialization::JSONObjectWithData(json, ns::JSONReadingOptions::MutableContainers));
    ASSERT_TRUE(data);
    // A data file holds its dates as seconds since 1970.
    data->setObjectForKey(
        ns::Date::withTimeIntervalSince1970(rt::cast<ns::Number>(data->objectForKey("when"))->doubleValue()),
        str("when"));
    const auto fetched = fillTheForm(data);
    ASSERT_TRUE(fetched);
    // The sorting order and the select section's choice: bindings skip a section's own binding.
    form()->fetchValueIntoObject(data);
    form()->fetchValueUsingBindingsIntoObject(data);
    for (const char* key : roundTripKeys) {
        if (std::string_view(key) == "size") continue;
        EXPECT_EQ(roundTripText(data->objectForKey(key)), roundTripText(fetched->objectForKey(key))) << key;
    }
    // The radio row is bound to its index; its key writes the chosen value.
    EXPECT_EQ(roundTripText(data->objectForKey("size")), "2");

    // A fresh tree from the same file shows what was written back.
    auto again = fm::RootElement::initWithJSONFileAndData("round_trip_form", data);
    auto refetched = ns::MutableDictionary::make();
    again->fetchValueIntoObject(refetched);
    EXPECT_TRUE(refetched->isEqual(fetched.get())) << refetched->description() << " / " << fetched->description();
    for (const auto& line : log.lines())
        ADD_FAILURE() << "unexpected log line: " << line;
}

TEST_F(RoundTripTest, AFormBoundToATypedObjectWritesTypedValuesBack) {
    ns::CapturedLog log;
    auto data = rt::make<RoundTripData>();
    ASSERT_TRUE(fillTheForm(data));
    form()->fetchValueUsingBindingsIntoObject(data);
    form()->sectionWithKey("picked")->fetchValueIntoObject(data); // not read back by bindings
    EXPECT_EQ(data->name()->utf8(), "Bea");
    EXPECT_EQ(data->fruit()->utf8(), "Apricot");
    EXPECT_EQ(data->price()->doubleValue(), 2.75);
    EXPECT_TRUE(data->member());
    EXPECT_EQ(data->level(), 0.75f);
    EXPECT_EQ(data->notes()->utf8(), "First and second");
    EXPECT_EQ(data->city()->utf8(), "Rome");
    EXPECT_EQ(data->size(), 2);
    EXPECT_EQ(data->when()->timeIntervalSince1970(), roundTripPicked);
    EXPECT_EQ(data->timer()->doubleValue(), 600);
    EXPECT_EQ(roundTripText(data->picked()),
              roundTripText(ns::Array::withObjects({ns::Number::withLong(2), ns::Number::withLong(1)})));
    for (const auto& line : log.lines())
        ADD_FAILURE() << "unexpected log line: " << line;
}

} // namespace
