#pragma once
// ft::PhysicaKeyItemTableViewCell ("PhysicaKeyItemTableViewCell"): one key row of the physical key
// test: the key's title and a tick. Built by the nib of the same name, which connects the weak
// outlets and gives the tick its image; the reuse identifier is the class name. Main thread only.

#include "platform/uikit/table_view_cell.h"

namespace ui {
class ImageView;
class Label;
} // namespace ui

namespace ft {

class PhysicaKeyItemTableViewCell : public ui::TableViewCell {
    RT_CLASS(PhysicaKeyItemTableViewCell)
public:
    static constexpr const char* kReuseIdentifier = "PhysicaKeyItemTableViewCell";
    // The tick's image.
    static constexpr const char* kTickImage = "icon_key_tick";

    rt::Ref<ui::Label> keyNameLabel() const;
    void setKeyNameLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::ImageView> resultImageView() const;
    void setResultImageView(const rt::Ref<ui::ImageView>& view);

    // Nothing, not even the base behaviour.
    void awakeFromNib() {}

protected:
    PhysicaKeyItemTableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);

private:
    rt::Weak<ui::Label> keyNameLabel_;
    rt::Weak<ui::ImageView> resultImageView_;
};

} // namespace ft
