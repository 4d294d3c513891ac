// The driver's row taps and dialog presses, through a screen that answers them the way the test
// screens do: a row tap offers a sheet, the sheet's first button asks for confirmation, and the
// confirmation ends the process.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/runtime/class.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/table_view.h"
#include "tester/driver.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using ns::str;

class ListScreen : public rt::Object {
    RT_CLASS(ListScreen)
public:
    std::vector<std::string> calls;
    rt::Ref<ui::TableView> table;
    rt::Ref<ui::View> view = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667));

    long rows(const rt::Id&, long) { return 4; }
    rt::Id cell(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        return table->dequeueReusableCellWithIdentifierForIndexPath(str("reuseCell"), path);
    }
    void didSelect(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        calls.push_back("select " + std::to_string(path->row()));
        table->deselectRowAtIndexPath(path, true);
        auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), rt::retained(this), str("CANCEL"), str("EXIT"),
                                               std::vector<rt::Ref<ns::String>>{str("SKIP")});
        sheet->showInView(view);
    }
    void sheetClicked(const rt::Id&, long index) {
        calls.push_back("sheet " + std::to_string(index));
        if (index != 0) return;
        rt::make<ui::AlertView>(str("Quarnotix"), str("Exit?"), rt::retained(this), str("CANCEL"),
                                std::vector<rt::Ref<ns::String>>{str("OK")})
            ->show();
    }
    void alertClicked(const rt::Id& alert, long index) {
        auto title = rt::cast<ui::AlertView>(alert)->buttonTitleAtIndex(index);
        calls.push_back("alert " + title->utf8());
        if (title->utf8() == "OK") ui::Application::exitProcess(0);
    }

    static rt::Ref<ListScreen> withTable() {
        auto screen = rt::make<ListScreen>();
        screen->table = rt::make<ui::TableView>(screen->view->bounds());
        screen->view->addSubview(screen->table);
        screen->table->registerClassForCellReuseIdentifier(&ui::TableViewCell::staticClass(), str("reuseCell"));
        screen->table->setDataSource(screen);
        screen->table->setDelegate(screen);
        screen->table->reloadData();
        return screen;
    }
};
RT_DEFINE_CLASS(ListScreen, "DriverTestListScreen", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &ListScreen::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &ListScreen::cell),
                rt::method("tableView:didSelectRowAtIndexPath:", &ListScreen::didSelect),
                rt::method("actionSheet:clickedButtonAtIndex:", &ListScreen::sheetClicked),
                rt::method("alertView:clickedButtonAtIndex:", &ListScreen::alertClicked))

using TablesAndDialogs = testkit::AppTest;

TEST_F(TablesAndDialogs, ARowTapCallsDidSelectUnlessATesterCouldNotTapIt) {
    auto screen = ListScreen::withTable();
    app().onScreen(screen->view);

    EXPECT_TRUE(app().tapRow(screen->table, 2));
    EXPECT_EQ(screen->calls, (std::vector<std::string>{"select 2"}));
    EXPECT_FALSE(screen->table->indexPathForSelectedRow()) << "the screen deselected it";
    ASSERT_EQ(app().presentedSheets().size(), 1u);
    EXPECT_TRUE(app().presentedAlerts().empty());

    EXPECT_FALSE(app().tapRow(screen->table, 4));
    EXPECT_FALSE(app().tapRow(screen->table, 0, 1));
    screen->view->setHidden(true);
    EXPECT_FALSE(app().tapRow(screen->table, 0)) << "the table's screen is hidden";
    screen->view->setHidden(false);
    screen->table->setAllowsSelection(false);
    EXPECT_FALSE(app().tapRow(screen->table, 0));
    EXPECT_EQ(screen->calls.size(), 1u);
    // The sheet still on screen is taken away when the fixture goes.
}

TEST_F(TablesAndDialogs, PressingTheDialogsButtonsCallsTheirDelegates) {
    auto screen = ListScreen::withTable();
    app().onScreen(screen->view);
    app().tapRow(screen->table, 0);

    auto sheets = app().presentedSheets();
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0]->buttonTitleAtIndex(2)->utf8(), "CANCEL");
    EXPECT_FALSE(app().press(sheets[0], 3));
    EXPECT_TRUE(app().press(sheets[0], 0));
    EXPECT_TRUE(app().presentedSheets().empty());

    auto alerts = app().presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(app().press(alerts[0], 1));
    EXPECT_EQ(screen->calls, (std::vector<std::string>{"select 0", "sheet 0", "alert OK"}));
    EXPECT_EQ(app().exitStatus(), 0);
    EXPECT_TRUE(app().presentedAlerts().empty());
}

// Forty rows in a screen that shows about fifteen: will-select refuses row 5 and row 7's cell
// takes no touches.
class LongList : public rt::Object {
    RT_CLASS(LongList)
public:
    std::vector<std::string> calls;
    rt::Ref<ui::TableView> table;
    rt::Ref<ui::View> view = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667));

    long rows(const rt::Id&, long) { return 40; }
    rt::Id cell(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        auto cell = table->dequeueReusableCellWithIdentifierForIndexPath(str("reuseCell"), path);
        cell->setUserInteractionEnabled(path->row() != 7);
        return cell;
    }
    rt::Id willSelect(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        calls.push_back("will " + std::to_string(path->row()));
        return path->row() == 5 ? nullptr : path;
    }
    void didSelect(const rt::Id&, const rt::Ref<ns::IndexPath>& path) { calls.push_back("select " + std::to_string(path->row())); }

    static rt::Ref<LongList> shown(testkit::AppFixture& app) {
        auto list = rt::make<LongList>();
        list->table = rt::make<ui::TableView>(list->view->bounds());
        list->view->addSubview(list->table);
        list->table->registerClassForCellReuseIdentifier(&ui::TableViewCell::staticClass(), str("reuseCell"));
        list->table->setDataSource(list);
        list->table->setDelegate(list);
        list->table->reloadData();
        app.onScreen(list->view);
        return list;
    }
};
RT_DEFINE_CLASS(LongList, "DriverTestLongList", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &LongList::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &LongList::cell),
                rt::method("tableView:willSelectRowAtIndexPath:", &LongList::willSelect),
                rt::method("tableView:didSelectRowAtIndexPath:", &LongList::didSelect))

TEST_F(TablesAndDialogs, ARowTapScrollsTheRowIntoViewFirstAndIsRefusedWhereATesterWouldBe) {
    struct Case {
        const char* name;
        long row;
        bool tapped;
        std::vector<std::string> calls;
        double offset; // the table's content offset after the tap
    };
    const Case cases[] = {
        {"a row on screen", 2, true, {"will 2", "select 2"}, 0},
        {"a row below the screen is scrolled to first", 30, true, {"will 30", "select 30"}, 1320 + 22 - 667.0 / 2},
        {"a row that does not exist", 40, false, {}, 0},
        {"a row will-select refuses", 5, false, {"will 5"}, 0},
        {"a row whose cell takes no touches", 7, false, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto list = LongList::shown(app());
        ASSERT_FALSE(list->table->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(30, 0)));

        EXPECT_EQ(app().tapRow(list->table, c.row), c.tapped);
        EXPECT_TRUE(!c.tapped || list->table->cellForRowAtIndexPath(list->table->indexPathForSelectedRow()));
        EXPECT_EQ(list->calls, c.calls);
        EXPECT_EQ(list->table->contentOffset().y, c.offset);
        EXPECT_EQ(static_cast<bool>(list->table->indexPathForSelectedRow()), c.tapped);
        EXPECT_NE(app().driver().refusal().empty(), !c.tapped);
    }
}

TEST_F(TablesAndDialogs, AScrollShowsTheRowsAtTheNewOffsetUnlessTheTableDoesNotScroll) {
    auto list = LongList::shown(app());
    auto row = [&](long r) { return list->table->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(r, 0)); };

    ASSERT_TRUE(app().scrollTo(list->table, {0, 880}));
    EXPECT_FALSE(row(19));
    EXPECT_EQ(list->table->visibleCells()->count(), 16u); // rows 20 to 35
    list->table->setScrollEnabled(false);
    EXPECT_FALSE(app().scrollTo(list->table, {0, 0}));
    EXPECT_TRUE(row(20));
}

} // namespace
