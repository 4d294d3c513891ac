// Image resizing on a 4 x 2 bitmap of eight colours (rows ABCD and EFGH), drawn without smoothing:
// straightening each orientation, resizing, fitting and filling, rotating and cropping.

#include <limits>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/exception.h"
#include "platform/uikit/image_context.h"
#include "session/image_resize.h"
#include "tests/testkit/graphics/cairo_drawing.h"
#include "tests/testkit/graphics/letter_image.h"

namespace {

using ui::ImageOrientation;
using ui::ViewContentMode;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr auto kNone = cg::InterpolationQuality::None;

rt::Ref<ui::Image> eightColours(ImageOrientation orientation = ImageOrientation::Up, double scale = 1) {
    return ui::Image::imageWithCGImage(testkit::letterImage("ABCD/EFGH"), scale, orientation);
}

rt::Ref<ui::Image> blank(std::size_t width, std::size_t height) {
    return ui::Image::imageWithCGImage(cg::Image::create(width, height, width * 4,
                                                         cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast),
                                                         std::vector<std::uint8_t>(width * height * 4)));
}

std::string rows(const rt::Ref<ui::Image>& image) {
    return image ? testkit::letterRows(image->CGImage()) : "nil";
}

cg::Size pixels(const rt::Ref<ui::Image>& image) {
    return {double(image->CGImage()->width()), double(image->CGImage()->height())};
}

bool isFresh(const rt::Ref<ui::Image>& image) {
    return image->scale() == 1 && image->imageOrientation() == ImageOrientation::Up &&
           image->CGImage()->bitmapInfo() == cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast);
}

const std::pair<ImageOrientation, const char*> kUpright[] = {
    {ImageOrientation::Down, "HGFE/DCBA"},         {ImageOrientation::UpMirrored, "DCBA/HGFE"},
    {ImageOrientation::DownMirrored, "EFGH/ABCD"}, {ImageOrientation::Left, "DH/CG/BF/AE"},
    {ImageOrientation::Right, "EA/FB/GC/HD"},      {ImageOrientation::LeftMirrored, "AE/BF/CG/DH"},
    {ImageOrientation::RightMirrored, "HD/GC/FB/EA"}, {ImageOrientation::Up, "ABCD/EFGH"},
};

TEST(ImageResize, StraighteningAndResizingAtTheSameSizeTurnEachOrientationUpright) {
    auto up = eightColours();
    EXPECT_EQ(ft::fixOrientation(up), up);
    for (auto [orientation, upright] : kUpright) {
        auto image = eightColours(orientation);
        auto fixed = ft::fixOrientation(image), resized = ft::resizedImage(image, image->size(), kNone);
        if (orientation != ImageOrientation::Up) {
            EXPECT_EQ(rows(fixed), upright) << long(orientation);
            EXPECT_EQ(pixels(fixed), image->size());
            EXPECT_TRUE(isFresh(fixed));
        }
        EXPECT_EQ(rows(resized), upright) << long(orientation); // an up image is never squeezed
        EXPECT_TRUE(isFresh(resized));
    }
    EXPECT_FALSE(ft::fixOrientation(nullptr));
    EXPECT_FALSE(ft::fixOrientation(eightColours(ImageOrientation::Down, 1e9))); // under one pixel
}

TEST(ImageResize, ResizingScalesIntoAnEnclosingBitmapAndDrawsNothingForNoSize) {
    EXPECT_EQ(rows(ft::resizedImage(eightColours(), {8, 4}, kNone)), "AABBCCDD/AABBCCDD/EEFFGGHH/EEFFGGHH");
    EXPECT_EQ(rows(ft::resizedImage(eightColours(ImageOrientation::Down), {8, 4}, kNone)),
              "HHGGFFEE/HHGGFFEE/DDCCBBAA/DDCCBBAA");
    EXPECT_EQ(pixels(ft::resizedImage(eightColours(), {10.4, 10.6}, cg::InterpolationQuality::High)),
              (cg::Size{11, 11}));
    for (cg::Size size : {cg::Size{0, 2}, cg::Size{-4, -2}, cg::Size{kNaN, 2}, cg::Size{1e6, 1e6}})
        EXPECT_FALSE(ft::resizedImage(eightColours(), size, kNone)) << size.width << " x " << size.height;
    EXPECT_FALSE(ft::resizedImage(ui::Image::imageWithSize({4, 2}), {4, 2}, kNone)); // no bitmap
}

TEST(ImageResize, FitAndFillKeepProportionsAndOtherModesAreRefusedFirst) {
    auto wide = blank(200, 100);
    EXPECT_EQ(pixels(ft::resizedImageWithContentMode(wide, ViewContentMode::ScaleAspectFit, {100, 100}, kNone)),
              (cg::Size{100, 50}));
    EXPECT_EQ(pixels(ft::resizedImageWithContentMode(wide, ViewContentMode::ScaleAspectFill, {100, 100}, kNone)),
              (cg::Size{200, 100}));
    EXPECT_EQ(rows(ft::resizedImageWithContentMode(eightColours(ImageOrientation::Left),
                                                   ViewContentMode::ScaleAspectFit, {4, 4}, kNone)),
              "DH/CG/BF/AE"); // proportions as seen: 2 x 4

    for (long mode : {0L, 3L, -1L}) {
        try {
            ft::resizedImageWithContentMode(nullptr, ViewContentMode(mode), {100, 100}, kNone);
            ADD_FAILURE() << "mode " << mode << " was taken";
        } catch (const ns::Exception& e) {
            EXPECT_EQ(e.name(), "NSInvalidArgumentException");
            EXPECT_EQ(e.reason(), "Unsupported content mode: " + std::to_string(mode));
        }
    }
    EXPECT_FALSE(ft::resizedImageWithContentMode(ui::Image::imageWithSize({0, 0}), ViewContentMode::ScaleAspectFit,
                                                 {100, 100}, kNone));
    EXPECT_FALSE(ft::resizedImageWithContentMode(blank(1, 1), ViewContentMode::ScaleAspectFill, {0, kNaN}, kNone));
}

TEST(ImageResize, RotationTurnsClockwiseOnTheBoundingCanvasAfterStraightening) {
    EXPECT_EQ(pixels(ft::rotatedByDegrees(blank(100, 50), 90)), (cg::Size{50, 100}));
    EXPECT_EQ(pixels(ft::rotatedByDegrees(blank(100, 50), 45)), (cg::Size{107, 107}));
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 90)), "EA/FB/GC/HD");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), -90)), "DH/CG/BF/AE");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 180)), "HGFE/DCBA");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 0)), "ABCD/EFGH");
    auto left = ft::rotatedByDegrees(eightColours(ImageOrientation::Left), 0);
    EXPECT_EQ(rows(left), "DH/CG/BF/AE");
    EXPECT_TRUE(isFresh(left));

    // No angle, no picture; the image context is left as it was.
    ui::graphicsBeginImageContext({2, 2});
    auto outer = ui::graphicsGetCurrentImageContext();
    EXPECT_FALSE(ft::rotatedByDegrees(eightColours(), kNaN));
    EXPECT_FALSE(ft::rotatedByDegrees(nullptr, 90));
    EXPECT_TRUE(ft::rotatedByDegrees(eightColours(), 30));
    EXPECT_EQ(ui::graphicsGetCurrentImageContext(), outer);
    ui::graphicsEndImageContext();
}

// Against the rotation as it was drawn before: the picture straightened, then drawn turned by
// cairo on the canvas the rotation chose.
TEST(ImageResize, RotationGivesThePixelsItGaveBefore) {
    const auto noAlpha = cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast);
    const auto bgra = cg::BitmapInfo(cg::ImageAlphaInfo::PremultipliedFirst) | cg::kBitmapByteOrder32Little;
    const std::pair<rt::Ref<cg::Image>, ImageOrientation> pictures[] = {
        {testkit::noisyImage(301, 217, noAlpha, 1), ImageOrientation::Right},
        {testkit::noisyImage(160, 120, noAlpha, 2, true), ImageOrientation::Up},
        {testkit::noisyImage(97, 131, bgra, 3), ImageOrientation::LeftMirrored},
    };
    for (const auto& [bitmap, orientation] : pictures)
        for (double degrees : {30.0, -73.5, 181.0}) {
            const auto image = ui::Image::imageWithCGImage(bitmap, 1, orientation);
            const rt::Ref<cg::Image> rotated = ft::rotatedByDegrees(image, degrees)->CGImage();
            const rt::Ref<cg::Image> upright = ft::fixOrientation(image)->CGImage();
            const double w = double(upright->width()), h = double(upright->height());
            const double radians = std::numbers::pi * (degrees / 180);
            const cg::Size canvas = cg::AffineTransform::identity().rotate(radians).apply(cg::Rect::make(0, 0, w, h)).size;
            ui::graphicsBeginImageContext(canvas);
            const auto context = ui::graphicsGetCurrentImageContext();
            context->translateCTM(canvas.width / 2, canvas.height / 2);
            context->rotateCTM(radians);
            context->scaleCTM(1, -1);
            const auto before = testkit::drawnByCairo(*context, cg::Rect::make(-w / 2, -h / 2, w, h), *upright);
            ui::graphicsEndImageContext();
            EXPECT_LE(testkit::largestDifference(*rotated, *before), 1) << bitmap->width() << " x " << bitmap->height() << ", " << degrees;
        }
}

TEST(ImageResize, CroppingCutsTheStoredBitmapInPixels) {
    EXPECT_EQ(rows(ft::croppedImage(eightColours(), cg::Rect::make(1, 0, 2, 2))), "BC/FG");
    EXPECT_EQ(rows(ft::croppedImage(eightColours(), cg::Rect::make(3, 1, 5, 5))), "H");
    EXPECT_FALSE(ft::croppedImage(eightColours(), cg::Rect::make(10, 10, 2, 2)));
    EXPECT_FALSE(ft::croppedImage(ui::Image::imageWithSize({4, 2}), cg::Rect::make(0, 0, 2, 2)));
    // Neither the orientation nor the scale applies; the part is upright at scale 1.
    auto cut = ft::croppedImage(eightColours(ImageOrientation::Left, 2), cg::Rect::make(0, 0, 3, 1));
    EXPECT_EQ(rows(cut), "ABC");
    EXPECT_TRUE(isFresh(cut));
}

} // namespace
