// Affine transform operations, bitmaps (cg::Image) and drawing them into a bitmap context.

#include <gtest/gtest.h>

#include <limits>
#include <numbers>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/bitmap_context.h"
#include "tests/testkit/graphics/cairo_drawing.h"
#include "tests/testkit/graphics/letter_image.h"

namespace {

using cg::AffineTransform;
using cg::Point;
using cg::Rect;
using testkit::letterImage;
using testkit::letterRows;

constexpr cg::BitmapInfo kNoAlpha = cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

rt::Ref<cg::BitmapContext> context(double width, double height, cg::BitmapInfo info = kNoAlpha) {
    return cg::BitmapContext::create(width, height, 8, 0, cg::ColorSpaceModel::RGB, info);
}

TEST(AffineTransform, StepsActFirstInTheCurrentSpaceAndInvertOnlyWhenTheyCan) {
    EXPECT_EQ(AffineTransform::identity().translate(10, 0).scale(2, 3).apply(Point{1, 1}), (Point{12, 3}));
    const Point turned = AffineTransform::identity().translate(5, 5).rotate(std::numbers::pi).apply(Point{1, 2});
    EXPECT_NEAR(turned.x, 4, 1e-12);
    EXPECT_NEAR(turned.y, 3, 1e-12);
    const AffineTransform move{.tx = 10}, twice{.a = 2, .d = 2};
    EXPECT_EQ(move.concat(twice).apply(Point{1, 1}), (Point{22, 2})); // move, then double

    const AffineTransform t = AffineTransform::identity().translate(3, -7).rotate(0.7).scale(2, -0.5);
    const Point back = t.invert().apply(t.apply(Point{-2, 9}));
    EXPECT_NEAR(back.x, -2, 1e-12);
    EXPECT_NEAR(back.y, 9, 1e-12);
    for (AffineTransform singular : {AffineTransform{.a = 0}, AffineTransform{.tx = kInfinity}})
        EXPECT_EQ(singular.invert(), singular);
    EXPECT_FALSE((AffineTransform{.a = kNaN}).isInvertible());

    EXPECT_EQ(AffineTransform{.tx = 1}.apply(Rect::make(10, 10, -4, -2)), Rect::make(7, 8, 4, 2));
    EXPECT_NEAR(AffineTransform::identity().rotate(std::numbers::pi / 4).apply(Rect::make(0, 0, 2, 2)).width(),
                2 * std::numbers::sqrt2, 1e-12);
    EXPECT_TRUE(AffineTransform{.a = 3}.apply(Rect::null()).isNull());
}

TEST(CGImage, RefusesWhatItCannotHoldAndCutsIntegralClippedParts) {
    const auto make = [](std::size_t w, std::size_t row, cg::BitmapInfo info, std::size_t count) {
        return cg::Image::create(w, 2, row, info, std::vector<std::uint8_t>(count));
    };
    EXPECT_TRUE(make(2, 12, kNoAlpha, 20)); // the last row needs only its pixels
    EXPECT_FALSE(make(2, 12, kNoAlpha, 19));
    EXPECT_FALSE(make(0, 8, kNoAlpha, 16));
    EXPECT_FALSE(make(2, 7, kNoAlpha, 64));
    EXPECT_FALSE(make(2, std::numeric_limits<std::size_t>::max(), kNoAlpha, 16));
    for (cg::BitmapInfo info : {0u, 3u, 7u, kNoAlpha | (1u << 12), kNoAlpha | 0x100u})
        EXPECT_FALSE(make(1, 4, info, 8)) << info;

    const auto image = letterImage("ABCD/EFGH");
    const auto part = [&](Rect r) { return letterRows(cg::Image::createWithImageInRect(image, r)); };
    EXPECT_EQ(part(Rect::make(0.5, 0.2, 1, 0.5)), "AB"); // encloses (0, 0, 2, 1)
    EXPECT_EQ(part(Rect::make(3, 2, -2, -1)), "FG");     // standardized: (1, 1, 2, 1)
    EXPECT_EQ(part(Rect::make(-1e300, -1e300, 2e300, 2e300)), "ABCD/EFGH");
    for (Rect miss : {Rect::make(4, 0, 1, 1), Rect::make(0, 0, 0, 2), Rect::make(kNaN, 0, 1, 1),
                      Rect::make(0, 0, kInfinity, 1), Rect::null()})
        EXPECT_EQ(part(miss), "nil");
}

TEST(BitmapContext, TruncatesSizesChoosesRowsAndRefusesWhatItCannotDraw) {
    auto c = cg::BitmapContext::create(10.9, 3.2, 8, 0, cg::ColorSpaceModel::RGB, kNoAlpha);
    EXPECT_EQ(c->width(), 10u);
    EXPECT_EQ(c->height(), 3u);
    EXPECT_EQ(c->bytesPerRow(), 40u);
    auto image = cg::BitmapContext::create(3, 2, 8, 20, cg::ColorSpaceModel::RGB, kNoAlpha)->makeImage();
    EXPECT_EQ(image->bytesPerRow(), 20u);
    EXPECT_EQ(letterRows(image), ".../..."); // cleared to black

    for (double side : {0.99, -5.0, kNaN, kInfinity, 32768.0})
        EXPECT_FALSE(context(side, 4)) << side;
    EXPECT_FALSE(cg::BitmapContext::create(10, 1, 16, 0, cg::ColorSpaceModel::RGB, kNoAlpha));
    EXPECT_FALSE(cg::BitmapContext::create(10, 1, 8, 39, cg::ColorSpaceModel::RGB, kNoAlpha));
    EXPECT_FALSE(context(4, 4, cg::BitmapInfo(cg::ImageAlphaInfo::Last)));
}

TEST(BitmapContext, TheOriginIsBottomLeftAndNothingIsDrawnForNoAreaOrAFlatTransform) {
    auto c = context(2, 3);
    c->drawImage(Rect::make(0, 0, 1, 2), letterImage("A/B")); // the top row at the larger y
    c->translateCTM(1, 2);
    c->drawImage(Rect::make(0, 0, 1, 1), letterImage("C"));
    c->drawImage(Rect::make(0, 0, 1, 1), nullptr);
    c->drawImage(Rect::make(kNaN, 0, 1, 1), letterImage("D"));
    c->drawImage(Rect::make(-1, -2, 0, 3), letterImage("D"));
    c->scaleCTM(0, 1);
    c->drawImage(Rect::make(-1, -2, 2, 3), letterImage("D"));
    EXPECT_EQ(letterRows(c->makeImage()), ".C/A./B.");

    auto huge = context(3, 3); // far larger than the bitmap: covers all of it
    huge->drawImage(Rect::make(-1e6, -1e6, 2e6, 2e6), letterImage("A"));
    EXPECT_EQ(letterRows(huge->makeImage()), "AAA/AAA/AAA");
}

TEST(BitmapContext, BilinearBlendsAndEdgesNeverFadeOut) {
    auto grey = context(1, 1);
    grey->setInterpolationQuality(cg::InterpolationQuality::High);
    grey->drawImage(Rect::make(0, 0, 1, 1), cg::Image::create(2, 1, 8, kNoAlpha, {0, 0, 0, 0, 255, 255, 255, 0}));
    const testkit::Rgb g = testkit::pixelAt(*grey->makeImage(), 0, 0);
    EXPECT_TRUE(g[0] == 127 || g[0] == 128) << int(g[0]);

    // A uniform colour keeps its colour to the last pixel, halved, grown, or both at odd ratios.
    for (auto [w, h] : {std::pair{3.0, 2.0}, {7.0, 9.0}, {5.0, 1.0}}) {
        auto c = context(w, h);
        c->drawImage(Rect::make(0, 0, w, h), letterImage("FFFFFF/FFFFFF/FFFFFF/FFFFFF"));
        const std::string row(std::size_t(w), 'F');
        std::string rows = row;
        for (int y = 1; y < h; ++y)
            rows += "/" + row;
        EXPECT_EQ(letterRows(c->makeImage()), rows) << w << " x " << h;
    }
}

TEST(BitmapContext, ReadsAndWritesEachLayout) {
    const cg::BitmapInfo bgra = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedFirst) | cg::kBitmapByteOrder32Little;
    auto plain = context(1, 1);
    plain->drawImage(Rect::make(0, 0, 1, 1), cg::Image::create(1, 1, 4, bgra, {30, 20, 10, 255}));
    EXPECT_EQ(testkit::pixelAt(*plain->makeImage(), 0, 0), (testkit::Rgb{10, 20, 30}));

    const cg::BitmapInfo rgba = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedLast);
    auto withAlpha = context(1, 1, rgba); // half-transparent red over transparent black
    withAlpha->drawImage(Rect::make(0, 0, 1, 1), cg::Image::create(1, 1, 4, rgba, {128, 0, 0, 128}));
    const auto image = withAlpha->makeImage();
    EXPECT_EQ(std::vector<std::uint8_t>(image->bytes().begin(), image->bytes().end()),
              (std::vector<std::uint8_t>{128, 0, 0, 128}));
}

// Against cairo's drawing, over a noisy picture already drawn or on a new bitmap: turns off the
// pixel grid, scales both ways, a turn too small to round, fractional moves, nearest pixels,
// translucent pictures over translucent bitmaps, layouts converted, rows with padding.
TEST(BitmapContext, DrawsThePixelsCairoDrew) {
    using Quality = cg::InterpolationQuality;
    constexpr auto rgba = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedLast);
    constexpr auto bgra = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedFirst) | cg::kBitmapByteOrder32Little;
    constexpr auto xrgb = cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipFirst);
    struct Case {
        const char* what;
        cg::BitmapInfo into, from;
        std::size_t bytesPerRow;
        bool overAPicture;
        Quality quality;
        AffineTransform ctm;
        Rect rect;
    };
    const AffineTransform turned = AffineTransform::identity().translate(40, 5).rotate(std::numbers::pi / 6);
    const Case cases[] = {
        {"turned", kNoAlpha, kNoAlpha, 0, false, Quality::Default, turned, Rect::make(0, 0, 37, 23)},
        {"turned over a picture", kNoAlpha, kNoAlpha, 0, true, Quality::High, turned, Rect::make(0, 0, 37, 23)},
        {"turned and grown", kNoAlpha, kNoAlpha, 0, true, Quality::Low,
         AffineTransform::identity().translate(30, 50).rotate(-0.8).scale(1.7, 1.3), Rect::make(-10, -5, 37, 23)},
        {"shrunk", kNoAlpha, kNoAlpha, 0, false, Quality::Default, AffineTransform{.a = 0.3, .d = 0.45},
         Rect::make(3.5, 2, 150, 90)},
        {"a hair turned", kNoAlpha, kNoAlpha, 0, true, Quality::Default,
         AffineTransform::identity().translate(3, 4).rotate(0.0002), Rect::make(0, 0, 37, 23)},
        {"moved a fraction", kNoAlpha, kNoAlpha, 0, true, Quality::Default, AffineTransform{.tx = 3.3, .ty = 7.6},
         Rect::make(0, 0, 37, 23)},
        {"a quarter turn off the grid", kNoAlpha, kNoAlpha, 0, true, Quality::Default,
         AffineTransform::identity().translate(30.5, 2).rotate(std::numbers::pi / 2), Rect::make(0, 0, 37, 23)},
        {"nearest pixels", kNoAlpha, kNoAlpha, 0, true, Quality::None, turned, Rect::make(0, 0, 37, 23)},
        {"translucent over translucent", rgba, bgra, 0, true, Quality::Default, turned, Rect::make(0, 0, 37, 23)},
        {"translucent on a new bitmap", bgra, rgba, 0, false, Quality::Default, turned, Rect::make(0, 0, 37, 23)},
        {"converted, padded rows", xrgb, kNoAlpha, 64 * 4 + 12, true, Quality::Default, turned, Rect::make(0, 0, 37, 23)},
    };
    std::uint32_t seed = 1;
    for (const Case& c : cases) {
        auto context = cg::BitmapContext::create(64, 48, 8, c.bytesPerRow, cg::ColorSpaceModel::RGB, c.into);
        context->setInterpolationQuality(c.quality);
        if (c.overAPicture) context->drawImage(Rect::make(0, 0, 64, 48), testkit::noisyImage(16, 12, c.into, ++seed));
        context->concatCTM(c.ctm);
        const rt::Ref<cg::Image> picture = testkit::noisyImage(37, 23, c.from, ++seed);
        const rt::Ref<cg::Image> before = context->makeImage(), expected = testkit::drawnByCairo(*context, c.rect, *picture);
        const std::vector<std::uint8_t> kept(before->bytes().begin(), before->bytes().end());
        context->drawImage(c.rect, picture);
        EXPECT_EQ(testkit::largestDifference(*context->makeImage(), *expected), 0) << c.what;
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), before->bytes().begin())) << c.what << ": an image made before changed";
    }
}

// Each orientation against its upright copy: the picture as seen, then the same picture turned.
TEST(BitmapContext, APictureDrawnAsSeenIsItsUprightCopy) {
    using O = cg::ImageOrientation;
    const std::pair<O, const char*> seen[] = {
        {O::Up, "ABCD/EFGH"}, {O::Down, "HGFE/DCBA"}, {O::UpMirrored, "DCBA/HGFE"}, {O::DownMirrored, "EFGH/ABCD"},
        {O::Left, "DH/CG/BF/AE"}, {O::Right, "EA/FB/GC/HD"}, {O::LeftMirrored, "AE/BF/CG/DH"}, {O::RightMirrored, "HD/GC/FB/EA"},
    };
    // Drawn at its size as seen.
    const auto drawn = [](const rt::Ref<cg::Image>& image, O orientation, const AffineTransform& ctm, double w, double h) {
        auto c = context(w, h);
        c->concatCTM(ctm);
        const auto width = double(image->width()), height = double(image->height());
        c->drawImage(cg::isQuarterTurned(orientation) ? Rect::make(0, 0, height, width) : Rect::make(0, 0, width, height),
                     image, orientation);
        return c->makeImage();
    };
    const rt::Ref<cg::Image> noisy = testkit::noisyImage(9, 7, kNoAlpha, 5);
    const AffineTransform turned = AffineTransform::identity().translate(6, 1).rotate(0.7);
    for (auto [orientation, rows] : seen) {
        const bool swapped = cg::isQuarterTurned(orientation);
        EXPECT_EQ(letterRows(drawn(letterImage("ABCD/EFGH"), orientation, {}, swapped ? 2 : 4, swapped ? 4 : 2)), rows);
        const rt::Ref<cg::Image> upright = drawn(noisy, orientation, {}, swapped ? 7 : 9, swapped ? 9 : 7);
        EXPECT_EQ(testkit::largestDifference(*drawn(noisy, orientation, turned, 16, 16),
                                             *drawn(upright, O::Up, turned, 16, 16)),
                  0)
            << long(orientation);
    }
}

} // namespace
