#include "ui/forms/elements/float_element.h"

#include <limits>

#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/string_drawing.h"
#include "ui/forms/elements/badge_element.h"

namespace fm {

// ---- fm::FloatElement ---------------------------------------------------------------------------

FloatElement::FloatElement(float value) : floatValue_(value) {
    setEnabled(true);
}

FloatElement::FloatElement(rt::Ref<ns::String> title, float value)
    : LabelElement(std::move(title), nullptr), floatValue_(value) {
    setEnabled(true);
}

FloatElement::~FloatElement() = default;

rt::Ref<ui::TableViewCell> FloatElement::getCellForTableView(const rt::Ref<ui::TableView>&,
                                                             const rt::Ref<ui::ViewController>&) {
    auto cell = rt::make<FloatTableViewCell>();
    const rt::Ref<ui::Slider>& slider = cell->slider();
    slider->addTargetActionForControlEvents(rt::retained(this), rt::Sel("valueChanged:"),
                                            ui::ControlEvent::ValueChanged);
    slider->setMinimumValue(minimumValue_);
    slider->setMaximumValue(maximumValue_);
    slider->setValue(floatValue_);
    cell->textLabel()->setText(title());
    cell->detailTextLabel()->setText(value() ? ns::String::make(value()->description()) : nullptr);
    cell->imageView()->setImage(image());
    using Accessory = ui::TableViewCellAccessoryType;
    const bool opens = elementOpensSomething(*this);
    cell->setAccessoryType(accessoryType() != 0 ? Accessory(accessoryType())
                                                : opens ? Accessory::DisclosureIndicator : Accessory::None);
    cell->setSelectionStyle(opens ? ui::TableViewCellSelectionStyle::Blue : ui::TableViewCellSelectionStyle::None);
    return cell;
}

void FloatElement::valueChanged(const rt::Ref<ui::Slider>& slider) {
    if (slider) floatValue_ = slider->value();
    handleEditingChanged();
}

void FloatElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(ns::Number::withFloat(floatValue_), key()->utf8());
}

void FloatElement::setNilValueForKey(std::string_view key) {
    if (key == "floatValue")
        floatValue_ = 0;
    else
        LabelElement::setNilValueForKey(key);
}

void FloatElement::nilValueForKeyNamed(const rt::Ref<ns::String>& key) {
    setNilValueForKey(key ? key->utf8() : std::string());
}

// ---- fm::FloatTableViewCell ---------------------------------------------------------------------

FloatTableViewCell::FloatTableViewCell()
    : TableViewCell(ns::String::make("FMFloatTableViewCell")), slider_(rt::make<ui::Slider>(cg::Rect::zero())) {
    setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    contentView()->addSubview(slider_);
}

FloatTableViewCell::~FloatTableViewCell() = default;

void FloatTableViewCell::setSlider(rt::Ref<ui::Slider> slider) {
    slider_ = std::move(slider);
}

void FloatTableViewCell::layoutSubviews() {
    TableViewCell::layoutSubviews();
    const rt::Ref<ui::Label> title = textLabel();
    constexpr double unlimited = std::numeric_limits<double>::max();
    cg::Rect frame = title->frame();
    frame.size.width =
        ui::sizeOfString(title->text(), title->font(), {unlimited, unlimited}, ui::LineBreakMode::Clipping).width;
    title->setFrame(frame);
    const cg::Rect content = contentView()->bounds();
    const double x = frame.maxX();
    slider_->setFrame(cg::Rect::make(content.minX() + x + 10, content.minY(), content.width() - x - 20, content.height()));
}

RT_DEFINE_CLASS(FloatElement, "FMFloatElement", LabelElement,
                rt::prop("floatValue", &FloatElement::floatValue, &FloatElement::setFloatValue),
                rt::prop("minimumValue", &FloatElement::minimumValue, &FloatElement::setMinimumValue),
                rt::prop("maximumValue", &FloatElement::maximumValue, &FloatElement::setMaximumValue),
                rt::method("valueChanged:", &FloatElement::valueChanged),
                rt::method("setNilValueForKey:", &FloatElement::nilValueForKeyNamed))

RT_DEFINE_CLASS(FloatTableViewCell, "FMFloatTableViewCell", TableViewCell,
                rt::prop("slider", &FloatTableViewCell::slider, &FloatTableViewCell::setSlider))

} // namespace fm
