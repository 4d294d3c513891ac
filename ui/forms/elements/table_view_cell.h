#pragma once
// fm::TableViewCell ("FMTableViewCell"): the base cell of a form's rows, the title on the left and
// the value on the right (the platform's value 1 style). It lays the two labels out by the
// element's labeling policy and takes colours, fonts and backgrounds from its appearance; cells
// of the other elements build on both steps.

#include "platform/uikit/table_view_cell.h"

namespace fm {

class Element;

class TableViewCell : public ui::TableViewCell {
    RT_CLASS(TableViewCell)
public:
    // trimValue (0, and any value it does not know): the title takes its own width, the value the
    // rest. trimTitle (1): the value takes its own width, the title the rest.
    long labelingPolicy() const noexcept { return labelingPolicy_; }
    void setLabelingPolicy(long policy) noexcept { labelingPolicy_ = policy; }

    // A plain form cell in the platform's style (value 1 is what the other constructors give).
    static rt::Ref<TableViewCell> withStyle(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);

    // Places the two labels within a rectangle's width and height (its origin is not read).
    virtual void layoutSubviewsInsideBounds(const cg::Rect& bounds);
    // Colours, fonts, alignments and backgrounds from the element's appearance.
    virtual void applyAppearanceForElement(const rt::Ref<Element>& element);

protected:
    explicit TableViewCell(rt::Ref<ns::String> reuseIdentifier);
    TableViewCell() : TableViewCell(nullptr) {}
    TableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);
    ~TableViewCell() override;

    // The platform's layout, then the labels within the content view's bounds.
    void layoutSubviews() override;

private:
    long labelingPolicy_ = 0;
};

} // namespace fm
