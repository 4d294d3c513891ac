#pragma once
// The affine transform value: the matrix [a b 0; c d 0; tx ty 1] acting on row vectors, so a point
// maps to (a*x + c*y + tx, b*x + d*y + ty).
//
// translate, rotate and scale add a step that acts in the transform's current space: the new step
// applies to a point first, then the transform as it was. t.concat(u) applies t, then u.

#include "platform/graphics/geometry.h"
#include "platform/runtime/type_encoding.h"

namespace cg {

struct AffineTransform {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;

    static constexpr AffineTransform identity() noexcept { return {}; }
    constexpr bool isIdentity() const noexcept { return *this == identity(); }
    bool operator==(const AffineTransform&) const = default;

    AffineTransform translate(double dx, double dy) const noexcept;
    // Radians; a positive angle turns the x axis towards the y axis.
    AffineTransform rotate(double angle) const noexcept;
    AffineTransform scale(double sx, double sy) const noexcept;
    AffineTransform concat(const AffineTransform& then) const noexcept;
    // The inverse; a transform that has none (zero determinant, or not finite) comes back as it is.
    AffineTransform invert() const noexcept;
    bool isInvertible() const noexcept;

    Point apply(Point p) const noexcept { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // The smallest rectangle holding the four transformed corners; a null rectangle stays null.
    Rect apply(const Rect& r) const noexcept;
};

} // namespace cg

template <>
struct rt::StructEncoding<cg::AffineTransform> {
    static constexpr const char* value = "{CGAffineTransform=dddddd}";
};
