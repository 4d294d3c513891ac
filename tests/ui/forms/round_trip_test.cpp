// A form from a form file bound to data, filled by the tester's driver and read back. The editing
// steps (round_trip_steps.h) are shared with the benchmark: a new kind of row adds one line to the
// form file and one step.

#include <gtest/gtest.h>

#include <optional>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/label.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/ui/forms/round_trip_steps.h"
#include "ui/forms/elements/boolean_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/float_element.h"
#include "ui/forms/section.h"

namespace {

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

namespace {

using ns::str;

class RoundTripTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ns::Bundle::setMainBundlePath(FT_FORMS_TEST_BUNDLE);
        window = rt::make<ui::Window>();
        window->makeKeyAndVisible();
        steps.emplace(app(), window);
    }
    void TearDown() override {
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        steps.reset();
        window = nullptr;
        ns::Bundle::setMainBundlePath("");
        fm::Element::removeClassAppearances();
        AppTest::TearDown();
    }

    rt::Ref<ui::TableViewCell> cell(const char* key) { return steps->cell(key); }
    const rt::Ref<fm::RootElement>& form() const { return steps->form(); }

    rt::Ref<ns::MutableDictionary> fillTheForm(const rt::Id& data);

    rt::Ref<ui::Window> window;
    std::optional<forms_test::RoundTripSteps> steps;
};

constexpr const char* roundTripKeys[] = {"name",  "fruit", "price", "member", "level", "size", "when",
                                         "timer", "notes", "city",  "picked", "items"};

std::string roundTripText(const rt::Id& value) {
    return value ? value->description() : "nil";
}

// Shows the form file bound to the data, checks the bound values show, runs every editing step and
// answers what the tree fetches into a fresh dictionary, checked against the expected values.
rt::Ref<ns::MutableDictionary> RoundTripTest::fillTheForm(const rt::Id& data) {
    if (!steps->show(data)) return nullptr;
    EXPECT_EQ(rt::cast<fm::EntryTableViewCell>(cell("name"))->textField()->text()->utf8(), "Ann");
    EXPECT_FALSE(rt::cast<ui::Switch>(rt::Id(cell("member")->accessoryView()))->isOn());
    EXPECT_EQ(rt::cast<fm::FloatTableViewCell>(cell("level"))->slider()->value(), 0.25f);
    EXPECT_EQ(rt::cast<fm::EntryTableViewCell>(cell("size"))->textField()->text()->utf8(), "Medium");
    EXPECT_EQ(cell("timer")->detailTextLabel()->text()->utf8(), "1 hrs, 30 mins");

    EXPECT_TRUE(steps->fill()) << steps->failure();
    EXPECT_EQ(steps->controller()->sent, 1);
    EXPECT_TRUE(rt::cast<fm::ButtonElement>(steps->controller()->sentWith));

    const auto expected = rt::cast<ns::MutableDictionary>(ns::JSONSerialization::JSONObjectWithData(
        R"({"city": "Rome", "fruit": "Apricot", "items": ["c", "a", "b"], "level": 0.75, "member": true,
            "name": "Bea", "notes": "First and second", "price": 2.75, "size": "L", "timer": 600,
            "picked": [2, 1]})",
        ns::JSONReadingOptions::MutableContainers));
    expected->setObjectForKey(ns::Date::withTimeIntervalSince1970(forms_test::RoundTripSteps::pickedDate),
                              str("when"));
    auto fetched = ns::MutableDictionary::make();
    form()->fetchValueIntoObject(fetched);
    for (const char* key : roundTripKeys)
        EXPECT_EQ(roundTripText(fetched->objectForKey(key)), roundTripText(expected->objectForKey(key))) << key;
    return fetched;
}

TEST_F(RoundTripTest, AFormBoundToADictionaryWritesBackWhatAFreshTreeShows) {
    ns::CapturedLog log;
    auto data = forms_test::RoundTripSteps::dataFromFile();
    ASSERT_TRUE(data);
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
    auto again = fm::RootElement::initWithJSONFileAndData(forms_test::RoundTripSteps::formFile, data);
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
    EXPECT_EQ(data->when()->timeIntervalSince1970(), forms_test::RoundTripSteps::pickedDate);
    EXPECT_EQ(data->timer()->doubleValue(), 600);
    EXPECT_EQ(roundTripText(data->picked()),
              roundTripText(ns::Array::withObjects({ns::Number::withLong(2), ns::Number::withLong(1)})));
    for (const auto& line : log.lines())
        ADD_FAILURE() << "unexpected log line: " << line;
}

} // namespace
