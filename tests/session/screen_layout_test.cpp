// Screens as a tester sees them: the guides and the question wrap to the width their screen gives
// them on a narrow and a wide device, and pictures of the question and results screens match the
// stored ones.
//
// The stored pictures are tests/session/goldens/*.png. When a change to a screen is meant, write
// them again and look at them:
//   FT_UPDATE_GOLDENS=1 build/tests/session_tests --gtest_filter='ScreenPicture*'

#include "tests/session/run_fixture.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/error.h"
#include "platform/graphics/image.h"
#include "platform/graphics/recording_context.h"
#include "platform/text/font_backend.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/font.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_rendering.h"
#include "session/question_view_controller.h"
#include "session/result_view_controller.h"
#include "ui/labels/attributed_label.h"

namespace {

using runtest::kManualA;

constexpr const char* kQuestion =
    "Is the water damage sticker inside the SIM tray white, with no red or pink spots on it anywhere?";
constexpr const char* kLonger =
    "Take the SIM tray out, hold it under a bright light and look at the sticker at its end: is the water "
    "damage sticker white, with no red or pink spots on it anywhere?";
constexpr const char* kShorter = "Is the sticker white?";

// The height the text engine gives `text` in `font` wrapped at `width`, rounded up.
double wrappedHeight(const char* text, const rt::Ref<ui::Font>& font, double width) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(font, ns::FontAttributeName);
    auto string = ns::AttributedString::make(ns::String::make(text), attributes);
    return std::ceil(
        ct::Framesetter::make(*string)->suggestFrameSizeWithConstraints({0, 0}, {width, 1e9}).height);
}

// The lines a view draws, as its text runs; "…" ends the last when it was cut.
struct Drawn {
    std::size_t lines = 0;
    bool truncated = false;
};
Drawn drawn(ui::View& view) {
    cg::RecordingContext context;
    ui::renderView(view, context);
    Drawn out;
    for (const cg::DrawCommand* run : context.displayList().textRuns()) {
        ++out.lines;
        out.truncated = out.truncated || run->run->glyphs.back() == 0x2026u;
    }
    return out;
}

class ScreenLayoutTest : public runtest::RunTest {
protected:
    testkit::AppOptions options() const override {
        return {.device = device_, .delegateClass = "AppDelegate"};
    }
    void onDevice(const std::string& device) {
        stop();
        device_ = device;
        start();
    }
    double screenWidth() const { return window_->bounds().width(); }
    // The question screen on top, asking `question`.
    rt::Ref<ft::QuestionViewController> askQuestion(const char* question) {
        auto asked = item("QuestionViewController");
        asked->setQuestion(ns::String::make(question));
        run({asked});
        if (!tapStart()) ADD_FAILURE() << "start could not be tapped";
        return rt::cast<ft::QuestionViewController>(top());
    }

    std::string device_ = std::string(sim::kDefaultProfileName);
};

TEST_F(ScreenLayoutTest, TheQuestionWrapsBetweenItsMarginsToExactlyItsTextsHeight) {
    // The test screen's guide starts 36 under the bars: 64 high on the iPod touch, 88 on the XR.
    for (const auto& [device, guideTop] : {std::pair{"ipod_touch", 100.0}, {"iphone_xr", 124.0}}) {
        SCOPED_TRACE(device);
        onDevice(device);
        auto question = askQuestion(kQuestion);
        ASSERT_TRUE(question);
        auto label = question->questionLabel();
        const double width = screenWidth() - 40; // the standard space to the superview on each side
        const double lineHeight = 16;            // the model font at 16: ascent 12, descent 4
        EXPECT_EQ(label->frame().width(), width);
        EXPECT_EQ(label->frame().height(), wrappedHeight(kQuestion, label->font(), width));
        EXPECT_GE(label->frame().height(), 3 * lineHeight);
        EXPECT_EQ(label->frame().maxY(),
                  question->view()->bounds().height() - window_->safeAreaInsets().bottom - 100);
        const Drawn whole = drawn(*label);
        EXPECT_EQ(double(whole.lines), label->frame().height() / lineHeight);
        EXPECT_FALSE(whole.truncated);

        // A longer text grows the label and a shorter one shrinks it at the next layout.
        for (const char* text : {kLonger, kShorter}) {
            label->setText(ns::String::make(text));
            window_->layoutIfNeeded();
            EXPECT_EQ(label->frame().height(), wrappedHeight(text, label->font(), width)) << text;
            EXPECT_FALSE(drawn(*label).truncated) << text;
        }
        // Two lines at most: two lines high, the second cut with "…".
        label->setText(ns::String::make(kLonger));
        label->setNumberOfLines(2);
        window_->layoutIfNeeded();
        EXPECT_EQ(label->frame().height(), 2 * lineHeight);
        const Drawn two = drawn(*label);
        EXPECT_EQ(two.lines, 2u);
        EXPECT_TRUE(two.truncated);
    }
}

TEST_F(ScreenLayoutTest, TheRunnersAndTheTestScreensGuidesWrapToTheirScreensWidth) {
    std::string guide;
    while (guide.size() < 300)
        guide += "Hold the device still and press the button when the light comes on. ";
    // The test screen's guide starts 36 under the bars: 64 high on the iPod touch, 88 on the XR.
    for (const auto& [device, guideTop] : {std::pair{"ipod_touch", 100.0}, {"iphone_xr", 124.0}}) {
        SCOPED_TRACE(device);
        onDevice(device);
        auto first = item(kManualA);
        first->setMessage(ns::String::make(guide));
        run({first});
        // The runner measures its guide for the screen's width less 5 on each side, plus 3.
        auto runnerGuide = runner_->textLabel();
        ASSERT_TRUE(runnerGuide);
        const double runnerWidth = screenWidth() - 10;
        EXPECT_EQ(runnerGuide->frame().width(), runnerWidth);
        EXPECT_EQ(runnerGuide->frame().height(),
                  wrappedHeight(guide.c_str(), ui::Font::systemFontOfSize(15), runnerWidth) + 3);
        const Drawn runnerDrawn = drawn(*runnerGuide);
        EXPECT_GE(runnerDrawn.lines, 4u);
        EXPECT_FALSE(runnerDrawn.truncated);

        // The test screen's guide: 20 in from each side, under the bars, as high as it wraps.
        ASSERT_TRUE(tapStart());
        auto testScreen = screen();
        ASSERT_TRUE(testScreen);
        auto label = testScreen->labelTitle();
        label->setText(ns::String::make(guide));
        window_->layoutIfNeeded();
        const double width = screenWidth() - 40;
        EXPECT_EQ(label->frame(),
                  cg::Rect::make(20, guideTop, width, wrappedHeight(guide.c_str(), label->font(), width)));
        EXPECT_FALSE(drawn(*label).truncated);
    }
}

// What a view shows: the text of every glyph run recorded (the model font's glyphs are code
// points), and how many images are drawn.
struct Shown {
    std::vector<std::string> texts;
    std::size_t images = 0;
    bool has(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
};
Shown shownBy(ui::View& view) {
    cg::RecordingContext context;
    ui::renderView(view, context);
    Shown out;
    for (const cg::DrawCommand* run : context.displayList().textRuns()) {
        std::string text;
        for (const std::uint32_t c : run->run->glyphs) // UTF-8
            if (c < 0x80) text += char(c);
            else if (c < 0x800) text += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
            else text += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
        out.texts.push_back(text);
    }
    out.images = context.displayList().images().size();
    return out;
}

// A manual item waits for the tester: the runner shows its icon, title, counter and guide and the
// start button's title. An automatic first item of a run of the selection starts at once, the
// runner hidden on purpose but for the bar.
TEST_F(ScreenLayoutTest, TheRunnerShowsAManualItemWithItsStartButtonAndHidesAnAutomaticOne) {
    for (const bool automatic : {false, true}) {
        SCOPED_TRACE(automatic ? "automatic" : "manual");
        onDevice(device_);
        auto first = item(kManualA, automatic); // its screen waits: the runner stays as it left itself
        first->setTitle(ns::String::make("Charger"));
        first->setMessage(ns::String::make("Plug it in."));
        run({first, item(runtest::kManualB)});
        if (!automatic) {
            ASSERT_EQ(top(), rt::Ref<ui::ViewController>(runner_));
        }
        const Shown shown = shownBy(*runner_->view());
        for (const std::string& text : {std::string("Charger"), std::string("1/2"), std::string("Plug it in."),
                                        localized("READYSTART_CONTROLLER_START")})
            EXPECT_EQ(shown.has(text), !automatic) << text;
        EXPECT_EQ(shown.images, automatic ? 0u : 1u); // the item's icon
    }
}

// The storyboard gives the bar the product's blue and white items: the logo title's white text,
// the back button and the list's group rows read on it.
TEST_F(ScreenLayoutTest, TheLogoTitleIsWhiteOnTheBarsBlue) {
    run({item(kManualA)});
    auto picture = ui::screenPicture(*window_);
    const cg::Pixel blue{0, 133, 212, 255};
    EXPECT_EQ(picture->pixel(2, 2), blue);  // behind the status bar
    EXPECT_EQ(picture->pixel(2, 60), blue); // the bar
    // The title's text is white: some of the label's pixels are, none is darker than the blue.
    auto title = runner_->navigationItem()->titleView();
    ASSERT_TRUE(title);
    auto label = title->subviewList().back();
    const cg::Rect text = label->convertRectToView(label->bounds(), nullptr);
    int white = 0;
    for (int y = int(text.minY()); y < int(text.maxY()); ++y)
        for (int x = int(text.minX()); x < int(text.maxX()); ++x) {
            const cg::Pixel p = picture->pixel(x, y);
            white += p == cg::Pixel{255, 255, 255, 255};
            EXPECT_GE(p.blue, blue.blue) << x << "," << y;
        }
    EXPECT_GT(white, 20);
    // The list's group rows take the bar's colour.
    navigation_->popToRootViewControllerAnimated(false);
    settle();
    auto header = list_->tableView()->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(0, 0));
    ASSERT_TRUE(header);
    const cg::Rect row = header->convertRectToView(header->bounds(), nullptr);
    EXPECT_EQ(ui::screenPicture(*window_)->pixel(int(row.minX()) + 2, int(row.minY()) + 2), blue);
}

// ---- Pictures against the stored ones ----

// Compares the window's picture with the stored one (or stores it, with FT_UPDATE_GOLDENS set):
// every pixel's channels within 24 of the stored ones. A picture that differs is written beside
// the test's artefacts for a person to look at.
void expectLooksAsStored(ui::Window& window, const std::string& name) {
    const std::filesystem::path stored = std::filesystem::path(FT_GOLDENS_DIR) / (name + ".png");
    auto picture = ui::screenPicture(window);
    if (std::getenv("FT_UPDATE_GOLDENS")) {
        EXPECT_FALSE(picture->writePNG(stored.string()));
        return;
    }
    std::string why;
    auto expected = cg::Image::createWithPNGFile(stored.string(), &why);
    ASSERT_TRUE(expected) << stored << ": " << why;
    ASSERT_EQ(std::size_t(picture->width()), expected->width());
    ASSERT_EQ(std::size_t(picture->height()), expected->height());
    // Both are opaque: the stored words (alpha, red, green, blue from the top byte) are the colours.
    int differing = 0;
    for (int y = 0; y < picture->height(); ++y)
        for (int x = 0; x < picture->width(); ++x) {
            std::uint32_t word;
            std::memcpy(
                &word,
                expected->bytes().data() + std::size_t(y) * expected->bytesPerRow() + std::size_t(x) * 4, 4);
            const cg::Pixel a = picture->pixel(x, y);
            if (std::abs(a.red - int(word >> 16 & 0xff)) > 24 ||
                std::abs(a.green - int(word >> 8 & 0xff)) > 24 || std::abs(a.blue - int(word & 0xff)) > 24)
                ++differing;
        }
    EXPECT_EQ(differing, 0) << name << " differs from " << stored;
    if (differing) {
        const std::filesystem::path artefacts = FT_ARTEFACTS_DIR;
        std::filesystem::create_directories(artefacts);
        (void)picture->writePNG((artefacts / (name + ".png")).string());
    }
}

// Drawn in the proportional face the main job's pictures use.
class ScreenPictureTest : public ScreenLayoutTest {
protected:
    void SetUp() override {
        ct::setFontBackend(ct::realFontBackend());
        ScreenLayoutTest::SetUp();
    }
    void TearDown() override {
        ScreenLayoutTest::TearDown();
        ct::setFontBackend(*previous_);
    }
    ct::FontBackend* previous_ = &ct::fontBackend();
};

TEST_F(ScreenPictureTest, TheQuestionAndTheResultsLookAsStored) {
    ASSERT_TRUE(askQuestion(kQuestion));
    expectLooksAsStored(*window_, "question_screen");
    ASSERT_TRUE(tapOutlet(top(), "successButton"));
    ASSERT_TRUE(rt::cast<ft::ResultViewController>(top())) << topClass();
    app_->advance(1.0); // the SIM reminder's check
    expectLooksAsStored(*window_, "results_screen");
}

} // namespace
