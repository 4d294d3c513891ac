#pragma once
// The two cells of fm::DateTimeInlineElement, both reused as "FMFormDateTimeInlineElement".
//
// fm::DateEntryTableViewCell ("FMDateEntryTableViewCell"): an entry cell whose text field is
// hidden and whose keyboard is a date picker, made when the field begins editing and dropped when
// it ends; the row shows selected meanwhile. A spin sets the element's value and reports through
// its handleEditingChanged:. With centerLabel the value shows centred, without a title.
//
// fm::DateInlineTableViewCell ("FMDateInlineTableViewCell"): the title line in the top 44 points
// and, while editing, a picker below it that fades in and out over 0.3 s; it listens to the picker
// only once shown and stops when hidden. A spin sets the value and calls onValueChanged.

#include "ui/forms/elements/entry_table_view_cell.h"

namespace ui {
class DatePicker;
class Label;
} // namespace ui

namespace fm {

class DateTimeInlineElement;

class DateEntryTableViewCell : public EntryTableViewCell {
    RT_CLASS(DateEntryTableViewCell)
public:
    // Only while the field edits.
    const rt::Ref<ui::DatePicker>& pickerView() const noexcept { return picker_; }
    const rt::Ref<ui::Label>& centeredLabel() const noexcept { return centeredLabel_; }

    void prepareForElement(const rt::Ref<EntryElement>& element,
                           const rt::Ref<ui::TableView>& table) override;
    void textFieldDidBeginEditing(const rt::Ref<ui::TextField>& field) override;
    void textFieldDidEndEditing(const rt::Ref<ui::TextField>& field) override;
    void dateChanged(const rt::Ref<ui::DatePicker>& picker);

protected:
    DateEntryTableViewCell();
    ~DateEntryTableViewCell() override;
    void createSubviews() override;

private:
    rt::Ref<DateTimeInlineElement> dateElement() const;

    rt::Ref<ui::DatePicker> picker_;
    rt::Ref<ui::Label> centeredLabel_;
};

class DateInlineTableViewCell : public TableViewCell {
    RT_CLASS(DateInlineTableViewCell)
public:
    // Made on the first preparation and kept.
    const rt::Ref<ui::DatePicker>& pickerView() const noexcept { return picker_; }
    rt::Ref<DateTimeInlineElement> element() const { return element_.lock(); }
    bool presentingPicker() const noexcept { return isEditing(); }

    // Remembers the element, shows its title and value, sets the picker up, then the appearance.
    void prepareForElement(const rt::Ref<DateTimeInlineElement>& element);
    // The value label in the entry text colours.
    void applyAppearanceForElement(const rt::Ref<Element>& element) override;
    void dateChanged(const rt::Ref<ui::DatePicker>& picker);
    // Shows or hides the picker, only on a change of state.
    void setEditingAnimated(bool editing, bool animated) override;
    // Hides the picker.
    bool endEditing(bool force) override;

protected:
    DateInlineTableViewCell();
    ~DateInlineTableViewCell() override;
    void layoutSubviews() override;

private:
    rt::Ref<ui::DatePicker> picker_;
    rt::Weak<DateTimeInlineElement> element_;
};

} // namespace fm
