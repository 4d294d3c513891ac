#include "ui/forms/elements/entry_table_view_cell.h"

#include <cmath>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/uikit/application.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/toolbar.h"
#include "platform/uikit/window.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/entry_element.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

const rt::Sel kEntryEditingChanged("textFieldEditingChanged:");
// The table's scroll positions and return keys the cell uses.
constexpr long kEntryScrollMiddle = 2;
constexpr long kEntryReturnNext = 4, kEntryReturnDone = 9;

rt::Ref<ns::String> entryToolbarText(std::string_view key) {
    return ns::Bundle::mainBundle()->localizedStringForKey(key, "", "");
}

bool entryHasText(const rt::Ref<ns::String>& text) {
    return text && !text->isEmpty();
}

// Whether the table has that row: the platform's scroll refuses any other.
bool entryTableHasRow(const ui::TableView& table, const rt::Ref<ns::IndexPath>& path) {
    return path && path->section() < table.numberOfSections() &&
           path->row() < table.numberOfRowsInSection(path->section());
}

void entryScrollToMiddle(const rt::Ref<FormTableView>& table, const rt::Ref<Element>& element) {
    if (!table) return;
    rt::Ref<ns::IndexPath> path = element->getIndexPath();
    if (entryTableHasRow(*table, path)) table->scrollToRowAtIndexPath(path, kEntryScrollMiddle, true);
}

} // namespace

// ---- fm::TextField ------------------------------------------------------------------------------

TextField::~TextField() = default;

void TextField::setPrefix(rt::Ref<ns::String> prefix) {
    prefix_ = prefix ? ns::String::make(prefix->utf8()) : nullptr;
    setNeedsDisplay();
}

void TextField::setSuffix(rt::Ref<ns::String> suffix) {
    suffix_ = suffix ? ns::String::make(suffix->utf8()) : nullptr;
    setNeedsDisplay();
}

void TextField::drawTextInRect(const cg::Rect& rect) {
    if (!prefix_ && !suffix_) {
        ui::TextField::drawTextInRect(rect);
        return;
    }
    auto line = rt::make<ui::Label>();
    line->setText(ns::String::make((prefix_ ? prefix_->utf8() : std::string()) + text()->utf8() +
                                   (suffix_ ? suffix_->utf8() : std::string())));
    line->setFont(font());
    line->setTextColor(textColor());
    line->setTextAlignment(textAlignment());
    line->setLineBreakMode(ui::LineBreakMode::TruncatingTail);
    line->drawTextInRect(rect);
}

// ---- fm::EntryTableViewCell ---------------------------------------------------------------------

EntryTableViewCell::EntryTableViewCell() : EntryTableViewCell("FMFormEntryElement") {
    createSubviews();
}

EntryTableViewCell::EntryTableViewCell(const char* reuseIdentifier)
    : TableViewCell(ns::String::make(reuseIdentifier)) {
    setSelectionStyle(ui::TableViewCellSelectionStyle::None);
}

EntryTableViewCell::~EntryTableViewCell() = default;

void EntryTableViewCell::createSubviews() {
    setTextField(rt::make<TextField>());
    setNeedsLayout();
}

void EntryTableViewCell::setTextField(rt::Ref<ui::TextField> field) {
    const rt::Id self = rt::retained(this);
    if (textField_) {
        textField_->removeTargetActionForControlEvents(self, kEntryEditingChanged, ui::ControlEvent::EditingChanged);
        textField_->removeFromSuperview();
    }
    textField_ = std::move(field);
    if (!textField_) return;
    textField_->setContentVerticalAlignment(ui::ContentVerticalAlignment::Fill);
    textField_->setBorderStyle(ui::TextBorderStyle::None);
    textField_->setDelegate(self);
    textField_->setClearButtonMode(ui::TextFieldViewMode::WhileEditing);
    textField_->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    textField_->addTargetActionForControlEvents(self, kEntryEditingChanged, ui::ControlEvent::EditingChanged);
    contentView()->addSubview(textField_);
}

rt::Ref<FormTableView> EntryTableViewCell::tableView() const {
    return table_.lock();
}

void EntryTableViewCell::bind(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table) {
    table_ = rt::cast<FormTableView>(table);
    element_ = element;
}

void EntryTableViewCell::prepareForElement(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table) {
    if (!element) return;
    applyAppearanceForElement(element);
    textLabel()->setText(element->title());
    setLabelingPolicy(element->labelingPolicy());
    bind(element, table);
    if (const auto& field = textField_) {
        field->setText(element->textValue());
        field->setPlaceholder(element->placeholder());
        if (auto drawn = rt::cast<TextField>(field)) {
            drawn->setPrefix(element->prefix());
            drawn->setSuffix(element->suffix());
        }
        field->setAutocapitalizationType(element->autocapitalizationType());
        field->setAutocorrectionType(element->autocorrectionType());
        field->setKeyboardType(element->keyboardType());
        field->setKeyboardAppearance(element->keyboardAppearance());
        field->setSecureTextEntry(element->isSecureTextEntry());
        field->setClearsOnBeginEditing(element->clearsOnBeginEditing());
        field->setContentVerticalAlignment(ui::ContentVerticalAlignment::Center);
        if (auto look = element->appearance()) field->setTextAlignment(ui::TextAlignment(look->entryAlignment()));
        field->setReturnKeyType(element->returnKeyType());
        field->setEnablesReturnKeyAutomatically(element->enablesReturnKeyAutomatically());
    }
    setAccessoryType(ui::TableViewCellAccessoryType(element->accessoryType()));
    if (element->hiddenToolbar()) {
        if (textField_) textField_->setInputAccessoryView(nullptr);
    } else if (textField_) {
        auto bar = createActionBar();
        if (auto look = element->appearance()) {
            bar->setBarStyle(look->toolbarStyle());
            bar->setTranslucent(look->toolbarTranslucent());
        }
        textField_->setInputAccessoryView(bar);
    }
    updatePrevNextStatus();
}

void EntryTableViewCell::applyAppearanceForElement(const rt::Ref<Element>& element) {
    TableViewCell::applyAppearanceForElement(element);
    auto look = element ? element->appearance() : nullptr;
    if (!look || !textField_) return;
    if (look->entryFont()) textField_->setFont(look->entryFont());
    textField_->setTextColor(element->isEnabled() ? look->entryTextColorEnabled() : look->entryTextColorDisabled());
}

// ---- Geometry -----------------------------------------------------------------------------------

void EntryTableViewCell::layoutSubviews() {
    TableViewCell::layoutSubviews();
    recalculateEntryFieldPosition();
}

cg::Rect EntryTableViewCell::calculateFrameForEntryElement() {
    const bool clearButton = textField_ && textField_->clearButtonMode() != ui::TextFieldViewMode::Never;
    const double reserve = clearButton ? 10 : 15;
    const double height = frame().height() - 20;
    const double width = contentView()->bounds().width();
    if (!element_) return cg::Rect::make(10, 10, width - 10 - reserve, height);
    if (!entryHasText(element_->title())) {
        if (!element_->image()) return cg::Rect::make(10, 10, width - 10 - reserve, height);
        auto image = imageView();
        image->setImage(element_->image());
        image->sizeToFit();
        return cg::Rect::make(image->frame().maxX() + 10, 10, width - 10 - image->frame().width() - reserve, height);
    }
    const rt::Ref<Section> section = element_->parentSection();
    if (section && section->entryPosition() != cg::Rect::zero()) return section->entryPosition();

    rt::Ref<ui::Font> font = textLabel()->font();
    if (!font) font = ui::Font::systemFontOfSize(17);
    else if (font->pointSize() <= 0) font = font->fontWithSize(17);
    const double imageWidth = imageView()->frame().width();
    double widest = 0;
    auto measure = [&](const Element& member) {
        const auto* entry = rt::cast<const EntryElement>(&member);
        if (!entry) return;
        widest = std::max(widest, (entry->image() ? imageWidth : 0) + entry->titleWidth(font) + 20);
    };
    if (const auto* members = section ? section->elements() : nullptr) {
        for (const auto& member : *members)
            measure(*member);
    } else {
        measure(*element_);
    }
    const double inset = std::trunc(separatorInset().left);
    const auto look = element_->appearance();
    const double border = look ? look->cellBorderWidth() : 0;
    const cg::Rect frame = cg::Rect::make(widest + 20, 10, width - widest - border - reserve - inset, height);
    if (section) section->setEntryPosition(frame);
    return frame;
}

void EntryTableViewCell::recalculateEntryFieldPosition() {
    if (element_)
        if (const rt::Ref<Section> section = element_->parentSection()) section->setEntryPosition(cg::Rect::zero());
    const cg::Rect entry = calculateFrameForEntryElement();
    auto title = textLabel();
    const cg::Rect label = title->frame();
    title->setFrame(cg::Rect::make(label.minX(), label.minY(), entry.minX() - label.minX(), label.height()));
    if (textField_)
        textField_->setFrame(cg::Rect::make(entry.minX(), entry.minY(),
                                            contentView()->bounds().width() - entry.minX() - 20, entry.height()));
}

// ---- The keyboard toolbar -----------------------------------------------------------------------

rt::Ref<ui::Toolbar> EntryTableViewCell::createActionBar() {
    const rt::Id self = rt::retained(this);
    auto bar = rt::make<ui::Toolbar>();
    bar->sizeToFit();
    auto control = ui::SegmentedControl::withItems(
        ns::Array::withObjects({entryToolbarText("Previous"), entryToolbarText("Next")}));
    control->setMomentary(true);
    control->setSegmentedControlStyle(2); // bar
    control->setTintColor(bar->tintColor());
    control->addTargetActionForControlEvents(self, rt::Sel("handleActionBarPreviousNext:"),
                                             ui::ControlEvent::ValueChanged);
    auto done = ui::BarButtonItem::withTitle(entryToolbarText("Done"), ui::BarButtonItemStyle::Done, self,
                                             rt::Sel("handleActionBarDone:"));
    bar->setItems({ui::BarButtonItem::withCustomView(control), ui::BarButtonItem::flexibleSpace(), done});
    previousNext_ = control;
    return bar;
}

rt::Ref<EntryElement> EntryTableViewCell::focusTarget(bool after) const {
    const rt::Ref<Section> section = element_ ? element_->parentSection() : nullptr;
    const rt::Ref<RootElement> root = section ? section->rootElement() : nullptr;
    if (!root) return nullptr;
    return rt::cast<EntryElement>(after ? root->findElementToFocusOnAfter(element_.get())
                                        : root->findElementToFocusOnBefore(element_.get()));
}

void EntryTableViewCell::updatePrevNextStatus() {
    if (!previousNext_) return;
    previousNext_->setEnabledForSegmentAtIndex(focusTarget(false) != nullptr, 0);
    previousNext_->setEnabledForSegmentAtIndex(focusTarget(true) != nullptr, 1);
}

void EntryTableViewCell::focusElement(const rt::Ref<EntryElement>& target, bool scrollWhenAway) {
    const rt::Ref<FormTableView> table = tableView();
    if (!table || !target) return;
    if (auto cell = table->cellForElement(target)) {
        cell->becomeFirstResponder();
        return;
    }
    if (!scrollWhenAway) return;
    entryScrollToMiddle(table, target);
    rt::Weak<FormTableView> weakTable = table;
    const rt::Ref<EntryTableViewCell> self = rt::retained(this);
    dispatch::asyncAfter(dispatch::after(0.3), dispatch::Queue::main(), [self, target, weakTable] {
        const rt::Ref<FormTableView> table = weakTable.lock();
        if (auto cell = table ? table->cellForElement(target) : nullptr) cell->becomeFirstResponder();
    });
}

void EntryTableViewCell::handleActionBarPreviousNext(const rt::Ref<ui::SegmentedControl>& control) {
    if (!control) return;
    if (auto target = focusTarget(control->selectedSegmentIndex() == 1)) focusElement(target, true);
    if (element_ && element_->keepSelected())
        if (auto table = tableView())
            if (auto path = element_->getIndexPath()) table->deselectRowAtIndexPath(path, true);
    control->setSelectedSegmentIndex(ui::SegmentedControlNoSegment);
}

bool EntryTableViewCell::handleActionBarDone(const rt::Id&) {
    const rt::Ref<EntryTableViewCell> self = rt::retained(this);
    endEditing(true);
    endEditing(false);
    if (textField_) textField_->resignFirstResponder();
    if (auto application = ui::Application::sharedApplication())
        if (auto window = application->keyWindow()) window->endEditing(true);
    if (element_) rt::tell(element_->delegate(), entryDelegateSel().mustReturn, element_, self);
    return false;
}

// ---- The field's callbacks ----------------------------------------------------------------------

void EntryTableViewCell::textFieldDidBeginEditing(const rt::Ref<ui::TextField>&) {
    if (!element_) return;
    const rt::Ref<EntryTableViewCell> self = rt::retained(this);
    rt::Weak<FormTableView> weakTable = table_;
    dispatch::asyncAfter(dispatch::after(0.05), dispatch::Queue::main(),
                         [self, element = element_, weakTable] { entryScrollToMiddle(weakTable.lock(), element); });
    if (textField_ && textField_->returnKeyType() == 0)
        textField_->setReturnKeyType(focusTarget(true) ? kEntryReturnNext : kEntryReturnDone);
    rt::tell(element_->delegate(), entryDelegateSel().didBegin, element_, self);
}

bool EntryTableViewCell::textFieldShouldChangeCharacters(const rt::Ref<ui::TextField>& field, ns::Range range,
                                                         const rt::Ref<ns::String>& replacement) {
    if (!element_ || !field) return true;
    const std::size_t current = field->text()->length();
    const std::size_t added = replacement ? replacement->length() : 0;
    const std::size_t limit = static_cast<std::size_t>(std::max(element_->maxLength(), 0));
    if (current - std::min(range.length, current) + added > current && limit != 0 && current >= limit) return false;
    return rt::ask(element_->delegate(), entryDelegateSel().shouldChange, true, range, replacement, element_,
                   rt::retained(this));
}

void EntryTableViewCell::textFieldEditingChanged(const rt::Ref<ui::TextField>& field) {
    if (!element_ || !field) return;
    element_->setTextValue(field->text());
    element_->handleEditingChanged(rt::retained(this));
}

void EntryTableViewCell::textFieldDidEndEditing(const rt::Ref<ui::TextField>& field) {
    if (!element_ || !field) return;
    const rt::Ref<EntryElement> element = element_;
    element->setTextValue(field->text());
    rt::tell(element->delegate(), entryDelegateSel().didEnd, element, rt::retained(this));
    element->fieldDidEndEditing();
}

bool EntryTableViewCell::textFieldShouldReturn(const rt::Ref<ui::TextField>& field) {
    if (!element_) return true;
    const rt::Ref<EntryElement> element = element_;
    if (auto target = focusTarget(true)) focusElement(target, false);
    else if (field) field->resignFirstResponder();
    return rt::ask(element->delegate(), entryDelegateSel().shouldReturn, true, element, rt::retained(this));
}

bool EntryTableViewCell::becomeFirstResponder() {
    if (textField_) textField_->becomeFirstResponder();
    return true;
}

void EntryTableViewCell::prepareForReuseBody() {
    element_ = nullptr;
    table_ = nullptr;
}

RT_DEFINE_CLASS(TextField, "FMTextField", ui::TextField,
                rt::prop("prefix", &TextField::prefix, &TextField::setPrefix, {.memory = rt::Memory::Copy}),
                rt::prop("suffix", &TextField::suffix, &TextField::setSuffix, {.memory = rt::Memory::Copy}))

RT_DEFINE_CLASS(EntryTableViewCell, "FMEntryTableViewCell", TableViewCell,
                rt::prop("textField", &EntryTableViewCell::textField, &EntryTableViewCell::setTextField),
                rt::method("prepareForElement:inTableView:", &EntryTableViewCell::prepareForElement),
                rt::method("calculateFrameForEntryElement", &EntryTableViewCell::calculateFrameForEntryElement),
                rt::method("recalculateEntryFieldPosition", &EntryTableViewCell::recalculateEntryFieldPosition),
                rt::method("updatePrevNextStatus", &EntryTableViewCell::updatePrevNextStatus),
                rt::method("handleActionBarPreviousNext:", &EntryTableViewCell::handleActionBarPreviousNext),
                rt::method("handleActionBarDone:", &EntryTableViewCell::handleActionBarDone),
                rt::method("textFieldDidBeginEditing:", &EntryTableViewCell::textFieldDidBeginEditing),
                rt::method("textFieldDidEndEditing:", &EntryTableViewCell::textFieldDidEndEditing),
                rt::method("textField:shouldChangeCharactersInRange:replacementString:",
                           &EntryTableViewCell::textFieldShouldChangeCharacters),
                rt::method("textFieldShouldReturn:", &EntryTableViewCell::textFieldShouldReturn),
                rt::method("textFieldEditingChanged:", &EntryTableViewCell::textFieldEditingChanged))

} // namespace fm
