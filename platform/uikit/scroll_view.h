#pragma once
// ui::ScrollView ("UIScrollView"): a view whose bounds' origin is the offset of its content.
// Nothing scrolls here: the content rests at its top, the content offset at minus the adjusted
// inset's top and left, until code sets another.
//
// Insets for bars. A view controller whose view is a scroll view, or whose view's first subview
// is one, gives it room for the status and navigation bars over it (the controller's
// automaticallyAdjustsScrollViewInsets, YES unless set, and its view extending under the top
// bar), at every layout pass, as the platform of the device's system version does:
// - before system 11 the controller adds the top layout guide's length to contentInset's top
//   (and the bottom guide's to its bottom), replacing what it added before;
// - from system 11 on contentInset stays as set and adjustedContentInset adds the part of the
//   bars that lies over the scroll view's frame.
// A scroll view at rest at its top stays there when its adjusted inset changes: its first row
// shows just below the bars.

#include "platform/uikit/view.h"

namespace ui {

class ScrollView : public View {
    RT_CLASS(ScrollView)
public:
    const EdgeInsets& contentInset() const noexcept { return contentInset_; }
    void setContentInset(const EdgeInsets& insets);
    // contentInset plus the room the bars take, from system 11 on.
    EdgeInsets adjustedContentInset() const;
    cg::Point contentOffset() const { return bounds().origin; }
    void setContentOffset(cg::Point offset);
    // Kept; no indicators are drawn here.
    const EdgeInsets& scrollIndicatorInsets() const noexcept { return indicatorInsets_; }
    void setScrollIndicatorInsets(const EdgeInsets& insets) noexcept { indicatorInsets_ = insets; }
    // YES unless set.
    bool isScrollEnabled() const noexcept { return scrollEnabled_; }
    void setScrollEnabled(bool enabled);
    cg::Size contentSize() const noexcept { return contentSize_; }
    void setContentSize(cg::Size size);

    // The room the bars over it take, as the controller that owns it measures it (see above);
    // `intoContentInset` for a system before 11.
    void adjustForBars(const EdgeInsets& bars, bool intoContentInset);

protected:
    ScrollView() : ScrollView(cg::Rect::zero()) {}
    explicit ScrollView(const cg::Rect& frame);
    // After setScrollEnabled changed the flag. The default does nothing.
    virtual void scrollEnabledDidChange() {}

private:
    // Sets the insets and moves a content at rest at its top to the new top.
    void changeInsets(const EdgeInsets& contentInset, const EdgeInsets& bars);

    EdgeInsets contentInset_;
    EdgeInsets bars_;        // what the bars take
    bool barsInContentInset_ = false; // added into contentInset_ (before system 11)
    cg::Size contentSize_;
    EdgeInsets indicatorInsets_;
    bool scrollEnabled_ = true;
};

} // namespace ui
