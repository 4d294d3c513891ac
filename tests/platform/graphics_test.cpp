// Affine transform operations, bitmaps (cg::Image) and drawing them into a bitmap context.

#include <gtest/gtest.h>

#include <limits>
#include <numbers>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/bitmap_context.h"
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

} // namespace
