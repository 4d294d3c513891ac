#include "ui/forms/elements/radio_elements.h"

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/run_loop.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/text_field.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/select_section.h"
#include "ui/forms/elements/table_view_cell.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

constexpr double radioCloseDelay = 0.3;
const rt::Sel radioSegmentChanged("handleSegmentedControlValueChanged:");

bool radioInRange(long index, const rt::Ref<ns::Array>& list) {
    return list && index >= 0 && static_cast<std::size_t>(index) < list->count();
}

rt::Id radioAt(long index, const rt::Ref<ns::Array>& list) {
    return radioInRange(index, list) ? (*list)[static_cast<std::size_t>(index)] : nullptr;
}

// The list still on top of its navigation: once Back (or anything else) took it off, closing it
// would pop the screen under it.
bool radioListOnTop(const FormController& list) {
    const rt::Ref<ui::NavigationController> navigation = list.navigationController();
    return !navigation || navigation->topViewController().get() == &list;
}

rt::Ref<ns::String> radioText(const rt::Id& item) {
    if (!item) return nullptr;
    if (auto text = rt::cast<ns::String>(item)) return text;
    return ns::String::make(item->description());
}

} // namespace

// ---- RadioElement -------------------------------------------------------------------------------

RadioElement::RadioElement() = default;

RadioElement::RadioElement(rt::Ref<ns::Array> items, long selected, rt::Ref<ns::String> title) {
    setItems(std::move(items));
    setSelected(selected);
    setTitle(std::move(title));
}

std::pair<rt::Ref<ns::Array>, rt::Ref<ns::Array>>
RadioElement::keysAndValues(const rt::Ref<ns::Dictionary>& dictionary) {
    std::vector<rt::Id> keys, values;
    if (dictionary) {
        for (auto [key, value] : *dictionary) {
            keys.push_back(key);
            values.push_back(value);
        }
    }
    return {ns::Array::make(std::move(keys)), ns::Array::make(std::move(values))};
}

RadioElement::RadioElement(const rt::Ref<ns::Dictionary>& dictionary, int selected,
                           rt::Ref<ns::String> title) {
    auto [keys, values] = keysAndValues(dictionary);
    setItems(std::move(keys));
    setSelected(selected);
    values_ = std::move(values);
    setTitle(std::move(title));
}

RadioElement::~RadioElement() = default;

void RadioElement::setItems(rt::Ref<ns::Array> items) {
    items_ = std::move(items);
    createElements();
}

void RadioElement::setItemsImageNames(rt::Ref<ns::Array> names) {
    itemsImageNames_ = std::move(names);
    if (items_) createElements();
}

void RadioElement::createElements() {
    setSections(nullptr);
    setPresentationMode(2);
    itemsSection_ = rt::make<Section>();
    addSection(itemsSection_);
    const rt::Ref<RadioElement> self = rt::retained(this);
    const std::size_t count = items_ ? items_->count() : 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto row = rt::make<RadioItemElement>(i, self);
        row->setImageNamed(rt::cast<ns::String>(radioAt(static_cast<long>(i), itemsImageNames_)));
        row->setTitle(radioText((*items_)[i]));
        itemsSection_->addElement(row);
    }
}

void RadioElement::setSelected(long index) {
    selected_ = index;
    // Only a row the list has can be marked (and scrolled to) when it opens.
    setPreselectedElementIndex(radioInRange(index, items_) ? ns::IndexPath::indexPathForRowInSection(index, 0)
                                                           : nullptr);
    if (auto name = rt::cast<ns::String>(radioAt(index, itemsImageNames_))) setImageNamed(name);
    handleEditingChanged();
}

rt::Id RadioElement::selectedItem() const {
    return radioAt(selected_, items_);
}

void RadioElement::setSelectedItem(const rt::Id& item) {
    if (!items_ || !item) return;
    const std::size_t found = items_->indexOfObject(item);
    setSelected(found == ns::NotFound ? NotFound : static_cast<long>(found));
}

rt::Id RadioElement::selectedValue() const {
    return radioAt(selected_, values_);
}

void RadioElement::setSelectedValue(const rt::Id& value) {
    if (auto number = rt::cast<ns::Number>(value)) return setSelected(number->longValue());
    const std::size_t found = values_ && value ? values_->indexOfObject(value) : ns::NotFound;
    setSelected(found == ns::NotFound ? NotFound : static_cast<long>(found));
}

void RadioElement::updateCell(const rt::Ref<ui::TableViewCell>& cell, const rt::Id& item) {
    const auto entry = rt::cast<EntryTableViewCell>(cell);
    const rt::Ref<ui::TextField> field = entry ? entry->textField() : nullptr;
    const rt::Ref<Appearance> look = appearance();
    if (field) field->setText(radioText(item));
    if (title()) {
        cell->textLabel()->setText(title());
        if (field && look) {
            field->setTextAlignment(ui::TextAlignment(look->valueAlignment()));
            field->setTextColor(isEnabled() ? look->labelColorEnabled() : look->labelColorDisabled());
        }
        if (look)
            cell->detailTextLabel()->setTextColor(isEnabled() ? look->entryTextColorEnabled()
                                                              : look->entryTextColorDisabled());
    } else {
        cell->detailTextLabel()->setText(nullptr);
        if (field && look) {
            field->setTextAlignment(ui::TextAlignment(look->labelAlignment()));
            field->setTextColor(isEnabled() ? look->valueColorEnabled() : look->valueColorDisabled());
        }
    }
    cell->imageView()->setImage(image());
}

rt::Ref<ui::TableViewCell> RadioElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                             const rt::Ref<ui::ViewController>& controller) {
    auto cell = EntryElement::getCellForTableView(table, controller);
    updateCell(cell, selectedItem());
    cell->setAccessoryType(isEnabled() ? ui::TableViewCellAccessoryType::DisclosureIndicator
                                       : ui::TableViewCellAccessoryType::None);
    cell->setSelectionStyle(isEnabled() ? ui::TableViewCellSelectionStyle::Blue
                                        : ui::TableViewCellSelectionStyle::None);
    if (const auto entry = rt::cast<EntryTableViewCell>(cell); entry && entry->textField())
        entry->textField()->setUserInteractionEnabled(false);
    cell->setNeedsLayout();
    return cell;
}

void RadioElement::selected(const rt::Ref<ui::TableView>&, const rt::Ref<ui::ViewController>& controller,
                            const rt::Ref<ns::IndexPath>&) {
    if (!sections() || !isEnabled()) return;
    if (const auto form = rt::cast<FormController>(controller))
        form->displayViewControllerForRoot(rt::retained(this));
}

void RadioElement::fetchValueIntoObject(const rt::Id& object) {
    if (!key() || !object || selected_ < 0) return;
    const rt::Ref<ns::Array>& list = values_ ? values_ : items_;
    if (!radioInRange(selected_, list)) return;
    object->setValueForKey(values_ ? radioAt(selected_, values_) : rt::Id(ns::Number::withLong(selected_)),
                           key()->utf8());
}

// ---- RadioItemElement ---------------------------------------------------------------------------

RadioItemElement::RadioItemElement(std::size_t index, const rt::Ref<RadioElement>& element)
    : index_(index), radioElement_(element) {}

RadioItemElement::RadioItemElement(std::size_t index, const rt::Ref<RadioSection>& section)
    : index_(index), radioSection_(section) {}

RadioItemElement::~RadioItemElement() = default;

long RadioItemElement::currentChoice() const {
    if (const auto element = radioElement()) return element->selected();
    if (const auto section = radioSection()) return section->selected();
    return -1;
}

rt::Ref<ui::TableViewCell>
RadioItemElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                      const rt::Ref<ui::ViewController>& controller) {
    auto cell = LabelElement::getCellForTableView(table, controller);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::Blue);
    cell->setAccessoryType(currentChoice() == static_cast<long>(index_)
                               ? ui::TableViewCellAccessoryType::Checkmark
                               : ui::TableViewCellAccessoryType::None);
    cell->textLabel()->setTextAlignment(ui::TextAlignment::Left);
    if (const auto look = appearance())
        cell->textLabel()->setTextColor(isEnabled() ? look->valueColorEnabled() : look->valueColorDisabled());
    cell->imageView()->setImage(image());
    return cell;
}

void RadioItemElement::selected(const rt::Ref<ui::TableView>& table,
                                const rt::Ref<ui::ViewController>& controller,
                                const rt::Ref<ns::IndexPath>& indexPath) {
    LabelElement::selected(table, controller, indexPath);
    const long choice = currentChoice();
    const auto index = static_cast<long>(index_);
    if (table && indexPath && index != choice) {
        if (const auto old = table->cellForRowAtIndexPath(
                ns::IndexPath::indexPathForRowInSection(choice, indexPath->section()))) {
            old->setAccessoryType(ui::TableViewCellAccessoryType::None);
            old->setNeedsDisplay();
        }
        if (const auto tapped = table->cellForRowAtIndexPath(indexPath))
            tapped->setAccessoryType(ui::TableViewCellAccessoryType::Checkmark);
    }
    if (const auto element = radioElement()) {
        element->setSelected(index);
        element->fieldDidEndEditing();
        if (table) table->setUserInteractionEnabled(false);
        rt::Weak<FormController> weakController = rt::cast<FormController>(controller);
        ns::Timer::scheduledTimerWithTimeInterval(radioCloseDelay, false,
                                                  [weakController](const rt::Ref<ns::Timer>&) {
                                                      if (const auto form = weakController.lock();
                                                          form && radioListOnTop(*form))
                                                          form->popToPreviousRootElement();
                                                  });
    } else if (const auto section = radioSection()) {
        if (table && indexPath) table->deselectRowAtIndexPath(indexPath, true);
        section->setSelected(index);
        rt::callStoredBlock(section->onSelected());
    }
}

// ---- SegmentedElement ---------------------------------------------------------------------------

SegmentedElement::SegmentedElement(rt::Ref<ns::Array> items, long selected, rt::Ref<ns::String> title) {
    setItems(std::move(items));
    setSelected(selected);
    setTitle(std::move(title));
}

SegmentedElement::SegmentedElement(const rt::Ref<ns::Dictionary>& dictionary, int selected,
                                   rt::Ref<ns::String> title) {
    auto [keys, values] = keysAndValues(dictionary);
    setItems(std::move(keys));
    setSelected(selected);
    setValues(std::move(values));
    setTitle(std::move(title));
}

SegmentedElement::~SegmentedElement() = default;

void SegmentedElement::setItems(rt::Ref<ns::Array> items) {
    if (items == this->items()) return;
    std::vector<rt::Id> shown;
    if (items) {
        for (const rt::Id& item : *items) {
            const auto name = rt::cast<ns::String>(item);
            rt::Ref<ui::Image> image = name ? ui::Image::imageNamed(name->utf8()) : nullptr;
            shown.push_back(image ? rt::Id(image) : item);
        }
    }
    storeItems(items ? ns::Array::make(std::move(shown)) : nullptr);
}

rt::Ref<ui::TableViewCell>
SegmentedElement::getCellForTableView(const rt::Ref<ui::TableView>&,
                                      const rt::Ref<ui::ViewController>& controller) {
    setController(controller);
    auto cell = rt::make<TableViewCell>();
    cell->setBackgroundView(rt::make<ui::View>(cg::Rect::zero()));
    cell->setBackgroundColor(ui::Color::clearColor());
    auto control = ui::SegmentedControl::withItems(items() ? items() : ns::Array::make());
    control->setFrame(cell->contentView()->bounds());
    control->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    control->setSegmentedControlStyle(2);
    control->setSelectedSegmentIndex(selected());
    control->setTag(controlTag);
    control->addTargetActionForControlEvents(rt::retained(this), radioSegmentChanged,
                                             ui::ControlEvent::ValueChanged);
    cell->contentView()->addSubview(control);
    return cell;
}

void SegmentedElement::handleSegmentedControlValueChanged(const rt::Ref<ui::SegmentedControl>& control) {
    if (!control) return;
    storeSelected(control->selectedSegmentIndex());
    performAction();
    handleEditingChanged();
}

RT_DEFINE_CLASS(RadioElement, "FMRadioElement", EntryElement,
                rt::prop("items", &RadioElement::items, &RadioElement::setItems),
                rt::prop("selectedItem", &RadioElement::selectedItem, &RadioElement::setSelectedItem),
                rt::prop("selectedValue", &RadioElement::selectedValue, &RadioElement::setSelectedValue),
                rt::prop("selected", static_cast<long (RadioElement::*)() const>(&RadioElement::selected),
                         &RadioElement::setSelected),
                rt::prop("values", &RadioElement::values, &RadioElement::setValues),
                rt::prop("itemsImageNames", &RadioElement::itemsImageNames,
                         &RadioElement::setItemsImageNames),
                rt::method("createElements", &RadioElement::createElements))
RT_DEFINE_CLASS(RadioItemElement, "FMRadioItemElement", LabelElement)
RT_DEFINE_CLASS(SegmentedElement, "FMSegmentedElement", RadioElement,
                rt::method("handleSegmentedControlValueChanged:",
                           &SegmentedElement::handleSegmentedControlValueChanged))

} // namespace fm
