#pragma once
// ui::BezierPath ("UIBezierPath"): a path with its stroke settings, drawn into the current
// context. UIKit's space is y down, so an arc whose `clockwise` is YES increases the angle (the
// opposite flag of the path's own arcs).

#include <vector>

#include "platform/graphics/context.h"

namespace ui {

class BezierPath final : public rt::Object {
    RT_CLASS(BezierPath)
public:
    static rt::Ref<BezierPath> bezierPath();
    static rt::Ref<BezierPath> bezierPathWithRect(const cg::Rect& rect);
    static rt::Ref<BezierPath> bezierPathWithOvalInRect(const cg::Rect& rect);
    // The radius is held to half the shorter side.
    static rt::Ref<BezierPath> bezierPathWithRoundedRect(const cg::Rect& rect, double cornerRadius);
    static rt::Ref<BezierPath> bezierPathWithArcCenter(cg::Point centre, double radius, double startAngle,
                                                       double endAngle, bool clockwise);

    void moveToPoint(cg::Point p);
    void addLineToPoint(cg::Point p);
    void addCurveToPoint(cg::Point end, cg::Point control1, cg::Point control2);
    void addQuadCurveToPoint(cg::Point end, cg::Point control);
    void addArcWithCenter(cg::Point centre, double radius, double startAngle, double endAngle, bool clockwise);
    void closePath();
    void appendPath(const BezierPath& other);
    void removeAllPoints();

    bool isEmpty() const { return path_->isEmpty(); }
    cg::Rect bounds() const { return path_->boundingBox(); }
    cg::Point currentPoint() const { return path_->currentPoint(); }
    // An immutable copy of the path.
    rt::Ref<cg::Path> CGPath() const { return path_->immutableCopy(); }

    double lineWidth() const noexcept { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }
    cg::LineCap lineCapStyle() const noexcept { return cap_; }
    void setLineCapStyle(cg::LineCap cap) { cap_ = cap; }
    cg::LineJoin lineJoinStyle() const noexcept { return join_; }
    void setLineJoinStyle(cg::LineJoin join) { join_ = join; }
    void setLineDash(std::vector<double> pattern, double phase) { dash_ = std::move(pattern), phase_ = phase; }
    bool usesEvenOddFillRule() const noexcept { return evenOdd_; }
    void setUsesEvenOddFillRule(bool evenOdd) { evenOdd_ = evenOdd; }

    // Fill or stroke into the current context with its fill or stroke colour; nothing without one.
    void fill() const;
    void stroke() const;

    BezierPath();

private:
    void apply(cg::Context& context) const;
    rt::Ref<cg::MutablePath> path_;
    double lineWidth_ = 1;
    cg::LineCap cap_ = cg::LineCap::Butt;
    cg::LineJoin join_ = cg::LineJoin::Miter;
    std::vector<double> dash_;
    double phase_ = 0;
    bool evenOdd_ = false;
};

} // namespace ui
