// The values views, windows and tables carry: points, sizes and rectangles, edge insets, affine
// transforms and index paths; their rules, their text forms, and their boxing by encoding.

#include <gtest/gtest.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/string.h"
#include "platform/graphics/affine_transform.h"
#include "platform/graphics/edge_insets.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"

namespace {

using cg::Point;
using cg::Rect;
using cg::Size;

// ---------------------------------------------------------------------------------------------
// Rectangles

TEST(Rect, ReadersAndOperationsWorkOnTheStandardizedRectangle) {
    const Rect flipped = Rect::make(10, 20, -10, -20); // the rectangle (0, 0, 10, 20)
    EXPECT_EQ(flipped.minX(), 0);
    EXPECT_EQ(flipped.maxX(), 10);
    EXPECT_EQ(flipped.midX(), 5);
    EXPECT_EQ(flipped.minY(), 0);
    EXPECT_EQ(flipped.maxY(), 20);
    EXPECT_EQ(flipped.midY(), 10);
    EXPECT_EQ(flipped.width(), 10);
    EXPECT_EQ(flipped.height(), 20);
    EXPECT_EQ(flipped.standardized(), Rect::make(0, 0, 10, 20));
    EXPECT_NE(flipped, Rect::make(0, 0, 10, 20)); // equality is of the stored values
    EXPECT_TRUE(flipped.contains(Point{1, 1}));
    EXPECT_EQ(flipped.insetBy(1, 2), Rect::make(1, 2, 8, 16));
    EXPECT_EQ(flipped.unionWith(Rect::make(10, 20, 5, 5)), Rect::make(0, 0, 15, 25));
}

TEST(Rect, ContainmentIsHalfOpen) {
    const Rect r = Rect::make(0, 0, 10, 10);
    EXPECT_TRUE(r.contains(Point{0, 0}));
    EXPECT_FALSE(r.contains(Point{10, 5}));
    EXPECT_FALSE(r.contains(Point{5, 10}));
    EXPECT_FALSE(Rect::null().contains(Point{0, 0}));

    EXPECT_TRUE(r.contains(Rect::make(2, 2, 3, 3)));
    EXPECT_FALSE(r.contains(Rect::make(5, 5, 6, 1)));
    EXPECT_FALSE(r.contains(Rect::null()));
}

TEST(Rect, IntersectionOfOverlappingTouchingAndDistantRectangles) {
    const Rect a = Rect::make(0, 0, 10, 10);
    EXPECT_EQ(a.intersection(Rect::make(5, -5, 10, 10)), Rect::make(5, 0, 5, 5));
    EXPECT_TRUE(a.intersects(Rect::make(5, -5, 10, 10)));

    // Touching: an empty common edge, which is no intersection.
    const Rect edge = a.intersection(Rect::make(10, 0, 5, 10));
    EXPECT_FALSE(edge.isNull());
    EXPECT_TRUE(edge.isEmpty());
    EXPECT_EQ(edge, Rect::make(10, 0, 0, 10));
    EXPECT_FALSE(a.intersects(Rect::make(10, 0, 5, 10)));

    EXPECT_TRUE(a.intersection(Rect::make(11, 0, 5, 5)).isNull());
    EXPECT_TRUE(a.intersection(Rect::null()).isNull());
    EXPECT_FALSE(a.intersects(Rect::make(11, 0, 5, 5)));
}

TEST(Rect, UnionInsetOffsetAndIntegral) {
    const Rect a = Rect::make(0, 0, 10, 10);
    EXPECT_EQ(a.unionWith(Rect::make(20, 5, 5, 10)), Rect::make(0, 0, 25, 15));
    EXPECT_EQ(Rect::null().unionWith(a), a);
    EXPECT_EQ(a.unionWith(Rect::null()), a);
    EXPECT_EQ(a.unionWith(Rect::make(3, 3, 0, 0)), a); // an empty rectangle still counts

    EXPECT_EQ(a.insetBy(-15, -15), Rect::make(-15, -15, 40, 40));
    EXPECT_EQ(a.insetBy(5, 5), Rect::make(5, 5, 0, 0));
    EXPECT_TRUE(a.insetBy(5.5, 0).isNull());

    EXPECT_TRUE(Rect::null().offsetBy(1, 1).isNull());

    EXPECT_EQ(Rect::make(0.5, 0.25, 10, 10).integral(), Rect::make(0, 0, 11, 11));
    EXPECT_EQ(Rect::make(-0.5, 1, 2, 2).integral(), Rect::make(-1, 1, 3, 2));
    EXPECT_TRUE(Rect::null().integral().isNull());

    EXPECT_TRUE(Rect::null().isEmpty());
    EXPECT_TRUE(Rect::make(1, 1, 0, 5).isEmpty());
    EXPECT_FALSE(Rect::zero().isNull());
}

TEST(Geometry, TextFormsAndInsets) {
    EXPECT_EQ(cg::stringFromRect(Rect::make(0, 0, 375, 667)), "{{0, 0}, {375, 667}}");
    EXPECT_EQ(cg::stringFromRect(Rect::make(-0.0, 0.5, 1e-3, 2.25)), "{{0, 0.5}, {0.001, 2.25}}");
    EXPECT_EQ(cg::stringFromPoint(Point{-3, 1.5}), "{-3, 1.5}");
    EXPECT_EQ(ui::stringFromEdgeInsets({44, 0, 34, 0}), "{44, 0, 34, 0}");
    // Read back: what was written, and 0 from the first number that is missing or unreadable.
    const std::pair<const char*, ui::EdgeInsets> read[] = {{"{0, -1, 0, -1}", {0, -1, 0, -1}},
                                                           {"{1.5,2, +3 , 4e1}", {1.5, 2, 3, 40}},
                                                           {"{7, x, 9, 9}", {7, 0, 0, 0}},
                                                           {"7, 8", {0, 0, 0, 0}}};
    for (const auto& [text, insets] : read) EXPECT_EQ(ui::edgeInsetsFromString(text), insets) << text;

    EXPECT_EQ(ui::insetRect(Rect::make(0, 0, 414, 896), {44, 0, 34, 0}), Rect::make(0, 44, 414, 818));
    EXPECT_EQ(ui::insetRect(Rect::make(10, 10, 20, 20), {-1, -2, -3, -4}), Rect::make(8, 9, 26, 24));
}

// ---------------------------------------------------------------------------------------------
// Encodings and boxing

TEST(GeometryEncoding, ValuesRoundTripThroughNSValueAndUnboxOnlyAsTheirOwnType) {
    const Rect rect = Rect::make(1.5, -2, 375, 667.25);
    auto boxed = ns::Value::with(rect);
    EXPECT_EQ(boxed->objCType(), "{CGRect={CGPoint=dd}{CGSize=dd}}");
    EXPECT_EQ(cg::unboxed<Rect>(boxed), rect);
    EXPECT_TRUE(boxed->isEqual(ns::Value::with(Rect::make(1.5, -2, 375, 667.25)).get()));
    EXPECT_FALSE(boxed->isEqual(ns::Value::with(Rect::make(1.5, -2, 375, 667)).get()));

    cg::AffineTransform t{.a = 2, .d = 3, .tx = 4, .ty = -5};
    EXPECT_EQ(cg::unboxed<cg::AffineTransform>(ns::Value::with(t)), t);
    EXPECT_EQ(ns::Value::with(t)->objCType(), "{CGAffineTransform=dddddd}");
    EXPECT_FALSE(t.isIdentity());
    EXPECT_TRUE(cg::AffineTransform::identity().isIdentity());
    EXPECT_EQ(cg::unboxed<ui::EdgeInsets>(ns::Value::with(ui::EdgeInsets{44, 1, 34, 2})),
              (ui::EdgeInsets{44, 1, 34, 2}));

    // A point and a size share their length; the encoding tells them apart.
    auto point = ns::Value::with(Point{3, 4});
    EXPECT_EQ(point->objCType(), "{CGPoint=dd}");
    EXPECT_EQ(ns::Value::with(Size{3, 4})->objCType(), "{CGSize=dd}");
    EXPECT_EQ(cg::unboxed<Point>(point), (Point{3, 4}));
    EXPECT_EQ(cg::unboxed<Size>(point), std::nullopt);
    EXPECT_FALSE(point->isEqual(ns::Value::with(Size{3, 4}).get()));
    EXPECT_EQ(cg::unboxed<Point>(ns::num(3)), std::nullopt);
    EXPECT_EQ(cg::unboxed<Point>(rt::Id()), std::nullopt);
}

// A view-like object whose geometry is reached by key.
class Frame : public rt::Object {
    RT_CLASS(Frame)
public:
    Rect frame() const { return frame_; }
    void setFrame(Rect r) { frame_ = r; }
    ui::EdgeInsets insets() const { return insets_; }
    void setInsets(ui::EdgeInsets i) { insets_ = i; }
    cg::AffineTransform transform() const { return transform_; }
    void setTransform(cg::AffineTransform t) { transform_ = t; }

private:
    Rect frame_;
    ui::EdgeInsets insets_;
    cg::AffineTransform transform_;
};
RT_DEFINE_CLASS(Frame, "GeometryHolder", rt::Object, rt::prop("frame", &Frame::frame, &Frame::setFrame),
                rt::prop("insets", &Frame::insets, &Frame::setInsets),
                rt::prop("transform", &Frame::transform, &Frame::setTransform))

TEST(GeometryEncoding, PropertiesMoveThroughKeyValueCoding) {
    auto holder = rt::make<Frame>();
    holder->setValueForKey(ns::Value::with(Rect::make(0, 20, 320, 548)), "frame");
    holder->setValueForKey(ns::Value::with(ui::EdgeInsets{20, 0, 0, 0}), "insets");
    EXPECT_EQ(holder->frame(), Rect::make(0, 20, 320, 548));
    EXPECT_EQ(holder->insets(), (ui::EdgeInsets{20, 0, 0, 0}));

    auto frame = rt::cast<ns::Value>(holder->valueForKey("frame"));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->objCType(), "{CGRect={CGPoint=dd}{CGSize=dd}}");
    EXPECT_EQ(cg::unboxed<Rect>(frame), Rect::make(0, 20, 320, 548));
    EXPECT_EQ(cg::unboxed<cg::AffineTransform>(holder->valueForKey("transform")), cg::AffineTransform::identity());

    auto* property = Frame::staticClass().property("insets");
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(property->typeEncoding(), "{UIEdgeInsets=dddd}");
}

// ---------------------------------------------------------------------------------------------
// Index paths

TEST(IndexPath, EqualByRowAndSectionSoTheyKeyCollections) {
    using ns::IndexPath;
    auto a = IndexPath::indexPathForRowInSection(3, 1);
    auto same = IndexPath::indexPathForRowInSection(3, 1);
    auto swapped = IndexPath::indexPathForRowInSection(1, 3);
    EXPECT_EQ(a->row(), 3);
    EXPECT_EQ(a->section(), 1);
    EXPECT_NE(a.get(), same.get());
    EXPECT_TRUE(a->isEqual(same.get()));
    EXPECT_EQ(a->hash(), same->hash());
    EXPECT_FALSE(a->isEqual(swapped.get()));
    EXPECT_FALSE(a->isEqual(ns::num(3).get()));

    auto heights = ns::Dictionary::withPairs({{a, ns::num(44)}, {swapped, ns::num(88)}});
    EXPECT_TRUE(rt::equal(heights->objectForKey(same), ns::num(44)));

    // Section first, then row.
    EXPECT_EQ(a->compare(*swapped), -1);
    EXPECT_EQ(swapped->compare(*a), 1);
    EXPECT_EQ(a->compare(*IndexPath::indexPathForRowInSection(4, 1)), -1);
    EXPECT_EQ(a->compare(*same), 0);

    EXPECT_EQ(a->getClass().name(), "NSIndexPath");
    EXPECT_TRUE(a->description().ends_with("{length = 2, path = 1 - 3}"));
    EXPECT_TRUE(rt::equal(a->valueForKey("row"), ns::num(3)));
    EXPECT_TRUE(rt::equal(a->valueForKey("section"), ns::num(1)));
}

} // namespace
