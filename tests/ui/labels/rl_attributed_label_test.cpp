// The second attributed label: the string styling helpers and their mappings, the label's text,
// its cached text frame and sizing.

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/url.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"
#include "ui/labels/rl_attributed_label.h"
#include "ui/labels/rl_string_additions.h"

namespace {

rt::Id rlValue(const ns::AttributedString& str, const char* name, std::size_t index = 0) {
    return str.length() ? str.attributeAtIndex(name, index) : nullptr;
}

long rlNumber(const rt::Id& value) {
    auto number = rt::cast<ns::Number>(value);
    return number ? static_cast<long>(number->longLongValue()) : -1;
}

TEST(RLStringAdditions, SetsOneAttributeOverARangeOrTheWholeString) {
    struct Case {
        const char* name;
        const char* text;
        std::function<void(ns::MutableAttributedString&)> act;
        std::function<void(const ns::MutableAttributedString&)> check;
    };
    const auto red = ui::Color::redColor();
    const std::vector<Case> cases{
        {"whole-string forms on an empty string change nothing", "",
         [&](auto& s) {
             rl::setFont(s, ui::Font::systemFontOfSize(12));
             rl::setTextColor(s, red);
             rl::setKern(s, 2);
             rl::setTextAlignment(s, 2, 1, 10);
             rl::setLetterpressEnabled(s, true);
         },
         [](const auto& s) { EXPECT_TRUE(s.runs().empty() || s.runs().front().attributes->count() == 0); }},
        {"a nil font removes every font", "abcdef",
         [](auto& s) {
             rl::setFont(s, ui::Font::systemFontOfSize(12), {0, 2});
             rl::setFont(s, ui::Font::boldSystemFontOfSize(14), {3, 2});
             rl::setFont(s, nullptr);
         },
         [](const auto& s) {
             for (std::size_t i = 0; i < s.length(); ++i) EXPECT_FALSE(rlValue(s, ns::FontAttributeName, i));
         }},
        {"underline style 1, modifier 0 stores 1; style 0 stores 0", "ab",
         [](auto& s) {
             rl::setUnderlineStyle(s, 1, 0, {0, 1});
             rl::setUnderlineStyle(s, 0, 0, {1, 1});
         },
         [](const auto& s) {
             EXPECT_EQ(rlNumber(rlValue(s, ns::UnderlineStyleAttributeName, 0)), 1);
             EXPECT_EQ(rlNumber(rlValue(s, ns::UnderlineStyleAttributeName, 1)), 0);
         }},
        {"underline style and modifier are or-ed", "ab", [](auto& s) { rl::setUnderlineStyle(s, 1, 0x200); },
         [](const auto& s) { EXPECT_EQ(rlNumber(rlValue(s, ns::UnderlineStyleAttributeName)), 0x201); }},
        {"a stroke colour without a drawing colour adds nothing and clears the old", "ab",
         [&](auto& s) {
             rl::setStrokeColor(s, red);
             rl::setStrokeColor(s, nullptr, {0, 1});
         },
         [&](const auto& s) {
             EXPECT_FALSE(rlValue(s, ns::StrokeColorAttributeName, 0));
             EXPECT_EQ(rlValue(s, ns::StrokeColorAttributeName, 1), rt::Id(red));
         }},
        {"the paragraph form replaces an existing style over the range", "abcd",
         [](auto& s) {
             rl::setTextAlignment(s, 1, 3, 12);
             rl::setTextAlignment(s, 2, 9, 0, {1, 2});
         },
         [](const auto& s) {
             auto outer = rt::cast<ns::ParagraphStyle>(rlValue(s, ns::ParagraphStyleAttributeName, 0));
             auto inner = rt::cast<ns::ParagraphStyle>(rlValue(s, ns::ParagraphStyleAttributeName, 1));
             ASSERT_TRUE(outer && inner);
             EXPECT_EQ(outer->alignment(), 2); // the engine's right is the label's right
             EXPECT_EQ(outer->lineBreakMode(), ns::ParagraphStyle::LineBreak::TruncatingHead);
             EXPECT_EQ(outer->minimumLineHeight(), 12);
             EXPECT_EQ(outer->maximumLineHeight(), 12);
             EXPECT_EQ(inner->alignment(), 1);
             EXPECT_EQ(inner->lineBreakMode(), ns::ParagraphStyle::LineBreak::WordWrapping);
             EXPECT_EQ(inner->maximumLineHeight(), 0);
         }},
        {"ligatures, kern, stroke width, background and letterpress", "ab",
         [&](auto& s) {
             rl::setLigaturesEnabled(s, false);
             rl::setKern(s, 1.5);
             rl::setStrokeWidth(s, -3);
             rl::setBackgroundColor(s, red);
             rl::setLetterpressEnabled(s, true, {0, 1});
         },
         [&](const auto& s) {
             EXPECT_EQ(rlNumber(rlValue(s, ns::LigatureAttributeName)), 0);
             EXPECT_DOUBLE_EQ(rt::cast<ns::Number>(rlValue(s, ns::KernAttributeName))->doubleValue(), 1.5);
             EXPECT_DOUBLE_EQ(rt::cast<ns::Number>(rlValue(s, ns::StrokeWidthAttributeName))->doubleValue(), -3);
             EXPECT_EQ(rlValue(s, ns::BackgroundColorAttributeName), rt::Id(red));
             EXPECT_TRUE(rlValue(s, ns::TextEffectAttributeName, 0));
             EXPECT_FALSE(rlValue(s, ns::TextEffectAttributeName, 1));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto str = ns::MutableAttributedString::make(c.text);
        c.act(*str);
        c.check(*str);
    }
}

TEST(RLStringAdditions, MapsAlignmentsAndBreakModes) {
    struct Case {
        long label;
        int alignment, mode, back;
    };
    // label value, engine alignment, engine break mode, engine mode read back
    const std::vector<Case> cases{{0, 0, 0, 0}, {1, 2, 1, 1}, {2, 1, 2, 2}, {3, 3, 3, 3}, {4, 4, 0, 4},
                                  {5, 4, 5, 5}, {6, 4, 0, 0}, {-1, 4, 0, 0}, {255, 4, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(rl::alignmentFromUITextAlignment(c.label), c.alignment);
        EXPECT_EQ(rl::lineBreakModeFromUILineBreakMode(c.label), c.mode);
        if (c.label >= 0) {
            EXPECT_EQ(rl::lineBreakModeFromCTLineBreakMode(static_cast<rl::CTLineBreakMode>(c.label)), c.back);
        }
    }
    for (int ct = 0; ct < 6; ++ct) EXPECT_EQ(ui::textAlignmentFromCTTextAlignment(static_cast<unsigned char>(ct)),
                                             static_cast<ui::TextAlignment>(std::vector<long>{0, 2, 1, 3, 4, 4}[ct]));
}

rt::Ref<ns::String> rlString(const char* utf8) { return ns::String::make(utf8); }

rt::Ref<ns::ParagraphStyle> rlStyle(const rl::AttributedLabel& label) {
    return rt::cast<ns::ParagraphStyle>(rlValue(*label.mutableAttributedString(), ns::ParagraphStyleAttributeName));
}

TEST(RLAttributedLabel, KeepsItsTextStyledAndItsFrameCachedUntilAChange) {
    struct Case {
        const char* name;
        std::function<void(rl::AttributedLabel&)> act;
        std::function<void(rl::AttributedLabel&)> check;
    };
    const std::vector<Case> cases{
        {"an empty text gives no string and no size", [](auto& l) { l.setText(rlString("")); },
         [](auto& l) {
             EXPECT_FALSE(l.mutableAttributedString());
             EXPECT_FALSE(l.attributedText());
             EXPECT_EQ(l.sizeThatFits({100, 100}), (cg::Size{0, 0}));
         }},
        {"a plain text takes the label's font, colour, underline, stroke and kern",
         [](auto& l) {
             l.setUnderlineStyle(1);
             l.setTextKern(2);
             l.setStrokeColor(ui::Color::redColor());
             l.setText(rlString("hello"));
         },
         [](auto& l) {
             const auto& s = *l.mutableAttributedString();
             EXPECT_EQ(rlValue(s, ns::FontAttributeName), rt::Id(l.font()));
             EXPECT_EQ(rlValue(s, ns::ForegroundColorAttributeName), rt::Id(l.textColor()));
             EXPECT_EQ(rlNumber(rlValue(s, ns::UnderlineStyleAttributeName)), 1);
             EXPECT_EQ(rlValue(s, ns::StrokeColorAttributeName), rt::Id(ui::Color::redColor()));
             EXPECT_EQ(rlNumber(rlValue(s, ns::KernAttributeName)), 2);
         }},
        {"the same attributed object changes nothing",
         [](auto& l) {
             l.setText(rlString("hello"));
             (void)l.textFrame();
             const auto requests = l.displayRequestCount();
             l.setAttributedText(l.mutableAttributedString());
             EXPECT_EQ(l.displayRequestCount(), requests);
         },
         [](auto& l) { EXPECT_TRUE(l.textFrame()); }},
        {"an attributed text is kept as given, not styled by the label",
         [](auto& l) {
             l.setTextKern(3);
             l.setAttributedText(ns::AttributedString::make("plain"));
         },
         [](auto& l) {
             EXPECT_EQ(l.mutableAttributedString()->string()->utf8(), "plain");
             EXPECT_FALSE(rlValue(*l.mutableAttributedString(), ns::KernAttributeName));
         }},
        {"justified stays in the style while the label reports left",
         [](auto& l) {
             l.setText(rlString("hello"));
             l.setTextAlignment(ui::TextAlignment::Justified);
         },
         [](auto& l) {
             EXPECT_EQ(l.textAlignment(), ui::TextAlignment::Left);
             EXPECT_EQ(rlStyle(l)->alignment(), 3);
         }},
        {"a line height set without text is used by the next text",
         [](auto& l) {
             l.setLineHeight(30);
             l.setText(rlString("hello"));
         },
         [](auto& l) { EXPECT_EQ(rlStyle(l)->minimumLineHeight(), 30); }},
        {"the same frame keeps the cached layout",
         [](auto& l) {
             l.setText(rlString("hello"));
             const auto before = l.textFrame(); // held, so its address is not reused
             l.setFrame(l.frame());
             EXPECT_EQ(l.textFrame(), before);
         },
         [](auto&) {}},
        {"another frame lays out again in the new bounds",
         [](auto& l) {
             l.setText(rlString("hello world again"));
             const auto before = l.textFrame(); // held, so its address is not reused
             l.setFrame({{0, 0}, {40, 200}});
             EXPECT_NE(l.textFrame(), before);
             EXPECT_GT(l.textFrame()->lines().size(), 1u);
             l.setBounds({{0, 0}, {300, 200}}); // resized past setFrame
         },
         [](auto& l) { EXPECT_EQ(l.textFrame()->lines().size(), 1u); }},
        {"an alignment change lays out again in the new alignment",
         [](auto& l) {
             l.setText(rlString("hi"));
             const double left = l.textFrame()->lineOrigins().front().x;
             l.setTextAlignment(ui::TextAlignment::Right);
             EXPECT_GT(l.textFrame()->lineOrigins().front().x, left);
         },
         [](auto&) {}},
        {"highlighting recolours the composed string only",
         [](auto& l) {
             l.setText(rlString("hi"));
             l.setHighlightedTextColor(ui::Color::greenColor());
             l.setHighlighted(true);
         },
         [](auto& l) {
             EXPECT_EQ(rlValue(*l.mutableAttributedStringWithAdditions(), ns::ForegroundColorAttributeName),
                       rt::Id(ui::Color::greenColor()));
             EXPECT_EQ(rlValue(*l.mutableAttributedString(), ns::ForegroundColorAttributeName), rt::Id(l.textColor()));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto label = rl::AttributedLabel::make({{0, 0}, {300, 100}});
        c.act(*label);
        c.check(*label);
    }
}

TEST(RLAttributedLabel, SizesForALineLimitInWholePoints) {
    auto str = ns::AttributedString::make("one two three four five six seven eight nine ten");
    auto framesetter = ct::Framesetter::make(*str);
    const cg::Size within{60, 1000};
    auto frame = framesetter->createFrame({0, 0}, cg::Rect{{0, 0}, within});
    ASSERT_GE(frame->lines().size(), 3u);
    const auto twoLines = framesetter->suggestFrameSizeWithConstraints({0, frame->lines()[1]->stringRange().max()}, within);
    const auto unbroken = framesetter->suggestFrameSizeWithConstraints({0, 0}, {1e9, 1e9});
    const auto all = framesetter->suggestFrameSizeWithConstraints({0, 0}, within);
    struct Case {
        long lines;
        cg::Size exact;
    };
    for (const auto& c : std::vector<Case>{{1, unbroken}, {2, twoLines}, {0, all}}) {
        SCOPED_TRACE(c.lines);
        const auto size = rl::sizeForAttributedString(str.get(), c.lines, within);
        EXPECT_EQ(size, (cg::Size{std::ceil(c.exact.width), std::ceil(c.exact.height)}));
    }
    EXPECT_LT(twoLines.height, all.height);
    EXPECT_EQ(rl::sizeForAttributedString(nullptr, 2, within), (cg::Size{0, 0}));
}

rt::Ref<ns::URL> rlURL(const char* url) { return ns::URL::URLWithString(url); }

rt::Ref<ns::URL> rlLinkURL(const rt::Ref<ns::TextCheckingResult>& link) { return link ? link->URL() : nullptr; }

TEST(RLAttributedLabelLinks, ResolvesAnIndexToTheFirstDetectedThenTheFirstExplicitLink) {
    struct Case {
        const char* name;
        bool autoDetect;
        long index;
        const char* expected; // nil: no link
    };
    // "go to http://a.example now": the detected link covers 6-21.
    const std::vector<Case> cases{
        {"auto-detection off: only explicit links count", false, 8, "http://first.example"},
        {"a detected link wins over explicit ones", true, 8, "http://a.example"},
        {"of two overlapping explicit links the first added wins", true, 2, "http://first.example"},
        {"an index at a link's end is outside it", true, 22, "http://second.example"},
        {"the end of the last link", false, 24, nullptr},
        {"a negative index", false, -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto label = rl::AttributedLabel::make({{0, 0}, {300, 100}});
        label->setText(rlString("go to http://a.example now"));
        label->setAutoDetectLinks(c.autoDetect);
        label->addLink(rlURL("http://first.example"), {0, 10});
        label->addLink(rlURL("http://second.example"), {2, 22});
        auto link = label->linkAtIndex(c.index);
        EXPECT_EQ(link ? rlLinkURL(link)->absoluteString()->utf8() : std::string("nil"),
                  c.expected ? std::string(c.expected) : std::string("nil"));
        EXPECT_EQ(label->linksHaveBeenDetected(), c.autoDetect);
        if (!c.autoDetect) {
            EXPECT_FALSE(label->detectedLinkLocations());
        }
    }
}

TEST(RLAttributedLabelLinks, StylesLinksInTheComposedStringAndCarriesThemToAnotherLabel) {
    auto label = rl::AttributedLabel::make({{0, 0}, {300, 100}});
    label->setText(rlString("one two three"));
    label->setLinkColor(ui::Color::redColor());
    label->setLinksHaveUnderlines(true);
    auto extra = ns::MutableDictionary::make();
    extra->setObjectForKey(ns::Number::withDouble(4), ns::KernAttributeName);
    extra->setObjectForKey(ns::Number::withInt(2), ns::UnderlineStyleAttributeName); // wins over the underline
    label->setAttributesForLinks(extra);
    auto touched = ns::MutableDictionary::make();
    touched->setObjectForKey(ui::Color::greenColor(), ns::BackgroundColorAttributeName);
    label->setAttributesForHighlightedLink(touched);
    label->addLink(rlURL("http://one.example"), {0, 3});
    label->addLink(rlURL("http://three.example"), {8, 5});
    const auto requests = label->displayRequestCount();
    label->setTouchedLink(ns::TextCheckingResult::linkCheckingResult({8, 5}, rlURL("http://other.example")));
    EXPECT_EQ(label->displayRequestCount(), requests + 1);

    auto composed = label->mutableAttributedStringWithAdditions();
    struct Case {
        std::size_t index;
        const char* url;
        bool linkStyled, touchedStyled;
    };
    for (const auto& c : std::vector<Case>{{1, "http://one.example", true, false}, {5, nullptr, false, false},
                                           {9, "http://three.example", true, true}}) {
        SCOPED_TRACE(c.index);
        auto link = rt::cast<ns::TextCheckingResult>(rlValue(*composed, rl::LinkAttributeName, c.index));
        EXPECT_EQ(link ? rlLinkURL(link)->absoluteString()->utf8() : "", c.url ? c.url : "");
        EXPECT_EQ(rlValue(*composed, ns::ForegroundColorAttributeName, c.index) == rt::Id(ui::Color::redColor()),
                  c.linkStyled);
        EXPECT_EQ(rlNumber(rlValue(*composed, ns::UnderlineStyleAttributeName, c.index)), c.linkStyled ? 2 : 0);
        EXPECT_EQ(bool(rlValue(*composed, ns::BackgroundColorAttributeName, c.index)), c.touchedStyled);
    }
    // The label's own text stays unstyled; another label given the composed string adopts its links.
    EXPECT_FALSE(rlValue(*label->mutableAttributedString(), rl::LinkAttributeName, 1));
    auto other = rl::AttributedLabel::make();
    other->addLink(rlURL("http://dropped.example"), {0, 1});
    other->setAttributedText(composed);
    ASSERT_EQ(other->explicitLinkLocations()->count(), 2u);
    EXPECT_EQ(rlLinkURL(other->linkAtIndex(9))->absoluteString()->utf8(), "http://three.example");
    other->setAttributedText(ns::AttributedString::make("plain"));
    ASSERT_TRUE(other->explicitLinkLocations());
    EXPECT_EQ(other->explicitLinkLocations()->count(), 0u);
}

// A link past the end of the text is kept as far as the text goes, or dropped when none of it is
// on the text, logged once; one the text was shortened under is laid out as far as the text goes.
TEST(RLAttributedLabelLinks, ClipsOrDropsALinkPastTheText) {
    // 'L' for each character marked as a link.
    for (const auto& [range, marked] : {std::pair{ns::Range{3, 10}, "...LL"}, std::pair{ns::Range{7, 2}, "....."}}) {
        ns::CapturedLog log;
        auto label = rl::AttributedLabel::make({{0, 0}, {300, 100}});
        label->setText(rlString("hello"));
        label->addLink(rlURL("http://a.example"), range);
        ASSERT_NO_THROW(label->textFrame());
        const auto& links = label->explicitLinkLocations();
        EXPECT_EQ(links ? links->count() : 0u, std::string(marked) == "....." ? 0u : 1u) << marked;
        std::string styled;
        auto composed = label->mutableAttributedStringWithAdditions();
        for (std::size_t i = 0; i < composed->length(); ++i)
            styled += rlValue(*composed, rl::LinkAttributeName, i) ? 'L' : '.';
        EXPECT_EQ(styled, marked);
        EXPECT_EQ(log.lines().size(), 1u) << marked;
    }
    auto label = rl::AttributedLabel::make({{0, 0}, {300, 100}});
    label->setText(rlString("hello world"));
    label->addLink(rlURL("http://a.example"), {4, 5});
    label->mutableAttributedString()->deleteCharactersInRange({5, 6});
    label->attributedTextDidChange();
    ASSERT_NO_THROW(label->textFrame());
    EXPECT_TRUE(rlValue(*label->mutableAttributedStringWithAdditions(), rl::LinkAttributeName, 4));
}

class RLAttributedLabelDetection : public testkit::VirtualTimeTest {};

TEST_F(RLAttributedLabelDetection, DeferredResultsLandOnMainOnlyForTheTextTheyWereFoundIn) {
    struct Case {
        const char* name;
        const char* replacement; // set while detection runs; nil: none
        const char* expected;    // the link at index 6 once detection settles
    };
    const std::vector<Case> cases{
        {"results land and redraw once", nullptr, "http://a.example"},
        {"a text replaced mid-detection gets its own links", "go to http://b.example", "http://b.example"},
        {"a replacement without links gets none", "go to nothing at all", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto label = rl::AttributedLabel::make({{0, 0}, {300, 100}});
        label->setText(rlString("go to http://a.example now"));
        label->setAutoDetectLinks(true);
        label->setDeferLinkDetection(true);
        EXPECT_FALSE(label->linkAtIndex(6)); // nothing before the results land
        EXPECT_TRUE(label->isDetectingLinks());
        EXPECT_FALSE(label->linkAtIndex(6)); // and a second ask starts nothing
        if (c.replacement) label->setText(rlString(c.replacement));
        const auto requests = label->displayRequestCount();
        ASSERT_TRUE(testkit::waitForWorkersIdle());
        runFor(0);
        EXPECT_FALSE(label->isDetectingLinks());
        EXPECT_EQ(label->displayRequestCount(), requests + 1); // one landing, one redraw
        EXPECT_EQ(label->linksHaveBeenDetected(), !c.replacement);
        if (c.replacement) { // the redraw asks again: the new text is scanned
            EXPECT_FALSE(label->linkAtIndex(6));
            ASSERT_TRUE(testkit::waitForWorkersIdle());
            runFor(0);
        }
        auto link = label->linkAtIndex(6);
        EXPECT_EQ(link ? rlLinkURL(link)->absoluteString()->utf8() : "", c.expected ? c.expected : "");
    }
}

} // namespace
