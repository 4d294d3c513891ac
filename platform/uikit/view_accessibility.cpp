// What a view tells the accessibility services about itself.

#include "platform/uikit/accessibility_element.h"
#include "platform/uikit/view.h"

namespace ui {

struct detail::ViewAccessibility {
    bool element = false;
    rt::Ref<ns::String> label, hint, value, identifier;
    AccessibilityTraits traits = AccessibilityTraitNone;
};

namespace {
detail::ViewAccessibility& viewAccessibilityOf(std::shared_ptr<detail::ViewAccessibility>& slot) {
    if (!slot) slot = std::make_shared<detail::ViewAccessibility>();
    return *slot;
}
rt::Ref<ns::String> viewAccessibilityCopy(const rt::Ref<ns::String>& text) {
    return text ? rt::cast<ns::String>(text->copy()) : nullptr;
}
} // namespace

bool View::isAccessibilityElement() const {
    return accessibility_ && accessibility_->element;
}
void View::setIsAccessibilityElement(bool element) {
    viewAccessibilityOf(accessibility_).element = element;
}
rt::Ref<ns::String> View::accessibilityLabel() const {
    return accessibility_ ? accessibility_->label : nullptr;
}
void View::setAccessibilityLabel(const rt::Ref<ns::String>& label) {
    if (!label && !accessibility_) return; // nil already
    viewAccessibilityOf(accessibility_).label = viewAccessibilityCopy(label);
}
rt::Ref<ns::String> View::accessibilityIdentifier() const {
    return accessibility_ ? accessibility_->identifier : nullptr;
}
void View::setAccessibilityIdentifier(const rt::Ref<ns::String>& identifier) {
    if (!identifier && !accessibility_) return;
    viewAccessibilityOf(accessibility_).identifier = viewAccessibilityCopy(identifier);
}
rt::Ref<ns::String> View::accessibilityHint() const {
    return accessibility_ ? accessibility_->hint : nullptr;
}
void View::setAccessibilityHint(const rt::Ref<ns::String>& hint) {
    viewAccessibilityOf(accessibility_).hint = viewAccessibilityCopy(hint);
}
rt::Ref<ns::String> View::accessibilityValue() const {
    return accessibility_ ? accessibility_->value : nullptr;
}
void View::setAccessibilityValue(const rt::Ref<ns::String>& value) {
    viewAccessibilityOf(accessibility_).value = viewAccessibilityCopy(value);
}
std::uint64_t View::accessibilityTraits() const {
    return accessibility_ ? accessibility_->traits : AccessibilityTraitNone;
}
void View::setAccessibilityTraits(std::uint64_t traits) {
    viewAccessibilityOf(accessibility_).traits = traits;
}

} // namespace ui
