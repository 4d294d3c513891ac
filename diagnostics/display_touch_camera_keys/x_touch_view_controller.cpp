#include "diagnostics/display_touch_camera_keys/x_touch_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/set.h"
#include "platform/graphics/context.h"
#include "platform/graphics/layer.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/image.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/touch.h"
#include "session/screen_support.h"
#include "streams/signal.h"
#include "streams/uikit/control_signals.h"
#include "ui/layout/constraint_maker.h"

namespace ft {

namespace {

constexpr int kXCanvasColumns = 13;
constexpr double kXCanvasCornerRadius = 5;
constexpr double kXCanvasBorderWidth = 1;
// Moves nearer than this to the last ink point add no ink.
constexpr double kXCanvasInkStep = 5;
// How far beyond a segment's box it is drawn again.
constexpr double kXCanvasDirtyMargin = 10;
constexpr double kXCanvasInkWidth = 2;
constexpr double kXCanvasSkipAboveBottom = 80;
constexpr double kXCanvasSingleSide = 20;

cg::Point xCanvasMidpoint(cg::Point a, cg::Point b) {
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

// The one touch of the set that counts, or nil.
rt::Ref<ui::Touch> xCanvasTouch(const rt::Ref<ns::Set>& touches) {
    return touches ? rt::cast<ui::Touch>(touches->anyObject()) : nullptr;
}

} // namespace

// ---- XItem ------------------------------------------------------------------------------------

RT_DEFINE_CLASS(XItem, "XItem", ui::Button, rt::prop("isTouched", &XItem::isTouched, &XItem::setIsTouched))

XItem::XItem() {
    setUserInteractionEnabled(false);
}

XItem::XItem(const cg::Rect& frame, ui::ButtonType type) : ui::Button(frame, type) {
    setUserInteractionEnabled(false);
}

XItem::~XItem() = default;

rt::Ref<XItem> XItem::buttonWithType(ui::ButtonType type) {
    return rt::make<XItem>(cg::Rect::zero(), type);
}

void XItem::setIsTouched(bool touched) {
    rt::KeyChange change(this, "isTouched");
    touched_ = touched;
}

// ---- XMaskView --------------------------------------------------------------------------------

RT_DEFINE_CLASS(XMaskView, "XMaskView", ui::View)

XMaskView::XMaskView(const cg::Rect& frame) : ui::View(frame) {}

rt::Ref<XMaskView> XMaskView::maskViewWithFrame(const cg::Rect& frame, DrawBlock block) {
    auto view = rt::make<XMaskView>(frame);
    view->setBackgroundColor(ui::Color::clearColor());
    view->setUserInteractionEnabled(false);
    view->setDrawBlock(std::move(block));
    return view;
}

void XMaskView::drawRect(const cg::Rect&) {
    rt::callStoredBlock(drawBlock_, rt::retained(this), ui::graphicsGetCurrentContext());
}

// ---- XCanvas ----------------------------------------------------------------------------------

RT_DEFINE_CLASS(XCanvas, "XCanvas", ui::View, rt::prop("hasNotify", &XCanvas::hasNotify),
                rt::method("checkResultWithCGPoint:", &XCanvas::checkResultWithCGPoint),
                rt::method("createBorderItem", &XCanvas::createBorderItem),
                rt::method("createNWtoESItems", &XCanvas::createNWtoESItems))

XCanvas::XCanvas(const cg::Rect& frame) : ui::View(frame), path_(cg::MutablePath::make()) {
    createBorderItem();
    addSubview(maskView());
}

rt::Ref<XCanvas> XCanvas::touchView(const cg::Rect& frame, OnAllTouch onAllTouch) {
    auto canvas = rt::make<XCanvas>(frame);
    canvas->setOnTouchView(std::move(onAllTouch));
    return canvas;
}

const rt::Ref<XMaskView>& XCanvas::maskView() {
    if (!maskView_)
        maskView_ = XMaskView::maskViewWithFrame(
            bounds(), [weak = rt::Weak<XCanvas>(rt::retained(this))](const rt::Ref<XMaskView>&, cg::Context* context) {
                auto self = weak.lock();
                if (!self || !context) return;
                context->setLineWidth(kXCanvasInkWidth);
                context->setStrokeColor(cg::Color::black());
                context->setLineCap(cg::LineCap::Round);
                context->addPath(*self->path_);
                context->strokePath();
            });
    return maskView_;
}

void XCanvas::layoutSubviews() {
    ui::View::layoutSubviews();
    maskView()->setBounds(bounds());
}

rt::Ref<XItem> XCanvas::buildItemWithCGRect(const cg::Rect& rect) const {
    auto item = XItem::buttonWithType(ui::ButtonType::Custom);
    item->setBackgroundColor(touchTargetColor());
    item->layer()->setCornerRadius(kXCanvasCornerRadius);
    item->layer()->setBorderWidth(kXCanvasBorderWidth);
    item->layer()->setBorderColor(ui::Color::blackColor()->cgColor());
    item->setFrame(rect);
    return item;
}

void XCanvas::createBorderItem() {
    const double side = bounds().width() / kXCanvasColumns;
    const cg::Rect screen = ui::Screen::mainScreen()->bounds();
    const long rows = side > 0 ? long(screen.height() / side) : 0;
    if (rows < 3) return;
    const double step = screen.width() / double(rows);
    const auto add = [this, side](double x, double y) { addSubview(buildItemWithCGRect(cg::Rect::make(x, y, side, side))); };
    double x = 0;
    for (int k = 0; k < kXCanvasColumns; ++k, x += side) add(x, 0);
    for (long k = 1; k <= rows - 2; ++k) add(x - side, double(k) * side);
    for (int k = 0; k < kXCanvasColumns; ++k) add(k * side, double(rows - 1) * side);
    for (long k = 1; k <= rows - 2; ++k) add(0, double(k) * side);
    for (long k = 1; k <= rows - 3; ++k) add(double(k) * step, double(k) * side);
    for (long k = 1; k <= rows - 3; ++k) add(screen.width() - side - double(k) * step, double(k) * side);
}

void XCanvas::createNWtoESItems() {
    const cg::Rect screen = ui::Screen::mainScreen()->bounds();
    const long count = long(screen.height() / kXCanvasSingleSide);
    if (count < 1) return;
    const double step = screen.width() / double(count);
    for (long i = 1; i <= count - 2; ++i)
        addSubview(buildItemWithCGRect(cg::Rect::make(double(i - 1) * step, double(i) * kXCanvasSingleSide,
                                                      kXCanvasSingleSide, kXCanvasSingleSide)));
}

void XCanvas::checkResultWithCGPoint(cg::Point point) {
    for (const rt::Ref<ui::View>& subview : subviewList())
        if (auto button = rt::cast<ui::Button>(subview.get()); button && button->frame().contains(point)) {
            button->setBackgroundColor(ui::Color::greenColor());
            if (auto item = rt::cast<XItem>(button)) item->setIsTouched(true);
        }
}

bool XCanvas::allTouched() const {
    for (const rt::Ref<ui::View>& subview : subviewList())
        if (auto button = rt::cast<ui::Button>(subview.get())) {
            auto item = rt::cast<XItem>(button);
            if (!item || !item->isTouched()) return false;
        }
    return true;
}

void XCanvas::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::View::touchesBegan(touches, event);
    auto touch = xCanvasTouch(touches);
    if (!touch) return;
    const cg::Point location = touch->locationInView(this);
    previousPoint_ = previousPreviousPoint_ = touch->previousLocationInView(this);
    currentPoint_ = location;
    checkResultWithCGPoint(location);
}

void XCanvas::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::View::touchesMoved(touches, event);
    auto touch = xCanvasTouch(touches);
    if (!touch) return;
    const cg::Point location = touch->locationInView(this);
    checkResultWithCGPoint(location);
    const double dx = location.x - currentPoint_.x, dy = location.y - currentPoint_.y;
    if (dx * dx + dy * dy < kXCanvasInkStep * kXCanvasInkStep) return;
    previousPreviousPoint_ = previousPoint_;
    previousPoint_ = touch->previousLocationInView(this);
    currentPoint_ = location;
    auto segment = cg::MutablePath::make();
    segment->moveTo(xCanvasMidpoint(previousPoint_, previousPreviousPoint_));
    segment->addQuadCurveTo(previousPoint_, xCanvasMidpoint(currentPoint_, previousPoint_));
    const cg::Rect dirty = segment->boundingBox().insetBy(-kXCanvasDirtyMargin, -kXCanvasDirtyMargin);
    path_->addPath(*segment);
    maskView()->setNeedsDisplayInRect(dirty);
}

void XCanvas::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::View::touchesEnded(touches, event);
    auto touch = xCanvasTouch(touches);
    if (!touch) return;
    checkResultWithCGPoint(touch->locationInView(this));
    if (hasNotify_ || !onTouchView_ || !allTouched()) return;
    const OnAllTouch block = onTouchView_;
    block(rt::retained(this));
    hasNotify_ = true;
}

// ---- XTouchViewController ---------------------------------------------------------------------

RT_DEFINE_CLASS(XTouchViewController, "XTouchViewController", BaseModelViewController)

XTouchViewController::XTouchViewController() = default;

void XTouchViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<XTouchViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        if (auto self = weak.lock()) setBarsHidden(*self, shown);
    });
    const rt::Ref<ui::View> root = view();
    root->addSubview(XCanvas::touchView(root->bounds(), [weak](const rt::Ref<XCanvas>&) {
        if (auto self = weak.lock()) recordVerdict(*self, true, "every cell touched");
    }));
    auto skip = ui::Button::buttonWithType(ui::ButtonType::System);
    skip->setTitleForState(localized("BASETEST_CONTROLLER_ACTIONSHEET_SKIP"), ui::ControlStates::Normal);
    root->addSubview(skip);
    lc::makeConstraints(skip, [&root](lc::ConstraintMaker& make) {
        make.centerX()->equalTo(root);
        make.bottom()->equalTo(root)->offset(-kXCanvasSkipAboveBottom);
    });
    es::signalForControlEvents(skip.get(), ui::ControlEvent::TouchUpInside)
        ->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) recordVerdict(*self, false, "skipped");
        });
}

void XTouchViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    if (auto application = ui::Application::sharedApplication()) application->setStatusBarHidden(false);
}

} // namespace ft
