// Images made from bitmaps (size, scale, orientation) and the image context's stack.

#include <limits>

#include <gtest/gtest.h>

#include "platform/uikit/image.h"
#include "platform/uikit/image_context.h"
#include "tests/testkit/graphics/letter_image.h"

namespace {

using ui::ImageOrientation;

TEST(UIImage, SizeIsTheBitmapOverTheScaleTurnedByTheOrientation) {
    const auto bitmap = testkit::letterImage("ABCD/EFGH");
    auto plain = ui::Image::imageWithCGImage(bitmap);
    EXPECT_EQ(plain->scale(), 1);
    EXPECT_EQ(plain->imageOrientation(), ImageOrientation::Up);
    EXPECT_EQ(plain->size(), (cg::Size{4, 2}));
    for (long code = 0; code <= 7; ++code) {
        const bool turned = code == 2 || code == 3 || code == 6 || code == 7;
        EXPECT_EQ(ui::Image::imageWithCGImage(bitmap, 2, ImageOrientation(code))->size(),
                  turned ? (cg::Size{1, 2}) : (cg::Size{2, 1}));
    }
    // What cannot be shown as given is shown at scale 1 and upright; no bitmap, no image.
    for (double scale : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(ui::Image::imageWithCGImage(bitmap, scale, ImageOrientation::Left)->size(), (cg::Size{2, 4}));
    EXPECT_EQ(ui::Image::imageWithCGImage(bitmap, 1, ImageOrientation(8))->imageOrientation(), ImageOrientation::Up);
    EXPECT_FALSE(ui::Image::imageWithCGImage(nullptr));
}

TEST(ImageContext, IsAFlippedStackAndABadSizeStillTakesItsPlace) {
    ui::graphicsEndImageContext(); // nothing to end
    ui::graphicsBeginImageContext({2.2, 1.5});
    auto outer = ui::graphicsGetCurrentImageContext();
    ASSERT_TRUE(outer);
    EXPECT_EQ(outer->width(), 3u);
    EXPECT_EQ(outer->height(), 2u);
    // Origin at the top left, y down: (0, 0) is the top row, and the image's top row lands at the
    // rectangle's larger y.
    outer->drawImage(cg::Rect::make(0, 0, 1, 2), testkit::letterImage("A/B"));

    for (cg::Size bad : {cg::Size{0, 5}, cg::Size{std::numeric_limits<double>::quiet_NaN(), 1}, cg::Size{1e9, 1}}) {
        ui::graphicsBeginImageContext(bad);
        EXPECT_FALSE(ui::graphicsGetCurrentImageContext());
        EXPECT_FALSE(ui::graphicsGetImageFromCurrentImageContext());
        ui::graphicsEndImageContext();
        EXPECT_EQ(ui::graphicsGetCurrentImageContext(), outer) << "the matching end took the outer context";
    }
    auto image = ui::graphicsGetImageFromCurrentImageContext();
    ui::graphicsEndImageContext();
    EXPECT_FALSE(ui::graphicsGetCurrentImageContext());
    EXPECT_EQ(image->scale(), 1);
    EXPECT_EQ(image->CGImage()->bitmapInfo(), cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast));
    EXPECT_EQ(testkit::letterRows(image->CGImage()), "B../A..");
}

} // namespace
