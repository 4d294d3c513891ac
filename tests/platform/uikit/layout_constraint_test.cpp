// The constraint records of the UIKit stand-in: the factory's refusals, the active flag moving a
// constraint onto the common ancestor of its items, layout marks, and views leaving the tree.

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/view.h"

namespace {

using ui::LayoutAttribute;
using ui::LayoutConstraint;
using ui::LayoutRelation;

// A layout item that is not a view: it belongs to a view, as a controller's guide does.
class Guide : public rt::Object {
    RT_CLASS(Guide)
public:
    rt::Ref<ui::View> owningView() const { return owner_.lock(); }
    void setOwningView(const rt::Ref<ui::View>& view) { owner_ = view; }

private:
    Guide() = default;
    rt::Weak<ui::View> owner_;
};
RT_DEFINE_CLASS(Guide, "TestLayoutGuide", rt::Object, rt::method("owningView", &Guide::owningView))

struct Tree {
    rt::Ref<ui::View> root = rt::make<ui::View>(), left = rt::make<ui::View>(), right = rt::make<ui::View>(),
                      leaf = rt::make<ui::View>();
    Tree() {
        root->addSubview(left);
        root->addSubview(right);
        left->addSubview(leaf);
        for (const auto& view : {root, left, right, leaf})
            view->layoutIfNeeded();
    }
};

rt::Ref<LayoutConstraint> equalEdges(const rt::Id& a, const rt::Id& b, LayoutAttribute attribute = LayoutAttribute::Left) {
    return LayoutConstraint::make(a, attribute, LayoutRelation::Equal, b, attribute, 1, 0);
}

TEST(UILayoutConstraintFactory, RefusesWhatCannotMeanAnythingWithOneLogLineEach) {
    Tree t;
    const double inf = std::numeric_limits<double>::infinity();
    const auto W = LayoutAttribute::Width, L = LayoutAttribute::Left, T = LayoutAttribute::Top,
               none = LayoutAttribute::NotAnAttribute;
    struct Case {
        const char* reason;
        rt::Id first;
        LayoutAttribute a1;
        rt::Id second;
        LayoutAttribute a2;
        double multiplier, constant;
    };
    const std::vector<Case> cases = {
        {"first item is nil", nullptr, W, nullptr, none, 1, 10},
        {"not a layout attribute", t.leaf, LayoutAttribute(21), nullptr, none, 1, 10},
        {"not a layout attribute", t.leaf, L, t.left, LayoutAttribute(-1), 1, 0},
        {"first attribute is missing", t.leaf, none, nullptr, none, 1, 0},
        {"not finite", t.leaf, W, nullptr, none, inf, 0},
        {"not finite", t.leaf, W, nullptr, none, 1, std::nan("")},
        {"needs a second item", t.leaf, L, nullptr, none, 1, 0},
        {"multiplier 0", t.leaf, L, t.left, L, 0, 0},
        {"second item has no attribute", t.leaf, W, t.left, none, 1, 0},
        {"no second item", t.leaf, W, nullptr, W, 1, 0},
        {"related to a size", t.leaf, L, t.left, W, 1, 0},
        {"related to a size", t.leaf, W, t.left, T, 1, 0},
        {"horizontal location", t.leaf, L, t.left, T, 1, 0},
        {"horizontal location", t.leaf, LayoutAttribute::CenterYWithinMargins, t.left, LayoutAttribute::LeadingMargin, 1, 0},
    };
    for (const auto& c : cases) {
        ns::CapturedLog log;
        EXPECT_FALSE(LayoutConstraint::make(c.first, c.a1, LayoutRelation::Equal, c.second, c.a2, c.multiplier, c.constant))
            << c.reason;
        ASSERT_EQ(log.lines().size(), 1u) << c.reason;
        EXPECT_NE(log.lines()[0].find(c.reason), std::string::npos) << log.lines()[0];
    }

    // What it accepts: a constant size, a size against a size (an aspect ratio), a scaled size.
    ns::CapturedLog log;
    EXPECT_TRUE(LayoutConstraint::make(t.leaf, W, LayoutRelation::Equal, nullptr, none, 0, 100));
    EXPECT_TRUE(LayoutConstraint::make(t.leaf, W, LayoutRelation::Equal, t.leaf, LayoutAttribute::Height, 2, 0));
    EXPECT_TRUE(LayoutConstraint::make(t.leaf, LayoutAttribute::CenterX, LayoutRelation::LessThanOrEqual, t.left,
                                       LayoutAttribute::Trailing, 0.5, -3));
    EXPECT_TRUE(log.lines().empty());
}

TEST(UILayoutConstraintActive, MovesOntoTheClosestCommonAncestorAndOff) {
    Tree t;
    auto across = equalEdges(t.leaf, t.right);
    EXPECT_FALSE(across->isActive());
    across->setActive(true);
    EXPECT_TRUE(across->isActive());
    EXPECT_EQ(across->holdingView(), t.root);
    ASSERT_EQ(t.root->constraintList().size(), 1u);
    EXPECT_EQ(t.root->constraintList()[0], across);
    EXPECT_TRUE(t.root->needsLayout());
    across->setActive(true); // already held: stays where it is, once
    EXPECT_EQ(t.root->constraintList().size(), 1u);

    // A constant size goes to the view itself; activating and deactivating lists.
    auto width = LayoutConstraint::make(t.leaf, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                        LayoutAttribute::NotAnAttribute, 1, 50);
    auto inner = equalEdges(t.leaf, t.left, LayoutAttribute::Top);
    LayoutConstraint::activateConstraints(ns::Array::withObjects({width, ns::str("not a constraint"), inner}));
    EXPECT_EQ(width->holdingView(), t.leaf);
    EXPECT_EQ(inner->holdingView(), t.left);
    LayoutConstraint::deactivateConstraints(ns::Array::withObjects({width, inner, across}));
    for (const auto& c : {width, inner, across}) {
        EXPECT_FALSE(c->isActive());
        EXPECT_FALSE(c->holdingView());
    }
    EXPECT_TRUE(t.root->constraintList().empty());

    // Items in different trees: refused, logged, still inactive.
    auto stranger = rt::make<ui::View>();
    auto disjoint = equalEdges(t.leaf, stranger);
    ns::CapturedLog log;
    disjoint->setActive(true);
    EXPECT_FALSE(disjoint->isActive());
    EXPECT_TRUE(log.contains("no common ancestor"));
}

TEST(UILayoutConstraintActive, AGuideCountsAsItsOwningView) {
    Tree t;
    auto guide = rt::make<Guide>();
    guide->setOwningView(t.left);
    auto constraint = LayoutConstraint::make(t.leaf, LayoutAttribute::Top, LayoutRelation::Equal, guide,
                                             LayoutAttribute::Bottom, 1, 8);
    EXPECT_EQ(ui::layoutItemView(guide), t.left);
    constraint->setActive(true);
    EXPECT_EQ(constraint->holdingView(), t.left);
    guide->setOwningView(nullptr);
    EXPECT_FALSE(ui::layoutItemView(guide));
    EXPECT_FALSE(ui::layoutItemView(ns::str("text")));
}

TEST(UIViewConstraints, KeepOrderOwnTheirConstraintsAndMarkLayout) {
    Tree t;
    auto a = equalEdges(t.leaf, t.right), b = equalEdges(t.left, t.right, LayoutAttribute::CenterX);
    rt::Weak<LayoutConstraint> weakA = a;
    t.root->addConstraints(ns::Array::withObjects({a, b}));
    t.root->addConstraint(a); // once only
    EXPECT_EQ(t.root->constraints()->count(), 2u);
    EXPECT_EQ(t.root->constraintList()[1], b);

    // A constant write moves the live constraint and marks its view.
    t.root->layoutIfNeeded();
    a->setConstant(12);
    EXPECT_EQ(a->constant(), 12);
    EXPECT_TRUE(t.root->needsLayout());
    t.root->layoutIfNeeded();
    a->setPriority(500);
    EXPECT_TRUE(t.root->needsLayout());

    // Adding to another view moves it there; removing one not held changes nothing.
    t.left->addConstraint(a);
    EXPECT_EQ(a->holdingView(), t.left);
    EXPECT_EQ(t.root->constraintList().size(), 1u);
    t.root->layoutIfNeeded();
    t.root->removeConstraint(a);
    EXPECT_FALSE(t.root->needsLayout());
    EXPECT_TRUE(a->isActive());
    t.left->removeConstraints(ns::Array::withObjects({a}));
    EXPECT_FALSE(a->isActive());

    // The view owns them: the last reference goes with the list.
    t.left->addConstraint(a);
    a = nullptr;
    EXPECT_TRUE(weakA.lock());
    t.left->removeConstraint(weakA.lock());
    EXPECT_FALSE(weakA.lock());
}

TEST(UIViewConstraints, AViewLeavingItsSuperviewTakesItsConstraintsOffItsFormerAncestors) {
    Tree t;
    auto naming = equalEdges(t.leaf, t.right);          // on root, names a subview of left
    auto namingLeft = equalEdges(t.left, t.right, LayoutAttribute::Top); // on root, names left
    auto unrelated = equalEdges(t.right, t.root, LayoutAttribute::Bottom); // on root
    auto own = equalEdges(t.leaf, t.left, LayoutAttribute::CenterY);  // on left itself
    for (const auto& c : {naming, namingLeft, unrelated, own})
        c->setActive(true);
    ASSERT_EQ(t.root->constraintList().size(), 3u);

    t.left->removeFromSuperview();
    EXPECT_EQ(t.root->constraintList().size(), 1u);
    EXPECT_EQ(t.root->constraintList()[0], unrelated);
    EXPECT_FALSE(naming->isActive());
    EXPECT_FALSE(namingLeft->isActive());
    EXPECT_TRUE(own->isActive()); // held inside the subtree that moved

    // Moving to another superview leaves the old ancestors too.
    t.root->addSubview(t.left);
    naming->setActive(true);
    t.right->addSubview(t.leaf);
    EXPECT_FALSE(naming->isActive());
    EXPECT_EQ(t.left->constraintList().size(), 0u); // `own` named leaf, which left `left`
}

TEST(UIViewConstraints, ClosestCommonAncestor) {
    Tree t;
    using ui::View;
    EXPECT_EQ(View::closestCommonAncestor(t.leaf, t.right), t.root);
    EXPECT_EQ(View::closestCommonAncestor(t.leaf, t.left), t.left);
    EXPECT_EQ(View::closestCommonAncestor(t.root, t.leaf), t.root);
    EXPECT_EQ(View::closestCommonAncestor(t.leaf, t.leaf), t.leaf);
    EXPECT_FALSE(View::closestCommonAncestor(t.leaf, rt::make<View>()));
    EXPECT_FALSE(View::closestCommonAncestor(nullptr, t.leaf));
    EXPECT_FALSE(View::closestCommonAncestor(t.leaf, nullptr));
}

TEST(UIViewConstraints, AConstraintOutlivingItsViewIsInactive) {
    auto view = rt::make<ui::View>();
    auto width = LayoutConstraint::make(view, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                        LayoutAttribute::NotAnAttribute, 1, 50);
    view->addConstraint(width);
    EXPECT_TRUE(view->translatesAutoresizingMaskIntoConstraints());
    view = nullptr;
    EXPECT_FALSE(width->isActive());
    EXPECT_FALSE(width->firstItem());
    width->setActive(true); // nothing to hold it: refused quietly by the missing item
    EXPECT_FALSE(width->isActive());
}

} // namespace
