#pragma once
// cg::Path ("CGPath") and cg::MutablePath ("CGMutablePath"): a list of path elements in user space.
// Arcs stay arcs (centre, radius, angles and direction), so a recorded drawing can be asked what
// it drew. `clockwise` is the platform's: true decreases the angle (in y-up space); an arc begins
// with a line from the current point to its start, as the platform's does.

#include <cstdint>
#include <vector>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace cg {

struct PathElement {
    enum class Type : std::uint8_t { MoveTo, LineTo, QuadCurveTo, CurveTo, Arc, Close };
    Type type = Type::MoveTo;
    // MoveTo, LineTo: points[0]. QuadCurveTo: control, end. CurveTo: control 1, control 2, end.
    // Arc: points[0] is the centre.
    Point points[3];
    double radius = 0;
    double startAngle = 0;
    double endAngle = 0;
    bool clockwise = false;
    bool operator==(const PathElement&) const = default;
};

class Path : public rt::Object {
    RT_CLASS(Path)
public:
    static rt::Ref<Path> withRect(const Rect& rect);
    static rt::Ref<Path> withEllipseInRect(const Rect& rect);

    const std::vector<PathElement>& elements() const noexcept { return elements_; }
    bool isEmpty() const noexcept { return elements_.empty(); }
    // The smallest rectangle holding every point the path passes through (control points of
    // curves included; arcs by their extremes); null for an empty path.
    Rect boundingBox() const;
    // The end of the last element; zero for an empty path.
    Point currentPoint() const noexcept { return current_; }
    // A copy with every element transformed; arcs under a transform that is not a uniform scale
    // with rotation become curves.
    rt::Ref<Path> copyByTransforming(const AffineTransform& t) const;
    rt::Ref<Path> immutableCopy() const;

    bool isEqual(const rt::Object* other) const override;
    std::string description() const override;

protected:
    Path() = default;
    std::vector<PathElement> elements_;
    Point current_;
    Point subpathStart_;
};

class MutablePath final : public Path {
    RT_CLASS(MutablePath)
public:
    static rt::Ref<MutablePath> make() { return rt::make<MutablePath>(); }
    static rt::Ref<MutablePath> mutableCopy(const Path& path);

    void moveTo(Point p);
    void addLineTo(Point p);
    void addQuadCurveTo(Point control, Point end);
    void addCurveTo(Point control1, Point control2, Point end);
    void addArc(Point centre, double radius, double startAngle, double endAngle, bool clockwise);
    void addRect(const Rect& rect);
    // A rectangle with quarter-circle corners, clockwise on the screen from the top edge; the
    // radius is held to half the shorter side, and a rectangle without one is a plain rectangle.
    void addRoundedRect(const Rect& rect, double cornerRadius);
    void addEllipseInRect(const Rect& rect);
    void addPath(const Path& path);
    void closeSubpath();
    void removeAll();

    MutablePath() = default;
};

} // namespace cg
