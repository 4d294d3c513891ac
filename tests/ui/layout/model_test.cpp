// The layout library's vocabulary: boxing and unboxing plain values, view attributes, the abstract
// constraint and the words of a chain.

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/exception.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "platform/uikit/view.h"
#include "ui/layout/constraint_maker.h"

namespace {

rt::Ref<ns::Number> number(const rt::Id& boxed) {
    auto n = rt::cast<ns::Number>(boxed);
    EXPECT_TRUE(n);
    return n;
}

TEST(LCBoxing, EncodingsGiveValuesAndNumbersOfTheirKind) {
    auto size = rt::cast<ns::Value>(lc::boxedValueForObjCType("{CGSize=dd}", cg::Size{100, 40}));
    ASSERT_TRUE(size);
    EXPECT_EQ(size->objCType(), "{CGSize=dd}");
    EXPECT_EQ(size->get<cg::Size>(), (cg::Size{100, 40}));
    EXPECT_EQ(rt::cast<ns::Value>(lc::boxed(cg::Point{1, 2}))->objCType(), "{CGPoint=dd}");
    EXPECT_EQ(rt::cast<ns::Value>(lc::boxed(ui::EdgeInsets{1, 2, 3, 4}))->objCType(), "{UIEdgeInsets=dddd}");

    auto d = number(lc::boxedValueForObjCType("d", 12.5));
    EXPECT_EQ(d->kind(), ns::Number::Kind::Double);
    EXPECT_EQ(d->doubleValue(), 12.5);
    auto f = number(lc::boxedValueForObjCType("f", 0.1));
    EXPECT_EQ(f->kind(), ns::Number::Kind::Float);
    EXPECT_EQ(f->doubleValue(), double(0.1f));
    EXPECT_NE(f->doubleValue(), 0.1);
    auto yes = number(lc::boxedValueForObjCType("B", 2));
    EXPECT_TRUE(yes->isBool());
    EXPECT_TRUE(yes->boolValue());
    EXPECT_EQ(number(lc::boxedValueForObjCType("c", 300))->longLongValue(), char(300 & 0xff));
    EXPECT_EQ(number(lc::boxedValueForObjCType("s", 70000))->longLongValue(), short(70000 - 65536));
    EXPECT_EQ(number(lc::boxedValueForObjCType("C", 257))->longLongValue(), 1);
    EXPECT_EQ(number(lc::boxedValueForObjCType("S", 65537))->longLongValue(), 1);
    EXPECT_EQ(number(lc::boxedValueForObjCType("q", -(1LL << 40)))->longLongValue(), -(1LL << 40));
    EXPECT_EQ(number(lc::boxedValueForObjCType("Q", ~0ULL))->unsignedLongLongValue(), ~0ULL);
    EXPECT_EQ(number(lc::boxedValueForObjCType("I", 4000000000U))->unsignedLongLongValue(), 4000000000U);
    EXPECT_EQ(number(lc::boxed(-7))->kind(), ns::Number::Kind::Int);

    auto object = ns::str("as it is");
    EXPECT_EQ(lc::boxedValueForObjCType("@", static_cast<rt::Object*>(object.get())), object);
    EXPECT_EQ(lc::boxed(object), object);
    EXPECT_FALSE(lc::boxedValueForObjCType("@", static_cast<rt::Object*>(nullptr)));
    EXPECT_FALSE(lc::boxedValueForObjCType("l", 5L));
    EXPECT_FALSE(lc::boxedValueForObjCType("{CGRect={CGPoint=dd}{CGSize=dd}}", cg::Rect{}));
    EXPECT_FALSE(lc::boxedValueForObjCType(nullptr));
    // A value of another type than the encoding's: a number converted, anything else refused.
    EXPECT_EQ(number(lc::boxedValueForObjCType("d", 3))->doubleValue(), 3);
    EXPECT_EQ(number(lc::boxedValueForObjCType("i", 1e300))->longLongValue(), std::numeric_limits<int>::max());
    EXPECT_FALSE(lc::boxedValueForObjCType("{CGSize=dd}", 2.0));
    EXPECT_FALSE(lc::boxedValueForObjCType("@", cg::Size{1, 2}));
    EXPECT_FALSE(lc::boxedValueForObjCType("d", object));
}

// Records what the unboxing hands on to a constraint.
class RecordingConstraint : public lc::Constraint {
    RT_CLASS(RecordingConstraint)
public:
    std::vector<std::string> calls;
    void setOffset(double offset) override { calls.push_back("offset " + std::to_string(offset)); }
    void setCenterOffset(cg::Point p) override {
        calls.push_back("center " + std::to_string(p.x) + " " + std::to_string(p.y));
    }
    void setSizeOffset(cg::Size s) override {
        calls.push_back("size " + std::to_string(s.width) + " " + std::to_string(s.height));
    }
    void setInsets(ui::EdgeInsets i) override {
        calls.push_back("insets " + std::to_string(i.top) + " " + std::to_string(i.right));
    }

private:
    RecordingConstraint() = default;
};
RT_DEFINE_CLASS(RecordingConstraint, "TestRecordingConstraint", lc::Constraint)

TEST(LCBoxing, ValuesReachTheOffsetOfTheirShape) {
    auto c = rt::make<RecordingConstraint>();
    c->setLayoutConstantWithValue(lc::boxedValueForObjCType("i", 3));
    c->setLayoutConstantWithValue(lc::boxedValueForObjCType("q", 4LL));
    c->setLayoutConstantWithValue(lc::boxedValueForObjCType("B", 1));
    c->setLayoutConstantWithValue(lc::boxed(cg::Point{5, 6}));
    c->setLayoutConstantWithValue(lc::boxedValueForObjCType("{CGSize=dd}", cg::Size{100, 40}));
    c->setLayoutConstantWithValue(lc::boxed(ui::EdgeInsets{7, 0, 0, 8}));
    c->setLayoutConstantWithValue(ns::Value::with(cg::Rect{{1, 2}, {3, 4}}));
    c->setLayoutConstantWithValue(ns::str("12"));
    c->setLayoutConstantWithValue(nullptr);
    c->valueOffset(lc::boxed(2.5));
    EXPECT_EQ(c->calls, (std::vector<std::string>{"offset 3.000000", "offset 4.000000", "offset 1.000000",
                                                  "center 5.000000 6.000000", "size 100.000000 40.000000",
                                                  "insets 7.000000 8.000000", "offset 2.500000"}));
}

TEST(LCViewAttribute, EqualByViewIdentityAndAttribute) {
    auto view = rt::make<ui::View>(), other = rt::make<ui::View>();
    auto guide = ns::str("guide");
    auto a = lc::ViewAttribute::make(view, ui::LayoutAttribute::Top);
    auto b = lc::ViewAttribute::make(view, guide, ui::LayoutAttribute::Top);
    EXPECT_EQ(b->item(), guide);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_EQ(a->hash(), std::size_t(std::rotl(std::uint64_t(view->hash()), 32) ^ 3u));
    EXPECT_FALSE(a->isEqual(lc::top(other).get()));
    EXPECT_FALSE(a->isEqual(lc::bottom(view).get()));
    EXPECT_FALSE(a->isEqual(view.get()));
    EXPECT_TRUE(lc::height(view)->isSizeAttribute());
    EXPECT_FALSE(lc::centerX(view)->isSizeAttribute());
    EXPECT_EQ(lc::attribute(view, ui::LayoutAttribute::TrailingMargin)->layoutAttribute(),
              ui::LayoutAttribute::TrailingMargin);
    EXPECT_EQ(lc::centerYWithinMargins(view)->layoutAttribute(), ui::LayoutAttribute::CenterYWithinMargins);

    // Held weakly.
    rt::Weak<ui::View> weak = other;
    auto attribute = lc::left(other);
    other = nullptr;
    EXPECT_FALSE(weak.lock());
    EXPECT_FALSE(attribute->view());
}

TEST(LCConstraint, EveryAbstractOperationRaises) {
    auto c = rt::make<lc::Constraint>();
    const std::vector<std::pair<std::string, std::function<void()>>> operations = {
        {"multipliedBy", [&] { c->multipliedBy(2); }},
        {"dividedBy", [&] { c->dividedBy(2); }},
        {"priority", [&] { c->priority(1); }},
        {"equalToWithRelation", [&] { c->equalToWithRelation(nullptr, ui::LayoutRelation::Equal); }},
        {"key", [&] { c->key(nullptr); }},
        {"setInsets:", [&] { c->setInsets({}); }},
        {"setSizeOffset:", [&] { c->setSizeOffset({}); }},
        {"setCenterOffset:", [&] { c->setCenterOffset({}); }},
        {"setOffset:", [&] { c->setOffset(1); }},
        {"activate", [&] { c->activate(); }},
        {"deactivate", [&] { c->deactivate(); }},
        {"install", [&] { c->install(); }},
        {"uninstall", [&] { c->uninstall(); }},
        {"addConstraintWithLayoutAttribute:", [&] { c->left(); }},
    };
    for (const auto& [selector, operation] : operations) {
        try {
            operation();
            ADD_FAILURE() << selector << " did not raise";
        } catch (const ns::Exception& e) {
            EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
            EXPECT_EQ(e.reason(), "You must override " + selector + " in a subclass.");
        }
    }
    // The chain words that reach them raise the same way.
    EXPECT_THROW(c->equalTo(1.0), ns::Exception);
    EXPECT_THROW(c->priorityHigh(), ns::Exception);
}

TEST(LCConstraint, ChainWords) {
    auto view = rt::make<ui::View>();
    auto c = lc::ViewConstraint::make(lc::width(view));
    EXPECT_EQ(c->with(), c);
    EXPECT_EQ(c->and_(), c);
    EXPECT_EQ(c->lc_offset(5), nullptr);
    EXPECT_EQ(c->layoutConstant(), 0);
    for (auto [word, expected] : {std::pair{&lc::Constraint::priorityLow, 250.0f},
                                  std::pair{&lc::Constraint::priorityMedium, 500.0f},
                                  std::pair{&lc::Constraint::priorityHigh, 750.0f}}) {
        EXPECT_EQ(((*c).*word)(), c);
        EXPECT_EQ(c->layoutPriority(), expected);
    }
    EXPECT_EQ(c->dividedBy(4)->multipliedBy(3)->dividedBy(4), c);
    EXPECT_EQ(c->layoutMultiplier(), 0.25);
    EXPECT_EQ(c->lc_equalTo(lc::boxed(7.0)), c);
    EXPECT_EQ(c->layoutConstant(), 7);
    EXPECT_TRUE(c->hasLayoutRelation());
    EXPECT_EQ(c->lc_lessThanOrEqualTo(view)->lc_greaterThanOrEqualTo(ns::str("ignored")), c);
    EXPECT_EQ(c->layoutRelation(), ui::LayoutRelation::GreaterThanOrEqual);
    ASSERT_TRUE(c->secondViewAttribute());
    EXPECT_EQ(c->secondViewAttribute()->view(), view);
    EXPECT_EQ(c->secondViewAttribute()->layoutAttribute(), ui::LayoutAttribute::Width);
    // The copy keeps the first attribute, constant, relation, priority, multiplier and delegate.
    c->key(ns::str("k"));
    auto copy = rt::downcast<lc::ViewConstraint>(c->copy());
    EXPECT_NE(copy, c);
    EXPECT_EQ(copy->firstViewAttribute(), c->firstViewAttribute());
    EXPECT_EQ(copy->layoutConstant(), 7);
    EXPECT_EQ(copy->layoutRelation(), ui::LayoutRelation::GreaterThanOrEqual);
    EXPECT_EQ(copy->layoutPriority(), 750);
    EXPECT_EQ(copy->layoutMultiplier(), 0.25);
    EXPECT_FALSE(copy->secondViewAttribute());
    EXPECT_FALSE(copy->lcKey());
    // A constraint on its own asks nobody for more: the chain goes on with it.
    EXPECT_EQ(c->left(), c);
}

TEST(LCClasses, RegisterTheirNamesAndTheDelegateProtocol) {
    for (const char* name : {"LCViewAttribute", "LCLayoutConstraint", "LCConstraint", "LCViewConstraint",
                             "LCCompositeConstraint", "LCConstraintMaker"})
        EXPECT_TRUE(rt::Class::named(name)) << name;
    const rt::Protocol* protocol = rt::Protocol::named("LCConstraintDelegate");
    ASSERT_TRUE(protocol);
    EXPECT_TRUE(lc::ConstraintMaker::staticClass().conformsTo(*protocol));
    EXPECT_TRUE(lc::CompositeConstraint::staticClass().conformsTo(*protocol));
    EXPECT_EQ(rt::Class::named("LCLayoutConstraint")->superclass(), &ui::LayoutConstraint::staticClass());

    auto view = rt::make<ui::View>();
    EXPECT_TRUE(view->respondsToSelector(rt::Sel("lc_key")));
    EXPECT_FALSE(lc::key(view));
    auto skip = ns::str("skip");
    lc::setKey(view, skip);
    EXPECT_EQ(lc::key(view), skip);
    EXPECT_EQ(rt::send(view, rt::Sel("lc_key")), lc::key(view));
}

} // namespace
