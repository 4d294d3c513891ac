// The typesetter on the model font (exact numbers): breaking, line boxes, sizes, flush, hit
// testing, truncation, run delegates; and on the real backend, invariants only.

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "platform/foundation/attributed_string.h"
#include "platform/runtime/number.h"
#include "platform/text/font_backend.h"
#include "platform/text/typesetter.h"

namespace {

using ns::Range;

rt::Ref<ns::AttributedString> text(std::string_view s, double size = 16, rt::Ref<ns::ParagraphStyle> style = nullptr) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ct::Font::withName("Model", size), ns::FontAttributeName);
    if (style) attributes->setObjectForKey(style, ns::ParagraphStyleAttributeName);
    return ns::AttributedString::make(s, attributes);
}

rt::Ref<ns::ParagraphStyle> style(auto&& configure) {
    auto s = ns::MutableParagraphStyle::make();
    configure(*s);
    return s;
}

std::string ranges(const ct::Frame& frame) {
    std::string out;
    for (const auto& line : frame.lines())
        out += "(" + std::to_string(line->stringRange().location) + "," + std::to_string(line->stringRange().length) + ")";
    return out;
}

std::string baselines(const ct::Frame& frame) {
    std::string out;
    for (cg::Point p : frame.lineOrigins()) out += std::to_string(int(p.y)) + (p.y == int(p.y) ? " " : "~ ");
    return out;
}

rt::Ref<ct::Frame> frameOf(const ns::AttributedString& s, double width, double height = 1000, Range range = {0, 0}) {
    return ct::Framesetter::make(s)->createFrame(range, cg::Rect::make(0, 0, width, height));
}

TEST(Typesetter, BreaksWordsLongWordsNewlinesAndCharacters) {
    EXPECT_EQ(ranges(*frameOf(*text("aaaa bbbb cccc"), 80)), "(0,5)(5,5)(10,4)");
    EXPECT_EQ(ranges(*frameOf(*text("abcdefghijkl"), 80)), "(0,8)(8,4)");
    EXPECT_EQ(ranges(*frameOf(*text("ab\ncd"), 80)), "(0,3)(3,2)");
    EXPECT_EQ(ranges(*frameOf(*text("ab\r\ncd\n"), 80)), "(0,4)(4,3)"); // CR LF is one newline
    EXPECT_EQ(ranges(*frameOf(*text("aaa-bbbbb"), 80)), "(0,4)(4,5)"); // after the hyphen
    EXPECT_EQ(ranges(*frameOf(*text("aaaa      bbbb"), 80)), "(0,10)(10,4)"); // spaces hang
    auto chars = style([](auto& s) { s.setLineBreakMode(ns::ParagraphStyle::LineBreak::CharWrapping); });
    EXPECT_EQ(ranges(*frameOf(*text("aaaa bbbb", 16, chars), 80)), "(0,8)(8,1)");
    auto clip = style([](auto& s) { s.setLineBreakMode(ns::ParagraphStyle::LineBreak::Clipping); });
    EXPECT_EQ(ranges(*frameOf(*text("aaaa bbbb cccc\nx", 16, clip), 80)), "(0,15)(15,1)");
    // Clusters and surrogate pairs stay whole, even in a line narrower than one of them.
    EXPECT_EQ(ranges(*frameOf(*text("\U0001F600\U0001F600e\u0301"), 5)), "(0,2)(2,2)(4,2)");
    // A lone surrogate is one cluster.
    auto lone = ns::MutableAttributedString::make(ns::String::fromUTF16(u"a\xD800" "b"));
    lone->addAttribute(ns::FontAttributeName, ct::Font::withName("Model", 16), {0, 3});
    EXPECT_EQ(ranges(*frameOf(*lone, 10)), "(0,1)(1,1)(2,1)");
}

TEST(Typesetter, FramesHoldWhatFitsOfTheRangeClampedToTheText) {
    EXPECT_EQ(frameOf(*text("aaaa bbbb cccc"), 80, 40)->lines().size(), 2u);
    EXPECT_EQ(frameOf(*text("aaaa bbbb cccc"), 80, 40)->visibleStringRange(), (Range{0, 10}));
    EXPECT_EQ(ranges(*frameOf(*text("aaaa bbbb cccc"), 80, 1000, {10, 100})), "(10,4)");
    EXPECT_EQ(frameOf(*text("aaaa bbbb cccc"), 80, 1000, {10, 100})->stringRange(), (Range{10, 4}));
    EXPECT_TRUE(frameOf(*text("abc"), 80, 1000, {50, 3})->lines().empty());
    EXPECT_TRUE(frameOf(*text("abc"), 80, 15)->lines().empty()); // not even one line
    EXPECT_TRUE(frameOf(*text(""), 80)->lines().empty());
    for (double bad : {-1.0, std::nan(""), double(INFINITY)}) {
        EXPECT_TRUE(frameOf(*text("abc"), bad)->lines().empty());
        EXPECT_TRUE(frameOf(*text("abc"), 80, bad)->lines().empty());
    }
}

TEST(Typesetter, BaselinesFollowLineHeightSpacingAndLimits) {
    const char* three = "aaaa bbbb cccc";
    EXPECT_EQ(baselines(*frameOf(*text(three), 80, 100)), "88 72 56 ");
    auto spaced = style([](auto& s) { s.setLineSpacing(4); });
    EXPECT_EQ(baselines(*frameOf(*text(three, 16, spaced), 80, 100)), "88 68 48 ");
    auto fixed = style([](auto& s) { s.setMinimumLineHeight(20), s.setMaximumLineHeight(20); });
    EXPECT_EQ(baselines(*frameOf(*text(three, 16, fixed), 80, 100)), "84 64 44 ");
    auto doubled = style([](auto& s) { s.setLineHeightMultiple(2); });
    EXPECT_EQ(baselines(*frameOf(*text(three, 16, doubled), 80, 100)), "72 40 8 ");
    // Alignment moves the origins: centre and right of "aaaa " in 100 (40 of ink).
    auto centred = style([](auto& s) { s.setAlignment(1); });
    EXPECT_EQ(frameOf(*text("aaaa ", 16, centred), 100)->lineOrigins()[0].x, 30);
    auto right = style([](auto& s) { s.setAlignment(2); });
    EXPECT_EQ(frameOf(*text("aaaa ", 16, right), 100)->lineOrigins()[0].x, 60);
    auto indented = style([](auto& s) { s.setFirstLineHeadIndent(20); });
    EXPECT_EQ(ranges(*frameOf(*text("aaaa bbbb", 16, indented), 80)), "(0,5)(5,4)");
    EXPECT_EQ(frameOf(*text("aaaa bbbb", 16, indented), 80)->lineOrigins()[0].x, 20);
}

TEST(Typesetter, SuggestsSizesWithoutRounding) {
    auto fs = ct::Framesetter::make(*text("aaaa bbbb cccc"));
    Range fit;
    EXPECT_EQ(fs->suggestFrameSizeWithConstraints({0, 0}, {80, 100000}, &fit), (cg::Size{40, 48}));
    EXPECT_EQ(fit, (Range{0, 14}));
    EXPECT_EQ(fs->suggestFrameSizeWithConstraints({0, 0}, {80, 40}, &fit), (cg::Size{40, 32}));
    EXPECT_EQ(fit, (Range{0, 10}));
    EXPECT_EQ(fs->suggestFrameSizeWithConstraints({0, 0}, {INFINITY, INFINITY}), (cg::Size{140, 16}));
    EXPECT_EQ(fs->suggestFrameSizeWithConstraints({0, 0}, {-1, 100}), (cg::Size{0, 0}));
    EXPECT_EQ(ct::Framesetter::make(*text("abc", 17))->suggestFrameSizeWithConstraints({0, 0}, {100, 100}),
              (cg::Size{31.875, 17}));
    // The runner's guide measure at 15 points, before rounding up: "abc", three lines, two.
    auto guide = ct::Framesetter::make(*text("ab cd ef", 15));
    EXPECT_EQ(ct::Framesetter::make(*text("abc", 15))->suggestFrameSizeWithConstraints({0, 0}, {300, 100000}),
              (cg::Size{28.125, 15}));
    EXPECT_EQ(guide->suggestFrameSizeWithConstraints({0, 0}, {30, 100000}), (cg::Size{18.75, 45}));
    EXPECT_EQ(guide->suggestFrameSizeWithConstraints({0, 6}, {30, 100000}), (cg::Size{18.75, 30}));
    EXPECT_EQ(guide->suggestFrameSizeWithConstraints({0, 0}, {100000, 100000}), (cg::Size{75, 15}));
}

TEST(Typesetter, LinesMeasureFlushAndHitTest) {
    auto line = ct::Line::make(*text("ab "));
    double ascent = 0, descent = 0, leading = -1;
    EXPECT_EQ(line->typographicBounds(&ascent, &descent, &leading), 30); // trailing space included
    EXPECT_EQ(ascent, 12);
    EXPECT_EQ(descent, 4);
    EXPECT_EQ(leading, 0);
    EXPECT_EQ(line->penOffsetForFlush(0, 100), 0);
    EXPECT_EQ(line->penOffsetForFlush(0.5, 100), 40);
    EXPECT_EQ(line->penOffsetForFlush(1, 100), 80);
    EXPECT_EQ(line->penOffsetForFlush(1, 10), 0);

    auto abcd = ct::Line::make(*text("abcd"));
    EXPECT_EQ(abcd->stringIndexForPosition({4, 0}), 0u);
    EXPECT_EQ(abcd->stringIndexForPosition({6, 0}), 1u);
    EXPECT_EQ(abcd->stringIndexForPosition({-5, 0}), 0u);
    EXPECT_EQ(abcd->stringIndexForPosition({100, 0}), 4u);
    EXPECT_EQ(abcd->offsetForStringIndex(3), 30);
    EXPECT_EQ(abcd->offsetForStringIndex(99), 40);
    auto emoji = ct::Line::make(*text("a\U0001F600b"));
    EXPECT_EQ(emoji->stringIndexForPosition({14, 0}), 1u);
    EXPECT_EQ(emoji->stringIndexForPosition({16, 0}), 3u); // never inside the pair
    EXPECT_EQ(emoji->offsetForStringIndex(2), 10);         // inside the pair: its start
    // Lines of a frame report indexes in the whole text.
    auto second = frameOf(*text("aaaa bbbb"), 80)->lines()[1];
    EXPECT_EQ(second->stringIndexForPosition({25, 0}), 8u);
    EXPECT_EQ(second->offsetForStringIndex(7), 20);
}

TEST(Typesetter, TruncatesWholeClustersOrGivesNil) {
    auto line = ct::Line::make(*text("abcdefghij"));
    auto token = ct::Line::make(*text("\u2026"));
    auto plain = [](const rt::Ref<ct::Line>& l) {
        std::string out;
        for (const auto& run : l->glyphRuns())
            for (std::uint32_t g : run->glyphs()) out += g == 0x2026 ? std::string("…") : std::string(1, char(g));
        return out;
    };
    EXPECT_EQ(plain(line->truncated(50, ct::TruncationType::End, token)), "abcd…");
    EXPECT_EQ(plain(line->truncated(50, ct::TruncationType::Start, token)), "…ghij");
    EXPECT_EQ(plain(line->truncated(50, ct::TruncationType::Middle, token)), "ab…ij");
    EXPECT_EQ(line->truncated(100, ct::TruncationType::End, token), line); // fits: unchanged
    EXPECT_FALSE(line->truncated(5, ct::TruncationType::End, token));
    EXPECT_EQ(plain(line->truncated(10, ct::TruncationType::End, token)), "…");
    EXPECT_EQ(plain(line->truncated(35, ct::TruncationType::End, nullptr)), "abc");
    // Pairs go whole.
    auto pairs = ct::Line::make(*text("\U0001F600\U0001F600\U0001F600"));
    auto cut = pairs->truncated(25, ct::TruncationType::End, token);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->stringRange(), (Range{0, 3}));
    EXPECT_EQ(cut->width(), 20);
}

TEST(Typesetter, RunDelegatesSizeAPlaceholderThatDrawsNothing) {
    auto reference = ns::str("image");
    rt::Weak<ns::String> seen;
    auto delegate = ct::RunDelegate::make({[&](const rt::Id& r) { seen = rt::cast<ns::String>(r); return 20.0; },
                                           [](const rt::Id&) { return 5.0; }, [](const rt::Id&) { return 30.0; }},
                                          reference);
    auto s = text("a\uFFFCb")->mutableCopy();
    s->addAttribute(ns::RunDelegateAttributeName, delegate, {1, 1});
    auto line = ct::Line::make(*s);
    auto runs = line->glyphRuns();
    ASSERT_EQ(runs.size(), 3u);
    std::vector<double> widths;
    for (const auto& run : runs) widths.push_back(run->typographicBounds(nullptr, nullptr, nullptr));
    EXPECT_EQ(widths, (std::vector<double>{10, 30, 10}));
    EXPECT_EQ(runs[1]->glyphCount(), 0u);
    EXPECT_EQ(seen.lock(), reference);
    double ascent = 0, descent = 0;
    line->typographicBounds(&ascent, &descent, nullptr);
    EXPECT_EQ(ascent, 20);
    EXPECT_EQ(descent, 5);
    // Bad answers are zero.
    auto bad = ct::RunDelegate::make({[](const rt::Id&) { return -3.0; }, {}, [](const rt::Id&) { return NAN; }}, nullptr);
    EXPECT_EQ(bad->ascent(), 0);
    EXPECT_EQ(bad->descent(), 0);
    EXPECT_EQ(bad->width(), 0);
}

TEST(Typesetter, RightToLeftSetsTheStatusBitOnly) {
    auto hebrew = ct::Line::make(*text("\u05D0\u05D1 ab"));
    EXPECT_EQ(hebrew->glyphRuns()[0]->status() & ct::Run::RightToLeft, ct::Run::RightToLeft);
    auto latin = text("ab")->mutableCopy();
    EXPECT_EQ(ct::Line::make(*latin)->glyphRuns()[0]->status(), ct::Run::NoStatus);
    latin->addAttribute(ns::WritingDirectionAttributeName, ns::Array::withObjects({ns::Number::withLong(1)}), {0, 2});
    EXPECT_EQ(ct::Line::make(*latin)->glyphRuns()[0]->status(), ct::Run::RightToLeft);
}

// ---- The real backend: invariants ----

class RealTypesetter : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = &ct::fontBackend();
        ct::setFontBackend(ct::realFontBackend());
    }
    void TearDown() override { ct::setFontBackend(*previous_); }
    ct::FontBackend* previous_ = nullptr;
};

const char* kParagraph = "The quick brown fox jumps over the lazy dog; fine fluffy waffles fill the office. "
                         "Ünïcödé, \U0001F600 and e\u0301 too. Antidisestablishmentarianism";

TEST_F(RealTypesetter, LinesFitCaretsRoundTripAndTruncationEndsInTheToken) {
    auto s = text(kParagraph, 17);
    auto frame = frameOf(*s, 120);
    ASSERT_GT(frame->lines().size(), 3u);
    std::size_t covered = 0;
    for (const auto& line : frame->lines()) {
        EXPECT_LE(line->width() - line->trailingWhitespaceWidth(), 120 + 1e-9);
        EXPECT_EQ(line->stringRange().location, covered);
        covered = line->stringRange().max();
        const ns::String& string = *s->string();
        for (std::size_t i = line->stringRange().location; i < line->stringRange().max();) {
            const double x = line->offsetForStringIndex(i);
            EXPECT_EQ(line->stringIndexForPosition({x, 0}), i) << "at " << i;
            i = string.rangeOfComposedCharacterSequenceAtIndex(i).max();
        }
        auto token = ct::Line::make(*text("\u2026", 17));
        auto cut = line->truncated(60, ct::TruncationType::End, token);
        ASSERT_TRUE(cut);
        EXPECT_LE(cut->width(), 60 + 1e-9);
        if (cut != line) {
            auto runs = cut->glyphRuns();
            EXPECT_EQ(runs.back()->stringRange().max(), cut->stringRange().max());
        }
    }
    EXPECT_EQ(covered, s->length());
}

TEST_F(RealTypesetter, CaretsInsideALigatureFallAtGraphemes) {
    auto line = ct::Line::make(*text("fi", 40));
    const double middle = line->offsetForStringIndex(1);
    EXPECT_GT(middle, 0);
    EXPECT_LT(middle, line->width());
    EXPECT_EQ(line->stringIndexForPosition({middle + 0.01, 0}), 1u);
}

TEST_F(RealTypesetter, TwoThreadsLayOutAtOnce) {
    auto fs = ct::Framesetter::make(*text(kParagraph, 17));
    const std::string expected = ranges(*fs->createFrame({0, 0}, cg::Rect::make(0, 0, 200, 1000)));
    std::string results[2];
    std::thread a([&] { for (int i = 0; i < 20; ++i) results[0] = ranges(*ct::Framesetter::make(*text(kParagraph, 17))->createFrame({0, 0}, cg::Rect::make(0, 0, 200, 1000))); });
    std::thread b([&] { for (int i = 0; i < 20; ++i) results[1] = ranges(*fs->createFrame({0, 0}, cg::Rect::make(0, 0, 200, 1000))); });
    a.join();
    b.join();
    EXPECT_EQ(results[0], expected);
    EXPECT_EQ(results[1], expected);
}

} // namespace

namespace {

TEST_F(RealTypesetter, GlyphCountsOfLinesAddUpAcrossLigaturesAndNewlines) {
    auto s = text("fi fl office\nfin\n\nfi", 17);
    auto frame = frameOf(*s, 30);
    std::size_t total = 0;
    for (const auto& line : frame->lines()) {
        std::size_t inRuns = 0;
        for (const auto& run : line->glyphRuns()) inRuns += run->glyphCount();
        EXPECT_EQ(line->glyphCount(), inRuns);
        EXPECT_LT(line->glyphCount(), 100u); // no wrap-around
        total += inRuns;
    }
    EXPECT_GT(total, 8u);
}

} // namespace
