#include "ui/overlays/hud_look.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "platform/graphics/color.h"
#include "platform/graphics/context.h"
#include "platform/graphics/path.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"

namespace sh {

namespace {

constexpr double kHUDFigureSide = 37;
constexpr double kHUDTextWidth = 200;
constexpr double kHUDGap = 8;
constexpr double kHUDCornerRadius = 10;
// The box's black: near opaque, as a phone's blurred box is, so what lies under it does not show
// through its texts.
constexpr double kHUDBoxAlpha = 0.95;

} // namespace

void styleHUDLabel(ui::Label& label, double size) {
    label.setFont(ui::Font::boldSystemFontOfSize(size));
    label.setTextColor(ui::Color::whiteColor());
    label.setTextAlignment(ui::TextAlignment::Center);
    label.setNumberOfLines(0);
}

cg::Rect placeHUDBox(const cg::Rect& bounds, double margin, double yOffset, HUDFigure figure,
                     std::initializer_list<ui::Label*> labels) {
    const double widest = std::clamp(bounds.width() - 4 * margin, 0.0, kHUDTextWidth);
    double width = figure == HUDFigure::None ? 0 : kHUDFigureSide;
    double height = figure == HUDFigure::None ? 0 : kHUDFigureSide;
    std::vector<std::pair<ui::Label*, cg::Size>> shown;
    for (ui::Label* label : labels) {
        if (!label || label->isHidden() || !label->text() || label->text()->length() == 0) continue;
        const cg::Size size = label->sizeThatFits({widest, 0});
        shown.emplace_back(label, cg::Size{std::min(std::ceil(size.width), widest), std::ceil(size.height)});
        width = std::max(width, shown.back().second.width);
        height += (height > 0 ? kHUDGap : 0) + shown.back().second.height;
    }
    const cg::Rect box = cg::Rect::make(std::round(bounds.midX() - width / 2 - margin),
                                        std::round(bounds.midY() + yOffset - height / 2 - margin),
                                        width + 2 * margin, height + 2 * margin);
    double y = box.minY() + margin + (figure == HUDFigure::None ? 0 : kHUDFigureSide + kHUDGap);
    for (const auto& [label, size] : shown) {
        label->setFrame(cg::Rect::make(box.minX() + margin, y, width, size.height));
        y += size.height + kHUDGap;
    }
    return box;
}

void drawHUDBox(cg::Context& context, const cg::Rect& box, double margin, HUDFigure figure) {
    if (box.isEmpty()) return;
    context.saveGState();
    auto outline = cg::MutablePath::make();
    outline->addRoundedRect(box, kHUDCornerRadius);
    context.setFillColor(cg::Color::make(0, 0, 0, kHUDBoxAlpha));
    context.addPath(*outline);
    context.fillPath();
    const double cx = box.midX(), cy = box.minY() + margin + kHUDFigureSide / 2, r = kHUDFigureSide / 2 - 4;
    context.setStrokeColor(cg::Color::white());
    context.setLineWidth(3);
    context.setLineCap(cg::LineCap::Round);
    switch (figure) {
    case HUDFigure::None:
        break;
    case HUDFigure::Ring:
        context.addArc(cx, cy, r, 0, 1.6 * std::numbers::pi, 0);
        context.strokePath();
        break;
    case HUDFigure::Tick:
        context.strokeLineSegments({{cx - r, cy},
                                    {cx - r / 3, cy + r * 2 / 3},
                                    {cx - r / 3, cy + r * 2 / 3},
                                    {cx + r, cy - r * 2 / 3}});
        break;
    case HUDFigure::Cross:
        context.strokeLineSegments({{cx - r * 2 / 3, cy - r * 2 / 3},
                                    {cx + r * 2 / 3, cy + r * 2 / 3},
                                    {cx - r * 2 / 3, cy + r * 2 / 3},
                                    {cx + r * 2 / 3, cy - r * 2 / 3}});
        break;
    }
    context.restoreGState();
}

} // namespace sh
