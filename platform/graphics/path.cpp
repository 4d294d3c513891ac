#include "platform/graphics/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/runtime/class.h"

namespace cg {

namespace {

using Type = PathElement::Type;

PathElement element(Type type, Point p0 = {}, Point p1 = {}, Point p2 = {}) {
    PathElement e;
    e.type = type;
    e.points[0] = p0, e.points[1] = p1, e.points[2] = p2;
    return e;
}

Point arcPoint(const PathElement& e, double angle) {
    return {e.points[0].x + e.radius * std::cos(angle), e.points[0].y + e.radius * std::sin(angle)};
}

// The arc's sweep as a signed angle: negative when it decreases.
double sweep(const PathElement& e) {
    const double twoPi = 2 * std::numbers::pi;
    double d = e.endAngle - e.startAngle;
    if (e.clockwise) {
        if (d > 0) d = std::fmod(d, twoPi) - (std::fmod(d, twoPi) == 0 && d != 0 ? 0 : twoPi);
        if (d < -twoPi) d = -twoPi;
    } else {
        if (d < 0) d = std::fmod(d, twoPi) + (std::fmod(d, twoPi) == 0 && d != 0 ? 0 : twoPi);
        if (d > twoPi) d = twoPi;
    }
    return d;
}

} // namespace

rt::Ref<Path> Path::withRect(const Rect& rect) {
    auto path = MutablePath::make();
    path->addRect(rect);
    return path;
}

rt::Ref<Path> Path::withEllipseInRect(const Rect& rect) {
    auto path = MutablePath::make();
    path->addEllipseInRect(rect);
    return path;
}

Rect Path::boundingBox() const {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    auto add = [&](Point p) {
        x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
    };
    for (const PathElement& e : elements_) {
        switch (e.type) {
        case Type::MoveTo:
        case Type::LineTo: add(e.points[0]); break;
        case Type::QuadCurveTo: add(e.points[0]), add(e.points[1]); break;
        case Type::CurveTo: add(e.points[0]), add(e.points[1]), add(e.points[2]); break;
        case Type::Arc: {
            const double s = sweep(e);
            add(arcPoint(e, e.startAngle));
            add(arcPoint(e, e.startAngle + s));
            const double lo = std::min(e.startAngle, e.startAngle + s), hi = std::max(e.startAngle, e.startAngle + s);
            const double quarter = std::numbers::pi / 2;
            for (double k = std::ceil(lo / quarter); k * quarter <= hi; ++k)
                add(arcPoint(e, k * quarter));
            break;
        }
        case Type::Close: break;
        }
    }
    if (x0 > x1) return Rect::null();
    return Rect::make(x0, y0, x1 - x0, y1 - y0);
}

rt::Ref<Path> Path::copyByTransforming(const AffineTransform& t) const {
    auto out = MutablePath::make();
    const double scale = std::sqrt(std::abs(t.a * t.d - t.b * t.c));
    const bool conformal = std::abs(t.a - t.d) < 1e-12 && std::abs(t.b + t.c) < 1e-12;
    for (const PathElement& e : elements_) {
        switch (e.type) {
        case Type::MoveTo: out->moveTo(t.apply(e.points[0])); break;
        case Type::LineTo: out->addLineTo(t.apply(e.points[0])); break;
        case Type::QuadCurveTo: out->addQuadCurveTo(t.apply(e.points[0]), t.apply(e.points[1])); break;
        case Type::CurveTo: out->addCurveTo(t.apply(e.points[0]), t.apply(e.points[1]), t.apply(e.points[2])); break;
        case Type::Arc: {
            if (conformal) {
                const double rot = std::atan2(t.b, t.a);
                out->addArc(t.apply(e.points[0]), e.radius * scale, e.startAngle + rot, e.endAngle + rot, e.clockwise);
                break;
            }
            // Curves of at most a quarter turn each, transformed point by point.
            const double s = sweep(e);
            const int pieces = std::max(1, int(std::ceil(std::abs(s) / (std::numbers::pi / 2) - 1e-9)));
            const double step = s / pieces;
            const double k = 4.0 / 3.0 * std::tan(step / 4);
            out->addLineTo(t.apply(arcPoint(e, e.startAngle)));
            for (int i = 0; i < pieces; ++i) {
                const double a0 = e.startAngle + i * step, a1 = a0 + step;
                const Point p0 = arcPoint(e, a0), p1 = arcPoint(e, a1);
                const Point c1{p0.x - k * e.radius * std::sin(a0), p0.y + k * e.radius * std::cos(a0)};
                const Point c2{p1.x + k * e.radius * std::sin(a1), p1.y - k * e.radius * std::cos(a1)};
                out->addCurveTo(t.apply(c1), t.apply(c2), t.apply(p1));
            }
            break;
        }
        case Type::Close: out->closeSubpath(); break;
        }
    }
    return out;
}

rt::Ref<Path> Path::immutableCopy() const {
    return MutablePath::mutableCopy(*this);
}

bool Path::isEqual(const rt::Object* other) const {
    auto* p = dynamic_cast<const Path*>(other);
    return p && p->elements_ == elements_;
}

std::string Path::description() const {
    return "<CGPath " + std::to_string(elements_.size()) + " elements, " + stringFromRect(boundingBox()) + ">";
}

rt::Ref<MutablePath> MutablePath::mutableCopy(const Path& path) {
    auto out = make();
    out->addPath(path);
    return out;
}

void MutablePath::moveTo(Point p) {
    elements_.push_back(element(Type::MoveTo, p));
    current_ = subpathStart_ = p;
}

void MutablePath::addLineTo(Point p) {
    if (elements_.empty()) return moveTo(p);
    elements_.push_back(element(Type::LineTo, p));
    current_ = p;
}

void MutablePath::addQuadCurveTo(Point control, Point end) {
    if (elements_.empty()) moveTo(control);
    elements_.push_back(element(Type::QuadCurveTo, control, end));
    current_ = end;
}

void MutablePath::addCurveTo(Point control1, Point control2, Point end) {
    if (elements_.empty()) moveTo(control1);
    elements_.push_back(element(Type::CurveTo, control1, control2, end));
    current_ = end;
}

void MutablePath::addArc(Point centre, double radius, double startAngle, double endAngle, bool clockwise) {
    if (!(radius >= 0) || !std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(endAngle)) return;
    PathElement e = element(Type::Arc, centre);
    e.radius = radius, e.startAngle = startAngle, e.endAngle = endAngle, e.clockwise = clockwise;
    if (elements_.empty()) subpathStart_ = arcPoint(e, startAngle);
    elements_.push_back(e);
    current_ = arcPoint(e, startAngle + sweep(e));
}

void MutablePath::addRect(const Rect& rect) {
    const Rect r = rect.standardized();
    moveTo({r.minX(), r.minY()});
    addLineTo({r.maxX(), r.minY()});
    addLineTo({r.maxX(), r.maxY()});
    addLineTo({r.minX(), r.maxY()});
    closeSubpath();
}

void MutablePath::addRoundedRect(const Rect& rect, double cornerRadius) {
    const Rect r = rect.standardized();
    const double radius = std::clamp(cornerRadius, 0.0, std::min(r.width(), r.height()) / 2);
    if (!(radius > 0)) return addRect(r);
    // Clockwise on the screen (y down), from the top edge's start: each corner's arc increases the angle.
    constexpr double pi = std::numbers::pi;
    moveTo({r.minX() + radius, r.minY()});
    addLineTo({r.maxX() - radius, r.minY()});
    addArc({r.maxX() - radius, r.minY() + radius}, radius, -pi / 2, 0, false);
    addLineTo({r.maxX(), r.maxY() - radius});
    addArc({r.maxX() - radius, r.maxY() - radius}, radius, 0, pi / 2, false);
    addLineTo({r.minX() + radius, r.maxY()});
    addArc({r.minX() + radius, r.maxY() - radius}, radius, pi / 2, pi, false);
    addLineTo({r.minX(), r.minY() + radius});
    addArc({r.minX() + radius, r.minY() + radius}, radius, pi, 3 * pi / 2, false);
    closeSubpath();
}

void MutablePath::addEllipseInRect(const Rect& rect) {
    // Four quarter curves, as the platform makes them.
    const Rect r = rect.standardized();
    const double k = 0.5522847498307936;
    const double cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
    moveTo({cx + rx, cy});
    addCurveTo({cx + rx, cy + k * ry}, {cx + k * rx, cy + ry}, {cx, cy + ry});
    addCurveTo({cx - k * rx, cy + ry}, {cx - rx, cy + k * ry}, {cx - rx, cy});
    addCurveTo({cx - rx, cy - k * ry}, {cx - k * rx, cy - ry}, {cx, cy - ry});
    addCurveTo({cx + k * rx, cy - ry}, {cx + rx, cy - k * ry}, {cx + rx, cy});
    closeSubpath();
}

void MutablePath::addPath(const Path& path) {
    if (&path == this) {
        const std::vector<PathElement> copy = path.elements();
        elements_.insert(elements_.end(), copy.begin(), copy.end());
    } else {
        elements_.insert(elements_.end(), path.elements().begin(), path.elements().end());
    }
    current_ = path.currentPoint();
    for (auto e = path.elements().rbegin(); e != path.elements().rend(); ++e)
        if (e->type == Type::MoveTo) {
            subpathStart_ = e->points[0];
            break;
        }
}

void MutablePath::closeSubpath() {
    if (elements_.empty() || elements_.back().type == Type::Close) return;
    elements_.push_back(element(Type::Close));
    current_ = subpathStart_;
}

void MutablePath::removeAll() {
    elements_.clear();
    current_ = subpathStart_ = {};
}

RT_DEFINE_CLASS(Path, "CGPath", rt::Object)
RT_DEFINE_CLASS(MutablePath, "CGMutablePath", Path)

} // namespace cg
