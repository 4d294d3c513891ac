// The shared progress HUD (when its view joins and leaves the window, what it shows, how long
// success and error stay) and the pop-up menu (fades, row taps, taps outside).

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/graphics/raster_context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/overlays/hud_look.h"
#include "ui/overlays/menu_popover.h"
#include "ui/overlays/progress_hud.h"

namespace {

using sh::ProgressHUD;

using ns::str;

class OverlayTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        window_ = rt::make<ui::Window>();
        window_->makeKeyAndVisible();
    }
    void TearDown() override {
        ProgressHUD::dismiss();
        app().advance(1);
        window_ = nullptr;
        AppTest::TearDown();
    }
    bool onWindow(const rt::Ref<ui::View>& view) const { return view && view->superview() == window_; }
    rt::Ref<ui::Window> window_;
};

TEST_F(OverlayTest, TheHUDJoinsTheWindowOnTheNextTurnAndADismissBeforeThenWins) {
    ProgressHUD::showWithStatus(str("Working"), ProgressHUD::kMaskBlack);
    EXPECT_TRUE(ProgressHUD::isVisible());
    EXPECT_FALSE(onWindow(ProgressHUD::view())); // never inside the call
    ProgressHUD::dismiss();
    app().runUntilIdle();
    EXPECT_EQ(window_->subviews()->count(), 0u);
    EXPECT_FALSE(ProgressHUD::view());

    ProgressHUD::showWithStatus(str("Working"), ProgressHUD::kMaskBlack);
    app().runUntilIdle();
    auto view = ProgressHUD::view();
    ASSERT_TRUE(onWindow(view));
    EXPECT_EQ(ProgressHUD::status()->utf8(), "Working");
    EXPECT_EQ(ProgressHUD::kind(), ProgressHUD::Kind::Progress);
    EXPECT_EQ(ProgressHUD::maskType(), 3u);
    // The black mask takes every touch on the window.
    EXPECT_EQ(window_->hitTest({10, 10}, nullptr), rt::Ref<ui::View>(view));

    ProgressHUD::dismiss();
    EXPECT_FALSE(ProgressHUD::isVisible()); // at once
    EXPECT_TRUE(onWindow(view));            // until the fade ends
    app().advance(ProgressHUD::kFadeDuration);
    EXPECT_FALSE(view->superview());
    ProgressHUD::dismiss(); // nothing shows: harmless
    EXPECT_FALSE(ProgressHUD::isVisible());
}

TEST_F(OverlayTest, AMaskHoldsForItsOwnCallAndSetStatusNeverShows) {
    ProgressHUD::showWithStatus(str("One"), ProgressHUD::kMaskBlack);
    ProgressHUD::showWithStatus(str("Two"));
    app().runUntilIdle();
    EXPECT_EQ(ProgressHUD::maskType(), 0u);
    EXPECT_NE(window_->hitTest({10, 10}, nullptr), ProgressHUD::view()); // touches pass through
    ProgressHUD::setStatus(str("Three"));
    EXPECT_EQ(ProgressHUD::status()->utf8(), "Three");
    ProgressHUD::setStatus(str(""));
    ASSERT_EQ(ProgressHUD::view()->subviews()->count(), 1u);
    EXPECT_TRUE(rt::cast<ui::View>(ProgressHUD::view()->subviews()->objectAtIndex(0))->isHidden());

    ProgressHUD::dismiss();
    app().advance(1);
    ProgressHUD::setStatus(str("Hidden"));
    app().runUntilIdle();
    EXPECT_FALSE(ProgressHUD::isVisible());
    EXPECT_FALSE(ProgressHUD::view());
    EXPECT_EQ(window_->subviews()->count(), 0u);
}

TEST_F(OverlayTest, TheOneArgumentShowsByNameUseTheDefaultMask) {
    const rt::Class& hud = *rt::Class::named("SHProgressHUD");
    for (const char* selector : {"showWithStatus:", "showErrorWithStatus:"}) {
        SCOPED_TRACE(selector);
        ProgressHUD::showWithStatus(str("Masked"), ProgressHUD::kMaskBlack);
        rt::send(hud, rt::Sel(selector), rt::Id(str(selector)));
        app().runUntilIdle();
        EXPECT_EQ(ProgressHUD::status()->utf8(), selector);
        EXPECT_EQ(ProgressHUD::maskType(), 0u);
        EXPECT_EQ(ProgressHUD::kind(), selector == std::string("showWithStatus:") ? ProgressHUD::Kind::Progress
                                                                                   : ProgressHUD::Kind::Error);
    }
    ProgressHUD::dismiss();
    app().advance(1);
}

TEST_F(OverlayTest, SuccessAndErrorHideAfterATimeThatGrowsWithTheText) {
    EXPECT_DOUBLE_EQ(ProgressHUD::displayDurationForString(str(std::string(10, 'x'))), 5.0);
    EXPECT_DOUBLE_EQ(ProgressHUD::displayDurationForString(str(std::string(120, 'x'))), 7.7);
    EXPECT_DOUBLE_EQ(ProgressHUD::displayDurationForString(str(std::string(300, 'x'))), 10.0);

    ProgressHUD::showErrorWithStatus(str(std::string(10, 'x')));
    app().advance(4.9);
    EXPECT_TRUE(ProgressHUD::isVisible());
    EXPECT_EQ(ProgressHUD::kind(), ProgressHUD::Kind::Error);
    app().advance(0.1);
    EXPECT_FALSE(ProgressHUD::isVisible());

    ProgressHUD::showSuccessWithStatus(str(std::string(120, 'x')), 0);
    app().advance(7.6);
    EXPECT_TRUE(ProgressHUD::isVisible());
    app().advance(0.1);
    EXPECT_FALSE(ProgressHUD::isVisible());

    // A newer call cancels the pending auto-hide.
    ProgressHUD::showErrorWithStatus(str("X"));
    app().advance(1);
    ProgressHUD::showWithStatus(str("Working"));
    app().advance(5);
    EXPECT_TRUE(ProgressHUD::isVisible());
    EXPECT_EQ(ProgressHUD::status()->utf8(), "Working");
}

// Hears the menu's choice.
class MenuListener : public rt::Object {
    RT_CLASS(MenuListener)
public:
    std::vector<long> chosen;
    void didSelect(const rt::Id&, long index) { chosen.push_back(index); }

protected:
    MenuListener() = default;
};

} // namespace

RT_DEFINE_CLASS(MenuListener, "OverlayTestMenuListener", rt::Object,
                rt::method("menuPopover:didSelectMenuItemAtIndex:", &MenuListener::didSelect))

namespace {

rt::Ref<pm::MenuPopover> menu() {
    auto items = ns::Array::make({str("Select all"), str("Remove all")});
    return pm::MenuPopover::initWithFrame({{145, 64}, {250, 88}}, items);
}

TEST_F(OverlayTest, ARowTapDismissesThenTellsTheDelegate) {
    auto listener = rt::make<MenuListener>();
    auto popover = menu();
    ASSERT_EQ(popover->rowCount(), 2u);
    EXPECT_EQ(popover->rowButton(1)->frame().origin.y, 44);
    EXPECT_EQ(popover->rowButton(1)->frame().size.height, 44);
    EXPECT_FALSE(popover->rowButton(2));
    popover->setMenuPopoverDelegate(listener);

    popover->showInView(window_);
    EXPECT_TRUE(onWindow(popover));
    EXPECT_TRUE(onWindow(popover->backgroundButton()));
    EXPECT_TRUE(app().tap(popover->rowButton(1)));
    EXPECT_EQ(listener->chosen, std::vector<long>{1});
    app().advance(0.4);
    EXPECT_TRUE(onWindow(popover)); // still fading
    app().advance(0.1);
    EXPECT_FALSE(popover->superview());
    EXPECT_EQ(window_->subviews()->count(), 0u);
}

TEST_F(OverlayTest, ATapOutsideDismissesWithoutTellingTheDelegateWhichIsWeak) {
    auto listener = rt::make<MenuListener>();
    auto popover = menu();
    popover->setMenuPopoverDelegate(listener);
    popover->showInView(window_);
    EXPECT_TRUE(app().tap(popover->backgroundButton()));
    app().advance(0.5);
    EXPECT_TRUE(listener->chosen.empty());
    EXPECT_FALSE(popover->superview());

    listener = nullptr;
    EXPECT_FALSE(popover->menuPopoverDelegate());
    popover->showInView(window_);
    EXPECT_TRUE(app().tap(popover->rowButton(0))); // no delegate: dismisses all the same
    app().advance(0.5);
    EXPECT_FALSE(popover->superview());
}

// The HUD's box hides what is under it: black text and white paper under the box come out all but
// alike, so they do not compete with the box's own white texts.
TEST(HUDLook, WhatLiesUnderTheBoxDoesNotShowThrough) {
    cg::RasterContext picture(200, 100);
    picture.clearTo(cg::Color::white());
    picture.setFillColor(cg::Color::make(0, 0, 0, 1));
    picture.fillRect(cg::Rect::make(0, 0, 100, 100)); // the text under the box, at its left
    sh::drawHUDBox(picture, cg::Rect::make(20, 20, 160, 60), 10, sh::HUDFigure::None);
    const cg::Pixel overText = picture.pixel(60, 50), overPaper = picture.pixel(140, 50);
    EXPECT_LE(overPaper.red - overText.red, 16);
    EXPECT_EQ(picture.pixel(5, 50).red, 0) << "outside the box, the text as it is";
}

} // namespace
