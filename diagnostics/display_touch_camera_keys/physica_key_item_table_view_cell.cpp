#include "diagnostics/display_touch_camera_keys/physica_key_item_table_view_cell.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"

namespace ft {

RT_DEFINE_CLASS(PhysicaKeyItemTableViewCell, "PhysicaKeyItemTableViewCell", ui::TableViewCell,
                rt::prop("keyNameLabel", &PhysicaKeyItemTableViewCell::keyNameLabel,
                         &PhysicaKeyItemTableViewCell::setKeyNameLabel, {.memory = rt::Memory::Weak}),
                rt::prop("resultImageView", &PhysicaKeyItemTableViewCell::resultImageView,
                         &PhysicaKeyItemTableViewCell::setResultImageView, {.memory = rt::Memory::Weak}),
                rt::method("awakeFromNib", &PhysicaKeyItemTableViewCell::awakeFromNib))

namespace {

// The cell: the key's title on the left, the tick on the right, across the main screen's width.
ui::Nib::Loaded loadPhysicalKeyCell(const rt::Id&) {
    const double width = ui::Screen::mainScreen()->bounds().width();
    auto cell = rt::make<PhysicaKeyItemTableViewCell>(
        ui::TableViewCellStyle::Default, ns::String::make(PhysicaKeyItemTableViewCell::kReuseIdentifier));
    auto title = rt::make<ui::Label>(cg::Rect::make(20, 11, width - 80, 22));
    title->setFont(ui::Font::systemFontOfSize(17));
    auto tick = rt::make<ui::ImageView>(cg::Rect::make(width - 42, 11, 22, 22));
    tick->setImage(ui::Image::imageNamed(PhysicaKeyItemTableViewCell::kTickImage));
    cell->contentView()->addSubview(title);
    cell->contentView()->addSubview(tick);
    cell->setKeyNameLabel(title);
    cell->setResultImageView(tick);
    return {{cell}, {}};
}

const bool physicalKeyCellRegistered =
    (ui::Nib::registerNib(PhysicaKeyItemTableViewCell::kReuseIdentifier, loadPhysicalKeyCell), true);

} // namespace

PhysicaKeyItemTableViewCell::PhysicaKeyItemTableViewCell(ui::TableViewCellStyle style,
                                                         rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(style, std::move(reuseIdentifier)) {
    (void)physicalKeyCellRegistered;
}

rt::Ref<ui::Label> PhysicaKeyItemTableViewCell::keyNameLabel() const {
    return keyNameLabel_.lock();
}

void PhysicaKeyItemTableViewCell::setKeyNameLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "keyNameLabel");
    keyNameLabel_ = label;
}

rt::Ref<ui::ImageView> PhysicaKeyItemTableViewCell::resultImageView() const {
    return resultImageView_.lock();
}

void PhysicaKeyItemTableViewCell::setResultImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "resultImageView");
    resultImageView_ = view;
}

} // namespace ft
