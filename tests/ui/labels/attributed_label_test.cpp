// The attributed label: its text in three layers (as set, as rendered, as typeset), measuring
// attributed text with the text engine for a width and a line limit, and the text rectangle.

#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/recording_context.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/number.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/latch.h"
#include "ui/labels/attributed_label.h"

namespace {

rt::Ref<ns::AttributedString> text(const char* utf8, double size = 15) {
    if (!utf8) return nullptr;
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ui::Font::systemFontOfSize(size), ns::FontAttributeName);
    attributes->setObjectForKey(ui::Color::darkGrayColor()->cgColor(), ns::CTForegroundColorAttributeName);
    return ns::AttributedString::make(utf8, attributes);
}

struct Measure {
    const char* text;
    double width, height;
    unsigned long limit;
    cg::Size expected;
};

TEST(AttributedLabelSizing, MeasuresWithTheEngineForAWidthAndALineLimit) {
    const double huge = std::numeric_limits<float>::max();
    // The model font: a code point advances 0.625 of the size, a line is the size high.
    const Measure cases[] = {
        {"abc", 365, huge, 0, {29, 15}},        // 28.125 rounded up
        {"ab cd ef", 30, huge, 0, {19, 45}},    // three lines, the hanging spaces not counted
        {"ab cd ef", 30, huge, 2, {19, 30}},    // the first two lines
        {"ab cd ef", 30, huge, 1, {75, 15}},    // one unbroken line, wider than the constraint
        {"ab cd ef", 30, 20, 0, {19, 45}},      // the constraint's height never limits
        {"ab cd ef", 30, huge, 7, {19, 45}},    // a limit above the lines keeps them all
        {"abcdefghij", 30, huge, 0, {29, 60}},  // a word wider than the line breaks between characters
        {"ab\ncd", 300, huge, 0, {19, 30}},     // a newline ends its line
        {"", 300, huge, 0, {0, 0}},
        {nullptr, 300, huge, 0, {0, 0}},
    };
    for (const Measure& m : cases) {
        SCOPED_TRACE(m.text ? m.text : "nil");
        const cg::Size size =
            tl::AttributedLabel::sizeThatFitsAttributedString(text(m.text), {m.width, m.height}, m.limit);
        EXPECT_EQ(size, m.expected);
    }
}

TEST(AttributedLabelSizing, TheClassMethodAnswersByNameAsInCode) {
    const rt::Class* cls = rt::Class::named("TLAttributedLabel");
    ASSERT_TRUE(cls);
    auto boxed = rt::send(*cls, rt::Sel("sizeThatFitsAttributedString:withConstraints:limitedToNumberOfLines:"),
                          rt::Id(text("ab cd ef")), cg::Size{30, 10}, 2UL);
    auto size = cg::unboxed<cg::Size>(boxed);
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (cg::Size{19, 30}));
}

TEST(AttributedLabel, KeepsAttributedTextAsGivenAndStylesPlainText) {
    auto label = tl::AttributedLabel::make();
    auto guide = ns::MutableAttributedString::make("guide");
    label->setText(guide);
    guide->appendAttributedString(*ns::AttributedString::make(" changed later"));
    ASSERT_TRUE(label->attributedText());
    EXPECT_EQ(label->attributedText()->string()->utf8(), "guide"); // a copy: later edits stay outside
    EXPECT_EQ(label->text()->utf8(), "guide");

    label->setFont(ui::Font::systemFontOfSize(20));
    label->setText(ns::String::make("plain"));
    auto font = rt::cast<ui::Font>(label->attributedText()->attributeAtIndex(ns::FontAttributeName, 0));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->pointSize(), 20);
    label->setNumberOfLines(0);
    EXPECT_EQ(label->sizeThatFits({1000, 1000}), (cg::Size{63, 20})); // 5 x 12.5, rounded up

    label->setText(rt::Id(ns::Number::withInt(3))); // neither text nor attributed text: cleared
    EXPECT_FALSE(label->attributedText());
    EXPECT_FALSE(label->text());
}

// ---- Text ----

struct Inherited {
    long lines;
    ui::LineBreakMode mode;
    ns::ParagraphStyle::LineBreak wrap;
};

TEST(AttributedLabelText, PlainTextTakesTheLabelsAttributesOverAllOfIt) {
    const Inherited cases[] = {
        {1, ui::LineBreakMode::TruncatingMiddle, ns::ParagraphStyle::LineBreak::TruncatingMiddle},
        {0, ui::LineBreakMode::TruncatingMiddle, ns::ParagraphStyle::LineBreak::WordWrapping},
        {2, ui::LineBreakMode::CharWrapping, ns::ParagraphStyle::LineBreak::WordWrapping},
    };
    for (const Inherited& c : cases) {
        SCOPED_TRACE(c.lines);
        auto label = tl::AttributedLabel::make();
        label->setFont(ui::Font::systemFontOfSize(20));
        label->setTextColor(ui::Color::redColor());
        label->setNumberOfLines(c.lines);
        label->setLineBreakMode(c.mode);
        label->setText(ns::String::make("plain text"));
        ns::Range run;
        auto attributes = label->attributedText()->attributesAtIndex(0, &run);
        EXPECT_EQ(run, (ns::Range{0, 10}));
        EXPECT_EQ(attributes->objectForKey(ns::FontAttributeName), rt::Id(label->font()));
        EXPECT_EQ(attributes->objectForKey(ns::CTForegroundColorAttributeName), rt::Id(label->textColor()));
        auto kern = rt::cast<ns::Number>(attributes->objectForKey(ns::KernAttributeName));
        ASSERT_TRUE(kern);
        EXPECT_TRUE(kern->kind() == ns::Number::Kind::Double && kern->doubleValue() == 0);
        auto style = rt::cast<ns::ParagraphStyle>(attributes->objectForKey(ns::ParagraphStyleAttributeName));
        ASSERT_TRUE(style);
        EXPECT_EQ(style->minimumLineHeight(), 20);
        EXPECT_EQ(style->maximumLineHeight(), 20);
        EXPECT_EQ(style->lineBreakMode(), c.wrap);
    }
}

TEST(AttributedLabelText, AttributedTextIsKeptAndTheInheritingFormOverwritesThenConfigures) {
    auto label = tl::AttributedLabel::make();
    auto guide = text("guide", 30);
    label->setText(guide);
    EXPECT_TRUE(label->attributedText()->isEqualToAttributedString(guide.get())); // no label attributes added
    EXPECT_EQ(label->text()->utf8(), "guide");

    label->setKern(2);
    rt::Ref<ns::MutableAttributedString> given;
    label->setTextAfterInheritingLabelAttributes(guide, [&](const rt::Ref<ns::MutableAttributedString>& string) {
        given = string;
        return ns::AttributedString::make("configured");
    });
    ASSERT_TRUE(given);
    const auto inherited = tl::inheritedLabelAttributes(*label);
    for (const char* key : {ns::FontAttributeName, ns::CTForegroundColorAttributeName, ns::KernAttributeName,
                            ns::ParagraphStyleAttributeName})
        EXPECT_TRUE(rt::equal(given->attributeAtIndex(key, 4).get(), inherited->objectForKey(key).get())) << key;
    EXPECT_EQ(label->text()->utf8(), "configured");
}

TEST(AttributedLabelText, CachesFollowOnlyANewTextOrAnotherColourObject) {
    auto label = tl::AttributedLabel::make();
    label->setTextColor(ui::Color::redColor());
    auto marked = text("ab", 30)->mutableCopy();
    marked->appendAttributedString(*text("cd", 30));
    marked->addAttribute(ns::CTForegroundColorFromContextAttributeName, ns::Number::withBool(false), {2, 2});
    label->setText(marked);
    const auto framesetter = label->framesetter();

    // The marked range is drawn in the text colour and nothing else; the stored text keeps its font.
    auto rendered = label->renderedAttributedText()->attributesAtIndex(3);
    EXPECT_EQ(rendered->count(), 1u);
    EXPECT_EQ(rendered->objectForKey(ns::CTForegroundColorAttributeName), rt::Id(ui::Color::redColor()));
    EXPECT_TRUE(label->attributedText()->attributeAtIndex(ns::FontAttributeName, 3));

    const std::size_t requests = label->displayRequestCount(), invalidations = label->intrinsicContentSizeInvalidationCount();
    label->setText(marked->copy()); // equal: nothing happens
    EXPECT_EQ(label->displayRequestCount(), requests);
    EXPECT_EQ(label->intrinsicContentSizeInvalidationCount(), invalidations);
    label->setTextColor(label->textColor()); // the same object
    EXPECT_EQ(label->framesetter(), framesetter);
    EXPECT_EQ(label->framesetterBuildCount(), 1u);

    label->setTextColor(ui::Color::colorWithRed(1, 0, 0, 1)); // equal, another object
    EXPECT_NE(label->framesetter(), framesetter);
    EXPECT_EQ(label->framesetterBuildCount(), 2u);
    label->setTextColor(nullptr); // black
    EXPECT_TRUE(rt::equal(label->renderedAttributedText()->attributeAtIndex(ns::CTForegroundColorAttributeName, 3).get(),
                          ui::Color::blackColor().get()));

    // Settings for the next plain string redraw nothing and change nothing set.
    const std::size_t before = label->displayRequestCount();
    label->setKern(3);
    label->setTextInsets({1, 1, 1, 1});
    label->setLineSpacing(4);
    EXPECT_EQ(label->displayRequestCount(), before);
    EXPECT_FALSE(label->attributedText()->attributeAtIndex(ns::KernAttributeName, 0));
    label->setHighlighted(true);
    EXPECT_GT(label->displayRequestCount(), before);
}

TEST(AttributedLabelText, ThreadsAskingAfterOneChangeShareOneFramesetter) {
    auto label = tl::AttributedLabel::make();
    label->setText(ns::String::make(std::string(300, 'x')));
    constexpr int kThreads = 8;
    testkit::Latch ready(kThreads), go, done(kThreads);
    std::vector<rt::Ref<ct::Framesetter>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            ready.countDown();
            (void)go.wait();
            seen[std::size_t(i)] = label->framesetter();
            done.countDown();
        });
    ASSERT_TRUE(ready.wait());
    go.countDown();
    EXPECT_TRUE(done.wait());
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(label->framesetterBuildCount(), 1u);
    for (const auto& framesetter : seen) EXPECT_EQ(framesetter, seen.front());
}

TEST(AttributedLabelText, AnotherThreadAsksForTheFramesetterWhileTheMainThreadChangesTheText) {
    auto label = tl::AttributedLabel::make(cg::Rect::make(0, 0, 200, 40));
    label->setHighlightedTextColor(ui::Color::greenColor());
    const std::vector<std::string> texts{"the first text", "the second text"};
    label->setText(ns::String::make(texts[0]));
    constexpr int kRounds = 200;
    testkit::Latch started;
    std::vector<std::string> seen;
    std::thread asker([&] {
        started.countDown();
        for (int i = 0; i < kRounds; ++i)
            if (const auto framesetter = label->framesetter())
                seen.push_back(framesetter->attributedString()->string()->utf8());
    });
    ASSERT_TRUE(started.wait());
    for (int i = 0; i < kRounds; ++i) {
        label->setText(ns::String::make(texts[std::size_t(i % 2)]));
        label->setTextColor(i % 3 ? ui::Color::redColor() : ui::Color::blueColor());
        label->setHighlighted(i % 4 == 0);
        cg::RecordingContext context;
        ui::renderView(*label, context);
    }
    asker.join();
    EXPECT_EQ(seen.size(), std::size_t(kRounds));
    for (const std::string& text : seen)
        EXPECT_TRUE(text == texts[0] || text == texts[1]) << text;
}

// ---- Sizing and the text rectangle ----

struct LabelMeasure {
    const char* text;
    ui::EdgeInsets insets;
    long lines;
    bool token;
    cg::Size fits; // sizeThatFits((300, 20))
};

TEST(AttributedLabelSizing, TheLabelMeasuresItsTextAndTokenPlusItsInsets) {
    // "aaaa " x 25 at 15 points wraps to five lines of six words at 300.
    std::string five;
    for (int i = 0; i < 25; ++i) five += "aaaa ";
    const LabelMeasure cases[] = {
        {five.c_str(), {}, 0, false, {272, 75}},      // the height never limits; 271.875 rounded up
        {five.c_str(), {5, 5, 5, 5}, 0, false, {282, 85}},
        {"abc", {}, 0, true, {29, 15}},                // the token lengthens the range, held to the text
        {"abc", {}, 1, true, {29, 15}},
        {"abc", {}, 2, false, {29, 15}},
        {nullptr, {}, 0, false, {0, 0}},               // no text: the base label's (no text either)
    };
    for (const LabelMeasure& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "nil");
        auto label = tl::AttributedLabel::make();
        label->setText(text(c.text));
        label->setTextInsets(c.insets);
        label->setNumberOfLines(c.lines);
        if (c.token) label->setAttributedTruncationToken(text("[more]"));
        EXPECT_EQ(label->sizeThatFits({300, 20}), c.fits);
    }
}

struct TextRect {
    tl::VerticalAlignment alignment;
    const char* text;
    double fontSize; // the label's
    double y, height;
};

TEST(AttributedLabelLayout, TheTextRectangleIsTheInsetBoundsAtLeastTwoLinesHighPlacedByTheAlignment) {
    // Insets (10, 20, 10, 20) on 200 x 100: 80 high inside; the model font at 17 is 17 a line.
    const char* six = "aaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaa b";
    const TextRect cases[] = {
        {tl::VerticalAlignment::Center, "one", 17, 10 + 32, 80},         // floor((80 - 15) / 2)
        {tl::VerticalAlignment::Top, "one", 17, 10, 80},
        {tl::VerticalAlignment::Bottom, "one", 17, 10 + 80 - 15, 80},
        {tl::VerticalAlignment(7), "one", 17, 10, 80},                    // as top
        {tl::VerticalAlignment::Center, "one", 50, 10 + 32, 100},         // two lines of the label's font
        {tl::VerticalAlignment::Bottom, six, 50, 10, 100},                // six lines, 90: not moved
    };
    for (const TextRect& c : cases) {
        SCOPED_TRACE(c.text);
        auto label = tl::AttributedLabel::make(cg::Rect::make(0, 0, 200, 100));
        label->setTextInsets({10, 20, 10, 20});
        label->setVerticalAlignment(c.alignment);
        label->setNumberOfLines(0);
        label->setFont(ui::Font::systemFontOfSize(c.fontSize));
        label->setText(text(c.text));
        EXPECT_EQ(label->textRectForBounds(label->bounds(), 0), cg::Rect::make(20, c.y, 160, c.height));
    }
}

} // namespace
