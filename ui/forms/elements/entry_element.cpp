#include "ui/forms/elements/entry_element.h"

#include <limits>

#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/string_drawing.h"
#include "platform/uikit/table_view.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/section.h"

namespace fm {

const EntryDelegateSelectors& entryDelegateSel() {
    static const EntryDelegateSelectors selectors;
    return selectors;
}

const rt::Protocol& entryElementDelegateProtocol() {
    const EntryDelegateSelectors& s = entryDelegateSel();
    static const rt::Protocol protocol("FMEntryElementDelegate", {
        {s.shouldChange, "B@:{_NSRange=QQ}@@@", false},
        {s.didBegin, "v@:@@", false},
        {s.didEnd, "v@:@@", false},
        {s.shouldReturn, "B@:@@", false},
        {s.editingChanged, "v@:@@", false},
        {s.mustReturn, "v@:@@", false},
    });
    return protocol;
}

namespace {
[[maybe_unused]] const bool entryDelegateProtocolRegistered = (entryElementDelegateProtocol(), true);
} // namespace

EntryElement::EntryElement() : autocapitalizationType_(2) {}

EntryElement::EntryElement(rt::Ref<ns::String> title, rt::Ref<ns::String> text, rt::Ref<ns::String> placeholder)
    : EntryElement() {
    setTitle(std::move(title));
    textValue_ = std::move(text);
    placeholder_ = std::move(placeholder);
}

EntryElement::EntryElement(LabelInit, rt::Ref<ns::String> title) : LabelElement(std::move(title), nullptr) {}

EntryElement::~EntryElement() = default;

rt::Ref<ui::TableViewCell> EntryElement::reusableCell(const rt::Ref<ui::TableView>& table, const char* identifier) {
    return table ? table->dequeueReusableCellWithIdentifier(ns::String::make(identifier)) : nullptr;
}

rt::Ref<ui::TableViewCell> EntryElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                             const rt::Ref<ui::ViewController>& controller) {
    setController(controller);
    auto cell = rt::cast<EntryTableViewCell>(reusableCell(table, "FMFormEntryElement"));
    if (!cell) cell = rt::make<EntryTableViewCell>();
    return fillCell(cell, table);
}

rt::Ref<ui::TableViewCell> EntryElement::fillCell(const rt::Ref<EntryTableViewCell>& cell,
                                                  const rt::Ref<ui::TableView>& table) {
    const rt::Ref<EntryElement> self = rt::retained(this);
    cell->applyAppearanceForElement(self);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    if (const auto& field = cell->textField()) {
        field->setEnabled(isEnabled());
        field->setUserInteractionEnabled(isEnabled());
        if (auto look = appearance()) field->setTextAlignment(ui::TextAlignment(look->entryAlignment()));
    }
    cell->imageView()->setImage(image());
    cell->prepareForElement(self, table);
    return cell;
}

void EntryElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(textValue_, key()->utf8());
}

bool EntryElement::canTakeFocus() const {
    const rt::Ref<Section> section = parentSection();
    return isEnabled() && !hidden() && !(section && section->hidden());
}

void EntryElement::handleEditingChanged(const rt::Ref<EntryTableViewCell>& cell) {
    rt::tell(delegate(), entryDelegateSel().editingChanged, rt::retained(this), cell);
    handleEditingChanged();
}

void EntryElement::fieldDidEndEditing() {
    performAction();
}

double EntryElement::titleWidth(const rt::Ref<ui::Font>& font) const {
    const rt::Ref<ns::String>& text = title();
    if (!text || !font) return 0;
    if (measuredFont_ && text->utf8() == measuredTitle_ &&
        (measuredFont_ == font || measuredFont_->isEqual(font.get())))
        return measuredWidth_;
    const double unlimited = std::numeric_limits<double>::max();
    measuredWidth_ = ui::sizeOfString(text, font, {unlimited, unlimited}, ui::LineBreakMode::WordWrapping).width;
    measuredTitle_ = text->utf8();
    measuredFont_ = font;
    return measuredWidth_;
}

RT_DEFINE_CLASS(
    EntryElement, "FMEntryElement", LabelElement,
    rt::prop("textValue", &EntryElement::textValue, &EntryElement::setTextValue),
    rt::prop("placeholder", &EntryElement::placeholder, &EntryElement::setPlaceholder),
    rt::prop("prefix", &EntryElement::prefix, &EntryElement::setPrefix),
    rt::prop("suffix", &EntryElement::suffix, &EntryElement::setSuffix),
    rt::prop("maxLength", &EntryElement::maxLength, &EntryElement::setMaxLength),
    rt::prop("hiddenToolbar", &EntryElement::hiddenToolbar, &EntryElement::setHiddenToolbar),
    rt::prop("delegate", &EntryElement::delegate, &EntryElement::setDelegate, {.memory = rt::Memory::Weak}),
    rt::prop("autocapitalizationType", &EntryElement::autocapitalizationType, &EntryElement::setAutocapitalizationType),
    rt::prop("autocorrectionType", &EntryElement::autocorrectionType, &EntryElement::setAutocorrectionType),
    rt::prop("keyboardType", &EntryElement::keyboardType, &EntryElement::setKeyboardType),
    rt::prop("keyboardAppearance", &EntryElement::keyboardAppearance, &EntryElement::setKeyboardAppearance),
    rt::prop("returnKeyType", &EntryElement::returnKeyType, &EntryElement::setReturnKeyType),
    rt::prop("enablesReturnKeyAutomatically", &EntryElement::enablesReturnKeyAutomatically,
             &EntryElement::setEnablesReturnKeyAutomatically),
    rt::prop("secureTextEntry", &EntryElement::isSecureTextEntry, &EntryElement::setSecureTextEntry,
             {.getter = "isSecureTextEntry"}),
    rt::prop("clearsOnBeginEditing", &EntryElement::clearsOnBeginEditing, &EntryElement::setClearsOnBeginEditing),
    rt::prop("customDateFormat", &EntryElement::customDateFormat, &EntryElement::setCustomDateFormat,
             {.memory = rt::Memory::Copy}),
    rt::method("canTakeFocus", &EntryElement::canTakeFocus),
    rt::method("fieldDidEndEditing", &EntryElement::fieldDidEndEditing),
    rt::method("handleEditingChanged:", static_cast<void (EntryElement::*)(const rt::Ref<EntryTableViewCell>&)>(
                                            &EntryElement::handleEditingChanged)))

} // namespace fm
