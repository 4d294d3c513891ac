#include "diagnostics/audio_motion_radio_power/battery_cells.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "session/screen_support.h"
#include "ui/overlays/progress_bar.h"

namespace ft {

RT_DEFINE_CLASS(BatteryBarTableViewCell, "BatteryBarTableViewCell", ui::TableViewCell,
                rt::prop("fieldValue", &BatteryBarTableViewCell::fieldValue,
                         &BatteryBarTableViewCell::setFieldValue, {.memory = rt::Memory::Weak}),
                rt::prop("progressBar", &BatteryBarTableViewCell::progressBar,
                         &BatteryBarTableViewCell::setProgressBar, {.memory = rt::Memory::Weak}),
                rt::method("setProgress:", &BatteryBarTableViewCell::setProgress))

RT_DEFINE_CLASS(BatteryChargeTableViewCell, "BatteryChargeTableViewCell", BatteryBarTableViewCell,
                rt::prop("batteryCharge", &BatteryChargeTableViewCell::batteryCharge,
                         &BatteryChargeTableViewCell::setBatteryCharge, {.memory = rt::Memory::Weak}),
                rt::method("awakeFromNib", &BatteryChargeTableViewCell::awakeFromNib))

RT_DEFINE_CLASS(CapacityTableViewCell, "CapacityTableViewCell", BatteryBarTableViewCell,
                rt::prop("capacityLabel", &CapacityTableViewCell::capacityLabel,
                         &CapacityTableViewCell::setCapacityLabel, {.memory = rt::Memory::Weak}),
                rt::method("awakeFromNib", &CapacityTableViewCell::awakeFromNib))

RT_DEFINE_CLASS(NormalTableViewCell, "NormalTableViewCell", ui::TableViewCell,
                rt::prop("fieldName", &NormalTableViewCell::fieldName, &NormalTableViewCell::setFieldName,
                         {.memory = rt::Memory::Weak}),
                rt::prop("fieldValue", &NormalTableViewCell::fieldValue, &NormalTableViewCell::setFieldValue,
                         {.memory = rt::Memory::Weak}),
                rt::method("setValueColor:", &NormalTableViewCell::setValueColor))

namespace {

rt::Ref<ui::Label> batteryCellLabel(const rt::Ref<ui::TableViewCell>& cell, const cg::Rect& frame,
                                    double size, ui::TextAlignment alignment) {
    auto label = rt::make<ui::Label>(frame);
    label->setFont(ui::Font::systemFontOfSize(size));
    label->setTextAlignment(alignment);
    cell->contentView()->addSubview(label);
    return label;
}

// A bar cell (71 high): the name on the left and the value on the right of the top line, the bar
// across the cell below them.
template <class Cell, class SetName> ui::Nib::Factory batteryBarCellNib(SetName setName) {
    return [setName](const rt::Id&) -> ui::Nib::Loaded {
        const double width = ui::Screen::mainScreen()->bounds().width();
        auto cell = rt::make<Cell>(ui::TableViewCellStyle::Default, ns::String::make(Cell::kReuseIdentifier));
        (cell.get()->*setName)(
            batteryCellLabel(cell, cg::Rect::make(15, 8, width - 130, 21), 17, ui::TextAlignment::Left));
        cell->setFieldValue(
            batteryCellLabel(cell, cg::Rect::make(width - 115, 8, 100, 21), 17, ui::TextAlignment::Right));
        auto bar = rt::make<sb::ProgressBar>(cg::Rect::make(15, 37, width - 30, 24));
        cell->contentView()->addSubview(bar);
        cell->setProgressBar(bar);
        return {{cell}, {}};
    };
}

// A name and value row (44 high).
ui::Nib::Loaded loadNormalBatteryCell(const rt::Id&) {
    const double width = ui::Screen::mainScreen()->bounds().width();
    auto cell = rt::make<NormalTableViewCell>(ui::TableViewCellStyle::Default,
                                              ns::String::make(NormalTableViewCell::kReuseIdentifier));
    cell->setFieldName(
        batteryCellLabel(cell, cg::Rect::make(15, 11, width / 2 - 15, 22), 17, ui::TextAlignment::Left));
    cell->setFieldValue(batteryCellLabel(cell, cg::Rect::make(width / 2, 11, width / 2 - 15, 22), 17,
                                         ui::TextAlignment::Right));
    return {{cell}, {}};
}

const bool batteryCellNibsRegistered =
    (ui::Nib::registerNib(
         BatteryChargeTableViewCell::kReuseIdentifier,
         batteryBarCellNib<BatteryChargeTableViewCell>(&BatteryChargeTableViewCell::setBatteryCharge)),
     ui::Nib::registerNib(CapacityTableViewCell::kReuseIdentifier,
                          batteryBarCellNib<CapacityTableViewCell>(&CapacityTableViewCell::setCapacityLabel)),
     ui::Nib::registerNib(NormalTableViewCell::kReuseIdentifier, loadNormalBatteryCell), true);

} // namespace

BatteryBarTableViewCell::BatteryBarTableViewCell(ui::TableViewCellStyle style,
                                                 rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(style, std::move(reuseIdentifier)) {
    (void)batteryCellNibsRegistered;
}

rt::Ref<ui::Label> BatteryBarTableViewCell::fieldValue() const {
    return fieldValue_.lock();
}

void BatteryBarTableViewCell::setFieldValue(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "fieldValue");
    fieldValue_ = label;
}

rt::Ref<sb::ProgressBar> BatteryBarTableViewCell::progressBar() const {
    return progressBar_.lock();
}

void BatteryBarTableViewCell::setProgressBar(const rt::Ref<sb::ProgressBar>& bar) {
    rt::KeyChange change(this, "progressBar");
    progressBar_ = bar;
}

void BatteryBarTableViewCell::setProgress(double progress) {
    if (!(progress > 0)) return;
    if (auto bar = progressBar()) bar->setProgressAnimated(progress, true);
}

void BatteryBarTableViewCell::styleBar(const rt::Ref<ui::Color>& color) {
    auto bar = progressBar();
    if (!bar) return;
    bar->setType(sb::ProgressBar::kFlat);
    bar->setBackgroundColor(color->colorWithAlphaComponent(0.5));
    bar->setProgressTintColors(ns::Array::make({color->colorWithAlphaComponent(1.0)}));
    bar->setHideStripes(true);
    bar->setHideTrack(true);
    bar->setHideGloss(true);
    bar->setIndicatorTextDisplayMode(sb::ProgressBar::kPercentInFill);
}

BatteryChargeTableViewCell::BatteryChargeTableViewCell(ui::TableViewCellStyle style,
                                                       rt::Ref<ns::String> reuseIdentifier)
    : BatteryBarTableViewCell(style, std::move(reuseIdentifier)) {}

rt::Ref<ui::Label> BatteryChargeTableViewCell::batteryCharge() const {
    return batteryCharge_.lock();
}

void BatteryChargeTableViewCell::setBatteryCharge(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "batteryCharge");
    batteryCharge_ = label;
}

void BatteryChargeTableViewCell::awakeFromNib() {
    if (auto label = batteryCharge()) label->setText(localized("BATTERY_CONTROLLER_BATTERY_CHARGE"));
    styleBar(ui::Color::colorWithRed(152 / 255.0, 190 / 255.0, 0, 1));
}

CapacityTableViewCell::CapacityTableViewCell(ui::TableViewCellStyle style,
                                             rt::Ref<ns::String> reuseIdentifier)
    : BatteryBarTableViewCell(style, std::move(reuseIdentifier)) {}

rt::Ref<ui::Label> CapacityTableViewCell::capacityLabel() const {
    return capacityLabel_.lock();
}

void CapacityTableViewCell::setCapacityLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "capacityLabel");
    capacityLabel_ = label;
}

void CapacityTableViewCell::awakeFromNib() {
    if (auto label = capacityLabel()) label->setText(localized("BATTERY_CONTROLLER_BATTERY_CAPACITY"));
    styleBar(ui::Color::colorWithRed(217 / 255.0, 56 / 255.0, 41 / 255.0, 1));
}

NormalTableViewCell::NormalTableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(style, std::move(reuseIdentifier)) {
    (void)batteryCellNibsRegistered;
}

rt::Ref<ui::Label> NormalTableViewCell::fieldName() const {
    return fieldName_.lock();
}

void NormalTableViewCell::setFieldName(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "fieldName");
    fieldName_ = label;
}

rt::Ref<ui::Label> NormalTableViewCell::fieldValue() const {
    return fieldValue_.lock();
}

void NormalTableViewCell::setFieldValue(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "fieldValue");
    fieldValue_ = label;
}

void NormalTableViewCell::setValueColor(const rt::Ref<ui::Color>& color) {
    if (auto label = fieldValue()) label->setTextColor(color);
}

} // namespace ft
