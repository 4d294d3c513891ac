// Date and time rows (the two picker cells, the countdown, the sub-form of a date element), the
// calendar under them, and the choice rows: select and radio sections, radio lists and segmented
// rows; what a row with a screen of its own shows once back. Virtual time starts at 2026-01-01
// 00:00:00 UTC; the zone is pinned per test.

#include <optional>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/foundation/calendar.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "tester/driver.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/elements/date_cells.h"
#include "ui/forms/elements/date_time_elements.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/image_element.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/elements/radio_elements.h"
#include "ui/forms/elements/select_section.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"
#include "tests/ui/forms/form_test_support.h"

namespace {

using ns::str;

constexpr double choiceDateNewYear = 1767225600; // 2026-01-01 00:00:00 UTC, the clock's start

rt::Ref<ns::Date> choiceDateAt(double secondsSince1970) {
    return ns::Date::withTimeIntervalSince1970(secondsSince1970);
}

rt::Ref<ns::Array> choiceStrings(std::initializer_list<const char*> texts) {
    std::vector<rt::Id> made;
    for (const char* text : texts)
        made.push_back(str(text));
    return ns::Array::make(std::move(made));
}

rt::Ref<ns::Array> choiceNumbers(std::initializer_list<long> numbers) {
    std::vector<rt::Id> made;
    for (long n : numbers)
        made.push_back(ns::Number::withLong(n));
    return ns::Array::make(std::move(made));
}

std::vector<long> choiceIndexes(const rt::Ref<ns::Array>& list) {
    std::vector<long> out;
    for (const rt::Id& entry : *list)
        out.push_back(rt::cast<ns::Number>(entry)->longValue());
    return out;
}

std::vector<std::string> choiceTexts(const rt::Ref<ns::Array>& list) {
    std::vector<std::string> out;
    for (const rt::Id& entry : *list)
        out.push_back(entry->description());
    return out;
}

// Counts the value-changed events of the controls it listens to.
class ChoiceDateListener : public rt::Object {
    RT_CLASS(ChoiceDateListener)
public:
    int heard = 0;
    void changed(const rt::Id&) { ++heard; }
};

} // namespace

RT_DEFINE_CLASS(ChoiceDateListener, "ChoiceDateListener", rt::Object,
                rt::method("changed:", &ChoiceDateListener::changed))

namespace {

// The rows of section 0 that show a mark: 'v' the check mark, 'i' an image, '.' none.
std::string marks(const rt::Ref<ui::TableView>& t) {
    std::string out;
    for (long row = 0; row < t->numberOfRowsInSection(0); ++row) {
        const auto cell = t->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0));
        out += cell->accessoryView()                                                ? 'i'
               : cell->accessoryType() == ui::TableViewCellAccessoryType::Checkmark ? 'v'
                                                                                    : '.';
    }
    return out;
}

class ChoiceDateTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        ns::TimeZone::setSystemTimeZoneName("UTC");
        controller = rt::make<ui::ViewController>();
    }
    void TearDown() override {
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        fm::Element::removeClassAppearances();
        ui::Image::removeRegisteredImages(); // a name left registered turns a later test's text into an image
        ns::TimeZone::setSystemTimeZoneName("");
        VirtualTimeTest::TearDown();
    }
    // A form of the sections, in a table 320 wide.
    rt::Ref<fm::FormTableView> tableOf(std::initializer_list<rt::Ref<fm::Section>> sections) {
        form = rt::make<fm::RootElement>();
        return forms_test::loadedTable(controller, form, sections);
    }
    // A form of one section holding the elements.
    rt::Ref<fm::FormTableView> table(std::initializer_list<rt::Ref<fm::Element>> members) {
        auto section = rt::make<fm::Section>();
        for (const auto& member : members)
            section->addElement(member);
        return tableOf({section});
    }
    rt::Ref<ui::ViewController> controller;
    rt::Ref<fm::RootElement> form;
};

TEST_F(ChoiceDateTest, TheCalendarSplitsAndBuildsLocalTimesAcrossZoneChanges) {
    struct Case {
        const char* zone;
        ns::DateComponents local;
        double utc;     // the moment built from `local`
        bool roundTrip; // splitting it gives `local` back
    };
    const Case cases[] = {
        {"UTC", {2026, 1, 1, 0, 0, 0}, choiceDateNewYear, true},
        {"UTC", {1969, 12, 31, 23, 59, 59}, -1, true},
        {"UTC", {2024, 2, 29, 14, 30, 5}, 1709217005, true},
        {"UTC", {2025, 13, 1, 0, 75, 0}, choiceDateNewYear + 4500, false}, // fields carry over
        {"Europe/Berlin", {2026, 7, 1, 12, 0, 0}, 1782900000, true},       // summer: +2
        {"Europe/Berlin", {2026, 1, 1, 1, 0, 0}, choiceDateNewYear, true}, // winter: +1
        {"Europe/Berlin", {2026, 3, 29, 2, 30, 0}, 1774747800, false},     // skipped: read at +1
        {"Europe/Berlin", {2026, 10, 25, 2, 30, 0}, 1792888200, true},     // repeated: the earlier
    };
    const auto calendar = ns::Calendar::currentCalendar();
    for (const Case& c : cases) {
        ns::TimeZone::setSystemTimeZoneName(c.zone);
        const auto built = calendar->dateFromComponents(c.local);
        EXPECT_EQ(built->timeIntervalSince1970(), c.utc)
            << c.zone << " " << c.local.year << "-" << c.local.month;
        const ns::DateComponents back = calendar->components(*built);
        if (c.roundTrip) {
            EXPECT_EQ((std::tuple{back.year, back.month, back.day, back.hour, back.minute, back.second}),
                      (std::tuple{c.local.year, c.local.month, c.local.day, c.local.hour, c.local.minute,
                                  c.local.second}))
                << c.zone;
        }
    }
}

TEST_F(ChoiceDateTest, TheInlineElementsValueAndItsText) {
    const double afternoon = choiceDateNewYear + 14.5 * 3600; // 14:30
    struct Case {
        const char* name;
        long mode;
        double date;
        const char* customFormat;
        const char* shown;
        double stored; // dateValue after reading, as seconds since 1970
    };
    const Case cases[] = {
        {"time", 0, afternoon, nullptr, "2:30 PM", afternoon},
        {"date cuts to midnight", 1, afternoon, nullptr, "Jan 1, 2026", choiceDateNewYear},
        {"date and time", 2, afternoon, nullptr, "Jan 1, 2026, 2:30 PM", afternoon},
        {"custom format", 1, afternoon, "yyyy-MM-dd HH:mm", "2026-01-01 00:00", choiceDateNewYear},
        {"the date 3,725 s ahead", 2, choiceDateNewYear + 3725, nullptr, "Jan 1, 2026, 1:02 AM",
         choiceDateNewYear + 3725},
    };
    for (const Case& c : cases) {
        auto element = rt::make<fm::DateTimeInlineElement>(str("When"), choiceDateAt(c.date), c.mode);
        if (c.customFormat) element->setCustomDateFormat(str(c.customFormat));
        EXPECT_EQ(element->displayText()->utf8(), c.shown) << c.name;
        EXPECT_EQ(element->dateValue()->timeIntervalSince1970(), c.stored) << c.name;
        element->setMode(0); // the cut is kept
        EXPECT_EQ(element->ticksValue()->doubleValue(), c.stored) << c.name;
    }
    auto ahead = rt::make<fm::DateTimeInlineElement>(str("When"), choiceDateAt(choiceDateNewYear + 3725), 2);
    EXPECT_EQ(ahead->textValue()->utf8(), "01:02:05");
    ahead->setTicksValue(nullptr);
    EXPECT_EQ(ahead->ticksValue()->doubleValue(), choiceDateNewYear + 3725);
    ahead->setTicksValue(ns::Number::withInt(0));
    EXPECT_EQ(ahead->dateValue()->description(), "1970-01-01 00:00:00 +0000");
}

TEST_F(ChoiceDateTest, TheCountdownHoldsADurationAndRefusesDates) {
    struct Case {
        double seconds;
        const char* shown;
    };
    const Case cases[] = {
        {5400, "1 hrs, 30 mins"}, {600, "10 mins"}, {3600, "1 hrs, 0 mins"}, {-90, "0 mins"}};
    for (const Case& c : cases)
        EXPECT_EQ(fm::formatInterval(c.seconds)->utf8(), c.shown) << c.seconds;

    ns::CapturedLog log;
    auto countdown = rt::make<fm::CountdownElement>();
    countdown->setKey(str("timer"));
    EXPECT_TRUE(log.lines().empty()); // creating one logs nothing
    countdown->setTicksValue(ns::Number::withInt(5400));
    countdown->setDateValue(choiceDateAt(0));
    EXPECT_TRUE(log.contains("Don't set the date on the FMCountdownElement"));
    EXPECT_EQ(countdown->ticksValue()->intValue(), 5400);
    EXPECT_EQ(countdown->dateValue()->timeIntervalSince1970(), choiceDateNewYear + 5400);

    auto t = table({countdown});
    EXPECT_EQ(countdown->mode(), 3); // set when its cell is made
    auto cell = rt::cast<fm::DateEntryTableViewCell>(t->cellForElement(countdown));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->detailTextLabel()->text()->utf8(), "1 hrs, 30 mins");
    auto values = ns::MutableDictionary::make();
    countdown->fetchValueIntoObject(values);
    EXPECT_EQ(rt::cast<ns::Number>(values->objectForKey("timer"))->intValue(), 5400);
}

TEST_F(ChoiceDateTest, TheEntryCellEditsWithAPickerAsItsKeyboard) {
    struct Case {
        const char* name;
        bool countdown;
        bool centerLabel;
        double picked; // a date, or a duration for the countdown
        const char* shownAfter;
    };
    const Case cases[] = {
        {"time", false, false, choiceDateNewYear + 8 * 3600 + 15 * 60, "8:15 AM"},
        {"centred", false, true, choiceDateNewYear + 9 * 3600, "9:00 AM"},
        {"countdown", true, false, 600, "10 mins"},
    };
    for (const Case& c : cases) {
        rt::Ref<fm::DateTimeInlineElement> element;
        if (c.countdown) {
            element = rt::make<fm::CountdownElement>();
            element->setTitle(str("Alarm"));
            element->setTicksValue(ns::Number::withInt(5400));
        } else {
            element = rt::make<fm::DateTimeInlineElement>(str("Alarm"), choiceDateAt(choiceDateNewYear), 0);
        }
        element->setCenterLabel(c.centerLabel);
        int changes = 0;
        element->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
        auto t = table({element});
        auto cell = rt::cast<fm::DateEntryTableViewCell>(t->cellForElement(element));
        ASSERT_TRUE(cell) << c.name;
        EXPECT_TRUE(cell->textField()->isHidden()) << c.name;
        EXPECT_EQ(cell->textLabel()->text() ? cell->textLabel()->text()->utf8() : "",
                  c.centerLabel ? "" : element->title()->utf8())
            << c.name;

        ASSERT_TRUE(cell->textField()->becomeFirstResponder()) << c.name;
        const auto picker = cell->pickerView();
        ASSERT_TRUE(picker) << c.name;
        EXPECT_EQ(cell->textField()->inputView(), picker) << c.name;
        EXPECT_TRUE(cell->isSelected()) << c.name;
        EXPECT_EQ(picker->frame().size.width, 320) << c.name;
        if (c.countdown) {
            EXPECT_EQ(picker->countDownDuration(), 5400) << c.name;
            picker->setCountDownDuration(c.picked);
        } else {
            EXPECT_EQ(picker->date()->timeIntervalSince1970(), choiceDateNewYear) << c.name;
            picker->setDate(choiceDateAt(c.picked));
        }
        picker->sendActionsForControlEvents(ui::ControlEvent::ValueChanged);
        EXPECT_EQ(changes, 1) << c.name;
        const auto& shownLabel = c.centerLabel ? cell->centeredLabel() : cell->detailTextLabel();
        EXPECT_EQ(shownLabel->text()->utf8(), c.shownAfter) << c.name;

        cell->textField()->resignFirstResponder();
        EXPECT_FALSE(cell->pickerView()) << c.name;
        EXPECT_FALSE(cell->isSelected()) << c.name;
        EXPECT_FALSE(cell->textField()->inputView()) << c.name;
    }
}

TEST_F(ChoiceDateTest, TheInlinePickerUnfoldsInTheRowOnATap) {
    auto first = rt::make<fm::DateTimeInlineElement>(str("Start"), choiceDateAt(choiceDateNewYear), 2);
    auto second = rt::make<fm::DateTimeInlineElement>(str("End"), choiceDateAt(choiceDateNewYear), 1);
    int changes = 0;
    for (const auto& e : {first, second}) {
        e->setShowPickerInCell(true);
        e->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    }
    auto t = table({first, second});
    auto cell = rt::cast<fm::DateInlineTableViewCell>(t->cellForElement(first));
    auto other = rt::cast<fm::DateInlineTableViewCell>(t->cellForElement(second));
    ASSERT_TRUE(cell && other);
    EXPECT_EQ(cell->detailTextLabel()->text()->utf8(), "Jan 1, 2026, 12:00 AM");
    const auto picker = cell->pickerView();
    ASSERT_TRUE(picker);

    struct Step {
        const char* name;
        rt::Ref<fm::DateTimeInlineElement> tapped;
        bool firstShown, secondShown;
    };
    const Step steps[] = {
        {"opens", first, true, false},
        {"the other opens, this closes", second, false, true},
        {"back", first, true, false},
        {"closes", first, false, false},
    };
    for (const Step& s : steps) {
        s.tapped->performAction();
        EXPECT_EQ(cell->presentingPicker(), s.firstShown) << s.name;
        EXPECT_EQ(other->presentingPicker(), s.secondShown) << s.name;
        EXPECT_EQ(first->getRowHeightForTableView(t), s.firstShown ? 244 : 44) << s.name;
        EXPECT_EQ(second->getRowHeightForTableView(t), s.secondShown ? 244 : 44) << s.name;
        runFor(0.3);
    }
    EXPECT_FALSE(picker->superview()); // taken out once faded

    first->performAction();
    EXPECT_EQ(picker->superview(), cell->contentView());
    cell->layoutIfNeeded();
    EXPECT_EQ(picker->frame(), cg::Rect::make(0, 44, 320, 216));
    picker->setDate(choiceDateAt(choiceDateNewYear + 60));
    picker->sendActionsForControlEvents(ui::ControlEvent::ValueChanged);
    EXPECT_EQ(changes, 0); // the target joins once the fade ends
    runFor(0.3);
    cell->setEditing(true); // the current state: nothing
    picker->setDate(choiceDateAt(choiceDateNewYear + 120));
    picker->sendActionsForControlEvents(ui::ControlEvent::ValueChanged);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(first->dateValue()->timeIntervalSince1970(), choiceDateNewYear + 120);
    EXPECT_EQ(cell->detailTextLabel()->text()->utf8(), "Jan 1, 2026, 12:02 AM");
}

TEST_F(ChoiceDateTest, TheDateElementsSubFormFollowsItsMode) {
    struct Case {
        long mode;
        const char* title;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {2, "\n", {"date", "time"}},
        {0, "\n\n", {"time"}},
        {1, "\n\n", {"date"}},
    };
    auto element = rt::make<fm::DateTimeElement>(str("Due"), choiceDateAt(choiceDateNewYear + 3600));
    EXPECT_TRUE(element->grouped());
    for (const Case& c : cases) {
        element->setMode(c.mode);
        ASSERT_EQ(element->numberOfSections(), 1) << c.mode;
        const auto section = element->getSectionForIndex(0);
        EXPECT_EQ(section->title()->utf8(), c.title) << c.mode;
        std::vector<std::string> keys;
        for (const auto& row : *section->elements()) {
            keys.push_back(row->key()->utf8());
            EXPECT_EQ(rt::cast<fm::DateTimeInlineElement>(row)->ticksValue()->doubleValue(),
                      choiceDateNewYear + 3600 - (keys.back() == "date" ? 3600 : 0));
        }
        EXPECT_EQ(keys, c.keys) << c.mode;
    }
    element->setMinuteInterval(15);
    EXPECT_EQ(rt::cast<fm::DateTimeInlineElement>(element->elementWithKey("date"))->minuteInterval(), 0);
    element->setMode(0);
    EXPECT_EQ(rt::cast<fm::DateTimeInlineElement>(element->elementWithKey("time"))->minuteInterval(), 15);

    // Taking the value back: the day and the time of day by mode; now is 2026-01-01 00:00.
    const auto picked = ns::MutableDictionary::make();
    picked->setObjectForKey(choiceDateAt(choiceDateNewYear + 40 * 86400 + 3600), str("date"));
    picked->setObjectForKey(choiceDateAt(choiceDateNewYear + 5 * 86400 + 8 * 3600 + 15 * 60 + 7),
                            str("time"));
    struct Back {
        long mode;
        double expected;
    };
    const Back backs[] = {
        {2, choiceDateNewYear + 40 * 86400 + 8 * 3600 + 15 * 60 + 7},
        {1, choiceDateNewYear + 40 * 86400},
        {0, choiceDateNewYear + 8 * 3600 + 15 * 60 + 7},
        {7, choiceDateNewYear + 3600}, // unhandled: logged, kept
    };
    for (const Back& b : backs) {
        ns::CapturedLog log;
        element->setDateValue(choiceDateAt(choiceDateNewYear + 3600));
        element->setMode(b.mode);
        element->takeValueFrom(picked);
        EXPECT_EQ(element->dateValue()->timeIntervalSince1970(), b.expected) << b.mode;
        EXPECT_EQ(log.contains("This control was not created to handle this time of UIDatePickerMode"),
                  b.mode == 7);
    }
}

TEST_F(ChoiceDateTest, ASelectSectionMovesOrTogglesItsMarksOnTaps) {
    struct Case {
        const char* name;
        std::initializer_list<long> initial;
        bool deselectAllowed;
        bool checkmarkImage;
        std::vector<long> taps;
        std::vector<long> chosen;
        const char* shown;
        std::vector<std::string> items; // selectedItems
    };
    const Case cases[] = {
        {"single keeps its choice", {1}, false, false, {1}, {1}, ".v..", {"b"}},
        {"single moves", {1}, false, false, {2, 3}, {3}, "...v", {"d"}},
        {"single clears with deselect", {1}, true, false, {1}, {}, "....", {}},
        {"single from none", {}, false, true, {0}, {0}, "i...", {"a"}},
        {"multiple toggles in order of choosing", {3, 0}, false, false, {1, 0}, {3, 1}, ".v.v", {"d", "b"}},
        {"multiple with images", {2, 0}, false, true, {3}, {2, 0, 3}, "i.ii", {"c", "a", "d"}},
    };
    for (const Case& c : cases) {
        auto section =
            rt::make<fm::SelectSection>(choiceStrings({"a", "b", "c", "d"}), choiceNumbers(c.initial));
        EXPECT_EQ(section->multipleAllowed(), c.initial.size() > 1) << c.name;
        section->setDeselectAllowed(c.deselectAllowed);
        int heard = 0;
        section->setOnSelected([&] { ++heard; });
        if (c.checkmarkImage) {
            ui::Image::registerImageNamed("tick", {12, 10});
            for (const auto& row : *section->elements())
                rt::cast<fm::SelectItemElement>(row)->setCheckmarkImageNamed(str("tick"));
        }
        auto t = tableOf({section});
        for (long row : c.taps)
            EXPECT_TRUE(t->tapRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0))) << c.name;
        EXPECT_EQ(choiceIndexes(section->selectedIndexes()), c.chosen) << c.name;
        EXPECT_EQ(heard, static_cast<int>(c.taps.size())) << c.name;
        EXPECT_EQ(marks(t), c.shown) << c.name;
        EXPECT_EQ(choiceTexts(section->selectedItems()), c.items) << c.name;
        t->reloadData(); // new cells show the same
        EXPECT_EQ(marks(t), c.shown) << c.name;
    }
}

TEST_F(ChoiceDateTest, SelectAndRadioSectionsBuildReadAndWriteTheirChoice) {
    auto byItems = rt::make<fm::SelectSection>(fm::SelectSection::ByItems{}, choiceStrings({"a", "b", "c"}),
                                               choiceStrings({"c", "x", "a"}), str("Pick"));
    EXPECT_EQ(choiceIndexes(byItems->selectedIndexes()), (std::vector<long>{2, 0}));
    EXPECT_EQ(byItems->title()->utf8(), "Pick");
    byItems->selectedIndexes()->addObject(ns::Number::withLong(9)); // out of range: skipped
    EXPECT_EQ(choiceTexts(byItems->selectedItems()), (std::vector<std::string>{"c", "a"}));

    byItems->insertOption(str("new"), 1);
    std::vector<std::string> rows;
    for (const auto& row : *byItems->elements()) {
        const auto option = rt::cast<fm::SelectItemElement>(row);
        rows.push_back(option->title()->utf8() + std::to_string(option->index()));
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"a0", "new1", "b2", "c3"}));
    EXPECT_EQ(choiceIndexes(byItems->selectedIndexes()), (std::vector<long>{3, 0, 9 + 1}));
    byItems->addOption(str("last"));
    EXPECT_EQ(byItems->elements()->size(), 5u);
    byItems->setItems(choiceStrings({"p", "q"}));
    EXPECT_EQ(byItems->elements()->size(), 2u);

    byItems->setKey(str("picked"));
    auto values = ns::MutableDictionary::make();
    byItems->fetchValueIntoObject(values);
    EXPECT_EQ(values->objectForKey("picked"), rt::Id(byItems->selectedIndexes()));

    struct Case {
        long start, set;
        std::vector<long> after;
    };
    const Case cases[] = {{2, 0, {0}}, {1, 1, {1}}};
    for (const Case& c : cases) {
        auto radio =
            rt::make<fm::RadioSection>(choiceStrings({"a", "b", "c"}), static_cast<std::size_t>(c.start));
        EXPECT_EQ(radio->selected(), c.start);
        EXPECT_FALSE(radio->multipleAllowed());
        radio->setSelected(c.set);
        EXPECT_EQ(radio->selected(), c.set);
        EXPECT_EQ(choiceIndexes(radio->selectedIndexes()), c.after);
    }
    auto empty = rt::make<fm::RadioSection>(choiceStrings({"a"}), choiceNumbers({}));
    EXPECT_EQ(empty->selected(), -1);
    empty->setSelected(0);
    EXPECT_EQ(choiceIndexes(empty->selectedIndexes()), (std::vector<long>{0}));
}

TEST_F(ChoiceDateTest, ASelectSectionKeepsItsOptionsWhenBound) {
    struct Case {
        const char* bind;
        std::optional<std::vector<const char*>> list; // under "list"
        bool withTemplate;
        const char* rows; // 'o' option rows, else the template rows' titles
    };
    const Case cases[] = {
        {nullptr, {}, false, "o:a o:b o:c "},
        {"iterate:list", std::vector<const char*>{}, false, "o:a o:b o:c "}, // the empty row gives way
        {"iterate:list", {}, false, "o:a o:b o:c "},                         // nothing to iterate
        {"iterate:list", std::vector<const char*>{"x", "y"}, true, "x y "},  // template rows stay
    };
    for (const Case& c : cases) {
        auto root = rt::make<fm::RootElement>();
        auto section = rt::make<fm::SelectSection>(choiceStrings({"a", "b", "c"}), choiceNumbers({1}));
        root->addSection(section);
        if (c.bind) section->setBind(str(c.bind));
        if (c.withTemplate)
            section->setElementTemplate(ns::Dictionary::withPairs(
                {{str("type"), str("FMLabelElement")}, {str("bind"), str("title:self")}}));
        auto data = ns::MutableDictionary::make();
        if (c.list) {
            std::vector<rt::Id> list;
            for (const char* item : *c.list)
                list.push_back(str(item));
            data->setObjectForKey(ns::Array::make(std::move(list)), str("list"));
        }
        root->bindToObject(data);
        std::string rows;
        for (const auto& row : *section->elements())
            rows += (rt::cast<fm::SelectItemElement>(row) ? "o:" : "") +
                    rt::cast<fm::RootElement>(row)->title()->utf8() + " ";
        EXPECT_EQ(rows, c.rows) << (c.bind ? c.bind : "no binding");
    }
}

TEST_F(ChoiceDateTest, RadioItemsInARadioSectionSetItsChoiceAndAreFreedWithIt) {
    rt::Weak<fm::RadioSection> gone;
    rt::Weak<fm::RadioItemElement> goneItem;
    {
        auto section =
            rt::make<fm::RadioSection>(choiceStrings({"a", "b", "c"}), static_cast<std::size_t>(0));
        section->removeAllElements();
        for (std::size_t i = 0; i < 3; ++i) {
            auto item = rt::make<fm::RadioItemElement>(i, section);
            item->setTitle(str(std::string(1, static_cast<char>('a' + i))));
            section->Section::addElement(item);
        }
        int heard = 0;
        section->setOnSelected([&] { ++heard; });
        auto t = tableOf({section});
        EXPECT_EQ(marks(t), "v..");
        EXPECT_TRUE(t->tapRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(2, 0)));
        EXPECT_EQ(marks(t), "..v");
        EXPECT_EQ(section->selected(), 2);
        EXPECT_EQ(heard, 1);
        gone = section;
        goneItem = rt::cast<fm::RadioItemElement>((*section->elements())[0]);
        form = nullptr;
    }
    EXPECT_FALSE(gone.lock());
    EXPECT_FALSE(goneItem.lock());
}

TEST_F(ChoiceDateTest, ARadioRowShowsAndWritesItsChoice) {
    ui::Image::registerImageNamed("red", {10, 10});
    ui::Image::registerImageNamed("blue", {20, 20});
    struct Case {
        const char* name;
        long selected;
        bool withValues;
        const char* shown;   // in the row's field
        const char* written; // under the key; nullptr: nothing
    };
    const Case cases[] = {
        {"values", 2, true, "three", "30"},
        {"index", 2, false, "three", "2"},
        {"none", -1, true, "", nullptr},
        {"past the items", 3, false, "", nullptr},
    };
    for (const Case& c : cases) {
        auto radio =
            rt::make<fm::RadioElement>(choiceStrings({"one", "two", "three"}), c.selected, str("Size"));
        radio->setKey(str("size"));
        if (c.withValues) radio->setValues(choiceNumbers({10, 20, 30}));
        auto t = table({radio});
        auto cell = rt::cast<fm::EntryTableViewCell>(t->cellForElement(radio));
        ASSERT_TRUE(cell) << c.name;
        EXPECT_EQ(cell->textField()->text()->utf8(), c.shown) << c.name;
        EXPECT_FALSE(cell->textField()->isUserInteractionEnabled()) << c.name;
        EXPECT_EQ(cell->accessoryType(), ui::TableViewCellAccessoryType::DisclosureIndicator) << c.name;
        EXPECT_EQ(radio->preselectedElementIndex() != nullptr, c.selected >= 0 && c.selected < 3) << c.name;
        EXPECT_FALSE(radio->canTakeFocus());
        auto values = ns::MutableDictionary::make();
        radio->fetchValueIntoObject(values);
        const rt::Id written = values->objectForKey("size");
        EXPECT_EQ(written ? written->description() : "nil", c.written ? c.written : "nil") << c.name;
    }

    auto radio = rt::make<fm::RadioElement>(choiceStrings({"one", "two"}), 0, nullptr);
    radio->setValues(choiceStrings({"x", "y"}));
    radio->setItemsImageNames(choiceStrings({"red"})); // short: the second item has no image
    int changes = 0;
    radio->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    struct Step {
        rt::Id value;
        long selected;
        double imageWidth;
    };
    const Step steps[] = {
        {ns::Number::withInt(1), 1, 0}, {str("x"), 0, 10}, {str("zz"), fm::RadioElement::NotFound, 0}};
    for (const Step& s : steps) {
        radio->setImage(nullptr);
        radio->setSelectedValue(s.value);
        EXPECT_EQ(radio->selected(), s.selected);
        EXPECT_EQ(radio->image() ? radio->image()->size().width : 0, s.imageWidth);
    }
    EXPECT_EQ(changes, 3);
    EXPECT_FALSE(radio->selectedItem());
    EXPECT_FALSE(radio->preselectedElementIndex()); // never a row the list does not have
    radio->setSelectedItem(str("two"));
    EXPECT_EQ(radio->selected(), 1);
    EXPECT_EQ(radio->selectedValue()->description(), "y");
}

class ChoiceDateAppTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ns::TimeZone::setSystemTimeZoneName("UTC");
        window = rt::make<ui::Window>();
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        window = nullptr;
        fm::Element::removeClassAppearances();
        ns::TimeZone::setSystemTimeZoneName("");
        AppTest::TearDown();
    }
    // A form of the elements, shown in a navigation controller.
    rt::Ref<fm::FormController> show(std::initializer_list<rt::Ref<fm::Element>> members) {
        auto root = rt::make<fm::RootElement>();
        auto section = rt::make<fm::Section>();
        for (const auto& member : members)
            section->addElement(member);
        root->addSection(section);
        auto controller = rt::make<fm::FormController>(root);
        navigation = ui::NavigationController::withRootViewController(controller);
        window->setRootViewControllerObject(navigation);
        app().advance(1);
        return controller;
    }
    rt::Ref<fm::FormController> top() const {
        return rt::cast<fm::FormController>(navigation->viewControllers()->lastObject());
    }

    rt::Ref<ui::Window> window;
    rt::Ref<ui::NavigationController> navigation;
};

TEST_F(ChoiceDateAppTest, ARadioRowOpensItsListAndATapChoosesAndClosesIt) {
    auto plain = rt::make<fm::RadioElement>();
    auto disabled = rt::make<fm::RadioElement>(choiceStrings({"a"}), 0, str("Off"));
    disabled->setEnabled(false);
    auto radio = rt::make<fm::RadioElement>(choiceStrings({"one", "two", "three"}), 1, str("Size"));
    int changes = 0, actions = 0;
    radio->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    radio->setOnSelected([&] { ++actions; });
    auto form = show({plain, disabled, radio});
    auto table = form->formTableView();
    EXPECT_EQ(rt::cast<fm::EntryTableViewCell>(table->cellForElement(radio))->textField()->text()->utf8(),
              "two");
    EXPECT_EQ(table->cellForElement(disabled)->accessoryType(), ui::TableViewCellAccessoryType::None);

    ASSERT_TRUE(app().tapRow(table, 0));                       // nothing to open
    disabled->selected(table, form, disabled->getIndexPath()); // its row takes no touches at all
    app().advance(1);
    EXPECT_EQ(navigation->viewControllers()->count(), 1u);
    ASSERT_TRUE(app().tapRow(table, 2));
    app().advance(1);
    ASSERT_EQ(navigation->viewControllers()->count(), 2u);
    auto list = top()->formTableView();
    EXPECT_EQ(marks(list), ".v.");

    ASSERT_TRUE(app().tapRow(list, 2));
    EXPECT_EQ(marks(list), "..v");
    EXPECT_EQ(radio->selected(), 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(actions, 1);
    EXPECT_FALSE(app().tapRow(list, 0)); // refused until the list closes
    app().advance(0.2);
    EXPECT_EQ(navigation->viewControllers()->count(), 2u);
    app().advance(1);
    EXPECT_EQ(navigation->viewControllers()->count(), 1u);
    EXPECT_EQ(radio->selected(), 2);

    radio->setValues(choiceNumbers({10, 20, 30}));
    radio->setSelectedValue(str("unknown")); // no row to mark: the list still opens
    ASSERT_TRUE(app().tapRow(table, 2));
    app().advance(1);
    ASSERT_EQ(navigation->viewControllers()->count(), 2u);
    EXPECT_EQ(marks(top()->formTableView()), "...");
}

// Back while the list waits to close takes the list away; the close then leaves the form under it.
TEST_F(ChoiceDateAppTest, BackRightAfterARadioChoiceGoesBackOneScreen) {
    auto radio = rt::make<fm::RadioElement>(choiceStrings({"one", "two"}), 0, str("Size"));
    auto nested = rt::make<fm::RootElement>();
    nested->addSection(rt::make<fm::Section>());
    nested->getSectionForIndex(0)->addElement(radio);
    show({nested});
    for (int tap = 0; tap < 2; ++tap) { // the nested form, then the radio list
        ASSERT_TRUE(app().tapRow(top()->formTableView(), 0));
        app().advance(1);
    }
    ASSERT_EQ(navigation->viewControllers()->count(), 3u);
    ASSERT_TRUE(app().tapRow(top()->formTableView(), 1));
    ASSERT_TRUE(app().tapBack());
    app().advance(1);
    EXPECT_EQ(radio->selected(), 1);
    ASSERT_EQ(navigation->viewControllers()->count(), 2u);
    EXPECT_EQ(top()->root(), nested);
}

TEST_F(ChoiceDateAppTest, ASegmentedRowChoosesInPlace) {
    ui::Image::registerImageNamed("dot", {8, 8});
    auto segmented = rt::make<fm::SegmentedElement>(choiceStrings({"red", "dot"}), 0, nullptr);
    const auto image = rt::cast<ui::Image>((*segmented->items())[1]);
    ASSERT_TRUE(image);
    const auto held = segmented->items();
    segmented->setItems(held); // the same array: kept as it is
    EXPECT_EQ(segmented->items(), held);
    EXPECT_FALSE(segmented->sections());
    int changes = 0, actions = 0;
    segmented->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    segmented->setOnSelected([&] { ++actions; });
    auto form = show({segmented});
    auto cell = form->formTableView()->cellForElement(segmented);
    auto control =
        rt::cast<ui::SegmentedControl>(cell->contentView()->viewWithTag(fm::SegmentedElement::controlTag));
    ASSERT_TRUE(control);
    EXPECT_EQ(control->titleForSegmentAtIndex(0)->utf8(), "red");
    EXPECT_EQ(control->imageForSegmentAtIndex(1), image);
    EXPECT_NE(segmented->getCellForTableView(form->formTableView(), form), cell); // a new cell each time

    const auto preselected = segmented->preselectedElementIndex();
    ASSERT_TRUE(app().tapSegment(control, 1));
    EXPECT_EQ(segmented->selected(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(segmented->preselectedElementIndex(), preselected);
    EXPECT_FALSE(app().tapSegment(control, 2));

    auto dict = ns::MutableDictionary::make();
    for (const char* key : {"k1", "k2", "dot"})
        dict->setObjectForKey(str(std::string("v") + key), str(key));
    for (const auto& made : {rt::make<fm::RadioElement>(rt::Ref<ns::Dictionary>(dict), 1, str("Pick")),
                             rt::Ref<fm::RadioElement>(rt::make<fm::SegmentedElement>(
                                 rt::Ref<ns::Dictionary>(dict), 1, str("Pick")))}) {
        std::vector<std::string> pairs;
        for (std::size_t i = 0; i < 3; ++i) {
            const auto image = rt::cast<ui::Image>((*made->items())[i]);
            pairs.push_back((image ? "image" : (*made->items())[i]->description()) + "=" +
                            (*made->values())[i]->description());
        }
        const bool segmented = rt::cast<fm::SegmentedElement>(made) != nullptr;
        EXPECT_EQ(pairs,
                  (std::vector<std::string>{"k1=vk1", "k2=vk2", segmented ? "image=vdot" : "dot=vdot"}));
        EXPECT_EQ(made->selected(), 1);
        EXPECT_EQ(made->title()->utf8(), "Pick");
    }
}

TEST_F(ChoiceDateAppTest, ADateRowOpensItsSubFormAndTakesTheTimeBack) {
    const double now = choiceDateNewYear;
    auto element = rt::make<fm::DateTimeElement>(str("Alarm"), choiceDateAt(now + 3 * 86400 + 3600));
    element->setMode(0);
    auto form = show({element});
    EXPECT_EQ(form->formTableView()->cellForElement(element)->detailTextLabel()->text()->utf8(), "1:00 AM");
    ASSERT_TRUE(app().tapRow(form->formTableView(), 0));
    app().advance(1);
    ASSERT_EQ(navigation->viewControllers()->count(), 2u);
    auto sub = top()->formTableView();
    EXPECT_FALSE(sub->isScrollEnabled());
    // Its first row, selected as it opened, deselected as it appeared: the push starts after the
    // tap's turn.
    EXPECT_FALSE(sub->indexPathForSelectedRow());
    auto time = rt::cast<fm::DateTimeInlineElement>(element->elementWithKey("time"));
    time->setDateValue(choiceDateAt(now + 40 * 86400 + 8 * 3600 + 15 * 60));
    ASSERT_TRUE(app().tapBack());
    app().advance(1);
    EXPECT_EQ(element->dateValue()->timeIntervalSince1970(), now + 8 * 3600 + 15 * 60); // today at 08:15
}

// A row shows what its own screen changed, as a user would there, as soon as the form is back on
// screen (not once scrolled away and back): each kind of row with a screen of its own.
TEST_F(ChoiceDateAppTest, ARowShowsWhatItsOwnScreenChangedOnceTheFormIsBack) {
    const auto topTable = [&] { return top() ? top()->formTableView() : nullptr; };
    auto colours = rt::make<fm::RootElement>();
    colours->setTitle(str("Colours"));
    colours->addSection(rt::make<fm::SelectSection>(choiceStrings({"one", "two", "three"}), std::size_t{0}));
    auto alarm = rt::make<fm::DateTimeElement>(str("Alarm"), choiceDateAt(3600));
    alarm->setMode(0);
    auto photo = rt::make<fm::ImageElement>(str("Photo"), ui::Image::imageWithSize({10, 10}));
    const struct {
        rt::Ref<fm::Element> element;
        std::function<bool()> change; // on the row's own screen, which closes or is left with Back
        std::string shows;            // the cell's labels, its field and its thumbnail's size
    } kinds[] = {
        {rt::make<fm::MultilineElement>(str("Notes"), str("old")),
         [&] {
             const auto editor = rt::cast<fm::MultilineTextViewController>(app().topViewController());
             return editor && app().typeText(editor->textView(), " new") && app().tapBack();
         },
         "Notes old new"},
        {rt::make<fm::RadioElement>(choiceStrings({"one", "two", "three"}), 0, str("Size")),
         [&] { return app().tapRow(topTable(), 2); }, "Size three"},
        {colours, [&] { return app().tapRow(topTable(), 2) && app().tapBack(); }, "Colours"},
        {alarm,
         [&] {
             const auto time = rt::cast<fm::DateEntryTableViewCell>(
                 topTable() ? topTable()->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(0, 0)) : nullptr);
             return time && app().tapRow(topTable(), 0) && app().pickDate(time->pickerView(), 8 * 3600 + 15 * 60) &&
                    app().tapBack();
         },
         "Alarm 8:15 AM"},
        {photo, [&] { return app().driver().pickImage(photo->imagePickerController(), ui::Image::imageWithSize({20, 20})); },
         "Photo 20x20"},
    };
    for (const auto& row : kinds) {
        SCOPED_TRACE(row.element->getClass().name());
        const auto table = show({row.element})->formTableView();
        ASSERT_TRUE(app().tapRow(table, 0));
        app().advance(1);
        ASSERT_TRUE(row.change());
        app().advance(1);
        ASSERT_EQ(app().topViewController(), navigation->viewControllers()->firstObject());
        const auto cell = table->cellForElement(row.element);
        ASSERT_TRUE(cell);
        std::string shows;
        for (const std::string& text : sim::Driver::labelTexts(*cell)) shows += (shows.empty() ? "" : " ") + text;
        if (const auto entry = rt::cast<fm::EntryTableViewCell>(cell); entry && entry->textField())
            shows += " " + entry->textField()->text()->utf8();
        if (const auto image = rt::cast<fm::ImageTableViewCell>(cell)) {
            const cg::Size size = image->imageViewButton()->imageForState(ui::ControlStates::Normal)->size();
            shows += " " + std::to_string(int(size.width)) + "x" + std::to_string(int(size.height));
        }
        EXPECT_EQ(shows, row.shows);
    }
}

TEST_F(ChoiceDateAppTest, TheDriverSpinsAPickerLikeAPerson) {
    auto picker = app().onScreen(rt::make<ui::DatePicker>());
    picker->sizeToFit(); // where a finger finds it
    auto listener = rt::make<ChoiceDateListener>();
    picker->addTargetActionForControlEvents(listener, rt::Sel("changed:"), ui::ControlEvent::ValueChanged);
    picker->setMinimumDate(choiceDateAt(choiceDateNewYear));
    struct Case {
        bool duration;
        double value;
        double held;
    };
    const Case cases[] = {{false, choiceDateNewYear + 60, choiceDateNewYear + 60},
                          {false, 0, choiceDateNewYear},
                          {true, 90, 90},
                          {true, -5, 0}};
    for (const Case& c : cases) {
        picker->setDate(choiceDateAt(choiceDateNewYear + 1));
        ASSERT_TRUE(c.duration ? app().pickDuration(picker, c.value) : app().pickDate(picker, c.value));
        EXPECT_EQ(c.duration ? picker->countDownDuration() : picker->date()->timeIntervalSince1970(), c.held);
    }
    picker->setEnabled(false);
    EXPECT_FALSE(app().pickDate(picker, 0));
    EXPECT_EQ(listener->heard, 4); // one per spin, none from code or when refused
    EXPECT_EQ(picker->frame().size, (cg::Size{320, 216}));
}

} // namespace
