#include "platform/graphics/geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/graphics/edge_insets.h"

namespace cg {

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();
} // namespace

Rect Rect::null() noexcept {
    return {{kInfinity, kInfinity}, {0, 0}};
}

bool Rect::isNull() const noexcept {
    return origin.x == kInfinity || origin.y == kInfinity;
}

Rect Rect::standardized() const noexcept {
    return {{minX(), minY()}, {width(), height()}};
}

bool Rect::contains(Point p) const noexcept {
    return !isNull() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const noexcept {
    return !isNull() && !other.isNull() && other.minX() >= minX() && other.maxX() <= maxX() &&
           other.minY() >= minY() && other.maxY() <= maxY();
}

Rect Rect::intersection(const Rect& other) const noexcept {
    if (isNull() || other.isNull()) return null();
    const double x0 = std::max(minX(), other.minX()), x1 = std::min(maxX(), other.maxX());
    const double y0 = std::max(minY(), other.minY()), y1 = std::min(maxY(), other.maxY());
    if (x0 > x1 || y0 > y1) return null();
    return make(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::unionWith(const Rect& other) const noexcept {
    if (isNull()) return other.standardized();
    if (other.isNull()) return standardized();
    const double x0 = std::min(minX(), other.minX()), x1 = std::max(maxX(), other.maxX());
    const double y0 = std::min(minY(), other.minY()), y1 = std::max(maxY(), other.maxY());
    return make(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::insetBy(double dx, double dy) const noexcept {
    if (isNull()) return null();
    const Rect r = standardized();
    const double w = r.size.width - 2 * dx, h = r.size.height - 2 * dy;
    if (w < 0 || h < 0) return null();
    return make(r.origin.x + dx, r.origin.y + dy, w, h);
}

Rect Rect::offsetBy(double dx, double dy) const noexcept {
    if (isNull()) return null();
    return {{origin.x + dx, origin.y + dy}, size};
}

Rect Rect::integral() const noexcept {
    if (isNull()) return null();
    const double x0 = std::floor(minX()), y0 = std::floor(minY());
    return make(x0, y0, std::ceil(maxX()) - x0, std::ceil(maxY()) - y0);
}

std::string detail::shortestNumber(double v) {
    if (v == 0) v = 0; // no "-0"
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("nan");
}

std::string stringFromPoint(Point p) {
    return "{" + detail::shortestNumber(p.x) + ", " + detail::shortestNumber(p.y) + "}";
}

std::string stringFromSize(Size s) {
    return "{" + detail::shortestNumber(s.width) + ", " + detail::shortestNumber(s.height) + "}";
}

std::string stringFromRect(const Rect& r) {
    return "{" + stringFromPoint(r.origin) + ", " + stringFromSize(r.size) + "}";
}

} // namespace cg

namespace ui {

std::string stringFromEdgeInsets(const EdgeInsets& insets) {
    using cg::detail::shortestNumber;
    return "{" + shortestNumber(insets.top) + ", " + shortestNumber(insets.left) + ", " +
           shortestNumber(insets.bottom) + ", " + shortestNumber(insets.right) + "}";
}

EdgeInsets edgeInsetsFromString(std::string_view text) {
    // "{top, left, bottom, right}": the numbers in order, up to the first that does not read;
    // those missing are 0.
    double values[4] = {0, 0, 0, 0};
    std::size_t at = text.find('{');
    for (std::size_t i = 0; i < 4 && at != std::string_view::npos; ++i) {
        at = text.find_first_not_of(" \t", at + 1);
        if (at == std::string_view::npos) break;
        const char* begin = text.data() + at;
        if (*begin == '+') ++begin;
        const auto [end, error] = std::from_chars(begin, text.data() + text.size(), values[i]);
        if (error != std::errc()) break;
        at = text.find(',', static_cast<std::size_t>(end - text.data()));
    }
    return {values[0], values[1], values[2], values[3]};
}

} // namespace ui
