#include "session/space_table_view_cell.h"

#include <algorithm>
#include <cmath>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/stored_block.h"
#include "platform/foundation/array.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/string_drawing.h"

namespace ft {

RT_DEFINE_CLASS(SpaceTableViewCell, "SpaceTableViewCell", ui::TableViewCell,
                rt::prop("label_count", &SpaceTableViewCell::label_count, &SpaceTableViewCell::setLabel_count,
                         {.memory = rt::Memory::Weak}),
                rt::prop("selectButton", &SpaceTableViewCell::selectButton, &SpaceTableViewCell::setSelectButton,
                         {.memory = rt::Memory::Weak}),
                rt::method("awakeFromNib", &SpaceTableViewCell::awakeFromNib),
                rt::method("clickButton:event:", &SpaceTableViewCell::clickButton),
                rt::method("configCell:btntitle:", &SpaceTableViewCell::configCell))

namespace {

// The nib: the cell with the group's label and its button, both white.
ui::Nib::Loaded loadSpaceCell(const rt::Id&) {
    auto cell = rt::make<SpaceTableViewCell>(ns::String::make(SpaceTableViewCell::kReuseIdentifier));
    auto label = rt::make<ui::Label>(cg::Rect{{15, 9}, {220, 22}});
    auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button->setFrame(cg::Rect{{250, 5}, {110, 30}});
    // White on the bar's colour, which the list gives the row.
    label->setTextColor(ui::Color::whiteColor());
    button->setTitleColorForState(ui::Color::whiteColor(), ui::ControlStates::Normal);
    cell->contentView()->addSubview(label);
    cell->contentView()->addSubview(button);
    cell->setLabel_count(label);
    cell->setSelectButton(button);
    return {{cell}, {}};
}

const bool spaceCellRegistered = (ui::Nib::registerNib("SpaceTableViewCell", loadSpaceCell), true);

} // namespace

SpaceTableViewCell::SpaceTableViewCell(rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(ui::TableViewCellStyle::Default, std::move(reuseIdentifier)) {
    (void)spaceCellRegistered;
}

void SpaceTableViewCell::setLabel_count(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "label_count");
    labelCount_ = label;
}

void SpaceTableViewCell::setSelectButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "selectButton");
    selectButton_ = button;
}

void SpaceTableViewCell::awakeFromNib() {
    if (auto button = selectButton())
        button->addTargetActionForControlEvents(rt::Id(rt::retained(this)), rt::Sel("clickButton:event:"),
                                                ui::ControlEvent::TouchUpInside);
}

void SpaceTableViewCell::clickButton(const rt::Id& sender, const rt::Ref<ui::Event>& event) {
    rt::callStoredBlock(action_, sender, event);
}

void SpaceTableViewCell::layoutSubviews() {
    ui::TableViewCell::layoutSubviews();
    auto label = label_count();
    auto button = selectButton();
    if (!label || !button) return;
    constexpr double margin = 15, gap = 8, padding = 5;
    const cg::Rect content = contentView()->bounds();
    const double width = button->intrinsicContentSize().width + 2 * padding;
    const cg::Rect buttonFrame{{content.maxX() - margin - width, button->frame().minY()}, {width, button->frame().height()}};
    button->setFrame(buttonFrame);
    const double room = std::max(0.0, buttonFrame.minX() - gap - margin);
    label->setFrame({{margin, label->frame().minY()}, {room, label->frame().height()}});
    // The group's name and its count whole: where the row is too narrow for them, a smaller font.
    double size = kLabelFontSize;
    const auto widthAt = [&](double points) {
        return ui::sizeOfString(label->text(), ui::Font::systemFontOfSize(points), {1e6, 1e6}, ui::LineBreakMode::Clipping)
            .width;
    };
    if (const double whole = widthAt(size); whole > room) {
        size = std::max(kSmallestLabelFontSize, std::floor(size * room / whole * 2) / 2);
        while (size > kSmallestLabelFontSize && widthAt(size) > room) size -= 0.5;
    }
    if (label->font()->pointSize() != size) label->setFont(ui::Font::systemFontOfSize(size));
}

void SpaceTableViewCell::configCell(const rt::Ref<ns::String>& labelText, const rt::Ref<ns::String>& buttonTitle) {
    if (auto label = label_count()) label->setText(labelText);
    if (auto button = selectButton()) button->setTitleForState(buttonTitle, ui::ControlStates::Normal);
    setNeedsLayout();
}

} // namespace ft
