// Inline images in attributed text, as the labels show them (a text view's, in the rendering
// test): the attachment takes its size on the line (the label measures it) and its image is drawn
// in the text, between the characters around it, standing on the baseline or lowered by its
// bounds. The model font at 16 points: a character advances 10, ascent 12, descent 4.

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/dictionary.h"
#include "platform/graphics/recording_context.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/graphics/letter_image.h"
#include "tests/testkit/graphics/pixel_box.h"
#include "ui/labels/attributed_label.h"
#include "ui/labels/rl_attributed_label.h"

namespace {

// "ab", a 20-point square of red (letter C), "c", all at 16 points.
rt::Ref<ns::AttributedString> textAroundRedSquare(const cg::Rect& bounds) {
    auto font = ns::MutableDictionary::make();
    font->setObjectForKey(ui::Font::systemFontOfSize(16), ns::FontAttributeName);
    auto text = ns::MutableAttributedString::make(ns::String::make("ab"), font);
    std::string rows;
    for (int y = 0; y < 20; ++y)
        rows += std::string(y ? "/" : "") + std::string(20, 'C');
    auto attachment = ui::TextAttachment::make(ui::Image::imageWithCGImage(testkit::letterImage(rows)));
    attachment->setBounds(bounds);
    auto placed = ui::TextAttachment::attributedStringWithAttachment(attachment)->mutableCopy();
    placed->addAttributes(*font, {0, 1});
    text->appendAttributedString(*placed);
    text->appendAttributedString(*ns::AttributedString::make(ns::String::make("c"), font));
    return text;
}

TEST(TextAttachments, EveryLabelDrawsTheImageInlineAndMeasuresIt) {
    const cg::Rect frame = cg::Rect::make(0, 0, 200, 60);
    const auto label = [&](ui::TextAlignment alignment, const rt::Ref<ns::AttributedString>& text) {
        auto label = rt::make<ui::Label>(frame);
        label->setTextAlignment(alignment);
        label->setAttributedText(text);
        return rt::Ref<ui::View>(label);
    };
    const struct {
        const char* view;
        cg::Rect bounds; // the attachment's; zero: its image's size on the baseline
        cg::Size fits;   // sizeThatFits at the frame's width
        std::function<rt::Ref<ui::View>(const rt::Ref<ns::AttributedString>&)> make;
    } cases[] = {
        {"label", {}, {50, 24}, [&](const auto& text) { return label(ui::TextAlignment::Left, text); }},
        {"label centred, the image lowered 3",
         cg::Rect::make(0, -3, 20, 20),
         {50, 21},
         [&](const auto& text) { return label(ui::TextAlignment::Center, text); }},
        {"attributed label",
         cg::Rect::make(0, -3, 20, 20),
         {50, 21},
         [&](const auto& text) {
             auto label = tl::AttributedLabel::make(frame);
             label->setAttributedText(text);
             return rt::Ref<ui::View>(label);
         }},
        {"second attributed label",
         {},
         {50, 24},
         [&](const auto& text) {
             auto label = rl::AttributedLabel::make(frame);
             label->setAttributedText(text);
             return rt::Ref<ui::View>(label);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        const rt::Ref<ui::View> view = c.make(textAroundRedSquare(c.bounds));
        EXPECT_EQ(view->sizeThatFits(frame.size), c.fits);
        // Where "c" was drawn: its pen and baseline; the square ends where "c" begins.
        cg::RecordingContext recording;
        ui::renderView(*view, recording);
        const auto runs = recording.displayList().textRuns();
        ASSERT_EQ(runs.size(), 2u);
        const cg::Point c0 = cg::glyphOrigins(*runs.back()).front();
        const double lowered = -c.bounds.minY();
        const auto picture = testkit::paintedView(*view);
        const cg::Rect red = testkit::pixelBox(
            *picture, [](const cg::Pixel& p) { return p.red > 200 && p.green < 60 && p.blue < 60; });
        ASSERT_FALSE(red.isNull()) << "the image is drawn";
        EXPECT_NEAR(red.minX(), c0.x - 20, 1);
        EXPECT_NEAR(red.maxX(), c0.x, 1);
        EXPECT_NEAR(red.maxY(), c0.y + lowered, 1);
        EXPECT_NEAR(red.height(), 20, 1);
        // The attributed label answers for "c" where it drew it.
        if (auto attributed = rt::cast<tl::AttributedLabel>(view)) {
            EXPECT_EQ(attributed->boundingRectForCharacterRange({3, 1}).minX(), c0.x);
        }
    }
}

} // namespace
