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

} // namespace
