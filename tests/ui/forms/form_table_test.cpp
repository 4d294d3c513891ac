// The form's table: sections and rows through the visible members, headers, the display order
// of appearance and form delegate, look-ups, deletes and moves mapped through hidden elements,
// rows that follow each change of the members; and the progress and text rows. Layout figures
// come from the model font: at size S a line is S high.

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/uikit/font.h"
#include "platform/uikit/progress_view.h"
#include "platform/uikit/view_controller.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/progress_element.h"
#include "ui/forms/elements/text_element.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"
#include "tests/ui/forms/form_test_support.h"

namespace {

using ns::str;
using Strings = std::vector<std::string>;

Strings& formTableHeard() {
    static Strings heard;
    return heard;
}

// Counts the cells made for it.
class FormTableCountingElement : public fm::Element {
    RT_CLASS(FormTableCountingElement)
public:
    int cells = 0;
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override {
        ++cells;
        return Element::getCellForTableView(table, controller);
    }
};

// A section that accepts moves, as sorting sections do.
class FormTableMovableSection : public fm::Section {
    RT_CLASS(FormTableMovableSection)
public:
    bool acceptsRowMoves() const override { return true; }
};

// Records what it is told and builds a header of a known tag.
class FormTableAppearance : public fm::Appearance {
    RT_CLASS(FormTableAppearance)
public:
    rt::Ref<ui::View> buildHeaderForSection(const rt::Ref<fm::Section>&, const rt::Ref<ui::TableView>&,
                                            long index) override {
        formTableHeard().push_back("build " + std::to_string(index));
        auto view = rt::make<ui::View>();
        view->setTag(900 + index);
        return view;
    }
    double heightForHeaderInSection(const rt::Ref<fm::Section>&, const rt::Ref<ui::TableView>&, long) override {
        return 10;
    }
    void cellWillAppearForElement(const rt::Ref<ui::TableViewCell>&, const rt::Ref<fm::Element>&,
                                  const rt::Ref<ns::IndexPath>& path) override {
        formTableHeard().push_back("appearance " + std::to_string(path->row()));
    }
};

// A form delegate that records, vetoes deletes when told to, and may set a section's header.
class FormTableObserver : public ui::ViewController {
    RT_CLASS(FormTableObserver)
public:
    bool allowDelete = true;
    rt::Ref<ui::View> replacement;
    void cellWillAppear(const rt::Id&, const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        formTableHeard().push_back("delegate " + std::to_string(path->row()));
    }
    void headerWillAppear(const rt::Id&, const rt::Id& section, long) {
        if (replacement) rt::cast<fm::Section>(section)->setHeaderView(replacement);
    }
    bool shouldDelete(const rt::Id&) { return allowDelete; }
};

} // namespace

RT_DEFINE_CLASS(FormTableCountingElement, "FormTableCountingElement", fm::Element)
RT_DEFINE_CLASS(FormTableMovableSection, "FormTableMovableSection", fm::Section)
RT_DEFINE_CLASS(FormTableAppearance, "FormTableAppearance", fm::Appearance)
RT_DEFINE_CLASS(FormTableObserver, "FormTableObserver", ui::ViewController,
                rt::method("cell:willAppearForElement:atIndexPath:", &FormTableObserver::cellWillAppear),
                rt::method("header:willAppearForSection:atIndex:", &FormTableObserver::headerWillAppear),
                rt::method("shouldDeleteElement:", &FormTableObserver::shouldDelete))

namespace {

class FormTableTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        formTableHeard().clear();
        controller = rt::make<FormTableObserver>();
    }
    void TearDown() override {
        fm::Element::removeClassAppearances();
        VirtualTimeTest::TearDown();
    }
    static rt::Ref<FormTableCountingElement> element(const char* key, bool hidden = false) {
        auto made = rt::make<FormTableCountingElement>();
        made->setKey(str(key));
        made->setHidden(hidden);
        return made;
    }
    template <class S = fm::Section>
    static rt::Ref<fm::Section> section(std::initializer_list<rt::Ref<FormTableCountingElement>> members,
                                        const char* title = nullptr) {
        rt::Ref<fm::Section> made = rt::make<S>();
        if (title) made->setTitle(str(title));
        for (const auto& member : members)
            made->addElement(member);
        return made;
    }
    rt::Ref<fm::FormTableView> table(std::initializer_list<rt::Ref<fm::Section>> sections) {
        form = rt::make<fm::RootElement>();
        return forms_test::loadedTable(controller, form, sections);
    }
    static std::string keys(const rt::Ref<fm::Section>& s) {
        std::string out;
        for (const auto& member : *s->elements())
            out += member->key()->utf8();
        return out;
    }
    static rt::Ref<ns::IndexPath> at(long row, long section = 0) {
        return ns::IndexPath::indexPathForRowInSection(row, section);
    }

    rt::Ref<FormTableObserver> controller;
    rt::Ref<fm::RootElement> form;
};

TEST_F(FormTableTest, SectionsRowsTitlesAndHeightsComeFromTheVisibleMembers) {
    auto a = element("a"), b = element("b", true), c = element("c"), d = element("d"), e = element("e");
    e->setHeight(70);
    auto hidden = section({d}, "hidden");
    hidden->setHidden(true);
    auto t = table({section({a, b, c}, "first"), hidden, section({e}, "third")});
    EXPECT_EQ(t->numberOfSections(), 2);
    EXPECT_EQ(t->numberOfRowsInSection(0), 2);
    EXPECT_EQ(t->titleForHeaderInSection(1)->utf8(), "third");
    EXPECT_EQ(t->rectForRowAtIndexPath(at(0, 1)).size.height, 70);
    EXPECT_EQ(t->cellForRowAtIndexPath(at(1)), t->cellForElement(c));
    EXPECT_EQ(t->cellForElement(b), nullptr);
    EXPECT_EQ(b->cells, 0);
    EXPECT_EQ(t->indexForElement(e)->section(), 2);
    EXPECT_EQ(t->indexForElement(c)->row(), 2);
}

TEST_F(FormTableTest, HeadersAndCellsShowInTheOrderOfOwnViewAppearanceAndFormDelegate) {
    fm::Element::setClassAppearance(fm::Element::staticClass(), rt::make<FormTableAppearance>());
    auto own = rt::make<ui::View>(), replacement = rt::make<ui::View>();
    auto first = section({element("a")}), second = section({element("b")});
    first->setHeaderView(own);
    controller->replacement = replacement;
    auto t = table({first, second});
    formTableHeard().clear();
    t->setFormDelegate(controller);
    t->reloadData();
    // The section's own view without asking the appearance; the one the delegate sets in place of
    // the built one; each cell seen by the appearance, then the delegate.
    EXPECT_EQ(formTableHeard(), (Strings{"appearance 0", "delegate 0", "build 1", "appearance 0", "delegate 0"}));
    EXPECT_EQ(own->superview(), t);
    EXPECT_EQ(replacement->superview(), t);
}

TEST_F(FormTableTest, DisabledRowsRefuseTapsAndReloadsTouchOnlyTheVisibleRows) {
    auto on = element("on"), off = element("off"), hidden = element("h", true);
    off->setEnabled(false);
    auto t = table({section({on, off, hidden})});
    EXPECT_TRUE(t->tapRowAtIndexPath(at(0)));
    EXPECT_FALSE(t->tapRowAtIndexPath(at(1)));
    const int before = on->cells, offBefore = off->cells;
    t->reloadCellForElements({hidden, on});
    EXPECT_EQ(on->cells, before + 1);
    EXPECT_EQ(off->cells, offBefore);
    EXPECT_EQ(hidden->cells, 0);
    ASSERT_EQ(t->lastUpdates().size(), 1u);
    EXPECT_EQ(t->lastUpdates()[0].animation, ui::TableViewRowAnimation::None);
}

// Thirty rows in a table ten rows high: an element has a cell only while its row is on screen,
// made only then, and carrying the element's accessibility label and identifier.
TEST_F(FormTableTest, ElementsHaveCellsOnlyOnScreenCarryingTheirAccessibility) {
    auto all = rt::make<fm::Section>();
    std::vector<rt::Ref<FormTableCountingElement>> members;
    for (int i = 0; i < 30; ++i) {
        auto member = members.emplace_back(element("e"));
        member->setAccessibilityLabel(str("Row " + std::to_string(i)));
        member->setAccessibilityIdentifier(str("row." + std::to_string(i)));
        all->addElement(member);
    }
    form = rt::make<fm::RootElement>();
    form->addSection(all);
    auto t = rt::make<fm::FormTableView>(controller, form);
    t->setFrame(cg::Rect::make(0, 0, 320, 440));
    struct Case {
        const char* name;
        double offset;
        std::size_t member;
        bool shown;
        int cells; // times its cell was asked for, in all
    };
    const Case cases[] = {
        {"on the first screen", 0, 3, true, 1},
        {"below it, never asked", 0, 20, false, 0},
        {"scrolled to", 800, 20, true, 1},
        {"scrolled away from", 800, 3, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t->setContentOffset({0, c.offset});
        const auto& member = members[c.member];
        EXPECT_EQ(member->cells, c.cells);
        auto cell = t->cellForRowAtIndexPath(member->getIndexPath());
        ASSERT_EQ(static_cast<bool>(cell), c.shown);
        EXPECT_EQ(t->cellForElement(member), cell);
        if (!cell) continue;
        EXPECT_EQ(cell->accessibilityLabel()->utf8(), "Row " + std::to_string(c.member));
        EXPECT_EQ(cell->accessibilityIdentifier()->utf8(), "row." + std::to_string(c.member));
    }
}

// Deletes and moves map visible rows to the full list, across a hidden element.
TEST_F(FormTableTest, DeletesAndMovesMapRowsThroughHiddenElements) {
    struct Case {
        const char* name;
        bool movable, canDelete, allow;
        std::function<void(fm::FormTableView&)> act;
        const char* keys;
        long rows;
    };
    const Case cases[] = {
        {"delete after a hidden one", false, true, true,
         [](fm::FormTableView& t) { t.commitDeleteAtIndexPath(at(1)); }, "ahc", 2},
        {"delete vetoed", false, true, false, [](fm::FormTableView& t) { t.commitDeleteAtIndexPath(at(1)); }, "ahbc", 3},
        {"delete in a section that deletes nothing", false, false, true,
         [](fm::FormTableView& t) { t.commitDeleteAtIndexPath(at(0)); }, "ahbc", 3},
        {"move down past the hidden one", true, false, true,
         [](fm::FormTableView& t) { EXPECT_EQ(t.moveRow(at(0), at(2))->row(), 2); }, "hbca", 3},
        {"move up", true, false, true, [](fm::FormTableView& t) { t.moveRow(at(2), at(0)); }, "cahb", 3},
        {"move in a plain section stays", false, false, true,
         [](fm::FormTableView& t) { EXPECT_EQ(t.moveRow(at(0), at(2))->row(), 0); }, "ahbc", 3},
        {"drag into another section stays", true, false, true,
         [](fm::FormTableView& t) { EXPECT_EQ(t.moveRow(at(0), at(0, 1))->section(), 0); }, "ahbc", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto a = element("a"), h = element("h", true), b = element("b"), cc = element("c");
        a->setController(controller);
        auto s = c.movable ? section<FormTableMovableSection>({a, h, b, cc}) : section({a, h, b, cc});
        s->setCanDeleteRows(c.canDelete);
        controller->allowDelete = c.allow;
        auto t = table({s, section({element("z")})});
        for (const auto& member : *s->elements())
            member->setController(controller);
        EXPECT_NO_THROW(c.act(*t));
        EXPECT_EQ(keys(s), c.keys);
        EXPECT_EQ(t->numberOfRowsInSection(0), c.rows);
        EXPECT_EQ(t->numberOfRowsInSection(0), s->visibleNumberOfElements());
    }
}

// The table's rows follow each change of the members after a first load: each row's cell is its
// element's ("!" where the element's own index path disagrees), sections split by "|".
TEST_F(FormTableTest, RowsFollowMembersHiddenShownInsertedRemovedAndMoved) {
    auto a = element("a"), b = element("b", true), c = element("c"), d = element("d"), e = element("e"),
         f = element("f"), g = element("g"), x = element("x"), y = element("y"), z = element("z");
    auto first = section({a, b, c, d}), second = section({e, f}), third = section({g}), fourth = section({z});
    third->setHidden(true);
    first->setCanDeleteRows(true);
    auto t = table({first, second, third});
    auto rows = [&] {
        t->reloadData();
        std::string out;
        for (long s = 0; s < t->numberOfSections(); ++s) {
            if (s) out += "|";
            for (long r = 0; r < t->numberOfRowsInSection(s); ++r) {
                const auto cell = t->cellForRowAtIndexPath(at(r, s));
                const auto shown = cell ? form->elementWithKey(cell->accessibilityIdentifier()->utf8()) : nullptr;
                out += shown ? shown->key()->utf8() : "?";
                if (!shown || !rt::equal(shown->getIndexPath(), at(r, s))) out += "!";
            }
        }
        return out;
    };
    for (const auto& member : {a, b, c, d, e, f, g, x, y, z})
        member->setAccessibilityIdentifier(member->key());
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"acd|ef", [] {}},
        {"ad|ef", [&] { c->setHidden(true); }},
        {"abd|ef", [&] { ns::setValueForKey(b, ns::Number::withBool(false), "hidden"); }},
        {"axbd|ef", [&] { first->insertElementAtIndex(x, 1); }},
        {"xbd|ef", [&] { EXPECT_TRUE(first->removeElementForRow(0)); }},
        {"bdx|ef", [&] { first->moveElementFromRowToRow(0, 3); }},
        {"bdx|efy", [&] { second->addElement(y); }},
        {"efy|g", [&] {
             first->setHidden(true);
             third->setHidden(false);
         }},
        {"efy|g|z", [&] { form->addSection(fourth); }},
        {"bdx|efy|g|z", [&] { first->setHidden(false); }},
        {"bdx||g|z", [&] { second->removeAllElements(); }},
        {"", [&] { form->setSections(nullptr); }},
        {"z|bdx", [&] {
             const std::vector<rt::Ref<fm::Section>> kept{fourth, first};
             form->setSections(&kept);
         }},
        {"z|bcdx", [&] { c->setHidden(false); }},
    };
    for (const auto& [expected, change] : steps) {
        change();
        EXPECT_EQ(rows(), expected);
    }
}

TEST_F(FormTableTest, TextRowsGrowWithTheirTextAndTheProgressBarLivesInTheLatestCell) {
    auto look = rt::make<fm::Appearance>();
    look->setValueFont(ui::Font::systemFontOfSize(54)); // one line 54 high
    struct Case {
        const char* text;
        const char* title;
        double height, expected;
    };
    const Case cases[] = {{"abc", "T", 0, 124}, {"abc", nullptr, 0, 94}, {"abc", "T", 150, 150}, {"", "T", 0, 44}};
    for (const Case& c : cases) {
        auto text = rt::make<fm::TextElement>(str(c.text));
        text->setAppearance(look);
        if (c.title) text->setTitle(str(c.title));
        text->setHeight(c.height);
        auto t = table({section({})});
        t->setFrame(cg::Rect::make(0, 0, 320, 480));
        EXPECT_EQ(text->getRowHeightForTableView(t), c.expected) << c.text << (c.title ? " titled" : "");
    }

    auto progress = rt::make<fm::ProgressElement>();
    progress->setProgress(0.5f);
    auto t = table({section({})});
    auto first = progress->getCellForTableView(t, nullptr), second = progress->getCellForTableView(t, nullptr);
    EXPECT_EQ(progress->bar()->superview(), second->contentView());
    EXPECT_EQ(progress->bar()->progress(), 0.5f);
    EXPECT_EQ(progress->bar()->frame().size.width, 260);
    EXPECT_EQ(progress->bar()->center().x, 160);
    EXPECT_EQ(progress->bar()->center().y, 22);
}

} // namespace
