#pragma once
// fm::AutoEntryElement ("FMAutoEntryElement") and fm::AutoEntryTableViewCell
// ("FMAutoEntryTableViewCell"): an entry row that completes what the user types from a fixed list
// of values. While the user types, the rest of the first value that begins (ignoring case) with
// the typed text shows after it; when editing ends the row takes that whole value, except after
// the return key, which keeps the typed text.
//
// The cell's autocomplete field is not the base cell's textField (which stays nil). A flag in the
// cell decides whether completions show: off when the cell takes the focus, on at each change.

#include <string>
#include <vector>

#include "ui/forms/elements/entry_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"

namespace ui {
class Color;
}

namespace at {
class AutocompleteTextField;
}

namespace fm {

class AutoEntryElement : public EntryElement {
    RT_CLASS(AutoEntryElement)
public:
    const rt::Ref<ns::Array>& autoCompleteValues() const noexcept { return autoCompleteValues_; }
    void setAutoCompleteValues(rt::Ref<ns::Array> values) { autoCompleteValues_ = std::move(values); }
    const rt::Ref<ui::Color>& autoCompleteColor() const noexcept { return autoCompleteColor_; }
    void setAutoCompleteColor(rt::Ref<ui::Color> color) { autoCompleteColor_ = std::move(color); }
    const rt::Ref<ns::String>& lastAutoComplete() const noexcept { return lastAutoComplete_; }
    void setLastAutoComplete(rt::Ref<ns::String> value) { lastAutoComplete_ = std::move(value); }

    // The row's cell ("FMFormAutoEntryElement"); the controller is not noted.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // The entry's focus and action, only while enabled.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    // As a completion source: matches the field's own candidate list, notes the whole value
    // (lastAutoComplete; "" after a miss).
    rt::Ref<ns::String> completionForPrefix(const rt::Ref<at::AutocompleteTextField>& field,
                                            const rt::Ref<ns::String>& typed);

protected:
    AutoEntryElement() = default;
    // The platform's initWithTitle:value:placeholder:.
    AutoEntryElement(rt::Ref<ns::String> title, rt::Ref<ns::String> text, rt::Ref<ns::String> placeholder);
    ~AutoEntryElement() override;

private:
    rt::Ref<ns::Array> autoCompleteValues_;
    rt::Ref<ui::Color> autoCompleteColor_;
    rt::Ref<ns::String> lastAutoComplete_;
};

class AutoEntryTableViewCell : public EntryTableViewCell {
    RT_CLASS(AutoEntryTableViewCell)
public:
    const rt::Ref<at::AutocompleteTextField>& autoCompleteField() const noexcept { return field_; }
    const rt::Ref<ns::Array>& autoCompleteValues() const noexcept { return autoCompleteValues_; }
    const rt::Ref<ns::String>& lastFullStringWithAutocompletion() const noexcept { return lastFull_; }

    void prepareForElement(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table) override;
    void recalculateEntryFieldPosition() override;
    // The flag goes off; the field takes the focus.
    bool becomeFirstResponder() override;
    void textFieldEditingChanged(const rt::Ref<ui::TextField>& field) override;
    // Takes the completion when the flag is on.
    void textFieldDidEndEditing(const rt::Ref<ui::TextField>& field) override;
    // The base return with the flag off: the typed text stays.
    bool textFieldShouldReturn(const rt::Ref<ui::TextField>& field) override;
    // The field resigns first (taking the completion), then the base "Done".
    bool handleActionBarDone(const rt::Id& sender) override;
    // The field's completion source: nil while the flag is off.
    rt::Ref<ns::String> completionForPrefix(const rt::Ref<at::AutocompleteTextField>& field,
                                            const rt::Ref<ns::String>& typed);

protected:
    AutoEntryTableViewCell();
    ~AutoEntryTableViewCell() override;
    void createSubviews() override;

private:
    rt::Ref<at::AutocompleteTextField> field_;
    rt::Ref<AutoEntryElement> autoElement_;
    rt::Ref<ns::Array> autoCompleteValues_;
    std::vector<std::string> loweredValues_; // the candidates lower-cased once, at binding
    rt::Ref<ns::String> lastFull_;
    bool autocompletes_ = false;
};

} // namespace fm
