// Views: geometry, the tree, point conversion, hit testing, layout and animations on the clock.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/foundation/set.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"
#include "platform/uikit/long_press_gesture_recognizer.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"
#include "tests/testkit/main_loop.h"
#include "tests/platform/uikit/support.h"
#include "tests/testkit/virtual_time.h"

namespace {

using cg::Point;
using cg::Rect;

// A view that counts its layout passes and the tree's notifications.
class TracingView : public ui::View {
    RT_CLASS(TracingView)
public:
    std::vector<std::string> trace;

protected:
    TracingView() = default;
    explicit TracingView(const Rect& frame) : View(frame) {}
    void layoutSubviews() override { trace.push_back("layout"); }
    void didMoveToSuperview() override { trace.push_back(superview() ? "moved in" : "moved out"); }
    void didMoveToWindow() override { trace.push_back(window() ? "window" : "no window"); }
    void tintColorDidChange() override { trace.push_back("tint"); }
};

rt::Ref<ui::View> viewAt(double x, double y, double w, double h) {
    return rt::make<ui::View>(Rect::make(x, y, w, h));
}

} // namespace

RT_DEFINE_CLASS(TracingView, "UIKitTestTracingView", ui::View)

namespace {
// A gesture delegate that lets no gesture begin.
class Refusing : public rt::Object {
    RT_CLASS(Refusing)
public:
    bool shouldBegin(const rt::Ref<ui::GestureRecognizer>&) { return false; }

private:
    Refusing() = default;
};
} // namespace

RT_DEFINE_CLASS(Refusing, "UIKitTestRefusingGestureDelegate", rt::Object,
                rt::method("gestureRecognizerShouldBegin:", &Refusing::shouldBegin))

namespace {

TEST(UIView, FrameIsTheBoundsAroundTheCentre) {
    auto view = viewAt(10, 20, 100, 50);
    EXPECT_EQ(view->center(), (Point{60, 45}));
    EXPECT_EQ(view->bounds(), Rect::make(0, 0, 100, 50));

    view->setCenter({0, 0});
    EXPECT_EQ(view->frame(), Rect::make(-50, -25, 100, 50));
    view->setBounds(Rect::make(5, 5, 20, 10)); // a scroll offset and a new size, the centre kept
    EXPECT_EQ(view->frame(), Rect::make(-10, -5, 20, 10));

    // A negative size is standardized; a scale of two about the centre doubles the frame.
    view->setFrame(Rect::make(100, 100, -40, -20));
    EXPECT_EQ(view->frame(), Rect::make(60, 80, 40, 20));
    view->setTransform({2, 0, 0, 2, 0, 0});
    EXPECT_EQ(view->frame(), Rect::make(40, 70, 80, 40));
    EXPECT_EQ(view->bounds().size, (cg::Size{40, 20}));
}

TEST(UIView, KeysReachTheGeometryAndFlags) {
    auto view = viewAt(0, 0, 10, 10);
    ns::setValueForKey(view, ns::Value::with(Rect::make(1, 2, 3, 4)), "frame");
    EXPECT_EQ(view->frame(), Rect::make(1, 2, 3, 4));
    ns::setValueForKey(view, ns::Number::withBool(true), "hidden");
    ns::setValueForKey(view, ns::Number::withDouble(1.5), "alpha");
    ns::setValueForKey(view, ns::Number::withLong(7), "tag");
    ns::setValueForKey(view, ui::Color::redColor(), "backgroundColor");
    EXPECT_TRUE(view->isHidden());
    EXPECT_EQ(view->alpha(), 1); // held to 0...1
    EXPECT_EQ(view->tag(), 7);
    EXPECT_TRUE(rt::equal(ns::valueForKey(view, "backgroundColor"), ui::Color::colorWithRed(1, 0, 0, 1)));
}

TEST(UIView, TheTreeKeepsOrderAndRefusesCycles) {
    auto root = viewAt(0, 0, 100, 100), a = viewAt(0, 0, 10, 10), b = viewAt(0, 0, 10, 10), c = viewAt(0, 0, 1, 1);
    root->addSubview(a);
    root->addSubview(b);
    root->insertSubviewAtIndex(c, 0);
    EXPECT_EQ(root->subviewList(), (std::vector<rt::Ref<ui::View>>{c, a, b}));
    root->bringSubviewToFront(c);
    root->sendSubviewToBack(b);
    EXPECT_EQ(root->subviewList(), (std::vector<rt::Ref<ui::View>>{b, a, c}));

    // Moving a view takes it out of its old superview.
    a->addSubview(c);
    EXPECT_EQ(root->subviewList().size(), 2u);
    EXPECT_EQ(c->superview(), a);
    EXPECT_TRUE(c->isDescendantOfView(root.get()));

    c->addSubview(root); // would make a cycle
    EXPECT_FALSE(root->superview());
    EXPECT_TRUE(c->subviewList().empty());

    c->setTag(9);
    EXPECT_EQ(root->viewWithTag(9), c);
    c->removeFromSuperview();
    EXPECT_FALSE(c->superview());
    EXPECT_FALSE(root->viewWithTag(9));
    EXPECT_EQ(ns::valueForKey(root, "subviews")->description(), root->subviews()->description());
}

TEST(UIView, ASubviewOutlivingItsSuperviewHasNone) {
    auto child = viewAt(0, 0, 1, 1);
    {
        auto parent = viewAt(0, 0, 10, 10);
        parent->addSubview(child);
    }
    EXPECT_FALSE(child->superview());
}

TEST(UIView, TreeChangesAreAnnouncedToTheSubtree) {
    auto window = rt::make<ui::Window>(Rect::make(0, 0, 100, 100));
    auto container = viewAt(0, 0, 50, 50);
    auto leaf = rt::make<TracingView>(Rect::make(0, 0, 10, 10));
    container->addSubview(leaf);
    EXPECT_EQ(leaf->trace, (std::vector<std::string>{"moved in"}));
    window->addSubview(container);
    EXPECT_EQ(leaf->window(), window);
    container->removeFromSuperview();
    EXPECT_EQ(leaf->trace, (std::vector<std::string>{"moved in", "window", "no window"}));
}

// The tint is inherited down the tree until a view sets its own, and the views that take a change
// over are told; the root's is the system blue, dimmed it greys.
TEST(UIView, TintIsInheritedAndItsChangesAreToldToTheViewsThatTakeThemOver) {
    using Mode = ui::ViewTintAdjustmentMode;
    auto root = viewAt(0, 0, 100, 100);
    auto middle = rt::make<TracingView>(Rect::make(0, 0, 50, 50));
    auto leaf = rt::make<TracingView>(Rect::make(0, 0, 10, 10));
    middle->addSubview(leaf);
    root->addSubview(middle);
    EXPECT_EQ(leaf->trace, std::vector<std::string>{"moved in"}) << "a move that keeps the tint tells nothing";
    EXPECT_TRUE(rt::equal(leaf->tintColor().get(), ui::Color::systemBlueColor().get()));
    EXPECT_EQ(leaf->tintAdjustmentMode(), Mode::Normal);

    const auto red = ui::Color::redColor();
    struct Step {
        const char* what;
        std::function<void()> change;
        int middleTold, leafTold;
        rt::Ref<ui::Color> leafTint;
        Mode leafMode;
    };
    const Step steps[] = {
        {"root tint", [&] { root->setTintColor(red); }, 1, 1, red, Mode::Normal},
        {"the same again", [&] { root->setTintColor(ui::Color::colorWithRed(1, 0, 0, 1)); }, 0, 0, red, Mode::Normal},
        {"leaf sets its own", [&] { leaf->setTintColor(ui::Color::greenColor()); }, 0, 1, ui::Color::greenColor(), Mode::Normal},
        {"root blue: the leaf keeps its own", [&] { root->setTintColor(ui::Color::blueColor()); }, 1, 0, ui::Color::greenColor(), Mode::Normal},
        {"middle dimmed", [&] { middle->setTintAdjustmentMode(Mode::Dimmed); }, 1, 1, ui::Color::colorWithWhite(0.587, 1), Mode::Dimmed},
        {"leaf normal", [&] { leaf->setTintAdjustmentMode(Mode::Normal); }, 0, 1, ui::Color::greenColor(), Mode::Normal},
        {"leaf back to automatic", [&] { leaf->setTintAdjustmentMode(Mode::Automatic); }, 0, 1, ui::Color::colorWithWhite(0.587, 1), Mode::Dimmed},
        {"leaf moved to the root", [&] { root->addSubview(leaf); }, 0, 1, ui::Color::greenColor(), Mode::Normal},
        {"leaf's own taken off", [&] { leaf->setTintColor(nullptr); }, 0, 1, ui::Color::blueColor(), Mode::Normal},
        {"leaf taken out of the tree", [&] { leaf->removeFromSuperview(); }, 0, 1, ui::Color::systemBlueColor(), Mode::Normal},
    };
    for (const Step& step : steps) {
        const std::size_t middleBefore = middle->trace.size(), leafBefore = leaf->trace.size();
        step.change();
        const auto told = [](const TracingView& view, std::size_t from) {
            return int(std::count(view.trace.begin() + long(from), view.trace.end(), "tint"));
        };
        EXPECT_EQ(told(*middle, middleBefore), step.middleTold) << step.what;
        EXPECT_EQ(told(*leaf, leafBefore), step.leafTold) << step.what;
        EXPECT_TRUE(rt::equal(leaf->tintColor().get(), step.leafTint.get()))
            << step.what << ": " << leaf->tintColor()->description();
        EXPECT_EQ(leaf->tintAdjustmentMode(), step.leafMode) << step.what;
    }
    EXPECT_EQ(ns::valueForKey(leaf, "tintAdjustmentMode")->description(), "1");
}

TEST(UIView, PointsConvertByTheChainOfOrigins) {
    auto window = rt::make<ui::Window>(Rect::make(0, 0, 320, 480));
    auto panel = viewAt(10, 20, 200, 200);
    panel->setBounds(Rect::make(0, 5, 200, 200)); // scrolled down by 5
    auto button = viewAt(5, 5, 50, 50);
    auto other = viewAt(100, 100, 20, 20);
    window->addSubview(panel);
    panel->addSubview(button);
    window->addSubview(other);

    EXPECT_EQ(button->convertPointToView({1, 1}, nullptr), (Point{16, 21}));
    EXPECT_EQ(button->convertPointFromView({16, 21}, nullptr), (Point{1, 1}));
    EXPECT_EQ(button->convertPointToView({1, 1}, panel.get()), (Point{6, 6}));
    EXPECT_EQ(button->convertPointToView({1, 1}, other.get()), (Point{-84, -79}));
    EXPECT_EQ(other->convertPointToView({-84, -79}, button.get()), (Point{1, 1}));
    EXPECT_EQ(button->convertRectToView(Rect::make(0, 0, 50, 50), nullptr), Rect::make(15, 20, 50, 50));

    // A view in another tree converts through the screen, where each root's frame places it.
    auto floating = rt::make<ui::Window>(Rect::make(0, 300, 320, 100));
    auto label = viewAt(10, 10, 10, 10);
    floating->addSubview(label);
    EXPECT_EQ(label->convertPointToView({0, 0}, button.get()), (Point{-5, 290}));
}

TEST(UIView, HitTestingFindsTheFrontmostShownView) {
    auto root = viewAt(0, 0, 100, 100);
    auto back = viewAt(0, 0, 100, 100), front = viewAt(50, 50, 50, 50);
    auto overhang = viewAt(90, 0, 40, 20); // reaches beyond the root's right edge
    root->addSubview(back);
    root->addSubview(front);
    root->addSubview(overhang);

    EXPECT_EQ(root->hitTest({60, 60}, nullptr), front);
    EXPECT_EQ(root->hitTest({10, 10}, nullptr), back);
    EXPECT_EQ(root->hitTest({95, 5}, nullptr), overhang);
    EXPECT_FALSE(root->hitTest({110, 5}, nullptr)) << "outside the superview's bounds";

    front->setHidden(true);
    EXPECT_EQ(root->hitTest({60, 60}, nullptr), back);
    back->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({60, 60}, nullptr), root);
    root->setAlpha(0);
    EXPECT_FALSE(root->hitTest({60, 60}, nullptr));
}

TEST(UIView, LayoutRunsOnceForEachRequest) {
    auto parent = rt::make<TracingView>(Rect::make(0, 0, 100, 100));
    auto child = rt::make<TracingView>(Rect::make(0, 0, 10, 10));
    parent->layoutIfNeeded();
    EXPECT_EQ(parent->trace, (std::vector<std::string>{"layout"})); // a new view needs its first layout
    parent->layoutIfNeeded();
    EXPECT_EQ(parent->trace.size(), 1u);

    parent->addSubview(child); // a new subview asks its superview for layout
    parent->layoutIfNeeded();
    EXPECT_EQ(parent->trace, (std::vector<std::string>{"layout", "layout"}));
    EXPECT_EQ(child->trace, (std::vector<std::string>{"moved in", "layout"}));

    child->setFrame(Rect::make(5, 5, 10, 10)); // moved, not resized
    child->setNeedsLayout();
    child->setNeedsLayout();
    parent->layoutIfNeeded();
    EXPECT_EQ(child->trace.size(), 3u);
    EXPECT_EQ(parent->trace.size(), 2u);
}

// One finger down at `from`, moved to `to`, lifted: the phases a recogniser sees.
void drag(ui::GestureRecognizer& recognizer, const rt::Ref<ui::View>& view, cg::Point from, cg::Point to) {
    auto touch = ui::Touch::make(view, from, ui::TouchPhase::Began);
    auto event = ui::Event::withTouches({touch});
    recognizer.touchesBegan(event->allTouches(), event);
    if (from != to) {
        touch->moveTo(to, ui::TouchPhase::Moved);
        recognizer.touchesMoved(event->allTouches(), event);
    }
    touch->setPhase(ui::TouchPhase::Ended);
    recognizer.touchesEnded(event->allTouches(), event);
}

TEST(UITapGestureRecognizer, RecognisesATapAndNotAWanderingFinger) {
    auto view = viewAt(0, 0, 100, 100);
    auto log = rt::make<uikit_tests::ActionLog>();
    auto tap = ui::TapGestureRecognizer::withTargetAction(log, rt::Sel("changed:"));
    view->addGestureRecognizer(tap);
    EXPECT_EQ(tap->view(), view);
    drag(*tap, view, {50, 50}, {55, 52});
    EXPECT_EQ(log->calls.size(), 1u);
    drag(*tap, view, {50, 50}, {80, 50}); // moved too far
    EXPECT_EQ(log->calls.size(), 1u);
    EXPECT_EQ(tap->state(), ui::GestureRecognizerState::Possible) << "ready again once the touch is over";

    auto refusing = rt::make<Refusing>();
    tap->setDelegate(refusing);
    drag(*tap, view, {50, 50}, {50, 50});
    EXPECT_EQ(log->calls.size(), 1u) << "the delegate refused";
    tap->setDelegate(nullptr);

    view->removeGestureRecognizer(tap);
    EXPECT_FALSE(tap->view());
    tap->removeTargetAction(nullptr, rt::Sel());
    drag(*tap, view, {50, 50}, {50, 50});
    EXPECT_EQ(log->calls.size(), 1u) << "no target left";
}

class UIViewInTime : public testkit::VirtualTimeTest {};

struct Press {
    const char* what;
    double liftAt;   // seconds after the touch
    cg::Point moveTo; // before the lift, at 0.3 s
    std::vector<ui::GestureRecognizerState> heard;
};

TEST_F(UIViewInTime, ALongPressBeginsAfterHalfASecondWithinTenPoints) {
    using S = ui::GestureRecognizerState;
    const Press cases[] = {
        {"held", 0.7, {50, 50}, {S::Began, S::Ended}},
        {"held, moved within 10", 0.7, {58, 56}, {S::Began, S::Ended}},
        {"moved 11 points", 0.7, {61, 50}, {}},
        {"lifted at 0.4 s", 0.4, {50, 50}, {}},
    };
    for (const Press& c : cases) {
        SCOPED_TRACE(c.what);
        auto view = viewAt(0, 0, 100, 100);
        auto log = rt::make<uikit_tests::ActionLog>();
        auto press = ui::LongPressGestureRecognizer::withTargetAction(log, rt::Sel("changed:"));
        view->addGestureRecognizer(press);
        std::vector<S> heard;
        log->onCall = [&] { heard.push_back(press->state()); };
        const double start = elapsed();
        auto touch = ui::Touch::make(view, {50, 50}, ui::TouchPhase::Began);
        auto event = ui::Event::withTouches({touch});
        press->touchesBegan(event->allTouches(), event);
        runUntil(start + 0.3);
        if (c.moveTo != cg::Point{50, 50}) {
            touch->moveTo(c.moveTo, ui::TouchPhase::Moved);
            press->touchesMoved(event->allTouches(), event);
        }
        runUntil(start + c.liftAt);
        touch->setPhase(ui::TouchPhase::Ended);
        press->touchesEnded(event->allTouches(), event);
        runUntil(start + 1);
        EXPECT_EQ(heard, c.heard);
        EXPECT_EQ(press->state(), S::Possible);
    }
}

TEST_F(UIViewInTime, AViewInAWindowIsLaidOutOnTheNextTurn) {
    auto window = rt::make<ui::Window>(Rect::make(0, 0, 100, 100));
    auto view = rt::make<TracingView>(Rect::make(0, 0, 10, 10));
    window->addSubview(view);
    testkit::drainMainQueue();
    EXPECT_EQ(view->trace.back(), "layout");
    view->setBounds(Rect::make(0, 0, 20, 20)); // resizing asks for layout
    EXPECT_EQ(view->trace.back(), "layout");
    EXPECT_EQ(view->trace.size(), 3u);
    testkit::drainMainQueue();
    EXPECT_EQ(view->trace.size(), 4u);
}

TEST_F(UIViewInTime, AnimationsApplyAtOnceAndCompleteOnTheClock) {
    auto view = viewAt(0, 0, 10, 10);
    std::vector<std::string> done;
    ui::View::animateWithDuration(
        0.3, [&] { view->setAlpha(0); }, [&](bool finished) { done.push_back(finished ? "finished" : "cut"); });
    ui::View::animateWithDuration(0.5, 0.25, 0, [&] { view->setCenter({1, 1}); },
                                  [&](bool) { done.push_back("delayed"); });
    EXPECT_EQ(view->alpha(), 0);
    EXPECT_EQ(view->center(), (Point{1, 1}));
    runUntil(0.299);
    EXPECT_TRUE(done.empty());
    runUntil(0.3);
    EXPECT_EQ(done, (std::vector<std::string>{"finished"}));
    runUntil(0.749);
    EXPECT_EQ(done.size(), 1u);
    runUntil(0.75);
    EXPECT_EQ(done, (std::vector<std::string>{"finished", "delayed"}));
}

} // namespace
