// Date and time rows (the two picker cells, the countdown, the sub-form of a date element), the
// calendar under them, and the choice rows: select and radio sections, radio lists and segmented
// rows. Virtual time starts at 2026-01-01 00:00:00 UTC; the zone is pinned per test.

#include <tuple>

#include <gtest/gtest.h>

#include "platform/foundation/calendar.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/elements/date_cells.h"
#include "ui/forms/elements/date_time_elements.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"

namespace {

using ns::str;

constexpr double choiceDateNewYear = 1767225600; // 2026-01-01 00:00:00 UTC, the clock's start

rt::Ref<ns::Date> choiceDateAt(double secondsSince1970) {
    return ns::Date::withTimeIntervalSince1970(secondsSince1970);
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
        ns::TimeZone::setSystemTimeZoneName("");
        VirtualTimeTest::TearDown();
    }
    // A form of one section holding the elements, in a table 320 wide.
    rt::Ref<fm::FormTableView> table(std::initializer_list<rt::Ref<fm::Element>> members) {
        form = rt::make<fm::RootElement>();
        auto section = rt::make<fm::Section>();
        for (const auto& member : members)
            section->addElement(member);
        form->addSection(section);
        auto made = rt::make<fm::FormTableView>(controller, form);
        made->setFrame(cg::Rect::make(0, 0, 320, 2000));
        made->reloadData();
        return made;
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
        EXPECT_EQ(built->timeIntervalSince1970(), c.utc) << c.zone << " " << c.local.year << "-" << c.local.month;
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
    const Case cases[] = {{5400, "1 hrs, 30 mins"}, {600, "10 mins"}, {3600, "1 hrs, 0 mins"}, {-90, "0 mins"}};
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
            EXPECT_EQ(rt::cast<fm::DateTimeInlineElement>(row)->ticksValue()->doubleValue(), choiceDateNewYear + 3600 - (keys.back() == "date" ? 3600 : 0));
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
    picked->setObjectForKey(choiceDateAt(choiceDateNewYear + 5 * 86400 + 8 * 3600 + 15 * 60 + 7), str("time"));
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
        EXPECT_EQ(log.contains("This control was not created to handle this time of UIDatePickerMode"), b.mode == 7);
    }
}

} // namespace
