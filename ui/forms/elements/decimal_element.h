#pragma once
// fm::DecimalElement ("FMDecimalElement") and fm::DecimalTableViewCell ("FMDecimalTableViewCell"):
// a number typed as on a cash register. Only digits count: they are read as a whole number
// shifted right by fractionDigits (with two, typing 1, 2, 3 shows 0.01, 0.12, 1.23), the value is
// kept as a number and the field shows it formatted (grouping "," and decimal "."). The digits
// pass through a single-precision float: past about seven significant digits they lose precision.

#include "ui/forms/elements/entry_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"

namespace ns {
class Number;
class NumberFormatter;
} // namespace ns

namespace fm {

class DecimalElement : public EntryElement {
    RT_CLASS(DecimalElement)
public:
    const rt::Ref<ns::Number>& numberValue() const noexcept { return numberValue_; }
    void setNumberValue(rt::Ref<ns::Number> value) { numberValue_ = std::move(value); }
    unsigned long fractionDigits() const noexcept { return fractionDigits_; }
    void setFractionDigits(unsigned long digits) noexcept { fractionDigits_ = digits; }
    // Takes a number; nil stores the integer 0.
    void setFloatValue(const rt::Ref<ns::Number>& value);

    // The row's cell ("FMFormDecimalElement"), bound; the controller and the image are not set.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // numberValue under the key; nothing without a key.
    void fetchValueIntoObject(const rt::Id& object) override;

protected:
    // The entry defaults, the integer 0, the decimal pad.
    DecimalElement();
    // The entry defaults, the number (nil stays nil), the decimal pad.
    explicit DecimalElement(rt::Ref<ns::Number> value);
    // The label element's initialiser: no entry trait defaults, the row stays selected.
    DecimalElement(rt::Ref<ns::String> title, rt::Ref<ns::Number> value);
    ~DecimalElement() override;

private:
    rt::Ref<ns::Number> numberValue_;
    unsigned long fractionDigits_ = 0;
};

class DecimalTableViewCell : public EntryTableViewCell {
    RT_CLASS(DecimalTableViewCell)
public:
    rt::Ref<DecimalElement> decimalElement() const;
    const rt::Ref<ns::NumberFormatter>& formatter() const noexcept { return formatter_; }

    // The base binding, then the formatted value.
    void prepareForElement(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table) override;
    void updateTextFieldFromElement();
    // The digits of the text, shifted by the element's fraction digits, become its number.
    void updateElementFromTextField(const rt::Ref<ns::String>& text);
    // Every keystroke is taken over: the value is recomputed and shown; always NO.
    bool textFieldShouldChangeCharacters(const rt::Ref<ui::TextField>& field, ns::Range range,
                                         const rt::Ref<ns::String>& replacement) override;

protected:
    DecimalTableViewCell();
    ~DecimalTableViewCell() override;
    // A prefix-drawing field on the decimal pad, without the editing-changed action.
    void createSubviews() override;

private:
    rt::Ref<ns::NumberFormatter> formatter_;
};

} // namespace fm
