#pragma once
// fm::BooleanElement ("FMBooleanElement"): a yes/no row shown with a switch, or with a two-image
// button when an on or off image is given; a tap on the row flips it too. Every assignment of
// boolValue runs the value-changed handling, from the initialiser and key-value coding included.
// fm::ButtonElement ("FMButtonElement"): an action row, its title in the appearance's action
// colour; a disabled one only deselects when tapped.

#include "ui/forms/elements/label_element.h"

namespace ns {
class Number;
}

namespace ui {
class Button;
class Switch;
} // namespace ui

namespace fm {

class BooleanElement : public LabelElement {
    RT_CLASS(BooleanElement)
public:
    const rt::Ref<ui::Image>& onImage() const noexcept { return onImage_; }
    void setOnImage(rt::Ref<ui::Image> image) { onImage_ = std::move(image); }
    const rt::Ref<ui::Image>& offImage() const noexcept { return offImage_; }
    void setOffImage(rt::Ref<ui::Image> image) { offImage_ = std::move(image); }
    // Write-only: the application's image of that name; a nil name changes nothing.
    rt::Ref<ns::String> onImageName() const noexcept { return nullptr; }
    void setOnImageName(const rt::Ref<ns::String>& name);
    rt::Ref<ns::String> offImageName() const noexcept { return nullptr; }
    void setOffImageName(const rt::Ref<ns::String>& name);
    bool boolValue() const noexcept { return boolValue_; }
    // Stores the value, then handleEditingChanged.
    void setBoolValue(bool value);
    rt::Ref<ns::Number> numberValue() const;
    void setNumberValue(const rt::Ref<ns::Number>& value);

    // The label element's cell with a new switch, or a new button, as its accessory.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Flips the value and the row's switch or button; deselects without a controller action;
    // then performAction.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    void buttonPressed(const rt::Ref<ui::Button>& button);
    void switched(const rt::Ref<ui::Switch>& toggle);
    // boolValue as a boolean number under the key; nothing without a key.
    void fetchValueIntoObject(const rt::Id& object) override;
    // Nil for "boolValue" is NO.
    void setNilValueForKey(std::string_view key) override;

protected:
    BooleanElement() : BooleanElement(nullptr, true) {}
    BooleanElement(rt::Ref<ns::String> title, bool value);
    ~BooleanElement() override;

private:
    // The runtime's setNilValueForKey: message.
    void nilValueForKeyNamed(const rt::Ref<ns::String>& key);

    rt::Ref<ui::Image> onImage_, offImage_;
    bool boolValue_ = false;
};

class ButtonElement : public LabelElement {
    RT_CLASS(ButtonElement)
public:
    // The reusable "FMFormButtonElement" cell, its title aligned, set and coloured by the
    // appearance's button alignment, label font and action colours.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Enabled: the label element's tap. Always: the row is deselected, animated.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;

protected:
    ButtonElement();
    explicit ButtonElement(rt::Ref<ns::String> title);
    ~ButtonElement() override;
};

} // namespace fm
