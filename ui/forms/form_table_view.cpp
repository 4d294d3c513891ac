#include "ui/forms/form_table_view.h"

#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/uikit/view_controller.h"
#include "ui/forms/appearance.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

struct FormTableSelectors {
    rt::Sel cellWillAppear{"cell:willAppearForElement:atIndexPath:"};
    rt::Sel headerWillAppear{"header:willAppearForSection:atIndex:"};
    rt::Sel footerWillAppear{"footer:willAppearForSection:atIndex:"};
    rt::Sel shouldDelete{"shouldDeleteElement:"};
};

const FormTableSelectors& formTableSel() {
    static const FormTableSelectors selectors;
    return selectors;
}

// A cell shows its element to the accessibility services.
void formCellTakesAccessibility(ui::TableViewCell& cell, const Element& element) {
    cell.setAccessibilityLabel(element.accessibilityLabel());
    cell.setAccessibilityIdentifier(element.accessibilityIdentifier());
}

} // namespace

// The table's answers, from the visible members of its root. Both hold the table weakly.
class FormTableCompanion : public rt::Object {
    RT_CLASS(FormTableCompanion)
public:
    rt::Ref<FormTableView> table() const { return table_.lock(); }

protected:
    explicit FormTableCompanion(const rt::Ref<FormTableView>& table) : table_(table) {}
    FormTableCompanion() = default;

    // Table section n: the root's n-th visible section.
    rt::Ref<Section> section(long index) const {
        const rt::Ref<FormTableView> table = table_.lock();
        return table && table->root() ? table->root()->getVisibleSectionForIndex(index) : nullptr;
    }
    rt::Ref<Element> element(const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Section> found = path ? section(path->section()) : nullptr;
        return found ? found->getVisibleElementForIndex(path->row()) : nullptr;
    }
    rt::Ref<Appearance> rootAppearance() const {
        const rt::Ref<FormTableView> table = table_.lock();
        return table && table->root() ? table->root()->appearance() : nullptr;
    }

private:
    rt::Weak<FormTableView> table_;
};

class FormDataSource : public FormTableCompanion {
    RT_CLASS(FormDataSource)
public:
    long numberOfSections(const rt::Id&) const {
        const rt::Ref<FormTableView> t = table();
        return t && t->root() ? t->root()->visibleNumberOfSections() : 0;
    }
    long numberOfRows(const rt::Id&, long index) const {
        const rt::Ref<Section> found = section(index);
        return found ? found->visibleNumberOfElements() : 0;
    }
    rt::Id cell(const rt::Id& asking, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Element> shown = element(path);
        const rt::Ref<FormTableView> t = table();
        if (!shown || !t) return nullptr;
        const rt::Ref<ui::ViewController> controller = t->controller();
        shown->setController(controller);
        rt::Ref<ui::TableViewCell> made = shown->getCellForTableView(rt::cast<ui::TableView>(asking), controller);
        if (!made) return made;
        formCellTakesAccessibility(*made, *shown);
        made->setUserInteractionEnabled(shown->isEnabled());
        return made;
    }
    rt::Id titleForHeader(const rt::Id&, long index) const {
        const rt::Ref<Section> found = section(index);
        return found ? found->title() : nullptr;
    }
    rt::Id titleForFooter(const rt::Id&, long index) const {
        const rt::Ref<Section> found = section(index);
        return found ? found->footer() : nullptr;
    }
    bool canEditRow(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Section> found = path ? section(path->section()) : nullptr;
        if (found && found->acceptsRowMoves()) {
            const std::size_t index = fullIndex(found, path->row());
            return index != Section::NotFound && found->canRemoveElementForRow(index);
        }
        const rt::Ref<FormTableView> t = table();
        return t && t->isEditing();
    }
    bool canMoveRow(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Section> found = path ? section(path->section()) : nullptr;
        return found && found->acceptsRowMoves();
    }
    // A delete: the element of the visible row, unless its controller vetoes it, leaves its
    // section; the row leaves the table only when it did.
    void commitEditing(const rt::Id&, long, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Section> found = path ? section(path->section()) : nullptr;
        const rt::Ref<Element> doomed = element(path);
        if (!found || !doomed) return;
        const rt::Id controller = doomed->controller();
        if (!rt::ask(controller, formTableSel().shouldDelete, true, rt::Id(doomed))) return;
        if (!found->removeElementForRow(found->indexOfElement(doomed.get()))) return;
        if (const rt::Ref<FormTableView> t = table()) t->deleteRowsAtIndexPaths({path}, ui::TableViewRowAnimation::Fade);
    }
    // Within the source section: the element lands just before the one that is visible row `to`
    // once it is out, appended when there is none.
    void moveRow(const rt::Id&, const rt::Ref<ns::IndexPath>& from, const rt::Ref<ns::IndexPath>& to) const {
        const rt::Ref<Section> found = from && to ? section(from->section()) : nullptr;
        const rt::Ref<Element> moving = element(from);
        if (!found || !moving || from->row() == to->row()) return;
        const std::size_t source = found->indexOfElement(moving.get());
        long row = to->row();
        if (row >= from->row()) ++row; // counted with the moving element still in place
        const rt::Ref<Element> before = found->getVisibleElementForIndex(row);
        std::size_t target = before ? found->indexOfElement(before.get()) : found->elements()->size();
        if (target > source) --target;
        found->moveElementFromRowToRow(source, target);
    }

protected:
    explicit FormDataSource(const rt::Ref<FormTableView>& table) : FormTableCompanion(table) {}
    FormDataSource() = default;

private:
    static std::size_t fullIndex(const rt::Ref<Section>& section, long row) {
        const rt::Ref<Element> found = section->getVisibleElementForIndex(row);
        return found ? section->indexOfElement(found.get()) : Section::NotFound;
    }
};

class FormTableDelegate : public FormTableCompanion {
    RT_CLASS(FormTableDelegate)
public:
    rt::Id willSelectRow(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const { return path; }
    void didSelectRow(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<FormTableView> t = table();
        if (const rt::Ref<Element> tapped = element(path); tapped && t) tapped->selected(t, t->controller(), path);
    }
    void accessoryTapped(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<FormTableView> t = table();
        if (const rt::Ref<Element> tapped = element(path); tapped && t)
            tapped->selectedAccessory(rt::Id(t), t->controller(), path);
    }
    double heightForRow(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Element> shown = element(path);
        return shown ? shown->getRowHeightForTableView(table()) : 0;
    }
    double heightForHeader(const rt::Id&, long index) const {
        const rt::Ref<Appearance> look = rootAppearance();
        return look ? look->heightForHeaderInSection(section(index), table(), index) : 0;
    }
    double heightForFooter(const rt::Id&, long index) const {
        const rt::Ref<Appearance> look = rootAppearance();
        return look ? look->heightForFooterInSection(section(index), table(), index) : 0;
    }
    rt::Id viewForHeader(const rt::Id&, long index) const { return sectionView(index, true); }
    rt::Id viewForFooter(const rt::Id&, long index) const { return sectionView(index, false); }
    // The root's appearance sees the cell first, then the form delegate.
    void willDisplayCell(const rt::Id&, const rt::Id& cell, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Element> shown = element(path);
        const rt::Ref<Appearance> look = rootAppearance();
        if (look) look->cellWillAppearForElement(rt::cast<ui::TableViewCell>(cell), shown, path);
        if (const rt::Ref<FormTableView> t = table())
            rt::tell(t->formDelegate(), formTableSel().cellWillAppear, cell, rt::Id(shown), path);
    }
    long editingStyle(const rt::Id&, const rt::Ref<ns::IndexPath>& path) const {
        const rt::Ref<Section> found = path ? section(path->section()) : nullptr;
        return found && found->canDeleteRows() ? 1 : 0;
    }
    bool shouldIndentWhileEditing(const rt::Id&, const rt::Ref<ns::IndexPath>&) const { return false; }
    // A row moves only within its own section, and only one that accepts moves.
    rt::Id moveTarget(const rt::Id&, const rt::Ref<ns::IndexPath>& from, const rt::Ref<ns::IndexPath>& proposed) const {
        const rt::Ref<Section> found = from ? section(from->section()) : nullptr;
        if (found && proposed && proposed->section() == from->section() && found->acceptsRowMoves()) return proposed;
        return from;
    }

protected:
    explicit FormTableDelegate(const rt::Ref<FormTableView>& table) : FormTableCompanion(table) {}
    FormTableDelegate() = default;

private:
    // The section's own view; else the appearance's, shown to the form delegate, which may set the
    // section's own view meanwhile.
    rt::Id sectionView(long index, bool header) const {
        const rt::Ref<Section> found = section(index);
        const rt::Ref<FormTableView> t = table();
        if (!found || !t) return nullptr;
        auto own = [&] { return header ? found->headerView() : found->footerView(); };
        if (own()) return own();
        const rt::Ref<Appearance> look = rootAppearance();
        rt::Ref<ui::View> built;
        if (look)
            built = header ? look->buildHeaderForSection(found, t, index) : look->buildFooterForSection(found, t, index);
        const FormTableSelectors& s = formTableSel();
        rt::tell(t->formDelegate(), header ? s.headerWillAppear : s.footerWillAppear, rt::Id(built), rt::Id(found), index);
        return own() ? own() : built;
    }
};

// ---- The table ---------------------------------------------------------------------------------

FormTableView::FormTableView(const rt::Ref<ui::ViewController>& controller, const rt::Ref<RootElement>& root)
    : ui::TableView(cg::Rect::zero(), root && root->grouped() ? ui::TableViewStyle::Grouped : ui::TableViewStyle::Plain),
      controller_(controller) {
    setRoot(root);
    deselectRowWhenViewAppears_ = true;
    const rt::Ref<FormTableView> self = rt::retained(this);
    formDataSource_ = rt::make<FormDataSource>(self);
    setDataSource(formDataSource_);
    formTableDelegate_ = rt::make<FormTableDelegate>(self);
    setDelegate(formTableDelegate_);
    setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    // The platform loads a table's rows before it first shows; the stand-in loads them here.
    reloadData();
}

FormTableView::~FormTableView() = default;

void FormTableView::setRoot(rt::Ref<RootElement> root) {
    root_ = std::move(root);
    bool editing = false;
    if (root_ && root_->sections())
        for (const auto& section : *root_->sections())
            editing = editing || section->needsEditing();
    if (editing) {
        setEditingAnimated(true, true);
        setAllowsSelectionDuringEditing(true);
    }
    reloadData();
}

void FormTableView::setFormDelegate(const rt::Id& delegate) {
    formDelegate_ = delegate ? rt::Weak<rt::Object>(delegate) : rt::Weak<rt::Object>();
}

void FormTableView::reloadData() {
    applyAppearanceForRoot(root_);
    ui::TableView::reloadData();
}

void FormTableView::setContentInset(const ui::EdgeInsets& insets) {
    ui::TableView::setContentInset(insets);
    setScrollIndicatorInsets(insets);
}

void FormTableView::applyAppearanceForRoot(const rt::Ref<RootElement>& root) {
    const rt::Ref<Appearance> look = root ? root->appearance() : nullptr;
    if (!look) return;
    const bool grouped = root->grouped();
    if (look->tableGroupedBackgroundColor()) {
        setBackgroundColor(grouped ? look->tableGroupedBackgroundColor() : look->tableBackgroundColor());
        setBackgroundView(look->tableBackgroundView());
    }
    if (look->tableBackgroundView() && !grouped) setBackgroundView(look->tableBackgroundView());
    if (look->tableGroupedBackgroundView() && grouped) setBackgroundView(look->tableGroupedBackgroundView());
    if (look->tableSeparatorColor()) setSeparatorColor(look->tableSeparatorColor());
}

rt::Ref<ns::IndexPath> FormTableView::indexForElement(const rt::Ref<Element>& element) const {
    const rt::Ref<fm::Section> section = element ? element->parentSection() : nullptr;
    if (!section || !root_ || !root_->sections()) return nullptr;
    const auto& sections = *root_->sections();
    for (std::size_t index = 0; index < sections.size(); ++index)
        if (sections[index] == section) {
            const std::size_t row = section->indexOfElement(element.get());
            if (row == fm::Section::NotFound) return nullptr;
            return ns::IndexPath::indexPathForRowInSection(static_cast<long>(row), static_cast<long>(index));
        }
    return nullptr;
}

rt::Ref<ui::TableViewCell> FormTableView::cellForElement(const rt::Ref<Element>& element) const {
    if (!element || element->hidden()) return nullptr;
    const rt::Ref<ns::IndexPath> path = element->getIndexPath();
    rt::Ref<ui::TableViewCell> cell = path ? cellForRowAtIndexPath(path) : nullptr;
    if (cell) formCellTakesAccessibility(*cell, *element);
    return cell;
}

void FormTableView::deselectRows() {
    const rt::Ref<ns::IndexPath> selected = indexPathForSelectedRow();
    if (!selected || !deselectRowWhenViewAppears_) return;
    reloadRowsAtIndexPaths({selected}, ui::TableViewRowAnimation::None);
    selectRowAtIndexPath(selected, false);
    deselectRowAtIndexPath(selected, true);
}

void FormTableView::reloadCellForElements(const std::vector<rt::Ref<Element>>& elements) {
    std::vector<rt::Ref<ns::IndexPath>> paths;
    for (const auto& element : elements)
        if (rt::Ref<ns::IndexPath> path = element ? element->getIndexPath() : nullptr) paths.push_back(std::move(path));
    reloadRowsAtIndexPaths(paths, ui::TableViewRowAnimation::None);
}

void FormTableView::reloadRowHeights() {
    beginUpdates();
    endUpdates();
}

void FormTableView::endEditingOnVisibleCells() {
    const auto cells = visibleCells(); // held: the loop would otherwise walk a freed array
    for (const rt::Id& shown : *cells)
        if (const auto cell = rt::cast<ui::TableViewCell>(shown); cell && cell->isEditing()) cell->endEditing(true);
}

const rt::Protocol& formDelegateProtocol() {
    const FormTableSelectors& s = formTableSel();
    static const rt::Protocol protocol("FMFormDelegate", {
        {s.cellWillAppear, "v@:@@@", false},
        {s.headerWillAppear, "v@:@@q", false},
        {s.footerWillAppear, "v@:@@q", false},
    });
    return protocol;
}

namespace {
[[maybe_unused]] const bool formDelegateProtocolRegistered = (formDelegateProtocol(), true);
} // namespace

RT_DEFINE_CLASS(FormTableCompanion, "FMFormTableCompanion", rt::Object)
RT_DEFINE_CLASS(FormDataSource, "FMFormDataSource", FormTableCompanion,
                rt::method("numberOfSectionsInTableView:", &FormDataSource::numberOfSections),
                rt::method("tableView:numberOfRowsInSection:", &FormDataSource::numberOfRows),
                rt::method("tableView:cellForRowAtIndexPath:", &FormDataSource::cell),
                rt::method("tableView:titleForHeaderInSection:", &FormDataSource::titleForHeader),
                rt::method("tableView:titleForFooterInSection:", &FormDataSource::titleForFooter),
                rt::method("tableView:canEditRowAtIndexPath:", &FormDataSource::canEditRow),
                rt::method("tableView:canMoveRowAtIndexPath:", &FormDataSource::canMoveRow),
                rt::method("tableView:commitEditingStyle:forRowAtIndexPath:", &FormDataSource::commitEditing),
                rt::method("tableView:moveRowAtIndexPath:toIndexPath:", &FormDataSource::moveRow))
RT_DEFINE_CLASS(FormTableDelegate, "FMFormTableDelegate", FormTableCompanion,
                rt::method("tableView:willSelectRowAtIndexPath:", &FormTableDelegate::willSelectRow),
                rt::method("tableView:didSelectRowAtIndexPath:", &FormTableDelegate::didSelectRow),
                rt::method("tableView:accessoryButtonTappedForRowWithIndexPath:", &FormTableDelegate::accessoryTapped),
                rt::method("tableView:heightForRowAtIndexPath:", &FormTableDelegate::heightForRow),
                rt::method("tableView:heightForHeaderInSection:", &FormTableDelegate::heightForHeader),
                rt::method("tableView:heightForFooterInSection:", &FormTableDelegate::heightForFooter),
                rt::method("tableView:viewForHeaderInSection:", &FormTableDelegate::viewForHeader),
                rt::method("tableView:viewForFooterInSection:", &FormTableDelegate::viewForFooter),
                rt::method("tableView:willDisplayCell:forRowAtIndexPath:", &FormTableDelegate::willDisplayCell),
                rt::method("tableView:editingStyleForRowAtIndexPath:", &FormTableDelegate::editingStyle),
                rt::method("tableView:shouldIndentWhileEditingRowAtIndexPath:", &FormTableDelegate::shouldIndentWhileEditing),
                rt::method("tableView:targetIndexPathForMoveFromRowAtIndexPath:toProposedIndexPath:",
                           &FormTableDelegate::moveTarget))
RT_DEFINE_CLASS(FormTableView, "FMFormTableView", ui::TableView,
                rt::prop("root", &FormTableView::root, &FormTableView::setRoot),
                rt::prop("formDelegate", &FormTableView::formDelegate, &FormTableView::setFormDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::prop("deselectRowWhenViewAppears", &FormTableView::deselectRowWhenViewAppears,
                         &FormTableView::setDeselectRowWhenViewAppears),
                rt::method("reloadData", &FormTableView::reloadData),
                rt::method("deselectRows", &FormTableView::deselectRows),
                rt::method("reloadRowHeights", &FormTableView::reloadRowHeights),
                rt::method("endEditingOnVisibleCells", &FormTableView::endEditingOnVisibleCells))

} // namespace fm
