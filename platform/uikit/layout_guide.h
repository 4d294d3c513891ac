#pragma once
// ui::LayoutGuide ("_UILayoutGuide"): a view controller's top or bottom layout guide, a layout item
// that constraints may name (ViewController::topLayoutGuide(), bottomLayoutGuide()). It belongs to
// the controller's view ("owningView"): in that view the top guide spans 0 to its length, the
// bottom guide H - length to H, and both span the view's width.
//
// The top guide's length is the status bar's height (kStatusBarHeight, 0 while it is hidden), or
// the window's top safe-area inset when that is larger, plus the bar's height when the controller
// sits under a visible navigation bar. The bottom guide's length is the window's bottom inset.
// Lengths are read at each layout pass; nothing is cached.

#include "platform/runtime/object.h"

namespace ui {

class View;
class ViewController;

inline constexpr double kStatusBarHeight = 20;

class LayoutGuide : public rt::Object {
    RT_CLASS(LayoutGuide)
public:
    enum class Edge : unsigned char { Top, Bottom };

    static rt::Ref<LayoutGuide> make(const ViewController& controller, Edge edge);

    Edge edge() const noexcept { return edge_; }
    // The controller's view when it is loaded, else nil.
    rt::Ref<View> owningView() const;
    double length() const;

private:
    LayoutGuide(const ViewController& controller, Edge edge);

    rt::Weak<ViewController> controller_;
    Edge edge_;
};

} // namespace ui
