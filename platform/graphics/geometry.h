#pragma once
// Points, sizes and rectangles in double precision, with the platform's struct encodings so they
// box into ns::Value and move through rt::Slot (key-value coding, invocations).
//
// A rectangle may have a negative width or height; the readers (minX ... maxY, width, height) and
// the operations work on its standardized form, as the platform's do. The null rectangle (origin
// at infinity) stands for "no rectangle": what two rectangles apart have in common.

#include <string>

#include "platform/runtime/type_encoding.h"

namespace cg {

struct Point {
    double x = 0;
    double y = 0;

    static constexpr Point zero() noexcept { return {}; }
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;

    static constexpr Size zero() noexcept { return {}; }
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    static constexpr Rect make(double x, double y, double width, double height) noexcept {
        return {{x, y}, {width, height}};
    }
    static constexpr Rect zero() noexcept { return {}; }
    static Rect null() noexcept;

    // Of the standardized rectangle.
    double minX() const noexcept { return size.width < 0 ? origin.x + size.width : origin.x; }
    double maxX() const noexcept { return size.width < 0 ? origin.x : origin.x + size.width; }
    double midX() const noexcept { return origin.x + size.width / 2; }
    double minY() const noexcept { return size.height < 0 ? origin.y + size.height : origin.y; }
    double maxY() const noexcept { return size.height < 0 ? origin.y : origin.y + size.height; }
    double midY() const noexcept { return origin.y + size.height / 2; }
    double width() const noexcept { return size.width < 0 ? -size.width : size.width; }
    double height() const noexcept { return size.height < 0 ? -size.height : size.height; }

    bool isNull() const noexcept;
    // Null, or without width or height.
    bool isEmpty() const noexcept { return isNull() || size.width == 0 || size.height == 0; }

    // The same rectangle with a non-negative width and height.
    Rect standardized() const noexcept;
    // Half-open: the minimum edges belong to the rectangle, the maximum edges do not.
    bool contains(Point p) const noexcept;
    // `other` lies wholly inside (a null rectangle is inside nothing).
    bool contains(const Rect& other) const noexcept;
    // They share an area; rectangles that only touch do not intersect.
    bool intersects(const Rect& other) const noexcept { return !intersection(other).isEmpty(); }
    // The common part; null when they are apart (touching rectangles give an empty one).
    Rect intersection(const Rect& other) const noexcept;
    // The smallest rectangle holding both; a null rectangle adds nothing.
    Rect unionWith(const Rect& other) const noexcept;
    // Shrunk by dx on the left and right and dy at the top and bottom (grown for negative values);
    // null when nothing is left.
    Rect insetBy(double dx, double dy) const noexcept;
    // Moved by (dx, dy); a null rectangle stays null.
    Rect offsetBy(double dx, double dy) const noexcept;
    // The smallest rectangle with whole-number edges that holds this one.
    Rect integral() const noexcept;

    bool operator==(const Rect&) const = default;
};

// "{x, y}", "{w, h}" and "{{x, y}, {w, h}}", each number in its shortest exact form.
std::string stringFromPoint(Point p);
std::string stringFromSize(Size s);
std::string stringFromRect(const Rect& r);

namespace detail {
// A number in its shortest exact form ("375", "0.5").
std::string shortestNumber(double v);
} // namespace detail

} // namespace cg

template <>
struct rt::StructEncoding<cg::Point> {
    static constexpr const char* value = "{CGPoint=dd}";
};
template <>
struct rt::StructEncoding<cg::Size> {
    static constexpr const char* value = "{CGSize=dd}";
};
template <>
struct rt::StructEncoding<cg::Rect> {
    static constexpr const char* value = "{CGRect={CGPoint=dd}{CGSize=dd}}";
};
