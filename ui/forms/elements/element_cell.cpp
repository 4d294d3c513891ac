// The cell factory of the form's elements: each key and class has its own reuse pool, and every
// cell handed out is given the element's appearance and reset before the element fills it.

#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "ui/forms/element.h"
#include "ui/forms/elements/table_view_cell.h"

namespace fm {

rt::Ref<TableViewCell> Element::getOrCreateEmptyCell(const rt::Ref<ui::TableView>& table) const {
    auto identifier = cellReuseIdentifier();
    if (auto reused =
            table ? rt::cast<TableViewCell>(table->dequeueReusableCellWithIdentifier(identifier)) : nullptr)
        return reused;
    return rt::make<TableViewCell>(identifier);
}

rt::Ref<ui::TableViewCell> Element::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                        const rt::Ref<ui::ViewController>& controller) {
    setController(controller);
    auto cell = getOrCreateEmptyCell(table);
    cell->applyAppearanceForElement(rt::retained(this));
    cell->textLabel()->setText(nullptr);
    cell->detailTextLabel()->setText(nullptr);
    cell->imageView()->setImage(nullptr);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    cell->setShowsReorderControl(true);
    cell->setAccessoryView(nullptr);
    cell->setLabelingPolicy(labelingPolicy_);
    return cell;
}

} // namespace fm
