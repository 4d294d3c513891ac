#pragma once
// fm::FormTableView ("FMFormTableView"): the table that shows one form. It owns its data source
// (fm::FormDataSource) and delegate (fm::FormTableDelegate), which answer the table from the
// visible sections and elements of the root: table section n is the root's n-th visible section,
// row r that section's r-th visible element. Both hold the table weakly.
//
// An optional form delegate ("FMFormDelegate", held weakly) hears, when it answers them:
//   cell:willAppearForElement:atIndexPath:   after the root's appearance has seen the cell
//   header:willAppearForSection:atIndex:     after the appearance built a header view
//   footer:willAppearForSection:atIndex:     after the appearance built a footer view
// Main thread only.

#include <vector>

#include "platform/uikit/table_view.h"

namespace rt {
class Protocol;
}

namespace ui {
class ViewController;
}

namespace fm {

class Element;
class RootElement;

class FormTableView : public ui::TableView {
    RT_CLASS(FormTableView)
public:
    // The controller that made the table (weak).
    rt::Ref<ui::ViewController> controller() const { return controller_.lock(); }
    const rt::Ref<RootElement>& root() const noexcept { return root_; }
    // Stores the root; a root with a section that needs editing puts the table in editing mode
    // with selection allowed; then reloads.
    void setRoot(rt::Ref<RootElement> root);
    rt::Id formDelegate() const { return formDelegate_.lock(); }
    void setFormDelegate(const rt::Id& delegate);
    const rt::Id& formDataSource() const noexcept { return formDataSource_; }
    const rt::Id& formTableDelegate() const noexcept { return formTableDelegate_; }
    bool deselectRowWhenViewAppears() const noexcept { return deselectRowWhenViewAppears_; }
    void setDeselectRowWhenViewAppears(bool deselect) noexcept { deselectRowWhenViewAppears_ = deselect; }

    // The content insets, and the scroll indicators' the same.
    void setContentInset(const ui::EdgeInsets& insets);
    // The table's look from the root's appearance, then the platform's reload.
    void reloadData();
    void applyAppearanceForRoot(const rt::Ref<RootElement>& root);

    // The element's place in the full lists (hidden members counted); nil outside the form.
    rt::Ref<ns::IndexPath> indexForElement(const rt::Ref<Element>& element) const;
    // The cell showing the element; nil for a hidden element or a row with no cell.
    rt::Ref<ui::TableViewCell> cellForElement(const rt::Ref<Element>& element) const;
    // With a selected row and deselectRowWhenViewAppears: reloads it, selects it again, then
    // deselects it, animated.
    void deselectRows();
    // Reloads, in one call and unanimated, the rows of the listed elements that show.
    void reloadCellForElements(const std::vector<rt::Ref<Element>>& elements);
    // An empty update block: the heights are asked again.
    void reloadRowHeights();
    // Each cell that edits ends editing, forced.
    void endEditingOnVisibleCells();

protected:
    // The platform's initWithController:, in the grouped style for a grouped root.
    FormTableView(const rt::Ref<ui::ViewController>& controller, const rt::Ref<RootElement>& root);
    ~FormTableView() override;

private:
    rt::Weak<ui::ViewController> controller_;
    rt::Ref<RootElement> root_;
    rt::Weak<rt::Object> formDelegate_;
    rt::Id formDataSource_, formTableDelegate_;
    bool deselectRowWhenViewAppears_ = false;
};

const rt::Protocol& formDelegateProtocol();

} // namespace fm
