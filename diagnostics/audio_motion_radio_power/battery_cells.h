#pragma once
// The battery screen's three cells, each built by the nib of its class's name (which is also its
// reuse identifier); their outlets are weak. Main thread only.
//   BatteryChargeTableViewCell  the charge: its label, an empty value and a bar in 152/190/0
//   CapacityTableViewCell       the health: its label, an empty value and a bar in 217/56/41
//   NormalTableViewCell         a name and a value whose text colour the screen sets
// Both bars are flat, over the bar colour at half alpha, with the percentage inside the fill.
// setProgress: moves a bar (animated) only for values above 0: zero, negatives and NaN leave it.

#include "platform/uikit/table_view_cell.h"

namespace sb {
class ProgressBar;
}
namespace ui {
class Color;
class Label;
} // namespace ui

namespace ft {

// What the two bar cells share: the value label and the bar.
class BatteryBarTableViewCell : public ui::TableViewCell {
    RT_CLASS(BatteryBarTableViewCell)
public:
    rt::Ref<ui::Label> fieldValue() const;
    void setFieldValue(const rt::Ref<ui::Label>& label);
    rt::Ref<sb::ProgressBar> progressBar() const;
    void setProgressBar(const rt::Ref<sb::ProgressBar>& bar);
    // Forwards to the bar, animated, values above 0 only; nothing is stored here.
    void setProgress(double progress);

protected:
    BatteryBarTableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);
    // The bar's look in `color` (the nib calls it once).
    void styleBar(const rt::Ref<ui::Color>& color);

private:
    rt::Weak<ui::Label> fieldValue_;
    rt::Weak<sb::ProgressBar> progressBar_;
};

class BatteryChargeTableViewCell : public BatteryBarTableViewCell {
    RT_CLASS(BatteryChargeTableViewCell)
public:
    static constexpr const char* kReuseIdentifier = "BatteryChargeTableViewCell";
    rt::Ref<ui::Label> batteryCharge() const;
    void setBatteryCharge(const rt::Ref<ui::Label>& label);
    void awakeFromNib();

protected:
    BatteryChargeTableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);

private:
    rt::Weak<ui::Label> batteryCharge_;
};

class CapacityTableViewCell : public BatteryBarTableViewCell {
    RT_CLASS(CapacityTableViewCell)
public:
    static constexpr const char* kReuseIdentifier = "CapacityTableViewCell";
    rt::Ref<ui::Label> capacityLabel() const;
    void setCapacityLabel(const rt::Ref<ui::Label>& label);
    void awakeFromNib();

protected:
    CapacityTableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);

private:
    rt::Weak<ui::Label> capacityLabel_;
};

class NormalTableViewCell : public ui::TableViewCell {
    RT_CLASS(NormalTableViewCell)
public:
    static constexpr const char* kReuseIdentifier = "NormalTableViewCell";
    rt::Ref<ui::Label> fieldName() const;
    void setFieldName(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> fieldValue() const;
    void setFieldValue(const rt::Ref<ui::Label>& label);
    // Colours the value's text; the colour is not kept here.
    void setValueColor(const rt::Ref<ui::Color>& color);

protected:
    NormalTableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier);

private:
    rt::Weak<ui::Label> fieldName_;
    rt::Weak<ui::Label> fieldValue_;
};

} // namespace ft
