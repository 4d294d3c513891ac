#pragma once
// fm::FloatElement ("FMFloatElement") and fm::FloatTableViewCell ("FMFloatTableViewCell"): a number
// edited with a slider that fills the row right of the title. A value set in code is only stored
// (the range is not enforced on it); the slider's changes run the value-changed handling.

#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/table_view_cell.h"

namespace ui {
class Slider;
}

namespace fm {

class FloatElement : public LabelElement {
    RT_CLASS(FloatElement)
public:
    float floatValue() const noexcept { return floatValue_; }
    void setFloatValue(float value) noexcept { floatValue_ = value; }
    float minimumValue() const noexcept { return minimumValue_; }
    void setMinimumValue(float value) noexcept { minimumValue_ = value; }
    float maximumValue() const noexcept { return maximumValue_; }
    void setMaximumValue(float value) noexcept { maximumValue_ = value; }

    // A new fm::FloatTableViewCell on every call, its slider sending valueChanged: here; neither
    // the appearance nor the controller.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // The slider's value, then handleEditingChanged.
    void valueChanged(const rt::Ref<ui::Slider>& slider);
    // floatValue as a float number under the key; nothing without a key.
    void fetchValueIntoObject(const rt::Id& object) override;
    // Nil for "floatValue" is 0.
    void setNilValueForKey(std::string_view key) override;

protected:
    FloatElement() : FloatElement(0.0f) {}
    // The plain label element: the row is deselected after a tap.
    explicit FloatElement(float value);
    // The label element with a title: the row stays selected.
    FloatElement(rt::Ref<ns::String> title, float value);
    ~FloatElement() override;

private:
    void nilValueForKeyNamed(const rt::Ref<ns::String>& key);

    float floatValue_ = 0, minimumValue_ = 0, maximumValue_ = 1;
};

class FloatTableViewCell : public TableViewCell {
    RT_CLASS(FloatTableViewCell)
public:
    const rt::Ref<ui::Slider>& slider() const noexcept { return slider_; }
    void setSlider(rt::Ref<ui::Slider> slider);

protected:
    FloatTableViewCell();
    ~FloatTableViewCell() override;
    // The base layout; the title at its text's width; the slider from 10 right of the title's end
    // to 10 short of the content's right edge.
    void layoutSubviews() override;

private:
    rt::Ref<ui::Slider> slider_;
};

} // namespace fm
