// Image resizing: straightening each orientation, resizing, fitting and filling a box, rotating
// and cropping, on a 4 x 2 bitmap of eight colours (rows ABCD and EFGH) drawn without smoothing.

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/exception.h"
#include "platform/uikit/image_context.h"
#include "session/image_resize.h"
#include "tests/testkit/graphics/letter_image.h"

namespace {

using cg::InterpolationQuality;
using ui::ImageOrientation;
using ui::ViewContentMode;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr auto kNone = InterpolationQuality::None;

rt::Ref<ui::Image> eightColours(ImageOrientation orientation = ImageOrientation::Up, double scale = 1) {
    return ui::Image::imageWithCGImage(testkit::letterImage("ABCD/EFGH"), scale, orientation);
}

// A plain image of that many pixels.
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

// A new, upright image at scale 1 whose bitmap has no alpha.
void expectFresh(const rt::Ref<ui::Image>& image) {
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scale(), 1);
    EXPECT_EQ(image->imageOrientation(), ImageOrientation::Up);
    EXPECT_EQ(image->CGImage()->bitmapInfo(), cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast));
}

struct Turn {
    ImageOrientation orientation;
    const char* upright;
};

const Turn kTurns[] = {
    {ImageOrientation::Up, "ABCD/EFGH"},           {ImageOrientation::Down, "HGFE/DCBA"},
    {ImageOrientation::UpMirrored, "DCBA/HGFE"},   {ImageOrientation::DownMirrored, "EFGH/ABCD"},
    {ImageOrientation::Left, "DH/CG/BF/AE"},       {ImageOrientation::Right, "EA/FB/GC/HD"},
    {ImageOrientation::LeftMirrored, "AE/BF/CG/DH"}, {ImageOrientation::RightMirrored, "HD/GC/FB/EA"},
};

// ---------------------------------------------------------------------------------------------
// Straightening

TEST(FixOrientation, TurnsEachOrientationUpright) {
    auto up = eightColours();
    EXPECT_EQ(ft::fixOrientation(up), up);

    for (const Turn& turn : kTurns) {
        if (turn.orientation == ImageOrientation::Up) continue;
        auto image = eightColours(turn.orientation);
        auto upright = ft::fixOrientation(image);
        expectFresh(upright);
        EXPECT_EQ(rows(upright), turn.upright) << long(turn.orientation);
        EXPECT_EQ(pixels(upright), image->size()) << long(turn.orientation);
    }
}

TEST(FixOrientation, NeedsABitmap) {
    EXPECT_FALSE(ft::fixOrientation(nullptr));
    // A turned image too small for one pixel has nothing to draw.
    EXPECT_FALSE(ft::fixOrientation(eightColours(ImageOrientation::Down, 1e9)));
}

// ---------------------------------------------------------------------------------------------
// Resizing

TEST(ResizedImage, DrawsUprightAtTheNewSize) {
    EXPECT_EQ(rows(ft::resizedImage(eightColours(), {4, 2}, kNone)), "ABCD/EFGH");
    EXPECT_EQ(rows(ft::resizedImage(eightColours(), {8, 4}, kNone)), "AABBCCDD/AABBCCDD/EEFFGGHH/EEFFGGHH");
    EXPECT_EQ(rows(ft::resizedImage(eightColours(ImageOrientation::Down), {8, 4}, kNone)),
              "HHGGFFEE/HHGGFFEE/DDCCBBAA/DDCCBBAA");
    // At its own size, every orientation comes out as straightening draws it.
    for (const Turn& turn : kTurns) {
        auto image = eightColours(turn.orientation);
        auto resized = ft::resizedImage(image, image->size(), kNone);
        expectFresh(resized);
        EXPECT_EQ(rows(resized), turn.upright) << long(turn.orientation);
    }
}

TEST(ResizedImage, ABitmapEnclosesTheSizeAndNothingIsDrawnForNoSize) {
    auto odd = ft::resizedImage(eightColours(), {10.4, 10.6}, InterpolationQuality::High);
    ASSERT_TRUE(odd);
    EXPECT_EQ(pixels(odd), (cg::Size{11, 11}));
    EXPECT_EQ(pixels(ft::resizedImage(eightColours(), {0.3, 0.3}, kNone)), (cg::Size{1, 1}));

    for (cg::Size size : {cg::Size{0, 2}, cg::Size{4, 0}, cg::Size{-4, -2}, cg::Size{kNaN, 2}, cg::Size{4, kInfinity},
                          cg::Size{1e6, 1e6}})
        EXPECT_FALSE(ft::resizedImage(eightColours(), size, kNone)) << size.width << " x " << size.height;
    EXPECT_FALSE(ft::resizedImage(nullptr, {4, 2}, kNone));
    EXPECT_FALSE(ft::resizedImage(ui::Image::imageWithSize({4, 2}), {4, 2}, kNone));
}

TEST(ResizedImageWithContentMode, FitsInsideOrCoversTheBox) {
    auto wide = blank(200, 100);
    EXPECT_EQ(pixels(ft::resizedImageWithContentMode(wide, ViewContentMode::ScaleAspectFit, {100, 100}, kNone)),
              (cg::Size{100, 50}));
    EXPECT_EQ(pixels(ft::resizedImageWithContentMode(wide, ViewContentMode::ScaleAspectFill, {100, 100}, kNone)),
              (cg::Size{200, 100}));
    // The proportions are those the image is seen with: a left image is 2 x 4.
    auto left = ft::resizedImageWithContentMode(eightColours(ImageOrientation::Left), ViewContentMode::ScaleAspectFit,
                                                {4, 4}, kNone);
    EXPECT_EQ(rows(left), "DH/CG/BF/AE");
}

TEST(ResizedImageWithContentMode, RefusesOtherModesFirstAndAnswersNilForNothingToDraw) {
    for (long mode : {0L, 3L, 12L, -1L}) {
        try {
            ft::resizedImageWithContentMode(nullptr, ViewContentMode(mode), {100, 100}, kNone);
            ADD_FAILURE() << "mode " << mode << " was taken";
        } catch (const ns::Exception& e) {
            EXPECT_EQ(e.name(), "NSInvalidArgumentException");
            EXPECT_EQ(e.reason(), "Unsupported content mode: " + std::to_string(mode));
        }
    }
    for (auto mode : {ViewContentMode::ScaleAspectFit, ViewContentMode::ScaleAspectFill}) {
        EXPECT_FALSE(ft::resizedImageWithContentMode(ui::Image::imageWithSize({0, 0}), mode, {100, 100}, kNone));
        EXPECT_FALSE(ft::resizedImageWithContentMode(blank(1, 1), mode, {0, 0}, kNone));
        EXPECT_FALSE(ft::resizedImageWithContentMode(blank(1, 1), mode, {kNaN, 10}, kNone));
        EXPECT_FALSE(ft::resizedImageWithContentMode(nullptr, mode, {10, 10}, kNone));
    }
}

// ---------------------------------------------------------------------------------------------
// Rotating

TEST(RotatedByDegrees, TheCanvasIsTheTurnedPicturesBoundingBox) {
    auto picture = blank(100, 50);
    EXPECT_EQ(pixels(ft::rotatedByDegrees(picture, 90)), (cg::Size{50, 100}));
    EXPECT_EQ(pixels(ft::rotatedByDegrees(picture, 45)), (cg::Size{107, 107}));
    EXPECT_EQ(pixels(ft::rotatedByDegrees(picture, -180)), (cg::Size{100, 50}));
    EXPECT_EQ(pixels(ft::rotatedByDegrees(picture, 270)), (cg::Size{50, 100}));
}

TEST(RotatedByDegrees, TurnsClockwiseAfterStraightening) {
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 90)), "EA/FB/GC/HD");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), -90)), "DH/CG/BF/AE");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 180)), "HGFE/DCBA");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 0)), "ABCD/EFGH");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(), 360)), "ABCD/EFGH");
    auto left = ft::rotatedByDegrees(eightColours(ImageOrientation::Left), 0);
    expectFresh(left);
    EXPECT_EQ(rows(left), "DH/CG/BF/AE");
    EXPECT_EQ(rows(ft::rotatedByDegrees(eightColours(ImageOrientation::Right), 90)), "HGFE/DCBA");
}

TEST(RotatedByDegrees, AnAngleThatIsNoAngleDrawsNothingAndLeavesNoContext) {
    ui::graphicsBeginImageContext({2, 2});
    auto outer = ui::graphicsGetCurrentContext();
    EXPECT_FALSE(ft::rotatedByDegrees(eightColours(), kNaN));
    EXPECT_FALSE(ft::rotatedByDegrees(eightColours(), kInfinity));
    EXPECT_FALSE(ft::rotatedByDegrees(nullptr, 90));
    EXPECT_TRUE(ft::rotatedByDegrees(eightColours(), 30));
    EXPECT_EQ(ui::graphicsGetCurrentContext(), outer);
    ui::graphicsEndImageContext();
}

// ---------------------------------------------------------------------------------------------
// Cropping

TEST(CroppedImage, CutsTheBitmapInPixels) {
    EXPECT_EQ(rows(ft::croppedImage(eightColours(), cg::Rect::make(1, 0, 2, 2))), "BC/FG");
    EXPECT_EQ(rows(ft::croppedImage(eightColours(), cg::Rect::make(3, 1, 5, 5))), "H");
    EXPECT_FALSE(ft::croppedImage(eightColours(), cg::Rect::make(10, 10, 2, 2)));
    EXPECT_FALSE(ft::croppedImage(ui::Image::imageWithSize({4, 2}), cg::Rect::make(0, 0, 2, 2)));
    EXPECT_FALSE(ft::croppedImage(nullptr, cg::Rect::make(0, 0, 2, 2)));

    // Neither the orientation nor the scale applies: the stored bitmap is cut, and the part is an
    // upright image at scale 1.
    auto cut = ft::croppedImage(eightColours(ImageOrientation::Left, 2), cg::Rect::make(0, 0, 3, 1));
    expectFresh(cut);
    EXPECT_EQ(rows(cut), "ABC");
    EXPECT_EQ(cut->size(), (cg::Size{3, 1}));
}

} // namespace
