#pragma once
// Choosing one of several items.
//
// fm::RadioElement ("FMRadioElement"): an entry row (its cell an entry cell, the field taking no
// touches) showing its title and the chosen item; a tap opens a list of the items (its one
// section of fm::RadioItemElement rows, presented as navigation in a popover, mode 2) where a tap
// chooses, marks and closes. `selected` is -1 for none; `values`, parallel to the items, are
// written in place of the index. Image names, one per item, give the element the chosen item's
// image (a missing entry gives none).
//
// fm::RadioItemElement ("FMRadioItemElement"): one list row. Its owner, a radio element or a
// radio section, is held weakly (the owner holds the row). A tap in a radio element's list moves
// the mark, sets the choice, stops the list's table taking touches and closes the list after a
// 0.3 s one-shot timer, which holds the controller weakly and closes it only while it is still the
// top of its navigation (Back may have taken it off); in a radio section it sets the section's
// choice.
//
// fm::SegmentedElement ("FMSegmentedElement"): the same choice as a segmented control inside the
// row (tag 4321), a new cell on every call; strings naming a bundle image become that image.
// Main thread only.

#include <utility>

#include "ui/forms/elements/entry_element.h"

namespace ns {
class Array;
class Dictionary;
} // namespace ns

namespace ui {
class SegmentedControl;
}

namespace fm {

class RadioSection;

class RadioElement : public EntryElement {
    RT_CLASS(RadioElement)
public:
    // The platform's not-found index, which a lookup that fails chooses.
    static constexpr long NotFound = static_cast<long>(~0UL >> 1);

    const rt::Ref<ns::Array>& items() const noexcept { return items_; }
    // Stores, then builds the list.
    virtual void setItems(rt::Ref<ns::Array> items);
    long selected() const noexcept { return selected_; }
    // The row marked when the list opens (only for an index of an item), the image of the item's
    // name, then onValueChanged.
    void setSelected(long index);
    const rt::Ref<ns::Array>& values() const noexcept { return values_; }
    void setValues(rt::Ref<ns::Array> values) { values_ = std::move(values); }
    const rt::Ref<ns::Array>& itemsImageNames() const noexcept { return itemsImageNames_; }
    // Stores, then builds the list again when there are items.
    void setItemsImageNames(rt::Ref<ns::Array> names);
    // The item (value) at `selected`, nil out of range.
    rt::Id selectedItem() const;
    // The item's index (the first equal one; NotFound when absent); nothing for a nil item or list.
    void setSelectedItem(const rt::Id& item);
    rt::Id selectedValue() const;
    // A number is the index itself; another object its index among the values.
    void setSelectedValue(const rt::Id& value);

    // The list: one section of item rows.
    void createElements();
    // The item shown in the row's field, by whether the row has a title.
    void updateCell(const rt::Ref<ui::TableViewCell>& cell, const rt::Id& item);

    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Opens the list when there is one and the element is enabled; nothing else.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    // The value (or the number of the index) at `selected`, when it is in range; else nothing.
    void fetchValueIntoObject(const rt::Id& object) override;
    bool canTakeFocus() const override { return false; }

protected:
    RadioElement();
    RadioElement(rt::Ref<ns::Array> items, long selected, rt::Ref<ns::String> title = nullptr);
    // Items from the keys, values from the values, in the dictionary's one order.
    RadioElement(const rt::Ref<ns::Dictionary>& dictionary, int selected, rt::Ref<ns::String> title);
    ~RadioElement() override;

    // A dictionary's keys and values, in its one order.
    static std::pair<rt::Ref<ns::Array>, rt::Ref<ns::Array>>
    keysAndValues(const rt::Ref<ns::Dictionary>& dictionary);
    // The choice stored as it is: no marked row, no image, no callback.
    void storeSelected(long index) noexcept { selected_ = index; }
    void storeItems(rt::Ref<ns::Array> items) { items_ = std::move(items); }

private:
    rt::Ref<ns::Array> items_, values_, itemsImageNames_;
    long selected_ = -1;
    rt::Ref<Section> itemsSection_;
};

class RadioItemElement : public LabelElement {
    RT_CLASS(RadioItemElement)
public:
    std::size_t index() const noexcept { return index_; }
    rt::Ref<RadioElement> radioElement() const { return radioElement_.lock(); }
    rt::Ref<RadioSection> radioSection() const { return radioSection_.lock(); }

    // Checked when the owner's choice is this row.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;

protected:
    RadioItemElement(std::size_t index, const rt::Ref<RadioElement>& element);
    RadioItemElement(std::size_t index, const rt::Ref<RadioSection>& section);
    ~RadioItemElement() override;

private:
    // The owner's choice: the element's, else the section's; -1 without an owner.
    long currentChoice() const;

    std::size_t index_ = 0;
    rt::Weak<RadioElement> radioElement_;
    rt::Weak<RadioSection> radioSection_;
};

class SegmentedElement : public RadioElement {
    RT_CLASS(SegmentedElement)
public:
    static constexpr long controlTag = 4321;

    // Nothing for the array already held; else strings naming a bundle image become the image.
    // No list is built.
    void setItems(rt::Ref<ns::Array> items) override;
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Stores the control's choice as it is, then the action and onValueChanged.
    void handleSegmentedControlValueChanged(const rt::Ref<ui::SegmentedControl>& control);

protected:
    SegmentedElement() = default;
    SegmentedElement(rt::Ref<ns::Array> items, long selected, rt::Ref<ns::String> title = nullptr);
    // Items (images named) from the keys, values from the values.
    SegmentedElement(const rt::Ref<ns::Dictionary>& dictionary, int selected, rt::Ref<ns::String> title);
    ~SegmentedElement() override;
};

} // namespace fm
