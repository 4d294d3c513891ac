#include "platform/uikit/table_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/foundation/exception.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_messages.h"

namespace ui {

namespace {

struct Selectors {
    rt::Sel sections{"numberOfSectionsInTableView:"};
    rt::Sel rows{"tableView:numberOfRowsInSection:"};
    rt::Sel cell{"tableView:cellForRowAtIndexPath:"};
    rt::Sel rowHeight{"tableView:heightForRowAtIndexPath:"};
    rt::Sel headerHeight{"tableView:heightForHeaderInSection:"};
    rt::Sel headerView{"tableView:viewForHeaderInSection:"};
    rt::Sel footerHeight{"tableView:heightForFooterInSection:"};
    rt::Sel footerView{"tableView:viewForFooterInSection:"};
    rt::Sel didSelect{"tableView:didSelectRowAtIndexPath:"};
    rt::Sel instantiate{"instantiateWithOwner:options:"};
    rt::Sel willSelect{"tableView:willSelectRowAtIndexPath:"};
    rt::Sel willDisplay{"tableView:willDisplayCell:forRowAtIndexPath:"};
    rt::Sel accessory{"tableView:accessoryButtonTappedForRowWithIndexPath:"};
    rt::Sel moveTarget{"tableView:targetIndexPathForMoveFromRowAtIndexPath:toProposedIndexPath:"};
    rt::Sel headerTitle{"tableView:titleForHeaderInSection:"};
    rt::Sel footerTitle{"tableView:titleForFooterInSection:"};
    rt::Sel commit{"tableView:commitEditingStyle:forRowAtIndexPath:"};
    rt::Sel move{"tableView:moveRowAtIndexPath:toIndexPath:"};
};

const Selectors& sel() {
    static const Selectors selectors;
    return selectors;
}

// A height as the table uses it: never negative, NaN as 0.
double usableHeight(double height) {
    return height > 0 ? height : 0;
}

bool same(const rt::Ref<ns::IndexPath>& a, const rt::Ref<ns::IndexPath>& b) {
    return a && b && a->section() == b->section() && a->row() == b->row();
}

// Whether a rectangle of the content from `y`, `height` high, meets the bounds' span
// [top, bottom): one of no height when its top is within it.
bool tableSpanMeets(double y, double height, double top, double bottom) {
    return y < bottom && (y + height > top || y >= top);
}

// Set while the table asks for its rows, cleared however that ends: a data source or a nib may
// raise.
struct TableViewReloading {
    bool& flag;
    explicit TableViewReloading(bool& f) : flag(f) { flag = true; }
    ~TableViewReloading() { flag = false; }
};

// Asks the delegate for a section's header or footer height when it answers, else 0.
double sectionHeight(const rt::Id& delegate, rt::Sel selector, const rt::Id& table, long section) {
    return detail::answers(delegate, selector) ? usableHeight(rt::send<double>(delegate, selector, table, section)) : 0;
}

} // namespace

TableView::TableView(const cg::Rect& frame, TableViewStyle style)
    : ScrollView(frame), style_(style), separatorColor_(Color::colorWithRed(0.78, 0.78, 0.8, 1)) {}

TableView::~TableView() = default;

// ---- Settings ----------------------------------------------------------------------------------

void TableView::setDataSource(const rt::Id& dataSource) {
    rt::KeyChange change(this, "dataSource");
    dataSource_ = dataSource ? rt::Weak<rt::Object>(dataSource) : rt::Weak<rt::Object>();
}

void TableView::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate ? rt::Weak<rt::Object>(delegate) : rt::Weak<rt::Object>();
}

void TableView::setRowHeight(double height) {
    rt::KeyChange change(this, "rowHeight");
    rowHeight_ = usableHeight(height);
}

void TableView::setAllowsSelection(bool allows) {
    rt::KeyChange change(this, "allowsSelection");
    allowsSelection_ = allows;
}

void TableView::setEditing(bool editing) {
    rt::KeyChange change(this, "editing");
    editing_ = editing;
}

void TableView::setEditingAnimated(bool editing, bool) {
    setEditing(editing);
}

void TableView::setAllowsSelectionDuringEditing(bool allows) {
    rt::KeyChange change(this, "allowsSelectionDuringEditing");
    allowsSelectionDuringEditing_ = allows;
}

void TableView::setBackgroundView(rt::Ref<View> view) {
    rt::KeyChange change(this, "backgroundView");
    backgroundView_ = std::move(view);
}

void TableView::setSeparatorColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "separatorColor");
    separatorColor_ = std::move(color);
    setNeedsLayout(); // the rows' lines take it at the next placing
}

void TableView::setSeparatorInset(const EdgeInsets& insets) {
    rt::KeyChange change(this, "separatorInset");
    separatorInset_ = insets;
    setNeedsLayout();
}

void TableView::setTableFooterView(rt::Ref<View> view) {
    rt::KeyChange change(this, "tableFooterView");
    if (footerView_ == view) return;
    if (footerView_ && footerView_->superview().get() == this) footerView_->removeFromSuperview();
    footerView_ = std::move(view);
    if (footerView_) addSubview(footerView_);
    place();
}

// ---- Reuse -------------------------------------------------------------------------------------

void TableView::registerClassForCellReuseIdentifier(const rt::Class* cellClass, const rt::Ref<ns::String>& identifier) {
    if (cellClass && !cellClass->isSubclassOf(TableViewCell::staticClass())) {
        ns::log("-[UITableView registerClass:forCellReuseIdentifier:]: %s is no table view cell class",
                std::string(cellClass->name()));
        return;
    }
    registerCellFactory(identifier, cellClass ? CellFactory([cellClass] { return rt::cast<TableViewCell>(cellClass->alloc()); })
                                              : CellFactory());
}

void TableView::registerNibForCellReuseIdentifier(const rt::Id& nib, const rt::Ref<ns::String>& identifier) {
    if (!nib) return registerCellFactory(identifier, nullptr);
    registerCellFactory(identifier, [nib, identifier]() -> rt::Ref<TableViewCell> {
        if (auto objects = rt::cast<ns::Array>(rt::send(nib, sel().instantiate, rt::Id(), rt::Id())))
            for (const rt::Id& object : *objects)
                if (auto cell = rt::cast<TableViewCell>(object)) return cell;
        ns::log("-[UITableView dequeueReusableCellWithIdentifier:]: the nib registered for %@ holds no table view cell",
                rt::Id(identifier));
        return nullptr;
    });
}

void TableView::registerCellFactory(const rt::Ref<ns::String>& identifier, CellFactory factory) {
    if (!identifier) return;
    cellPools_[identifier->utf8()].make = std::move(factory);
}

void TableView::registerClassForHeaderFooterViewReuseIdentifier(const rt::Class* viewClass,
                                                                const rt::Ref<ns::String>& identifier) {
    if (viewClass && !viewClass->isSubclassOf(TableViewHeaderFooterView::staticClass())) {
        ns::log("-[UITableView registerClass:forHeaderFooterViewReuseIdentifier:]: %s is no header or footer view class",
                std::string(viewClass->name()));
        return;
    }
    registerHeaderFooterFactory(identifier, viewClass ? HeaderFooterFactory([viewClass] {
        return rt::cast<TableViewHeaderFooterView>(viewClass->alloc());
    })
                                                      : HeaderFooterFactory());
}

void TableView::registerHeaderFooterFactory(const rt::Ref<ns::String>& identifier, HeaderFooterFactory factory) {
    if (!identifier) return;
    headerFooterPools_[identifier->utf8()].make = std::move(factory);
}

// A view put back under the identifier, prepared for reuse; else a new one when the identifier has
// a way to make one. `known` tells whether it has.
template <class V>
rt::Ref<V> TableView::take(Pools<V>& pools, const rt::Ref<ns::String>& identifier, bool& known) {
    known = false;
    if (!identifier) return nullptr;
    auto found = pools.find(identifier->utf8());
    if (found == pools.end()) return nullptr;
    Pool<V>& pool = found->second;
    if (!pool.free.empty()) {
        known = true;
        rt::Ref<V> view = std::move(pool.free.back());
        pool.free.pop_back();
        view->prepareForReuse();
        return view;
    }
    if (!pool.make) return nullptr;
    known = true;
    rt::Ref<V> made = pool.make();
    if (made) made->adoptReuseIdentifier(identifier);
    return made;
}

rt::Ref<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const rt::Ref<ns::String>& identifier) {
    bool known;
    return take(cellPools_, identifier, known);
}

rt::Ref<TableViewCell> TableView::dequeueReusableCellWithIdentifierForIndexPath(const rt::Ref<ns::String>& identifier,
                                                                                const rt::Ref<ns::IndexPath>&) {
    bool known;
    rt::Ref<TableViewCell> cell = take(cellPools_, identifier, known);
    if (!known)
        ns::log("-[UITableView dequeueReusableCellWithIdentifier:forIndexPath:]: unable to dequeue a cell with "
                "identifier %@ - must register a nib or a class for the identifier",
                rt::Id(identifier));
    return cell;
}

rt::Ref<TableViewHeaderFooterView> TableView::dequeueReusableHeaderFooterViewWithIdentifier(
    const rt::Ref<ns::String>& identifier) {
    bool known;
    return take(headerFooterPools_, identifier, known);
}

// ---- Reloading ---------------------------------------------------------------------------------

void TableView::reloadData() {
    if (reloading_) {
        ns::log("-[UITableView reloadData]: asked for while the table reloads; ignored");
        return;
    }
    selected_ = nullptr;
    refill();
}

// Asks the counts, heights and cells again; the selected row stays selected while it exists.
void TableView::refill() {
    rt::Ref<TableView> self = rt::retained(this);
    const TableViewReloading reloading(reloading_);
    const rt::Id source = dataSource(), delegate = this->delegate();
    const rt::Ref<ns::IndexPath> selected = std::move(selected_);
    recycle();
    measure(source, delegate);
    if (const Row* row = rowAt(selected)) selected_ = row->indexPath;
    show(source, delegate);
    place();
}

void TableView::boundsDidChange(const cg::Rect& before) {
    if (reloading_ || sections_.empty()) return;
    rt::Ref<TableView> self = rt::retained(this);
    const TableViewReloading showing(reloading_);
    show(dataSource(), delegate());
    if (bounds().size.width != before.size.width) place();
}

// Puts the on-screen rows' cells and the sections' views back under their identifiers, the top
// row's to be handed out first; what has no identifier leaves the table.
void TableView::recycle() {
    for (std::size_t i = shownEnd_; i-- > shownFirst_;)
        putBack(cellPools_, std::exchange(rows_[i].cell, nullptr));
    for (auto section = sections_.rbegin(); section != sections_.rend(); ++section)
        for (SectionView* edge : {&section->footer, &section->header})
            putBackSectionView(*edge);
    rows_.clear();
    sections_.clear();
    shownFirst_ = shownEnd_ = 0;
}

template <class V>
void TableView::putBack(Pools<V>& pools, const rt::Ref<V>& view) {
    if (!view) return;
    if (const rt::Ref<ns::String>& identifier = view->reuseIdentifier()) pools[identifier->utf8()].free.push_back(view);
    else if (view->superview().get() == this) view->removeFromSuperview();
}

void TableView::putBackSectionView(SectionView& edge) {
    rt::Ref<View> view = std::move(edge.view);
    edge.view = nullptr;
    if (auto reusable = rt::cast<TableViewHeaderFooterView>(view)) putBack(headerFooterPools_, reusable);
    else if (view && view->superview().get() == this) view->removeFromSuperview();
}

// Asks the counts and every height, and stacks the sections from the top.
void TableView::measure(const rt::Id& source, const rt::Id& delegate) {
    const Selectors& s = sel();
    const rt::Id self = rt::retained(this);
    long sectionCount = detail::answers(source, s.sections) ? rt::send<long>(source, s.sections, self) : 1;
    const bool hasRows = detail::answers(source, s.rows);
    const bool sizesRows = detail::answers(delegate, s.rowHeight);
    sections_.resize(static_cast<std::size_t>(std::max(0L, hasRows ? sectionCount : 0L)));
    double y = 0;
    for (std::size_t index = 0; index < sections_.size(); ++index) {
        Section& section = sections_[index];
        const long number = static_cast<long>(index);
        section.header = {y, sectionHeight(delegate, s.headerHeight, self, number), nullptr};
        y += section.header.height;
        section.firstRow = rows_.size();
        section.rowCount = static_cast<std::size_t>(std::max(0L, rt::send<long>(source, s.rows, self, number)));
        for (std::size_t row = 0; row < section.rowCount; ++row) {
            auto indexPath = ns::IndexPath::indexPathForRowInSection(static_cast<long>(row), number);
            const double height =
                sizesRows ? usableHeight(rt::send<double>(delegate, s.rowHeight, self, indexPath)) : rowHeight_;
            rows_.push_back({std::move(indexPath), y, height, nullptr});
            y += height;
        }
        section.footer = {y, sectionHeight(delegate, s.footerHeight, self, number), nullptr};
        y += section.footer.height;
    }
}

// Puts back the views that left the bounds, then asks, section by section, for the header view,
// each row's cell and the footer view that came in; then lets go of the views put back and not
// taken again.
void TableView::show(const rt::Id& source, const rt::Id& delegate) {
    const Selectors& s = sel();
    const rt::Id self = rt::retained(this);
    const double top = bounds().minY(), bottom = bounds().maxY(), width = bounds().size.width;
    // Rows are stacked: the on-screen ones are a run.
    const auto above = std::partition_point(rows_.begin(), rows_.end(),
                                            [&](const Row& row) { return row.y + row.height <= top && row.y < top; });
    const auto below = std::partition_point(above, rows_.end(), [&](const Row& row) { return row.y < bottom; });
    const auto first = static_cast<std::size_t>(above - rows_.begin()), last = static_cast<std::size_t>(below - rows_.begin());
    for (std::size_t i = shownFirst_; i < shownEnd_; ++i)
        if (i < first || i >= last) putBack(cellPools_, std::exchange(rows_[i].cell, nullptr));
    for (Section& section : sections_)
        for (SectionView* edge : {&section.header, &section.footer})
            if (edge->view && !tableSpanMeets(edge->y, edge->height, top, bottom)) putBackSectionView(*edge);
    shownFirst_ = first;
    shownEnd_ = last;

    const bool viewsHeaders = detail::answers(delegate, s.headerView);
    const bool viewsFooters = detail::answers(delegate, s.footerView);
    auto attach = [this](const rt::Ref<View>& view) {
        if (view->superview().get() != this) addSubview(view);
    };
    auto ask = [&](SectionView& edge, bool views, rt::Sel selector, long number) {
        if (!views || edge.view || !(edge.height > 0) || !tableSpanMeets(edge.y, edge.height, top, bottom)) return;
        edge.view = rt::cast<View>(rt::send(delegate, selector, self, number));
        if (!edge.view) return;
        attach(edge.view);
        edge.view->setFrame(cg::Rect::make(0, edge.y, width, edge.height));
    };
    for (std::size_t index = 0; index < sections_.size(); ++index) {
        Section& section = sections_[index];
        const long number = static_cast<long>(index);
        if (section.header.y >= bottom) break;
        ask(section.header, viewsHeaders, s.headerView, number);
        const std::size_t from = std::max(first, section.firstRow), to = std::min(last, section.firstRow + section.rowCount);
        for (std::size_t i = from; i < to; ++i) {
            Row& row = rows_[i];
            if (row.cell) continue;
            row.cell = rt::cast<TableViewCell>(rt::send(source, s.cell, self, row.indexPath));
            if (!row.cell) {
                ns::log("-[UITableView reloadData]: the data source gave no cell for row %ld of section %ld",
                        row.indexPath->row(), row.indexPath->section());
                row.cell = rt::make<TableViewCell>();
            }
            attach(row.cell);
            frameRow(row, width);
            if (same(row.indexPath, selected_)) row.cell->setSelectedAnimated(true, false);
            detail::tell(delegate, s.willDisplay, self, row.cell, row.indexPath);
        }
        ask(section.footer, viewsFooters, s.footerView, number);
    }
    auto leave = [this](auto& pools) {
        for (auto& entry : pools)
            for (const auto& view : entry.second.free)
                if (view->superview().get() == this) view->removeFromSuperview();
    };
    leave(cellPools_);
    leave(headerFooterPools_);
}

void TableView::frameRow(const Row& row, double width) const {
    row.cell->setFrame(cg::Rect::make(0, row.y, width, row.height));
    row.cell->placeSeparator(separatorInset_, separatorColor_ ? separatorColor_->cgColor() : nullptr);
}

// Frames every row, section view and the footer view across the table's width. A layout pass run
// from a data-source callback meets rows whose cells are not made yet: they are skipped, and
// framed when the reload places them.
void TableView::place() {
    const double width = bounds().size.width;
    double bottom = 0;
    for (const Section& section : sections_) {
        for (const SectionView* end : {&section.header, &section.footer})
            if (end->view) end->view->setFrame(cg::Rect::make(0, end->y, width, end->height));
        bottom = section.footer.y + section.footer.height;
    }
    for (std::size_t i = shownFirst_; i < shownEnd_; ++i)
        if (rows_[i].cell) frameRow(rows_[i], width);
    if (footerView_) {
        footerView_->setFrame(cg::Rect::make(0, bottom, width, footerView_->bounds().size.height));
        bottom += footerView_->bounds().size.height;
    }
    setContentSize({width, bottom});
}

void TableView::layoutSubviews() {
    place();
}

// ---- Rows --------------------------------------------------------------------------------------

const TableView::Row* TableView::rowAt(const rt::Ref<ns::IndexPath>& indexPath) const {
    if (!indexPath || indexPath->section() < 0 || indexPath->section() >= numberOfSections() || indexPath->row() < 0)
        return nullptr;
    const Section& section = sections_[static_cast<std::size_t>(indexPath->section())];
    const auto row = static_cast<std::size_t>(indexPath->row());
    return row < section.rowCount ? &rows_[section.firstRow + row] : nullptr;
}

long TableView::numberOfRowsInSection(long section) const noexcept {
    return section >= 0 && section < numberOfSections() ? static_cast<long>(sections_[static_cast<std::size_t>(section)].rowCount)
                                                         : 0;
}

rt::Ref<TableViewCell> TableView::cellForRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) const {
    const Row* row = rowAt(indexPath);
    return row ? row->cell : nullptr;
}

rt::Ref<ns::IndexPath> TableView::indexPathForCell(const rt::Ref<TableViewCell>& cell) const {
    if (!cell) return nullptr;
    for (std::size_t i = shownFirst_; i < shownEnd_; ++i)
        if (rows_[i].cell == cell) return rows_[i].indexPath;
    return nullptr;
}

rt::Ref<ns::IndexPath> TableView::indexPathForRowAtPoint(cg::Point point) const {
    if (!(point.x >= 0 && point.x < bounds().size.width)) return nullptr;
    // The last row starting at or above the point; rows of no height never hold it.
    auto after = std::upper_bound(rows_.begin(), rows_.end(), point.y, [](double y, const Row& row) { return y < row.y; });
    if (after == rows_.begin()) return nullptr;
    const Row& row = *(after - 1);
    return point.y < row.y + row.height ? row.indexPath : nullptr;
}

cg::Rect TableView::rectForRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) const {
    const Row* row = rowAt(indexPath);
    return row ? cg::Rect::make(0, row->y, bounds().size.width, row->height) : cg::Rect::null();
}

rt::Ref<ns::Array> TableView::visibleCells() const {
    std::vector<rt::Id> cells;
    cells.reserve(shownEnd_ - shownFirst_);
    for (std::size_t i = shownFirst_; i < shownEnd_; ++i)
        if (rows_[i].cell) cells.push_back(rows_[i].cell);
    return ns::Array::make(std::move(cells));
}

rt::Ref<ns::String> TableView::titleForHeaderInSection(long section) {
    if (section < 0 || section >= numberOfSections()) return nullptr;
    const rt::Id source = dataSource();
    if (!detail::answers(source, sel().headerTitle)) return nullptr;
    return rt::cast<ns::String>(rt::send(source, sel().headerTitle, rt::Id(rt::retained(this)), section));
}

rt::Ref<ns::String> TableView::titleForFooterInSection(long section) {
    if (section < 0 || section >= numberOfSections()) return nullptr;
    const rt::Id source = dataSource();
    if (!detail::answers(source, sel().footerTitle)) return nullptr;
    return rt::cast<ns::String>(rt::send(source, sel().footerTitle, rt::Id(rt::retained(this)), section));
}

// ---- Updates -----------------------------------------------------------------------------------

void TableView::beginUpdates() {
    ++updateDepth_;
}

// A change of rows: a block of its own unless one is open.
void TableView::queueRows(Update::Kind kind, const std::vector<rt::Ref<ns::IndexPath>>& paths,
                          TableViewRowAnimation animation) {
    beginUpdates();
    for (const auto& path : paths)
        if (path) pending_.push_back({kind, path->section(), path->row(), animation});
    endUpdates();
}

void TableView::insertRowsAtIndexPaths(const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation) {
    queueRows(Update::InsertRows, paths, animation);
}

void TableView::deleteRowsAtIndexPaths(const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation) {
    queueRows(Update::DeleteRows, paths, animation);
}

void TableView::reloadRowsAtIndexPaths(const std::vector<rt::Ref<ns::IndexPath>>& paths, TableViewRowAnimation animation) {
    queueRows(Update::ReloadRows, paths, animation);
}

void TableView::insertSections(const std::vector<long>& sections, TableViewRowAnimation animation) {
    beginUpdates();
    for (long section : sections)
        pending_.push_back({Update::InsertSections, section, -1, animation});
    endUpdates();
}

void TableView::deleteSections(const std::vector<long>& sections, TableViewRowAnimation animation) {
    beginUpdates();
    for (long section : sections)
        pending_.push_back({Update::DeleteSections, section, -1, animation});
    endUpdates();
}

void TableView::endUpdates() {
    if (updateDepth_ == 0 || --updateDepth_ > 0) return;
    std::vector<Update> changes = std::move(pending_);
    pending_.clear();
    rt::Ref<TableView> self = rt::retained(this);
    check(changes);
    const bool onlyReloads = !changes.empty() && std::all_of(changes.begin(), changes.end(), [](const Update& u) {
        return u.kind == Update::ReloadRows;
    });
    if (onlyReloads) reloadRows(changes);
    else refill();
    lastUpdates_ = std::move(changes);
}

// Throws, as the platform does, when the data source's counts do not follow from the changes.
void TableView::check(const std::vector<Update>& changes) {
    const Selectors& s = sel();
    const rt::Id source = dataSource(), self = rt::retained(this);
    auto distinct = [&](Update::Kind kind, long section) {
        std::vector<long> found;
        for (const Update& u : changes)
            if (u.kind == kind && (section < 0 || u.section == section))
                found.push_back(section < 0 ? u.section : u.row);
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return found;
    };
    auto fail = [](const std::string& reason) {
        ns::raise("NSInternalInconsistencyException", "Invalid update: " + reason);
    };
    const long before = numberOfSections();
    const bool hasRows = detail::answers(source, s.rows);
    const long after = !hasRows ? 0 : detail::answers(source, s.sections) ? rt::send<long>(source, s.sections, self) : 1;
    const std::vector<long> inserted = distinct(Update::InsertSections, -1), deleted = distinct(Update::DeleteSections, -1);
    if (after != before + static_cast<long>(inserted.size()) - static_cast<long>(deleted.size()))
        fail(ns::format("invalid number of sections (%ld, was %ld)", after, before));
    // The sections kept, paired in order: before (not deleted) with after (not inserted).
    long old = 0;
    for (long now = 0; now < after; ++now) {
        if (std::binary_search(inserted.begin(), inserted.end(), now)) continue;
        while (std::binary_search(deleted.begin(), deleted.end(), old)) ++old;
        const long rows = rt::send<long>(source, s.rows, self, now);
        const long expected = numberOfRowsInSection(old) + static_cast<long>(distinct(Update::InsertRows, now).size()) -
                              static_cast<long>(distinct(Update::DeleteRows, old).size());
        if (rows != expected)
            fail(ns::format("invalid number of rows in section %ld (%ld, expected %ld)", now, rows, expected));
        ++old;
    }
}

// Asks the data source again for the given rows' cells, in place.
void TableView::reloadRows(const std::vector<Update>& changes) {
    const Selectors& s = sel();
    const rt::Id source = dataSource(), delegate = this->delegate(), self = rt::retained(this);
    const double width = bounds().size.width;
    for (const Update& change : changes) {
        const Row* found = rowAt(ns::IndexPath::indexPathForRowInSection(change.row, change.section));
        if (!found || !found->cell) continue; // off screen: asked for when it shows
        Row* row = &rows_[static_cast<std::size_t>(found - rows_.data())];
        putBack(cellPools_, std::exchange(row->cell, nullptr));
        rt::Ref<TableViewCell> cell = rt::cast<TableViewCell>(rt::send(source, s.cell, self, row->indexPath));
        row->cell = cell ? cell : rt::make<TableViewCell>();
        if (row->cell->superview().get() != this) addSubview(row->cell);
        detail::tell(delegate, s.willDisplay, self, row->cell, row->indexPath);
        frameRow(*row, width);
        if (same(row->indexPath, selected_)) row->cell->setSelectedAnimated(true, false);
    }
    for (auto& entry : cellPools_)
        for (const auto& view : entry.second.free)
            if (view->superview().get() == this) view->removeFromSuperview();
}

// ---- Selection ---------------------------------------------------------------------------------

void TableView::selectRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath, bool animated) {
    const Row* row = rowAt(indexPath);
    if (!row) return;
    if (const Row* previous = rowAt(selected_); previous && previous != row && previous->cell)
        previous->cell->setSelectedAnimated(false, animated);
    selected_ = row->indexPath;
    if (row->cell) row->cell->setSelectedAnimated(true, animated);
}

void TableView::deselectRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath, bool animated) {
    if (!same(indexPath, selected_)) return;
    const Row* row = rowAt(selected_);
    selected_ = nullptr;
    if (row && row->cell) row->cell->setSelectedAnimated(false, animated);
}

bool TableView::tapRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) {
    if (!rowAt(indexPath) || !allowsSelection_ || !isUserInteractionEnabled()) return false;
    if (editing_ && !allowsSelectionDuringEditing_) return false;
    rt::Ref<TableView> self = rt::retained(this);
    scrollToRowAtIndexPath(indexPath, 0, false);
    const Row* row = rowAt(indexPath);
    if (!row || !row->cell || !row->cell->isUserInteractionEnabled()) return false;
    rt::Ref<ns::IndexPath> tapped = row->indexPath;
    if (detail::answers(delegate(), sel().willSelect)) {
        tapped = rt::cast<ns::IndexPath>(rt::send(delegate(), sel().willSelect, self, tapped));
        if (!rowAt(tapped)) return false;
    }
    selectRowAtIndexPath(tapped, false);
    detail::tell(delegate(), sel().didSelect, self, tapped);
    return true;
}

void TableView::scrollToRowAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath, long position, bool) {
    const Row* row = rowAt(indexPath);
    if (!row)
        ns::raise("NSInvalidArgumentException",
                  indexPath ? ns::format("-[UITableView scrollToRowAtIndexPath:atScrollPosition:animated:]: row "
                                         "(%ld) beyond bounds for section (%ld).",
                                         indexPath->row(), indexPath->section())
                            : std::string("-[UITableView scrollToRowAtIndexPath:atScrollPosition:animated:]: nil path"));
    // The part of the bounds the insets leave, and the offsets the content and its insets allow.
    const EdgeInsets inset = adjustedContentInset();
    const double offset = contentOffset().y, visible = bounds().size.height - inset.top - inset.bottom;
    const double lowest = -inset.top, highest = std::max(lowest, contentSize().height + inset.bottom - bounds().size.height);
    const double shownTop = offset + inset.top;
    double y = offset;
    if (position == 1) y = row->y - inset.top;
    else if (position == 2) y = row->y + row->height / 2 - visible / 2 - inset.top;
    else if (position == 3 || row->y + row->height > shownTop + visible) y = row->y + row->height - visible - inset.top;
    else if (row->y < shownTop) y = row->y - inset.top;
    setContentOffset({contentOffset().x, std::clamp(y, lowest, highest)});
}

bool TableView::tapAccessoryAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) {
    const Row* row = rowAt(indexPath);
    if (!row) return false;
    detail::tell(delegate(), sel().accessory, rt::retained(this), row->indexPath);
    return true;
}

bool TableView::commitDeleteAtIndexPath(const rt::Ref<ns::IndexPath>& indexPath) {
    const Row* row = rowAt(indexPath);
    const rt::Id source = dataSource();
    if (!row || !detail::answers(source, sel().commit)) return false;
    rt::send(source, sel().commit, rt::retained(this), 1L, row->indexPath);
    return true;
}

rt::Ref<ns::IndexPath> TableView::moveRow(const rt::Ref<ns::IndexPath>& from, const rt::Ref<ns::IndexPath>& to) {
    const Row* row = rowAt(from);
    if (!row || !to) return nullptr;
    rt::Ref<TableView> self = rt::retained(this);
    const rt::Ref<ns::IndexPath> source = row->indexPath;
    rt::Ref<ns::IndexPath> target = to;
    if (detail::answers(delegate(), sel().moveTarget))
        target = rt::cast<ns::IndexPath>(rt::send(delegate(), sel().moveTarget, self, source, to));
    if (!target) target = source;
    detail::tell(dataSource(), sel().move, self, source, target);
    refill();
    return target;
}

// ---- Protocols ---------------------------------------------------------------------------------

const rt::Protocol& tableViewDataSourceProtocol() {
    static const rt::Protocol protocol("UITableViewDataSource", {
        {sel().rows, "q@:@q", true},
        {sel().cell, "@@:@@", true},
        {sel().sections, "q@:@", false},
    });
    return protocol;
}

const rt::Protocol& tableViewDelegateProtocol() {
    static const rt::Protocol protocol("UITableViewDelegate", {
        {sel().rowHeight, "d@:@@", false},
        {sel().headerHeight, "d@:@q", false},
        {sel().headerView, "@@:@q", false},
        {sel().footerHeight, "d@:@q", false},
        {sel().footerView, "@@:@q", false},
        {sel().didSelect, "v@:@@", false},
    });
    return protocol;
}

namespace {
// Registered at start-up, so they can be found by name before first use.
[[maybe_unused]] const bool registeredProtocols = (tableViewDataSourceProtocol(), tableViewDelegateProtocol(), true);
} // namespace

RT_DEFINE_CLASS(TableView, "UITableView", ScrollView,
                rt::prop("style", &TableView::style),
                rt::prop("dataSource", &TableView::dataSource, &TableView::setDataSource, {.memory = rt::Memory::Weak}),
                rt::prop("delegate", &TableView::delegate, &TableView::setDelegate, {.memory = rt::Memory::Weak}),
                rt::prop("rowHeight", &TableView::rowHeight, &TableView::setRowHeight),
                rt::prop("allowsSelection", &TableView::allowsSelection, &TableView::setAllowsSelection),
                rt::prop("editing", &TableView::isEditing, &TableView::setEditing, {.getter = "isEditing"}),
                rt::prop("separatorInset", &TableView::separatorInset, &TableView::setSeparatorInset),
                rt::prop("tableFooterView", &TableView::tableFooterView, &TableView::setTableFooterView),
                rt::prop("numberOfSections", &TableView::numberOfSections),
                rt::prop("indexPathForSelectedRow", &TableView::indexPathForSelectedRow),
                rt::prop("visibleCells", &TableView::visibleCells),
                rt::method("setSeparatorInset:", &TableView::setSeparatorInset),
                rt::method("setEditing:", &TableView::setEditing),
                rt::method("setEditing:animated:", &TableView::setEditingAnimated),
                rt::method("beginUpdates", &TableView::beginUpdates),
                rt::method("endUpdates", &TableView::endUpdates),
                rt::method("reloadData", &TableView::reloadData),
                rt::method("numberOfRowsInSection:", &TableView::numberOfRowsInSection),
                rt::method("registerClass:forCellReuseIdentifier:", &TableView::registerClassForCellReuseIdentifier),
                rt::method("registerNib:forCellReuseIdentifier:", &TableView::registerNibForCellReuseIdentifier),
                rt::method("registerClass:forHeaderFooterViewReuseIdentifier:",
                           &TableView::registerClassForHeaderFooterViewReuseIdentifier),
                rt::method("dequeueReusableCellWithIdentifier:", &TableView::dequeueReusableCellWithIdentifier),
                rt::method("dequeueReusableCellWithIdentifier:forIndexPath:",
                           &TableView::dequeueReusableCellWithIdentifierForIndexPath),
                rt::method("dequeueReusableHeaderFooterViewWithIdentifier:",
                           &TableView::dequeueReusableHeaderFooterViewWithIdentifier),
                rt::method("cellForRowAtIndexPath:", &TableView::cellForRowAtIndexPath),
                rt::method("indexPathForCell:", &TableView::indexPathForCell),
                rt::method("indexPathForRowAtPoint:", &TableView::indexPathForRowAtPoint),
                rt::method("rectForRowAtIndexPath:", &TableView::rectForRowAtIndexPath),
                rt::method("deselectRowAtIndexPath:animated:", &TableView::deselectRowAtIndexPath))

} // namespace ui
