#include "platform/uikit/scroll_view.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

namespace {

EdgeInsets plus(const EdgeInsets& a, const EdgeInsets& b) {
    return {a.top + b.top, a.left + b.left, a.bottom + b.bottom, a.right + b.right};
}

EdgeInsets minus(const EdgeInsets& a, const EdgeInsets& b) {
    return {a.top - b.top, a.left - b.left, a.bottom - b.bottom, a.right - b.right};
}

} // namespace

ScrollView::ScrollView(const cg::Rect& frame) : View(frame) {
    setClipsToBounds(true); // it shows only what lies within its bounds
}

void ScrollView::setContentInset(const EdgeInsets& insets) {
    changeInsets(insets, bars_);
}

EdgeInsets ScrollView::adjustedContentInset() const {
    return barsInContentInset_ ? contentInset_ : plus(contentInset_, bars_);
}

void ScrollView::setContentOffset(cg::Point offset) {
    rt::KeyChange change(this, "contentOffset");
    setBounds({offset, bounds().size});
}

void ScrollView::setScrollEnabled(bool enabled) {
    if (enabled == scrollEnabled_) return;
    rt::KeyChange change(this, "scrollEnabled");
    scrollEnabled_ = enabled;
    scrollEnabledDidChange();
}

void ScrollView::setContentSize(cg::Size size) {
    if (size == contentSize_) return;
    rt::KeyChange change(this, "contentSize");
    contentSize_ = size;
}

void ScrollView::adjustForBars(const EdgeInsets& bars, bool intoContentInset) {
    const EdgeInsets own = barsInContentInset_ ? minus(contentInset_, bars_) : contentInset_;
    barsInContentInset_ = intoContentInset;
    changeInsets(intoContentInset ? plus(own, bars) : own, bars);
}

void ScrollView::changeInsets(const EdgeInsets& contentInset, const EdgeInsets& bars) {
    const EdgeInsets before = adjustedContentInset();
    const bool atRest = contentOffset() == cg::Point{-before.left, -before.top};
    if (contentInset != contentInset_) {
        rt::KeyChange change(this, "contentInset");
        contentInset_ = contentInset;
    }
    bars_ = bars;
    const EdgeInsets after = adjustedContentInset();
    if (atRest && after != before) setContentOffset({-after.left, -after.top});
}

RT_DEFINE_CLASS(ScrollView, "UIScrollView", View,
                rt::prop("contentInset", &ScrollView::contentInset, &ScrollView::setContentInset),
                rt::prop("adjustedContentInset", &ScrollView::adjustedContentInset),
                rt::prop("contentOffset", &ScrollView::contentOffset, &ScrollView::setContentOffset),
                rt::prop("contentSize", &ScrollView::contentSize, &ScrollView::setContentSize),
                rt::prop("scrollEnabled", &ScrollView::isScrollEnabled, &ScrollView::setScrollEnabled,
                         {.getter = "isScrollEnabled"}),
                rt::prop("scrollIndicatorInsets", &ScrollView::scrollIndicatorInsets, &ScrollView::setScrollIndicatorInsets))

} // namespace ui
