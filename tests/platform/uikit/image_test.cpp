// Images made from bitmaps (size, scale, orientation) and the image context's stack.

#include <limits>

#include <gtest/gtest.h>

#include "platform/graphics/value_boxing.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_context.h"
#include "tests/testkit/graphics/letter_image.h"

namespace {

using ui::ImageOrientation;

TEST(UIImage, SizeIsTheBitmapOverTheScaleTurnedByTheOrientation) {
    const auto bitmap = testkit::letterImage("ABCD/EFGH");
    auto plain = ui::Image::imageWithCGImage(bitmap);
    EXPECT_EQ(plain->CGImage(), bitmap);
    EXPECT_EQ(plain->scale(), 1);
    EXPECT_EQ(plain->imageOrientation(), ImageOrientation::Up);
    EXPECT_EQ(plain->size(), (cg::Size{4, 2}));
    EXPECT_FALSE(plain->name());

    for (long code = 0; code <= 7; ++code) {
        auto image = ui::Image::imageWithCGImage(bitmap, 2, ImageOrientation(code));
        const bool turned = code == 2 || code == 3 || code == 6 || code == 7;
        EXPECT_EQ(image->size(), turned ? (cg::Size{1, 2}) : (cg::Size{2, 1})) << code;
        EXPECT_EQ(image->imageOrientation(), ImageOrientation(code));
    }

    // What cannot be shown as given is shown at scale 1 and upright; no bitmap, no image.
    for (double scale : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(ui::Image::imageWithCGImage(bitmap, scale, ImageOrientation::Left)->size(), (cg::Size{2, 4}));
    EXPECT_EQ(ui::Image::imageWithCGImage(bitmap, 1, ImageOrientation(8))->imageOrientation(), ImageOrientation::Up);
    EXPECT_EQ(ui::Image::imageWithCGImage(bitmap, 1, ImageOrientation(-1))->imageOrientation(), ImageOrientation::Up);
    EXPECT_FALSE(ui::Image::imageWithCGImage(nullptr));
    EXPECT_FALSE(ui::Image::imageWithSize({3, 3})->CGImage());
}

TEST(UIImage, KeysReachTheBitmapAndOrientation) {
    auto image = ui::Image::imageWithCGImage(testkit::letterImage("AB"), 1, ImageOrientation::RightMirrored);
    EXPECT_EQ(ns::valueForKey(image, "CGImage"), image->CGImage());
    EXPECT_TRUE(rt::equal(ns::valueForKey(image, "imageOrientation"), ns::Number::withLong(7)));
    EXPECT_EQ(cg::unboxed<cg::Size>(ns::valueForKey(image, "size")), (cg::Size{1, 2}));
}

TEST(ImageContext, IsFlippedAndRoundsItsSizeUp) {
    ui::graphicsBeginImageContext({2.2, 1.5});
    auto context = ui::graphicsGetCurrentContext();
    ASSERT_TRUE(context);
    EXPECT_EQ(context->width(), 3u);
    EXPECT_EQ(context->height(), 2u);
    // The origin at the top left, y down: a rectangle at (0, 0) is drawn in the top row, and an
    // image's top row lands at the rectangle's bottom (its larger y).
    context->drawImage(cg::Rect::make(0, 0, 1, 2), testkit::letterImage("A/B"));
    auto image = ui::graphicsGetImageFromCurrentImageContext();
    ui::graphicsEndImageContext();
    EXPECT_FALSE(ui::graphicsGetCurrentContext());

    ASSERT_TRUE(image);
    EXPECT_EQ(image->scale(), 1);
    EXPECT_EQ(image->imageOrientation(), ImageOrientation::Up);
    EXPECT_EQ(image->CGImage()->bitmapInfo(), cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast));
    EXPECT_EQ(testkit::letterRows(image->CGImage()), "B../A..");
}

TEST(ImageContext, IsAStackAndABadSizeStillTakesItsPlace) {
    EXPECT_FALSE(ui::graphicsGetImageFromCurrentImageContext());
    ui::graphicsEndImageContext(); // nothing to end

    ui::graphicsBeginImageContext({4, 4});
    auto outer = ui::graphicsGetCurrentContext();
    ui::graphicsBeginImageContext({1, 1});
    auto inner = ui::graphicsGetCurrentContext();
    EXPECT_NE(inner, outer);
    ui::graphicsEndImageContext();
    EXPECT_EQ(ui::graphicsGetCurrentContext(), outer);

    for (cg::Size bad : {cg::Size{0, 5}, cg::Size{-1, 2}, cg::Size{std::numeric_limits<double>::quiet_NaN(), 1},
                         cg::Size{1e9, 1}}) {
        ui::graphicsBeginImageContext(bad);
        EXPECT_FALSE(ui::graphicsGetCurrentContext());
        EXPECT_FALSE(ui::graphicsGetImageFromCurrentImageContext());
        ui::graphicsEndImageContext();
        EXPECT_EQ(ui::graphicsGetCurrentContext(), outer) << "the matching end took the outer context";
    }
    ui::graphicsEndImageContext();
    EXPECT_FALSE(ui::graphicsGetCurrentContext());
}

} // namespace
