// Affine transform operations, bitmaps (cg::Image) and drawing them into a bitmap context.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/bitmap_context.h"
#include "platform/graphics/image.h"
#include "tests/testkit/graphics/letter_image.h"

namespace {

using cg::AffineTransform;
using cg::BitmapContext;
using cg::InterpolationQuality;
using cg::Point;
using cg::Rect;
using testkit::letterImage;
using testkit::letterRows;
using testkit::pixelAt;

constexpr cg::BitmapInfo kNoAlpha = cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

void expectNear(Point actual, Point expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-12);
    EXPECT_NEAR(actual.y, expected.y, 1e-12);
}

rt::Ref<BitmapContext> context(double width, double height, cg::BitmapInfo info = kNoAlpha) {
    return BitmapContext::create(width, height, 8, 0, cg::ColorSpaceModel::RGB, info);
}

// ---------------------------------------------------------------------------------------------
// Affine transforms

TEST(AffineTransform, EachNewStepActsFirstInTheCurrentSpace) {
    const AffineTransform t = AffineTransform::identity().translate(10, 0).scale(2, 3);
    EXPECT_EQ(t.apply(Point{1, 1}), (Point{12, 3})); // scaled, then moved
    expectNear(AffineTransform::identity().rotate(std::numbers::pi / 2).apply(Point{1, 0}), {0, 1});
    expectNear(AffineTransform::identity().translate(5, 5).rotate(std::numbers::pi).apply(Point{1, 2}), {4, 3});

    // concat applies the receiver, then its argument.
    const AffineTransform move{.tx = 10}, twice{.a = 2, .d = 2};
    EXPECT_EQ(move.concat(twice).apply(Point{1, 1}), (Point{22, 2}));
    EXPECT_EQ(twice.concat(move).apply(Point{1, 1}), (Point{12, 2}));
}

TEST(AffineTransform, InverseUndoesAndSingularTransformsStayAsTheyAre) {
    const AffineTransform t = AffineTransform::identity().translate(3, -7).rotate(0.7).scale(2, -0.5);
    expectNear(t.concat(t.invert()).apply(Point{13, -4}), {13, -4});
    expectNear(t.invert().apply(t.apply(Point{-2, 9})), {-2, 9});

    const AffineTransform flat = AffineTransform::identity().scale(0, 1);
    EXPECT_FALSE(flat.isInvertible());
    EXPECT_EQ(flat.invert(), flat);
    const AffineTransform broken{.a = kNaN};
    EXPECT_FALSE(broken.isInvertible());
    EXPECT_FALSE((AffineTransform{.tx = kInfinity}).isInvertible());
}

TEST(AffineTransform, ARectangleBecomesTheBoundingBoxOfItsCorners) {
    const Rect box = AffineTransform::identity().rotate(std::numbers::pi / 4).apply(Rect::make(0, 0, 2, 2));
    EXPECT_NEAR(box.minX(), -std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(box.width(), 2 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(box.height(), 2 * std::sqrt(2.0), 1e-12);
    // A negative size is standardized first; a null rectangle stays null.
    EXPECT_EQ(AffineTransform{.tx = 1}.apply(Rect::make(10, 10, -4, -2)), Rect::make(7, 8, 4, 2));
    EXPECT_TRUE(AffineTransform{.a = 3}.apply(Rect::null()).isNull());
}

// ---------------------------------------------------------------------------------------------
// Images

TEST(CGImage, RefusesLayoutsAndBytesItCannotHold) {
    const auto make = [](std::size_t w, std::size_t h, std::size_t row, cg::BitmapInfo info, std::size_t count) {
        return cg::Image::create(w, h, row, info, std::vector<std::uint8_t>(count));
    };
    EXPECT_TRUE(make(2, 2, 8, kNoAlpha, 16));
    EXPECT_TRUE(make(2, 2, 12, kNoAlpha, 20)); // the last row needs only its pixels
    EXPECT_FALSE(make(2, 2, 12, kNoAlpha, 19));
    EXPECT_FALSE(make(0, 2, 8, kNoAlpha, 16));
    EXPECT_FALSE(make(2, 0, 8, kNoAlpha, 16));
    EXPECT_FALSE(make(2, 2, 7, kNoAlpha, 64)); // rows shorter than their pixels
    EXPECT_FALSE(make(2, 2, std::numeric_limits<std::size_t>::max(), kNoAlpha, 16));
    EXPECT_FALSE(make(std::numeric_limits<std::size_t>::max() / 2, 1, 0, kNoAlpha, 16));
    for (cg::BitmapInfo info : {0u, 3u, 4u, 7u, 8u, kNoAlpha | (1u << 12), kNoAlpha | (3u << 12), kNoAlpha | 0x100u})
        EXPECT_FALSE(make(1, 1, 4, info, 4)) << info;
    for (cg::BitmapInfo info : {1u, 2u, 5u, 6u, 1u | cg::kBitmapByteOrder32Little, 6u | cg::kBitmapByteOrder32Big})
        EXPECT_TRUE(make(1, 1, 4, info, 4)) << info;

    auto image = make(3, 2, 16, kNoAlpha, 32);
    EXPECT_EQ(image->width(), 3u);
    EXPECT_EQ(image->bytesPerRow(), 16u);
    EXPECT_EQ(image->bitsPerComponent(), 8u);
    EXPECT_EQ(image->bitsPerPixel(), 32u);
    EXPECT_EQ(image->alphaInfo(), cg::ImageAlphaInfo::NoneSkipLast);
    EXPECT_EQ(image->colorSpaceModel(), cg::ColorSpaceModel::RGB);
}

TEST(CGImage, APartIsMadeIntegralAndClippedToTheBitmap) {
    const auto image = letterImage("ABCD/EFGH");
    const auto part = [&](Rect r) { return letterRows(cg::Image::createWithImageInRect(image, r)); };
    EXPECT_EQ(part(Rect::make(1, 0, 2, 2)), "BC/FG");
    EXPECT_EQ(part(Rect::make(0.5, 0.2, 1, 0.5)), "AB"); // encloses (0, 0, 2, 1)
    EXPECT_EQ(part(Rect::make(3, 1, 5, 5)), "H");
    EXPECT_EQ(part(Rect::make(3, 2, -2, -1)), "FG"); // standardized: (1, 1, 2, 1)
    EXPECT_EQ(part(Rect::make(-1e300, -1e300, 2e300, 2e300)), "ABCD/EFGH");
    EXPECT_EQ(part(Rect::make(10, 10, 2, 2)), "nil");
    EXPECT_EQ(part(Rect::make(4, 0, 1, 1)), "nil"); // touches the right edge only
    EXPECT_EQ(part(Rect::make(0, 0, 0, 2)), "nil");
    EXPECT_EQ(part(Rect::make(kNaN, 0, 1, 1)), "nil");
    EXPECT_EQ(part(Rect::make(0, 0, kInfinity, 1)), "nil");
    EXPECT_EQ(part(Rect::null()), "nil");
    EXPECT_FALSE(cg::Image::createWithImageInRect(nullptr, Rect::make(0, 0, 1, 1)));
}

// ---------------------------------------------------------------------------------------------
// Bitmap contexts

TEST(BitmapContext, SizesAreTruncatedAndRowsChosen) {
    auto c = context(10.9, 3.2);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->width(), 10u);
    EXPECT_EQ(c->height(), 3u);
    EXPECT_EQ(c->bytesPerRow(), 40u);
    auto padded = BitmapContext::create(3, 2, 8, 20, cg::ColorSpaceModel::RGB, kNoAlpha);
    auto image = padded->makeImage();
    EXPECT_EQ(image->bytesPerRow(), 20u);
    EXPECT_EQ(image->bitmapInfo(), kNoAlpha);
    // Cleared to black; the skipped byte is filled.
    EXPECT_EQ(pixelAt(*image, 2, 1), (testkit::Rgb{0, 0, 0}));
    EXPECT_EQ(image->bytes()[3], 0xFF);
}

TEST(BitmapContext, RefusesSizesAndLayoutsItCannotDraw) {
    for (double side : {0.0, 0.99, -5.0, kNaN, kInfinity, 32768.0, 1e300})
        EXPECT_FALSE(context(side, 4)) << side;
    EXPECT_TRUE(context(32767.5, 1));
    EXPECT_FALSE(BitmapContext::create(10, 1, 16, 0, cg::ColorSpaceModel::RGB, kNoAlpha));
    EXPECT_FALSE(BitmapContext::create(10, 1, 8, 39, cg::ColorSpaceModel::RGB, kNoAlpha));
    EXPECT_FALSE(context(4, 4, cg::BitmapInfo(cg::ImageAlphaInfo::Last)));
}

TEST(BitmapContext, TheOriginIsBottomLeftAndAnImagesTopRowLandsAtTheTop) {
    auto c = context(2, 3);
    c->drawImage(Rect::make(0, 0, 1, 2), letterImage("A/B"));
    EXPECT_EQ(letterRows(c->makeImage()), "../A./B.");

    c->translateCTM(1, 2);
    c->drawImage(Rect::make(0, 0, 1, 1), letterImage("C"));
    EXPECT_EQ(letterRows(c->makeImage()), ".C/A./B.");
}

TEST(BitmapContext, TheTransformTurnsAndMirrorsWhatIsDrawn) {
    auto turned = context(2, 4);
    turned->concatCTM(AffineTransform::identity().translate(2, 0).rotate(std::numbers::pi / 2));
    turned->setInterpolationQuality(InterpolationQuality::None);
    turned->drawImage(Rect::make(0, 0, 4, 2), letterImage("ABCD/EFGH"));
    EXPECT_EQ(letterRows(turned->makeImage()), "DH/CG/BF/AE");

    auto mirrored = context(4, 2);
    mirrored->translateCTM(4, 0);
    mirrored->scaleCTM(-1, 1);
    mirrored->drawImage(Rect::make(0, 0, 4, 2), letterImage("ABCD/EFGH"));
    EXPECT_EQ(letterRows(mirrored->makeImage()), "DCBA/HGFE");
}

TEST(BitmapContext, QualityNoneTakesTheNearestPixel) {
    auto c = context(8, 4);
    c->setInterpolationQuality(InterpolationQuality::None);
    c->drawImage(Rect::make(0, 0, 8, 4), letterImage("ABCD/EFGH"));
    EXPECT_EQ(letterRows(c->makeImage()), "AABBCCDD/AABBCCDD/EEFFGGHH/EEFFGGHH");
}

TEST(BitmapContext, BilinearBlendsAndEdgesNeverFadeOut) {
    auto blackWhite = cg::Image::create(2, 1, 8, kNoAlpha, {0, 0, 0, 0xFF, 255, 255, 255, 0xFF});
    auto grey = context(1, 1);
    grey->setInterpolationQuality(InterpolationQuality::High);
    grey->drawImage(Rect::make(0, 0, 1, 1), blackWhite);
    const testkit::Rgb g = pixelAt(*grey->makeImage(), 0, 0);
    EXPECT_GE(g[0], 127);
    EXPECT_LE(g[0], 128);
    EXPECT_EQ(g[0], g[2]);

    // A uniform colour stays that colour to the last pixel, shrunk, grown, or both at odd ratios.
    const auto uniform = letterImage("FFFFFF/FFFFFF/FFFFFF/FFFFFF");
    for (auto quality : {InterpolationQuality::Default, InterpolationQuality::Low, InterpolationQuality::Medium,
                         InterpolationQuality::High})
        for (auto [w, h] : {std::pair{3.0, 2.0}, {7.0, 9.0}, {5.0, 1.0}}) {
            auto c = context(w, h);
            c->setInterpolationQuality(quality);
            c->drawImage(Rect::make(0, 0, w, h), uniform);
            const std::string row(std::size_t(w), 'F');
            std::string rows = row;
            for (int y = 1; y < h; ++y)
                rows += "/" + row;
            EXPECT_EQ(letterRows(c->makeImage()), rows) << w << " x " << h;
        }
}

TEST(BitmapContext, ComponentsAreReadAndWrittenInEachLayout) {
    // Premultiplied alpha first in a little-endian word: blue, green, red, alpha in memory.
    const cg::BitmapInfo bgra = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedFirst) | cg::kBitmapByteOrder32Little;
    auto source = cg::Image::create(1, 1, 4, bgra, {30, 20, 10, 255});
    auto plain = context(1, 1);
    plain->drawImage(Rect::make(0, 0, 1, 1), source);
    EXPECT_EQ(pixelAt(*plain->makeImage(), 0, 0), (testkit::Rgb{10, 20, 30}));

    // Half-transparent red over the cleared (transparent) bitmap keeps its alpha in the copy.
    const cg::BitmapInfo rgba = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedLast);
    auto withAlpha = context(1, 1, rgba);
    withAlpha->drawImage(Rect::make(0, 0, 1, 1), cg::Image::create(1, 1, 4, rgba, {128, 0, 0, 128}));
    auto image = withAlpha->makeImage();
    EXPECT_EQ(image->bitmapInfo(), rgba);
    EXPECT_EQ(std::vector<std::uint8_t>(image->bytes().begin(), image->bytes().end()),
              (std::vector<std::uint8_t>{128, 0, 0, 128}));
}

TEST(BitmapContext, DrawsNothingForNoImageNoAreaOrAFlatOrBrokenTransform) {
    auto c = context(2, 2);
    const auto a = letterImage("A");
    c->drawImage(Rect::make(0, 0, 2, 2), nullptr);
    c->drawImage(Rect::make(0, 0, 0, 2), a);
    c->drawImage(Rect::null(), a);
    c->drawImage(Rect::make(kNaN, 0, 2, 2), a);
    c->drawImage(Rect::make(0, 0, kInfinity, 2), a);
    c->scaleCTM(0, 1);
    c->drawImage(Rect::make(0, 0, 2, 2), a);
    EXPECT_EQ(letterRows(c->makeImage()), "../..");

    // A rectangle far larger than the bitmap covers all of it.
    auto huge = context(3, 3);
    huge->drawImage(Rect::make(-1e6, -1e6, 2e6, 2e6), a);
    EXPECT_EQ(letterRows(huge->makeImage()), "AAA/AAA/AAA");
}

} // namespace
