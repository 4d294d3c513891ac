#include "platform/uikit/view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_engine.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"

namespace ui {

namespace {

std::string number(double v) {
    return cg::detail::shortestNumber(v);
}

} // namespace

bool View::layoutWriting_ = false;

View::View() = default;

View::View(const cg::Rect& frame) {
    setFrame(frame);
}

View::~View() {
    // The subviews outlive their superview only when held elsewhere; they have none from now.
    for (const auto& view : subviews_)
        view->superview_ = nullptr;
    for (const auto& recognizer : recognizers_)
        recognizer->setView(nullptr);
    for (const auto& constraint : constraints_)
        constraint->setHolder(nullptr);
}

// ---- Geometry ----------------------------------------------------------------------------------

cg::Rect View::frame() const {
    const cg::Size size = bounds_.size;
    if (transform_.isIdentity())
        return cg::Rect::make(center_.x - size.width / 2, center_.y - size.height / 2, size.width, size.height);
    // The transformed bounds, about the centre.
    const cg::Rect about = cg::Rect::make(-size.width / 2, -size.height / 2, size.width, size.height);
    return transform_.apply(about).offsetBy(center_.x, center_.y);
}

void View::setFrame(const cg::Rect& frame) {
    rt::KeyChange change(this, "frame");
    const cg::Rect r = frame.standardized();
    const cg::Rect before = bounds_;
    const bool resized = r.size != bounds_.size;
    center_ = {r.midX(), r.midY()};
    bounds_.size = r.size;
    noteGeometrySetByCode();
    if (resized) resizeSubviews(before.size);
    if (resized) boundsDidChange(before);
}

void View::setBounds(const cg::Rect& bounds) {
    rt::KeyChange change(this, "bounds");
    const cg::Rect before = bounds_;
    const bool resized = bounds.size != bounds_.size;
    bounds_ = bounds;
    if (resized) noteGeometrySetByCode();
    if (resized) resizeSubviews(before.size);
    if (bounds_ != before) boundsDidChange(before);
}

namespace {

// One axis of an autoresizing: the change shared by the flexible parts in proportion to their
// lengths (equally when they are all 0). Answers the new origin and length.
std::pair<double, double> viewAutoresizeAxis(double origin, double length, double outer, double change, bool low,
                                             bool flexibleLength, bool high) {
    const double lowPart = origin, highPart = outer - origin - length;
    double total = (low ? lowPart : 0) + (flexibleLength ? length : 0) + (high ? highPart : 0);
    const int parts = (low ? 1 : 0) + (flexibleLength ? 1 : 0) + (high ? 1 : 0);
    if (parts == 0) return {origin, length};
    auto share = [&](bool flexible, double part) {
        if (!flexible) return 0.0;
        return total > 0 ? change * part / total : change / parts;
    };
    return {origin + share(low, lowPart), length + share(flexibleLength, length)};
}

} // namespace

// The subviews follow the new size by their autoresizing masks.
void View::resizeSubviews(cg::Size before) {
    setNeedsLayout();
    const cg::Size after = bounds_.size;
    for (const rt::Ref<View>& sub : subviews_) {
        const unsigned long mask = sub->autoresizingMask_;
        if (mask == ViewAutoresizing::None) continue;
        const cg::Rect f = sub->frame();
        namespace m = ViewAutoresizing;
        const auto [x, w] = viewAutoresizeAxis(f.origin.x, f.size.width, before.width, after.width - before.width,
                                               mask & m::FlexibleLeftMargin, mask & m::FlexibleWidth,
                                               mask & m::FlexibleRightMargin);
        const auto [y, h] = viewAutoresizeAxis(f.origin.y, f.size.height, before.height, after.height - before.height,
                                               mask & m::FlexibleTopMargin, mask & m::FlexibleHeight,
                                               mask & m::FlexibleBottomMargin);
        sub->setFrame(cg::Rect::make(x, y, w, h));
    }
}

void View::setCenter(cg::Point center) {
    rt::KeyChange change(this, "center");
    center_ = center;
    noteGeometrySetByCode();
}

void View::noteGeometrySetByCode() {
    if (layoutWriting_ || translatesMask_) return;
    geometrySetByCode_ = true;
    setNeedsLayout();
}

void View::setTransform(const cg::AffineTransform& transform) {
    rt::KeyChange change(this, "transform");
    transform_ = transform;
}

// ---- Appearance and flags ----------------------------------------------------------------------

void View::setHidden(bool hidden) {
    rt::KeyChange change(this, "hidden");
    hidden_ = hidden;
}

void View::setAlpha(double alpha) {
    rt::KeyChange change(this, "alpha");
    alpha_ = alpha != alpha ? 0 : std::clamp(alpha, 0.0, 1.0);
}

void View::setBackgroundColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "backgroundColor");
    backgroundColor_ = std::move(color);
}

void View::setTag(long tag) {
    rt::KeyChange change(this, "tag");
    tag_ = tag;
}

void View::setUserInteractionEnabled(bool enabled) {
    rt::KeyChange change(this, "userInteractionEnabled");
    userInteractionEnabled_ = enabled;
}

void View::setExclusiveTouch(bool exclusive) {
    rt::KeyChange change(this, "exclusiveTouch");
    exclusiveTouch_ = exclusive;
}

void View::setClipsToBounds(bool clips) {
    rt::KeyChange change(this, "clipsToBounds");
    clipsToBounds_ = clips;
}

void View::setOpaque(bool opaque) {
    rt::KeyChange change(this, "opaque");
    opaque_ = opaque;
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    rt::KeyChange change(this, "translatesAutoresizingMaskIntoConstraints");
    if (translatesMask_ == translates) return;
    translatesMask_ = translates;
    setNeedsLayout();
}

bool View::isHiddenOrHasHiddenAncestor() const {
    for (rt::Ref<View> v = rt::retained(this); v; v = v->superview())
        if (v->hidden_) return true;
    return false;
}

// ---- The tree ----------------------------------------------------------------------------------

rt::Ref<ns::Array> View::subviews() const {
    return ns::Array::make(std::vector<rt::Id>(subviews_.begin(), subviews_.end()));
}

rt::Ref<Window> View::window() const {
    rt::Ref<View> root = rt::retained(this);
    while (rt::Ref<View> up = root->superview())
        root = std::move(up);
    return rt::cast<Window>(root);
}

void View::addSubview(const rt::Ref<View>& view) {
    attach(view, subviews_.size());
}

void View::insertSubviewAtIndex(const rt::Ref<View>& view, std::size_t index) {
    attach(view, index);
}

void View::insertSubviewAboveSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling) {
    auto at = std::find(subviews_.begin(), subviews_.end(), sibling);
    attach(view, at == subviews_.end() ? subviews_.size() : std::size_t(at - subviews_.begin()) + 1);
}

void View::insertSubviewBelowSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling) {
    auto at = std::find(subviews_.begin(), subviews_.end(), sibling);
    attach(view, at == subviews_.end() ? 0 : std::size_t(at - subviews_.begin()));
}

void View::bringSubviewToFront(const rt::Ref<View>& view) {
    auto at = std::find(subviews_.begin(), subviews_.end(), view);
    if (at != subviews_.end()) std::rotate(at, at + 1, subviews_.end());
}

void View::sendSubviewToBack(const rt::Ref<View>& view) {
    auto at = std::find(subviews_.begin(), subviews_.end(), view);
    if (at != subviews_.end()) std::rotate(subviews_.begin(), at, at + 1);
}

void View::attach(const rt::Ref<View>& view, std::size_t index) {
    if (!view) return;
    if (isDescendantOfView(view.get())) {
        ns::log("-[%@ addSubview:]: cannot add a view to itself or to one of its subviews", rt::Id(view));
        return;
    }
    rt::Ref<View> keep = view; // detaching may drop the last other reference
    if (keep->superview_.unsafeGet() == this && keep->superview()) {
        // Only its place changes.
        subviews_.erase(std::find(subviews_.begin(), subviews_.end(), keep));
        subviews_.insert(subviews_.begin() + std::min(index, subviews_.size()), keep);
        return;
    }
    const rt::Ref<Window> from = keep->window(), to = window();
    if (from && from != to) keep->resignFirstResponderLeavingWindow();
    const rt::Ref<Color> formerTint = keep->undimmedTint();
    const ViewTintAdjustmentMode formerMode = keep->tintAdjustmentMode();
    keep->willMoveToSuperview(rt::retained(this));
    if (from != to) keep->announceWindowChange(from, to, false);
    if (rt::Ref<View> previous = keep->superview()) previous->willRemoveSubview(keep);
    keep->detachFromSuperview();
    subviews_.insert(subviews_.begin() + std::min(index, subviews_.size()), keep);
    keep->superview_ = rt::Weak<View>(this);
    keep->engine_.reset(); // no longer a root: the root's engine lays it out
    keep->didMoveToSuperview();
    if (from != to) keep->announceWindowChange(from, to, true);
    didAddSubview(keep);
    keep->tellTintChangeFrom(formerTint, formerMode);
    setNeedsLayout();
    if (keep->needsLayout_) keep->scheduleLayoutPass();
}

void View::removeFromSuperview() {
    rt::Ref<View> parent = superview();
    if (!parent) return;
    rt::Ref<View> keep = rt::retained(this);
    const rt::Ref<Window> from = window();
    if (from) {
        resignFirstResponderLeavingWindow();
        if (superview() != parent) return; // the end of the editing took it away already
    }
    const rt::Ref<Color> formerTint = undimmedTint();
    const ViewTintAdjustmentMode formerMode = tintAdjustmentMode();
    parent->willRemoveSubview(keep);
    willMoveToSuperview(nullptr);
    if (from) announceWindowChange(from, nullptr, false);
    detachFromSuperview();
    didMoveToSuperview();
    if (from) announceWindowChange(from, nullptr, true);
    tellTintChangeFrom(formerTint, formerMode);
    parent->setNeedsLayout();
}

void View::detachFromSuperview() {
    rt::Ref<View> parent = superview();
    if (!parent) return;
    auto& list = parent->subviews_;
    auto at = std::find(list.begin(), list.end(), rt::Ref<View>(rt::retained(this)));
    superview_ = nullptr;
    if (at != list.end()) list.erase(at);
    dropConstraintsFromAncestors(parent);
}

// Tells this view and its subtree that their window changes: before (willMoveToWindow) or after.
void View::announceWindowChange(const rt::Ref<Window>& from, const rt::Ref<Window>& to, bool after) {
    (void)from;
    if (after) didMoveToWindow();
    else willMoveToWindow(to);
    const std::vector<rt::Ref<View>> children = subviews_;
    for (const auto& child : children)
        child->announceWindowChange(from, to, after);
}

bool View::isDescendantOfView(const View* view) const {
    if (!view) return false;
    for (rt::Ref<View> v = rt::retained(this); v; v = v->superview())
        if (v.get() == view) return true;
    return false;
}

rt::Ref<View> View::viewWithTag(long tag) const {
    if (tag_ == tag) return rt::retained(this);
    for (const auto& child : subviews_)
        if (auto found = child->viewWithTag(tag)) return found;
    return nullptr;
}

rt::Ref<Responder> View::nextResponder() const {
    if (auto owner = owner_.lock()) return owner;
    return superview();
}

// ---- Conversion and hit testing ----------------------------------------------------------------

cg::Point View::toSuperview(cg::Point p) const {
    return {p.x - bounds_.origin.x + center_.x - bounds_.size.width / 2,
            p.y - bounds_.origin.y + center_.y - bounds_.size.height / 2};
}

cg::Point View::fromSuperview(cg::Point p) const {
    return {p.x + bounds_.origin.x - center_.x + bounds_.size.width / 2,
            p.y + bounds_.origin.y - center_.y + bounds_.size.height / 2};
}

namespace {
// The view and its ancestors, up to the root.
std::vector<const View*> pathToRoot(const View* view) {
    std::vector<const View*> path;
    for (rt::Ref<View> v = rt::retained(view); v; v = v->superview())
        path.push_back(v.get());
    return path;
}
} // namespace

cg::Point View::convertPointToView(cg::Point point, const View* view) const {
    const std::vector<const View*> up = pathToRoot(this);
    if (!view) {
        // Into the root's coordinates: every level but the root.
        for (std::size_t i = 0; i + 1 < up.size(); ++i)
            point = up[i]->toSuperview(point);
        return point;
    }
    const std::vector<const View*> down = pathToRoot(view);
    if (up.back() != down.back()) {
        // Another tree: through the screen, where each root's frame places it.
        for (const View* v : up)
            point = v->toSuperview(point);
        for (auto it = down.rbegin(); it != down.rend(); ++it)
            point = (*it)->fromSuperview(point);
        return point;
    }
    // Up to the nearest common ancestor, then down to `view`.
    std::size_t i = 0;
    for (; std::find(down.begin(), down.end(), up[i]) == down.end(); ++i)
        point = up[i]->toSuperview(point);
    auto common = std::find(down.begin(), down.end(), up[i]);
    for (auto it = std::make_reverse_iterator(common); it != down.rend(); ++it)
        point = (*it)->fromSuperview(point);
    return point;
}

cg::Point View::convertPointFromView(cg::Point point, const View* view) const {
    if (view) return view->convertPointToView(point, this);
    // From the root's coordinates: every level below the root.
    const std::vector<const View*> path = pathToRoot(this);
    for (std::size_t i = path.size() - 1; i-- > 0;)
        point = path[i]->fromSuperview(point);
    return point;
}

cg::Rect View::convertRectToView(const cg::Rect& rect, const View* view) const {
    const cg::Rect r = rect.standardized();
    return {convertPointToView(r.origin, view), r.size};
}

cg::Rect View::convertRectFromView(const cg::Rect& rect, const View* view) const {
    const cg::Rect r = rect.standardized();
    return {convertPointFromView(r.origin, view), r.size};
}

rt::Ref<View> View::hitTest(cg::Point point, const Event* event) {
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01) return nullptr;
    if (!pointInside(point, event)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        rt::Ref<View> child = *it;
        if (auto hit = child->hitTest(child->fromSuperview(point), event)) return hit;
    }
    return rt::retained(this);
}

bool View::pointInside(cg::Point point, const Event*) const {
    return bounds_.contains(point);
}

// ---- Layout ------------------------------------------------------------------------------------

void View::setNeedsLayout() {
    if (needsLayout_) return;
    needsLayout_ = true;
    scheduleLayoutPass();
}

// A view in a window is laid out on the main queue's next turn, one pass per window at a time.
void View::scheduleLayoutPass() {
    rt::Ref<Window> w = window();
    if (!w || w->layoutPassScheduled_) return;
    w->layoutPassScheduled_ = true;
    dispatch::async(dispatch::Queue::main(), [weak = rt::Weak<Window>(w)] {
        if (rt::Ref<Window> window = weak.lock()) {
            window->layoutPassScheduled_ = false;
            window->runLayoutPass();
        }
    });
}

void View::layoutIfNeeded() {
    runLayoutPass();
}

void View::runLayoutPass() {
    rt::Ref<View> root = rt::retained(this);
    while (rt::Ref<View> parent = root->superview()) root = parent;
    if (root->inLayoutPass_) {
        // From inside the pass (a layoutSubviews asking again): its own subtree only.
        layoutSubtree();
        return;
    }
    root->inLayoutPass_ = true;
    // 1. The controllers of the marked views, top down; and those of every view, for their
    // scroll views' insets.
    std::vector<rt::Ref<ViewController>> controllers, owners;
    std::vector<rt::Ref<View>> walk{root};
    bool constrained = bool(root->engine_);
    for (std::size_t i = 0; i < walk.size(); ++i) {
        const View& view = *walk[i];
        constrained = constrained || !view.constraints_.empty() || (i > 0 && !view.translatesMask_);
        if (auto controller = rt::cast<ViewController>(view.owner_.lock())) {
            owners.push_back(controller);
            if (view.needsLayout_) controllers.push_back(controller);
        }
        for (const rt::Ref<View>& child : view.subviews_) walk.push_back(child);
    }
    walk.clear();
    for (const auto& controller : controllers) controller->viewWillLayoutSubviews();
    // 2 and 3. The solve and the frames.
    if (constrained) {
        if (!root->engine_) root->engine_ = std::make_unique<detail::LayoutEngine>();
        root->engine_->update(*root);
    }
    // 4. layoutSubviews, parents first; then the room for the bars over the scroll views.
    root->layoutSubtree();
    for (const auto& controller : owners) controller->adjustScrollViewInsets();
    // 5.
    for (const auto& controller : controllers) controller->viewDidLayoutSubviews();
    root->inLayoutPass_ = false;
}

void View::invalidateIntrinsicContentSize() {
    ++intrinsicInvalidations_;
    // Only views laid out by constraints have their intrinsic size solved for.
    if (translatesMask_) return;
    setNeedsLayout();
    if (rt::Ref<View> parent = superview()) parent->setNeedsLayout();
}

float View::contentHuggingPriorityForAxis(LayoutConstraintAxis axis) const noexcept {
    return hugging_[axis == LayoutConstraintAxis::Vertical];
}

void View::setContentHuggingPriority(float priority, LayoutConstraintAxis axis) {
    hugging_[axis == LayoutConstraintAxis::Vertical] = priority;
    setNeedsLayout();
}

float View::contentCompressionResistancePriorityForAxis(LayoutConstraintAxis axis) const noexcept {
    return compression_[axis == LayoutConstraintAxis::Vertical];
}

void View::setContentCompressionResistancePriority(float priority, LayoutConstraintAxis axis) {
    compression_[axis == LayoutConstraintAxis::Vertical] = priority;
    setNeedsLayout();
}

void View::setContentMode(ViewContentMode mode) {
    rt::KeyChange change(this, "contentMode");
    contentMode_ = mode;
    setNeedsDisplay();
}

void View::setLayoutMargins(const EdgeInsets& margins) {
    rt::KeyChange change(this, "layoutMargins");
    layoutMargins_ = margins;
    setNeedsLayout();
}

namespace detail {
LayoutEngine* layoutEngineOf(const View& view) {
    const View* root = &view;
    for (rt::Ref<View> parent = view.superview(); parent; parent = parent->superview()) root = parent.get();
    return root->engine_.get();
}
} // namespace detail

void View::layoutSubtree() {
    rt::Ref<View> keep = rt::retained(this);
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSubviews();
    }
    const std::vector<rt::Ref<View>> children = subviews_;
    for (const auto& child : children)
        child->layoutSubtree();
}

EdgeInsets View::safeAreaInsets() const {
    rt::Ref<Window> w = window();
    if (!w) return {};
    const EdgeInsets outer = w->safeAreaInsets();
    if (w.get() == this) return outer;
    const cg::Rect r = convertRectToView(bounds_, w.get());
    const cg::Rect area = w->bounds();
    return {std::max(0.0, outer.top - (r.minY() - area.minY())), std::max(0.0, outer.left - (r.minX() - area.minX())),
            std::max(0.0, r.maxY() - (area.maxY() - outer.bottom)), std::max(0.0, r.maxX() - (area.maxX() - outer.right))};
}

cg::Size View::sizeThatFits(cg::Size) const {
    return bounds_.size;
}

void View::setNeedsDisplay() {
    needsDisplay_ = true;
    ++displayRequests_;
}

const rt::Ref<ca::Layer>& View::layer() const {
    if (!layer_) layer_ = ca::Layer::make();
    return layer_;
}

void View::sizeToFit() {
    const cg::Rect f = frame();
    const cg::Size fitting = sizeThatFits(bounds_.size);
    setFrame({f.origin, fitting});
}

void View::addConstraint(const rt::Ref<LayoutConstraint>& constraint) {
    if (!constraint) return;
    if (rt::Ref<View> holder = constraint->holdingView()) {
        if (holder.get() == this) return;
        holder->removeConstraint(constraint);
    }
    constraints_.push_back(constraint);
    constraint->setHolder(this);
    setNeedsLayout();
}

void View::addConstraints(const rt::Ref<ns::Array>& constraints) {
    if (!constraints) return;
    for (const rt::Id& object : *constraints)
        addConstraint(rt::cast<LayoutConstraint>(object));
}

void View::removeConstraint(const rt::Ref<LayoutConstraint>& constraint) {
    auto at = std::find(constraints_.begin(), constraints_.end(), constraint);
    if (at == constraints_.end()) return;
    const rt::Ref<LayoutConstraint> keep = constraint;
    constraints_.erase(at);
    keep->setHolder(nullptr);
    setNeedsLayout();
}

void View::removeConstraints(const rt::Ref<ns::Array>& constraints) {
    if (!constraints) return;
    for (const rt::Id& object : *constraints)
        removeConstraint(rt::cast<LayoutConstraint>(object));
}

rt::Ref<View> View::closestCommonAncestor(const rt::Ref<View>& a, const rt::Ref<View>& b) {
    if (!a || !b) return nullptr;
    std::vector<View*> line;
    for (rt::Ref<View> v = a; v; v = v->superview())
        line.push_back(v.get());
    for (rt::Ref<View> v = b; v; v = v->superview())
        if (std::find(line.begin(), line.end(), v.get()) != line.end()) return v;
    return nullptr;
}

void View::dropConstraintsFromAncestors(const rt::Ref<View>& former) {
    const auto names = [this](const rt::Id& item) {
        rt::Ref<View> view = layoutItemView(item);
        return view && view->isDescendantOfView(this);
    };
    for (rt::Ref<View> ancestor = former; ancestor; ancestor = ancestor->superview()) {
        const std::vector<rt::Ref<LayoutConstraint>> held = ancestor->constraints_;
        for (const auto& constraint : held)
            if (names(constraint->firstItem()) || names(constraint->secondItem()))
                ancestor->removeConstraint(constraint);
    }
}

rt::Ref<ns::Array> View::constraints() const {
    return ns::Array::make(std::vector<rt::Id>(constraints_.begin(), constraints_.end()));
}

// ---- Gestures ----------------------------------------------------------------------------------

void View::addGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer) {
    if (!recognizer || std::find(recognizers_.begin(), recognizers_.end(), recognizer) != recognizers_.end()) return;
    if (rt::Ref<View> previous = recognizer->view()) previous->removeGestureRecognizer(recognizer);
    recognizers_.push_back(recognizer);
    recognizer->setView(this);
}

void View::removeGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer) {
    auto at = std::find(recognizers_.begin(), recognizers_.end(), recognizer);
    if (at == recognizers_.end()) return;
    rt::Ref<GestureRecognizer> keep = *at;
    recognizers_.erase(at);
    keep->setView(nullptr);
}

rt::Ref<ns::Array> View::gestureRecognizers() const {
    return ns::Array::make(std::vector<rt::Id>(recognizers_.begin(), recognizers_.end()));
}

// ---- Animations --------------------------------------------------------------------------------

void View::animateWithDuration(double duration, const Animations& animations, Completion completion) {
    animateWithDuration(duration, 0, 0, animations, std::move(completion));
}

void View::animateWithDuration(double duration, double delay, unsigned long, const Animations& animations,
                               Completion completion) {
    if (animations) animations();
    if (!completion) return;
    const double total = std::max(0.0, (duration == duration ? duration : 0) + (delay == delay ? delay : 0));
    dispatch::asyncAfter(dispatch::after(total), dispatch::Queue::main(),
                         [completion = std::move(completion)] { completion(true); });
}

// ---- Tint --------------------------------------------------------------------------------------

rt::Ref<Color> View::undimmedTint() const {
    for (const View* view = this; view; view = view->superview_.unsafeGet())
        if (view->tint_) return view->tint_;
    return Color::systemBlueColor();
}

rt::Ref<Color> View::tintColor() const {
    rt::Ref<Color> tint = undimmedTint();
    if (tintAdjustmentMode() != ViewTintAdjustmentMode::Dimmed) return tint;
    // Greyed at the same lightness (the luma weights of video).
    const double lightness = 0.299 * tint->red() + 0.587 * tint->green() + 0.114 * tint->blue();
    return Color::colorWithWhite(lightness, tint->alpha());
}

void View::setTintColor(rt::Ref<Color> color) {
    rt::KeyChange change(this, "tintColor");
    const rt::Ref<Color> former = undimmedTint();
    tint_ = std::move(color);
    if (!rt::equal(former.get(), undimmedTint().get())) tellTintChange(true, false);
}

ViewTintAdjustmentMode View::tintAdjustmentMode() const {
    for (const View* view = this; view; view = view->superview_.unsafeGet())
        if (view->tintMode_ != ViewTintAdjustmentMode::Automatic) return view->tintMode_;
    return ViewTintAdjustmentMode::Normal;
}

void View::setTintAdjustmentMode(ViewTintAdjustmentMode mode) {
    rt::KeyChange change(this, "tintAdjustmentMode");
    const ViewTintAdjustmentMode former = tintAdjustmentMode();
    tintMode_ = mode;
    if (former != tintAdjustmentMode()) tellTintChange(false, true);
}

void View::tellTintChangeFrom(const rt::Ref<Color>& formerTint, ViewTintAdjustmentMode formerMode) {
    const bool colour = !rt::equal(formerTint.get(), undimmedTint().get());
    const bool mode = formerMode != tintAdjustmentMode();
    if (colour || mode) tellTintChange(colour, mode);
}

void View::tellTintChange(bool colourChanged, bool modeChanged) {
    rt::Ref<View> keep = rt::retained(this);
    tintColorDidChange();
    // A subview keeps what it sets itself.
    const std::vector<rt::Ref<View>> subviews = subviews_;
    for (const auto& subview : subviews) {
        const bool colour = colourChanged && !subview->tint_;
        const bool mode = modeChanged && subview->tintMode_ == ViewTintAdjustmentMode::Automatic;
        if (colour || mode) subview->tellTintChange(colour, mode);
    }
}

// ---- Description -------------------------------------------------------------------------------

std::string View::descriptionPrefix() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + std::string(getClass().name()) + ": " + address;
}

std::string View::description() const {
    const cg::Rect f = frame();
    std::string text = descriptionPrefix() + "; frame = (" + number(f.origin.x) + " " + number(f.origin.y) + "; " +
                       number(f.size.width) + " " + number(f.size.height) + ")";
    if (hidden_) text += "; hidden = YES";
    if (alpha_ != 1) text += "; alpha = " + number(alpha_);
    if (tag_ != 0) text += "; tag = " + std::to_string(tag_);
    return text + ">";
}

void View::setInputAccessoryView(rt::Ref<View> view) {
    rt::KeyChange change(this, "inputAccessoryView");
    inputAccessoryView_ = std::move(view);
}

double View::keyboardAccessoryHeight() const {
    return inputAccessoryView_ ? inputAccessoryView_->frame().height() : 0;
}

void View::resignFirstResponderLeavingWindow() {
    rt::Ref<View> editing = rt::cast<View>(currentFirstResponder());
    if (!editing || !editing->isDescendantOfView(this)) return;
    if (!editing->resignFirstResponder()) editing->giveUpFirstResponder(true);
}

bool View::endEditing(bool force) {
    rt::Ref<View> editing = rt::cast<View>(currentFirstResponder());
    if (!editing || !editing->isDescendantOfView(this)) return true;
    return editing->giveUpFirstResponder(force);
}

RT_DEFINE_CLASS(
    View, "UIView", Responder, rt::prop("frame", &View::frame, &View::setFrame),
    rt::prop("inputAccessoryView", &View::inputAccessoryView, &View::setInputAccessoryView),
    rt::method("endEditing:", &View::endEditing),
    rt::prop("bounds", &View::bounds, &View::setBounds), rt::prop("center", &View::center, &View::setCenter),
    rt::prop("transform", &View::transform, &View::setTransform),
    rt::prop("hidden", &View::isHidden, &View::setHidden, {.getter = "isHidden"}),
    rt::prop("alpha", &View::alpha, &View::setAlpha),
    rt::method("setNeedsDisplayInRect:", &View::setNeedsDisplayInRect),
    rt::prop("backgroundColor", &View::backgroundColor, &View::setBackgroundColor,
             {.memory = rt::Memory::Copy}),
    rt::prop("tag", &View::tag, &View::setTag),
    rt::prop("tintColor", &View::tintColor, &View::setTintColor),
    rt::prop("tintAdjustmentMode", &View::tintAdjustmentMode, &View::setTintAdjustmentMode),
    rt::method("tintColorDidChange", &View::tintColorDidChange),
    rt::prop("contentMode", &View::contentMode, &View::setContentMode),
    rt::prop("userInteractionEnabled", &View::isUserInteractionEnabled, &View::setUserInteractionEnabled,
             {.getter = "isUserInteractionEnabled"}),
    rt::prop("exclusiveTouch", &View::isExclusiveTouch, &View::setExclusiveTouch,
             {.getter = "isExclusiveTouch"}),
    rt::prop("clipsToBounds", &View::clipsToBounds, &View::setClipsToBounds),
    rt::prop("opaque", &View::isOpaque, &View::setOpaque, {.getter = "isOpaque"}),
    rt::prop("translatesAutoresizingMaskIntoConstraints", &View::translatesAutoresizingMaskIntoConstraints,
             &View::setTranslatesAutoresizingMaskIntoConstraints),
    rt::prop("superview", &View::superview, {.memory = rt::Memory::Weak}),
    rt::prop("subviews", &View::subviews, {.memory = rt::Memory::Copy}),
    rt::prop("window", &View::window, {.memory = rt::Memory::Weak}),
    rt::prop("gestureRecognizers", &View::gestureRecognizers, {.memory = rt::Memory::Copy}),
    rt::prop("constraints", &View::constraints, {.memory = rt::Memory::Copy}),
    rt::method("addConstraint:", &View::addConstraint), rt::method("addConstraints:", &View::addConstraints),
    rt::method("removeConstraint:", &View::removeConstraint),
    rt::method("layoutSubviews", &View::layoutSubviews), rt::method("setNeedsLayout", &View::setNeedsLayout),
    rt::method("layoutIfNeeded", &View::layoutIfNeeded),
    rt::prop("isAccessibilityElement", &View::isAccessibilityElement, &View::setIsAccessibilityElement),
    rt::prop("accessibilityLabel", &View::accessibilityLabel, &View::setAccessibilityLabel,
             {.memory = rt::Memory::Copy}),
    rt::prop("accessibilityHint", &View::accessibilityHint, &View::setAccessibilityHint, {.memory = rt::Memory::Copy}),
    rt::prop("accessibilityValue", &View::accessibilityValue, &View::setAccessibilityValue,
             {.memory = rt::Memory::Copy}),
    rt::prop("accessibilityTraits", &View::accessibilityTraits, &View::setAccessibilityTraits),
    rt::prop("accessibilityIdentifier", &View::accessibilityIdentifier, &View::setAccessibilityIdentifier,
             {.memory = rt::Memory::Copy}))

} // namespace ui
