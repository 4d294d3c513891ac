// The second attributed label as drawn: the line limit and tail truncation, vertical alignment,
// inline images and the touched link's highlight, asserted on the display list. The model font at
// 15 points: a code point advances 9.375, ascent 11.25, descent 3.75.

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/url.h"
#include "platform/graphics/path.h"
#include "platform/graphics/recording_context.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/app/snapshot.h"
#include "tests/testkit/app/text_cut_count.h"
#include "ui/labels/rl_attributed_label.h"

namespace {

rt::Ref<rl::AttributedLabel> rlDrawingLabel(const char* text, double width, double height, long lines = 0,
                                            double size = 15) {
    auto label = rl::AttributedLabel::make({{0, 0}, {width, height}});
    label->setFont(ui::Font::systemFontOfSize(size));
    label->setNumberOfLines(lines);
    label->setLineBreakMode(ui::LineBreakMode::TruncatingTail);
    label->setText(ns::String::make(text));
    return label;
}

cg::DisplayList rlDrawn(ui::View& view) {
    cg::RecordingContext context;
    ui::renderView(view, context);
    return context.takeDisplayList();
}

// The text of each line drawn, top to bottom (runs at one baseline are one line).
std::vector<std::string> rlLinesOf(const cg::DisplayList& list) {
    std::vector<std::string> lines;
    double baseline = NAN;
    for (const cg::DrawCommand* run : list.textRuns()) {
        const double y = cg::deviceOf(*run, run->run->origin).y;
        if (lines.empty() || y != baseline) lines.emplace_back();
        for (std::uint32_t c : run->run->glyphs) {
            if (c != 0xFFFC) lines.back() += c == 0x2026 ? std::string("\u2026") : std::string(1, char(c));
        }
        baseline = y;
    }
    return lines;
}

rt::Ref<ns::TextCheckingResult> rlDrawingLink(ns::Range range) {
    return ns::TextCheckingResult::linkCheckingResult(range, ns::URL::URLWithString("http://a.example"));
}

constexpr const char* kFiveLines = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj";

TEST(RLAttributedLabelDrawing, DrawsTheDisplayedLinesTheirImagesAndHighlightEndingInTheToken) {
    struct Case {
        const char* name;
        long lines;
        ui::LineBreakMode mode;
        const char* token; // nil: the default
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"word wrapping draws the two lines as laid out", 2, ui::LineBreakMode::WordWrapping, nullptr,
         {"aaaa bbbb ", "cccc dddd "}},
        {"the trailing space goes before the ellipsis", 2, ui::LineBreakMode::TruncatingTail, nullptr,
         {"aaaa bbbb ", "cccc dddd\u2026"}},
        {"an empty token shows nothing", 2, ui::LineBreakMode::TruncatingTail, "", {"aaaa bbbb ", "cccc dddd"}},
        {"a wide token takes the place of whole characters", 2, ui::LineBreakMode::TruncatingTail, "[+]",
         {"aaaa bbbb ", "cccc dd[+]"}},
        {"a text that fits draws unchanged", 0, ui::LineBreakMode::TruncatingTail, nullptr,
         {"aaaa bbbb ", "cccc dddd ", "eeee ffff ", "gggg hhhh ", "iiii jjjj"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto label = rlDrawingLabel(kFiveLines, 100, 100, c.lines);
        label->setLineBreakMode(c.mode);
        if (c.token) label->setTailTruncationString(ns::String::make(c.token));
        label->insertImage(ui::Image::imageWithSize({6, 6}), 1);  // on the first line
        label->insertImage(ui::Image::imageWithSize({6, 6}), 31); // on the fourth
        label->setTextColor(ui::Color::blackColor());             // the images show from this change
        label->setTouchedLink(rlDrawingLink({5, 20}));            // lines one to three
        testkit::TextCutCount count;
        const auto list = rlDrawn(*label);
        EXPECT_EQ(rlLinesOf(list), c.expected);
        EXPECT_EQ(count.cuts, c.lines == 2 ? 1 : 0);
        EXPECT_EQ(list.images().size(), c.lines == 2 ? 1u : 2u);
        EXPECT_EQ(list.fills().size(), c.lines == 2 ? 2u : 3u);
    }
}

TEST(RLAttributedLabelDrawing, PlacesTheTextAndImagesByTheirAlignment) {
    struct Offset {
        std::int32_t alignment;
        double expected;
    };
    for (const auto& c : std::vector<Offset>{{0, 0}, {1, 14}, {2, 29}, {7, 0}}) {
        SCOPED_TRACE(c.alignment);
        auto label = rlDrawingLabel("Hello", 300, 50, 1, 21); // 21 high
        label->setVerticalTextAlignment(c.alignment);
        EXPECT_EQ(label->verticalOffsetForBounds(label->bounds()), c.expected);
    }
    struct Metrics {
        std::int32_t alignment;
        double ascent, descent;
    };
    // A box 20 high on a font of ascent 10 and descent 2.
    for (const auto& c : std::vector<Metrics>{{0, 10, 10}, {1, 14, 6}, {2, 18, 2}, {5, 18, 2}}) {
        SCOPED_TRACE(c.alignment);
        auto record = rl::AttributedLabelImage::make(ui::Image::imageWithSize({8, 16}), 0, {2, 3, 2, 5}, c.alignment);
        record->setFontMetrics(10, 2);
        EXPECT_EQ(record->boxSize(), (cg::Size{16, 20}));
        EXPECT_EQ(record->runAscent(), c.ascent);
        EXPECT_EQ(record->runDescent(), c.descent);
    }
}

TEST(RLAttributedLabelDrawing, ShowsAnImageFromTheNextChangeAtItsMarginsAndHoldsItsIndexToTheText) {
    auto label = rlDrawingLabel("Hello", 300, 60);
    rlDrawn(*label);
    label->insertImage(ui::Image::imageWithSize({10, 12}), 0, {2, 3, 4, 5});
    EXPECT_TRUE(rlDrawn(*label).images().empty()); // the cached frame holds no image yet
    label->setFrame(label->frame());
    EXPECT_TRUE(rlDrawn(*label).images().empty()); // nor does the same rectangle drop it
    label->setFrame({{0, 0}, {300, 61}});
    const auto list = rlDrawn(*label);
    ASSERT_EQ(list.images().size(), 1u);
    const auto& frame = *label->textFrame();
    double ascent = 0, descent = 0;
    frame.lines()[0]->typographicBounds(&ascent, &descent, nullptr);
    const cg::Rect expected{{frame.lineOrigins()[0].x + 3, frame.lineOrigins()[0].y - descent + 4}, {10, 12}};
    EXPECT_EQ(list.images()[0]->rect, expected); // in the engine's space
    EXPECT_EQ(list.images()[0]->state.ctm.apply(cg::Point{0, 0}).y, 61);

    struct Clamp {
        long index;
        std::size_t at;
    };
    for (const auto& c : std::vector<Clamp>{{-4, 0}, {2, 2}, {5, 5}, {40, 5}}) {
        SCOPED_TRACE(c.index);
        label->setText(ns::String::make("Hello"));
        label->insertImage(ui::Image::imageWithSize({4, 4}), c.index);
        const auto composed = label->mutableAttributedStringWithAdditions();
        ASSERT_EQ(composed->length(), 6u);
        EXPECT_EQ(composed->string()->characterAtIndex(c.at), u'\uFFFC');
    }
    label->setText(ns::String::make(""));
    label->insertImage(ui::Image::imageWithSize({4, 4}), 0);
    EXPECT_FALSE(label->mutableAttributedStringWithAdditions()); // no text: images are ignored
}

TEST(RLAttributedLabelDrawing, HighlightsTheTouchedLinkWithRoundedCornersInTheEngineSpace) {
    auto label = rlDrawingLabel("tap the link here", 300, 60);
    label->setTouchedLink(rlDrawingLink({4, 3}));
    const auto list = rlDrawn(*label);
    ASSERT_EQ(list.fills().size(), 1u);
    const auto& fill = *list.fills()[0];
    EXPECT_EQ(fill.state.fillColor->isEqual(ui::Color::colorWithWhite(0.5, 0.5)->cgColor().get()), true);
    const auto& frame = *label->textFrame();
    const cg::Rect q = rl::AttributedLabel::rectForRange({4, 3}, *frame.lines()[0], frame.lineOrigins()[0]);
    ASSERT_FALSE(q.isEmpty());
    const double x = q.origin.x, y = q.origin.y, w = q.size.width, h = q.size.height, pi = std::numbers::pi;
    using T = cg::PathElement::Type;
    auto point = [](T type, double px, double py) {
        cg::PathElement e;
        e.type = type;
        e.points[0] = {px, py};
        return e;
    };
    auto arc = [](double cx, double cy, double from, double to) {
        cg::PathElement e;
        e.type = T::Arc;
        e.points[0] = {cx, cy};
        e.radius = 1;
        e.startAngle = from;
        e.endAngle = to;
        e.clockwise = true;
        return e;
    };
    const std::vector<cg::PathElement> expected{
        point(T::MoveTo, x, y + 1),          point(T::LineTo, x, y + h - 1),     arc(x + 1, y + h - 1, pi, pi / 2),
        point(T::LineTo, x + w - 1, y + h), arc(x + w - 1, y + h - 1, pi / 2, 0), point(T::LineTo, x + w, y + 1),
        arc(x + w - 1, y + 1, 0, -pi / 2),  point(T::LineTo, x + 1, y),         arc(x + 1, y + 1, -pi / 2, pi),
    };
    EXPECT_EQ(fill.path->elements(), expected);
    // Whole runs, rounded: the run of the link is the whole unstyled line.
    EXPECT_EQ(q.size.width, std::round(17 * 9.375));
    // A person's picture: a touched link, two images and a truncated last line.
    auto picture = rlDrawingLabel(kFiveLines, 100, 40, 2);
    picture->insertImage(ui::Image::imageWithSize({8, 8}), 0);
    picture->insertImage(ui::Image::imageWithSize({8, 8}), 12);
    picture->setTouchedLink(rlDrawingLink({5, 9}));
    picture->setHighlighted(false);
    picture->setFrame({{0, 0}, {100, 41}});
    EXPECT_FALSE(testkit::snapshot(*picture, "rl_attributed_label_touched").empty());
}

} // namespace
