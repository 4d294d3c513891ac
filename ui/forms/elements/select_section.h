#pragma once
// fm::SelectSection ("FMSelectSection"): a section whose rows are the options of a choice, one
// fm::SelectItemElement ("FMSelectItemElement") per item, a check mark (or the row's check-mark
// image) on the chosen ones. `selectedIndexes` holds the chosen rows' indexes (numbers) in the
// order they were chosen, and is the section's value under its key. Single choice moves the mark
// (a tap on the chosen row clears it only with deselectAllowed); multiple choice toggles each row.
// Inserting an option renumbers the rows after it and shifts the chosen indexes with them; an
// index past the items chooses nothing. Bound to data, it keeps its option rows: unless the
// binding built rows from its templates, the options replace the spinner or empty row.
//
// fm::RadioSection ("FMRadioSection"): a select section read and written as one index, -1 for
// none. Main thread only.

#include <functional>

#include "platform/foundation/array.h"
#include "ui/forms/dynamic_sections.h"
#include "ui/forms/elements/label_element.h"

namespace fm {

class SelectSection : public DynamicDataSection {
    RT_CLASS(SelectSection)
public:
    // Picks the initialiser that takes the chosen items rather than their indexes.
    struct ByItems {};

    const rt::Ref<ns::MutableArray>& items() const noexcept { return items_; }
    // A copy is held; the option rows are built again.
    void setItems(const rt::Ref<ns::Array>& items);
    const rt::Ref<ns::MutableArray>& selectedIndexes() const noexcept { return selectedIndexes_; }
    void setSelectedIndexes(const rt::Ref<ns::Array>& indexes);
    // The items at the chosen indexes, in the order chosen; indexes past the items skipped.
    rt::Ref<ns::Array> selectedItems() const;
    bool multipleAllowed() const noexcept { return multipleAllowed_; }
    void setMultipleAllowed(bool allowed) noexcept { multipleAllowed_ = allowed; }
    bool deselectAllowed() const noexcept { return deselectAllowed_; }
    void setDeselectAllowed(bool allowed) noexcept { deselectAllowed_ = allowed; }
    // Runs after every tap on an option row.
    const std::function<void()>& onSelected() const noexcept { return onSelected_; }
    void setOnSelected(std::function<void()> block) { onSelected_ = std::move(block); }

    bool isSelectedIndex(std::size_t index) const;
    // Appends the index to the choice; removes every entry equal to it.
    void addSelectedIndex(std::size_t index);
    void removeSelectedIndex(std::size_t index);

    // One option row per item, appended.
    void createElements();
    // The section's addElement; an option row learns its section and its place (the count - 1).
    void addElement(const rt::Ref<Element>& element);
    void addOption(const rt::Id& item);
    // An index past the end appends.
    void insertOption(const rt::Id& item, std::size_t index);
    // The chosen indexes themselves under the key.
    void fetchValueIntoObject(const rt::Id& object) const override;
    // The dynamic section's binding; then, with items and no rows built from templates, the option
    // rows again.
    void bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding) override;

protected:
    // The dynamic section's: a spinner row, the empty message.
    SelectSection();
    // Multiple choice exactly when more than one index is given.
    SelectSection(const rt::Ref<ns::Array>& items, const rt::Ref<ns::Array>& selectedIndexes,
                  rt::Ref<ns::String> title = nullptr);
    // The chosen items' indexes (the first equal item); items not found are skipped.
    SelectSection(ByItems, const rt::Ref<ns::Array>& items, const rt::Ref<ns::Array>& selectedItems,
                  rt::Ref<ns::String> title = nullptr);
    SelectSection(const rt::Ref<ns::Array>& items, std::size_t selected, rt::Ref<ns::String> title = nullptr);
    ~SelectSection() override;

private:
    rt::Ref<ns::MutableArray> items_ = ns::MutableArray::make();
    rt::Ref<ns::MutableArray> selectedIndexes_ = ns::MutableArray::make();
    bool multipleAllowed_ = false;
    bool deselectAllowed_ = false;
    std::function<void()> onSelected_;
};

class SelectItemElement : public LabelElement {
    RT_CLASS(SelectItemElement)
public:
    rt::Ref<SelectSection> selectSection() const { return selectSection_.lock(); }
    void setSelectSection(const rt::Ref<SelectSection>& section) { selectSection_ = section; }
    std::size_t index() const noexcept { return index_; }
    void setIndex(std::size_t index) noexcept { index_ = index; }
    const rt::Ref<ui::Image>& checkmarkImage() const noexcept { return checkmarkImage_; }
    void setCheckmarkImage(rt::Ref<ui::Image> image) { checkmarkImage_ = std::move(image); }
    // Write-only: loads the bundle's image of that name; nil changes nothing.
    rt::Ref<ns::String> checkmarkImageNamed() const noexcept { return nullptr; }
    void setCheckmarkImageNamed(const rt::Ref<ns::String>& name);

    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Marks the cell: an image view of the check-mark image, else the platform's check mark.
    void updateCell(const rt::Ref<ui::TableViewCell>& cell) const;
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;

protected:
    // The title is the item's description.
    SelectItemElement(std::size_t index, const rt::Ref<SelectSection>& section);
    ~SelectItemElement() override;

private:
    rt::Weak<SelectSection> selectSection_;
    std::size_t index_ = 0;
    rt::Ref<ui::Image> checkmarkImage_;
};

class RadioSection : public SelectSection {
    RT_CLASS(RadioSection)
public:
    // The first chosen index; -1 with none.
    long selected() const;
    // Replaces the first chosen index (appends to an empty choice).
    void setSelected(long index);

protected:
    using SelectSection::SelectSection;
    ~RadioSection() override;
};

} // namespace fm
