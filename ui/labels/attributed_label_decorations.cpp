// The attributed label's run decorations: rounded boxes behind runs and lines struck through them,
// drawn over a laid-out frame in its own space (y up, positions from the line origins).

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/graphics/context.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/number.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/bezier_path.h"
#include "platform/uikit/font.h"
#include "ui/labels/attributed_label.h"

namespace tl {

namespace {

// A run's place on its line: it starts at the offset of its first index, or of its end when it
// runs right to left.
struct DecoratedRun {
    double x = 0, width = 0, ascent = 0, descent = 0;
};

DecoratedRun decoratedRunPlace(const ct::Line& line, cg::Point origin, const ct::Run& run) {
    const ns::Range range = run.stringRange();
    const std::size_t start = range.location + (run.status() == ct::Run::RightToLeft ? range.length : 0);
    DecoratedRun placed;
    placed.x = origin.x + line.offsetForStringIndex(start);
    placed.width = run.typographicBounds(&placed.ascent, &placed.descent, nullptr);
    return placed;
}

// A number attribute as the platform reads it (single precision); 0 when absent or not a number.
float decorationFloat(const rt::Id& value) {
    auto* number = dynamic_cast<const rt::NumericValue*>(value.get());
    return number ? static_cast<float>(number->doubleValue()) : 0.0f;
}

// Each line of the frame with its origin, and each of its runs.
template <class Body>
void forEachDecoratedRun(const ct::Frame& frame, Body&& body) {
    const auto& origins = frame.lineOrigins();
    for (std::size_t i = 0; i < frame.lines().size(); ++i) {
        const ct::Line& line = *frame.lines()[i];
        const double lineWidth = line.typographicBounds(nullptr, nullptr, nullptr);
        for (const rt::Ref<ct::Run>& run : line.glyphRuns()) body(line, origins[i], lineWidth, *run);
    }
}

} // namespace

void AttributedLabel::drawBackground(const ct::Frame& frame, const cg::Rect&, cg::Context& context) const {
    forEachDecoratedRun(frame, [&](const ct::Line& line, cg::Point origin, double lineWidth, const ct::Run& run) {
        const ns::Dictionary& attributes = *run.attributes();
        // Colours as the engine reads them; anything else draws no box.
        const rt::Ref<cg::Color> fill = cg::colorFromValue(attributes.objectForKey(BackgroundFillColorAttributeName).get());
        const rt::Ref<cg::Color> stroke =
            cg::colorFromValue(attributes.objectForKey(BackgroundStrokeColorAttributeName).get());
        if (!fill && !stroke) return;
        const ui::EdgeInsets padding =
            cg::unboxed<ui::EdgeInsets>(attributes.objectForKey(BackgroundFillPaddingAttributeName)).value_or(ui::EdgeInsets{});
        const double radius = decorationFloat(attributes.objectForKey(BackgroundCornerRadiusAttributeName));
        const double inset = decorationFloat(attributes.objectForKey(BackgroundLineWidthAttributeName));
        const DecoratedRun placed = decoratedRunPlace(line, origin, run);
        cg::Rect box = cg::Rect::make(placed.x - padding.left,
                                      origin.y - padding.bottom - placed.descent,
                                      placed.width + padding.left + padding.right,
                                      placed.ascent + placed.descent + padding.top + padding.bottom);
        box.size.width = std::min(box.width(), lineWidth); // no wider than its line, still moved by the padding
        box = ui::insetRect(box, linkBackgroundEdgeInset_).insetBy(inset, inset);
        if (box.isNull()) return;
        const rt::Ref<cg::Path> path = ui::BezierPath::bezierPathWithRoundedRect(box, radius)->CGPath();
        context.setLineJoin(cg::LineJoin::Round);
        if (fill) {
            context.setFillColor(fill);
            context.addPath(*path);
            context.fillPath();
        }
        if (stroke) {
            context.setStrokeColor(stroke);
            context.addPath(*path);
            context.strokePath();
        }
    });
}

void AttributedLabel::drawStrike(const ct::Frame& frame, const cg::Rect&, cg::Context& context) const {
    // As thick as the label's font underlines, whatever the run's font.
    const double thickness = font()->ctFont()->underlineThickness();
    forEachDecoratedRun(frame, [&](const ct::Line& line, cg::Point origin, double lineWidth, const ct::Run& run) {
        const ns::Dictionary& attributes = *run.attributes();
        auto* strike = dynamic_cast<const rt::NumericValue*>(attributes.objectForKey(StrikeOutAttributeName).get());
        if (!strike || !strike->boolValue()) return;
        const DecoratedRun placed = decoratedRunPlace(line, origin, run);
        double y = origin.y - placed.descent;
        const double width = std::min(placed.width, lineWidth), height = placed.ascent + placed.descent;
        // As the platform moves it: a superscript's line lower by 0.47 of the ascent (in single
        // precision), a subscript's higher by a quarter.
        const rt::Id superscript = attributes.objectForKey(ns::SuperscriptAttributeName);
        const long level = superscript ? long(decorationFloat(superscript)) : 0;
        if (level == 1) y -= placed.ascent * double(0.47f);
        else if (level == -1) y += placed.ascent * 0.25;
        // A colour the engine reads (either kind); black otherwise.
        rt::Ref<cg::Color> colour = cg::colorFromValue(attributes.objectForKey(ns::CTForegroundColorAttributeName).get());
        context.setStrokeColor(colour ? colour : cg::Color::gray(0, 1));
        context.setLineWidth(thickness);
        const double at = std::round(y + height * 0.5);
        context.beginPath();
        context.moveToPoint(placed.x, at);
        context.addLineToPoint(placed.x + width, at);
        context.strokePath();
    });
}

} // namespace tl
