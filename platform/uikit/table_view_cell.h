#pragma once
// ui::TableViewCell ("UITableViewCell"): one row of a table. Its content lives in its content
// view, which fills the cell: the image view, the text label and, for the styles that have one,
// the detail text label, each made on first access. A cell made from a nib or a prototype usually
// has outlets of its own and never asks for them.
//
// A table hands a cell out again under its reuse identifier; before it does, prepareForReuse runs
// (an interceptable method: subclasses override prepareForReuseBody and call their superclass's
// body). The base clears the selected and highlighted states; the labels keep their text.

#include "platform/foundation/string.h"
#include "platform/graphics/edge_insets.h"
#include "platform/runtime/interceptable.h"
#include "platform/uikit/view.h"

namespace ca {
class Layer;
}
namespace cg {
class Color;
}

namespace ui {

class ImageView;
class Label;

enum class TableViewCellStyle : long { Default = 0, Value1 = 1, Value2 = 2, Subtitle = 3 };
enum class TableViewCellAccessoryType : long {
    None = 0,
    DisclosureIndicator = 1,
    DetailDisclosureButton = 2,
    Checkmark = 3,
    DetailButton = 4
};
enum class TableViewCellSelectionStyle : long { None = 0, Blue = 1, Gray = 2, Default = 3 };

class TableViewCell : public View {
    RT_CLASS(TableViewCell)
public:
    RT_INTERCEPTABLE(prepareForReuse, "prepareForReuse")

    TableViewCellStyle style() const noexcept { return style_; }
    const rt::Ref<ns::String>& reuseIdentifier() const noexcept { return reuseIdentifier_; }

    const rt::Ref<View>& contentView() const noexcept { return contentView_; }
    rt::Ref<Label> textLabel() const;
    // Nil for the default style, which has none.
    rt::Ref<Label> detailTextLabel() const;
    rt::Ref<ImageView> imageView() const;

    TableViewCellAccessoryType accessoryType() const noexcept { return accessoryType_; }
    void setAccessoryType(TableViewCellAccessoryType type);
    TableViewCellSelectionStyle selectionStyle() const noexcept { return selectionStyle_; }
    void setSelectionStyle(TableViewCellSelectionStyle style);
    // A view in the accessory's place; it takes the place of the accessory type's mark.
    const rt::Ref<View>& accessoryView() const noexcept { return accessoryView_; }
    void setAccessoryView(rt::Ref<View> view);
    // Views behind the content: always, and while the cell is selected or highlighted.
    const rt::Ref<View>& backgroundView() const noexcept { return backgroundView_; }
    void setBackgroundView(rt::Ref<View> view);
    const rt::Ref<View>& selectedBackgroundView() const noexcept { return selectedBackgroundView_; }
    void setSelectedBackgroundView(rt::Ref<View> view);
    bool showsReorderControl() const noexcept { return showsReorderControl_; }
    void setShowsReorderControl(bool shows);
    const EdgeInsets& separatorInset() const noexcept { return separatorInset_; }
    void setSeparatorInset(const EdgeInsets& insets);
    // The line along the row's foot, over its content, as its table places it (TableView's
    // separatorInset and separatorColor): a hairline `inset` in from the sides, in `colour`. Nil
    // until a table places the row.
    void placeSeparator(const EdgeInsets& inset, const rt::Ref<cg::Color>& colour);
    const rt::Ref<ca::Layer>& separator() const noexcept { return separator_; }
    bool isEditing() const noexcept { return editing_; }
    void setEditing(bool editing) { setEditingAnimated(editing, false); }
    virtual void setEditingAnimated(bool editing, bool animated);

    bool isSelected() const noexcept { return selected_; }
    void setSelected(bool selected) { setSelectedAnimated(selected, false); }
    // The table calls it when the row's selection changes; subclasses that override it call the
    // base, which keeps the state.
    virtual void setSelectedAnimated(bool selected, bool animated);
    bool isHighlighted() const noexcept { return highlighted_; }
    void setHighlighted(bool highlighted) { setHighlightedAnimated(highlighted, false); }
    virtual void setHighlightedAnimated(bool highlighted, bool animated);

protected:
    // A default-style cell without a reuse identifier (the platform's initWithFrame:).
    TableViewCell();
    // The platform's initWithStyle:reuseIdentifier:.
    TableViewCell(TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);
    ~TableViewCell() override;

    virtual void prepareForReuseBody();
    // The content view fills the cell.
    void layoutSubviews() override;

private:
    friend class TableView; // gives a cell it made the identifier it was made for
    void adoptReuseIdentifier(const rt::Ref<ns::String>& identifier) {
        if (!reuseIdentifier_) reuseIdentifier_ = identifier;
    }
    rt::Ref<Label> makeLabel() const;

    TableViewCellStyle style_;
    rt::Ref<ns::String> reuseIdentifier_;
    rt::Ref<View> contentView_;
    mutable rt::Ref<Label> textLabel_, detailTextLabel_;
    mutable rt::Ref<ImageView> imageView_;
    TableViewCellAccessoryType accessoryType_ = TableViewCellAccessoryType::None;
    TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Default;
    rt::Ref<View> accessoryView_, backgroundView_, selectedBackgroundView_;
    EdgeInsets separatorInset_;
    rt::Ref<ca::Layer> separator_;
    bool showsReorderControl_ = false;
    bool editing_ = false;
    bool selected_ = false;
    bool highlighted_ = false;
};

} // namespace ui
