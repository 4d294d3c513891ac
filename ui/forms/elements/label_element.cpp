#include "ui/forms/elements/label_element.h"

#include "platform/runtime/class.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"

namespace fm {

LabelElement::LabelElement(rt::Ref<ns::String> title, rt::Id value)
    : value_(std::move(value)), keepSelected_(true) {
    setTitle(std::move(title));
}

LabelElement::~LabelElement() = default;

void LabelElement::setImageNamed(const rt::Ref<ns::String>& name) {
    if (name) setImage(ui::Image::imageNamed(name->utf8()));
}

void LabelElement::setIconNamed(const rt::Ref<ns::String>& name) {
    if (!image_ || !name) return;
    auto named = ui::Image::imageNamed(name->utf8());
    setImage(named ? named->imageWithRenderingMode(ui::ImageRenderingMode::AlwaysTemplate) : nullptr);
}

rt::Ref<ui::TableViewCell> LabelElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                             const rt::Ref<ui::ViewController>& controller) {
    auto cell = RootElement::getCellForTableView(table, controller);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    cell->textLabel()->setText(title());
    cell->detailTextLabel()->setText(value_ ? ns::String::make(value_->description()) : nullptr);
    cell->imageView()->setImage(image_);
    const bool opens = sections() != nullptr;
    using Accessory = ui::TableViewCellAccessoryType;
    Accessory accessory = Accessory::None;
    if (accessoryType_ != 0)
        accessory = Accessory(accessoryType_);
    else if (controllerAccessoryAction())
        accessory = Accessory::DetailDisclosureButton;
    else if (opens || controllerAction())
        accessory = Accessory::DisclosureIndicator;
    cell->setAccessoryType(accessory);
    if (opens || controllerAction() || onSelected())
        cell->setSelectionStyle(ui::TableViewCellSelectionStyle::Blue);
    return cell;
}

void LabelElement::selected(const rt::Ref<ui::TableView>& table,
                            const rt::Ref<ui::ViewController>& controller,
                            const rt::Ref<ns::IndexPath>& indexPath) {
    RootElement::selected(table, controller, indexPath);
    if (!keepSelected_ && table) table->deselectRowAtIndexPath(indexPath, true);
}

RT_DEFINE_CLASS(LabelElement, "FMLabelElement", RootElement,
                rt::prop("image", &LabelElement::image, &LabelElement::setImage),
                rt::prop("imageNamed", &LabelElement::imageNamed, &LabelElement::setImageNamed),
                rt::prop("accessoryType", &LabelElement::accessoryType, &LabelElement::setAccessoryType),
                rt::prop("value", &LabelElement::value, &LabelElement::setValue),
                rt::prop("keepSelected", &LabelElement::keepSelected, &LabelElement::setKeepSelected),
                rt::method("setIconNamed:", &LabelElement::setIconNamed))

} // namespace fm
