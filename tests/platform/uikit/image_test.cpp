// Images made from bitmaps (size, scale, orientation) and the image context's stack; named images
// read from the bundle's files; images in buttons and image views.

#include <filesystem>
#include <fstream>
#include <limits>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/graphics/raster_context.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_context.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/app/app_fixture.h"
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

// ---- Images from the bundle's files ----

namespace {

namespace fs = std::filesystem;

// A PNG's size as its header gives it.
cg::Size pngHeaderSize(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    auto word = [&](int at) {
        return double(header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3]);
    };
    return {word(16), word(20)};
}

// A picture of `width` x `height` pixels in one colour, written as a PNG.
void writePicture(const fs::path& path, int width, int height, const rt::Ref<cg::Color>& colour) {
    cg::RasterContext picture(width, height);
    picture.clearTo(colour);
    ASSERT_FALSE(picture.writePNG(path.string()));
}

} // namespace

TEST(ImageNamed, EveryShippedPictureLoadsWithItsPixelSizeAtScaleTwo) {
    testkit::AppFixture app;
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(app.bundleFolder())) {
        const std::string file = entry.path().filename().string();
        if (entry.path().extension() != ".png") continue;
        ++pictures;
        ASSERT_TRUE(file.ends_with("@2x.png")) << file;
        const std::string name = file.substr(0, file.size() - 7);
        auto image = ui::Image::imageNamed(name);
        ASSERT_TRUE(image && image->CGImage()) << name;
        const cg::Size pixels = pngHeaderSize(entry.path());
        EXPECT_EQ(cg::Size(double(image->CGImage()->width()), double(image->CGImage()->height())), pixels)
            << name;
        EXPECT_EQ(image->scale(), 2) << name;
        EXPECT_EQ(image->size(), (cg::Size{pixels.width / 2, pixels.height / 2})) << name;
        EXPECT_EQ(image, ui::Image::imageNamed(name)) << "read once: " << name;
    }
    EXPECT_EQ(pictures, 48);
    EXPECT_TRUE(app.logLines().empty());
}

TEST(ImageNamed, TakesTheScaleOfItsFileAndABadFileIsNilWithOneLogLine) {
    testkit::AppFixture app({.copyBundle = true});
    const fs::path bundle = app.bundleFolder();
    writePicture(bundle / "both@2x.png", 8, 6, cg::Color::make(1, 0, 0, 1));
    writePicture(bundle / "both.png", 3, 3, cg::Color::make(0, 1, 0, 1));
    writePicture(bundle / "plain.png", 5, 4, cg::Color::make(0, 0, 1, 1));
    // The screen is of scale 2: the @2x file is taken first, at half its pixels.
    EXPECT_EQ(ui::Image::imageNamed("both")->size(), (cg::Size{4, 3}));
    EXPECT_EQ(ui::Image::imageNamed("both")->scale(), 2);
    EXPECT_EQ(ui::Image::imageNamed("plain")->size(), (cg::Size{5, 4}));
    EXPECT_EQ(ui::Image::imageNamed("plain")->scale(), 1);
    EXPECT_EQ(testkit::letterRows(ui::Image::imageNamed("plain")->CGImage()), "...../...../...../.....")
        << "blue is no letter's colour";

    // A truncated picture and a text file: nil, and one line naming the file however often asked.
    {
        std::ifstream whole(bundle / "both@2x.png", std::ios::binary);
        std::string bytes(std::istreambuf_iterator<char>(whole), {});
        std::ofstream(bundle / "cut.png", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        std::ofstream(bundle / "words.png") << "not a picture";
    }
    for (const char* name : {"cut", "words"}) {
        const std::size_t before = app.logLines().size();
        EXPECT_FALSE(ui::Image::imageNamed(name)) << name;
        EXPECT_FALSE(ui::Image::imageNamed(name)) << name;
        const auto lines = app.logLines();
        ASSERT_EQ(lines.size(), before + 1) << name;
        EXPECT_NE(lines.back().find(std::string(name) + ".png"), std::string::npos) << lines.back();
    }
    EXPECT_FALSE(ui::Image::imageNamed("absent"));
}

TEST(ImageOnScreen, ButtonsHoldTheirImageAndAnAspectFitImageKeepsItsRatio) {
    testkit::AppFixture app({.copyBundle = true});
    writePicture(fs::path(app.bundleFolder()) / "wide@2x.png", 40, 20, cg::Color::make(1, 0, 0, 1));
    auto wide = ui::Image::imageNamed("wide"); // 20 x 10 points
    ASSERT_TRUE(wide);

    auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button->setImageForState(wide, ui::ControlStates::Normal);
    EXPECT_EQ(button->intrinsicContentSize(), (cg::Size{20, 10}));
    button->setTitleForState(ns::String::make("Go"), ui::ControlStates::Normal);
    const cg::Size titled = button->intrinsicContentSize();
    EXPECT_GE(titled.width, 20 + button->titleLabel()->intrinsicContentSize().width);
    EXPECT_GE(titled.height, 10);

    // Fitted into a 40 x 40 view: 40 x 20 in the middle, the view's background above and below.
    auto view = ui::ImageView::withImage(wide);
    EXPECT_EQ(view->intrinsicContentSize(), (cg::Size{20, 10}));
    view->setFrame(cg::Rect::make(0, 0, 40, 40));
    view->setContentMode(ui::ViewContentMode::ScaleAspectFit);
    view->setBackgroundColor(ui::Color::greenColor());
    cg::RasterContext picture(40, 40);
    ui::renderView(*view, picture);
    const cg::Pixel red{255, 0, 0, 255}, green{0, 255, 0, 255};
    for (auto [x, y, expected] :
         {std::tuple{1, 11, red}, {38, 28, red}, {20, 20, red}, {1, 8, green}, {38, 31, green}})
        EXPECT_EQ(picture.pixel(x, y), expected) << x << "," << y;
    EXPECT_EQ(ui::ImageView::contentRect(ui::ViewContentMode::ScaleAspectFill, {20, 10},
                                         cg::Rect::make(0, 0, 40, 40)),
              cg::Rect::make(-20, 0, 80, 40));
    EXPECT_EQ(
        ui::ImageView::contentRect(ui::ViewContentMode::BottomRight, {20, 10}, cg::Rect::make(0, 0, 40, 40)),
        cg::Rect::make(20, 30, 20, 10));
}
