// The flat progress bar: clamping, NaN ignored, the fill's width and percentage, and an animated
// change that ends 0.3 s later on the clock.

#include <cmath>
#include <limits>

#include "platform/uikit/color.h"
#include "platform/uikit/label.h"
#include "tests/testkit/virtual_time.h"
#include "ui/overlays/progress_bar.h"

namespace {

class ProgressBarTest : public testkit::VirtualTimeTest {};

TEST_F(ProgressBarTest, ClampsIgnoresNaNAndLaysTheFillAndPercentageOut) {
    struct Case {
        double set;
        double progress;
        const char* percent;
    };
    const Case cases[] = {
        {0.456, 0.456, "46%"}, {-0.2, 0, "0%"}, {1.7, 1, "100%"}, {0.455, 0.455, "46%"},
        {std::numeric_limits<double>::quiet_NaN(), 0.3, "30%"},
    };
    for (const Case& c : cases) {
        auto bar = rt::make<sb::ProgressBar>(cg::Rect::make(0, 0, 200, 20));
        bar->setProgressTintColors(ns::Array::make({ui::Color::redColor()}));
        bar->setIndicatorTextDisplayMode(sb::ProgressBar::kPercentInFill);
        bar->setProgressAnimated(0.3, false);
        bar->setProgressAnimated(c.set, false);
        EXPECT_DOUBLE_EQ(bar->progress(), c.progress) << c.set;
        EXPECT_DOUBLE_EQ(bar->fill()->frame().width(), 200 * c.progress);
        EXPECT_EQ(bar->indicatorLabel()->text()->utf8(), c.percent);
        EXPECT_FALSE(bar->indicatorLabel()->isHidden());
        EXPECT_EQ(bar->fill()->backgroundColor(), ui::Color::redColor());
    }
}

TEST_F(ProgressBarTest, AnAnimatedChangeReadsAtOnceAndEndsAfterPointThree) {
    auto bar = rt::make<sb::ProgressBar>(cg::Rect::make(0, 0, 100, 20));
    bar->setProgressAnimated(0.5, true);
    EXPECT_DOUBLE_EQ(bar->progress(), 0.5);
    EXPECT_TRUE(bar->isAnimating());
    runFor(0.29);
    EXPECT_TRUE(bar->isAnimating());
    runFor(0.02);
    EXPECT_FALSE(bar->isAnimating());
    EXPECT_DOUBLE_EQ(bar->fill()->frame().width(), 50);
    EXPECT_TRUE(bar->indicatorLabel()->isHidden()) << "no percentage unless asked";
}

} // namespace
