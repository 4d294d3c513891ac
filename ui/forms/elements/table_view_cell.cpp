#include "ui/forms/elements/table_view_cell.h"

#include "platform/runtime/class.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/string_drawing.h"
#include "ui/forms/appearance.h"
#include "ui/forms/element.h"

namespace fm {

namespace {

bool formCellHasText(const ui::Label& label) {
    return label.text() && !label.text()->isEmpty();
}

double formCellTextWidth(const ui::Label& label, double width, double height) {
    return ui::sizeOfString(label.text(), label.font(), {width, height}, ui::LineBreakMode::WordWrapping)
        .width;
}

} // namespace

TableViewCell::TableViewCell(rt::Ref<ns::String> reuseIdentifier)
    : TableViewCell(ui::TableViewCellStyle::Value1, std::move(reuseIdentifier)) {}

TableViewCell::TableViewCell(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(style, std::move(reuseIdentifier)) {}

rt::Ref<TableViewCell> TableViewCell::withStyle(ui::TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier) {
    return rt::make<TableViewCell>(style, std::move(reuseIdentifier));
}

TableViewCell::~TableViewCell() = default;

void TableViewCell::layoutSubviews() {
    ui::TableViewCell::layoutSubviews();
    layoutSubviewsInsideBounds(contentView()->bounds());
}

void TableViewCell::layoutSubviewsInsideBounds(const cg::Rect& bounds) {
    const double W = bounds.width(), H = bounds.height();
    auto title = textLabel();
    auto value = detailTextLabel();
    if (!value) return; // the default style: the platform's layout stands
    auto image = imageView()->image();
    const double A = image ? W - (image->size().width + 16) : W;
    const bool hasTitle = formCellHasText(*title), hasValue = formCellHasText(*value);
    const double x = title->frame().minX();
    if (labelingPolicy_ == 1) { // trimTitle
        double V = 0;
        if (hasValue)
            V = hasTitle ? formCellTextWidth(*value, A - 80, H - 16) : formCellTextWidth(*value, A, H);
        title->setFrame(cg::Rect::make(x, 8, W - V - 32, H - 16));
        value->setFrame(cg::Rect::make(W - V - 8, 8, V, H - 16));
        return;
    }
    double T = A - 24;
    if (hasValue) T = hasTitle ? formCellTextWidth(*title, A - 80, H - 16) : 0;
    title->setFrame(cg::Rect::make(x, 8, T, H - 16));
    const double V = T > 0 ? W - 32 - T : W - 16;
    double width = V;
    if (accessoryView()) width -= 16;
    if (accessoryType() == ui::TableViewCellAccessoryType::None) width -= 16;
    value->setFrame(cg::Rect::make(W - V, 8, width, H - 16));
}

void TableViewCell::applyAppearanceForElement(const rt::Ref<Element>& element) {
    auto appearance = element ? element->appearance() : nullptr;
    if (!appearance) return;
    const bool enabled = element->isEnabled();
    auto title = textLabel();
    title->setTextColor(enabled ? appearance->labelColorEnabled() : appearance->labelColorDisabled());
    title->setFont(appearance->labelFont());
    title->setTextAlignment(ui::TextAlignment(appearance->labelAlignment()));
    title->setNumberOfLines(0);
    title->setBackgroundColor(ui::Color::clearColor());
    if (auto value = detailTextLabel()) { // none in the default style
        value->setTextColor(enabled ? appearance->valueColorEnabled() : appearance->valueColorDisabled());
        value->setFont(appearance->valueFont());
        value->setTextAlignment(ui::TextAlignment(appearance->valueAlignment()));
        value->setNumberOfLines(0);
        value->setBackgroundColor(ui::Color::clearColor());
    }
    setBackgroundColor(enabled ? appearance->backgroundColorEnabled()
                               : appearance->backgroundColorDisabled());
    setSelectedBackgroundView(appearance->selectedBackgroundView());
}

RT_DEFINE_CLASS(TableViewCell, "FMTableViewCell", ui::TableViewCell,
                rt::prop("labelingPolicy", &TableViewCell::labelingPolicy, &TableViewCell::setLabelingPolicy),
                rt::method("layoutSubviewsInsideBounds:", &TableViewCell::layoutSubviewsInsideBounds),
                rt::method("applyAppearanceForElement:", &TableViewCell::applyAppearanceForElement))

} // namespace fm
