#include "ui/forms/elements/boolean_element.h"

#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/table_view.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/badge_element.h"

namespace fm {

// ---- fm::BooleanElement -------------------------------------------------------------------------

BooleanElement::BooleanElement(rt::Ref<ns::String> title, bool value) : LabelElement(std::move(title), nullptr) {
    setBoolValue(value);
    setEnabled(true);
}

BooleanElement::~BooleanElement() = default;

void BooleanElement::setOnImageName(const rt::Ref<ns::String>& name) {
    if (name) onImage_ = ui::Image::imageNamed(name->utf8());
}

void BooleanElement::setOffImageName(const rt::Ref<ns::String>& name) {
    if (name) offImage_ = ui::Image::imageNamed(name->utf8());
}

void BooleanElement::setBoolValue(bool value) {
    boolValue_ = value;
    handleEditingChanged();
}

rt::Ref<ns::Number> BooleanElement::numberValue() const {
    return ns::Number::withBool(boolValue_);
}

void BooleanElement::setNumberValue(const rt::Ref<ns::Number>& value) {
    setBoolValue(value && value->boolValue());
}

rt::Ref<ui::TableViewCell> BooleanElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                               const rt::Ref<ui::ViewController>& controller) {
    auto cell = LabelElement::getCellForTableView(table, controller);
    const bool opens = sections() != nullptr;
    cell->setAccessoryType(opens ? ui::TableViewCellAccessoryType::DisclosureIndicator
                                 : ui::TableViewCellAccessoryType::None);
    cell->setSelectionStyle(opens ? ui::TableViewCellSelectionStyle::Blue : ui::TableViewCellSelectionStyle::None);
    const rt::Id self = rt::retained(this);
    if (!onImage_ && !offImage_) {
        auto toggle = rt::make<ui::Switch>();
        toggle->setOn(boolValue_);
        toggle->setEnabled(isEnabled());
        toggle->addTargetActionForControlEvents(self, rt::Sel("switched:"), ui::ControlEvent::ValueChanged);
        cell->setAccessoryView(toggle);
        return cell;
    }
    auto button = rt::make<ui::Button>();
    button->setImageForState(offImage_, ui::ControlStates::Normal);
    button->setImageForState(onImage_, ui::ControlStates::Selected);
    button->setImageForState(onImage_, ui::ControlStates::Selected | ui::ControlStates::Disabled);
    cell->setAccessoryView(button);
    button->setEnabled(isEnabled());
    button->setSelected(boolValue_);
    button->sizeToFit();
    button->addTargetActionForControlEvents(self, rt::Sel("buttonPressed:"), ui::ControlEvent::TouchUpInside);
    return cell;
}

void BooleanElement::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>&,
                              const rt::Ref<ns::IndexPath>& indexPath) {
    const rt::Ref<ui::TableViewCell> cell = table ? table->cellForRowAtIndexPath(indexPath) : nullptr;
    setBoolValue(!boolValue_);
    // Exactly these classes: a subclass may mean something else by its state.
    const rt::Ref<ui::View> accessory = cell ? cell->accessoryView() : nullptr;
    if (accessory && accessory->isMemberOfClass(ui::Button::staticClass()))
        rt::cast<ui::Button>(rt::Id(accessory))->setSelected(boolValue_);
    else if (accessory && accessory->isMemberOfClass(ui::Switch::staticClass()))
        rt::cast<ui::Switch>(rt::Id(accessory))->setOnAnimated(boolValue_, true);
    if (!controllerAction() && table) table->deselectRowAtIndexPath(indexPath, true);
    performAction();
}

void BooleanElement::buttonPressed(const rt::Ref<ui::Button>& button) {
    setBoolValue(!(button && button->isSelected()));
    if (button) button->setSelected(boolValue_);
    performAccessoryAction();
}

void BooleanElement::switched(const rt::Ref<ui::Switch>& toggle) {
    setBoolValue(toggle && toggle->isOn());
    if (onSelected() || (controller() && controllerAction())) performAction();
}

void BooleanElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(numberValue(), key()->utf8());
}

void BooleanElement::setNilValueForKey(std::string_view key) {
    if (key == "boolValue")
        setBoolValue(false);
    else
        LabelElement::setNilValueForKey(key);
}

// ---- fm::ButtonElement --------------------------------------------------------------------------

ButtonElement::ButtonElement() {
    setEnabled(true);
}

ButtonElement::ButtonElement(rt::Ref<ns::String> title) : LabelElement(std::move(title), nullptr) {
    setEnabled(true);
}

ButtonElement::~ButtonElement() = default;

rt::Ref<ui::TableViewCell> ButtonElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                              const rt::Ref<ui::ViewController>&) {
    const rt::Ref<ns::String> identifier = ns::String::make("FMFormButtonElement");
    auto cell = rt::cast<TableViewCell>(table ? table->dequeueReusableCellWithIdentifier(identifier) : nullptr);
    if (!cell) cell = TableViewCell::withStyle(ui::TableViewCellStyle::Default, identifier);
    cell->applyAppearanceForElement(rt::retained(this));
    const rt::Ref<ui::Label> label = cell->textLabel();
    label->setText(title());
    if (const rt::Ref<Appearance> look = appearance()) {
        label->setTextAlignment(ui::TextAlignment(look->buttonAlignment()));
        label->setFont(look->labelFont());
        label->setTextColor(isEnabled() ? look->actionColorEnabled() : look->actionColorDisabled());
    }
    return cell;
}

void ButtonElement::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                             const rt::Ref<ns::IndexPath>& indexPath) {
    if (isEnabled()) LabelElement::selected(table, controller, indexPath);
    if (table) table->deselectRowAtIndexPath(indexPath, true);
}

void BooleanElement::nilValueForKeyNamed(const rt::Ref<ns::String>& key) {
    setNilValueForKey(key ? key->utf8() : std::string());
}

RT_DEFINE_CLASS(BooleanElement, "FMBooleanElement", LabelElement,
                rt::prop("onImage", &BooleanElement::onImage, &BooleanElement::setOnImage),
                rt::prop("offImage", &BooleanElement::offImage, &BooleanElement::setOffImage),
                rt::prop("onImageName", &BooleanElement::onImageName, &BooleanElement::setOnImageName),
                rt::prop("offImageName", &BooleanElement::offImageName, &BooleanElement::setOffImageName),
                rt::prop("numberValue", &BooleanElement::numberValue, &BooleanElement::setNumberValue),
                rt::prop("boolValue", &BooleanElement::boolValue, &BooleanElement::setBoolValue),
                rt::method("buttonPressed:", &BooleanElement::buttonPressed),
                rt::method("switched:", &BooleanElement::switched),
                rt::method("setNilValueForKey:", &BooleanElement::nilValueForKeyNamed))

RT_DEFINE_CLASS(ButtonElement, "FMButtonElement", LabelElement)

} // namespace fm
