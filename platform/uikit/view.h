#pragma once
// ui::View ("UIView"): a rectangle in a tree of views. Headless: a view is its geometry, its
// flags and its place in the tree. Drawing is on demand: ui::renderView (view_rendering.h) draws
// a tree into any cg::Context, calling drawRect; setNeedsDisplay only keeps a flag and a count.
//
// Geometry. The view keeps its centre and bounds (and a transform); the frame is derived: the
// bounds' size placed around the centre, or, under a transform other than the identity, the
// smallest rectangle holding the transformed bounds. Setting the frame sets the centre and the
// bounds' size. Points convert between views by the chain of frame origins and bounds origins
// (transforms are not applied); nil stands for the window (the root of the tree).
//
// Hit testing skips hidden views, views that take no touches and views with alpha below 0.01, and
// never looks at a subview for a point outside its superview's bounds, even when the subview
// reaches beyond them. The last subview is the front one.
//
// Layout. setNeedsLayout marks the view (changes to its constraints, its size, its subviews and
// its intrinsic size do). layoutIfNeeded, on any view, runs the layout pass of the view's window
// (or of the root of its tree):
//   1. the viewWillLayoutSubviews of the controllers whose views are marked;
//   2. the constraints of the tree solved, by one solver kept per window and updated incrementally
//      (layout_engine.h says how views become variables);
//   3. centre and bounds' size written for the views that have translatesAutoresizingMaskIntoConstraints
//      NO (a transform survives; views with YES keep their frames); views whose height follows
//      their width (adoptLayoutWidth) take the widths solved, and while their intrinsic sizes
//      move, 2 and 3 again (four solves at most, then the last answer, logged once);
//   4. layoutSubviews on the marked views, parents first;
//   5. the controllers' viewDidLayoutSubviews.
// A window with a marked view runs its pass on the main queue's next turn too, as the platform lays
// out between events. A required constraint that cannot be satisfied is logged ("Unable to
// simultaneously satisfy constraints...") and left out; the rest still solve.
//
// Animations apply their end values at once; the completion runs, with finished YES, once the
// duration (and delay) has passed on the clock, from the main queue. The old style
// (beginAnimations ... commitAnimations, view_display.cpp) is the same: the changes between take
// effect at once, and the delegate is told the animation stopped once its duration has passed.
//
// Drawing a part again: setNeedsDisplayInRect marks a rectangle of the bounds; the rectangles
// marked during a turn of the main queue are united, and at the end of the turn the display pass
// calls drawRect with their union, into a recording context made current and clipped to it, in or
// out of a window. The view keeps the record of its last pass. (setNeedsDisplay alone only keeps
// its flag and count: whole views are drawn when a picture is taken.)
//
// Main thread only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/edge_insets.h"
#include "platform/graphics/geometry.h"
#include "platform/uikit/responder.h"
#include "platform/uikit/view_content_mode.h"

namespace ns {
class Array;
class String;
}
namespace ca {
class Layer;
}
namespace cg {
class DisplayList;
}

namespace ui {

class View;
namespace detail {
struct PartialDisplay;
struct ViewAccessibility;
class LayoutEngine;
LayoutEngine* layoutEngineOf(const View& view);
}

// How a view's tint shows: Automatic takes the superview's mode (Normal at the root of the tree);
// Dimmed shows the tint as a grey of the same lightness.
enum class ViewTintAdjustmentMode : long { Automatic = 0, Normal = 1, Dimmed = 2 };

// The axes of hugging and compression resistance.
enum class LayoutConstraintAxis : long { Horizontal = 0, Vertical = 1 };

class Color;
class Event;
class GestureRecognizer;
class LayoutConstraint;
class Window;

// A view's autoresizing mask: which of its margins and lengths follow its superview's size.
namespace ViewAutoresizing {
inline constexpr unsigned long None = 0, FlexibleLeftMargin = 1, FlexibleWidth = 2, FlexibleRightMargin = 4,
                               FlexibleTopMargin = 8, FlexibleHeight = 16, FlexibleBottomMargin = 32;
} // namespace ViewAutoresizing

class View : public Responder {
    RT_CLASS(View)
public:
    using Animations = std::function<void()>;
    using Completion = std::function<void(bool finished)>;

    // ---- Geometry ----
    cg::Rect frame() const;
    void setFrame(const cg::Rect& frame);
    const cg::Rect& bounds() const noexcept { return bounds_; }
    void setBounds(const cg::Rect& bounds);
    cg::Point center() const noexcept { return center_; }
    void setCenter(cg::Point center);
    const cg::AffineTransform& transform() const noexcept { return transform_; }
    void setTransform(const cg::AffineTransform& transform);

    // ---- Appearance and flags ----
    bool isHidden() const noexcept { return hidden_; }
    void setHidden(bool hidden);
    double alpha() const noexcept { return alpha_; }
    // Held to 0...1.
    void setAlpha(double alpha);
    // When the superview's size changes, the flexible parts of each axis share the change in
    // proportion to their lengths (equally when all are 0).
    unsigned long autoresizingMask() const noexcept { return autoresizingMask_; }
    void setAutoresizingMask(unsigned long mask) noexcept { autoresizingMask_ = mask; }
    const rt::Ref<Color>& backgroundColor() const noexcept { return backgroundColor_; }
    void setBackgroundColor(rt::Ref<Color> color);
    long tag() const noexcept { return tag_; }
    void setTag(long tag);
    bool isUserInteractionEnabled() const noexcept { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled);
    // Kept for the screens that set it; a touch is always delivered to one view here.
    bool isExclusiveTouch() const noexcept { return exclusiveTouch_; }
    void setExclusiveTouch(bool exclusive);
    bool clipsToBounds() const noexcept { return clipsToBounds_; }
    void setClipsToBounds(bool clips);
    bool isOpaque() const noexcept { return opaque_; }
    void setOpaque(bool opaque);
    bool translatesAutoresizingMaskIntoConstraints() const noexcept { return translatesMask_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool translates);
    // Whether the view or any of its ancestors is hidden: such a view cannot be seen or touched.
    bool isHiddenOrHasHiddenAncestor() const;

    // ---- Tint ----
    // The view's own tint when set, else its superview's; the system blue at the root of the tree.
    // While the mode in effect is Dimmed, that colour greyed.
    rt::Ref<Color> tintColor() const;
    // Nil gives the view its superview's tint again.
    void setTintColor(rt::Ref<Color> color);
    // The mode in effect: the view's own unless Automatic, else its superview's; Normal at the root.
    ViewTintAdjustmentMode tintAdjustmentMode() const;
    void setTintAdjustmentMode(ViewTintAdjustmentMode mode);
    // Told on the view, and on each subview that takes it over, when the tint or the mode in
    // effect changes: either is set, or the view moves under a superview whose tint differs.
    virtual void tintColorDidChange() {}

    // ---- Accessibility ----
    // Whether the accessibility services read the view as one element (a plain view: no, its
    // subviews are read; a label: yes). The texts are nil and the traits none (a mask of
    // ui::AccessibilityTraits) unless set.
    virtual bool isAccessibilityElement() const;
    void setIsAccessibilityElement(bool element);
    virtual rt::Ref<ns::String> accessibilityLabel() const;
    void setAccessibilityLabel(const rt::Ref<ns::String>& label);
    virtual rt::Ref<ns::String> accessibilityHint() const;
    void setAccessibilityHint(const rt::Ref<ns::String>& hint);
    virtual rt::Ref<ns::String> accessibilityValue() const;
    void setAccessibilityValue(const rt::Ref<ns::String>& value);
    virtual std::uint64_t accessibilityTraits() const;
    void setAccessibilityTraits(std::uint64_t traits);
    // What tests and tools find the view by; nil unless set. Never read aloud.
    rt::Ref<ns::String> accessibilityIdentifier() const;
    void setAccessibilityIdentifier(const rt::Ref<ns::String>& identifier);

    // ---- The tree ----
    rt::Ref<View> superview() const { return superview_.lock(); }
    const std::vector<rt::Ref<View>>& subviewList() const noexcept { return subviews_; }
    // A copy of the subviews, back to front.
    rt::Ref<ns::Array> subviews() const;
    // The window at the root of the tree (the view itself for a window), or nil.
    virtual rt::Ref<Window> window() const;
    // Adds `view` in front of the others; a view with another superview is moved here first.
    // Adding a view to itself or to one of its descendants is refused (and logged).
    void addSubview(const rt::Ref<View>& view);
    void insertSubviewAtIndex(const rt::Ref<View>& view, std::size_t index);
    void insertSubviewAboveSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling);
    void insertSubviewBelowSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling);
    void bringSubviewToFront(const rt::Ref<View>& view);
    void sendSubviewToBack(const rt::Ref<View>& view);
    void removeFromSuperview();
    // True for the view itself.
    bool isDescendantOfView(const View* view) const;
    // The first view of that tag in a depth-first walk, the view itself first; nil when none.
    rt::Ref<View> viewWithTag(long tag) const;

    // The chain goes to the controller that owns the view (set by it) and otherwise to the superview.
    rt::Ref<Responder> nextResponder() const override;
    void setOwningResponder(const rt::Ref<Responder>& owner) { owner_ = owner; }

    // ---- Editing ----
    // Shown above the keyboard while this view edits; nil by default.
    const rt::Ref<View>& inputAccessoryView() const noexcept { return inputAccessoryView_; }
    void setInputAccessoryView(rt::Ref<View> view);
    double keyboardAccessoryHeight() const override;
    // Makes the first responder give up when it is this view or inside it; `force` does not ask it.
    // True when nothing here edits any more. A first responder that leaves its window (removed, or
    // moved to another window, with an ancestor) gives up by itself, made to when it refuses, so
    // its end-of-editing callbacks run.
    virtual bool endEditing(bool force);

    // ---- Conversion and hit testing ----
    cg::Point convertPointToView(cg::Point point, const View* view) const;
    cg::Point convertPointFromView(cg::Point point, const View* view) const;
    cg::Rect convertRectToView(const cg::Rect& rect, const View* view) const;
    cg::Rect convertRectFromView(const cg::Rect& rect, const View* view) const;
    // The frontmost view under `point` (in this view's coordinates), or nil.
    virtual rt::Ref<View> hitTest(cg::Point point, const Event* event);
    virtual bool pointInside(cg::Point point, const Event* event) const;

    // ---- Layout ----
    void setNeedsLayout();
    bool needsLayout() const noexcept { return needsLayout_; }
    void layoutIfNeeded();
    // The safe area: the window's insets where they overlap the view; zero outside a window.
    virtual EdgeInsets safeAreaInsets() const;
    // The size the view would like within `size`; the default is its present size.
    virtual cg::Size sizeThatFits(cg::Size size) const;
    // Resizes the bounds to sizeThatFits(its size), keeping the frame's origin.
    virtual void sizeToFit();
    // The size the content needs; NoIntrinsicMetric (-1) in a dimension without one (the default).
    static constexpr double NoIntrinsicMetric = -1;
    virtual cg::Size intrinsicContentSize() const { return {NoIntrinsicMetric, NoIntrinsicMetric}; }
    // Tells the layout pass that intrinsicContentSize changed (a view that keeps its frame, with
    // translatesAutoresizingMaskIntoConstraints, has nothing to tell).
    void invalidateIntrinsicContentSize();
    // How often invalidateIntrinsicContentSize was called.
    std::size_t intrinsicContentSizeInvalidationCount() const noexcept { return intrinsicInvalidations_; }
    // How the content fills the bounds (an image view's image); scale to fill unless set.
    ViewContentMode contentMode() const noexcept { return contentMode_; }
    void setContentMode(ViewContentMode mode);
    // Per axis, the size is at least the intrinsic one at the compression resistance priority (750)
    // and at most it at the hugging priority (250).
    float contentHuggingPriorityForAxis(LayoutConstraintAxis axis) const noexcept;
    void setContentHuggingPriority(float priority, LayoutConstraintAxis axis);
    float contentCompressionResistancePriorityForAxis(LayoutConstraintAxis axis) const noexcept;
    void setContentCompressionResistancePriority(float priority, LayoutConstraintAxis axis);
    // What the margin attributes keep inside the view: 8 on each side unless set.
    const EdgeInsets& layoutMargins() const noexcept { return layoutMargins_; }
    void setLayoutMargins(const EdgeInsets& margins);

    // ---- Drawing ----
    // Draws the view's own content into the current context, in its bounds' coordinates (y down).
    // The default draws nothing.
    virtual void drawRect(const cg::Rect& rect) { (void)rect; }
    void setNeedsDisplay();
    bool needsDisplay() const noexcept { return needsDisplay_; }
    // How often setNeedsDisplay was called.
    std::size_t displayRequestCount() const noexcept { return displayRequests_; }
    // The display pass clears the flag.
    void didDisplay() { needsDisplay_ = false; }
    // Marks a rectangle of the bounds for the display pass at the end of this turn of the main
    // queue (see the top). Empty and null rectangles mark nothing.
    void setNeedsDisplayInRect(const cg::Rect& rect);
    // The union marked and not yet drawn (null when none).
    cg::Rect dirtyRect() const;
    // Runs the display pass now when a rectangle is marked (the queued one then finds nothing).
    void displayIfNeeded();
    // What the last display pass recorded (nil before the first), and how many passes ran.
    const cg::DisplayList* lastDisplay() const;
    std::size_t displayPassCount() const;
    // The view's layer (made on first use); its sublayers are drawn over the view's subviews.
    const rt::Ref<ca::Layer>& layer() const;
    bool hasLayer() const noexcept { return bool(layer_); }

    // The constraints the view holds, in the order they were added. The view owns them; adding one makes it active (a constraint held
    // by another view moves here), removing one not held is a no-op. Each change marks the view as
    // needing layout. A view leaving its superview takes the constraints that name it or one of its
    // subviews out of its former ancestors.
    void addConstraint(const rt::Ref<LayoutConstraint>& constraint);
    void addConstraints(const rt::Ref<ns::Array>& constraints);
    void removeConstraint(const rt::Ref<LayoutConstraint>& constraint);
    void removeConstraints(const rt::Ref<ns::Array>& constraints);
    const std::vector<rt::Ref<LayoutConstraint>>& constraintList() const noexcept { return constraints_; }
    rt::Ref<ns::Array> constraints() const;
    // The nearest view that is or contains both (a view and itself give the view); nil when either
    // is nil or they lie in different trees.
    static rt::Ref<View> closestCommonAncestor(const rt::Ref<View>& a, const rt::Ref<View>& b);

    // ---- Gestures ----
    void addGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer);
    void removeGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer);
    const std::vector<rt::Ref<GestureRecognizer>>& gestureRecognizerList() const noexcept { return recognizers_; }
    rt::Ref<ns::Array> gestureRecognizers() const;

    // ---- Animations ----
    static void animateWithDuration(double duration, const Animations& animations, Completion completion = {});
    static void animateWithDuration(double duration, double delay, unsigned long options,
                                    const Animations& animations, Completion completion);
    // The old style: begin, set what the animation is, change the views, commit. Begun blocks
    // nest; each commit ends the last one begun. The delegate, when it answers
    // "animationDidStop:finished:context:", hears it with the name, YES and the context once the
    // duration (0.2 s unless set) has passed on the clock, from the main queue.
    static void beginAnimations(rt::Ref<ns::String> animationID, rt::Id context);
    static void setAnimationDuration(double duration);
    static void setAnimationDelegate(const rt::Id& delegate);
    static void commitAnimations();
    // The old-style animations committed whose stop has not been told yet.
    static std::size_t animationsInFlight();

    // "<UIView: 0x...; frame = (0 0; 320 480); hidden = YES; tag = 3>"
    std::string description() const override;

protected:
    View();
    explicit View(const cg::Rect& frame);
    ~View() override;

    // Lays out the subviews (layoutIfNeeded calls it). The default does nothing.
    virtual void layoutSubviews() {}
    // After setBounds or setFrame changed the bounds (`before`: what they were). The default does
    // nothing.
    virtual void boundsDidChange(const cg::Rect& before) { (void)before; }
    // Height for width: a view whose intrinsic height follows the width it is laid out at (a label
    // of several lines, a text view that does not scroll) takes the width the layout pass solved
    // and answers whether its intrinsic size may have moved; the pass then solves again. The
    // default follows no width.
    virtual bool adoptLayoutWidth(double width) {
        (void)width;
        return false;
    }
    // The tree's notifications, around each change.
    virtual void willMoveToSuperview(const rt::Ref<View>& newSuperview) { (void)newSuperview; }
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(const rt::Ref<Window>& newWindow) { (void)newWindow; }
    virtual void didMoveToWindow() {}
    virtual void didAddSubview(const rt::Ref<View>& subview) { (void)subview; }
    virtual void willRemoveSubview(const rt::Ref<View>& subview) { (void)subview; }
    // The class's name in descriptions ("UIButton").
    std::string descriptionPrefix() const;

private:
    void attach(const rt::Ref<View>& view, std::size_t index);
    void detachFromSuperview();
    // Takes the constraints naming this view or its subviews off the ancestors from `former` up.
    void dropConstraintsFromAncestors(const rt::Ref<View>& former);
    void announceWindowChange(const rt::Ref<Window>& from, const rt::Ref<Window>& to, bool after);
    // Before this view leaves its window: the first responder, when it is this view or inside it,
    // resigns, forced when it refuses.
    void resignFirstResponderLeavingWindow();
    // The tint before any dimming.
    rt::Ref<Color> undimmedTint() const;
    // Tells tintColorDidChange down the tree from this view, to the views that take over the
    // colour or the mode that changed above them.
    void tellTintChange(bool colourChanged, bool modeChanged);
    // Tells the change a move under another superview brings, from what the view took over before it.
    void tellTintChangeFrom(const rt::Ref<Color>& formerTint, ViewTintAdjustmentMode formerMode);
    void scheduleLayoutPass();
    friend class detail::LayoutEngine;
    friend detail::LayoutEngine* detail::layoutEngineOf(const View& view);
    // Set while the layout pass writes frames: those are not code setting geometry.
    static bool layoutWriting_;
    // The whole pass (see the top), on the root of this view's tree.
    void runLayoutPass();
    // Geometry set by code, not by the layout pass: the pass pulls this view's variables there.
    void noteGeometrySetByCode();
    void resizeSubviews(cg::Size before);
    // This view's point in its superview's coordinates, and back.
    cg::Point toSuperview(cg::Point point) const;
    cg::Point fromSuperview(cg::Point point) const;
    void layoutSubtree();

    cg::Point center_;
    cg::Rect bounds_;
    cg::AffineTransform transform_;
    double alpha_ = 1;
    long tag_ = 0;
    bool hidden_ = false;
    bool userInteractionEnabled_ = true;
    bool exclusiveTouch_ = false;
    bool clipsToBounds_ = false;
    bool opaque_ = true;
    bool translatesMask_ = true;
    unsigned long autoresizingMask_ = 0;
    bool geometrySetByCode_ = false;
    bool inLayoutPass_ = false;
    bool needsLayout_ = true;
    bool needsDisplay_ = true;
    std::size_t displayRequests_ = 0;
    std::size_t intrinsicInvalidations_ = 0;
    mutable rt::Ref<ca::Layer> layer_;
    // The partial display's state, made at the first setNeedsDisplayInRect.
    std::shared_ptr<detail::PartialDisplay> partial_;
    rt::Ref<Color> backgroundColor_;
    rt::Ref<View> inputAccessoryView_;
    rt::Weak<View> superview_;
    rt::Weak<Responder> owner_;
    std::vector<rt::Ref<View>> subviews_;
    std::vector<rt::Ref<GestureRecognizer>> recognizers_;
    std::vector<rt::Ref<LayoutConstraint>> constraints_;
    EdgeInsets layoutMargins_{8, 8, 8, 8};
    float hugging_[2] = {250, 250};
    float compression_[2] = {750, 750};
    ViewContentMode contentMode_ = ViewContentMode::ScaleToFill;
    ViewTintAdjustmentMode tintMode_ = ViewTintAdjustmentMode::Automatic;
    rt::Ref<Color> tint_;
    // Made when an accessibility value is first set.
    std::shared_ptr<detail::ViewAccessibility> accessibility_;
    // The root of a tree keeps its layout engine.
    std::unique_ptr<detail::LayoutEngine> engine_;
};

} // namespace ui
