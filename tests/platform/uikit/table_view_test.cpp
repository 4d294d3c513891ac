// Table views: what the data source and the delegate are asked and in what order, row geometry
// for mixed heights, reuse through the registered identifiers, and selection.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/exception.h"
#include "platform/runtime/class.h"
#include "platform/runtime/interceptable.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using cg::Point;
using ns::str;
using Strings = std::vector<std::string>;

rt::Ref<ns::IndexPath> at(long row, long section = 0) {
    return ns::IndexPath::indexPathForRowInSection(row, section);
}

std::string text(const rt::Ref<ns::IndexPath>& indexPath) {
    return indexPath ? std::to_string(indexPath->section()) + "-" + std::to_string(indexPath->row()) : "nil";
}

// A cell that counts its reuse.
class CountingCell : public ui::TableViewCell {
    RT_CLASS(CountingCell)
public:
    int reused = 0;
    static inline int made = 0;

protected:
    CountingCell() { ++made; }
    void prepareForReuseBody() override {
        TableViewCell::prepareForReuseBody();
        ++reused;
    }
};
RT_DEFINE_CLASS(CountingCell, "TableTestCountingCell", ui::TableViewCell)

// Rows in sections, each of its own height; dequeues "Row" cells and writes "section-row" into
// their labels. Logs every question as "rows 0", "height 0-2", "cell 0-2", "select 0-2", ...
class Source : public rt::Object {
    RT_CLASS(Source)
public:
    std::vector<std::vector<double>> heights;
    std::vector<double> headers, footers;
    Strings calls;
    rt::Ref<ns::String> identifier = str("Row");

    long sections(const rt::Id&) {
        calls.push_back("sections");
        return static_cast<long>(heights.size());
    }
    long rows(const rt::Id& table, long section) {
        EXPECT_TRUE(rt::cast<ui::TableView>(table));
        calls.push_back("rows " + std::to_string(section));
        return static_cast<long>(heights[static_cast<std::size_t>(section)].size());
    }
    double height(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        calls.push_back("height " + text(path));
        return heights[static_cast<std::size_t>(path->section())][static_cast<std::size_t>(path->row())];
    }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>& path) {
        calls.push_back("cell " + text(path));
        auto cell = rt::cast<ui::TableView>(table)->dequeueReusableCellWithIdentifierForIndexPath(identifier, path);
        if (cell) cell->textLabel()->setText(str(text(path)));
        return cell;
    }
    double headerHeight(const rt::Id&, long section) { return headers.empty() ? 0 : headers[static_cast<std::size_t>(section)]; }
    double footerHeight(const rt::Id&, long section) { return footers.empty() ? 0 : footers[static_cast<std::size_t>(section)]; }
    rt::Id headerView(const rt::Id& table, long section) {
        calls.push_back("header " + std::to_string(section));
        return rt::cast<ui::TableView>(table)->dequeueReusableHeaderFooterViewWithIdentifier(str("Header"));
    }
    void select(const rt::Id&, const rt::Ref<ns::IndexPath>& path) { calls.push_back("select " + text(path)); }
};
RT_DEFINE_CLASS(Source, "TableTestSource", rt::Object, rt::method("numberOfSectionsInTableView:", &Source::sections),
                rt::method("tableView:numberOfRowsInSection:", &Source::rows),
                rt::method("tableView:heightForRowAtIndexPath:", &Source::height),
                rt::method("tableView:cellForRowAtIndexPath:", &Source::cell),
                rt::method("tableView:heightForHeaderInSection:", &Source::headerHeight),
                rt::method("tableView:heightForFooterInSection:", &Source::footerHeight),
                rt::method("tableView:viewForHeaderInSection:", &Source::headerView),
                rt::method("tableView:didSelectRowAtIndexPath:", &Source::select))

// Only the two required methods: one section, rows of the table's row height, and cells made the
// old way when none can be dequeued.
class PlainSource : public rt::Object {
    RT_CLASS(PlainSource)
public:
    long count = 3;
    int made = 0;
    long rows(const rt::Id&, long) { return count; }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>&) {
        if (auto cell = rt::cast<ui::TableView>(table)->dequeueReusableCellWithIdentifier(str("Plain"))) return cell;
        ++made;
        return rt::make<ui::TableViewCell>(ui::TableViewCellStyle::Subtitle, str("Plain"));
    }
};
RT_DEFINE_CLASS(PlainSource, "TableTestPlainSource", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &PlainSource::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &PlainSource::cell))

// A nib as the table sees one: it answers instantiateWithOwner:options: with its top-level
// objects, here a label and then a cell whose outlet is already wired.
class CellNib : public rt::Object {
    RT_CLASS(CellNib)
public:
    int instantiated = 0;
    rt::Ref<ns::Array> instantiate(const rt::Id&, const rt::Id&) {
        ++instantiated;
        auto cell = rt::make<CountingCell>();
        cell->setTag(7);
        return ns::Array::withObjects({rt::make<ui::Label>(), cell});
    }
};
RT_DEFINE_CLASS(CellNib, "TableTestCellNib", rt::Object,
                rt::method("instantiateWithOwner:options:", &CellNib::instantiate))

class TableViews : public testing::Test {
protected:
    void SetUp() override { CountingCell::made = 0; }
    rt::Ref<ui::TableView> makeTable(const rt::Id& source, double width = 320) {
        auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, width, 480));
        table->setDataSource(source);
        table->setDelegate(source);
        table->registerClassForCellReuseIdentifier(&CountingCell::staticClass(), str("Row"));
        return table;
    }
};

TEST_F(TableViews, TheDataSourceIsAskedForEveryRowAndTheCellsAreKept) {
    auto source = rt::make<Source>();
    source->heights = {{70, 40, 70}, {44, 44}};
    auto table = makeTable(source);
    table->reloadData();

    EXPECT_EQ(source->calls, (Strings{"sections", "rows 0", "height 0-0", "height 0-1", "height 0-2", "rows 1",
                                      "height 1-0", "height 1-1", "cell 0-0", "cell 0-1", "cell 0-2", "cell 1-0",
                                      "cell 1-1"}));
    EXPECT_EQ(table->numberOfSections(), 2);
    EXPECT_EQ(table->numberOfRowsInSection(0), 3);
    EXPECT_EQ(table->numberOfRowsInSection(2), 0);
    EXPECT_EQ(CountingCell::made, 5);

    auto cell = table->cellForRowAtIndexPath(at(1, 1));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->textLabel()->text()->utf8(), "1-1");
    EXPECT_EQ(cell->superview(), table);
    EXPECT_EQ(cell->frame(), cg::Rect::make(0, 224, 320, 44));
    EXPECT_EQ(text(table->indexPathForCell(cell)), "1-1");
    EXPECT_FALSE(table->cellForRowAtIndexPath(at(3, 0)));
    EXPECT_EQ(table->contentSize(), (cg::Size{320, 268}));
}

TEST_F(TableViews, TheRowAtAPointFollowsMixedHeights) {
    auto source = rt::make<Source>();
    source->heights = {{70, 40, 0, 70}, {44}};
    source->headers = {0, 20};
    auto table = makeTable(source, 300);
    table->reloadData();

    struct Probe {
        Point point;
        const char* row;
    };
    for (const Probe& probe : {Probe{{10, 0}, "0-0"}, Probe{{10, 69.9}, "0-0"}, Probe{{10, 70}, "0-1"},
                               Probe{{299, 109.5}, "0-1"}, Probe{{10, 110}, "0-3"}, Probe{{10, 179.9}, "0-3"},
                               Probe{{10, 185}, "nil"}, Probe{{10, 200}, "1-0"}, Probe{{10, 243.9}, "1-0"},
                               Probe{{10, 244}, "nil"}, Probe{{10, -1}, "nil"}, Probe{{300, 10}, "nil"},
                               Probe{{-0.5, 10}, "nil"}})
        EXPECT_EQ(text(table->indexPathForRowAtPoint(probe.point)), probe.row) << probe.point.x << "," << probe.point.y;
    EXPECT_EQ(table->rectForRowAtIndexPath(at(3)), cg::Rect::make(0, 110, 300, 70));
    EXPECT_EQ(table->rectForRowAtIndexPath(at(0, 1)), cg::Rect::make(0, 200, 300, 44));
    EXPECT_TRUE(table->rectForRowAtIndexPath(at(1, 1)).isNull());

    // A button in a cell finds its row by its centre in the table's coordinates, as the screens do.
    auto button = rt::make<ui::Button>();
    button->setFrame(cg::Rect::make(250, 10, 40, 30));
    table->cellForRowAtIndexPath(at(3))->contentView()->addSubview(button);
    const Point centre = button->superview()->convertPointToView(button->center(), table.get());
    EXPECT_EQ(text(table->indexPathForRowAtPoint(centre)), "0-3");
}

TEST_F(TableViews, RowsTakeTheRowHeightWithoutTheDelegateAndTheFooterViewGoesBelow) {
    auto source = rt::make<PlainSource>();
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480));
    table->setDataSource(source);
    table->reloadData();
    EXPECT_EQ(table->numberOfSections(), 1);
    EXPECT_EQ(table->rectForRowAtIndexPath(at(2)), cg::Rect::make(0, 88, 320, 44));

    table->setRowHeight(50);
    auto footer = rt::make<ui::View>(cg::Rect::make(0, 0, 10, 12));
    table->setTableFooterView(footer);
    table->reloadData();
    EXPECT_EQ(table->rectForRowAtIndexPath(at(2)), cg::Rect::make(0, 100, 320, 50));
    EXPECT_EQ(footer->frame(), cg::Rect::make(0, 150, 320, 12));
    EXPECT_EQ(footer->superview(), table);
    EXPECT_EQ(table->contentSize().height, 162);

    // Without a data source there are no rows.
    table->setDataSource(nullptr);
    table->reloadData();
    EXPECT_EQ(table->numberOfSections(), 0);
    EXPECT_EQ(footer->frame().origin.y, 0);
}

// Each row draws a hairline along its foot, over its content, as its table says: 15 in at the left
// and in the platform's light grey unless set otherwise.
TEST_F(TableViews, EachRowDrawsItsSeparatorAtTheTablesInsetAndColour) {
    auto source = rt::make<PlainSource>();
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 200));
    table->setDataSource(source);
    table->setBackgroundColor(ui::Color::whiteColor());
    table->reloadData();
    // What shows at x 5 and x 100 of each row's last pixel row (43, 87, 131) and of a row's middle:
    // w white, g grey, r red.
    const auto shades = [&] {
        table->layoutIfNeeded();
        cg::RecordingContext drawn;
        ui::renderView(*table, drawn);
        const auto picture = ui::pictureOf(drawn.displayList(), {320, 200});
        std::string seen;
        for (const int y : {43, 87, 131, 20})
            for (const int x : {5, 100}) {
                const cg::Pixel p = picture->pixel(x, y);
                seen += p.red > 245 && p.green > 245 ? 'w' : p.red > p.green + 30 ? 'r' : 'g';
            }
        return seen;
    };
    EXPECT_EQ(shades(), "wgwgwgww");
    table->setSeparatorColor(ui::Color::redColor());
    table->setSeparatorInset(ui::EdgeInsets{0, 0, 0, 240});
    EXPECT_EQ(shades(), "rwrwrwww");
}

TEST_F(TableViews, AReloadReusesTheCellsRowByRowAfterTheirPrepareForReuse) {
    auto source = rt::make<Source>();
    source->heights = {{44, 44, 44}};
    auto table = makeTable(source);
    table->reloadData();
    std::vector<rt::Ref<ui::TableViewCell>> first;
    for (long row = 0; row < 3; ++row)
        first.push_back(table->cellForRowAtIndexPath(at(row)));

    table->reloadData();
    EXPECT_EQ(CountingCell::made, 3) << "no cell is made while one can be reused";
    for (long row = 0; row < 3; ++row) {
        EXPECT_EQ(table->cellForRowAtIndexPath(at(row)), first[static_cast<std::size_t>(row)]) << row;
        EXPECT_EQ(rt::cast<CountingCell>(first[static_cast<std::size_t>(row)])->reused, 1) << row;
    }

    // Fewer rows: the cells not taken again leave the table, and come back when rows do.
    source->heights = {{44}};
    table->reloadData();
    EXPECT_EQ(table->subviewList().size(), 1u);
    EXPECT_FALSE(first[2]->superview());
    source->heights = {{44, 44, 44, 44}};
    table->reloadData();
    EXPECT_EQ(CountingCell::made, 4);
    EXPECT_EQ(table->subviewList().size(), 4u);
    EXPECT_EQ(first[2]->superview(), table);
}

std::vector<std::string>* announcements = nullptr;
void recordReuseAnnouncement(rt::Object&, const rt::Invocation& call) {
    announcements->push_back(std::string(call.selector().name()));
}

TEST_F(TableViews, ReuseClearsTheSelectionAndAnnouncesPrepareForReuseWhenIntercepted) {
    std::vector<std::string> heard;
    announcements = &heard;
    const rt::CallAnnouncer previous = rt::setCallAnnouncer(&recordReuseAnnouncement);
    auto source = rt::make<Source>();
    source->heights = {{44, 44}};
    auto table = makeTable(source);
    table->reloadData();
    auto cell = table->cellForRowAtIndexPath(at(1));
    cell->setSelected(true);
    cell->setHighlighted(true);
    cell->setIntercepted(true);

    table->reloadData();
    rt::setCallAnnouncer(previous);
    announcements = nullptr;
    EXPECT_EQ(heard, (Strings{"prepareForReuse"}));
    EXPECT_FALSE(cell->isSelected());
    EXPECT_FALSE(cell->isHighlighted());
    EXPECT_EQ(cell->textLabel()->text()->utf8(), "0-1") << "the labels keep their text until the data source writes";
    cell->setIntercepted(false);
}

TEST_F(TableViews, IdentifiersMapToClassesNibsFactoriesOrCellsMadeByTheDataSource) {
    auto source = rt::make<Source>();
    source->heights = {{44, 44}};
    auto table = makeTable(source);

    auto nib = rt::make<CellNib>();
    table->registerNibForCellReuseIdentifier(nib, str("reuseCell"));
    source->identifier = str("reuseCell");
    table->reloadData();
    table->reloadData();
    EXPECT_EQ(nib->instantiated, 2);
    EXPECT_EQ(table->cellForRowAtIndexPath(at(0))->tag(), 7);
    EXPECT_EQ(table->cellForRowAtIndexPath(at(1))->reuseIdentifier()->utf8(), "reuseCell");

    int factoryRuns = 0;
    table->registerCellFactory(str("ReuseIdentifier"), [&factoryRuns] {
        ++factoryRuns;
        return rt::make<ui::TableViewCell>();
    });
    source->identifier = str("ReuseIdentifier");
    table->reloadData();
    EXPECT_EQ(factoryRuns, 2);
    EXPECT_EQ(table->cellForRowAtIndexPath(at(1))->reuseIdentifier()->utf8(), "ReuseIdentifier");

    // The old way: nil from an identifier nobody registered, then the data source's own cell.
    auto plain = rt::make<PlainSource>();
    table->setDataSource(plain);
    table->setDelegate(plain);
    table->reloadData();
    table->reloadData();
    EXPECT_EQ(plain->made, 3);
    EXPECT_TRUE(table->cellForRowAtIndexPath(at(0))->detailTextLabel());

    ns::CapturedLog captured;
    EXPECT_FALSE(table->dequeueReusableCellWithIdentifierForIndexPath(str("Missing"), at(0)));
    EXPECT_TRUE(captured.contains("unable to dequeue a cell with identifier Missing")) << testing::PrintToString(captured.lines());
}

TEST_F(TableViews, AReloadThatRaisesLeavesTheTableReloadable) {
    auto source = rt::make<Source>();
    source->heights = {{44}};
    source->identifier = str("Raising");
    auto table = makeTable(source);
    table->registerCellFactory(str("Raising"), []() -> rt::Ref<ui::TableViewCell> {
        ns::raise("NSInternalInconsistencyException", "Could not load NIB");
    });
    EXPECT_THROW(table->reloadData(), ns::Exception);
    source->identifier = str("Row");
    table->reloadData();
    EXPECT_TRUE(table->cellForRowAtIndexPath(at(0)));
}

long selections(const Strings& calls) {
    return std::count_if(calls.begin(), calls.end(), [](const std::string& call) { return call.starts_with("select"); });
}

TEST_F(TableViews, ATapSelectsTheRowAndTellsTheDelegateSelectionFromCodeTellsNoOne) {
    auto source = rt::make<Source>();
    source->heights = {{44, 44, 44}};
    auto table = makeTable(source);
    table->reloadData();
    source->calls.clear();

    EXPECT_TRUE(table->tapRowAtIndexPath(at(1)));
    EXPECT_TRUE(table->tapRowAtIndexPath(at(2)));
    EXPECT_EQ(source->calls, (Strings{"select 0-1", "select 0-2"}));
    EXPECT_EQ(text(table->indexPathForSelectedRow()), "0-2");
    EXPECT_FALSE(table->cellForRowAtIndexPath(at(1))->isSelected());
    EXPECT_TRUE(table->cellForRowAtIndexPath(at(2))->isSelected());

    rt::send(table, rt::Sel("deselectRowAtIndexPath:animated:"), at(2), true);
    EXPECT_FALSE(table->indexPathForSelectedRow());
    EXPECT_FALSE(table->cellForRowAtIndexPath(at(2))->isSelected());
    table->selectRowAtIndexPath(at(0), false);
    EXPECT_TRUE(table->cellForRowAtIndexPath(at(0))->isSelected());
    table->reloadData();
    EXPECT_FALSE(table->indexPathForSelectedRow()) << "a reload forgets the selection";
    EXPECT_EQ(selections(source->calls), 2) << "selection from code tells no one";

    EXPECT_FALSE(table->tapRowAtIndexPath(at(3)));
    EXPECT_FALSE(table->tapRowAtIndexPath(at(0, 1)));
    ns::setValueForKey(table, ns::Number::withBool(false), "allowsSelection");
    EXPECT_FALSE(table->tapRowAtIndexPath(at(0)));
    EXPECT_EQ(selections(source->calls), 2);
}

TEST_F(TableViews, SectionHeadersAreStackedAndReused) {
    auto source = rt::make<Source>();
    source->heights = {{44}, {44}};
    source->headers = {30, 0};
    source->footers = {10, 0};
    auto table = makeTable(source);
    table->registerClassForHeaderFooterViewReuseIdentifier(&ui::TableViewHeaderFooterView::staticClass(), str("Header"));
    table->reloadData();
    EXPECT_EQ(table->rectForRowAtIndexPath(at(0, 0)).origin.y, 30);
    EXPECT_EQ(table->rectForRowAtIndexPath(at(0, 1)).origin.y, 84);
    const auto& subviews = table->subviewList();
    ASSERT_EQ(subviews.size(), 3u) << "a section of no header height is asked for no view";
    auto header = rt::cast<ui::TableViewHeaderFooterView>(subviews.front());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->frame(), cg::Rect::make(0, 0, 320, 30));

    table->reloadData();
    EXPECT_EQ(table->subviewList().front(), header) << "the header view is reused";
    EXPECT_EQ(std::count(source->calls.begin(), source->calls.end(), "header 0"), 2);
    EXPECT_EQ(std::count(source->calls.begin(), source->calls.end(), "header 1"), 0);
}

TEST_F(TableViews, TheDataSourceAndDelegateAreHeldWeaklyAndTheirProtocolsCarryEncodings) {
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480));
    {
        auto source = rt::make<Source>();
        table->setDataSource(source);
        table->setDelegate(source);
    }
    EXPECT_FALSE(table->dataSource());
    EXPECT_FALSE(table->delegate());

    const rt::Protocol* dataSource = rt::Protocol::named("UITableViewDataSource");
    const rt::Protocol* delegate = rt::Protocol::named("UITableViewDelegate");
    ASSERT_EQ(dataSource, &ui::tableViewDataSourceProtocol());
    ASSERT_EQ(delegate, &ui::tableViewDelegateProtocol());
    ASSERT_TRUE(dataSource->method(rt::Sel("tableView:cellForRowAtIndexPath:"), true));
    EXPECT_EQ(dataSource->method(rt::Sel("tableView:numberOfRowsInSection:"), true)->types, "q@:@q");
    EXPECT_TRUE(dataSource->method(rt::Sel("numberOfSectionsInTableView:"), false));
    // The encodings are what a delegate method with the matching C++ signature registers.
    for (const char* selector : {"tableView:heightForRowAtIndexPath:", "tableView:didSelectRowAtIndexPath:",
                                 "tableView:heightForHeaderInSection:"})
        EXPECT_EQ(delegate->method(rt::Sel(selector), false)->types,
                  Source::staticClass().instanceMethod(rt::Sel(selector))->types)
            << selector;
    EXPECT_TRUE(table->respondsToSelector(rt::Sel("setSeparatorInset:")));
}

// ---- Room for the bars ----

// Where a table under a navigation bar shows its first row, by the device's system version and
// how the table sits in its controller's view.
struct UnderBars {
    const char* case_;
    const char* device;
    const char* system;    // the profile's when empty
    double tableTop;       // in the controller's view
    bool firstSubview;     // else a plain view comes first
    bool adjusts;          // automaticallyAdjustsScrollViewInsets
    bool barHidden;
    double contentInsetTop; // as the table reports it
    double adjustedTop;
    double firstRowTop; // in the window
};

TEST(TableViewsUnderBars, TheFirstRowShowsBelowTheBarsAsTheSystemVersionGivesThemRoom) {
    const UnderBars cases[] = {
        // From system 11 on: contentInset stays, the adjusted inset covers the bars over the table.
        {"at the top", "iphone7", "", 0, true, true, false, 0, 64, 64},
        {"deeper status bar", "iphone_xr", "", 0, true, true, false, 0, 88, 88},
        {"pulled up under the bar", "iphone7", "", -68, true, true, false, 0, 132, 64},
        {"below the bar", "iphone7", "", 122, true, true, false, 0, 0, 122},
        {"not the first subview", "iphone7", "", 0, false, true, false, 0, 0, 0},
        {"not adjusted", "iphone7", "", 0, true, false, false, 0, 0, 0},
        {"bar hidden", "iphone7", "", 0, true, true, true, 0, 20, 20},
        // Before system 11 the top guide's length goes into contentInset, wherever the table sits.
        {"before 11", "iphone7", "10.3.3", 0, true, true, false, 64, 64, 64},
        {"before 11, pulled up", "iphone7", "10.3.3", -68, true, true, false, 64, 64, -4},
        {"before 11, not adjusted", "iphone7", "10.3.3", 0, true, false, false, 0, 0, 0},
    };
    for (const UnderBars& c : cases) {
        SCOPED_TRACE(c.case_);
        testkit::AppFixture app({.device = c.device, .adjust = [&](sim::Profile& profile) {
                                     if (*c.system) profile.systemVersion = c.system;
                                 }});
        auto source = rt::make<PlainSource>();
        auto controller = rt::make<ui::ViewController>();
        auto view = controller->view();
        if (!c.firstSubview) view->addSubview(rt::make<ui::View>(cg::Rect::make(0, 0, 10, 10)));
        auto table = rt::make<ui::TableView>(
            cg::Rect::make(0, c.tableTop, view->bounds().width(), view->bounds().height() - c.tableTop));
        table->setDataSource(source);
        view->addSubview(table);
        table->reloadData();
        controller->setAutomaticallyAdjustsScrollViewInsets(c.adjusts);
        auto navigation = ui::NavigationController::withRootViewController(controller);
        navigation->setNavigationBarHidden(c.barHidden);
        auto window = rt::make<ui::Window>();
        window->setRootViewControllerObject(navigation);
        window->makeKeyAndVisible();
        app.runUntilIdle();
        window->layoutIfNeeded();

        EXPECT_EQ(table->contentInset().top, c.contentInsetTop);
        EXPECT_EQ(table->adjustedContentInset().top, c.adjustedTop);
        EXPECT_EQ(table->contentOffset().y, -c.adjustedTop); // at rest at its top
        const cg::Rect first = table->rectForRowAtIndexPath(at(0));
        EXPECT_EQ(table->convertRectToView(first, nullptr).minY(), c.firstRowTop);
        EXPECT_EQ(table->indexPathForRowAtPoint(table->convertPointFromView({10, c.firstRowTop + 1}, nullptr))->row(),
                  0);

        // A second pass replaces what the first added rather than adding again.
        view->setNeedsLayout();
        window->layoutIfNeeded();
        EXPECT_EQ(table->contentInset().top, c.contentInsetTop);
        EXPECT_EQ(table->adjustedContentInset().top, c.adjustedTop);
        window->setRootViewControllerObject(nullptr);
    }
}

// A table that is its controller's view gets the bars' room once, wherever it is scrolled: its
// bounds' origin is its offset, not its place.
TEST(TableViewsUnderBars, ATableThatIsTheControllersViewKeepsTheSameRoomAtEveryPass) {
    testkit::AppFixture app({.device = "iphone7"});
    auto controller = rt::make<ui::ViewController>();
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 375, 667));
    controller->setView(table);
    auto window = rt::make<ui::Window>();
    window->setRootViewControllerObject(ui::NavigationController::withRootViewController(controller));
    window->makeKeyAndVisible();
    app.runUntilIdle();
    for (const double offset : {-64.0, -64.0, 100.0}) {
        table->setContentOffset({0, offset});
        table->setNeedsLayout();
        window->layoutIfNeeded();
        EXPECT_EQ(table->adjustedContentInset().top, 64) << offset;
        EXPECT_EQ(table->contentOffset().y, offset);
    }
    window->setRootViewControllerObject(nullptr);
}

} // namespace

namespace {

// Lays each cell out as it is made, from within the reload (the table's layout pass runs then).
class LayingOutSource : public rt::Object {
    RT_CLASS(LayingOutSource)
public:
    long count = 3;
    Strings calls;
    long rows(const rt::Id&, long) { return count; }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>&) {
        auto cell = rt::make<ui::TableViewCell>();
        rt::cast<ui::TableView>(table)->addSubview(cell);
        rt::cast<ui::TableView>(table)->setNeedsLayout();
        cell->layoutIfNeeded();
        return cell;
    }
    rt::Id willSelect(const rt::Id&, const rt::Ref<ns::IndexPath>& path) {
        calls.push_back("will " + text(path));
        return path->row() == 2 ? nullptr : at(path->row() + 1);
    }
    void display(const rt::Id&, const rt::Id&, const rt::Ref<ns::IndexPath>& path) { calls.push_back("display " + text(path)); }
    void accessory(const rt::Id&, const rt::Ref<ns::IndexPath>& path) { calls.push_back("accessory " + text(path)); }
    void select(const rt::Id&, const rt::Ref<ns::IndexPath>& path) { calls.push_back("select " + text(path)); }
};
RT_DEFINE_CLASS(LayingOutSource, "TableTestLayingOutSource", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &LayingOutSource::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &LayingOutSource::cell),
                rt::method("tableView:willSelectRowAtIndexPath:", &LayingOutSource::willSelect),
                rt::method("tableView:willDisplayCell:forRowAtIndexPath:", &LayingOutSource::display),
                rt::method("tableView:accessoryButtonTappedForRowWithIndexPath:", &LayingOutSource::accessory),
                rt::method("tableView:didSelectRowAtIndexPath:", &LayingOutSource::select))

TEST_F(TableViews, ACellLaidOutWhileTheTableReloadsDoesNotCrashAndTapsGoThroughWillSelect) {
    auto source = rt::make<LayingOutSource>();
    auto window = rt::make<ui::Window>(cg::Rect::make(0, 0, 320, 480));
    auto table = makeTable(source);
    window->addSubview(table);
    table->reloadData();
    EXPECT_EQ(table->rectForRowAtIndexPath(at(2)).origin.y, 88);
    EXPECT_EQ(table->cellForRowAtIndexPath(at(2))->frame().origin.y, 88);
    source->calls.clear();
    EXPECT_TRUE(table->tapRowAtIndexPath(at(0)));  // redirected to the next row
    EXPECT_FALSE(table->tapRowAtIndexPath(at(2))); // refused
    EXPECT_TRUE(table->tapAccessoryAtIndexPath(at(1)));
    table->setEditingAnimated(true, true);
    EXPECT_FALSE(table->tapRowAtIndexPath(at(1))); // no selection while editing unless allowed
    table->setAllowsSelectionDuringEditing(true);
    EXPECT_TRUE(table->tapRowAtIndexPath(at(1)));
    EXPECT_EQ(source->calls, (Strings{"will 0-0", "select 0-1", "will 0-2", "accessory 0-1", "will 0-1", "select 0-2"}));
    EXPECT_EQ(text(table->indexPathForSelectedRow()), "0-2");
}

// An update block is checked against the data source's counts before it is applied.
TEST_F(TableViews, UpdatesMustMatchTheDataSourcesCounts) {
    using Path = rt::Ref<ns::IndexPath>;
    struct Case {
        const char* name;
        std::vector<std::vector<double>> after;
        std::function<void(ui::TableView&)> update;
        bool throws;
    };
    const std::vector<std::vector<double>> before = {{44, 44}, {44}};
    const Case cases[] = {
        {"insert a row", {{44, 44, 44}, {44}},
         [](ui::TableView& t) { t.insertRowsAtIndexPaths({Path(at(2))}, ui::TableViewRowAnimation::Fade); }, false},
        {"delete without the model", {{44, 44}, {44}},
         [](ui::TableView& t) { t.deleteRowsAtIndexPaths({Path(at(0))}, ui::TableViewRowAnimation::Fade); }, true},
        {"a block of a delete and an insert in two sections", {{44}, {44, 44}},
         [](ui::TableView& t) {
             t.beginUpdates();
             t.deleteRowsAtIndexPaths({Path(at(1))}, ui::TableViewRowAnimation::Fade);
             t.insertRowsAtIndexPaths({Path(at(0, 1))}, ui::TableViewRowAnimation::Fade);
             t.endUpdates();
         },
         false},
        {"the same row deleted twice counts once", {{44}, {44}},
         [](ui::TableView& t) { t.deleteRowsAtIndexPaths({Path(at(1)), Path(at(1))}, ui::TableViewRowAnimation::None); },
         false},
        {"delete the first section", {{44}},
         [](ui::TableView& t) { t.deleteSections({0}, ui::TableViewRowAnimation::Fade); }, false},
        {"insert a section whose rows do not add up", {{44, 44}, {44}, {44, 44}},
         [](ui::TableView& t) { t.insertSections({1}, ui::TableViewRowAnimation::Fade); }, true},
        {"an empty block while the model changed", {{44, 44}, {}},
         [](ui::TableView& t) { t.beginUpdates(); t.endUpdates(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto source = rt::make<Source>();
        source->heights = before;
        auto table = makeTable(source);
        table->reloadData();
        source->heights = c.after;
        if (c.throws) {
            EXPECT_THROW(c.update(*table), ns::Exception);
            EXPECT_EQ(table->numberOfRowsInSection(1), 1); // as it was
        } else {
            EXPECT_NO_THROW(c.update(*table));
            for (std::size_t s = 0; s < c.after.size(); ++s)
                EXPECT_EQ(table->numberOfRowsInSection(static_cast<long>(s)), static_cast<long>(c.after[s].size()));
        }
    }
}

// What a 320 x 132 viewport shows (rows of 44, headers of 20) after each move, and which views the
// move asked for: only those that came on screen, in cells the rows that left gave back.
TEST_F(TableViews, TheBoundsDecideWhichRowsAreOnScreen) {
    using Heights = std::vector<std::vector<double>>;
    const Heights twenty = {std::vector<double>(20, 44)};
    struct Case {
        const char* name;
        Heights heights;
        std::vector<double> headers;
        std::function<void(ui::TableView&, Source&)> move;
        double offset;
        Strings visible, asked;
        int made; // cells made in all
    };
    auto offset = [](double y) { return [y](ui::TableView& t, Source&) { t.setContentOffset({0, y}); }; };
    auto scrollTo = [](long row, long position) {
        return [row, position](ui::TableView& t, Source&) { t.scrollToRowAtIndexPath(at(row), position, false); };
    };
    const Case cases[] = {
        {"nothing moves", twenty, {}, [](ui::TableView&, Source&) {}, 0, {"0-0", "0-1", "0-2"}, {}, 3},
        {"a row's height down", twenty, {}, offset(44), 44, {"0-1", "0-2", "0-3"}, {"cell 0-3"}, 3},
        {"half a row down", twenty, {}, offset(22), 22, {"0-0", "0-1", "0-2", "0-3"}, {"cell 0-3"}, 4},
        {"past the content", twenty, {}, offset(900), 900, {}, {}, 3},
        {"row 10 to the top", twenty, {}, scrollTo(10, 1), 440, {"0-10", "0-11", "0-12"},
         {"cell 0-10", "cell 0-11", "cell 0-12"}, 3},
        {"row 10 to the middle", twenty, {}, scrollTo(10, 2), 396, {"0-9", "0-10", "0-11"},
         {"cell 0-9", "cell 0-10", "cell 0-11"}, 3},
        {"row 10 to the bottom", twenty, {}, scrollTo(10, 3), 352, {"0-8", "0-9", "0-10"},
         {"cell 0-8", "cell 0-9", "cell 0-10"}, 3},
        {"none: a row shown stays, one below comes in at the bottom", twenty, {},
         [](ui::TableView& t, Source&) {
             t.scrollToRowAtIndexPath(at(1), 0, false);
             t.scrollToRowAtIndexPath(at(4), 0, false);
         },
         88, {"0-2", "0-3", "0-4"}, {"cell 0-3", "cell 0-4"}, 3},
        {"the last row to the top stops at the content's end", twenty, {}, scrollTo(19, 1), 748,
         {"0-17", "0-18", "0-19"}, {"cell 0-17", "cell 0-18", "cell 0-19"}, 3},
        {"a reload keeps the offset", twenty, {},
         [](ui::TableView& t, Source&) {
             t.setContentOffset({0, 440});
             t.reloadData();
         },
         440, {"0-10", "0-11", "0-12"}, {"cell 0-10", "cell 0-11", "cell 0-12", "cell 0-10", "cell 0-11", "cell 0-12"}, 3},
        {"an update block asks the visible rows only", twenty, {},
         [](ui::TableView& t, Source& s) {
             t.setContentOffset({0, 440});
             s.calls.clear();
             s.heights[0].pop_back();
             t.deleteRowsAtIndexPaths({at(0)}, ui::TableViewRowAnimation::Fade);
         },
         440, {"0-10", "0-11", "0-12"}, {"cell 0-10", "cell 0-11", "cell 0-12"}, 3},
        {"headers come and go with their sections", {{44, 44, 44}, {44, 44, 44}}, {20, 20}, offset(140), 140,
         {"0-2", "1-0", "1-1", "1-2"}, {"header 1", "cell 1-0", "cell 1-1", "cell 1-2"}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CountingCell::made = 0;
        auto source = rt::make<Source>();
        source->heights = c.heights;
        source->headers = c.headers;
        auto table = makeTable(source);
        table->setFrame(cg::Rect::make(0, 0, 320, 132));
        table->registerClassForHeaderFooterViewReuseIdentifier(&ui::TableViewHeaderFooterView::staticClass(), str("Header"));
        table->reloadData();
        source->calls.clear();

        c.move(*table, *source);
        EXPECT_EQ(table->contentOffset().y, c.offset);
        Strings visible, asked;
        const rt::Ref<ns::Array> cells = table->visibleCells();
        for (const rt::Id& cell : *cells)
            visible.push_back(rt::cast<ui::TableViewCell>(cell)->textLabel()->text()->utf8());
        for (const std::string& call : source->calls)
            if (call.rfind("cell", 0) == 0 || call.rfind("header", 0) == 0) asked.push_back(call);
        EXPECT_EQ(visible, c.visible);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(CountingCell::made, c.made);
        for (long row = 0; row < table->numberOfRowsInSection(0); ++row) {
            auto cell = table->cellForRowAtIndexPath(at(row));
            const bool shown = std::find(c.visible.begin(), c.visible.end(), text(at(row))) != c.visible.end();
            EXPECT_EQ(static_cast<bool>(cell), shown) << row;
            EXPECT_TRUE(!cell || cell->superview() == table) << row;
        }
        EXPECT_EQ(table->subviews()->count(), c.visible.size() + (c.headers.empty() ? 0 : 1)) << "the rest went back to the pools";
    }
}

} // namespace
