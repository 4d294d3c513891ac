#include "platform/graphics/affine_transform.h"

#include <algorithm>
#include <cmath>

namespace cg {

AffineTransform AffineTransform::translate(double dx, double dy) const noexcept {
    return AffineTransform{.tx = dx, .ty = dy}.concat(*this);
}

AffineTransform AffineTransform::rotate(double angle) const noexcept {
    const double cos = std::cos(angle), sin = std::sin(angle);
    return AffineTransform{.a = cos, .b = sin, .c = -sin, .d = cos}.concat(*this);
}

AffineTransform AffineTransform::scale(double sx, double sy) const noexcept {
    return AffineTransform{.a = sx, .d = sy}.concat(*this);
}

AffineTransform AffineTransform::concat(const AffineTransform& u) const noexcept {
    return {.a = a * u.a + b * u.c,
            .b = a * u.b + b * u.d,
            .c = c * u.a + d * u.c,
            .d = c * u.b + d * u.d,
            .tx = tx * u.a + ty * u.c + u.tx,
            .ty = tx * u.b + ty * u.d + u.ty};
}

bool AffineTransform::isInvertible() const noexcept {
    const double det = a * d - b * c;
    return det != 0 && std::isfinite(det) && std::isfinite(tx) && std::isfinite(ty);
}

AffineTransform AffineTransform::invert() const noexcept {
    if (!isInvertible()) return *this;
    const double det = a * d - b * c;
    return {.a = d / det,
            .b = -b / det,
            .c = -c / det,
            .d = a / det,
            .tx = (c * ty - d * tx) / det,
            .ty = (b * tx - a * ty) / det};
}

Rect AffineTransform::apply(const Rect& r) const noexcept {
    if (r.isNull()) return r;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (Point corner : {Point{r.minX(), r.minY()}, Point{r.maxX(), r.minY()}, Point{r.minX(), r.maxY()},
                         Point{r.maxX(), r.maxY()}}) {
        const Point p = apply(corner);
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
    return Rect::make(x0, y0, x1 - x0, y1 - y0);
}

} // namespace cg
