#include "platform/uikit/accessibility_element.h"

#include "platform/runtime/class.h"

namespace ui {

RT_DEFINE_CLASS(AccessibilityElement, "UIAccessibilityElement", rt::Object,
                rt::prop("accessibilityLabel", &AccessibilityElement::accessibilityLabel,
                         &AccessibilityElement::setAccessibilityLabel, {.memory = rt::Memory::Copy}),
                rt::prop("accessibilityValue", &AccessibilityElement::accessibilityValue,
                         &AccessibilityElement::setAccessibilityValue, {.memory = rt::Memory::Copy}),
                rt::prop("accessibilityHint", &AccessibilityElement::accessibilityHint,
                         &AccessibilityElement::setAccessibilityHint, {.memory = rt::Memory::Copy}),
                rt::prop("accessibilityTraits", &AccessibilityElement::accessibilityTraits,
                         &AccessibilityElement::setAccessibilityTraits),
                rt::prop("accessibilityFrame", &AccessibilityElement::accessibilityFrame,
                         &AccessibilityElement::setAccessibilityFrame))

namespace {
rt::Ref<ns::String> accessibilityCopy(const rt::Ref<ns::String>& text) {
    return text ? rt::cast<ns::String>(text->copy()) : nullptr;
}
} // namespace

AccessibilityElement::~AccessibilityElement() = default;

rt::Ref<AccessibilityElement> AccessibilityElement::initWithAccessibilityContainer(const rt::Id& container) {
    auto element = rt::make<AccessibilityElement>();
    element->container_ = container;
    return element;
}

void AccessibilityElement::setAccessibilityLabel(const rt::Ref<ns::String>& label) {
    label_ = accessibilityCopy(label);
}
void AccessibilityElement::setAccessibilityValue(const rt::Ref<ns::String>& value) {
    value_ = accessibilityCopy(value);
}
void AccessibilityElement::setAccessibilityHint(const rt::Ref<ns::String>& hint) {
    hint_ = accessibilityCopy(hint);
}

} // namespace ui
