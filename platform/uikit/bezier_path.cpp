#include "platform/uikit/bezier_path.h"

#include "platform/runtime/class.h"
#include "platform/uikit/graphics_context.h"

namespace ui {

BezierPath::BezierPath() : path_(cg::MutablePath::make()) {}

rt::Ref<BezierPath> BezierPath::bezierPath() {
    return rt::make<BezierPath>();
}

rt::Ref<BezierPath> BezierPath::bezierPathWithRect(const cg::Rect& rect) {
    auto path = bezierPath();
    path->path_->addRect(rect);
    return path;
}

rt::Ref<BezierPath> BezierPath::bezierPathWithOvalInRect(const cg::Rect& rect) {
    auto path = bezierPath();
    path->path_->addEllipseInRect(rect);
    return path;
}

rt::Ref<BezierPath> BezierPath::bezierPathWithRoundedRect(const cg::Rect& rect, double cornerRadius) {
    auto path = bezierPath();
    path->path_->addRoundedRect(rect, cornerRadius);
    return path;
}

rt::Ref<BezierPath> BezierPath::bezierPathWithArcCenter(cg::Point centre, double radius, double startAngle,
                                                        double endAngle, bool clockwise) {
    auto path = bezierPath();
    path->addArcWithCenter(centre, radius, startAngle, endAngle, clockwise);
    return path;
}

void BezierPath::moveToPoint(cg::Point p) {
    path_->moveTo(p);
}

void BezierPath::addLineToPoint(cg::Point p) {
    path_->addLineTo(p);
}

void BezierPath::addCurveToPoint(cg::Point end, cg::Point control1, cg::Point control2) {
    path_->addCurveTo(control1, control2, end);
}

void BezierPath::addQuadCurveToPoint(cg::Point end, cg::Point control) {
    path_->addQuadCurveTo(control, end);
}

void BezierPath::addArcWithCenter(cg::Point centre, double radius, double startAngle, double endAngle, bool clockwise) {
    path_->addArc(centre, radius, startAngle, endAngle, !clockwise); // y down: YES increases the angle
}

void BezierPath::closePath() {
    path_->closeSubpath();
}

void BezierPath::appendPath(const BezierPath& other) {
    path_->addPath(*other.path_);
}

void BezierPath::removeAllPoints() {
    path_->removeAll();
}

void BezierPath::apply(cg::Context& context) const {
    context.setLineWidth(lineWidth_);
    context.setLineCap(cap_);
    context.setLineJoin(join_);
    context.setLineDash(phase_, dash_);
    context.beginPath();
    context.addPath(*path_);
}

void BezierPath::fill() const {
    cg::Context* context = graphicsGetCurrentContext();
    if (!context || path_->isEmpty()) return;
    context->saveGState();
    apply(*context);
    context->drawPath(evenOdd_ ? cg::PathDrawingMode::EOFill : cg::PathDrawingMode::Fill);
    context->restoreGState();
}

void BezierPath::stroke() const {
    cg::Context* context = graphicsGetCurrentContext();
    if (!context || path_->isEmpty()) return;
    context->saveGState();
    apply(*context);
    context->strokePath();
    context->restoreGState();
}

RT_DEFINE_CLASS(BezierPath, "UIBezierPath", rt::Object)

} // namespace ui
