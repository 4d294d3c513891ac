// Entry rows: the length limit and the delegate, the keyboard toolbar's focus walk, the return
// and "Done" keys, and the row geometry (model font: a character at size S is 0.625 S wide).

#include <gtest/gtest.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/value.h"
#include "platform/uikit/keyboard.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/class.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/toolbar.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/date_time_elements.h"
#include "ui/forms/elements/entry_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/image_element.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"
#include "tests/ui/forms/form_test_support.h"

namespace {

using ns::str;

std::vector<std::string>& entryHeard() {
    static std::vector<std::string> heard;
    return heard;
}

// Records the entry callbacks; vetoes changes when told to.
class EntryTestDelegate : public rt::Object {
    RT_CLASS(EntryTestDelegate)
public:
    bool allow = true, answerReturn = true;
    bool shouldChange(ns::Range, const rt::Ref<ns::String>& text, const rt::Id&, const rt::Id&) {
        entryHeard().push_back("change " + text->utf8());
        return allow;
    }
    void note(const char* what) { entryHeard().push_back(what); }
    void didBegin(const rt::Id&, const rt::Id&) { note("begin"); }
    void didEnd(const rt::Id&, const rt::Id&) { note("end"); }
    void edited(const rt::Id&, const rt::Id&) { note("edited"); }
    bool shouldReturn(const rt::Id&, const rt::Id&) {
        note("return");
        return answerReturn;
    }
    void mustReturn(const rt::Id&, const rt::Id&) { note("must return"); }
};

// An entry that refuses the focus.
class EntryTestUnfocusable : public fm::EntryElement {
    RT_CLASS(EntryTestUnfocusable)
public:
    bool canTakeFocus() const override { return false; }
};

} // namespace

RT_DEFINE_CLASS(EntryTestDelegate, "EntryTestDelegate", rt::Object,
                rt::method("FMEntryShouldChangeCharactersInRange:withString:forElement:andCell:",
                           &EntryTestDelegate::shouldChange),
                rt::method("FMEntryDidBeginEditingElement:andCell:", &EntryTestDelegate::didBegin),
                rt::method("FMEntryDidEndEditingElement:andCell:", &EntryTestDelegate::didEnd),
                rt::method("FMEntryEditingChangedForElement:andCell:", &EntryTestDelegate::edited),
                rt::method("FMEntryShouldReturnForElement:andCell:", &EntryTestDelegate::shouldReturn),
                rt::method("FMEntryMustReturnForElement:andCell:", &EntryTestDelegate::mustReturn))
RT_DEFINE_CLASS(EntryTestUnfocusable, "EntryTestUnfocusable", fm::EntryElement)

namespace {

class EntryTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        entryHeard().clear();
        controller = rt::make<ui::ViewController>();
        delegate = rt::make<EntryTestDelegate>();
    }
    void TearDown() override {
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        fm::Element::removeClassAppearances();
        VirtualTimeTest::TearDown();
    }
    rt::Ref<fm::EntryElement> entry(const char* title, const char* text = "") {
        auto made = rt::make<fm::EntryElement>(title ? str(title) : nullptr, str(text), nullptr);
        made->setDelegate(delegate);
        return made;
    }
    rt::Ref<fm::Section> section(std::initializer_list<rt::Ref<fm::EntryElement>> members) {
        auto made = rt::make<fm::Section>();
        for (const auto& member : members)
            made->addElement(member);
        return made;
    }
    rt::Ref<fm::FormTableView> table(std::initializer_list<rt::Ref<fm::Section>> sections) {
        form = rt::make<fm::RootElement>();
        return forms_test::loadedTable(controller, form, sections);
    }
    static rt::Ref<fm::EntryTableViewCell> cellOf(const rt::Ref<fm::FormTableView>& t,
                                                  const rt::Ref<fm::EntryElement>& e) {
        return rt::cast<fm::EntryTableViewCell>(t->cellForElement(e));
    }
    static rt::Ref<fm::Element> focused() {
        for (auto r = ui::Responder::currentFirstResponder(); r; r = r->nextResponder())
            if (auto cell = rt::cast<fm::EntryTableViewCell>(r)) return cell->element();
        return nullptr;
    }

    rt::Ref<ui::ViewController> controller;
    rt::Ref<EntryTestDelegate> delegate;
    rt::Ref<fm::RootElement> form;
};

TEST_F(EntryTest, TheLengthLimitLooksAtTheCurrentLengthAndTheDelegateHasTheLastWord) {
    struct Case {
        const char* name;
        int limit;
        const char* start;
        ns::Range range;
        const char* typed;
        bool allow;
        const char* expected;
    };
    const Case cases[] = {
        {"a sixth character", 5, "abcde", {5, 0}, "f", true, "abcde"},
        {"a delete", 5, "abcde", {4, 1}, "", true, "abcd"},
        {"one for one", 5, "abcde", {0, 1}, "z", true, "zbcde"},
        {"a paste into a shorter text", 5, "abc", {3, 0}, "defgh", true, "abcdefgh"},
        {"no limit", 0, "abcdefgh", {8, 0}, "i", true, "abcdefghi"},
        {"the delegate's veto", 5, "abc", {3, 0}, "d", false, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto e = entry("T", c.start);
        e->setMaxLength(c.limit);
        delegate->allow = c.allow;
        auto t = table({section({e})});
        auto field = cellOf(t, e)->textField();
        ASSERT_TRUE(field->becomeFirstResponder());
        field->replace(c.range, c.typed);
        EXPECT_EQ(field->text()->utf8(), c.expected);
        EXPECT_EQ(e->textValue()->utf8(), c.expected);
    }
}

TEST_F(EntryTest, TheToolbarWalksTheFocusableEntriesOnly) {
    auto first = entry("a"), disabled = entry("b"), hidden = entry("c"), inHidden = entry("e"), last = entry("f");
    rt::Ref<fm::EntryElement> unfocusable = rt::make<EntryTestUnfocusable>();
    disabled->setEnabled(false);
    hidden->setHidden(true);
    first->setKeepSelected(true);
    auto shut = section({inHidden});
    shut->setHidden(true);
    auto t = table({section({first, disabled, hidden}), section({unfocusable}), shut, section({last})});
    struct Case {
        rt::Ref<fm::EntryElement> at;
        bool previous, next;
    };
    for (const Case& c : {Case{first, false, true}, Case{last, true, false}}) {
        auto control = cellOf(t, c.at)->previousNextControl();
        ASSERT_TRUE(control);
        EXPECT_EQ(control->isEnabledForSegmentAtIndex(0), c.previous);
        EXPECT_EQ(control->isEnabledForSegmentAtIndex(1), c.next);
    }
    // "Next" from the first goes straight to the last; "Previous" back; the row kept selected is
    // deselected and the segment is none again.
    auto cell = cellOf(t, first);
    ASSERT_TRUE(cell->becomeFirstResponder());
    t->selectRowAtIndexPath(first->getIndexPath(), false);
    cell->previousNextControl()->setSelectedSegmentIndex(1);
    cell->handleActionBarPreviousNext(cell->previousNextControl());
    EXPECT_EQ(focused(), last);
    EXPECT_EQ(t->indexPathForSelectedRow(), nullptr);
    EXPECT_EQ(cell->previousNextControl()->selectedSegmentIndex(), -1);
    auto back = cellOf(t, last);
    back->previousNextControl()->setSelectedSegmentIndex(0);
    back->handleActionBarPreviousNext(back->previousNextControl());
    EXPECT_EQ(focused(), first);
    runFor(0.1); // the begin-editing scrolls run without a fault
}

// A row whose cell has no text input (the image row, the date row unfolding its picker in place)
// is no focus target: the entry before it, the last one, ends with "Done". The date row editing
// with a picker for keyboard has its hidden field and is one.
TEST_F(EntryTest, RowsWithoutATextInputAreNoFocusTargets) {
    auto inlineDate = rt::make<fm::DateTimeInlineElement>(str("When"), ns::Date::now(), 1);
    inlineDate->setShowPickerInCell(true);
    const std::pair<rt::Ref<fm::EntryElement>, bool> cases[] = {
        {rt::make<fm::ImageElement>(str("Photo"), nullptr), false},
        {inlineDate, false},
        {rt::make<fm::DateTimeInlineElement>(str("When"), ns::Date::now(), 1), true},
    };
    for (const auto& [after, next] : cases) {
        SCOPED_TRACE(testing::Message() << after->getClass().name() << (next ? " with a field" : ""));
        auto first = entry("a");
        auto t = table({section({first, after})});
        EXPECT_EQ(after->canTakeFocus(), next);
        auto cell = cellOf(t, first);
        ASSERT_TRUE(cell->becomeFirstResponder());
        EXPECT_EQ(cell->previousNextControl()->isEnabledForSegmentAtIndex(1), next);
        EXPECT_EQ(cell->textField()->returnKeyType(), next ? 4 : 9);
        cell->textField()->resignFirstResponder();
    }
}

// A target the table shows no cell for (a section it has not loaded yet) is focused once a cell
// shows 0.3 s later, and left alone when none does.
TEST_F(EntryTest, ATargetOffScreenIsFocusedAfterTheWaitOnlyWhenItsCellShows) {
    for (const bool loads : {true, false}) {
        SCOPED_TRACE(loads ? "loaded meanwhile" : "still away");
        auto first = entry("a"), away = entry("b");
        auto t = table({section({first})});
        form->addSection(section({away}));
        auto cell = cellOf(t, first);
        ASSERT_TRUE(cell->becomeFirstResponder());
        cell->previousNextControl()->setSelectedSegmentIndex(1);
        cell->handleActionBarPreviousNext(cell->previousNextControl());
        EXPECT_EQ(focused(), first);
        if (loads) t->reloadData();
        runFor(0.29);
        EXPECT_NE(focused(), away);
        runFor(0.02);
        EXPECT_EQ(focused(), loads ? away : first);
    }
}

TEST_F(EntryTest, ReturnAndDoneMoveOrEndTheFocusAndTellTheDelegate) {
    auto a = entry("a"), b = entry("b");
    a->setKey(str("first"));
    auto t = table({section({a, b})});
    t->setFrame(cg::Rect::make(0, 0, 320, 60)); // two rows of 44: room to scroll by 28
    auto first = cellOf(t, a), second = cellOf(t, b);
    double keyboard = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ui::UIKeyboardWillShowNotification, nullptr, nullptr, [&](const rt::Ref<ns::Notification>& note) {
            auto frame = rt::cast<ns::Value>(note->userInfo()->objectForKey(ui::UIKeyboardFrameEndUserInfoKey));
            keyboard = frame->get<cg::Rect>().height();
        });
    ASSERT_TRUE(t->tapRowAtIndexPath(a->getIndexPath())); // a tap on the row focuses its field
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_TRUE(first->textField()->isEditing());
    EXPECT_EQ(keyboard, ui::kKeyboardHeight + 44); // the toolbar joins the keys
    EXPECT_EQ(first->textField()->returnKeyType(), 4);
    first->textField()->insertText("x");
    delegate->answerReturn = false;
    EXPECT_FALSE(rt::send<bool>(rt::Id(first), rt::Sel("textFieldShouldReturn:"), first->textField()));
    EXPECT_EQ(focused(), b); // the focus moved before the delegate answered
    EXPECT_EQ(second->textField()->returnKeyType(), 9);
    runFor(0.04);
    EXPECT_EQ(t->contentOffset().y, 0);
    runFor(0.02); // the row's middle (66) to the table's middle (30), stopped at the content's end
    EXPECT_EQ(t->contentOffset().y, 88 - 60);
    EXPECT_TRUE(second->textField()->pressReturn());
    EXPECT_EQ(focused(), nullptr);
    ASSERT_TRUE(second->becomeFirstResponder());
    EXPECT_FALSE(second->handleActionBarDone(nullptr));
    EXPECT_EQ(ui::Responder::currentFirstResponder(), nullptr);
    EXPECT_EQ(entryHeard(), (std::vector<std::string>{"begin", "change x", "edited", "end", "begin", "return", "end",
                                                      "return", "begin", "end", "must return"}));
    // The text is written under the key, nil included.
    auto record = ns::MutableDictionary::make();
    a->fetchValueIntoObject(record);
    EXPECT_EQ(rt::cast<ns::String>(record->objectForKey(str("first")))->utf8(), "x");
    a->setTextValue(nullptr);
    a->fetchValueIntoObject(record);
    EXPECT_EQ(record->objectForKey(str("first")), nullptr);
    // An element without toolbar gives its field none.
    b->setHiddenToolbar(true);
    second->prepareForElement(b, t);
    EXPECT_EQ(second->textField()->inputAccessoryView(), nullptr);
}

TEST_F(EntryTest, FieldsOfASectionLineUpBehindTheWidestTitle) {
    auto look = rt::make<fm::Appearance>();
    look->setLabelFont(ui::Font::systemFontOfSize(16)); // a title character is 10 wide
    fm::Element::setClassAppearance(fm::Element::staticClass(), look);
    auto shortTitle = entry("ab"), longTitle = entry("abcdef"), pictured = entry("abc");
    auto image = ui::Image::imageWithSize({30, 30});
    pictured->setImage(image);
    auto t = table({section({shortTitle, longTitle}), section({pictured})});
    cellOf(t, pictured)->imageView()->setFrame(cg::Rect::make(0, 0, 30, 30)); // the platform leaves it unsized
    auto x = [&](const rt::Ref<fm::EntryElement>& e) {
        auto cell = cellOf(t, e);
        cell->layoutIfNeeded();
        return cell->textField()->frame().minX();
    };
    EXPECT_EQ(x(shortTitle), 60 + 40);
    EXPECT_EQ(x(longTitle), 60 + 40);
    longTitle->setTitle(str("abcdefgh"));
    cellOf(t, shortTitle)->setNeedsLayout();
    EXPECT_EQ(x(shortTitle), 80 + 40);
    EXPECT_EQ(x(pictured), 30 + 30 + 40);
    // Without a clear button the entry frame is 5 points narrower.
    auto cell = cellOf(t, shortTitle);
    const double with = cell->calculateFrameForEntryElement().width();
    cell->textField()->setClearButtonMode(ui::TextFieldViewMode::Never);
    fm::Section& s = *shortTitle->parentSection();
    s.setEntryPosition(cg::Rect::zero());
    EXPECT_EQ(cell->calculateFrameForEntryElement().width(), with - 5);
}

TEST_F(EntryTest, APrefixIsDrawnBeforeTheTextButNeverStored) {
    auto e = entry("T", "42");
    e->setPrefix(str("$"));
    auto t = table({section({e})});
    auto field = cellOf(t, e)->textField();
    field->setFrame(cg::Rect::make(0, 0, 200, 30));
    cg::RecordingContext context;
    ui::renderView(*field, context);
    std::string drawn;
    for (const cg::DrawCommand* run : context.displayList().textRuns())
        for (std::uint32_t c : run->run->glyphs)
            drawn += char(c);
    EXPECT_EQ(drawn, "$42");
    ASSERT_TRUE(field->becomeFirstResponder());
    field->insertText("7");
    EXPECT_EQ(e->textValue()->utf8(), "427");
}

} // namespace
