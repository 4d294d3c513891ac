// The attributed label: measuring attributed text with the text engine for a width and a line
// limit, and keeping the text it is given.

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/number.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
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

} // namespace
