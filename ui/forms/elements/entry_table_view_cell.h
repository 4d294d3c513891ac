#pragma once
// fm::EntryTableViewCell ("FMEntryTableViewCell"): the cell of an entry row: the title on the
// left, a text field filling the rest, and a keyboard toolbar ("Previous" and "Next" segments, a
// flexible space, "Done") that walks the focus through the form's focusable entries.
//
// Geometry. The entry frame (calculateFrameForEntryElement) keeps a reserve R right of the field,
// 10 with a clear button and 15 without, and is H = cell height - 20 high at y 10. Titled rows of
// a section share one frame in the section's entryPosition: x = W + 20 with W the widest (image
// width + title width + 20) over the section's entries, hidden ones included. Every layout
// measures the section anew; the field then spans from that x to 20 short of the content width.
//
// Focus moves and the begin-editing scroll run late on the main queue (0.3 s and 0.05 s); they
// hold the cell and the target element, the table weakly, and do nothing without an index path
// the table has. fm::TextField ("FMTextField") draws a prefix and a suffix around its text.

#include "platform/uikit/text_field.h"
#include "ui/forms/elements/table_view_cell.h"

namespace ui {
class SegmentedControl;
class Toolbar;
} // namespace ui

namespace fm {

class EntryElement;
class FormTableView;

class TextField : public ui::TextField {
    RT_CLASS(TextField)
public:
    const rt::Ref<ns::String>& prefix() const noexcept { return prefix_; }
    void setPrefix(rt::Ref<ns::String> prefix);
    const rt::Ref<ns::String>& suffix() const noexcept { return suffix_; }
    void setSuffix(rt::Ref<ns::String> suffix);
    // With neither set, the platform's drawing; else prefix + text + suffix in the field's colour,
    // font and alignment, cut at the tail.
    void drawTextInRect(const cg::Rect& rect) override;

protected:
    TextField() = default;
    ~TextField() override;

private:
    rt::Ref<ns::String> prefix_, suffix_;
};

class EntryTableViewCell : public TableViewCell {
    RT_CLASS(EntryTableViewCell)
public:
    const rt::Ref<ui::TextField>& textField() const noexcept { return textField_; }
    // Detaches the former field and installs this one (no border, the cell as delegate and
    // editing-changed target, a clear button while editing) in the content view.
    void setTextField(rt::Ref<ui::TextField> field);
    const rt::Ref<EntryElement>& element() const noexcept { return element_; }
    rt::Ref<FormTableView> tableView() const;
    const rt::Ref<ui::SegmentedControl>& previousNextControl() const noexcept { return previousNext_; }

    // Binds the cell to the element: appearance, title, text and traits, toolbar, previous/next.
    virtual void prepareForElement(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table);
    void applyAppearanceForElement(const rt::Ref<Element>& element) override;
    cg::Rect calculateFrameForEntryElement();
    virtual void recalculateEntryFieldPosition();

    // The keyboard toolbar and its actions.
    rt::Ref<ui::Toolbar> createActionBar();
    void updatePrevNextStatus();
    void handleActionBarPreviousNext(const rt::Ref<ui::SegmentedControl>& control);
    // Always NO.
    virtual bool handleActionBarDone(const rt::Id& sender);

    // The field's delegate and its editing-changed action.
    virtual void textFieldDidBeginEditing(const rt::Ref<ui::TextField>& field);
    virtual void textFieldDidEndEditing(const rt::Ref<ui::TextField>& field);
    virtual bool textFieldShouldChangeCharacters(const rt::Ref<ui::TextField>& field, ns::Range range,
                                                 const rt::Ref<ns::String>& replacement);
    virtual bool textFieldShouldReturn(const rt::Ref<ui::TextField>& field);
    virtual void textFieldEditingChanged(const rt::Ref<ui::TextField>& field);

    // Focus goes to the field.
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override { return true; }
    void prepareForReuseBody() override;

protected:
    // The platform's init: createSubviews, then a new fm::TextField.
    EntryTableViewCell();
    // Subclasses install their own fields.
    explicit EntryTableViewCell(const char* reuseIdentifier);
    ~EntryTableViewCell() override;
    virtual void createSubviews();
    void layoutSubviews() override;
    // Notes the element and the table (weakly).
    void bind(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table);
    // Moves the focus to the element's cell, now when it shows, else after scrolling to it and
    // 0.3 s; with `scrollWhenAway` false, only when it shows.
    void focusElement(const rt::Ref<EntryElement>& target, bool scrollWhenAway);
    // The focusable entry after (before) the bound element, nil without one or without a root.
    rt::Ref<EntryElement> focusTarget(bool after) const;

    // Fields the cell may hold other than textField: the return-key, toolbar and typing steps
    // address whichever field edits.
    rt::Ref<ui::TextField> textField_;

private:
    rt::Ref<EntryElement> element_;
    rt::Weak<FormTableView> table_;
    rt::Ref<ui::SegmentedControl> previousNext_;
};

} // namespace fm
