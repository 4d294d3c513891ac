// The layout pass: views with translatesAutoresizingMaskIntoConstraints NO placed by the solver in
// their holder's space, views with YES left alone, intrinsic sizes, stays, the callbacks' order,
// incremental passes, broken constraints and views that go away between passes.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_engine.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "tests/testkit/main_loop.h"

namespace {

using ui::LayoutAttribute;
using ui::LayoutConstraint;
using ui::LayoutRelation;
using A = ui::LayoutAttribute;

std::vector<std::string> gTrace;

// A view with a fixed intrinsic size that records its layoutSubviews.
class SizedView : public ui::View {
    RT_CLASS(SizedView)
public:
    cg::Size intrinsic{NoIntrinsicMetric, NoIntrinsicMetric};
    std::string name;
    std::function<void()> onLayout;
    cg::Size intrinsicContentSize() const override { return intrinsic; }

protected:
    SizedView() = default;
    explicit SizedView(const cg::Rect& frame) : View(frame) {}
    void layoutSubviews() override {
        if (!name.empty()) gTrace.push_back("layout " + name);
        if (onLayout) onLayout();
    }
};
RT_DEFINE_CLASS(SizedView, "TestSizedView", ui::View)

class LayoutTracedController : public ui::ViewController {
    RT_CLASS(LayoutTracedController)
public:
    void viewWillLayoutSubviews() override { gTrace.push_back("will"); }
    void viewDidLayoutSubviews() override { gTrace.push_back("did"); }
};
RT_DEFINE_CLASS(LayoutTracedController, "TestTracedLayoutController", ui::ViewController)

rt::Ref<LayoutConstraint> relate(const rt::Id& a, A a1, const rt::Id& b, A a2, double constant = 0,
                                 LayoutRelation relation = LayoutRelation::Equal, double multiplier = 1) {
    return LayoutConstraint::make(a, a1, relation, b, a2, multiplier, constant);
}

rt::Ref<LayoutConstraint> fix(const rt::Id& a, A a1, double constant) {
    return LayoutConstraint::make(a, a1, LayoutRelation::Equal, nullptr, A::NotAnAttribute, 1, constant);
}

rt::Ref<SizedView> constrained(const rt::Ref<ui::View>& parent, const cg::Rect& frame = {}) {
    auto view = rt::make<SizedView>();
    view->setFrame(frame);
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    parent->addSubview(view);
    return view;
}

std::size_t solves(const ui::View& view) {
    const ui::detail::LayoutEngine* engine = ui::detail::layoutEngineOf(view);
    return engine ? engine->solveCount() : 0;
}

class LayoutPass : public ::testing::Test {
protected:
    void SetUp() override { gTrace.clear(); }
    void TearDown() override { gTrace.clear(); }
    rt::Ref<ui::View> root = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667));
};

TEST_F(LayoutPass, CentresInAFixedBarAndAnchorsToTheRootWithoutMovingFixedViews) {
    // The grid screen: a fixed bar, a 100 x 40 button centred in it.
    auto bar = rt::make<ui::View>(cg::Rect::make(0, 600, 375, 67));
    root->addSubview(bar);
    auto skip = constrained(bar);
    skip->addConstraint(fix(skip, A::Width, 100));
    skip->addConstraint(fix(skip, A::Height, 40));
    bar->addConstraint(relate(skip, A::CenterY, bar, A::CenterY));
    bar->addConstraint(relate(skip, A::CenterX, bar, A::CenterX));
    // The canvas screen: a button of intrinsic size 60 x 30, centred, 80 above the bottom.
    auto button = constrained(root);
    button->intrinsic = {60, 30};
    root->addConstraint(relate(button, A::CenterX, root, A::CenterX));
    root->addConstraint(relate(button, A::Bottom, root, A::Bottom, -80));

    root->layoutIfNeeded();
    EXPECT_EQ(bar->frame(), cg::Rect::make(0, 600, 375, 67));
    EXPECT_EQ(skip->frame(), cg::Rect::make(137.5, 13.5, 100, 40));
    EXPECT_EQ(button->frame(), cg::Rect::make(157.5, 557, 60, 30));
}

TEST_F(LayoutPass, ConstantChangedInPlaceMovesItsViewAndAnUnchangedPassSolvesNothing) {
    auto view = constrained(root);
    root->addConstraint(relate(view, A::Left, root, A::Left, 10));
    auto top = relate(view, A::Top, root, A::Top, 50);
    root->addConstraint(top);
    view->addConstraint(fix(view, A::Width, 30));
    view->addConstraint(fix(view, A::Height, 30));
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame(), cg::Rect::make(10, 50, 30, 30));
    const std::size_t before = solves(*root);
    root->layoutIfNeeded();
    EXPECT_EQ(solves(*root), before);

    top->setConstant(47);
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame(), cg::Rect::make(10, 47, 30, 30));
    EXPECT_EQ(solves(*root), before + 1);
}

TEST_F(LayoutPass, CallbacksRunWillThenSubviewsParentFirstThenDid) {
    auto controller = rt::make<LayoutTracedController>();
    auto view = rt::make<SizedView>(cg::Rect::make(0, 0, 375, 667));
    view->name = "parent";
    controller->setView(view);
    root->addSubview(view);
    auto child = constrained(view);
    child->name = "child";
    view->addConstraint(relate(child, A::Width, view, A::Width, 0, LayoutRelation::Equal, 0.5));
    root->layoutIfNeeded();
    EXPECT_EQ(gTrace, (std::vector<std::string>{"will", "layout parent", "layout child", "did"}));
    EXPECT_EQ(child->frame().size.width, 187.5);
}

TEST_F(LayoutPass, UnsatisfiablePairBreaksOneAndPlacesTheRest) {
    auto a = constrained(root, cg::Rect::make(0, 0, 5, 5));
    auto b = constrained(root);
    root->addConstraint(relate(a, A::Left, root, A::Left));
    a->addConstraint(fix(a, A::Width, 100));
    auto conflicting = fix(a, A::Width, 200);
    a->addConstraint(conflicting);
    root->addConstraint(relate(b, A::Left, a, A::Right, 8));
    b->addConstraint(fix(b, A::Width, 10));
    ns::CapturedLog log;
    root->layoutIfNeeded();
    EXPECT_TRUE(log.contains("Unable to simultaneously satisfy constraints. Will attempt to recover by breaking "
                             "constraint " +
                             conflicting->description()))
        << testing::PrintToString(log.lines());
    EXPECT_EQ(a->frame().size.width, 100);
    EXPECT_EQ(b->frame().origin.x, 108);
    // Told once, not at every pass.
    root->setNeedsLayout();
    root->layoutIfNeeded();
    EXPECT_EQ(log.lines().size(), 1u);
    // Once it no longer conflicts it joins the solve.
    a->removeConstraint(a->constraintList()[0]);
    EXPECT_EQ(a->constraintList()[0], conflicting);
    root->layoutIfNeeded();
    EXPECT_EQ(a->frame().size.width, 200);
    EXPECT_EQ(b->frame().origin.x, 208);

    // A constant moved into a conflict: broken with its new value, never kept at the old one.
    auto right = relate(a, A::Right, root, A::Left, 200);
    root->addConstraint(right);
    root->layoutIfNeeded();
    EXPECT_EQ(log.lines().size(), 1u);
    right->setConstant(300);
    root->layoutIfNeeded();
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[1].find(right->description()), std::string::npos);
    EXPECT_EQ(a->frame().size.width, 200);
    right->setConstant(200); // fits again, and joins quietly
    root->layoutIfNeeded();
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(a->frame().size.width, 200);
}

TEST_F(LayoutPass, StaysKeepWhatNoConstraintDecidesAndFollowCode) {
    auto view = constrained(root, cg::Rect::make(40, 60, 80, 20));
    root->addConstraint(relate(view, A::Left, root, A::Left, 5));
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame(), cg::Rect::make(5, 60, 80, 20));
    // Code moves it: the undecided parts follow, the decided left does not.
    view->setFrame(cg::Rect::make(90, 10, 30, 30));
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame(), cg::Rect::make(5, 10, 30, 30));
    // A transform survives the pass.
    view->setTransform(cg::AffineTransform::identity().scale(2, 2));
    root->addConstraint(relate(view, A::Top, root, A::Top, 1));
    root->layoutIfNeeded();
    EXPECT_EQ(view->center(), cg::Point(20, 16));
    EXPECT_EQ(view->transform(), cg::AffineTransform::identity().scale(2, 2));
}

TEST_F(LayoutPass, HuggingAndCompressionResistanceDecideAgainstEachOther) {
    auto view = constrained(root);
    view->intrinsic = {100, 20};
    root->addConstraint(relate(view, A::Left, root, A::Left));
    root->addConstraint(relate(view, A::Top, root, A::Top));
    auto wish = fix(view, A::Width, 300);
    wish->setPriority(500); // beats hugging (250), not compression resistance
    view->addConstraint(wish);
    auto squeeze = fix(view, A::Height, 5);
    squeeze->setPriority(500);
    view->addConstraint(squeeze);
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame().size, cg::Size(300, 20));

    view->setContentCompressionResistancePriority(400, ui::LayoutConstraintAxis::Vertical);
    view->setContentHuggingPriority(600, ui::LayoutConstraintAxis::Horizontal);
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame().size, cg::Size(100, 5));
    view->intrinsic = {70, 20};
    view->invalidateIntrinsicContentSize();
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame().size.width, 70);
}

TEST_F(LayoutPass, SpacesMarginsAndProportionsFollowTheHolder) {
    // A holder placed at x = 100, itself constrained, with a scrolled bounds origin.
    auto holder = constrained(root);
    root->addConstraint(relate(holder, A::Left, root, A::Left, 100));
    root->addConstraint(relate(holder, A::Top, root, A::Top, 30));
    holder->addConstraint(fix(holder, A::Width, 300));
    holder->addConstraint(fix(holder, A::Height, 200));
    auto inner = constrained(holder);
    holder->addConstraint(relate(inner, A::Right, holder, A::Right, 0, LayoutRelation::Equal, 0.5));
    holder->addConstraint(relate(inner, A::Left, holder, A::LeftMargin));
    holder->addConstraint(relate(inner, A::Bottom, holder, A::BottomMargin));
    holder->addConstraint(relate(inner, A::Top, holder, A::CenterYWithinMargins));
    root->layoutIfNeeded();
    EXPECT_EQ(holder->frame(), cg::Rect::make(100, 30, 300, 200));
    EXPECT_EQ(inner->frame(), cg::Rect::make(8, 100, 142, 92));

    holder->setLayoutMargins({0, 20, 0, 0});
    root->layoutIfNeeded();
    EXPECT_EQ(inner->frame(), cg::Rect::make(20, 100, 130, 100));
}

TEST_F(LayoutPass, ItemsThatGoAwayAreLeftOutAndNothingDangles) {
    // An item that dies while its constraint stays held: the controller's guide.
    auto controller = rt::make<LayoutTracedController>();
    auto screen = controller->view();
    root->addSubview(screen);
    auto keep = constrained(screen);
    screen->addConstraint(relate(keep, A::Top, controller->topLayoutGuide(), A::Bottom, 4));
    auto left = relate(keep, A::Left, screen, A::Left, 9);
    screen->addConstraint(left);
    root->layoutIfNeeded();
    EXPECT_EQ(keep->frame().origin, cg::Point(9, ui::kStatusBarHeight + 4));
    rt::Weak<LayoutTracedController> weakController = controller;
    controller = nullptr;
    EXPECT_FALSE(weakController.lock());
    left->setConstant(20);
    root->layoutIfNeeded(); // the guide's constraint is skipped, the rest still solve
    EXPECT_EQ(keep->frame().origin.x, 20);

    // A held constraint whose item lies outside the holder is skipped too.
    auto stranger = rt::make<ui::View>();
    stranger->setTranslatesAutoresizingMaskIntoConstraints(false);
    keep->addConstraint(relate(stranger, A::Left, keep, A::Left, 1));
    root->layoutIfNeeded();
    EXPECT_EQ(keep->frame().origin.x, 20);

    // A layoutSubviews that takes a constrained view out of the tree during the pass; the next
    // pass lets its variables go.
    auto parent = rt::make<SizedView>(cg::Rect::make(0, 0, 10, 10));
    root->addSubview(parent);
    auto child = constrained(parent);
    parent->addConstraint(relate(child, A::Width, parent, A::Width, 5));
    parent->onLayout = [&] { child->removeFromSuperview(); };
    root->layoutIfNeeded();
    EXPECT_EQ(child->frame().size.width, 15);
    EXPECT_FALSE(child->superview());
    parent->onLayout = nullptr;
    child = nullptr;
    root->setNeedsLayout();
    root->layoutIfNeeded();
    EXPECT_EQ(keep->frame().origin.x, 20);
}

TEST_F(LayoutPass, AWindowLaysOutAtTheEndOfTheTurnWhenALabelsTextChanges) {
    auto window = rt::make<ui::Window>(cg::Rect::make(0, 0, 375, 667));
    auto label = rt::make<ui::Label>();
    label->setFont(ui::Font::systemFontOfSize(16));
    label->setText(ns::String::make("abcd"));
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    window->addSubview(label);
    window->addConstraint(relate(label, A::Left, window, A::Left, 10));
    window->addConstraint(relate(label, A::Top, window, A::Top, 10));
    ASSERT_TRUE(testkit::drainMainQueue());
    const cg::Size four = label->frame().size;
    EXPECT_EQ(four, label->intrinsicContentSize());
    EXPECT_GT(four.width, 0);
    label->setText(ns::String::make("abcdefgh"));
    ASSERT_TRUE(testkit::drainMainQueue());
    EXPECT_EQ(label->frame().size, label->intrinsicContentSize());
    EXPECT_GT(label->frame().size.width, four.width);
    EXPECT_EQ(label->frame().origin, cg::Point(10, 10));
}

// A view whose intrinsic height flips with every width it is handed: its heights never settle.
class RestlessView : public ui::View {
    RT_CLASS(RestlessView)
public:
    int widthsTaken = 0;
    cg::Size intrinsicContentSize() const override {
        return {NoIntrinsicMetric, widthsTaken % 2 ? 40.0 : 20.0};
    }

protected:
    RestlessView() = default;
    bool adoptLayoutWidth(double) override {
        ++widthsTaken;
        return true;
    }
};
RT_DEFINE_CLASS(RestlessView, "TestRestlessView", ui::View)

TEST_F(LayoutPass, AWrappingViewsHeightFollowsTheWidthItIsGiven) {
    // The model font at 16: 10 points an advance, lines 16 high. 54 characters unbroken.
    const std::string text = "Hold the device still until the light comes on again.";
    struct Case {
        const char* name;
        long lines;
        double preferred;
        bool pinned; // left and right 20 from the root; else only kept 20 inside it, centred
        cg::Size size;
    };
    const Case cases[] = {
        {"wraps at the width between its pins", 0, 0, true, {335, 32}},
        {"kept inside: as wide as it may be, then wrapped", 0, 0, false, {335, 32}},
        {"a preferred width wraps whatever the frame", 0, 100, true, {335, 112}},
        {"a preferred width narrows a label kept inside", 0, 100, false, {100, 112}},
        {"one line does not wrap", 1, 0, true, {335, 16}},
        {"two lines at most", 2, 100, true, {335, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto holder = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667));
        auto label = rt::make<ui::Label>();
        label->setFont(ui::Font::systemFontOfSize(16));
        label->setNumberOfLines(c.lines);
        label->setPreferredMaxLayoutWidth(c.preferred);
        label->setText(ns::String::make(text));
        label->setTranslatesAutoresizingMaskIntoConstraints(false);
        holder->addSubview(label);
        holder->addConstraint(relate(label, A::Top, holder, A::Top, 30));
        const LayoutRelation side = c.pinned ? LayoutRelation::Equal : LayoutRelation::GreaterThanOrEqual;
        holder->addConstraint(relate(label, A::Left, holder, A::Left, 20, side));
        holder->addConstraint(relate(holder, A::Right, label, A::Right, 20, side));
        if (!c.pinned) holder->addConstraint(relate(label, A::CenterX, holder, A::CenterX));
        holder->layoutIfNeeded();
        EXPECT_EQ(label->frame().size, c.size);
        EXPECT_EQ(label->sizeThatFits({0, 0}).width, 530) << "measuring keeps its meaning";
    }

    // A text view that does not scroll: the text wrapped at its width less 10, plus 16.
    auto textView = rt::make<ui::TextView>();
    textView->setFont(ui::Font::systemFontOfSize(16));
    textView->setText(ns::String::make(text));
    textView->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(textView);
    root->addConstraint(relate(textView, A::Left, root, A::Left, 20));
    root->addConstraint(relate(root, A::Right, textView, A::Right, 20));
    root->addConstraint(relate(textView, A::Top, root, A::Top));
    root->layoutIfNeeded();
    EXPECT_EQ(textView->intrinsicContentSize().height, ui::View::NoIntrinsicMetric) << "it scrolls";
    textView->setScrollEnabled(false);
    root->layoutIfNeeded();
    EXPECT_EQ(textView->frame().size, (cg::Size{335, 32 + 16}));
}

TEST_F(LayoutPass, HeightsThatNeverSettleStopAfterFourRoundsWithOneLogLine) {
    ns::CapturedLog log;
    auto restless = rt::make<RestlessView>();
    restless->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(restless);
    root->addConstraint(relate(restless, A::Left, root, A::Left));
    auto width = fix(restless, A::Width, 100);
    root->addConstraint(width);
    root->layoutIfNeeded();
    EXPECT_EQ(solves(*root), 4u);
    EXPECT_EQ(restless->frame().height(), 40); // the last answer kept
    width->setConstant(120);
    root->layoutIfNeeded();
    EXPECT_EQ(solves(*root), 8u);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("did not settle"), std::string::npos) << log.lines()[0];
}

TEST_F(LayoutPass, TheTopGuideSitsUnderTheStatusBar) {
    auto controller = rt::make<LayoutTracedController>();
    root->addSubview(controller->view());
    auto view = constrained(controller->view());
    auto top = relate(view, A::Top, controller->topLayoutGuide(), A::Bottom);
    ASSERT_TRUE(top);
    top->setActive(true);
    EXPECT_EQ(top->holdingView(), controller->view());
    auto bottom = relate(view, A::Bottom, controller->bottomLayoutGuide(), A::Top);
    bottom->setActive(true);
    root->layoutIfNeeded();
    EXPECT_EQ(view->frame().origin.y, ui::kStatusBarHeight);
    EXPECT_EQ(view->frame().size.height, 667 - ui::kStatusBarHeight);
}

} // namespace
