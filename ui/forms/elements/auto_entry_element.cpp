#include "ui/forms/elements/auto_entry_element.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/string_services.h"
#include "platform/runtime/class.h"
#include "platform/uikit/color.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/toolbar.h"
#include "ui/forms/elements/autocomplete_text_field.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

// The candidates lower-cased, as UTF-8 ("" for an object that is not a string: it matches nothing).
std::vector<std::string> autoEntryLowered(const rt::Ref<ns::Array>& candidates) {
    std::vector<std::string> lowered;
    if (candidates)
        for (const rt::Id& item : *candidates) {
            auto candidate = rt::cast<ns::String>(item);
            lowered.push_back(candidate ? ns::lowercaseString(*candidate)->utf8() : std::string());
        }
    return lowered;
}

// The first candidate whose lower-cased form begins with the lower-cased typed text; nil for
// none (an empty text begins none).
rt::Ref<ns::String> autoEntryMatch(const rt::Ref<ns::Array>& candidates, const std::vector<std::string>& lowered,
                                   const ns::String& typed) {
    if (typed.isEmpty() || !candidates) return nullptr;
    const std::string prefix = ns::lowercaseString(typed)->utf8();
    const std::size_t count = std::min(lowered.size(), candidates->count());
    for (std::size_t i = 0; i < count; ++i)
        if (std::string_view(lowered[i]).starts_with(prefix)) return rt::cast<ns::String>(candidates->objectAtIndex(i));
    return nullptr;
}

// The candidate without the typed text's length; a candidate that lower-casing made shorter than
// the typed text completes with nothing.
rt::Ref<ns::String> autoEntryRest(const ns::String& candidate, const ns::String& typed) {
    return candidate.substringFromIndex(std::min(typed.length(), candidate.length()));
}

} // namespace

// ---- fm::AutoEntryElement -----------------------------------------------------------------------

AutoEntryElement::AutoEntryElement(rt::Ref<ns::String> title, rt::Ref<ns::String> text,
                                   rt::Ref<ns::String> placeholder)
    : EntryElement(std::move(title), std::move(text), std::move(placeholder)) {}

AutoEntryElement::~AutoEntryElement() = default;

rt::Ref<ui::TableViewCell> AutoEntryElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                                 const rt::Ref<ui::ViewController>&) {
    auto cell = rt::cast<AutoEntryTableViewCell>(reusableCell(table, "FMFormAutoEntryElement"));
    if (!cell) cell = rt::make<AutoEntryTableViewCell>();
    return fillCell(cell, table);
}

void AutoEntryElement::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                                const rt::Ref<ns::IndexPath>& indexPath) {
    if (isEnabled()) EntryElement::selected(table, controller, indexPath);
}

rt::Ref<ns::String> AutoEntryElement::completionForPrefix(const rt::Ref<at::AutocompleteTextField>& field,
                                                          const rt::Ref<ns::String>& typed) {
    if (!typed) return nullptr;
    const rt::Ref<ns::Array> candidates = field ? field->getAutoCompletes() : nullptr;
    auto match = autoEntryMatch(candidates, autoEntryLowered(candidates), *typed);
    lastAutoComplete_ = match ? match : ns::String::empty();
    return match ? autoEntryRest(*match, *typed) : ns::String::empty();
}

// ---- fm::AutoEntryTableViewCell -----------------------------------------------------------------

AutoEntryTableViewCell::AutoEntryTableViewCell() : EntryTableViewCell("FMFormAutoEntryElement") {
    createSubviews();
}

AutoEntryTableViewCell::~AutoEntryTableViewCell() = default;

void AutoEntryTableViewCell::createSubviews() {
    const rt::Id self = rt::retained(this);
    field_ = rt::make<at::AutocompleteTextField>();
    field_->setContentVerticalAlignment(ui::ContentVerticalAlignment::Center);
    field_->setBorderStyle(ui::TextBorderStyle::None);
    field_->setDelegate(self);
    field_->setClearButtonMode(ui::TextFieldViewMode::WhileEditing);
    field_->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    field_->addTargetActionForControlEvents(self, rt::Sel("textFieldEditingChanged:"),
                                            ui::ControlEvent::EditingChanged);
    contentView()->addSubview(field_);
    setNeedsLayout();
}

void AutoEntryTableViewCell::prepareForElement(const rt::Ref<EntryElement>& element,
                                               const rt::Ref<ui::TableView>& table) {
    if (!element) return;
    field_->setDelegate(rt::retained(this));
    bind(element, table);
    autoElement_ = rt::cast<AutoEntryElement>(element);
    textLabel()->setText(element->title());
    autoCompleteValues_ = autoElement_ ? autoElement_->autoCompleteValues() : nullptr;
    loweredValues_ = autoEntryLowered(autoCompleteValues_);
    field_->setText(element->textValue());
    field_->setPlaceholder(element->placeholder());
    field_->setAutocapitalizationType(element->autocapitalizationType());
    field_->setAutocorrectionType(element->autocorrectionType());
    field_->setKeyboardType(element->keyboardType());
    field_->setKeyboardAppearance(element->keyboardAppearance());
    field_->setSecureTextEntry(element->isSecureTextEntry());
    const rt::Ref<ui::Color> color = autoElement_ ? autoElement_->autoCompleteColor() : nullptr;
    field_->setAutocompleteTextColor(color ? color : ui::Color::blackColor()); // the label's default
    field_->setReturnKeyType(element->returnKeyType());
    field_->setEnablesReturnKeyAutomatically(element->enablesReturnKeyAutomatically());
    field_->setInputAccessoryView(element->hiddenToolbar() ? nullptr : rt::Ref<ui::View>(createActionBar()));
    field_->setUserInteractionEnabled(element->isEnabled());
    updatePrevNextStatus();
}

void AutoEntryTableViewCell::recalculateEntryFieldPosition() {
    const rt::Ref<Section> section = element() ? element()->parentSection() : nullptr;
    if (section) section->setEntryPosition(cg::Rect::zero());
    const cg::Rect entry = calculateFrameForEntryElement();
    field_->setFrame(entry);
    auto title = textLabel();
    const cg::Rect label = title->frame();
    const double shared = section ? section->entryPosition().minX() : entry.minX();
    title->setFrame(cg::Rect::make(label.minX(), label.minY(), shared - 20, label.height()));
}

bool AutoEntryTableViewCell::becomeFirstResponder() {
    autocompletes_ = false;
    field_->becomeFirstResponder();
    return true;
}

void AutoEntryTableViewCell::textFieldEditingChanged(const rt::Ref<ui::TextField>& field) {
    autocompletes_ = true;
    if (!element() || !field) return;
    element()->setTextValue(field->text());
    element()->handleEditingChanged();
}

void AutoEntryTableViewCell::textFieldDidEndEditing(const rt::Ref<ui::TextField>& field) {
    const rt::Ref<EntryElement> bound = element();
    if (!autocompletes_ || !bound || !field || !lastFull_) return;
    if (bound->textValue() && bound->textValue()->isEqualToString(lastFull_.get())) return;
    field->setText(lastFull_);
    bound->setTextValue(field->text());
    bound->handleEditingChanged();
}

bool AutoEntryTableViewCell::textFieldShouldReturn(const rt::Ref<ui::TextField>& field) {
    const bool former = autocompletes_;
    autocompletes_ = false;
    const bool answer = EntryTableViewCell::textFieldShouldReturn(field);
    field_->resignFirstResponder();
    autocompletes_ = former;
    return answer;
}

bool AutoEntryTableViewCell::handleActionBarDone(const rt::Id& sender) {
    field_->resignFirstResponder();
    return EntryTableViewCell::handleActionBarDone(sender);
}

rt::Ref<ns::String> AutoEntryTableViewCell::completionForPrefix(const rt::Ref<at::AutocompleteTextField>&,
                                                                const rt::Ref<ns::String>& typed) {
    if (!typed || !autocompletes_) return nullptr;
    auto match = autoEntryMatch(autoCompleteValues_, loweredValues_, *typed);
    lastFull_ = match ? match : typed;
    return match ? autoEntryRest(*match, *typed) : ns::String::empty();
}

RT_DEFINE_CLASS(AutoEntryElement, "FMAutoEntryElement", EntryElement,
                rt::prop("autoCompleteValues", &AutoEntryElement::autoCompleteValues,
                         &AutoEntryElement::setAutoCompleteValues),
                rt::prop("autoCompleteColor", &AutoEntryElement::autoCompleteColor,
                         &AutoEntryElement::setAutoCompleteColor),
                rt::prop("lastAutoComplete", &AutoEntryElement::lastAutoComplete,
                         &AutoEntryElement::setLastAutoComplete),
                rt::method("textField:completionForPrefix:", &AutoEntryElement::completionForPrefix))

RT_DEFINE_CLASS(AutoEntryTableViewCell, "FMAutoEntryTableViewCell", EntryTableViewCell,
                rt::prop("autoCompleteField", &AutoEntryTableViewCell::autoCompleteField),
                rt::prop("autoCompleteValues", &AutoEntryTableViewCell::autoCompleteValues),
                rt::prop("lastFullStringWithAutocompletion", &AutoEntryTableViewCell::lastFullStringWithAutocompletion),
                rt::method("textField:completionForPrefix:", &AutoEntryTableViewCell::completionForPrefix))

} // namespace fm
