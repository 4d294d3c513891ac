// The touch grid, the touch canvas and the stylus target: their geometry on several screens, the
// touches that mark cells (and those that must not), the pass that comes once at a touch end, the
// ink and the part of it drawn again, and the stylus's five taps.

#include <algorithm>
#include <cmath>
#include <vector>

#include "diagnostics/display_touch_camera_keys/stylus_view_controller.h"
#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "diagnostics/display_touch_camera_keys/touch_screen_view_controller.h"
#include "diagnostics/display_touch_camera_keys/x_touch_view_controller.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/set.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/recording_context.h"
#include "platform/sim/device.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/view_rendering.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"
#include "tests/testkit/slot_clearing_block.h"

namespace {

using diagnostics_tests::Place;

// The first subview of `root` of that class.
template <class T> rt::Ref<T> touchSubviewOf(const rt::Ref<ui::View>& root) {
    for (const auto& view : root->subviewList())
        if (auto found = rt::cast<T>(view)) return found;
    return nullptr;
}

void touchSend(ui::View& view, ui::TouchPhase phase, const rt::Ref<ns::Set>& touches) {
    switch (phase) {
    case ui::TouchPhase::Began: return view.touchesBegan(touches, nullptr);
    case ui::TouchPhase::Ended: return view.touchesEnded(touches, nullptr);
    case ui::TouchPhase::Cancelled: return view.touchesCancelled(touches, nullptr);
    default: return view.touchesMoved(touches, nullptr);
    }
}

// TouchFingers handed straight to a view not in a window (its coordinates are the window's): one
// event, a new touch at each point.
void touchDeliver(ui::View& view, ui::TouchPhase phase, const std::vector<cg::Point>& points) {
    std::vector<rt::Id> touches;
    for (cg::Point point : points)
        touches.push_back(ui::Touch::make(rt::retained(&view), point, phase));
    touchSend(view, phase, ns::Set::make(touches));
}

// One finger that keeps its touch from began on, so its previous location is where it was.
struct TouchFinger {
    ui::View& view;
    rt::Ref<ui::Touch> touch{};
    void to(ui::TouchPhase phase, cg::Point point) {
        if (phase == ui::TouchPhase::Began || !touch) touch = ui::Touch::make(rt::retained(&view), point, phase);
        else touch->moveTo(point, phase);
        touchSend(view, phase, ns::Set::withObjects({touch}));
    }
};

// One finger through `points`: began, moved, and ended at the last unless `lift` is false.
void touchSweep(ui::View& view, const std::vector<cg::Point>& points, bool lift = true) {
    TouchFinger finger{view};
    finger.to(ui::TouchPhase::Began, points.front());
    for (std::size_t i = 1; i < points.size(); ++i)
        finger.to(ui::TouchPhase::Moved, points[i]);
    if (lift) finger.to(ui::TouchPhase::Ended, points.back());
}

// The grid's cell centres, row by row, serpentine.
std::vector<cg::Point> touchGridCentres(double side, int rows) {
    std::vector<cg::Point> centres;
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < 5; ++i) {
            const int c = r % 2 ? 4 - i : i;
            centres.push_back({side / 2 + side * c, side / 2 + side * r});
        }
    return centres;
}

std::vector<bool> touchMarked(const ui::View& grid) {
    std::vector<bool> out;
    for (const auto& view : grid.subviewList())
        if (auto cell = rt::cast<ft::SJTouchButton>(view)) out.push_back(cell->isTouched());
        else if (auto item = rt::cast<ft::XItem>(view)) out.push_back(item->isTouched());
    return out;
}

long touchLines(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

class TouchScreens : public diagnostics_tests::ScreenTest {
protected:
    void onScreen(double width, double height) {
        restart([=](sim::Profile& p) { p.screen.width = width, p.screen.height = height; });
    }
    void tap(cg::Point point) {
        sim::Device::shared().touch(sim::TouchPhase::Began, {point});
        sim::Device::shared().touch(sim::TouchPhase::Ended, {point});
    }
    rt::Ref<ui::View> root() const { return top()->view(); }
};

TEST_F(TouchScreens, TheGridItsBarAndItsSkipButtonFollowTheScreen) {
    struct Case {
        double width, height;
        std::size_t cells;
        double side, barY, barHeight;
        cg::Rect skip; // in the root; null: outside its zero-high bar, untappable
    };
    const Case cases[] = {
        {375, 667, 40, 75, 600, 67, cg::Rect::make(137.5, 613.5, 100, 40)},
        {414, 896, 50, 82.8, 820, 76, cg::Rect::make(157, 838, 100, 40)},
        {375, 600, 40, 75, 600, 0, cg::Rect::null()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        onScreen(c.width, c.height);
        open("TouchScreenViewController");
        settle();
        auto grid = touchSubviewOf<ft::SJTouchView>(root());
        ASSERT_TRUE(grid);
        ASSERT_EQ(grid->subviewList().size(), c.cells);
        const rt::Ref<ui::View> last = grid->subviewList().back();
        EXPECT_NEAR(last->frame().maxX(), c.width, 1e-9);
        EXPECT_NEAR(last->frame().width(), c.side, 1e-9);
        auto bar = root()->subviewList().back();
        EXPECT_EQ(bar->frame(), cg::Rect::make(0, c.barY, c.width, c.barHeight));
        auto skip = rt::cast<ui::Button>(bar->subviewList().front());
        const cg::Rect skipInRoot = skip->convertRectToView(skip->bounds(), root().get());
        if (!c.skip.isNull()) {
            EXPECT_EQ(skipInRoot, c.skip);
        }
        EXPECT_LE(skip->titleLabel()->intrinsicContentSize().width, skip->bounds().width()) << "the title fits";
        // The guide: 4 verticals down to the last row, a horizontal under each row, dashed 2 on 3.
        auto guide = rt::cast<ca::ShapeLayer>(grid->layer()->sublayers().at(0));
        ASSERT_TRUE(guide);
        const double bottom = double(c.cells / 5) * c.side;
        std::vector<cg::PathElement> lines = guide->path()->elements();
        ASSERT_EQ(lines.size(), 2 * (4 + c.cells / 5));
        EXPECT_EQ(lines[0].points[0], (cg::Point{c.side, 0}));
        EXPECT_NEAR(lines[7].points[0].y, bottom, 1e-9);
        EXPECT_EQ(lines.back().points[0], (cg::Point{c.width, bottom}));
        EXPECT_EQ(guide->lineDashPattern(), (std::vector<double>{2, 3}));
        cg::RecordingContext drawing;
        ui::renderView(*grid, drawing);
        const auto strokes = drawing.displayList().strokes();
        ASSERT_FALSE(strokes.empty());
        EXPECT_EQ(strokes.back(), &drawing.displayList().commands().back()) << "the guide is over the cells";
        EXPECT_EQ(strokes.back()->state.lineJoin, cg::LineJoin::Round);
        // The skip button's centre: skips, unless it lies outside a bar of no height.
        tap({skipInRoot.midX(), skipInRoot.midY()});
        settle();
        EXPECT_EQ(code(), c.skip.isNull() ? 0 : 2);
    }
}

TEST_F(TouchScreens, TheGridMarksOnlyWhatItsOneTouchHitsAndPassesOnceAtALift) {
    std::size_t told = 0;
    auto grid = ft::SJTouchView::touchView(cg::Rect::make(0, 0, 375, 667), [&](const auto&) { ++told; });
    const auto log = [this] { return touchLines(app_->logLines(), "all Touch"); };
    // A shared border belongs to the cell right of and below it; a jump leaves the cells between.
    touchSweep(*grid, {{75, 75}});
    touchSweep(*grid, {{37.5, 187.5}, {337.5, 187.5}});
    std::vector<bool> expected(40, false);
    expected[6] = expected[10] = expected[14] = true;
    EXPECT_EQ(touchMarked(*grid), expected);
    // Two touches in one event: exactly one of them counts.
    touchDeliver(*grid, ui::TouchPhase::Began, {{37.5, 262.5}, {337.5, 262.5}});
    auto now = touchMarked(*grid);
    EXPECT_NE(now[15], now[19]);
    // Every cell but held down: nothing; the lift passes, once.
    touchSweep(*grid, touchGridCentres(75, 8), false);
    EXPECT_FALSE(grid->hasNotify());
    EXPECT_EQ(told, 0u);
    touchDeliver(*grid, ui::TouchPhase::Ended, {{37.5, 562.5}});
    touchSweep(*grid, {{10, 10}});
    EXPECT_EQ(told, 1u);
    EXPECT_EQ(log(), 1);
    // Reset: blue again, and a full sweep passes again; a cancelled one does not, the next end does.
    grid->reset();
    EXPECT_EQ(touchMarked(*grid), std::vector<bool>(40, false));
    EXPECT_TRUE(grid->subviewList()[0]->backgroundColor()->isEqual(ft::touchTargetColor().get()));
    touchSweep(*grid, touchGridCentres(75, 8), false);
    touchDeliver(*grid, ui::TouchPhase::Cancelled, {{37.5, 562.5}});
    EXPECT_EQ(told, 1u);
    touchSweep(*grid, {{10, 10}});
    EXPECT_EQ(told, 2u);
    // No block: every end logs, and the grid never remembers it told.
    grid->setOnTouchView(nullptr);
    grid->reset();
    touchSweep(*grid, touchGridCentres(75, 8));
    touchSweep(*grid, {{10, 10}});
    EXPECT_FALSE(grid->hasNotify());
    EXPECT_EQ(log(), 4);
}

TEST_F(TouchScreens, TheGridScreenHidesTheBarsPassesByAStrokeAndShowsThemAgain) {
    onScreen(414, 896);
    auto screen = open<ft::TouchScreenViewController>("TouchScreenViewController");
    at(1.0);
    EXPECT_TRUE(navigation_->isNavigationBarHidden());
    EXPECT_TRUE(app_->app()->isStatusBarHidden());
    EXPECT_TRUE(screen->successButton()->isHidden());
    // The bar lies over the last row's lowest 8 points: touches there reach the bar.
    auto grid = touchSubviewOf<ft::SJTouchView>(root());
    sim::Device::shared().stroke({{41.4, 824}, {372.6, 824}}, 0.02);
    at(1.5);
    EXPECT_EQ(touchMarked(*grid), std::vector<bool>(50, false));
    EXPECT_NE(std::find(app_->logLines().begin(), app_->logLines().end(), "{{0, 0}, {0, 0}}"),
              app_->logLines().end());
    sim::Device::shared().stroke(touchGridCentres(82.8, 10), 0.02);
    at(3.0);
    EXPECT_EQ(code(), 1);
    settle();
    EXPECT_FALSE(navigation_->isNavigationBarHidden());
    EXPECT_FALSE(app_->app()->isStatusBarHidden());
    EXPECT_FALSE(screen->successButton()->isHidden());
    screen = nullptr;
    settle();
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

TEST_F(TouchScreens, TheCanvasRingAndCrossAreLaidOutForTheWholeScreen) {
    open("XTouchViewController", Place::Last);
    settle();
    auto canvas = touchSubviewOf<ft::XCanvas>(root());
    ASSERT_TRUE(canvas);
    const double s = 375.0 / 13, d = 375.0 / 23;
    const auto& cells = canvas->subviewList();
    ASSERT_EQ(cells.size(), 108u + 1) << "and the mask, last";
    EXPECT_TRUE(rt::cast<ft::XMaskView>(cells.back()));
    const auto frameOf = [&](std::size_t i) { return cells[i]->frame(); };
    EXPECT_NEAR(frameOf(12).minX(), 12 * s, 1e-9);
    EXPECT_NEAR(frameOf(13).minX(), 346.15, 0.01) << "the right column";
    EXPECT_NEAR(frameOf(34).minY(), 634.6, 0.05) << "the bottom row";
    EXPECT_NEAR(frameOf(34).maxY(), 663.5, 0.05);
    EXPECT_NEAR(frameOf(68).minX(), d, 1e-9) << "the falling diagonal";
    EXPECT_NEAR(frameOf(88).minX(), 375 - s - d, 1e-9) << "the rising diagonal";
    EXPECT_EQ(cells[0]->layer()->cornerRadius(), 5);
    EXPECT_EQ(cells[0]->layer()->borderWidth(), 1);
    // One point where the diagonals cross marks both cells; a touch over YES reaches the canvas.
    const cg::Point overlap{187.5, 10 * s + 1};
    ASSERT_TRUE(frameOf(77).contains(overlap) && frameOf(97).contains(overlap));
    tap(overlap);
    const auto hit = touchMarked(*canvas);
    EXPECT_EQ(std::count(hit.begin(), hit.end(), true), 2);
    auto yes = rt::cast<ft::BaseModelViewController>(top())->successButton();
    const cg::Rect over = yes->convertRectToView(yes->bounds(), nullptr);
    tap({over.midX(), over.midY()});
    EXPECT_EQ(code(), 0);
    EXPECT_EQ(canvas->currentPoint(), (cg::Point{over.midX(), over.midY()}));
    // The skip button, laid out centred, 80 above the bottom, holds (187.5, 580).
    auto skip = rt::cast<ui::Button>(root()->subviewList().back());
    const cg::Rect skipFrame = skip->frame();
    EXPECT_EQ(skipFrame.midX(), 187.5);
    EXPECT_EQ(skipFrame.maxY(), 587);
    EXPECT_TRUE(skipFrame.contains(cg::Point{187.5, 580}));
}

TEST_F(TouchScreens, InkIsDrawnInHalfStepsAndOnlyItsNewestPartIsDrawnAgain) {
    std::size_t told = 0;
    auto canvas = ft::XCanvas::touchView(cg::Rect::make(0, 0, 375, 667), [&](const auto&) { ++told; });
    auto mask = canvas->maskView();
    TouchFinger finger{*canvas};
    finger.to(ui::TouchPhase::Began, {100, 100});
    finger.to(ui::TouchPhase::Moved, {110, 100});
    EXPECT_EQ(mask->dirtyRect(), cg::Rect::make(90, 90, 25, 20));
    finger.to(ui::TouchPhase::Moved, {120, 100});
    finger.to(ui::TouchPhase::Moved, {123, 100}); // under 5 points: cells, no ink
    const auto& ink = canvas->path()->elements();
    ASSERT_EQ(ink.size(), 4u);
    EXPECT_EQ(ink[0].points[0], (cg::Point{100, 100}));
    EXPECT_EQ(ink[1].points[1], (cg::Point{105, 100}));
    EXPECT_EQ(ink[2].points[0], (cg::Point{105, 100}));
    EXPECT_EQ(ink[3].points[1], (cg::Point{115, 100}));
    finger.to(ui::TouchPhase::Ended, {123, 100});
    EXPECT_EQ(mask->displayPassCount(), 0u) << "the pass comes at the end of the turn";
    app_->advance(0);
    ASSERT_EQ(mask->displayPassCount(), 1u);
    const auto strokes = mask->lastDisplay()->strokes();
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0]->state.lineWidth, 2);
    EXPECT_EQ(strokes[0]->state.lineCap, cg::LineCap::Round);
    EXPECT_TRUE(strokes[0]->state.strokeColor->isEqual(cg::Color::black().get()));
    EXPECT_EQ(strokes[0]->path->elements(), ink);
    ASSERT_EQ(strokes[0]->state.clips.size(), 1u);
    EXPECT_EQ(strokes[0]->state.clips[0].path->boundingBox(), cg::Rect::make(90, 90, 35, 20));
    // A second stroke starts at its own midpoint; slow moves mark cells but add no ink.
    touchSweep(*canvas, {{14, 14}, {16, 40}, {18, 42}}, false);
    EXPECT_EQ(ink.size(), 6u);
    EXPECT_EQ(ink[4].points[0], (cg::Point{14, 14}));
    const auto cells = touchMarked(*canvas);
    EXPECT_TRUE(cells[0] && cells[47]) << "the top row's and the left column's first";
    EXPECT_TRUE(cells[68]) << "the falling diagonal's first, by the slow move";
    EXPECT_EQ(told, 0u);
    app_->advance(0);
    EXPECT_EQ(mask->displayPassCount(), 2u);
}

TEST(TouchInk, TheDrawBlockMayClearItsOwnSlotWhileItRuns) {
    auto mask = ft::XMaskView::maskViewWithFrame(cg::Rect::make(0, 0, 10, 10), {});
    testkit::expectBlockClearingItselfRunsOnce(
        "ink", [&](auto block) { mask->setDrawBlock(block); }, [&] { mask->drawRect(mask->bounds()); });
}

TEST_F(TouchScreens, TheStylusVisitsItsFourPointsAndPassesAtTheFifthTap) {
    auto screen = open<ft::StylusViewController>("StylusViewController", Place::Single);
    settle();
    const auto windowCentre = [&] {
        return screen->button()->convertPointToView(
            {screen->button()->bounds().midX(), screen->button()->bounds().midY()}, nullptr);
    };
    const double top = root()->frame().minY();
    EXPECT_EQ(top, 64) << "below the bar";
    const auto lines = app_->logLines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& line) { return line.starts_with("{{0, 0}, {375, "); }),
              lines.end());
    tap({200, 300});
    EXPECT_EQ(screen->count(), 0);
    const cg::Point visits[] = {{355, 21}, {20, 587}, {355, 587}, {187.5, 301.5}};
    for (const cg::Point& next : visits) {
        tap(windowCentre());
        EXPECT_EQ(screen->button()->center(), next);
        EXPECT_EQ(ui::View::animationsInFlight(), 1u);
        app_->advance(0.49);
        EXPECT_EQ(ui::View::animationsInFlight(), 1u);
        app_->advance(0.01);
        EXPECT_EQ(ui::View::animationsInFlight(), 0u);
    }
    EXPECT_EQ(code(), 0);
    tap(windowCentre());
    EXPECT_EQ(code(), 1);
    EXPECT_TRUE(screen->button()->isHidden());
    auto row = rt::cast<ns::Dictionary>(screen->subItemlist()->objectAtIndex(0));
    EXPECT_EQ(rt::cast<ns::Number>(row->objectForKey("result"))->longValue(), 1);
    screen = nullptr;
    settle();
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kRootSegue));
    EXPECT_EQ(contract().last().text().find("leave:"), contract().last().text().rfind("leave:"));
}

} // namespace
