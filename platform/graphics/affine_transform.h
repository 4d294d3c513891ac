#pragma once
// The affine transform value: the matrix [a b 0; c d 0; tx ty 1] acting on row vectors, so a point
// maps to (a*x + c*y + tx, b*x + d*y + ty).

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
    static constexpr AffineTransform translation(double x, double y) noexcept { return {1, 0, 0, 1, x, y}; }
    static constexpr AffineTransform scale(double sx, double sy) noexcept { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform rotation(double radians) noexcept;
    constexpr bool isIdentity() const noexcept { return *this == identity(); }
    bool operator==(const AffineTransform&) const = default;

    // This transform followed by `then` (the platform's CGAffineTransformConcat(*this, then)).
    constexpr AffineTransform concat(const AffineTransform& then) const noexcept {
        return {a * then.a + b * then.c,           a * then.b + b * then.d,
                c * then.a + d * then.c,           c * then.b + d * then.d,
                tx * then.a + ty * then.c + then.tx, tx * then.b + ty * then.d + then.ty};
    }
    // The inverse; the transform itself when it cannot be inverted.
    AffineTransform inverted() const noexcept;
    constexpr Point apply(Point p) const noexcept { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // The size's vector, without the translation.
    constexpr Size apply(Size s) const noexcept { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
};

} // namespace cg

template <>
struct rt::StructEncoding<cg::AffineTransform> {
    static constexpr const char* value = "{CGAffineTransform=dddddd}";
};
