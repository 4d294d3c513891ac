#pragma once
// The layout library's additions for lists of views and for view controllers, as free functions.
//
// Lists. makeConstraints / updateConstraints / remakeConstraints run the view entry point on each
// view in order with the same block (so the block runs once per view, with that view's maker) and
// answer everything made, concatenated. The ns::Array forms skip elements that are not views.
//
// Distribution, along axis 0 (horizontal: lefts, widths, rights) or any other (vertical: tops,
// heights, bottoms), with constraints made through makeConstraints, so a second call adds a second
// set. Nothing below two views, or without a common superview (the container, found once).
// - Fixed spacing: the first view starts `lead` after the container's start; each later one has
//   the previous one's length and starts `spacing` after its end; the last ends `tail` before the
//   container's end. The views share the length the spacings leave.
// - Fixed item length L: every view is L long; the first starts `lead` after the container's start,
//   the last ends `tail` before its end, and view i in between ends at
//   end(container) * i/(n-1) + (1 - i/(n-1)) * (L + lead) - tail * i/(n-1), so the gaps are equal.
// The multiplier is a proportion of the container wherever the container sits.
//
// Controllers. The six guide attributes: a view attribute whose view is the controller's view and
// whose item is its top or bottom layout guide.

#include <cstdint>
#include <vector>

#include "ui/layout/constraint_maker.h"

namespace ns {
class Array;
}
namespace ui {
class ViewController;
}

namespace lc {

using ViewList = std::vector<rt::Ref<ui::View>>;

std::vector<rt::Ref<Constraint>> makeConstraints(const ViewList& views, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> updateConstraints(const ViewList& views, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> remakeConstraints(const ViewList& views, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> makeConstraints(const rt::Ref<ns::Array>& views, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> updateConstraints(const rt::Ref<ns::Array>& views, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> remakeConstraints(const rt::Ref<ns::Array>& views, const MakerBlock& block);

// The views' closest common ancestor, folded in order: nil for no views, the view for one, nil
// from the first view that shares no ancestor with those before.
rt::Ref<ui::View> commonSuperviewOfViews(const ViewList& views);
rt::Ref<ui::View> commonSuperviewOfViews(const rt::Ref<ns::Array>& views);

void distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(const ViewList& views, std::uint64_t axis,
                                                                    double fixedSpacing, double leadSpacing,
                                                                    double tailSpacing);
void distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(const ViewList& views, std::uint64_t axis,
                                                                       double fixedItemLength, double leadSpacing,
                                                                       double tailSpacing);
void distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(const rt::Ref<ns::Array>& views,
                                                                    std::uint64_t axis, double fixedSpacing,
                                                                    double leadSpacing, double tailSpacing);
void distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(const rt::Ref<ns::Array>& views,
                                                                       std::uint64_t axis, double fixedItemLength,
                                                                       double leadSpacing, double tailSpacing);

rt::Ref<ViewAttribute> topLayoutGuide(const rt::Ref<ui::ViewController>& controller);       // the top guide's bottom
rt::Ref<ViewAttribute> topLayoutGuideTop(const rt::Ref<ui::ViewController>& controller);
rt::Ref<ViewAttribute> topLayoutGuideBottom(const rt::Ref<ui::ViewController>& controller);
rt::Ref<ViewAttribute> bottomLayoutGuide(const rt::Ref<ui::ViewController>& controller);    // the bottom guide's top
rt::Ref<ViewAttribute> bottomLayoutGuideTop(const rt::Ref<ui::ViewController>& controller);
rt::Ref<ViewAttribute> bottomLayoutGuideBottom(const rt::Ref<ui::ViewController>& controller);

} // namespace lc
