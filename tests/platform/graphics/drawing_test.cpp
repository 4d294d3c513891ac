// Drawing: what a recording context keeps (paint state, path elements, glyph runs, underlines),
// arcs in both conventions, replay into pixels against drawing directly, and PNG errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numbers>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/error.h"
#include "platform/graphics/glyph_masks.h"
#include "platform/graphics/image.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/number.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/bezier_path.h"
#include "platform/uikit/color.h"
#include "platform/uikit/graphics_context.h"

namespace {

using cg::Point;
using cg::Rect;
constexpr double pi = std::numbers::pi;

void expectNear(const Rect& a, const Rect& b) {
    EXPECT_NEAR(a.minX(), b.minX(), 1e-9);
    EXPECT_NEAR(a.minY(), b.minY(), 1e-9);
    EXPECT_NEAR(a.width(), b.width(), 1e-9);
    EXPECT_NEAR(a.height(), b.height(), 1e-9);
}

const cg::PathElement* firstArc(const cg::Path& path) {
    for (const auto& e : path.elements())
        if (e.type == cg::PathElement::Type::Arc) return &e;
    return nullptr;
}

TEST(RecordingContext, KeepsTheTransformStepsInOrderAndThePaintState) {
    cg::RecordingContext ctx;
    ctx.translateCTM(10, 0);
    ctx.scaleCTM(2, 2);
    ctx.setRGBFillColor(1, 0, 0, 1);
    ctx.setAlpha(0.5);
    ctx.setShadowWithColor({3, 4}, 5, cg::Color::make(0, 0, 1, 0.5));
    ctx.saveGState();
    ctx.clipToRect(Rect::make(0, 0, 20, 20));
    ctx.fillRect(Rect::make(1, 1, 2, 2));
    ctx.restoreGState();
    ctx.setLineDash(0, {4, 2});
    ctx.setLineWidth(3);
    ctx.strokeRect(Rect::make(0, 0, 5, 5));
    ctx.restoreGState(); // unbalanced: ignored

    const cg::DisplayList& list = ctx.displayList();
    ASSERT_EQ(list.size(), 2u);
    const cg::DrawCommand& fill = *list.fills().at(0);
    EXPECT_EQ(cg::deviceOf(fill, {1, 1}), (Point{12, 2})); // scaled, then moved
    EXPECT_EQ(fill.state.fillColor->red(), 1);
    EXPECT_EQ(fill.state.alpha, 0.5);
    EXPECT_EQ(fill.state.shadow.offset, (cg::Size{3, 4}));
    EXPECT_EQ(fill.state.shadow.blur, 5);
    EXPECT_EQ(fill.state.shadow.color->blue(), 1);
    EXPECT_EQ(fill.state.clips.size(), 1u);
    EXPECT_EQ(fill.path->boundingBox(), Rect::make(1, 1, 2, 2));
    const cg::DrawCommand& stroke = *list.strokes().at(0);
    EXPECT_TRUE(stroke.state.clips.empty()); // restored
    EXPECT_EQ(stroke.state.dash, (std::vector<double>{4, 2}));
    EXPECT_EQ(stroke.state.lineWidth, 3);
}

TEST(RecordingContext, ArcsKeepTheirDirectionInBothConventions) {
    cg::RecordingContext ctx;
    // The platform's clockwise 1 decreases the angle: from 0 to π/2 the long way round.
    ctx.addArc(0, 0, 10, 0, pi / 2, 1);
    ctx.strokePath();
    const cg::DrawCommand& cgArc = *ctx.displayList().strokes().at(0);
    ASSERT_TRUE(firstArc(*cgArc.path));
    EXPECT_TRUE(firstArc(*cgArc.path)->clockwise);
    expectNear(cgArc.path->boundingBox(), Rect::make(-10, -10, 20, 20));

    // A bezier arc with clockwise YES increases it: the short way, one quadrant.
    ui::CurrentGraphicsContext current(ctx);
    ui::Color::blackColor()->setStroke();
    auto bezier = ui::BezierPath::bezierPathWithArcCenter({0, 0}, 10, 0, pi / 2, true);
    bezier->stroke();
    const cg::DrawCommand& uiArc = *ctx.displayList().strokes().at(1);
    EXPECT_FALSE(firstArc(*uiArc.path)->clockwise);
    expectNear(uiArc.path->boundingBox(), Rect::make(0, 0, 10, 10));

    auto rounded = ui::BezierPath::bezierPathWithRoundedRect(Rect::make(10, 10, 80, 40), 8);
    rounded->setLineWidth(2);
    rounded->stroke();
    const cg::DrawCommand& box = *ctx.displayList().strokes().at(2);
    expectNear(box.path->boundingBox(), Rect::make(10, 10, 80, 40));
    int arcs = 0;
    for (const auto& e : box.path->elements())
        if (e.type == cg::PathElement::Type::Arc) {
            EXPECT_EQ(e.radius, 8);
            ++arcs;
        }
    EXPECT_EQ(arcs, 4);
    EXPECT_EQ(box.state.lineWidth, 2);
    // A radius larger than half the side is held to it.
    auto pill = ui::BezierPath::bezierPathWithRoundedRect(Rect::make(0, 0, 40, 10), 50);
    EXPECT_EQ(firstArc(*pill->CGPath())->radius, 5);
}

TEST(RecordingContext, TextIsOneGlyphRunPerRunWithItsUnderline) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ct::Font::withName("Model", 16), ns::FontAttributeName);
    attributes->setObjectForKey(ui::Color::redColor(), ns::ForegroundColorAttributeName);
    attributes->setObjectForKey(ns::Number::withLong(1), ns::UnderlineStyleAttributeName);
    auto line = ct::Line::make(*ns::AttributedString::make("Hi", attributes));
    cg::RecordingContext ctx;
    ctx.setTextPosition(5, 7);
    line->draw(ctx);
    const auto runs = ctx.displayList().textRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(cg::glyphOrigins(*runs[0]), (std::vector<Point>{{5, 7}, {15, 7}}));
    EXPECT_TRUE(runs[0]->run->color->isEqual(cg::Color::make(1, 0, 0, 1).get()));
    const auto strokes = ctx.displayList().strokes();
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0]->path->boundingBox(), Rect::make(5, 5, 20, 0)); // 2 below the baseline, y up
    EXPECT_EQ(strokes[0]->state.lineWidth, 1);
    EXPECT_EQ(ctx.textPosition(), (Point{25, 7}));

    // Foreground from the context: the fill colour at the time of drawing.
    auto plain = ns::MutableDictionary::make();
    plain->setObjectForKey(ns::Number::withBool(true), ns::CTForegroundColorFromContextAttributeName);
    ctx.setFillColor(cg::Color::make(0, 1, 0, 1));
    ct::Line::make(*ns::AttributedString::make("x", plain))->draw(ctx);
    EXPECT_EQ(ctx.displayList().textRuns().at(1)->run->color->green(), 1);
}

// The same scene on any context.
void scene(cg::Context& ctx) {
    ctx.setRGBFillColor(0.2, 0.4, 0.8, 1);
    ctx.fillRect(Rect::make(5, 5, 40, 30));
    ctx.saveGState();
    ctx.clipToRect(Rect::make(50, 0, 50, 50));
    ctx.setRGBFillColor(1, 0, 0, 0.7);
    ctx.addArc(60, 20, 18, 0, pi, 1);
    ctx.fillPath();
    ctx.restoreGState();
    ctx.setRGBStrokeColor(0, 0.5, 0, 1);
    ctx.setLineWidth(3);
    ctx.setLineDash(1, {6, 3});
    ctx.setLineCap(cg::LineCap::Round);
    ctx.moveToPoint(5, 90);
    ctx.addCurveToPoint(30, 50, 70, 120, 95, 60);
    ctx.strokePath();
    ctx.setLineDash(0, {});
    ctx.translateCTM(50, 50);
    ctx.rotateCTM(0.3);
    ctx.setAlpha(0.5);
    ctx.addRect(Rect::make(0, 0, 30, 30));
    ctx.addRect(Rect::make(8, 8, 14, 14));
    ctx.eoFillPath();
}

TEST(RasterContext, AReplayedSceneEqualsTheSceneDrawnDirectly) {
    cg::RasterContext direct(100, 100), replayed(100, 100);
    direct.clearTo(cg::Color::white());
    replayed.clearTo(cg::Color::white());
    scene(direct);
    cg::RecordingContext recording;
    scene(recording);
    recording.displayList().replay(replayed);
    for (int y = 0; y < 100; ++y)
        ASSERT_EQ(std::memcmp(direct.data() + y * direct.stride(), replayed.data() + y * replayed.stride(), 400), 0)
            << "row " << y;
    EXPECT_EQ(direct.pixel(10, 10), (cg::Pixel{51, 102, 204, 255}));
    EXPECT_EQ(direct.pixel(99, 0), (cg::Pixel{255, 255, 255, 255}));
    EXPECT_EQ(direct.pixel(-1, 500), cg::Pixel{}); // outside: transparent
}

TEST(RasterContext, ShadowsAndLayersPaintWhereTheySay) {
    cg::RasterContext picture(60, 60);
    picture.clearTo(cg::Color::white());
    picture.setShadowWithColor({10, 10}, 4, cg::Color::make(0, 0, 0, 1));
    picture.setFillColor(cg::Color::make(1, 0, 0, 1));
    picture.fillRect(Rect::make(10, 10, 20, 20));
    EXPECT_EQ(picture.pixel(20, 20), (cg::Pixel{255, 0, 0, 255}));
    const cg::Pixel shadow = picture.pixel(35, 35); // the offset copy, darker than the paper
    EXPECT_LT(shadow.red, 100);
    EXPECT_EQ(picture.pixel(55, 5), (cg::Pixel{255, 255, 255, 255}));

    auto root = ca::Layer::make();
    auto shape = ca::ShapeLayer::make();
    shape->setFrame(Rect::make(0, 40, 20, 20));
    shape->setPath(cg::Path::withRect(Rect::make(0, 0, 10, 10)));
    shape->setFillColor(cg::Color::make(0, 0, 1, 1));
    root->addSublayer(shape);
    root->addSublayer(root); // refused: a layer cannot hold itself
    cg::RasterContext layers(60, 60);
    root->renderInContext(layers);
    EXPECT_EQ(layers.pixel(5, 45), (cg::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(layers.pixel(15, 45), cg::Pixel{});
    shape->setHidden(true);
    cg::RecordingContext hidden;
    root->renderInContext(hidden);
    EXPECT_TRUE(hidden.displayList().isEmpty());
}

TEST(RasterContext, AnUnwritablePathIsAnError) {
    cg::RasterContext picture(4, 4);
    rt::Ref<ns::Error> error = cg::writePNG(picture, "/nonexistent-folder/x/picture.png");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 512);
    // Sizes are held to what can be made.
    cg::RasterContext tiny(-5, 0);
    EXPECT_EQ(tiny.width(), 1);
    EXPECT_EQ(tiny.height(), 1);
}

// A picture read back from its PNG has every pixel it was written with: long flat runs, short
// ones, noise, and (with some transparency) its alpha.
TEST(RasterContext, APictureReadsBackFromItsPNGPixelForPixel) {
    for (const bool opaque : {true, false}) {
        SCOPED_TRACE(opaque ? "RGB" : "RGBA");
        cg::RasterContext picture(700, 40);
        picture.clearTo(cg::Color::make(0.2, 0.4, 0.6, opaque ? 1 : 0.5));
        picture.setFillColor(cg::Color::make(1, 0, 0, 1));
        picture.fillRect(Rect::make(300, 5, 2, 30)); // a run of two, then a long one again
        for (int i = 0; i < 600; ++i) {                // noise: literals only
            picture.setFillColor(cg::Color::make((i * 37 % 256) / 255.0, (i * 91 % 256) / 255.0, 0, 1));
            picture.fillRect(Rect::make(i, 36, 1, 4));
        }
        const std::string path = ::testing::TempDir() + "/read-back.png";
        ASSERT_FALSE(picture.writePNG(path));
        std::string why;
        auto read = cg::Image::createWithPNGFile(path, &why);
        ASSERT_TRUE(read) << why;
        int differing = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 700; ++x) {
                std::uint32_t word;
                std::memcpy(&word, read->bytes().data() + std::size_t(y) * read->bytesPerRow() + std::size_t(x) * 4, 4);
                const cg::Pixel p = picture.pixel(x, y);
                const unsigned a = word >> 24;
                auto un = [a](unsigned c) { return a ? (c * 255 + a / 2) / a : 0; };
                differing += !(a == p.alpha && std::abs(int(un(word >> 16 & 0xff)) - p.red) <= 1 &&
                               std::abs(int(un(word >> 8 & 0xff)) - p.green) <= 1 &&
                               std::abs(int(un(word & 0xff)) - p.blue) <= 1);
            }
        EXPECT_EQ(differing, 0);
    }
}

// ---- Glyphs painted from kept masks ----

// "Hello, glyphs" in the model font at `size`, drawn at `origin` under `ctm`, as the masks paint
// it and as its outlines fill it; the largest difference of any channel of any pixel.
struct GlyphCase {
    const char* case_;
    double size;
    Point origin;
    cg::AffineTransform ctm;
    double alpha;
    bool clipped;
    // Glyphs filled one by one cover edge pixels a few levels apart from their union filled at
    // once; a glyph placed to the nearest eighth of a pixel moves an edge pixel by 16 more at most.
    int tolerance;
};

TEST(RasterContext, GlyphsFromKeptMasksMatchTheirFilledOutlines) {
    const auto identity = cg::AffineTransform::identity();
    const GlyphCase cases[] = {
        {"whole pixels", 17, {3, 30}, identity, 1, false, 12},
        {"between pixels", 15, {3.3, 30.55}, identity, 1, false, 32},
        {"twice the scale", 16, {2, 14}, identity.scale(2, 2), 1, false, 12},
        {"half transparent, clipped", 17, {3, 30}, identity, 0.5, true, 12},
        {"turned", 16, {10, 10}, identity.rotate(0.3), 1, false, 32},
    };
    for (const GlyphCase& c : cases) {
        SCOPED_TRACE(c.case_);
        auto attributes = ns::MutableDictionary::make();
        attributes->setObjectForKey(ct::Font::withName("Model", c.size), ns::FontAttributeName);
        attributes->setObjectForKey(ui::Color::blueColor(), ns::ForegroundColorAttributeName);
        auto line = ct::Line::make(*ns::AttributedString::make("Hello, glyphs", attributes));
        cg::RasterContext masks(200, 80), outlines(200, 80);
        for (cg::RasterContext* picture : {&masks, &outlines}) {
            picture->clearTo(cg::Color::white());
            picture->concatCTM(c.ctm);
            picture->setAlpha(c.alpha);
            if (c.clipped) picture->clipToRect(Rect::make(0, 0, 60, 80));
        }
        cg::RecordingContext recording;
        recording.setTextPosition(c.origin.x, c.origin.y);
        line->draw(recording);
        const auto runs = recording.displayList().textRuns();
        ASSERT_EQ(runs.size(), 1u);
        masks.draw(*runs[0]);
        const cg::GlyphRun& run = *runs[0]->run;
        for (std::size_t i = 0; i < run.glyphs.size(); ++i)
            if (auto outline = run.font->pathForGlyph(run.glyphs[i])) {
                const Point at = cg::textSpaceToUser(run, run.positions[i]);
                outlines.addPath(*outline->copyByTransforming(identity.translate(at.x, at.y)));
            }
        outlines.setFillColor(run.color);
        outlines.fillPath();

        int largest = 0, inked = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 200; ++x) {
                const cg::Pixel a = masks.pixel(x, y), b = outlines.pixel(x, y);
                largest = std::max({largest, std::abs(a.red - b.red), std::abs(a.green - b.green),
                                    std::abs(a.blue - b.blue)});
                inked += a.red < 128;
            }
        EXPECT_LE(largest, c.tolerance);
        EXPECT_GT(inked, 20);
        // The same run again makes no mask: every glyph is kept.
        const std::size_t made = cg::detail::glyphMaskCount().made;
        masks.draw(*runs[0]);
        EXPECT_EQ(cg::detail::glyphMaskCount().made, made);
    }
}

// Two recordings of a screen are equal when they draw the same, whatever objects they hold; a
// change to anything drawn makes them differ.
TEST(DisplayList, EqualListsDrawTheSameAndAnyChangeDiffers) {
    struct Scene {
        const char* change;
        double red = 1, shift = 0, corner = 10;
        const char* text = "ab";
        double size = 16;
        bool clip = false;
        cg::DisplayList recorded() const {
            cg::RecordingContext ctx;
            ctx.translateCTM(shift, 0);
            if (clip) ctx.clipToRect(Rect::make(0, 0, 50, 50));
            ctx.setRGBFillColor(red, 0, 0, 1);
            ctx.fillRect(Rect::make(0, 0, corner, 10));
            auto attributes = ns::MutableDictionary::make();
            attributes->setObjectForKey(ct::Font::withName("Model", size), ns::FontAttributeName);
            ct::Line::make(*ns::AttributedString::make(text, attributes))->draw(ctx);
            return ctx.takeDisplayList();
        }
    };
    const cg::DisplayList base = Scene{"none"}.recorded(), again = Scene{"none"}.recorded();
    EXPECT_TRUE(base == again); // other colour, path and font objects, equal
    EXPECT_EQ(base.fingerprint(), again.fingerprint());
    for (const Scene& changed : {Scene{"colour", 0.5}, Scene{"transform", 1, 1}, Scene{"path", 1, 0, 11},
                                 Scene{"text", 1, 0, 10, "ac"}, Scene{"font size", 1, 0, 10, "ab", 17},
                                 Scene{"clip", 1, 0, 10, "ab", 16, true}})
        EXPECT_FALSE(base == changed.recorded()) << changed.change;
}

} // namespace
