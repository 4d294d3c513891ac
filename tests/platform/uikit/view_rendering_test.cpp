// The display pass and pictures: what draws and in which order, clipping, labels and buttons
// through the text stand-in, and PNG pictures read back with both font backends.

#include <gtest/gtest.h>

#include <cairo.h>

#include <filesystem>

#include "platform/foundation/error.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/class.h"
#include "platform/text/font_backend.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/bezier_path.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/image.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/snapshot.h"
#include "tests/testkit/app/text_cut_count.h"
#include "tests/testkit/scratch_folder.h"

namespace {

using cg::Point;
using cg::Rect;

// Fills its bounds' top ten points red and strokes a dashed diagonal.
class PaintingView : public ui::View {
    RT_CLASS(PaintingView)
public:
    int draws = 0;
    void drawRect(const Rect& rect) override {
        ++draws;
        ui::Color::redColor()->setFill();
        ui::BezierPath::bezierPathWithRect(Rect::make(rect.minX(), rect.minY(), rect.width(), 10))->fill();
        auto dashed = ui::BezierPath::bezierPath();
        dashed->moveToPoint({rect.minX(), rect.maxY()});
        dashed->addLineToPoint({rect.maxX(), rect.minY() + 20});
        dashed->setLineDash({6, 4}, 0);
        dashed->setLineWidth(2);
        ui::Color::blueColor()->setStroke();
        dashed->stroke();
    }

protected:
    PaintingView() = default;
    explicit PaintingView(const Rect& frame) : View(frame) {}
};
RT_DEFINE_CLASS(PaintingView, "PaintingView", ui::View)

rt::Ref<ui::View> plain(const Rect& frame, const rt::Ref<ui::Color>& background) {
    auto view = rt::make<ui::View>(frame);
    view->setBackgroundColor(background);
    return view;
}

cg::DisplayList recorded(ui::View& view) {
    cg::RecordingContext context;
    ui::renderView(view, context);
    return context.takeDisplayList();
}

TEST(RenderView, SkipsHiddenAndTransparentViewsAndDrawsChildrenAfterParents) {
    auto root = plain(Rect::make(0, 0, 100, 100), ui::Color::whiteColor());
    auto hidden = plain(Rect::make(0, 0, 10, 10), ui::Color::redColor());
    hidden->setHidden(true);
    hidden->addSubview(plain(Rect::make(0, 0, 5, 5), ui::Color::redColor()));
    auto faint = plain(Rect::make(0, 0, 10, 10), ui::Color::redColor());
    faint->setAlpha(0.01);
    auto clipped = plain(Rect::make(20, 30, 40, 40), ui::Color::greenColor());
    clipped->setClipsToBounds(true);
    clipped->setBounds(Rect::make(5, 0, 40, 40)); // content moved left by 5
    auto child = rt::make<PaintingView>(Rect::make(10, 10, 60, 60));
    clipped->addSubview(child);
    for (auto& v : {hidden, faint, clipped}) root->addSubview(v);

    cg::DisplayList list = recorded(*root);
    const auto fills = list.fills();
    ASSERT_EQ(fills.size(), 3u); // root, clipped, the child's red band: nothing hidden or faint
    EXPECT_EQ(fills[0]->state.fillColor->red(), 1); // white first
    EXPECT_EQ(fills[1]->state.fillColor->green(), 1);
    EXPECT_EQ(cg::deviceOf(*fills[1], {5, 0}), (Point{20, 30}));
    const cg::DrawCommand& band = *fills[2];
    EXPECT_EQ(cg::deviceOf(band, {0, 0}), (Point{25, 40})); // 20 + 10 - 5, 30 + 10
    ASSERT_EQ(band.state.clips.size(), 1u);
    const cg::Clip& clip = band.state.clips[0];
    EXPECT_EQ(clip.ctm.apply(Point{5, 0}), (Point{20, 30})); // the clipping view's bounds
    EXPECT_EQ(list.strokes().at(0)->state.dash, (std::vector<double>{6, 4}));
    EXPECT_EQ(child->draws, 1);
}

TEST(RenderView, ALayerThatMasksClipsTheSubviewsToItsRoundedOutline) {
    for (const bool masks : {false, true}) {
        auto rounded = plain(Rect::make(0, 0, 40, 40), ui::Color::greenColor());
        rounded->layer()->setCornerRadius(8);
        rounded->layer()->setMasksToBounds(masks);
        rounded->addSubview(rt::make<PaintingView>(Rect::make(0, 0, 40, 40)));
        cg::DisplayList list = recorded(*rounded);
        const auto& clips = list.fills().at(1)->state.clips;
        ASSERT_EQ(clips.size(), masks ? 1u : 0u) << masks;
        if (masks) {
            EXPECT_EQ(clips[0].path->boundingBox(), Rect::make(0, 0, 40, 40));
        }
    }
}

TEST(RenderView, DisplayIsOnDemandAndLayersDrawAfterTheView) {
    auto view = rt::make<PaintingView>(Rect::make(0, 0, 50, 50));
    EXPECT_TRUE(view->needsDisplay());
    recorded(*view);
    EXPECT_FALSE(view->needsDisplay());
    view->setNeedsDisplay();
    view->setNeedsDisplay();
    EXPECT_TRUE(view->needsDisplay());
    EXPECT_EQ(view->displayRequestCount(), 2u);
    EXPECT_EQ(view->draws, 1); // nothing drew until asked

    auto shape = ca::ShapeLayer::make();
    shape->setPath(cg::Path::withEllipseInRect(Rect::make(0, 0, 10, 10)));
    shape->setFillColor(cg::Color::make(0, 1, 0, 1));
    view->layer()->addSublayer(shape);
    cg::DisplayList list = recorded(*view);
    const auto fills = list.fills();
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0]->state.fillColor->red(), 1);   // the view's band
    EXPECT_EQ(fills[1]->state.fillColor->green(), 1); // then the layer
    EXPECT_EQ(ui::graphicsGetCurrentContext(), nullptr); // current only while drawing
}

TEST(RenderView, LabelTextLiesInItsTextRectangleAndButtonsSizeToTheirTitle) {
    auto label = rt::make<ui::Label>(Rect::make(10, 20, 200, 50));
    label->setText(ns::str("Hello world"));
    label->setFont(ui::Font::systemFontOfSize(16));
    label->setTextAlignment(ui::TextAlignment::Center);
    const Rect text = label->textRectForBounds(label->bounds(), 1);
    EXPECT_EQ(text, Rect::make(0, 0, 110, 16));
    EXPECT_EQ(label->intrinsicContentSize(), (cg::Size{110, 16}));
    cg::DisplayList list = recorded(*label);
    const auto runs = list.textRuns();
    ASSERT_EQ(runs.size(), 1u);
    const auto origins = cg::glyphOrigins(*runs[0]);
    ASSERT_EQ(origins.size(), 11u);
    // Centred: 45 in from the left of 200, the baseline 12 below the top of a line centred in 50.
    EXPECT_EQ(origins.front(), (Point{10 + 45, 20 + 17 + 12}));
    EXPECT_EQ(origins.back().x, 10 + 45 + 100);

    // Truncated on one line with the tail mode.
    label->setFrame(Rect::make(0, 0, 60, 20));
    const cg::DisplayList oneLine = recorded(*label);
    const auto cut = oneLine.textRuns();
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0]->run->glyphs.back(), 0x2026u);
    EXPECT_LE(cut[0]->run->width, 60);
    // Without a line limit, the height decides which line is last.
    label->setNumberOfLines(0);
    label->setText(ns::str("Hello world again"));
    label->setFrame(Rect::make(0, 0, 60, 40));
    const cg::DisplayList twoLines = recorded(*label);
    const auto tall = twoLines.textRuns();
    ASSERT_EQ(tall.size(), 2u);
    EXPECT_EQ(tall[1]->run->glyphs.back(), 0x2026u);

    auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button->setTitleForState(ns::str("OK"), ui::ControlStates::Normal);
    EXPECT_EQ(button->intrinsicContentSize(), (cg::Size{19, 15})); // 18.75 × 15, rounded up
    button->setContentEdgeInsets({5, 10, 5, 10});
    EXPECT_EQ(button->intrinsicContentSize(), (cg::Size{39, 25}));
    button->sizeToFit();
    EXPECT_EQ(button->bounds().size, (cg::Size{39, 25}));
}

// A label or a text view that draws less than its text tells so: the last line cut with "…", or
// lines left out for want of height; a text view that scrolls has cut nothing. A label that adjusts
// its font to fit shrinks, down to its minimum scale, until its text shows whole with no word broken
// between lines, else draws it cut at that scale. "Hello world again" at 10 points: 6.25 a
// character, 10 a line; a text view of 30 has room for one line in its insets.
TEST(RenderView, ALabelOrTextViewThatDrawsLessThanItsTextTellsItWasCut) {
    const struct {
        double width, height;
        long lines;       // a label's; -1: a text view, -2: one that scrolls
        double shrinking; // a label's minimum scale factor, adjusting to fit; 0: it does not
        int cuts;
        double largest; // the size drawn, at most, and more than a quarter point less
    } cases[] = {{60, 20, 1, 0, 1, 10},
                 {120, 20, 1, 0, 0, 10},
                 {60, 10, 0, 0, 1, 10},
                 {60, 40, 0, 0, 0, 10},
                 {60, 30, -1, 0, 1, 10},
                 {60, 30, -2, 0, 0, 10},
                 {60, 20, 1, 0.5, 0, 60 / 10.625}, // one line: 17 characters in 60 points
                 {60, 20, 1, 0.7, 1, 7},           // not that small: cut at the smallest
                 {60, 40, 2, 0.5, 0, 60 / 6.875},  // "Hello world " over "again", not three lines
                 {20, 90, 0, 0.5, 0, 20 / 3.125},  // "again" not broken between two lines
                 {120, 20, 1, 0.5, 0, 10}};        // room enough: its own size
    for (const auto& c : cases) {
        auto label = rt::make<ui::Label>(Rect::make(0, 0, c.width, c.height));
        auto text = rt::make<ui::TextView>(Rect::make(0, 0, c.width, c.height));
        label->setNumberOfLines(c.lines);
        label->setLineBreakMode(c.lines == 1 ? ui::LineBreakMode::TruncatingTail : ui::LineBreakMode::WordWrapping);
        label->setFont(ui::Font::systemFontOfSize(10));
        label->setText(ns::str("Hello world again"));
        label->setAdjustsFontSizeToFitWidth(c.shrinking > 0);
        label->setMinimumScaleFactor(c.shrinking);
        text->setScrollEnabled(c.lines == -2);
        text->setFont(ui::Font::systemFontOfSize(10));
        text->setText(ns::str("Hello world again"));
        testkit::TextCutCount count;
        const cg::DisplayList list = recorded(c.lines < 0 ? static_cast<ui::View&>(*text) : *label);
        const std::string what = std::to_string(c.width) + " x " + std::to_string(c.height) + ", " +
                                 std::to_string(c.lines) + " lines, down to " + std::to_string(c.shrinking);
        EXPECT_EQ(count.cuts, c.cuts) << what;
        ASSERT_FALSE(list.textRuns().empty()) << what;
        const double size = list.textRuns()[0]->run->font->pointSize();
        EXPECT_LE(size, c.largest + 1e-9) << what;
        EXPECT_GT(size, c.largest - 0.25) << what;
    }
}

// Attributed text in a text view: an attachment is a placeholder of its size on the baseline, its
// image drawn there; text set plainly afterwards drops the attributes. A button's title insets move
// its title within its share without changing its size.
TEST(RenderView, TextViewAttachmentsTakeTheirSizeOnTheLineAndTitleInsetsMoveTheTitle) {
    auto view = rt::make<ui::TextView>(Rect::make(0, 0, 200, 100));
    auto text = ns::MutableAttributedString::make(ns::String::empty());
    auto font = ns::MutableDictionary::make();
    font->setObjectForKey(ui::Font::systemFontOfSize(16), ns::FontAttributeName); // 10 a character, ascent 12
    text->appendAttributedString(*ns::AttributedString::make("Ab", font));
    auto attachment = ui::TextAttachment::make(ui::Image::imageWithSize({16, 16}));
    auto placed = ui::TextAttachment::attributedStringWithAttachment(attachment)->mutableCopy();
    placed->addAttributes(*font, {0, 1});
    text->appendAttributedString(*placed);
    text->appendAttributedString(*ns::AttributedString::make("c", font));
    view->setAttributedText(text);
    EXPECT_EQ(view->text()->utf16(), u"Ab\uFFFCc");
    EXPECT_EQ(view->attributedText()->attributeAtIndex(ui::AttachmentAttributeName, 2), rt::Id(attachment));

    const cg::DisplayList list = recorded(*view);
    const auto images = list.images();
    ASSERT_EQ(images.size(), 1u);
    // After two characters, its top on the line's top (it is the line's tallest run): inside the
    // text insets of 5 and 8.
    const Point corners[] = {cg::deviceOf(*images[0], images[0]->rect.origin),
                             cg::deviceOf(*images[0], {images[0]->rect.maxX(), images[0]->rect.maxY()})};
    EXPECT_EQ(
        Rect::make(corners[0].x, corners[0].y, 0, 0).unionWith(Rect::make(corners[1].x, corners[1].y, 0, 0)),
        Rect::make(5 + 20, 8, 16, 16));
    const auto runs = list.textRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(cg::glyphOrigins(*runs[1]).front(), (Point{5 + 20 + 16, 8 + 16}));

    view->setText(ns::str("plain"));
    EXPECT_TRUE(recorded(*view).images().empty());
    EXPECT_FALSE(view->attributedText()->attributeAtIndex(ui::AttachmentAttributeName, 0));

    auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button->setFrame(Rect::make(0, 0, 100, 44));
    button->setTitleForState(ns::str("OK"), ui::ControlStates::Normal);
    const cg::Size size = button->intrinsicContentSize();
    button->setTitleEdgeInsets({20, 0, 0, 0});
    button->layoutIfNeeded();
    EXPECT_EQ(button->titleLabel()->frame(), Rect::make(0, 20, 100, 24));
    EXPECT_EQ(button->intrinsicContentSize(), size);
}

// A text field draws its border, then its text, dots for secure entry or its placeholder.
struct FieldCase {
    const char* case_;
    ui::TextBorderStyle border;
    const char* text;
    bool secure;
    std::size_t fills, strokes; // of the border
    std::u32string shown;       // the glyphs: code points with the model font
    bool placeholderGrey;
    double firstGlyphX; // in the field
};

TEST(RenderView, TextFieldsDrawTheirBorderAndTheirTextDotsOrPlaceholder) {
    const FieldCase cases[] = {
        {"placeholder, no border", ui::TextBorderStyle::None, "", false, 0, 0, U"User", true, 0},
        {"text in a line", ui::TextBorderStyle::Line, "op1", false, 0, 1, U"op1", false, 7},
        {"secure in a bezel", ui::TextBorderStyle::Bezel, "pw1é", true, 0, 1, U"\u2022\u2022\u2022\u2022", false, 7},
        {"rounded", ui::TextBorderStyle::RoundedRect, "", true, 1, 1, U"User", true, 7},
        {"too long, cut", ui::TextBorderStyle::None, "a very long user name indeed", false, 0, 0, U"a very long user na\u2026",
         false, 0},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.case_);
        auto field = rt::make<ui::TextField>(Rect::make(20, 100, 200, 40));
        field->setFont(ui::Font::systemFontOfSize(16)); // 10 points a character
        field->setBorderStyle(c.border);
        field->setPlaceholder(ns::str("User"));
        field->setText(ns::str(c.text));
        field->setSecureTextEntry(c.secure);
        const cg::DisplayList list = recorded(*field);
        EXPECT_EQ(list.fills().size(), c.fills);
        EXPECT_EQ(list.strokes().size(), c.strokes);
        const auto runs = list.textRuns();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(std::u32string(runs[0]->run->glyphs.begin(), runs[0]->run->glyphs.end()), c.shown);
        const auto& colour = runs[0]->run->color;
        EXPECT_EQ(colour->red() == colour->blue(), !c.placeholderGrey); // the grey is a little blue
        const auto origins = cg::glyphOrigins(*runs[0]);
        EXPECT_EQ(origins.front(), (Point{20 + c.firstGlyphX, 100 + 12 + 12})); // centred: 12 above a 16 line
    }
}

// The picture's pixel at a point, read back from the PNG (2 pixels a point).
struct Png {
    cairo_surface_t* surface;
    explicit Png(const std::string& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Png() { cairo_surface_destroy(surface); }
    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    std::uint32_t at(int x, int y) const {
        auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xffffff;
    }
    // Whether any pixel in the rectangle (in points) is not white.
    bool inked(const Rect& r) const {
        for (int y = int(r.minY() * 2); y < int(r.maxY() * 2); ++y)
            for (int x = int(r.minX() * 2); x < int(r.maxX() * 2); ++x)
                if (at(x, y) != 0xffffff) return true;
        return false;
    }
};

TEST(Pictures, ARedBandAtTheTopLandsInTheTopRows) {
    auto view = rt::make<PaintingView>(Rect::make(30, 40, 100, 100));
    const testkit::ScratchFolder folder("ft-band-picture");
    const std::string path = (folder.path() / "band.png").string();
    ASSERT_FALSE(ui::writeSnapshot(*view, path));
    Png png(path);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 200);
    EXPECT_EQ(png.height(), 200);
    EXPECT_EQ(png.at(100, 0), 0xff0000u);
    EXPECT_EQ(png.at(100, 19), 0xff0000u);
    EXPECT_EQ(png.at(10, 25), 0xffffffu); // white where nothing is drawn
    EXPECT_TRUE(ui::writeSnapshot(*view, "/nonexistent-folder/picture.png"));
}

TEST(Pictures, TheScreenShowsTheBarAndTheDialogsOverTheDimmedWindow) {
    testkit::AppFixture app; // the default iPhone: 375 x 667 points
    auto window = rt::make<ui::Window>();
    auto content = rt::make<ui::ViewController>();
    content->navigationItem()->setTitle(ns::str("Results"));
    auto navigation = ui::NavigationController::withRootViewController(content);
    window->setRootViewControllerObject(navigation);
    window->makeKeyAndVisible();
    content->view()->setBackgroundColor(ui::Color::whiteColor());
    auto picture = ui::screenPicture(*window);
    ASSERT_EQ(picture->width(), 375);
    ASSERT_EQ(picture->height(), 667);
    // The bar below the status bar, its background reaching up behind it; its title in the middle.
    const cg::Pixel bar = picture->pixel(2, 2);
    EXPECT_EQ(bar, picture->pixel(2, 40));
    EXPECT_NE(bar, picture->pixel(2, 100));
    EXPECT_EQ(navigation->navigationBar()->frame(), Rect::make(0, ui::kStatusBarHeight, 375, 44));
    cg::RecordingContext recorded;
    ui::renderView(*navigation->navigationBar(), recorded);
    ASSERT_EQ(recorded.displayList().textRuns().size(), 1u);
    EXPECT_EQ(recorded.displayList().textRuns()[0]->run->glyphs.size(), 7u);

    // An alert in the middle and a sheet at the bottom, over the window dimmed.
    auto alert = rt::make<ui::AlertView>(ns::str("Quarnotix"), ns::str("Upload failed"), nullptr,
                                         ns::str("OK"), std::vector<rt::Ref<ns::String>>{ns::str("Retry")});
    alert->show();
    auto sheet = rt::make<ui::ActionSheet>(nullptr, nullptr, ns::str("Cancel"), ns::str("Exit"),
                                           std::vector<rt::Ref<ns::String>>{});
    sheet->showInView(content->view());
    auto dialogs = ui::screenPicture(*window);
    EXPECT_LT(dialogs->pixel(2, 300).red, 200) << "dimmed";
    EXPECT_EQ(alert->center(), (Point{187.5, 333.5}));
    EXPECT_GT(dialogs->pixel(187, int(alert->frame().minY()) + 2).red, 240) << "the alert's box";
    EXPECT_LT(dialogs->pixel(int(alert->frame().minX()) + 1, int(alert->frame().minY()) + 2).red, 200)
        << "its corners rounded";
    EXPECT_EQ(sheet->frame().maxY(), 667 - 8);
    EXPECT_EQ(sheet->frame().width(), 375 - 16);
    EXPECT_GT(dialogs->pixel(187, int(sheet->frame().maxY()) - 2).red, 240) << "the sheet's box";
    ui::ButtonDialog::dismissAllPresented();
}

// An action sheet as each device shows it. A phone's spans the safe area less 8 a side, Cancel in
// a block of its own 8 under the others, its foot on the home indicator's band (the XR's 34
// points) or 8 above the screen's; a pad's is a popover 304 wide without Cancel, in the middle of
// the view it is shown in, or below the rectangle it is shown from (above it when only there is
// room), its arrow's tip on the rectangle's edge.
TEST(Pictures, ASheetStandsClearOfTheHomeIndicatorCancelApartAndOnAPadAtItsSource) {
    const struct {
        const char* device;
        Rect from; // in the view; null: shown in the view
        Rect frame;
        bool cancel;
        Point tip; // a point of the arrow or of Cancel's block, drawn; 8 above Cancel's, the gap
    } cases[] = {
        // A block of the title (45 points in the model's faces) and two buttons of 57, then Cancel.
        {"iphone7", Rect::null(), Rect::make(8, 667 - 8 - 224, 359, 224), true, {187, 667 - 8 - 57 + 4}},
        {"iphone_xr", Rect::null(), Rect::make(8, 896 - 34 - 224, 398, 224), true, {207, 896 - 34 - 57 + 4}},
        {"ipad_wifi", Rect::null(), Rect::make(232, 512 - 79.5, 304, 159), false, {384, 512}},
        {"ipad_wifi", Rect::make(20, 100, 40, 30), Rect::make(8, 130, 304, 172), false, {40, 130 + 8}},
        {"ipad_wifi", Rect::make(700, 950, 40, 30), Rect::make(456, 778, 304, 172), false, {720, 942}},
    };
    for (const auto& c : cases) {
        testkit::AppFixture app({.device = c.device});
        auto window = rt::make<ui::Window>();
        auto content = rt::make<ui::ViewController>();
        window->setRootViewControllerObject(content);
        window->makeKeyAndVisible();
        content->view()->setBackgroundColor(ui::Color::whiteColor());
        auto sheet =
            rt::make<ui::ActionSheet>(ns::str("What now?"), nullptr, ns::str("Cancel"), ns::str("Exit"),
                                      std::vector<rt::Ref<ns::String>>{ns::str("Skip")});
        if (c.from.isNull())
            sheet->showInView(content->view());
        else
            sheet->showFromRect(c.from, content->view(), false);
        const auto drawn = testkit::wholeTextsPictured(*window);
        auto picture = ui::screenPicture(*window);
        const std::string what =
            std::string(c.device) + (c.from.isNull() ? " in the view" : " from a rectangle");
        EXPECT_EQ(sheet->frame(), c.frame) << what;
        EXPECT_EQ(std::count(drawn.begin(), drawn.end(), "Cancel"), c.cancel ? 1 : 0) << what;
        EXPECT_EQ(std::count(drawn.begin(), drawn.end(), "Skip"), 1) << what;
        EXPECT_GT(picture->pixel(int(c.tip.x), int(c.tip.y)).red, 240) << what << ": the sheet drawn there";
        // The gap between the blocks shows the dimmed screen.
        if (c.cancel) {
            EXPECT_LT(picture->pixel(int(c.tip.x), int(c.tip.y) - 8).red, 200) << what;
        }
        ui::ButtonDialog::dismissAllPresented();
    }
}

class PicturesWithEachBackend : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        previous_ = &ct::fontBackend();
        ct::setFontBackend(std::string_view(GetParam()) == "real" ? ct::realFontBackend() : ct::modelFontBackend());
    }
    void TearDown() override { ct::setFontBackend(*previous_); }
    ct::FontBackend* previous_ = nullptr;
};

TEST_P(PicturesWithEachBackend, ASampleScreenReadsBackWithInkWhereItWasDrawn) {
    auto screen = plain(Rect::make(0, 0, 160, 200), ui::Color::whiteColor());
    auto title = rt::make<ui::Label>(Rect::make(10, 10, 140, 24));
    title->setText(ns::str("Touch test"));
    title->setFont(ui::Font::boldSystemFontOfSize(20));
    auto guide = rt::make<ui::Label>(Rect::make(10, 40, 140, 60));
    guide->setText(ns::str("Draw over every square until the screen is full."));
    guide->setNumberOfLines(0);
    guide->setTextColor(ui::Color::darkGrayColor());
    auto button = ui::Button::buttonWithType(ui::ButtonType::System);
    button->setFrame(Rect::make(40, 110, 80, 30));
    button->setTitleForState(ns::str("Start"), ui::ControlStates::Normal);
    auto path = rt::make<PaintingView>(Rect::make(10, 150, 140, 40));
    path->setBackgroundColor(nullptr);
    for (auto& v : std::vector<rt::Ref<ui::View>>{title, guide, button, path}) screen->addSubview(v);

    const std::string written = testkit::snapshot(*screen, std::string("sample-screen-") + GetParam());
    ASSERT_FALSE(written.empty());
    Png png(written);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 320);
    EXPECT_EQ(png.height(), 400);
    EXPECT_TRUE(png.inked(title->frame()));
    EXPECT_TRUE(png.inked(guide->frame()));
    EXPECT_TRUE(png.inked(Rect::make(40, 110, 80, 30)));
    EXPECT_FALSE(png.inked(Rect::make(0, 100, 35, 45))); // beside the button: nothing
    EXPECT_FALSE(png.inked(Rect::make(152, 0, 8, 150)));
}

INSTANTIATE_TEST_SUITE_P(Backends, PicturesWithEachBackend, ::testing::Values("model", "real"));

} // namespace
