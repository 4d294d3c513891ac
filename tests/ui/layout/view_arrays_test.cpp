// Lists of views and controllers' guides: per-view constraints concatenated, the common superview,
// both distributions solved by the layout pass, and relations to the top layout guide.

#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/set.h"
#include "platform/uikit/application.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "ui/layout/view_additions.h"
#include "ui/layout/view_arrays.h"

namespace {

using ui::LayoutAttribute;

// A parent 300 wide and 100 high, placed at x = 100 in its root, with three children.
struct Row {
    rt::Ref<ui::View> root = rt::make<ui::View>(cg::Rect::make(0, 0, 600, 400));
    rt::Ref<ui::View> parent = rt::make<ui::View>(cg::Rect::make(100, 50, 300, 300));
    lc::ViewList views;
    Row() {
        root->addSubview(parent);
        for (int i = 0; i < 3; ++i) {
            views.push_back(rt::make<ui::View>(cg::Rect::make(0, 7, 5, 11)));
            parent->addSubview(views.back());
        }
    }
    std::vector<cg::Rect> frames() {
        root->layoutIfNeeded();
        std::vector<cg::Rect> out;
        for (const auto& v : views) out.push_back(v->frame());
        return out;
    }
};

TEST(ViewLists, MakeRunsTheBlockPerViewAndConcatenates) {
    Row row;
    int runs = 0;
    auto made = lc::makeConstraints(lc::ViewList{row.views[0], row.views[1]}, [&](lc::ConstraintMaker& make) {
        ++runs;
        make.width()->equalTo(10.0);
        make.height()->equalTo(20.0);
    });
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(made.size(), 4u);
    EXPECT_EQ(lc::installedConstraints(row.views[0])->count(), 2u);
    EXPECT_EQ(row.views[0]->constraintList().size(), 2u);
    EXPECT_EQ(row.views[1]->constraintList().size(), 2u);
    EXPECT_EQ(made[2]->delegate(), nullptr);

    // The array form skips what is not a view; remake replaces, update changes in place.
    auto mixed = ns::Array::make({row.views[1], ns::str("not a view"), row.views[2]});
    EXPECT_EQ(lc::remakeConstraints(mixed, [](lc::ConstraintMaker& make) { make.width()->equalTo(30.0); }).size(), 2u);
    EXPECT_EQ(row.views[1]->constraintList().size(), 1u);
    lc::updateConstraints(mixed, [](lc::ConstraintMaker& make) { make.width()->equalTo(40.0); });
    EXPECT_EQ(row.views[2]->constraintList().size(), 1u);
    EXPECT_EQ(row.views[2]->constraintList()[0]->constant(), 40);
}

TEST(ViewLists, CommonSuperview) {
    Row row;
    auto child = rt::make<ui::View>();
    row.views[0]->addSubview(child);
    EXPECT_EQ(lc::commonSuperviewOfViews(row.views), row.parent);
    EXPECT_EQ(lc::commonSuperviewOfViews(lc::ViewList{row.views[0], child}), row.views[0]);
    EXPECT_EQ(lc::commonSuperviewOfViews(lc::ViewList{child}), child);
    EXPECT_EQ(lc::commonSuperviewOfViews(lc::ViewList{}), nullptr);
    EXPECT_EQ(lc::commonSuperviewOfViews(lc::ViewList{child, rt::make<ui::View>(), row.views[1]}), nullptr);
    EXPECT_EQ(lc::commonSuperviewOfViews(ns::Array::make({ns::str("x"), child, row.views[2]})), row.parent);
    EXPECT_EQ(lc::commonSuperviewOfViews(ns::Array::make({ns::str("x")})), nullptr);
    EXPECT_EQ(lc::commonSuperviewOfViews(rt::Ref<ns::Array>()), nullptr);
}

TEST(ViewLists, FixedSpacingSharesTheLengthTheSpacingsLeave) {
    Row across, down;
    lc::distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(across.views, 0, 10, 20, 20);
    EXPECT_EQ(across.frames(), (std::vector<cg::Rect>{cg::Rect::make(20, 7, 80, 11), cg::Rect::make(110, 7, 80, 11),
                                                      cg::Rect::make(200, 7, 80, 11)}));
    lc::distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(down.views, 1, 10, 20, 20);
    EXPECT_EQ(down.frames(), (std::vector<cg::Rect>{cg::Rect::make(0, 20, 5, 80), cg::Rect::make(0, 110, 5, 80),
                                                    cg::Rect::make(0, 200, 5, 80)}));
}

TEST(ViewLists, FixedItemLengthSpacesTheGapsEvenly) {
    Row across, down;
    lc::distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(across.views, 0, 50, 10, 10);
    EXPECT_EQ(across.frames(), (std::vector<cg::Rect>{cg::Rect::make(10, 7, 50, 11), cg::Rect::make(125, 7, 50, 11),
                                                      cg::Rect::make(240, 7, 50, 11)}));
    lc::distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(down.views, 7, 50, 10, 10);
    EXPECT_EQ(down.frames(), (std::vector<cg::Rect>{cg::Rect::make(0, 10, 5, 50), cg::Rect::make(0, 125, 5, 50),
                                                    cg::Rect::make(0, 240, 5, 50)}));
}

TEST(ViewLists, FewerThanTwoViewsOrNoContainerDistributeNothing) {
    Row row;
    lc::distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(lc::ViewList{row.views[0]}, 0, 1, 1, 1);
    lc::distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(lc::ViewList{}, 0, 1, 1, 1);
    lc::distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(
        lc::ViewList{row.views[0], rt::make<ui::View>()}, 0, 1, 1, 1);
    lc::distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(
        ns::Array::make({row.views[0], ns::str("x")}), 0, 1, 1, 1);
    for (const auto& v : row.views) {
        EXPECT_TRUE(v->constraintList().empty());
        EXPECT_TRUE(v->translatesAutoresizingMaskIntoConstraints());
    }
    EXPECT_TRUE(row.parent->constraintList().empty());
}

TEST(ControllerGuides, AttributesNameTheGuidesOnTheControllersView) {
    auto controller = rt::make<ui::ViewController>();
    auto top = lc::topLayoutGuide(controller);
    EXPECT_TRUE(top->isEqual(lc::topLayoutGuideBottom(controller).get()));
    EXPECT_EQ(top->view(), controller->view());
    EXPECT_EQ(top->item(), rt::Id(controller->topLayoutGuide()));
    EXPECT_EQ(top->layoutAttribute(), LayoutAttribute::Bottom);
    EXPECT_EQ(lc::topLayoutGuideTop(controller)->layoutAttribute(), LayoutAttribute::Top);
    auto bottom = lc::bottomLayoutGuide(controller);
    EXPECT_TRUE(bottom->isEqual(lc::bottomLayoutGuideTop(controller).get()));
    EXPECT_EQ(bottom->item(), rt::Id(controller->bottomLayoutGuide()));
    EXPECT_EQ(bottom->layoutAttribute(), LayoutAttribute::Top);
    EXPECT_EQ(lc::bottomLayoutGuideBottom(controller)->layoutAttribute(), LayoutAttribute::Bottom);
    EXPECT_EQ(lc::topLayoutGuide(nullptr), nullptr);
}

TEST(ControllerGuides, ATopOnTheTopGuideSitsUnderTheStatusBar) {
    auto application = ui::Application::makeShared("");
    auto controller = rt::make<ui::ViewController>();
    auto label = rt::make<ui::View>(cg::Rect::make(0, 0, 10, 10));
    controller->view()->addSubview(label);
    lc::makeConstraints(label, [&](lc::ConstraintMaker& make) { make.top()->equalTo(lc::topLayoutGuide(controller)); });
    ASSERT_EQ(controller->view()->constraintList().size(), 1u);
    controller->view()->layoutIfNeeded();
    EXPECT_EQ(label->frame().origin.y, ui::kStatusBarHeight);
    application->setStatusBarHidden(true);
    controller->view()->layoutIfNeeded();
    EXPECT_EQ(label->frame().origin.y, 0);
    ui::Application::resetShared();
}

} // namespace
