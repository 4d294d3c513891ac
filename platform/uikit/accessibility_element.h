#pragma once
// ui::AccessibilityElement ("UIAccessibilityElement"): a part of a view that the accessibility
// services read by itself: its container (held weakly), the texts spoken for it, its traits and
// its frame in window coordinates.

#include <cstdint>

#include "platform/foundation/string.h"
#include "platform/graphics/geometry.h"

namespace ui {

// What an element is, as a mask.
using AccessibilityTraits = std::uint64_t;
inline constexpr AccessibilityTraits AccessibilityTraitNone = 0;
inline constexpr AccessibilityTraits AccessibilityTraitButton = 1;
inline constexpr AccessibilityTraits AccessibilityTraitLink = 2;
inline constexpr AccessibilityTraits AccessibilityTraitImage = 4;
inline constexpr AccessibilityTraits AccessibilityTraitSelected = 8;
inline constexpr AccessibilityTraits AccessibilityTraitStaticText = 64;
inline constexpr AccessibilityTraits AccessibilityTraitNotEnabled = 256;

class AccessibilityElement : public rt::Object {
    RT_CLASS(AccessibilityElement)
public:
    static rt::Ref<AccessibilityElement> initWithAccessibilityContainer(const rt::Id& container);

    rt::Id accessibilityContainer() const { return container_.lock(); }
    const rt::Ref<ns::String>& accessibilityLabel() const noexcept { return label_; }
    void setAccessibilityLabel(const rt::Ref<ns::String>& label);
    const rt::Ref<ns::String>& accessibilityValue() const noexcept { return value_; }
    void setAccessibilityValue(const rt::Ref<ns::String>& value);
    const rt::Ref<ns::String>& accessibilityHint() const noexcept { return hint_; }
    void setAccessibilityHint(const rt::Ref<ns::String>& hint);
    AccessibilityTraits accessibilityTraits() const noexcept { return traits_; }
    void setAccessibilityTraits(AccessibilityTraits traits) { traits_ = traits; }
    // In window coordinates.
    const cg::Rect& accessibilityFrame() const noexcept { return frame_; }
    void setAccessibilityFrame(const cg::Rect& frame) { frame_ = frame; }

protected:
    AccessibilityElement() = default;
    ~AccessibilityElement() override;

private:
    rt::Weak<rt::Object> container_;
    rt::Ref<ns::String> label_, value_, hint_;
    AccessibilityTraits traits_ = AccessibilityTraitNone;
    cg::Rect frame_;
};

} // namespace ui
