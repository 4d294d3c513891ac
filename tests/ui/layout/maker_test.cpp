// The maker and the view entry points: what the screens' blocks install, groups and chains,
// updating, remaking and the life of an installed constraint.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/set.h"
#include "platform/runtime/log.h"
#include "platform/uikit/view.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/layout_constraint.h"

namespace {

using ui::LayoutAttribute;
using ui::LayoutRelation;

struct Screen {
    rt::Ref<ui::View> root = rt::make<ui::View>(), bar = rt::make<ui::View>(), button = rt::make<ui::View>(),
                      other = rt::make<ui::View>();
    Screen() {
        root->addSubview(bar);
        root->addSubview(other);
        bar->addSubview(button);
    }
};

rt::Ref<lc::LayoutConstraint> held(const rt::Ref<ui::View>& view, std::size_t index) {
    const auto& list = view->constraintList();
    return index < list.size() ? rt::cast<lc::LayoutConstraint>(list[index]) : nullptr;
}

void expectRecord(const rt::Ref<lc::LayoutConstraint>& c, const rt::Id& first, LayoutAttribute a1, const rt::Id& second,
                  LayoutAttribute a2, double constant, LayoutRelation relation = LayoutRelation::Equal) {
    ASSERT_TRUE(c);
    EXPECT_EQ(c->firstItem(), first);
    EXPECT_EQ(c->firstAttribute(), a1);
    EXPECT_EQ(c->relation(), relation);
    EXPECT_EQ(c->secondItem(), second);
    EXPECT_EQ(c->secondAttribute(), a2);
    EXPECT_EQ(c->multiplier(), 1);
    EXPECT_EQ(c->constant(), constant);
    EXPECT_EQ(c->priority(), 1000);
    EXPECT_TRUE(c->isActive());
}

rt::Ref<lc::ViewConstraint> member(const rt::Ref<lc::Constraint>& composite, std::size_t index) {
    auto group = rt::cast<lc::CompositeConstraint>(composite);
    EXPECT_TRUE(group);
    return group && index < group->childConstraints().size()
               ? rt::cast<lc::ViewConstraint>(group->childConstraints()[index])
               : nullptr;
}

TEST(LCMaker, TheSkipButtonBlock) {
    Screen s;
    auto made = lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) {
        make.size()->equalTo(lc::boxed(cg::Size{100, 40}));
        make.centerY()->equalTo(s.bar);
        make.centerX()->equalTo(s.bar);
    });
    EXPECT_FALSE(s.button->translatesAutoresizingMaskIntoConstraints());
    ASSERT_EQ(made.size(), 3u);
    EXPECT_TRUE(rt::cast<lc::CompositeConstraint>(made[0]));
    ASSERT_EQ(s.button->constraintList().size(), 2u);
    expectRecord(held(s.button, 0), s.button, LayoutAttribute::Width, nullptr, LayoutAttribute::NotAnAttribute, 100);
    expectRecord(held(s.button, 1), s.button, LayoutAttribute::Height, nullptr, LayoutAttribute::NotAnAttribute, 40);
    ASSERT_EQ(s.bar->constraintList().size(), 2u);
    expectRecord(held(s.bar, 0), s.button, LayoutAttribute::CenterY, s.bar, LayoutAttribute::CenterY, 0);
    expectRecord(held(s.bar, 1), s.button, LayoutAttribute::CenterX, s.bar, LayoutAttribute::CenterX, 0);
    EXPECT_EQ(lc::installedConstraints(s.button)->count(), 4u);
    EXPECT_TRUE(s.root->constraintList().empty());
    EXPECT_EQ(lc::closestCommonSuperview(s.button, s.other), s.root);
}

TEST(LCMaker, TheBottomControlsBlockAndABareLocation) {
    Screen s;
    lc::makeConstraints(s.other, [&](lc::ConstraintMaker& make) {
        make.centerX()->equalTo(s.root);
        make.bottom()->equalTo(s.root)->offset(-80);
    });
    ASSERT_EQ(s.root->constraintList().size(), 2u);
    expectRecord(held(s.root, 0), s.other, LayoutAttribute::CenterX, s.root, LayoutAttribute::CenterX, 0);
    expectRecord(held(s.root, 1), s.other, LayoutAttribute::Bottom, s.root, LayoutAttribute::Bottom, -80);

    lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.left(); });
    ASSERT_EQ(s.bar->constraintList().size(), 1u);
    expectRecord(held(s.bar, 0), s.button, LayoutAttribute::Left, s.bar, LayoutAttribute::Left, 0);
}

TEST(LCMaker, OffsetsReachTheMatchingMembers) {
    Screen s;
    rt::Ref<lc::Constraint> edges, center, margins;
    lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) {
        edges = make.edges()->equalTo(s.bar)->insets({10, 20, 30, 40});
        center = make.center()->equalTo(s.bar)->insets({10, 20, 30, 40});
        EXPECT_EQ(member(center, 0)->layoutConstant(), 0); // a centre takes nothing from insets
        center->centerOffset({3, 4});
        margins = make.leftMargin()->and_()->centerXWithinMargins();
        margins->equalTo(s.bar)->insets({1, 2, 3, 4})->centerOffset({5, 6})->sizeOffset({7, 8});
    });
    const std::vector<std::pair<LayoutAttribute, double>> expected = {
        {LayoutAttribute::Left, 20}, {LayoutAttribute::Right, -40}, {LayoutAttribute::Top, 10}, {LayoutAttribute::Bottom, -30}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        auto m = member(edges, i);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->firstViewAttribute()->layoutAttribute(), expected[i].first);
        EXPECT_EQ(m->layoutConstant(), expected[i].second);
        EXPECT_EQ(m->layoutConstraint()->constant(), expected[i].second); // installed with it
    }
    EXPECT_EQ(member(center, 0)->layoutConstant(), 3);
    EXPECT_EQ(member(center, 1)->layoutConstant(), 4);
    EXPECT_EQ(member(margins, 0)->layoutConstant(), 0);
    EXPECT_EQ(member(margins, 1)->layoutConstant(), 0);
    margins->offset(9);
    EXPECT_EQ(member(margins, 0)->layoutConstraint()->constant(), 9);
    EXPECT_EQ(member(margins, 1)->layoutConstraint()->constant(), 9);
}

TEST(LCMaker, ChainingBuildsGroupsInTheMakersList) {
    Screen s;
    auto a = rt::make<ui::View>(), b = rt::make<ui::View>();
    s.root->addSubview(a);
    s.root->addSubview(b);
    rt::Ref<lc::Constraint> leftTop, edgesCenter, relation, sized, group, first, second;
    std::vector<rt::Ref<lc::Constraint>> listed;
    auto made = lc::makeConstraints(s.other, [&](lc::ConstraintMaker& make) {
        leftTop = make.left()->top();
        edgesCenter = make.edges()->centerX();
        first = make.width();
        relation = first->greaterThanOrEqualTo({a, b});
        sized = make.size()->key(ns::str("skip"));
        make.attributes(0);
        second = make.attributes((1 << 7) | (1 << 8));
        group = make.group([&] {
            make.height()->equalTo(a);
            make.centerY()->equalTo(b);
        });
        listed = make.constraints();
    });
    ASSERT_EQ(listed.size(), 8u);
    EXPECT_EQ(listed[0], leftTop);
    EXPECT_EQ(rt::cast<lc::CompositeConstraint>(leftTop)->childConstraints().size(), 2u);
    EXPECT_EQ(member(leftTop, 1)->firstViewAttribute()->layoutAttribute(), LayoutAttribute::Top);
    EXPECT_EQ(listed[1], edgesCenter);
    EXPECT_EQ(rt::cast<lc::CompositeConstraint>(edgesCenter)->childConstraints().size(), 5u);
    EXPECT_EQ(member(edgesCenter, 4)->firstViewAttribute()->layoutAttribute(), LayoutAttribute::CenterX);

    // An array relation: two copies in a composite in the receiver's place.
    EXPECT_EQ(listed[2], relation);
    for (std::size_t i = 0; i < 2; ++i) {
        auto copy = member(relation, i);
        ASSERT_TRUE(copy);
        EXPECT_NE(copy, first);
        EXPECT_EQ(copy->layoutRelation(), LayoutRelation::GreaterThanOrEqual);
        EXPECT_EQ(copy->secondViewAttribute()->view(), i == 0 ? a : b);
        EXPECT_EQ(copy->layoutConstraint()->relation(), LayoutRelation::GreaterThanOrEqual);
    }
    EXPECT_FALSE(rt::cast<lc::ViewConstraint>(first)->layoutConstraint()); // left out

    // Keys: the group's, then each member's.
    auto keyed = rt::cast<lc::CompositeConstraint>(sized);
    EXPECT_EQ(keyed->lcKey()->description(), "skip");
    EXPECT_EQ(member(sized, 0)->lcKey()->description(), "skip[0]");
    EXPECT_EQ(member(sized, 1)->lcKey()->description(), "skip[1]");
    EXPECT_EQ(member(sized, 1)->layoutConstraint()->key()->description(), "skip[1]");

    // Masks: nothing set gives an empty group; width and height is the size group.
    EXPECT_TRUE(rt::cast<lc::CompositeConstraint>(listed[4])->childConstraints().empty());
    EXPECT_EQ(member(second, 0)->firstViewAttribute()->layoutAttribute(), LayoutAttribute::Width);
    EXPECT_EQ(member(second, 1)->firstViewAttribute()->layoutAttribute(), LayoutAttribute::Height);

    // A group is returned, not listed: its members are.
    ASSERT_TRUE(rt::cast<lc::CompositeConstraint>(group));
    EXPECT_EQ(listed[6], rt::cast<lc::CompositeConstraint>(group)->childConstraints()[0]);
    EXPECT_EQ(listed[7], rt::cast<lc::CompositeConstraint>(group)->childConstraints()[1]);
    EXPECT_EQ(made, listed);
}

TEST(LCMaker, UpdateChangesTheInstalledConstraintInPlace) {
    Screen s;
    lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(100.0); });
    auto original = held(s.button, 0);
    lc::updateConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(200.0); });
    ASSERT_EQ(s.button->constraintList().size(), 1u);
    EXPECT_EQ(held(s.button, 0), original);
    EXPECT_EQ(original->constant(), 200);
    EXPECT_EQ(lc::installedConstraints(s.button)->count(), 1u); // the adopting one joins no set

    // A different multiplier or priority is a different constraint.
    lc::updateConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(1.0)->multipliedBy(2); });
    lc::updateConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(1.0)->priorityHigh(); });
    EXPECT_EQ(s.button->constraintList().size(), 3u);

    // Of two matches the newest changes; a platform constraint of another class never matches.
    lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(300.0); });
    s.button->addConstraint(ui::LayoutConstraint::make(s.button, LayoutAttribute::Width, LayoutRelation::Equal,
                                                       nullptr, LayoutAttribute::NotAnAttribute, 1, 5));
    lc::updateConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(400.0); });
    ASSERT_EQ(s.button->constraintList().size(), 5u);
    EXPECT_EQ(original->constant(), 200);
    EXPECT_EQ(held(s.button, 3)->constant(), 400);
    EXPECT_EQ(s.button->constraintList()[4]->constant(), 5);
}

TEST(LCMaker, RemakeUninstallsTheViewsSetFirst) {
    Screen s;
    auto made = lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) {
        make.edges()->equalTo(s.bar);
        make.width()->equalTo(10.0);
    });
    lc::makeConstraints(s.other, [&](lc::ConstraintMaker& make) { make.top()->equalTo(s.bar); });
    auto remade = lc::remakeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.height()->equalTo(20.0); });
    EXPECT_TRUE(s.bar->constraintList().empty());
    ASSERT_EQ(s.button->constraintList().size(), 1u);
    EXPECT_EQ(held(s.button, 0)->firstAttribute(), LayoutAttribute::Height);
    EXPECT_EQ(s.root->constraintList().size(), 1u); // another view's constraint stays
    EXPECT_EQ(lc::installedConstraints(s.button)->count(), 1u);
    EXPECT_FALSE(member(made[0], 0)->layoutConstraint());
    EXPECT_FALSE(member(made[0], 0)->installedView());
    ASSERT_EQ(remade.size(), 1u);
}

TEST(LCViewConstraintLifecycle, InstallOnceUninstallDeactivateActivate) {
    Screen s;
    auto c = lc::ViewConstraint::make(lc::centerX(s.button));
    c->uninstall(); // never installed: nothing
    EXPECT_FALSE(c->layoutConstraint());
    EXPECT_TRUE(c->isActive());
    EXPECT_FALSE(c->hasBeenInstalled());
    c->equalTo(s.other);
    c->install();
    auto platform = c->layoutConstraint();
    ASSERT_TRUE(platform);
    EXPECT_EQ(c->installedView(), s.root);
    EXPECT_EQ(rt::cast<lc::LayoutConstraint>(s.root->constraintList()[0]), platform);
    c->install();
    EXPECT_EQ(s.root->constraintList().size(), 1u);
    EXPECT_EQ(c->layoutConstraint(), platform);

    // A constant write moves the live one and marks its view.
    s.root->layoutIfNeeded();
    c->setLayoutConstant(6);
    EXPECT_EQ(platform->constant(), 6);
    EXPECT_TRUE(s.root->needsLayout());

    // Deactivate keeps the platform constraint; activate brings back the very same one.
    rt::Weak<lc::LayoutConstraint> weak = platform;
    platform = nullptr;
    c->deactivate();
    EXPECT_TRUE(s.root->constraintList().empty());
    EXPECT_FALSE(lc::installedConstraints(s.button)->containsObject(c));
    EXPECT_FALSE(c->isActive());
    ASSERT_TRUE(weak.lock());
    c->activate();
    EXPECT_EQ(c->layoutConstraint(), weak.lock());
    EXPECT_EQ(rt::cast<lc::LayoutConstraint>(s.root->constraintList()[0]), weak.lock());
    EXPECT_TRUE(lc::installedConstraints(s.button)->containsObject(c));
    EXPECT_EQ(lc::ViewConstraint::installedConstraintsForView(s.button)->count(), 1u);

    c->uninstall();
    EXPECT_TRUE(s.root->constraintList().empty());
    EXPECT_FALSE(weak.lock());
    EXPECT_EQ(lc::installedConstraints(s.button)->count(), 0u);
    c->activate(); // new: activate installs
    EXPECT_TRUE(c->hasBeenInstalled());
}

TEST(LCSoundBehaviours, WhatCannotBeInstalledStaysNewAndIsLogged) {
    Screen s;
    auto stranger = rt::make<ui::View>(), lonely = rt::make<ui::View>();
    std::vector<rt::Ref<lc::Constraint>> made;
    {
        ns::CapturedLog log;
        made = lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.top()->equalTo(stranger); });
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_TRUE(log.contains("no common ancestor"));
    }
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(rt::cast<lc::ViewConstraint>(made[0])->layoutConstraint());
    EXPECT_EQ(lc::installedConstraints(s.button)->count(), 0u);
    for (const auto& view : {s.root, s.bar, s.button, stranger})
        EXPECT_TRUE(view->constraintList().empty());

    ns::CapturedLog log;
    made = lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.width()->equalTo(s.bar)->dividedBy(0); });
    made.push_back(lc::makeConstraints(lonely, [&](lc::ConstraintMaker& make) { make.left(); })[0]);
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_TRUE(log.contains("not finite"));
    EXPECT_TRUE(log.contains("needs a second item"));
    for (const auto& c : made)
        EXPECT_FALSE(rt::cast<lc::ViewConstraint>(c)->layoutConstraint());
    EXPECT_TRUE(s.bar->constraintList().empty());
    EXPECT_EQ(lc::installedConstraints(lonely)->count(), 0u);
}

TEST(LCSoundBehaviours, GroupsOutlivedByTheirMembersAndArraysInsideThem) {
    Screen s;
    auto a = rt::make<ui::View>(), b = rt::make<ui::View>();
    s.root->addSubview(a);
    s.root->addSubview(b);
    rt::Ref<lc::Constraint> kept, related;
    auto made = lc::makeConstraints(s.other, [&](lc::ConstraintMaker& make) {
        rt::Weak<lc::Constraint> group;
        {
            auto made = make.group([&] {
                kept = make.width();
                related = make.top();
            });
            group = made;
            related = related->equalTo({a, b}); // replaced in the group and in the maker's list
        }
        EXPECT_FALSE(group.lock());
        EXPECT_EQ(kept->left(), kept); // the group is gone: the chain goes on with the member
        EXPECT_EQ(make.constraints().size(), 2u);
        EXPECT_EQ(make.constraints()[1], related);
        kept->equalTo(40.0);
        // Replacing something not in the list changes nothing.
        make.constraintShouldBeReplacedWithConstraint(lc::ViewConstraint::make(lc::top(a)), kept);
        EXPECT_EQ(make.constraints()[1], related);
    });
    ASSERT_EQ(made.size(), 2u);
    ASSERT_EQ(s.root->constraintList().size(), 2u);
    expectRecord(held(s.root, 0), s.other, LayoutAttribute::Top, a, LayoutAttribute::Top, 0);
    expectRecord(held(s.root, 1), s.other, LayoutAttribute::Top, b, LayoutAttribute::Top, 0);
    ASSERT_EQ(s.other->constraintList().size(), 1u);
    EXPECT_EQ(held(s.other, 0)->constant(), 40);
}

TEST(LCSoundBehaviours, ConstraintsOfARemovedViewLeaveItsAncestors) {
    Screen s;
    auto made = lc::makeConstraints(s.button, [&](lc::ConstraintMaker& make) { make.top()->equalTo(s.other); });
    auto c = rt::cast<lc::ViewConstraint>(made[0]);
    ASSERT_TRUE(c->hasBeenInstalled());
    s.bar->removeFromSuperview();
    EXPECT_TRUE(s.root->constraintList().empty());
    EXPECT_FALSE(c->layoutConstraint()); // its view let go of it: new again
    s.root->addSubview(s.bar);
    c->install();
    EXPECT_TRUE(c->hasBeenInstalled());
}

} // namespace
