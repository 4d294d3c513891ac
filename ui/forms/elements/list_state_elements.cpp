#include "ui/forms/elements/list_state_elements.h"

#include "platform/runtime/class.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/color.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/table_view_cell.h"

namespace fm {

LoadingElement::~LoadingElement() = default;

rt::Ref<ui::TableViewCell> LoadingElement::getCellForTableView(const rt::Ref<ui::TableView>&,
                                                               const rt::Ref<ui::ViewController>& controller) {
    setController(controller);
    auto cell = rt::make<TableViewCell>();
    cell->applyAppearanceForElement(rt::retained(this));
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    auto spinner = ui::ActivityIndicatorView::withStyle(ui::ActivityIndicatorViewStyle(indicatorStyle_));
    spinner->startAnimating();
    spinner->sizeToFit();
    const double width = controller ? controller->view()->bounds().size.width : 0;
    const double w = spinner->bounds().size.width;
    spinner->setCenter(title() ? cg::Point{width - w / 2 - 10, 24} : cg::Point{(width - w) / 2, 12});
    namespace margins = ui::ViewAutoresizing;
    spinner->setAutoresizingMask(margins::FlexibleLeftMargin | margins::FlexibleRightMargin |
                                 margins::FlexibleTopMargin | margins::FlexibleBottomMargin);
    cell->contentView()->addSubview(spinner);
    cell->textLabel()->setText(title());
    return cell;
}

RT_DEFINE_CLASS(LoadingElement, "FMLoadingElement", LabelElement,
                rt::prop("indicatorStyle", &LoadingElement::indicatorStyle, &LoadingElement::setIndicatorStyle))

EmptyListElement::EmptyListElement() : EmptyListElement(ns::str("Empty"), nullptr) {}
EmptyListElement::EmptyListElement(rt::Ref<ns::String> title, rt::Id value)
    : LabelElement(std::move(title), std::move(value)) {}
EmptyListElement::~EmptyListElement() = default;

rt::Ref<ui::TableViewCell> EmptyListElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                                 const rt::Ref<ui::ViewController>& controller) {
    setController(controller);
    const auto identifier = ns::str("FMEmptyListElement");
    auto cell = table ? table->dequeueReusableCellWithIdentifier(identifier) : nullptr;
    if (!cell) cell = rt::make<ui::TableViewCell>(ui::TableViewCellStyle::Default, identifier);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    auto label = cell->textLabel();
    label->setText(title());
    label->setTextAlignment(ui::TextAlignment::Center);
    label->setTextColor(ui::Color::colorWithWhite(double(0.7f), 1));
    label->setFont(appearance()->labelFont());
    return cell;
}

void EmptyListElement::selected(const rt::Ref<ui::TableView>&, const rt::Ref<ui::ViewController>&,
                                const rt::Ref<ns::IndexPath>&) {}

RT_DEFINE_CLASS(EmptyListElement, "FMEmptyListElement", LabelElement)

} // namespace fm
