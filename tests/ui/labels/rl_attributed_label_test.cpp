// The second attributed label: the string styling helpers and their mappings, the label's text,
// its cached text frame and sizing.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/runtime/number.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
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

} // namespace
