#include "ui/forms/elements/decimal_element.h"

#include <cmath>
#include <string>

#include "platform/foundation/number_formatter.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/uikit/table_view.h"

namespace fm {

namespace {
constexpr long kDecimalPad = 8;
} // namespace

// ---- fm::DecimalElement -------------------------------------------------------------------------

DecimalElement::DecimalElement() : DecimalElement(ns::Number::withInt(0)) {}

DecimalElement::DecimalElement(rt::Ref<ns::Number> value) : numberValue_(std::move(value)) {
    setKeyboardType(kDecimalPad);
}

DecimalElement::DecimalElement(rt::Ref<ns::String> title, rt::Ref<ns::Number> value)
    : EntryElement(LabelInit{}, std::move(title)), numberValue_(std::move(value)) {
    setKeyboardType(kDecimalPad);
}

DecimalElement::~DecimalElement() = default;

void DecimalElement::setFloatValue(const rt::Ref<ns::Number>& value) {
    numberValue_ = value ? value : ns::Number::withInt(0);
}

rt::Ref<ui::TableViewCell> DecimalElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                               const rt::Ref<ui::ViewController>&) {
    auto cell = rt::cast<DecimalTableViewCell>(reusableCell(table, "FMFormDecimalElement"));
    if (!cell) cell = rt::make<DecimalTableViewCell>();
    cell->prepareForElement(rt::retained(this), table);
    if (const auto& field = cell->textField()) field->setUserInteractionEnabled(isEnabled());
    return cell;
}

void DecimalElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(numberValue_, key()->utf8());
}

// ---- fm::DecimalTableViewCell -------------------------------------------------------------------

DecimalTableViewCell::DecimalTableViewCell() : EntryTableViewCell("FMFormDecimalElement") {
    createSubviews();
    formatter_ = rt::make<ns::NumberFormatter>();
    formatter_->setNumberStyle(ns::NumberFormatterStyle::Decimal);
}

DecimalTableViewCell::~DecimalTableViewCell() = default;

void DecimalTableViewCell::createSubviews() {
    textField_ = rt::make<TextField>();
    textField_->setContentVerticalAlignment(ui::ContentVerticalAlignment::Center);
    textField_->setBorderStyle(ui::TextBorderStyle::None);
    textField_->setKeyboardType(kDecimalPad);
    textField_->setDelegate(rt::retained(this));
    textField_->setClearButtonMode(ui::TextFieldViewMode::WhileEditing);
    textField_->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    contentView()->addSubview(textField_);
    setNeedsLayout();
}

rt::Ref<DecimalElement> DecimalTableViewCell::decimalElement() const {
    return rt::cast<DecimalElement>(element());
}

void DecimalTableViewCell::prepareForElement(const rt::Ref<EntryElement>& element,
                                             const rt::Ref<ui::TableView>& table) {
    EntryTableViewCell::prepareForElement(element, table);
    updateTextFieldFromElement();
}

void DecimalTableViewCell::updateTextFieldFromElement() {
    const rt::Ref<DecimalElement> decimal = decimalElement();
    if (!decimal || !textField_) return;
    formatter_->setMinimumFractionDigits(decimal->fractionDigits());
    formatter_->setMaximumFractionDigits(decimal->fractionDigits());
    textField_->setText(formatter_->stringFromNumber(decimal->numberValue()));
}

void DecimalTableViewCell::updateElementFromTextField(const rt::Ref<ns::String>& text) {
    const rt::Ref<DecimalElement> decimal = decimalElement();
    if (!decimal) return;
    std::string digits;
    if (text)
        for (const char16_t unit : text->utf16())
            if (unit >= u'0' && unit <= u'9') digits += static_cast<char>(unit);
    formatter_->setMinimumFractionDigits(decimal->fractionDigits());
    formatter_->setMaximumFractionDigits(decimal->fractionDigits());
    const rt::Ref<ns::Number> parsed = digits.empty() ? nullptr : formatter_->numberFromString(digits);
    const float whole = parsed ? parsed->floatValue() : 0.0f;
    decimal->setNumberValue(
        ns::Number::withDouble(static_cast<double>(whole) / std::pow(10.0, static_cast<double>(decimal->fractionDigits()))));
}

bool DecimalTableViewCell::textFieldShouldChangeCharacters(const rt::Ref<ui::TextField>& field, ns::Range range,
                                                           const rt::Ref<ns::String>& replacement) {
    const rt::Ref<EntryElement> bound = element();
    if (!bound || !field) return false;
    const rt::Ref<DecimalTableViewCell> self = rt::retained(this);
    if (!rt::ask(bound->delegate(), entryDelegateSel().shouldChange, true, range, replacement, bound, self))
        return false;
    const ns::String& current = *field->text();
    const std::size_t from = std::min(range.location, current.length());
    const std::size_t to = std::min(range.max(), current.length());
    auto candidate = current.substringToIndex(from)
                         ->stringByAppendingString(replacement ? replacement->utf8() : std::string())
                         ->stringByAppendingString(*current.substringFromIndex(to));
    updateElementFromTextField(candidate);
    updateTextFieldFromElement();
    bound->handleEditingChanged(rt::Ref<EntryTableViewCell>(self));
    return false;
}

RT_DEFINE_CLASS(DecimalElement, "FMDecimalElement", EntryElement,
                rt::prop("numberValue", &DecimalElement::numberValue, &DecimalElement::setNumberValue),
                rt::prop("fractionDigits", &DecimalElement::fractionDigits, &DecimalElement::setFractionDigits),
                rt::method("setFloatValue:", &DecimalElement::setFloatValue))

RT_DEFINE_CLASS(DecimalTableViewCell, "FMDecimalTableViewCell", EntryTableViewCell,
                rt::prop("formatter", &DecimalTableViewCell::formatter),
                rt::method("updateTextFieldFromElement", &DecimalTableViewCell::updateTextFieldFromElement),
                rt::method("updateElementFromTextField:", &DecimalTableViewCell::updateElementFromTextField))

} // namespace fm
