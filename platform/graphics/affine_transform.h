#pragma once
// The affine transform value: the matrix [a b 0; c d 0; tx ty 1] acting on row vectors, so a point
// maps to (a*x + c*y + tx, b*x + d*y + ty).

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
};

} // namespace cg

template <>
struct rt::StructEncoding<cg::AffineTransform> {
    static constexpr const char* value = "{CGAffineTransform=dddddd}";
};
