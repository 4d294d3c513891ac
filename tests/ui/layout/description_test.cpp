// Debug descriptions: every platform constraint reads as an equation with debug keys, and the
// name tables are built once however many threads ask first.

#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/number.h"
#include "platform/uikit/view.h"
#include "tests/testkit/latch.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/description.h"
#include "ui/layout/layout_constraint.h"
#include "ui/layout/view_additions.h"

namespace {

using ui::LayoutAttribute;
using ui::LayoutRelation;

// The description with every address (0x and lower-case hex digits) replaced by "0x@".
std::string shape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "0x") == 0 && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += "0x@";
            for (i += 2; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) ||
                                             (text[i] >= 'a' && text[i] <= 'f'));
                 ++i) {
            }
        } else {
            out += text[i++];
        }
    }
    return out;
}

rt::Ref<lc::LayoutConstraint> record(const rt::Id& a, LayoutAttribute a1, const rt::Id& b, LayoutAttribute a2,
                                     double multiplier, double constant) {
    return ui::LayoutConstraint::make<lc::LayoutConstraint>(a, a1, LayoutRelation::Equal, b, a2, multiplier, constant);
}

TEST(ConstraintDescription, ReadsAsAnEquation) {
    auto a = rt::make<ui::View>(), b = rt::make<ui::View>();
    auto left = record(a, LayoutAttribute::Left, b, LayoutAttribute::Left, 1, 10);
    left->setPriority(250);
    EXPECT_EQ(shape(left->description()), "<LCLayoutConstraint:0x@ UIView:0x@.left == UIView:0x@.left + 10 ^low>");
    auto width = record(a, LayoutAttribute::Width, nullptr, LayoutAttribute::NotAnAttribute, 1, 100);
    EXPECT_EQ(shape(width->description()), "<LCLayoutConstraint:0x@ UIView:0x@.width == 100>");

    // Multipliers, constants and priorities.
    EXPECT_EQ(shape(record(a, LayoutAttribute::Width, b, LayoutAttribute::Width, 0.5, 0)->description()),
              "<LCLayoutConstraint:0x@ UIView:0x@.width == UIView:0x@.width * 0.5>");
    EXPECT_EQ(shape(record(a, LayoutAttribute::Bottom, b, LayoutAttribute::Bottom, 1, -80)->description()),
              "<LCLayoutConstraint:0x@ UIView:0x@.bottom == UIView:0x@.bottom - 80>");
    auto zero = record(a, LayoutAttribute::Height, nullptr, LayoutAttribute::NotAnAttribute, 1, 0);
    zero->setPriority(750);
    EXPECT_EQ(shape(zero->description()), "<LCLayoutConstraint:0x@ UIView:0x@.height == 0 ^high>");
    zero->setPriority(600);
    EXPECT_EQ(shape(zero->description()), "<LCLayoutConstraint:0x@ UIView:0x@.height == 0 ^600>");
    auto atLeast = ui::LayoutConstraint::make(a, LayoutAttribute::FirstBaseline, LayoutRelation::GreaterThanOrEqual, b,
                                              LayoutAttribute::Top, 1, 0);
    EXPECT_EQ(shape(atLeast->description()), "<NSLayoutConstraint:0x@ UIView:0x@.(null) >= UIView:0x@.top>");

    // The addresses are the objects'.
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(a.get()));
    EXPECT_EQ(lc::descriptionForObject(a)->utf8(), std::string("UIView:") + text);
    EXPECT_EQ(lc::descriptionForObject(nullptr)->utf8(), "(null)");
}

TEST(ConstraintDescription, KeysReplaceAddresses) {
    auto root = rt::make<ui::View>(), skip = rt::make<ui::View>();
    root->addSubview(skip);
    lc::setKey(skip, ns::str("skip"));
    auto made = lc::makeConstraints(skip, [](lc::ConstraintMaker& make) {
        make.size()->equalTo(cg::Size{100, 40})->key(ns::str("skip"));
    });
    ASSERT_EQ(skip->constraintList().size(), 2u);
    EXPECT_EQ(skip->constraintList()[0]->description(), "<LCLayoutConstraint:skip[0] UIView:skip.width == 100>");
    EXPECT_EQ(skip->constraintList()[1]->description(), "<LCLayoutConstraint:skip[1] UIView:skip.height == 40>");
    lc::setKey(skip, nullptr);
    EXPECT_EQ(shape(skip->constraintList()[0]->description()), "<LCLayoutConstraint:skip[0] UIView:0x@.width == 100>");
}

TEST(ConstraintDescription, TablesAreBuiltOnceAcrossThreads) {
    constexpr int kThreads = 8;
    testkit::Latch start(kThreads);
    std::vector<const rt::Object*> seen(3 * kThreads);
    std::vector<std::string> lines(kThreads);
    auto a = rt::make<ui::View>(), b = rt::make<ui::View>();
    auto constraint = record(a, LayoutAttribute::CenterX, b, LayoutAttribute::CenterX, 2, 3);
    constraint->setPriority(50);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.countDown();
            EXPECT_TRUE(start.wait());
            lines[i] = constraint->description();
            seen[3 * i] = lc::layoutRelationDescriptionsByValue().get();
            seen[3 * i + 1] = lc::layoutAttributeDescriptionsByValue().get();
            seen[3 * i + 2] = lc::layoutPriorityDescriptionsByValue().get();
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(shape(lines[i]), "<LCLayoutConstraint:0x@ UIView:0x@.centerX == UIView:0x@.centerX * 2 + 3 ^fitting size>");
        for (int t = 0; t < 3; ++t) EXPECT_EQ(seen[3 * i + t], seen[t]);
    }
    EXPECT_EQ(lc::layoutAttributeDescriptionsByValue()->count(), 19u);
    EXPECT_FALSE(lc::layoutAttributeDescriptionsByValue()->objectForKey(ns::Number::withLong(12)));
    EXPECT_EQ(lc::layoutRelationDescriptionsByValue()->objectForKey(ns::Number::withLong(-1))->description(), "<=");
}

} // namespace
