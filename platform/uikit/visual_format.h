#pragma once
// The visual format language's parser, private to the UIKit stand-in
// (LayoutConstraint::constraintsWithVisualFormat makes the records from what it answers).
//
// The subset:
//   format     := ("H:" | "V:")? ("|" connection)? view (connection view)* (connection "|")?
//   view       := "[" name ("(" predicate ("," predicate)* ")")? "]"
//   connection := ""                       adjacent, spacing 0
//               | "-"                      the standard spacing
//               | "-" simple "-"           "-8-", "-metric-", "->=0-"
//               | "-(" predicates ")-"     "-(>=0)-", "-(8@750)-"
//   predicate  := ("==" | ">=" | "<=")? (number | metric) ("@" (number | metric))?
// A name is letters, digits and "_"; `views` binds it to a view or a layout guide. Along H the
// edges are leading and trailing, along V top and bottom; a connection relates the later element's
// near edge to the earlier element's far edge plus the spacing; "|" is the superview of the first
// view of the format. The standard spacing is kStandardSpacing between siblings and from a guide,
// kStandardSuperviewSpacing to the superview's edge.
//
// Options: the alignment bits (left 2, right 4, top 8, bottom 16, leading 32, trailing 64, centre X
// 512, centre Y 1024) relate each view of the format to the first; they must lie across the
// format's axis. Other bits are ignored.
//
// Malformed input is an error with the position (a byte offset into the format); nothing is made.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/uikit/layout_attribute.h"

namespace ns {
class Dictionary;
}

namespace ui::detail {

inline constexpr double kStandardSpacing = 8;
inline constexpr double kStandardSuperviewSpacing = 20;

struct VisualConstraint {
    rt::Id item1;
    LayoutAttribute attribute1 = LayoutAttribute::NotAnAttribute;
    LayoutRelation relation = LayoutRelation::Equal;
    rt::Id item2;
    LayoutAttribute attribute2 = LayoutAttribute::NotAnAttribute;
    double constant = 0;
    float priority = LayoutPriorityRequired;
};

struct VisualFormatResult {
    std::vector<VisualConstraint> constraints; // in format order; empty on error
    std::string error;                         // empty when the format parsed
    std::size_t position = 0;
};

VisualFormatResult parseVisualFormat(std::string_view format, unsigned long options,
                                     const rt::Ref<ns::Dictionary>& metrics, const rt::Ref<ns::Dictionary>& views);

} // namespace ui::detail
