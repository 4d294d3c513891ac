#include "ui/scanner/buttons.h"

#include <cmath>
#include <numbers>

#include "platform/runtime/class.h"
#include "platform/uikit/bezier_path.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"

namespace qr {

RT_DEFINE_CLASS(GlyphButton, "QRGlyphButton", ui::Button,
                rt::prop("edgeColor", &GlyphButton::edgeColor, &GlyphButton::setEdgeColor),
                rt::prop("fillColor", &GlyphButton::fillColor, &GlyphButton::setFillColor),
                rt::prop("edgeHighlightedColor", &GlyphButton::edgeHighlightedColor,
                         &GlyphButton::setEdgeHighlightedColor),
                rt::prop("fillHighlightedColor", &GlyphButton::fillHighlightedColor,
                         &GlyphButton::setFillHighlightedColor))
RT_DEFINE_CLASS(CameraSwitchButton, "QRCameraSwitchButton", GlyphButton)
RT_DEFINE_CLASS(ToggleTorchButton, "QRToggleTorchButton", GlyphButton)

namespace {
constexpr double kGlyphLineWidth = 2;

// A closed path through `points`.
rt::Ref<ui::BezierPath> glyphPolygon(std::initializer_list<cg::Point> points) {
    auto path = ui::BezierPath::bezierPath();
    bool first = true;
    for (cg::Point p : points) {
        if (first) path->moveToPoint(p);
        else path->addLineToPoint(p);
        first = false;
    }
    path->closePath();
    return path;
}

rt::Ref<ui::BezierPath> glyphCircle(cg::Point centre, double diameter) {
    return ui::BezierPath::bezierPathWithOvalInRect(
        cg::Rect::make(centre.x - diameter / 2, centre.y - diameter / 2, diameter, diameter));
}
} // namespace

GlyphButton::GlyphButton(const cg::Rect& frame)
    : ui::Button(frame), edgeColor_(ui::Color::whiteColor()), fillColor_(ui::Color::darkGrayColor()),
      edgeHighlightedColor_(ui::Color::whiteColor()), fillHighlightedColor_(ui::Color::blackColor()) {}

const rt::Ref<ui::Color>& GlyphButton::currentFill() const {
    return state() == ui::ControlStates::Highlighted ? fillHighlightedColor_ : fillColor_;
}

const rt::Ref<ui::Color>& GlyphButton::currentEdge() const {
    return state() == ui::ControlStates::Highlighted ? edgeHighlightedColor_ : edgeColor_;
}

void GlyphButton::paint(const ui::BezierPath& path) const {
    currentFill()->setFill();
    path.fill();
    currentEdge()->setStroke();
    path.stroke();
}

void GlyphButton::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::Button::touchesBegan(touches, event);
    setNeedsDisplay();
}

void GlyphButton::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::Button::touchesMoved(touches, event);
    setNeedsDisplay();
}

void GlyphButton::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::Button::touchesEnded(touches, event);
    setNeedsDisplay();
}

void GlyphButton::touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::Button::touchesCancelled(touches, event);
    setNeedsDisplay();
}

// The camera between two arrows.

CameraSwitchButton::CameraSwitchButton(const cg::Rect& frame) : GlyphButton(frame) {}

rt::Ref<CameraSwitchButton> CameraSwitchButton::make(const cg::Rect& frame) {
    return rt::make<CameraSwitchButton>(frame);
}

void CameraSwitchButton::drawRect(const cg::Rect& rect) {
    const double width = rect.width(), height = rect.height();
    const double cx = width / 2, cy = height / 2;
    // The body.
    const double bw = 0.4 * width, bh = 0.6 * bw;
    const double left = cx - bw / 2, top = cy - bh / 2;
    auto body = ui::BezierPath::bezierPathWithRoundedRect(cg::Rect::make(left, top, bw, bh), bw / 80);
    // The lens.
    const double outer = 0.8 * bh, inner = 0.7 * outer;
    // The viewfinder hump over the body.
    const double tw = 0.8 * bw, ti = 0.14 * tw, tx = left + (bw - tw) / 2, yb = top, yt = yb - 0.17 * bh;
    auto hump = glyphPolygon({{tx, yb}, {tx + tw, yb}, {tx + tw - ti, yt}, {tx + ti, yt}});
    hump->setLineCapStyle(cg::LineCap::Round);
    hump->setLineJoinStyle(cg::LineJoin::Round);
    // The arrows: the left one points right, the right one left, below the middle.
    const double margin = (width - bw) / 2, hl = 0.3 * margin, tl = 0.7 * margin, a = bh / 4, t = 0.15 * bh;
    const cg::Point p{cx - 0.2 * bw, cy + 0.45 * bh};
    auto leftArrow = glyphPolygon({p, {p.x - hl, p.y - a}, {p.x - hl, p.y - t}, {p.x - hl - tl, p.y - t},
                                   {p.x - hl - tl, p.y + t}, {p.x - hl, p.y + t}, {p.x - hl, p.y + a}});
    const cg::Point q{cx + 0.2 * bw, cy + 0.6 * bh};
    auto rightArrow = glyphPolygon({q, {q.x + hl, q.y - a}, {q.x + hl, q.y - t}, {q.x + hl + tl, q.y - t},
                                    {q.x + hl + tl, q.y + t}, {q.x + hl, q.y + t}, {q.x + hl, q.y + a}});
    for (const auto& path : {body, hump, leftArrow, rightArrow})
        path->setLineWidth(kGlyphLineWidth);

    paint(*rightArrow);
    paint(*body);
    currentEdge()->setFill();
    glyphCircle({cx, cy}, outer)->fill();
    currentFill()->setFill();
    glyphCircle({cx, cy}, inner)->fill();
    paint(*hump);
    paint(*leftArrow);
}

// The torch.

ToggleTorchButton::ToggleTorchButton(const cg::Rect& frame) : GlyphButton(frame) {}

rt::Ref<ToggleTorchButton> ToggleTorchButton::make(const cg::Rect& frame) {
    return rt::make<ToggleTorchButton>(frame);
}

rt::Ref<ui::BezierPath> ToggleTorchButton::linePathWithStartPoint(cg::Point start, cg::Point end, double thickness) {
    auto path = ui::BezierPath::bezierPath();
    path->moveToPoint(start);
    path->addLineToPoint(end);
    path->setLineCapStyle(cg::LineCap::Round);
    path->setLineWidth(thickness);
    return path;
}

void ToggleTorchButton::drawRect(const cg::Rect& rect) {
    const double cx = rect.width() / 2, cy = rect.height() / 2, r = rect.width() / 10;
    constexpr double pi = std::numbers::pi;
    currentEdge()->setStroke();
    for (int i = 0; i < 8; ++i) {
        const double angle = i * pi / 4, c = std::cos(angle), s = std::sin(angle);
        linePathWithStartPoint({cx + 2 * r * c, cy + 2 * r * s}, {cx + 3 * r * c, cy + 3 * r * s}, kGlyphLineWidth)
            ->stroke();
    }
    auto disc = ui::BezierPath::bezierPathWithArcCenter({cx, cy}, r, 0, pi, true);
    disc->addArcWithCenter({cx, cy}, r, pi, 2 * pi, true);
    disc->setLineWidth(kGlyphLineWidth);
    paint(*disc);
}

} // namespace qr
