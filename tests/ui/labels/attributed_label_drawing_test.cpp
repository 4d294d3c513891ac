// The attributed label as drawn: lines at their flush offsets, the last one truncated, shadows and
// the highlighted colour, shrinking to fit, run boxes and strikes, and the geometry queries that
// answer for what was drawn. Asserted on the display list; the model font's numbers: at 15 points
// a code point advances 9.375, ascent 11.25, descent 3.75.

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/error.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "platform/sim/run_text.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/app/snapshot.h"
#include "tests/testkit/app/text_cut_count.h"
#include "ui/labels/attributed_label.h"
#include "ui/labels/rl_attributed_label.h"

namespace {

constexpr double kAdvance = 9.375; // 15 points

rt::Ref<ns::MutableAttributedString> styled(const std::string& utf8, rt::Id colour = ui::Color::darkGrayColor()) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ui::Font::systemFontOfSize(15), ns::FontAttributeName);
    attributes->setObjectForKey(colour, ns::CTForegroundColorAttributeName);
    return ns::MutableAttributedString::make(utf8, attributes);
}

rt::Ref<tl::AttributedLabel> labelOf(const rt::Ref<ns::AttributedString>& text, double width, double height = 60,
                                     long lines = 0, ui::LineBreakMode mode = ui::LineBreakMode::WordWrapping) {
    auto label = tl::AttributedLabel::make(cg::Rect::make(0, 0, width, height));
    label->setNumberOfLines(lines);
    label->setLineBreakMode(mode);
    label->setText(text);
    return label;
}

cg::DisplayList drawnBy(ui::View& view) {
    cg::RecordingContext context;
    ui::renderView(view, context);
    return context.takeDisplayList();
}

// The model font's glyphs are code points.
std::string textOf(const cg::DrawCommand& run) {
    std::string text;
    for (std::uint32_t c : run.run->glyphs) text += c == 0x2026 ? std::string("\u2026") : std::string(1, char(c));
    return text;
}

// The text of each line drawn, top to bottom (runs at one baseline are one line).
std::vector<std::string> linesOf(const cg::DisplayList& list) {
    std::vector<std::string> lines;
    double baseline = NAN;
    for (const cg::DrawCommand* run : list.textRuns()) {
        const double y = cg::deviceOf(*run, run->run->origin).y;
        if (lines.empty() || y != baseline) lines.emplace_back();
        lines.back() += textOf(*run);
        baseline = y;
    }
    return lines;
}

TEST(AttributedLabelDrawing, TheRunnersLabelDrawsEveryLineCentredAndNeverTruncates) {
    std::string guide;
    while (guide.size() < 300) guide += "Hold the device still and press the button when the light comes on. ";
    const double height = tl::AttributedLabel::sizeThatFitsAttributedString(styled(guide), {300, 1e30}, 0).height;
    auto label = labelOf(styled(guide), 300, height + 3);
    label->setTextAlignment(ui::TextAlignment::Center);
    testkit::TextCutCount count;
    const cg::DisplayList list = drawnBy(*label);
    EXPECT_EQ(count.cuts, 0);
    std::string all;
    for (const cg::DrawCommand* run : list.textRuns()) {
        std::string line = textOf(*run);
        all += line;
        while (line.back() == ' ') line.pop_back();
        const double left = cg::glyphOrigins(*run).front().x;
        EXPECT_DOUBLE_EQ(left + double(line.size()) * kAdvance / 2, 150) << line;
    }
    EXPECT_EQ(list.textRuns().size(), std::size_t(height / 15));
    EXPECT_EQ(all, guide);
}

struct Cut {
    long lines;
    ui::LineBreakMode mode;
    double width;
    std::vector<std::string> drawn;
};

TEST(AttributedLabelDrawing, TheLastLineDrawnIsCutWhenTextRemains) {
    const Cut cases[] = {
        {2, ui::LineBreakMode::TruncatingHead, 100, {"abcdefghij ", "klmnopqrs\u2026"}}, // several lines: the tail
        {2, ui::LineBreakMode::TruncatingMiddle, 100, {"abcdefghij ", "klmnopqrs\u2026"}},
        {1, ui::LineBreakMode::TruncatingTail, 100, {"abcdefghi\u2026"}},
        {1, ui::LineBreakMode::TruncatingHead, 100, {"\u2026defghij \u2026"}}, // the line's text and the token, cut
        {1, ui::LineBreakMode::TruncatingMiddle, 100, {"abcde\u2026ij \u2026"}},
        {1, ui::LineBreakMode::WordWrapping, 100, {"abcdefghij "}},          // no token
        {1, ui::LineBreakMode::TruncatingTail, 5, {"\u2026"}},                  // too narrow: the token alone
    };
    for (const Cut& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lines << " lines, mode " << long(c.mode) << ", width " << c.width);
        auto label = labelOf(styled("abcdefghij klmnopqrst uvwxyz"), c.width, 60, c.lines, c.mode);
        testkit::TextCutCount count;
        EXPECT_EQ(linesOf(drawnBy(*label)), c.drawn);
        EXPECT_EQ(count.cuts, 1); // with the token or without
    }
}

struct Token {
    rt::Ref<ns::AttributedString> attributed;
    const char* string;
    rt::Ref<ui::Color> colour; // of the string's attributes
    std::string last;          // the last run drawn
    rt::Ref<cg::Color> drawnIn;
};

TEST(AttributedLabelDrawing, TheTokenIsTheAttributedOneElseTheStringInItsAttributesElseAnEllipsis) {
    const Token cases[] = {
        {styled("[more]", ui::Color::redColor()), "+", ui::Color::greenColor(), "[more]", ui::Color::redColor()->cgColor()},
        {nullptr, "+", ui::Color::greenColor(), "+", ui::Color::greenColor()->cgColor()},
        {nullptr, "+", nullptr, "abcdefghi+", ui::Color::darkGrayColor()->cgColor()}, // the text's attributes
        {nullptr, nullptr, nullptr, "abcdefghi\u2026", ui::Color::darkGrayColor()->cgColor()},
    };
    for (const Token& c : cases) {
        SCOPED_TRACE(c.last);
        auto label = labelOf(styled("abcdefghij klmnopqrst"), 100, 60, 1, ui::LineBreakMode::TruncatingTail);
        label->setAttributedTruncationToken(c.attributed);
        label->setTruncationTokenString(c.string ? ns::String::make(c.string) : nullptr);
        if (c.colour) {
            auto attributes = ns::MutableDictionary::make();
            attributes->setObjectForKey(c.colour, ns::CTForegroundColorAttributeName);
            label->setTruncationTokenStringAttributes(attributes);
        }
        const cg::DisplayList list = drawnBy(*label);
        ASSERT_FALSE(list.textRuns().empty());
        const cg::DrawCommand& last = *list.textRuns().back();
        EXPECT_EQ(textOf(last), c.last);
        EXPECT_TRUE(rt::equal(last.run->color.get(), c.drawnIn.get()));
    }
}

struct Shadowed {
    rt::Ref<ui::Color> shadow;
    bool highlighted;
    rt::Ref<ui::Color> expected;
};

TEST(AttributedLabelDrawing, TheShadowIsTheLabelsUnlessHighlightedOrUnsetThenTheHighlightedOne) {
    const Shadowed cases[] = {
        {nullptr, false, ui::Color::blueColor()}, {nullptr, true, ui::Color::blueColor()},
        {ui::Color::redColor(), false, ui::Color::redColor()}, {ui::Color::redColor(), true, ui::Color::blueColor()},
    };
    for (const Shadowed& c : cases) {
        auto label = labelOf(styled("abc"), 100);
        label->setShadowColor(c.shadow);
        label->setHighlightedShadowColor(ui::Color::blueColor());
        label->setHighlightedShadowOffset({2, 3});
        label->setHighlighted(c.highlighted);
        const cg::Shadow shadow = drawnBy(*label).textRuns().front()->state.shadow;
        EXPECT_TRUE(rt::equal(shadow.color.get(), c.expected->cgColor().get()));
        EXPECT_EQ(shadow.offset, (c.shadow && !c.highlighted ? cg::Size{0, -1} : cg::Size{2, 3}));
    }
}

TEST(AttributedLabelDrawing, TheHighlightedColourIsKeptUntilTheTextChanges) {
    auto label = labelOf(styled("abc"), 100);
    label->setHighlightedTextColor(ui::Color::redColor());
    label->setHighlighted(true);
    auto colourDrawn = [&] { return drawnBy(*label).textRuns().front()->run->color; };
    EXPECT_TRUE(rt::equal(colourDrawn().get(), ui::Color::redColor()->cgColor().get()));
    label->setHighlightedTextColor(ui::Color::blueColor());
    EXPECT_TRUE(rt::equal(colourDrawn().get(), ui::Color::redColor()->cgColor().get()));
    label->setText(styled("abcd"));
    EXPECT_TRUE(rt::equal(colourDrawn().get(), ui::Color::blueColor()->cgColor().get()));
    label->setHighlighted(false);
    EXPECT_TRUE(rt::equal(colourDrawn().get(), ui::Color::darkGrayColor()->cgColor().get()));
}

struct Shrink {
    double width, minimumScale, size;
};

TEST(AttributedLabelDrawing, ShrinkingToFitDrawsSmallerFontsForThatPassOnly) {
    // 20 code points at 15 points: 187.5, measured 188.
    const Shrink cases[] = {
        {100, 0, 7},    // floor(15 x 100 / 188)
        {100, 0.6, 9},  // never below the minimum scale
        {400, 0, 15},   // fits
    };
    for (const Shrink& c : cases) {
        SCOPED_TRACE(c.width);
        auto label = labelOf(styled("abcdefghijklmnopqrst"), c.width, 60, 1, ui::LineBreakMode::TruncatingTail);
        label->setAdjustsFontSizeToFitWidth(true);
        label->setMinimumScaleFactor(c.minimumScale);
        const auto stored = label->attributedText();
        (void)label->framesetter();
        const std::size_t requests = label->displayRequestCount(), builds = label->framesetterBuildCount();
        const cg::DisplayList list = drawnBy(*label);
        EXPECT_EQ(list.textRuns().front()->run->font->pointSize(), c.size);
        EXPECT_EQ(label->attributedText(), stored);
        EXPECT_EQ(label->framesetterBuildCount(), builds);
        EXPECT_EQ(label->displayRequestCount(), requests);
    }
}

// ---- Geometry ----

// Both attributed labels draw their text as every label does: the run's values masked in the text
// read whole, so a password split across two runs of attributes, or an identity spelled across
// three, is drawn masked in the attributes its first character had, and told drawn so; the label
// keeps its text.
TEST(AttributedLabelDrawing, BothLabelsDrawTheRunsValuesMaskedAcrossRunsOfAttributes) {
    sim::RunSecrets run;
    sim::addRunSecret(sim::Secret("Zq7pw"), "***");
    sim::addRunSecret(sim::Secret("F2LXK0AAHG7F"), "********HG7F", sim::SecretSpelling::Identifier);
    auto text = styled("Zq7");
    text->appendAttributedString(*styled("pw and F2LX ", ui::Color::redColor()));
    text->appendAttributedString(*styled("K0AA HG7F"));
    std::vector<std::string> told;
    const auto token = ui::addTextDrawnObserver(
        [&](const ui::View&, const ns::String& drawn, bool) { told.push_back(drawn.utf8()); });
    auto tl = labelOf(text, 400);
    auto rl = rl::AttributedLabel::make(cg::Rect::make(0, 0, 400, 60));
    rl->setAttributedText(text);
    auto plain = rt::make<ui::Label>(cg::Rect::make(0, 0, 400, 60));
    plain->setAttributedText(text);
    for (ui::View* label : {static_cast<ui::View*>(tl.get()), static_cast<ui::View*>(rl.get()),
                            static_cast<ui::View*>(plain.get())}) {
        const cg::DisplayList list = drawnBy(*label);
        EXPECT_EQ(linesOf(list), std::vector<std::string>{"*** and ********HG7F"});
        EXPECT_EQ(list.textRuns().front()->run->glyphs.size(), 3u); // "***" in the first run's colour
    }
    ui::removeTextDrawnObserver(token);
    EXPECT_EQ(told, std::vector<std::string>(3, "*** and ********HG7F"));
    EXPECT_EQ(tl->attributedText()->string()->utf8(), "Zq7pw and F2LX K0AA HG7F");
}

TEST(AttributedLabelGeometry, APointAQuarterIntoADrawnGlyphGivesItsCharacter) {
    const std::string text = "abcdefghij klmnop qrs";
    for (auto alignment : {ui::TextAlignment::Left, ui::TextAlignment::Center, ui::TextAlignment::Right}) {
        SCOPED_TRACE(long(alignment));
        auto label = labelOf(styled(text), 120, 80);
        label->setTextAlignment(alignment);
        std::size_t index = 0;
        const cg::DisplayList list = drawnBy(*label);
        for (const cg::DrawCommand* run : list.textRuns()) {
            for (const cg::Point origin : cg::glyphOrigins(*run)) {
                const std::size_t at = index++;
                if (text[at] == ' ') continue; // spaces hang past the line
                EXPECT_EQ(label->characterIndexAtPoint({origin.x + kAdvance / 4, origin.y - 3}), at) << text[at];
            }
        }
        EXPECT_EQ(index, text.size());
    }
}

struct Miss {
    const char* why;
    ui::TextAlignment alignment;
    cg::Point point;
};

TEST(AttributedLabelGeometry, PointsBesideTheTextFindNothing) {
    // Insets of 10 all round; lines 15 high with 10 between them, from y 10 (top aligned).
    const Miss cases[] = {
        {"outside the bounds", ui::TextAlignment::Left, {-1, 15}},
        {"in the insets", ui::TextAlignment::Left, {5, 15}},
        {"between lines", ui::TextAlignment::Left, {15, 30}},
        {"left of a right-aligned line", ui::TextAlignment::Right, {15, 15}},
    };
    for (const Miss& c : cases) {
        SCOPED_TRACE(c.why);
        auto label = tl::AttributedLabel::make(cg::Rect::make(0, 0, 120, 80));
        label->setFont(ui::Font::systemFontOfSize(15));
        label->setNumberOfLines(0);
        label->setTextAlignment(c.alignment);
        label->setLineSpacing(10);
        label->setTextInsets({10, 10, 10, 10});
        label->setVerticalAlignment(tl::VerticalAlignment::Top);
        label->setText(ns::String::make("abcdefghij kl"));
        EXPECT_EQ(label->characterIndexAtPoint(c.point), ns::NotFound);
        EXPECT_NE(label->characterIndexAtPoint({c.alignment == ui::TextAlignment::Right ? 105.0 : 15.0, 15}),
                  ns::NotFound);
    }
}

TEST(AttributedLabelGeometry, ARangesRectangleIsItsLayoutInTheBoundsWhateverTheInsets) {
    auto plain = labelOf(styled("abcdefghij klmnop"), 100, 100);
    auto inset = labelOf(styled("abcdefghij klmnop"), 100, 100);
    inset->setTextInsets({10, 20, 10, 20});
    inset->setVerticalAlignment(tl::VerticalAlignment::Bottom);
    EXPECT_EQ(plain->boundingRectForCharacterRange({4, 1}), cg::Rect::make(4 * kAdvance, 0, kAdvance, 15));
    EXPECT_EQ(inset->boundingRectForCharacterRange({4, 1}), plain->boundingRectForCharacterRange({4, 1}));
    // Over two lines: from the first line's top to the second's bottom.
    EXPECT_EQ(plain->boundingRectForCharacterRange({8, 5}), cg::Rect::make(0, 0, 11 * kAdvance, 30));
    EXPECT_EQ(plain->boundingRectForCharacterRange({8, 0}), cg::Rect::zero());
}

// ---- Decorations ----

struct Decoration {
    const char* what;
    std::vector<std::pair<const char*, rt::Id>> attributes; // over "cd" of "ab cd"
    std::optional<cg::Rect> box;                          // x, width, height as drawn
    bool filled, stroked;
    rt::Ref<cg::Color> strike;
};

TEST(AttributedLabelDecorations, BoxesAndStrikesFollowTheRunsAttributes) {
    const double x = 3 * kAdvance, w = 2 * kAdvance, line = 5 * kAdvance;
    auto red = ui::Color::redColor();
    const auto padding = ns::Value::with(ui::EdgeInsets{0, 50, 0, 50});
    auto rtl = ns::Array::make({ns::Number::withInt(1)});
    const Decoration cases[] = {
        {"fill", {{tl::BackgroundFillColorAttributeName, red}}, cg::Rect::make(x - 1, 0, w + 2, 15), true, false, nullptr},
        {"stroke", {{tl::BackgroundStrokeColorAttributeName, red->cgColor()}}, cg::Rect::make(x - 1, 0, w + 2, 15), false, true, nullptr},
        {"neither", {{tl::BackgroundFillPaddingAttributeName, padding}}, std::nullopt, false, false, nullptr},
        {"not a colour", {{tl::BackgroundFillColorAttributeName, ns::String::make("red")}}, std::nullopt, false, false, nullptr},
        {"clamped to the line", {{tl::BackgroundFillColorAttributeName, red}, {tl::BackgroundFillPaddingAttributeName, padding}},
         cg::Rect::make(x - 50 - 1, 0, line + 2, 15), true, false, nullptr},
        {"line width 2", {{tl::BackgroundFillColorAttributeName, red}, {tl::BackgroundLineWidthAttributeName, ns::Number::withInt(2)}},
         cg::Rect::make(x - 1 + 2, 0, w + 2 - 4, 11), true, false, nullptr},
        {"right to left", {{tl::BackgroundFillColorAttributeName, red}, {ns::WritingDirectionAttributeName, rtl}},
         cg::Rect::make(line - 1, 0, w + 2, 15), true, false, nullptr},
        {"strike in black", {{tl::StrikeOutAttributeName, ns::Number::withBool(true)}, {ns::CTForegroundColorAttributeName, nullptr}},
         std::nullopt, false, false, cg::Color::black()},
        {"strike in a ui colour", {{tl::StrikeOutAttributeName, ns::Number::withInt(1)}}, std::nullopt, false, false,
         ui::Color::darkGrayColor()->cgColor()},
        {"strike in a cg colour", {{tl::StrikeOutAttributeName, ns::Number::withBool(true)}, {ns::CTForegroundColorAttributeName, red->cgColor()}},
         std::nullopt, false, false, red->cgColor()},
        {"strike in a non-colour", {{tl::StrikeOutAttributeName, ns::Number::withBool(true)}, {ns::CTForegroundColorAttributeName, ns::String::make("red")}},
         std::nullopt, false, false, cg::Color::black()},
    };
    for (const Decoration& c : cases) {
        SCOPED_TRACE(c.what);
        auto text = styled("ab cd");
        for (const auto& [key, value] : c.attributes) {
            if (value) text->addAttribute(key, value, {3, 2});
            else text->removeAttribute(key, {3, 2});
        }
        const cg::DisplayList list = drawnBy(*labelOf(text, 300, 40, 1));
        EXPECT_EQ(list.fills().size(), c.filled ? 1u : 0u);
        EXPECT_EQ(list.strokes().size(), c.stroked || c.strike ? 1u : 0u);
        if (c.box) {
            const cg::DrawCommand& box = *(c.filled ? list.fills() : list.strokes()).front();
            const cg::Rect bounds = box.path->boundingBox();
            const cg::Point a = cg::deviceOf(box, bounds.origin), b = cg::deviceOf(box, {bounds.maxX(), bounds.maxY()});
            EXPECT_NEAR(a.x, c.box->minX(), 1e-9);
            EXPECT_NEAR(b.x - a.x, c.box->width(), 1e-9);
            EXPECT_NEAR(std::abs(b.y - a.y), c.box->height(), 1e-9);
            EXPECT_EQ(box.state.lineJoin, cg::LineJoin::Round);
        }
        if (c.strike) {
            const cg::DrawCommand& strike = *list.strokes().front();
            EXPECT_TRUE(rt::equal(strike.state.strokeColor.get(), c.strike.get()));
            EXPECT_EQ(strike.state.lineWidth, 17.0 / 16); // the label's font underlines 1/16 of its size
            EXPECT_EQ(cg::deviceOf(strike, strike.path->boundingBox().origin).x, x);
        }
    }
}

TEST(AttributedLabelDecorations, ASuperscriptsStrikeIsLowerAndASubscriptsHigher) {
    auto text = styled("ab cd ef");
    text->addAttribute(tl::StrikeOutAttributeName, ns::Number::withBool(true), {0, 8});
    text->addAttribute(ns::SuperscriptAttributeName, ns::Number::withInt(1), {3, 2});
    text->addAttribute(ns::SuperscriptAttributeName, ns::Number::withInt(-1), {6, 2});
    const cg::DisplayList list = drawnBy(*labelOf(text, 300, 60, 1));
    const auto strikes = list.strokes();
    ASSERT_EQ(strikes.size(), 4u); // "ab ", "cd", " ", "ef"
    auto yOf = [](const cg::DrawCommand* s) { return cg::deviceOf(*s, s->path->boundingBox().origin).y; };
    EXPECT_NEAR(yOf(strikes[1]) - yOf(strikes[0]), 0.47 * 11.25, 1); // y down: lower is larger
    EXPECT_NEAR(yOf(strikes[0]) - yOf(strikes[3]), 0.25 * 11.25, 1);
    EXPECT_EQ(yOf(strikes[0]), yOf(strikes[2]));
}

// ---- Pictures for a person (not compared) ----

TEST(AttributedLabelPictures, TheRunnersGuideAndADecoratedTruncatedLabel) {
    auto guide = styled("Hold the device still, then press the button when the light at the top of the screen "
                        "comes on. Keep it still until the counter reaches zero.");
    const double height = tl::AttributedLabel::sizeThatFitsAttributedString(guide, {300, 1e30}, 0).height;
    auto runner = labelOf(guide, 300, height + 3);
    runner->setTextAlignment(ui::TextAlignment::Center);
    runner->setFrame(cg::Rect::make(5, 0, 300, height + 3));
    auto holder = rt::make<ui::View>(cg::Rect::make(0, 0, 310, height + 3));
    holder->setBackgroundColor(ui::Color::whiteColor());
    holder->addSubview(runner);
    EXPECT_FALSE(testkit::snapshot(*holder, "attributed_label_runner_guide").empty());

    auto decorated = styled("Boxed, struck and a long tail that is cut at the end of the second line");
    decorated->addAttribute(tl::BackgroundFillColorAttributeName, ui::Color::yellowColor(), {0, 5});
    decorated->addAttribute(tl::BackgroundStrokeColorAttributeName, ui::Color::orangeColor(), {0, 5});
    decorated->addAttribute(tl::BackgroundCornerRadiusAttributeName, ns::Number::withInt(4), {0, 5});
    decorated->addAttribute(tl::StrikeOutAttributeName, ns::Number::withBool(true), {7, 6});
    auto label = labelOf(decorated, 240, 40, 2, ui::LineBreakMode::TruncatingTail);
    label->setBackgroundColor(ui::Color::whiteColor());
    EXPECT_FALSE(testkit::snapshot(*label, "attributed_label_decorated").empty());
}

} // namespace
