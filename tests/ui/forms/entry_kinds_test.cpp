// The autocomplete and decimal entry rows: completions while typing and taking them when editing
// ends, and the cash-register keystrokes of the decimal row with its formatting.

#include <gtest/gtest.h>

#include <functional>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/number_formatter.h"
#include "platform/runtime/class.h"
#include "platform/uikit/label.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/view_controller.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/array_additions.h"
#include "ui/forms/elements/auto_entry_element.h"
#include "ui/forms/elements/autocomplete_text_field.h"
#include "ui/forms/elements/decimal_element.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"
#include "tests/ui/forms/form_test_support.h"

namespace {

using ns::str;

// Refuses every change.
class EntryKindsVeto : public rt::Object {
    RT_CLASS(EntryKindsVeto)
public:
    bool shouldChange(ns::Range, const rt::Id&, const rt::Id&, const rt::Id&) { return false; }
};

} // namespace

RT_DEFINE_CLASS(EntryKindsVeto, "EntryKindsVeto", rt::Object,
                rt::method("FMEntryShouldChangeCharactersInRange:withString:forElement:andCell:",
                           &EntryKindsVeto::shouldChange))

namespace {

class EntryKindsTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        controller = rt::make<ui::ViewController>();
    }
    void TearDown() override {
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        fm::Element::removeClassAppearances();
        VirtualTimeTest::TearDown();
    }
    rt::Ref<fm::FormTableView> table(std::initializer_list<rt::Ref<fm::EntryElement>> members) {
        auto section = rt::make<fm::Section>();
        for (const auto& member : members)
            section->addElement(member);
        return forms_test::loadedTable(controller, rt::make<fm::RootElement>(), {section});
    }
    static void type(ui::TextField& field, std::string_view text) {
        for (char c : text)
            field.insertText(std::string_view(&c, 1));
    }

    rt::Ref<ui::ViewController> controller;
};

TEST(EntryKinds, ConcatStringsJoinsWithNothingBetween) {
    EXPECT_EQ(fm::concatStrings(ns::Array::withObjects({str("ab"), str("cd")}))->utf8(), "abcd");
    EXPECT_EQ(fm::concatStrings(ns::Array::make())->utf8(), "");
}

// Typing shows the rest of the first candidate that begins with the text, in any case; how the
// editing ends decides whether the row takes it.
TEST_F(EntryKindsTest, AutocompleteShowsTheRestAndTakesItUnlessReturnEndsTheEditing) {
    enum class End { Done, Next, OtherRow, Return };
    struct Case {
        const char* typed;
        int deletes;
        const char* shown;
        End end;
        const char* value;
        int taken; // onValueChanged runs for the completion taken
    };
    const Case cases[] = {
        {"ap", 0, "ple", End::Done, "Apple", 1},       {"AP", 0, "ple", End::Done, "Apple", 1},
        {"apr", 0, "icot", End::Next, "Apricot", 1},   {"x", 0, "", End::OtherRow, "x", 0},
        {"ap", 0, "ple", End::Return, "ap", 0},        {"a", 1, "", End::Done, "", 0},
        {"apple", 0, "", End::Done, "Apple", 1}, // the whole candidate typed: nothing left to show
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        auto entry = rt::make<fm::AutoEntryElement>(str("Fruit"), str(""), nullptr);
        entry->setAutoCompleteValues(ns::Array::withObjects({str("Apple"), str("Apricot")}));
        int changes = 0;
        entry->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
        auto other = rt::make<fm::AutoEntryElement>(str("Other"), str(""), nullptr);
        auto t = table({entry, other});
        auto cell = rt::cast<fm::AutoEntryTableViewCell>(t->cellForElement(entry));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->textField(), nullptr);
        auto field = cell->autoCompleteField();
        ASSERT_TRUE(cell->becomeFirstResponder());
        EXPECT_EQ(field->autocompleteString(), nullptr); // no completion before a change
        type(*field, c.typed);
        for (int i = 0; i < c.deletes; ++i)
            field->deleteBackward();
        EXPECT_EQ(field->autocompleteLabel()->text()->utf8(), c.shown);
        const int typedChanges = changes;
        switch (c.end) {
        case End::Done: cell->handleActionBarDone(nullptr); break;
        case End::Next:
            cell->previousNextControl()->setSelectedSegmentIndex(1);
            cell->handleActionBarPreviousNext(cell->previousNextControl());
            break;
        case End::OtherRow: t->cellForElement(other)->becomeFirstResponder(); break;
        case End::Return: field->pressReturn(); break;
        }
        EXPECT_EQ(field->text()->utf8(), c.value);
        EXPECT_EQ(entry->textValue()->utf8(), c.value);
        EXPECT_EQ(changes, typedChanges + c.taken);
        EXPECT_FALSE(field->isEditing());
    }
}

TEST_F(EntryKindsTest, TheCompletionIsClippedToTheRoomLeftAndTheElementCanAnswerToo) {
    auto entry = rt::make<fm::AutoEntryElement>(str("T"), str(""), nullptr);
    entry->setAutoCompleteValues(ns::Array::withObjects({str("apxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx")}));
    auto t = table({entry});
    auto cell = rt::cast<fm::AutoEntryTableViewCell>(t->cellForElement(entry));
    auto field = cell->autoCompleteField();
    field->setFrame(cg::Rect::make(0, 0, 120, 30));
    cell->becomeFirstResponder();
    type(*field, "ap");
    const cg::Rect shown = field->autocompleteLabel()->frame();
    EXPECT_GT(shown.minX(), 0);
    EXPECT_GT(shown.width(), 0);
    EXPECT_LE(shown.maxX(), field->textRectForBounds(field->bounds()).maxX());

    // The element as a completion source reads the field's own list.
    field->setAutoCompletes(ns::Array::withObjects({str("Apple"), str("Apricot")}));
    EXPECT_EQ(entry->completionForPrefix(field, str("apr"))->utf8(), "icot");
    EXPECT_EQ(entry->lastAutoComplete()->utf8(), "Apricot");
    EXPECT_EQ(entry->completionForPrefix(field, str("x"))->utf8(), "");
    EXPECT_EQ(entry->lastAutoComplete()->utf8(), "");
    EXPECT_EQ(entry->completionForPrefix(field, nullptr), nullptr);
}

TEST_F(EntryKindsTest, DecimalKeystrokesShiftDigitsIntoAFormattedNumber) {
    enum Key : char { Back = '<' };
    struct Case {
        unsigned long digits;
        const char* keys;
        const char* shown;
        double value;
        bool veto = false;
    };
    const Case cases[] = {
        {2, "1", "0.01", 0.01},
        {2, "12", "0.12", 0.12},
        {2, "123", "1.23", 1.23},
        {2, "123<", "0.12", 0.12},
        {0, "1234", "1,234", 1234},
        {2, "12.-a,", "0.12", 0.12},
        {2, "1<<", "0.00", 0},
        {2, "12", "0.00", 0, true},
        {2, "123456789", "1,234,567.92", 1234567.92},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        auto decimal = rt::make<fm::DecimalElement>();
        decimal->setFractionDigits(c.digits);
        decimal->setKey(str("amount"));
        auto veto = rt::make<EntryKindsVeto>();
        if (c.veto) decimal->setDelegate(veto);
        int changes = 0;
        decimal->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
        auto t = table({decimal});
        auto field = rt::cast<fm::DecimalTableViewCell>(t->cellForElement(decimal))->textField();
        ASSERT_TRUE(field->becomeFirstResponder());
        for (const char* k = c.keys; *k; ++k)
            *k == Back ? field->deleteBackward() : field->insertText(std::string_view(k, 1));
        EXPECT_EQ(field->text()->utf8(), c.shown);
        EXPECT_DOUBLE_EQ(decimal->numberValue()->doubleValue(), c.value);
        EXPECT_EQ(changes, c.veto ? 0 : static_cast<int>(std::string(c.keys).size()));
        auto record = ns::MutableDictionary::make();
        decimal->fetchValueIntoObject(record);
        EXPECT_EQ(rt::cast<ns::Number>(record->objectForKey(str("amount"))), decimal->numberValue());
        field->resignFirstResponder();
        EXPECT_EQ(decimal->textValue()->utf8(), c.shown);
    }
}

TEST(EntryKinds, DecimalInitialisersKeepTheirOwnDefaults) {
    auto plain = rt::make<fm::DecimalElement>();
    auto valued = rt::make<fm::DecimalElement>(rt::Ref<ns::Number>());
    auto titled = rt::make<fm::DecimalElement>(str("Price"), ns::Number::withDouble(2.5));
    EXPECT_EQ(plain->numberValue()->longValue(), 0);
    EXPECT_EQ(valued->numberValue(), nullptr);
    EXPECT_EQ(titled->numberValue()->doubleValue(), 2.5);
    EXPECT_EQ(plain->autocapitalizationType(), 2);
    EXPECT_EQ(titled->autocapitalizationType(), 0);
    EXPECT_FALSE(plain->keepSelected());
    EXPECT_TRUE(titled->keepSelected());
    for (const auto& e : {plain, valued, titled})
        EXPECT_EQ(e->keyboardType(), 8);
    valued->setFloatValue(nullptr);
    EXPECT_EQ(valued->numberValue()->longValue(), 0);
}

} // namespace
