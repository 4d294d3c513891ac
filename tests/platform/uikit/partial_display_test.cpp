// Layers' rounded corners, borders, dashed strokes and sublayer order; a view drawing part of
// itself again at the end of the main queue's turn; the old-style animations' delegate.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/color.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/virtual_time.h"

namespace {

using cg::Rect;

std::size_t arcsOf(const cg::Path& path) {
    std::size_t arcs = 0;
    for (const cg::PathElement& e : path.elements()) arcs += e.type == cg::PathElement::Type::Arc;
    return arcs;
}

// Remembers each drawRect: the rectangle, the clip and whether a context was current.
class PartlyDrawnView : public ui::View {
    RT_CLASS(PartlyDrawnView)
public:
    std::vector<Rect> asked;
    std::vector<Rect> clips;
    void drawRect(const Rect& rect) override {
        asked.push_back(rect);
        cg::Context* context = ui::graphicsGetCurrentContext();
        clips.push_back(context && !context->state().clips.empty() ? context->state().clips.back().path->boundingBox()
                                                                    : Rect::null());
        if (context) context->fillRect(rect);
    }

protected:
    explicit PartlyDrawnView(const Rect& frame) : View(frame) {}
};
RT_DEFINE_CLASS(PartlyDrawnView, "PartlyDrawnView", ui::View)

// Hears animationDidStop:finished:context:, as "<name> <finished> <context>".
class AnimationListener : public rt::Object {
    RT_CLASS(AnimationListener)
public:
    std::vector<std::string> heard;
    void animationDidStop(const rt::Ref<ns::String>& name, const rt::Ref<ns::Number>& finished, const rt::Id& context) {
        heard.push_back(name->utf8() + " " + std::to_string(finished->longValue()) + " " +
                        (context ? rt::cast<ns::String>(context)->utf8() : "nil"));
    }

protected:
    AnimationListener() = default;
};
RT_DEFINE_CLASS(AnimationListener, "AnimationListener", rt::Object,
                rt::method("animationDidStop:finished:context:", &AnimationListener::animationDidStop))

TEST(LayerLook, CornersAndBordersBoundTheBackgroundAndDashesStayWithTheirShape) {
    auto layer = ca::Layer::make();
    layer->setFrame(Rect::make(10, 10, 40, 20));
    layer->setBackgroundColor(cg::Color::make(0, 0, 1, 1));
    layer->setCornerRadius(50); // held to half the shorter side
    layer->setBorderWidth(2);
    auto shape = ca::ShapeLayer::make();
    shape->setPath(cg::Path::withRect(Rect::make(0, 0, 5, 5)));
    shape->setStrokeColor(cg::Color::white());
    shape->setLineJoin(cg::LineJoin::Round);
    shape->setLineDashPattern({2, 3});
    shape->setLineDashPhase(1);
    auto first = ca::Layer::make();
    layer->addSublayer(shape);
    layer->insertSublayerAtIndex(first, 0);
    layer->insertSublayerAtIndex(ca::Layer::make(), 99);
    ASSERT_EQ(layer->sublayers().size(), 3u);
    EXPECT_EQ(layer->sublayers()[0], first);
    EXPECT_EQ(layer->sublayers()[1], shape);
    cg::RecordingContext drawing;
    layer->renderInContext(drawing);
    const cg::DisplayList& list = drawing.displayList();
    ASSERT_EQ(list.size(), 4u); // background, shape's fill and stroke, border
    EXPECT_EQ(arcsOf(*list.commands()[0].path), 4u);
    EXPECT_EQ(list.commands()[0].path->boundingBox(), Rect::make(0, 0, 40, 20));
    const cg::DrawCommand& dashed = list.commands()[2];
    EXPECT_EQ(dashed.state.dash, (std::vector<double>{2, 3}));
    EXPECT_EQ(dashed.state.dashPhase, 1);
    EXPECT_EQ(dashed.state.lineJoin, cg::LineJoin::Round);
    const cg::DrawCommand& border = list.commands()[3];
    EXPECT_EQ(border.kind, cg::DrawCommand::Kind::Stroke);
    EXPECT_TRUE(border.state.dash.empty()) << "the shape's dash does not leak";
    EXPECT_EQ(border.path->boundingBox(), Rect::make(1, 1, 38, 18)) << "inside the outline";
    layer->setCornerRadius(-3);
    EXPECT_EQ(layer->cornerRadius(), 0);

    // A view draws its background by its layer's corners, and the border over its subviews.
    auto view = rt::make<ui::View>(Rect::make(0, 0, 30, 30));
    view->setBackgroundColor(ui::Color::redColor());
    view->layer()->setCornerRadius(5);
    view->layer()->setBorderWidth(1);
    auto child = rt::make<ui::View>(Rect::make(0, 0, 30, 30));
    child->setBackgroundColor(ui::Color::greenColor());
    view->addSubview(child);
    cg::RecordingContext viewDrawing;
    ui::renderView(*view, viewDrawing);
    const auto& commands = viewDrawing.displayList().commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(arcsOf(*commands[0].path), 4u);
    EXPECT_EQ(commands.back().kind, cg::DrawCommand::Kind::Stroke);
}

class PartialDisplay : public testkit::VirtualTimeTest {};

TEST_F(PartialDisplay, RectanglesMarkedInOneTurnAreDrawnTogetherAtItsEnd) {
    auto view = rt::make<PartlyDrawnView>(Rect::make(0, 0, 200, 200));
    view->setNeedsDisplayInRect(Rect::make(10, 10, 10, 10));
    view->setNeedsDisplayInRect(Rect::make(50, 40, 10, 10));
    view->setNeedsDisplayInRect(Rect::make(0, 0, 0, 5)); // empty: nothing
    EXPECT_EQ(view->dirtyRect(), Rect::make(10, 10, 50, 40));
    EXPECT_TRUE(view->asked.empty());
    runFor(0);
    ASSERT_EQ(view->asked.size(), 1u);
    EXPECT_EQ(view->asked[0], Rect::make(10, 10, 50, 40));
    EXPECT_EQ(view->clips[0], Rect::make(10, 10, 50, 40));
    EXPECT_EQ(view->lastDisplay()->fills().size(), 1u);
    EXPECT_TRUE(view->dirtyRect().isNull());
    // A pass run early leaves the queued one nothing; a view gone before the turn ends is not drawn.
    view->setNeedsDisplayInRect(Rect::make(0, 0, 5, 5));
    view->displayIfNeeded();
    runFor(0);
    EXPECT_EQ(view->displayPassCount(), 2u);
    view->setNeedsDisplayInRect(Rect::make(0, 0, 5, 5));
    view = nullptr;
    runFor(0);
}

TEST_F(PartialDisplay, OldStyleAnimationsTellTheirDelegateWhenTheyStop) {
    auto listener = rt::make<AnimationListener>();
    auto view = rt::make<ui::View>(Rect::make(0, 0, 10, 10));
    ui::View::beginAnimations(ns::String::make("move"), ns::String::make("ctx"));
    ui::View::setAnimationDuration(0.5);
    ui::View::setAnimationDelegate(listener);
    ui::View::beginAnimations(ns::String::make("inner"), nullptr); // nested: its own, 0.2 s
    ui::View::setAnimationDelegate(listener);
    ui::View::commitAnimations();
    view->setCenter({40, 40});
    ui::View::commitAnimations();
    ui::View::commitAnimations(); // nothing begun: nothing
    EXPECT_EQ(view->center(), (cg::Point{40, 40})) << "at once";
    EXPECT_EQ(ui::View::animationsInFlight(), 2u);
    runFor(0.2);
    EXPECT_EQ(listener->heard, (std::vector<std::string>{"inner 1 nil"}));
    runFor(0.29);
    EXPECT_EQ(listener->heard.size(), 1u);
    runFor(0.01);
    EXPECT_EQ(listener->heard, (std::vector<std::string>{"inner 1 nil", "move 1 ctx"}));
    EXPECT_EQ(ui::View::animationsInFlight(), 0u);
    // A delegate gone by then hears nothing, and nothing breaks.
    ui::View::beginAnimations(nullptr, nullptr);
    ui::View::setAnimationDelegate(rt::make<AnimationListener>());
    ui::View::commitAnimations();
    runFor(1);
    EXPECT_EQ(ui::View::animationsInFlight(), 0u);
}

} // namespace
