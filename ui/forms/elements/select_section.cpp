#include "ui/forms/elements/select_section.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/table_view.h"
#include "ui/forms/elements/list_state_elements.h"

namespace fm {

namespace {

rt::Ref<ns::Number> selectIndexNumber(std::size_t index) {
    return ns::Number::withUnsignedLong(index);
}

std::size_t selectIndexOf(const rt::Id& entry) {
    const auto number = rt::cast<ns::Number>(entry);
    return number ? static_cast<std::size_t>(number->unsignedLongLongValue()) : ns::NotFound;
}

rt::Ref<ns::Array> selectIndexesOfItems(const rt::Ref<ns::Array>& items, const rt::Ref<ns::Array>& chosen) {
    auto indexes = ns::MutableArray::make();
    if (items && chosen)
        for (const rt::Id& item : *chosen)
            if (const std::size_t found = items->indexOfObject(item); found != ns::NotFound)
                indexes->addObject(selectIndexNumber(found));
    return indexes;
}

void selectClearMark(const rt::Ref<ui::TableViewCell>& cell) {
    if (!cell) return;
    cell->setAccessoryType(ui::TableViewCellAccessoryType::None);
    cell->setAccessoryView(nullptr);
}

} // namespace

// ---- SelectSection ------------------------------------------------------------------------------

SelectSection::SelectSection() = default;

SelectSection::SelectSection(const rt::Ref<ns::Array>& items, const rt::Ref<ns::Array>& selectedIndexes,
                             rt::Ref<ns::String> title)
    : DynamicDataSection(std::move(title)) {
    if (items) items_->addObjectsFromArray(*items);
    if (selectedIndexes) selectedIndexes_->addObjectsFromArray(*selectedIndexes);
    multipleAllowed_ = selectedIndexes && selectedIndexes->count() > 1;
    createElements();
}

SelectSection::SelectSection(ByItems, const rt::Ref<ns::Array>& items,
                             const rt::Ref<ns::Array>& selectedItems, rt::Ref<ns::String> title)
    : SelectSection(items, selectIndexesOfItems(items, selectedItems), std::move(title)) {}

SelectSection::SelectSection(const rt::Ref<ns::Array>& items, std::size_t selected, rt::Ref<ns::String> title)
    : SelectSection(items, ns::Array::withObjects({selectIndexNumber(selected)}), std::move(title)) {}

SelectSection::~SelectSection() = default;

void SelectSection::setItems(const rt::Ref<ns::Array>& items) {
    items_ = ns::MutableArray::make();
    if (items) items_->addObjectsFromArray(*items);
    removeAllElements();
    createElements();
}

void SelectSection::setSelectedIndexes(const rt::Ref<ns::Array>& indexes) {
    selectedIndexes_ = ns::MutableArray::make();
    if (indexes) selectedIndexes_->addObjectsFromArray(*indexes);
}

rt::Ref<ns::Array> SelectSection::selectedItems() const {
    auto chosen = ns::MutableArray::make();
    for (const rt::Id& entry : *selectedIndexes_)
        if (const std::size_t index = selectIndexOf(entry); index < items_->count())
            chosen->addObject((*items_)[index]);
    return chosen;
}

bool SelectSection::isSelectedIndex(std::size_t index) const {
    return std::any_of(selectedIndexes_->begin(), selectedIndexes_->end(),
                       [index](const rt::Id& entry) { return selectIndexOf(entry) == index; });
}

void SelectSection::addSelectedIndex(std::size_t index) {
    selectedIndexes_->addObject(selectIndexNumber(index));
}

void SelectSection::removeSelectedIndex(std::size_t index) {
    selectedIndexes_->removeObject(selectIndexNumber(index));
}

void SelectSection::createElements() {
    const rt::Ref<SelectSection> self = rt::retained(this);
    for (std::size_t i = 0; i < items_->count(); ++i)
        addElement(rt::make<SelectItemElement>(i, self));
}

void SelectSection::addElement(const rt::Ref<Element>& element) {
    Section::addElement(element);
    if (const auto option = rt::cast<SelectItemElement>(element)) {
        option->setSelectSection(rt::retained(this));
        option->setIndex(elements()->size() - 1);
    }
}

void SelectSection::addOption(const rt::Id& item) {
    insertOption(item, items_->count());
}

void SelectSection::insertOption(const rt::Id& item, std::size_t index) {
    index = std::min(index, items_->count());
    items_->insertObjectAtIndex(item, index);
    // The rows and the chosen indexes after the new option move down with it.
    if (const auto* rows = elements())
        for (const auto& row : *rows)
            if (const auto option = rt::cast<SelectItemElement>(row); option && option->index() >= index)
                option->setIndex(option->index() + 1);
    for (std::size_t i = 0; i < selectedIndexes_->count(); ++i)
        if (const std::size_t chosen = selectIndexOf((*selectedIndexes_)[i]);
            chosen != ns::NotFound && chosen >= index) {
            selectedIndexes_->removeObjectAtIndex(i);
            selectedIndexes_->insertObjectAtIndex(selectIndexNumber(chosen + 1), i);
        }
    insertElementAtIndex(rt::make<SelectItemElement>(index, rt::retained(this)), index);
}

void SelectSection::fetchValueIntoObject(const rt::Id& object) const {
    if (key() && object) object->setValueForKey(selectedIndexes_, key()->utf8());
}

void SelectSection::bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding) {
    DynamicDataSection::bindToObjectWithString(data, binding);
    if (items_->count() == 0) return;
    if (const auto* rows = elements())
        for (const auto& row : *rows)
            if (!rt::cast<LoadingElement>(row) && !rt::cast<EmptyListElement>(row))
                return; // built by "iterate"
    removeAllElements();
    createElements();
}

// ---- SelectItemElement --------------------------------------------------------------------------

SelectItemElement::SelectItemElement(std::size_t index, const rt::Ref<SelectSection>& section)
    : selectSection_(section), index_(index) {
    if (!section || index >= section->items()->count()) return;
    const rt::Id& item = (*section->items())[index];
    if (auto text = rt::cast<ns::String>(item))
        setTitle(text);
    else if (item)
        setTitle(ns::String::make(item->description()));
}

SelectItemElement::~SelectItemElement() = default;

void SelectItemElement::setCheckmarkImageNamed(const rt::Ref<ns::String>& name) {
    if (name) checkmarkImage_ = ui::Image::imageNamed(name->utf8());
}

rt::Ref<ui::TableViewCell>
SelectItemElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                       const rt::Ref<ui::ViewController>& controller) {
    auto cell = LabelElement::getCellForTableView(table, controller);
    cell->setSelectionStyle(isEnabled() ? ui::TableViewCellSelectionStyle::Blue
                                        : ui::TableViewCellSelectionStyle::None);
    const auto section = selectSection();
    if (section && section->isSelectedIndex(index_))
        updateCell(cell);
    else
        cell->setAccessoryType(ui::TableViewCellAccessoryType::None);
    return cell;
}

void SelectItemElement::updateCell(const rt::Ref<ui::TableViewCell>& cell) const {
    if (!cell) return;
    if (checkmarkImage_) {
        cell->setAccessoryType(ui::TableViewCellAccessoryType::None);
        auto mark = ui::ImageView::withImage(checkmarkImage_);
        mark->sizeToFit();
        cell->setAccessoryView(mark);
    } else {
        cell->setAccessoryType(ui::TableViewCellAccessoryType::Checkmark);
        cell->setAccessoryView(nullptr);
    }
}

void SelectItemElement::selected(const rt::Ref<ui::TableView>& table,
                                 const rt::Ref<ui::ViewController>& controller,
                                 const rt::Ref<ns::IndexPath>& indexPath) {
    LabelElement::selected(table, controller, indexPath);
    const auto section = selectSection();
    if (!section) return;
    const rt::Ref<ui::TableViewCell> cell =
        table && indexPath ? table->cellForRowAtIndexPath(indexPath) : nullptr;
    const bool chosen = section->isSelectedIndex(index_);
    if (!section->multipleAllowed()) {
        if (chosen) {
            if (section->deselectAllowed()) {
                section->removeSelectedIndex(index_);
                selectClearMark(cell);
            }
        } else {
            if (section->selectedIndexes()->count() > 0) {
                const std::size_t previous = selectIndexOf((*section->selectedIndexes())[0]);
                const rt::Ref<ui::TableViewCell> old =
                    table && indexPath && previous != ns::NotFound
                        ? table->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(
                              static_cast<long>(previous), indexPath->section()))
                        : nullptr;
                selectClearMark(old);
                section->removeSelectedIndex(previous);
                if (old) old->setNeedsDisplay();
            }
            updateCell(cell);
            section->addSelectedIndex(index_);
        }
    } else if (chosen) {
        selectClearMark(cell);
        section->removeSelectedIndex(index_);
    } else {
        updateCell(cell);
        section->addSelectedIndex(index_);
    }
    rt::callStoredBlock(section->onSelected());
    if (table && indexPath) table->deselectRowAtIndexPath(indexPath, true);
}

// ---- RadioSection -------------------------------------------------------------------------------

RadioSection::~RadioSection() = default;

long RadioSection::selected() const {
    return selectedIndexes()->count() > 0 ? static_cast<long>(selectIndexOf((*selectedIndexes())[0])) : -1;
}

void RadioSection::setSelected(long index) {
    const auto number = ns::Number::withLong(index);
    if (selectedIndexes()->count() > 0) selectedIndexes()->removeObjectAtIndex(0);
    selectedIndexes()->insertObjectAtIndex(number, 0);
}

RT_DEFINE_CLASS(
    SelectSection, "FMSelectSection", DynamicDataSection,
    rt::prop("items", &SelectSection::items, &SelectSection::setItems),
    rt::prop("selectedIndexes", &SelectSection::selectedIndexes, &SelectSection::setSelectedIndexes),
    rt::prop("selectedItems", &SelectSection::selectedItems),
    rt::prop("multipleAllowed", &SelectSection::multipleAllowed, &SelectSection::setMultipleAllowed),
    rt::prop("onSelected", &SelectSection::onSelected, &SelectSection::setOnSelected, {.memory = rt::Memory::Copy}),
    rt::prop("deselectAllowed", &SelectSection::deselectAllowed, &SelectSection::setDeselectAllowed),
    rt::method("createElements", &SelectSection::createElements))
RT_DEFINE_CLASS(SelectItemElement, "FMSelectItemElement", LabelElement,
                rt::prop("selectSection", &SelectItemElement::selectSection, &SelectItemElement::setSelectSection,
                         {.memory = rt::Memory::Weak}),
                rt::prop("index", &SelectItemElement::index, &SelectItemElement::setIndex),
                rt::prop("checkmarkImage", &SelectItemElement::checkmarkImage,
                         &SelectItemElement::setCheckmarkImage),
                rt::prop("checkmarkImageNamed", &SelectItemElement::checkmarkImageNamed,
                         &SelectItemElement::setCheckmarkImageNamed, {.memory = rt::Memory::Copy}))
RT_DEFINE_CLASS(RadioSection, "FMRadioSection", SelectSection,
                rt::prop("selected", &RadioSection::selected, &RadioSection::setSelected))

} // namespace fm
