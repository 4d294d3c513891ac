// Fonts: the model backend's exact metrics and advances, fall-backs for bad input, ui::Font's
// metrics, and the real backend's invariants.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/text/font.h"
#include "platform/text/font_backend.h"
#include "platform/uikit/font.h"

namespace {

std::vector<ct::ShapedGlyph> shaped(const ct::Font& font, std::u16string_view text) {
    std::vector<ct::ShapedGlyph> out;
    font.face().shape(text, 0, text.size(), true, out);
    return out;
}

TEST(ModelFont, HasExactMetricsAtSixteenPoints) {
    auto font = ct::Font::withName("Anything", 16);
    EXPECT_EQ(font->ascent(), 12);
    EXPECT_EQ(font->descent(), 4);
    EXPECT_EQ(font->leading(), 0);
    EXPECT_EQ(font->lineHeight(), 16);
    EXPECT_EQ(font->underlinePosition(), -2);
    EXPECT_EQ(font->underlineThickness(), 1);

    auto ui = ui::Font::fontWithName("Anything", 16);
    EXPECT_EQ(ui->ascender(), 12);
    EXPECT_EQ(ui->descender(), -4);
    EXPECT_EQ(ui->leading(), 0);
    EXPECT_EQ(ui->lineHeight(), 16);
}

TEST(ModelFont, AdvancesPerCodePointWithMarksAtZero) {
    auto font = ct::Font::systemFont(16);
    // "e" + combining acute, a surrogate pair, a lone high surrogate.
    const std::u16string text = u"e\u0301\U0001F600\xD800x";
    auto glyphs = shaped(*font, text);
    ASSERT_EQ(glyphs.size(), 5u);
    EXPECT_EQ(glyphs[0].advance * 16, 10);
    EXPECT_EQ(glyphs[1].advance, 0); // the mark
    EXPECT_EQ(glyphs[2].cluster, 2u);
    EXPECT_EQ(glyphs[2].glyph, 0x1F600u);
    EXPECT_EQ(glyphs[3].glyph, 0xFFFDu); // the lone surrogate is one replacement character
    EXPECT_EQ(glyphs[3].cluster, 4u);
    EXPECT_EQ(glyphs[4].cluster, 5u);
}

TEST(ModelFont, BadSizesFallBackToTwelvePointsAndOutlinesHaveInk) {
    for (double size : {0.0, -3.0, std::nan(""), double(INFINITY)})
        EXPECT_EQ(ct::Font::withName("X", size)->size(), 12);
    EXPECT_EQ(ct::Font::defaultFont()->size(), 12);
    auto font = ct::Font::systemFont(16);
    rt::Ref<cg::Path> a = font->pathForGlyph('A');
    ASSERT_TRUE(a);
    const cg::Rect box = a->boundingBox();
    EXPECT_GT(box.height(), 8);  // the cap height lies inside the 12-point ascent
    EXPECT_LE(box.maxY(), 12);
    EXPECT_LE(box.maxX(), 10.5); // inside the 10-point cell
    EXPECT_FALSE(font->pathForGlyph(' '));
}

TEST(RealFont, KnownAndUnknownNamesGiveUsableFaces) {
    auto& backend = ct::realFontBackend();
    for (const char* name : {".SFUIText", "DejaVu Sans", "No Such Font 123"}) {
        auto face = backend.faceNamed(name);
        ASSERT_TRUE(face);
        EXPECT_GT(face->metrics().ascent, 0.5);
        EXPECT_GT(face->metrics().descent, 0);
        EXPECT_LT(face->metrics().underlinePosition, 0);
        std::vector<ct::ShapedGlyph> glyphs;
        face->shape(u"Hello", 0, 5, true, glyphs);
        ASSERT_EQ(glyphs.size(), 5u);
        for (const auto& g : glyphs) EXPECT_GT(g.advance, 0);
    }
    // Every name is one of the two fixed files, whatever else the host has installed.
    for (const auto& [name, face] : {std::pair{".SFUIText", "DejaVuSans"}, {"HelveticaNeue-Thin", "DejaVuSans"},
                                     {"Courier", "DejaVuSans"}, {".SFUIText-Semibold", "DejaVuSans-Bold"},
                                     {"Helvetica-Bold", "DejaVuSans-Bold"}})
        EXPECT_EQ(backend.faceNamed(name)->postScriptName(), face) << name;
    // Ligatures follow the flag.
    auto face = backend.faceNamed("DejaVu Sans");
    std::vector<ct::ShapedGlyph> with, without;
    face->shape(u"fi", 0, 2, true, with);
    face->shape(u"fi", 0, 2, false, without);
    EXPECT_EQ(without.size(), 2u);
    EXPECT_LE(with.size(), without.size());
}

} // namespace
