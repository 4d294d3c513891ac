#pragma once
// ui::EdgeInsets: distances inward from each edge of a rectangle (a view's safe area, a label's
// padding). It belongs to the UIKit stand-in's namespace but lives here, beside the geometry, so
// that both the UIKit stand-in and the simulated device can use it.

#include <string>
#include <string_view>

#include "platform/graphics/geometry.h"

namespace ui {

struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;

    static constexpr EdgeInsets zero() noexcept { return {}; }
    bool operator==(const EdgeInsets&) const = default;
};

// The rectangle with the insets taken off its edges (negative insets grow it). The result is
// not standardized: insets larger than the rectangle give a negative width or height.
constexpr cg::Rect insetRect(const cg::Rect& r, const EdgeInsets& insets) noexcept {
    return {{r.origin.x + insets.left, r.origin.y + insets.top},
            {r.size.width - insets.left - insets.right, r.size.height - insets.top - insets.bottom}};
}

// "{top, left, bottom, right}".
std::string stringFromEdgeInsets(const EdgeInsets& insets);
// The inverse: the insets a "{top, left, bottom, right}" text gives; 0 for each number missing or
// unreadable (and all after it).
EdgeInsets edgeInsetsFromString(std::string_view text);

} // namespace ui

template <>
struct rt::StructEncoding<ui::EdgeInsets> {
    static constexpr const char* value = "{UIEdgeInsets=dddd}";
};
