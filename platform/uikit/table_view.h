#pragma once
// ui::TableView ("UITableView"): rows in sections, asked of a data source and a delegate by name
// (UITableViewDataSource, UITableViewDelegate; each asked only when it answers respondsToSelector):
//   data source  numberOfSectionsInTableView: (1 without it), tableView:numberOfRowsInSection:,
//                tableView:cellForRowAtIndexPath:
//   delegate     tableView:heightForRowAtIndexPath: (rowHeight without it, 44 unless set),
//                tableView:heightForHeaderInSection:, tableView:viewForHeaderInSection: and the
//                same two for footers (no header or footer without them),
//                tableView:didSelectRowAtIndexPath: (the tester's tap on a row)
//                tableView:willSelectRowAtIndexPath: (before it: nil refuses the tap, another path
//                is selected in its place), tableView:willDisplayCell:forRowAtIndexPath: (each cell
//                given to the table), tableView:accessoryButtonTappedForRowWithIndexPath:,
//                tableView:targetIndexPathForMoveFromRowAtIndexPath:toProposedIndexPath:
//   data source  tableView:titleForHeaderInSection: (and footer), tableView:commitEditingStyle:
//                forRowAtIndexPath:, tableView:moveRowAtIndexPath:toIndexPath:
//
// A scroll view (scroll_view.h): the rows are in its content, below its adjusted top inset.
// Sections stack from the top: header, rows, footer; the table's footer view goes below the last
// section. The bounds are the viewport: only the rows, headers and footers whose rectangles meet
// them are on screen (a row of no height when its top is within them), and only those are asked
// for their views. reloadData asks the counts, then every height, then, section by section, the
// header view, each on-screen row's cell and the footer view. A change of the bounds (a scroll:
// the content offset set by code or by the tester) puts the views that left back in their pools
// and asks for those that came in, each cell told to the delegate's willDisplayCell. Cells are
// subviews of the table, framed at their row across the table's width; points are in the table's
// coordinates.
//
// Reuse. A reuse identifier maps to a way of making a cell: a class (registerClass:...), a nib
// (registerNib:..., any object that answers instantiateWithOwner:options: with the cell among its
// top-level objects) or a factory given in code (registerCellFactory: how prototype cells and
// nibs registered by name are fed in). reloadData first puts every cell back under its
// identifier, as a scroll does with the views that leave the screen;
// dequeueReusableCellWithIdentifier hands those out again, after their prepareForReuse, row order
// kept, and makes new cells only when none is left. Cells not taken again leave the table. Header and footer views (ui::TableViewHeaderFooterView) are reused the
// same way.
//
// Selection: one selected row at most. The tester's tap (tapRowAtIndexPath) selects the row and
// tells the delegate; selection and deselection from code tell no one. Main thread only.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/foundation/index_path.h"
#include "platform/foundation/string.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/scroll_view.h"
#include "platform/uikit/table_view_header_footer_view.h"

namespace ns {
class Array;
}

namespace ui {
class Color;
}

namespace rt {
class Protocol;
}

namespace ui {

enum class TableViewStyle : long { Plain = 0, Grouped = 1 };

// How inserted, deleted and reloaded rows animate (recorded; nothing moves here).
enum class TableViewRowAnimation : long { Fade = 0, Right = 1, Left = 2, Top = 3, Bottom = 4, None = 5, Middle = 6, Automatic = 100 };

// The height a delegate answers to let the table size a row, header or footer itself.
inline constexpr double TableViewAutomaticDimension = -1;

class TableView : public ScrollView {
    RT_CLASS(TableView)
public:
    using CellFactory = std::function<rt::Ref<TableViewCell>()>;
    using HeaderFooterFactory = std::function<rt::Ref<TableViewHeaderFooterView>()>;

    TableViewStyle style() const noexcept { return style_; }
    // Both held weakly.
    rt::Id dataSource() const { return dataSource_.lock(); }
    void setDataSource(const rt::Id& dataSource);
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);

    // The height of rows the delegate does not size: 44 unless set.
    double rowHeight() const noexcept { return rowHeight_; }
    void setRowHeight(double height);
    bool allowsSelection() const noexcept { return allowsSelection_; }
    void setAllowsSelection(bool allows);
    bool isEditing() const noexcept { return editing_; }
    void setEditing(bool editing);
    void setEditingAnimated(bool editing, bool animated);
    // Taps select rows while editing only when set.
    bool allowsSelectionDuringEditing() const noexcept { return allowsSelectionDuringEditing_; }
    void setAllowsSelectionDuringEditing(bool allows);
    // Kept, behind the rows.
    const rt::Ref<View>& backgroundView() const noexcept { return backgroundView_; }
    void setBackgroundView(rt::Ref<View> view);
    // The line along each row's foot (TableViewCell::placeSeparator): in this colour, the
    // platform's light grey unless set; this far in from the sides, 15 at the left unless set.
    const rt::Ref<Color>& separatorColor() const noexcept { return separatorColor_; }
    void setSeparatorColor(rt::Ref<Color> color);
    const EdgeInsets& separatorInset() const noexcept { return separatorInset_; }
    void setSeparatorInset(const EdgeInsets& insets);
    // Placed below the last section at its own height, across the table's width.
    const rt::Ref<View>& tableFooterView() const noexcept { return footerView_; }
    void setTableFooterView(rt::Ref<View> view);
    // contentSize: the table's width by the height of all its sections and its footer view.

    // ---- Reuse ----
    // A nil class, nib or factory forgets the identifier.
    void registerClassForCellReuseIdentifier(const rt::Class* cellClass, const rt::Ref<ns::String>& identifier);
    void registerNibForCellReuseIdentifier(const rt::Id& nib, const rt::Ref<ns::String>& identifier);
    void registerCellFactory(const rt::Ref<ns::String>& identifier, CellFactory factory);
    void registerClassForHeaderFooterViewReuseIdentifier(const rt::Class* viewClass,
                                                         const rt::Ref<ns::String>& identifier);
    void registerHeaderFooterFactory(const rt::Ref<ns::String>& identifier, HeaderFooterFactory factory);
    // A cell put back under `identifier` (after its prepareForReuse), else a new one when the
    // identifier is registered, else nil.
    rt::Ref<TableViewCell> dequeueReusableCellWithIdentifier(const rt::Ref<ns::String>& identifier);
    // The same, for an identifier that must be registered: nil and a log line when it is not.
    rt::Ref<TableViewCell> dequeueReusableCellWithIdentifierForIndexPath(const rt::Ref<ns::String>& identifier,
                                                                         const rt::Ref<ns::IndexPath>& indexPath);
    rt::Ref<TableViewHeaderFooterView> dequeueReusableHeaderFooterViewWithIdentifier(
        const rt::Ref<ns::String>& identifier);

    // ---- Rows ----
    // Asks the data source and the delegate again (see above). A reload asked for while one runs
    // (from a data-source callback) is ignored, with a log line.
    void reloadData();
    long numberOfSections() const noexcept { return static_cast<long>(sections_.size()); }
    // 0 for a section that does not exist.
    long numberOfRowsInSection(long section) const noexcept;
    // Nil for a row that does not exist or is off screen.
    rt::Ref<TableViewCell> cellForRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) const;
    rt::Ref<ns::IndexPath> indexPathForCell(const rt::Ref<TableViewCell>& cell) const;
    // The row whose rectangle holds the point (half-open), or nil.
    rt::Ref<ns::IndexPath> indexPathForRowAtPoint(cg::Point point) const;
    // The null rectangle for a row that does not exist.
    cg::Rect rectForRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) const;
    // The on-screen rows' cells, top to bottom.
    rt::Ref<ns::Array> visibleCells() const;
    // The data source's title for a section's header (footer), or nil.
    rt::Ref<ns::String> titleForHeaderInSection(long section);
    rt::Ref<ns::String> titleForFooterInSection(long section);

    // ---- Updates ----
    // Changes between beginUpdates and the matching endUpdates are checked and applied together at
    // the end; a lone change is a block of its own. The check, as the platform's: the sections
    // asked again must number those before plus inserted less deleted, and each section kept must
    // hold its rows before plus inserted less deleted; otherwise ns::Exception
    // "NSInternalInconsistencyException" and the table stays as it was. Deleted rows and sections
    // are counted in the table before the block, inserted ones in the table after it. An applied
    // block asks the counts, heights and cells again (an empty one too: row heights change).
    struct Update {
        enum Kind : long { InsertRows, DeleteRows, ReloadRows, InsertSections, DeleteSections } kind;
        long section, row; // row -1 for sections
        TableViewRowAnimation animation;
    };
    void beginUpdates();
    void endUpdates();
    void insertRowsAtIndexPaths(const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation);
    void deleteRowsAtIndexPaths(const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation);
    void insertSections(const std::vector<long>& sections, TableViewRowAnimation animation);
    void deleteSections(const std::vector<long>& sections, TableViewRowAnimation animation);
    // Asks the data source again for those rows' cells only (rows that do not exist or are off
    // screen are skipped); within an update block, at its end.
    void reloadRowsAtIndexPaths(const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation);
    // The changes of the last block applied, in the order given.
    const std::vector<Update>& lastUpdates() const noexcept { return lastUpdates_; }

    // ---- Selection ----
    rt::Ref<ns::IndexPath> indexPathForSelectedRow() const { return selected_; }
    // Tells no one; nothing for a row that does not exist.
    void selectRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath, bool animated);
    // Tells no one; nothing unless the row is the selected one.
    void deselectRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath, bool animated);
    // Sets the content offset so the row shows at the top (1), middle (2) or bottom (3) of the
    // bounds less the adjusted content inset (none, 0: only as far as it takes to show it), kept
    // within the content and its insets; ns::Exception "NSInvalidArgumentException" for a row
    // that does not exist.
    void scrollToRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath, long position, bool animated);
    // The tester's tap on a row: scrolls it on screen (position none), selects it (in place of
    // the row selected before) and sends tableView:didSelectRowAtIndexPath:. False, and nothing
    // done, for a row that does not exist or while the table allows no selection or takes no
    // touches.
    bool tapRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath);
    // The tester's tap on a row's accessory button: tells the delegate; false for no such row.
    bool tapAccessoryAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath);
    // The tester's swipe and delete: the data source's commit of the delete style (1); false for
    // no such row or a data source that does not commit.
    bool commitDeleteAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath);
    // The tester's drag of a row: the delegate's target for the proposed path, the data source's
    // move, then the table asks its rows again. The path the row went to, or nil for no such row.
    rt::Ref<ns::IndexPath> moveRow(const rt::Ref<ns::IndexPath>& from, const rt::Ref<ns::IndexPath>& to);

protected:
    TableView() : TableView(cg::Rect::zero(), TableViewStyle::Plain) {}
    // The platform's initWithFrame:style:.
    explicit TableView(const cg::Rect& frame, TableViewStyle style = TableViewStyle::Plain);
    ~TableView() override;

    // Places the rows again across the table's present width.
    void layoutSubviews() override;
    // Shows the rows the new bounds meet.
    void boundsDidChange(const cg::Rect& before) override;

private:
    struct Row {
        rt::Ref<ns::IndexPath> indexPath;
        double y = 0, height = 0;
        rt::Ref<TableViewCell> cell;
    };
    struct SectionView {
        double y = 0, height = 0;
        rt::Ref<View> view;
    };
    struct Section {
        std::size_t firstRow = 0, rowCount = 0;
        SectionView header, footer;
    };
    template <class V>
    struct Pool {
        std::function<rt::Ref<V>()> make;
        std::vector<rt::Ref<V>> free; // the next one to hand out last
    };
    template <class V>
    using Pools = std::map<std::string, Pool<V>, std::less<>>;

    template <class V>
    static rt::Ref<V> take(Pools<V>& pools, const rt::Ref<ns::String>& identifier, bool& known);
    const Row* rowAt(const rt::Ref<ns::IndexPath>& indexPath) const;
    void measure(const rt::Id& source, const rt::Id& delegate);
    // Puts back the views that left the bounds and asks for those that came in.
    void show(const rt::Id& source, const rt::Id& delegate);
    void frameRow(const Row& row, double width) const;
    void recycle();
    template <class V>
    void putBack(Pools<V>& pools, const rt::Ref<V>& view);
    void putBackSectionView(SectionView& edge);
    void place();
    void refill();
    void queueRows(Update::Kind kind, const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation);
    void check(const std::vector<Update>& changes);
    void reloadRows(const std::vector<Update>& changes);

    TableViewStyle style_;
    rt::Weak<rt::Object> dataSource_, delegate_;
    double rowHeight_ = 44;
    bool allowsSelection_ = true;
    bool editing_ = false;
    bool allowsSelectionDuringEditing_ = false;
    int updateDepth_ = 0;
    std::vector<Update> pending_, lastUpdates_;
    rt::Ref<View> backgroundView_;
    rt::Ref<Color> separatorColor_;
    bool reloading_ = false;
    EdgeInsets separatorInset_{0, 15, 0, 0};
    rt::Ref<View> footerView_;
    std::vector<Section> sections_;
    std::vector<Row> rows_;
    std::size_t shownFirst_ = 0, shownEnd_ = 0; // the rows on screen: [first, end)
    rt::Ref<ns::IndexPath> selected_;
    Pools<TableViewCell> cellPools_;
    Pools<TableViewHeaderFooterView> headerFooterPools_;
};

// "UITableViewDataSource" and "UITableViewDelegate", with the platform's encodings: the methods
// the table calls.
const rt::Protocol& tableViewDataSourceProtocol();
const rt::Protocol& tableViewDelegateProtocol();

} // namespace ui
