#include "ui/forms/elements/autocomplete_text_field.h"

#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/uikit/color.h"
#include "platform/uikit/delegate_protocols.h"
#include "platform/uikit/label.h"
#include "platform/uikit/string_drawing.h"
#include "ui/forms/array_additions.h"

namespace at {

namespace {
const rt::Sel kAutocompleteCompletion("textField:completionForPrefix:");

// "ATAutocompleteTextFieldDelegate": the text field's delegate protocol and the completion.
const rt::Protocol& autocompleteDelegateProtocol() {
    static const rt::Protocol protocol("ATAutocompleteTextFieldDelegate", {{kAutocompleteCompletion, "@@:@@", false}},
                                       {&ui::textFieldDelegateProtocol()});
    return protocol;
}
[[maybe_unused]] const bool autocompleteDelegateProtocolRegistered = (autocompleteDelegateProtocol(), true);
} // namespace

AutocompleteTextField::AutocompleteTextField() : AutocompleteTextField(cg::Rect::zero()) {}

AutocompleteTextField::AutocompleteTextField(const cg::Rect& frame) : ui::TextField(frame) {
    setupSubviews();
}

AutocompleteTextField::~AutocompleteTextField() {
    ns::NotificationCenter::defaultCenter()->removeObserver(observer_);
}

void AutocompleteTextField::setupSubviews() {
    label_ = rt::make<ui::Label>(cg::Rect::zero());
    label_->setFont(font());
    label_->setBackgroundColor(ui::Color::clearColor());
    label_->setTextColor(ui::Color::lightGrayColor());
    label_->setLineBreakMode(ui::LineBreakMode::Clipping);
    addSubview(label_);
    rt::Weak<AutocompleteTextField> weakSelf = rt::retained(this);
    observer_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ui::UITextFieldTextDidChangeNotification, rt::retained(this), nullptr, [weakSelf](const auto&) {
            if (auto self = weakSelf.lock()) self->tryToUpdateLabelWithNewCompletion();
        });
}

rt::Ref<ui::Color> AutocompleteTextField::autocompleteTextColor() const {
    return label_->textColor();
}

void AutocompleteTextField::setAutocompleteTextColor(rt::Ref<ui::Color> color) {
    label_->setTextColor(std::move(color));
}

rt::Ref<ns::String> AutocompleteTextField::getAutoCompleteText() const {
    std::vector<rt::Id> parts{text()};
    if (completion_) parts.push_back(completion_);
    return fm::concatStrings(ns::Array::make(std::move(parts)));
}

void AutocompleteTextField::setFont(rt::Ref<ui::Font> font) {
    ui::TextField::setFont(font);
    if (label_) label_->setFont(std::move(font));
}

bool AutocompleteTextField::becomeFirstResponder() {
    if (clearsOnBeginEditing()) label_->setText(ns::String::empty());
    tryToUpdateLabelWithNewCompletion();
    label_->setHidden(false);
    return ui::TextField::becomeFirstResponder();
}

bool AutocompleteTextField::resignFirstResponder() {
    label_->setHidden(true);
    return ui::TextField::resignFirstResponder();
}

cg::Rect AutocompleteTextField::autocompleteRectForBounds(const cg::Rect& bounds) const {
    const cg::Rect area = textRectForBounds(bounds);
    const double typed = ui::sizeOfString(text(), font(), area.size, ui::LineBreakMode::CharWrapping).width;
    const double completion =
        ui::sizeOfString(completion_, font(), {area.width() - typed, area.height()}, ui::LineBreakMode::CharWrapping)
            .width;
    return cg::Rect::make(area.minX() + typed, area.minY(), completion, area.height());
}

void AutocompleteTextField::tryToUpdateLabelWithNewCompletion() {
    const rt::Id source = delegate();
    if (!rt::answers(source, kAutocompleteCompletion)) return;
    completion_ = rt::cast<ns::String>(rt::send(source, kAutocompleteCompletion, rt::retained(this), text()));
    updateAutocompleteLabel();
}

void AutocompleteTextField::updateAutocompleteLabel() {
    label_->setText(completion_);
    label_->sizeToFit();
    label_->setFrame(autocompleteRectForBounds(bounds()));
}

RT_DEFINE_CLASS(AutocompleteTextField, "ATAutocompleteTextField", ui::TextField,
                rt::prop("autocompleteTextColor", &AutocompleteTextField::autocompleteTextColor,
                         &AutocompleteTextField::setAutocompleteTextColor),
                rt::method("getAutoCompletes", &AutocompleteTextField::getAutoCompletes),
                rt::method("setAutoCompletes:", &AutocompleteTextField::setAutoCompletes),
                rt::method("getAutoCompleteText", &AutocompleteTextField::getAutoCompleteText),
                rt::method("autocompleteRectForBounds:", &AutocompleteTextField::autocompleteRectForBounds))

} // namespace at
