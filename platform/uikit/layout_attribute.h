#pragma once
// Layout attributes, relations and priorities, in the platform's numbering (attribute masks and
// stored constraints depend on the numbers).

namespace ui {

enum class LayoutAttribute : long {
    NotAnAttribute = 0, Left = 1, Right = 2, Top = 3, Bottom = 4, Leading = 5, Trailing = 6, Width = 7,
    Height = 8, CenterX = 9, CenterY = 10, LastBaseline = 11, FirstBaseline = 12, LeftMargin = 13,
    RightMargin = 14, TopMargin = 15, BottomMargin = 16, LeadingMargin = 17, TrailingMargin = 18,
    CenterXWithinMargins = 19, CenterYWithinMargins = 20,
};
enum class LayoutRelation : long { LessThanOrEqual = -1, Equal = 0, GreaterThanOrEqual = 1 };

inline constexpr float LayoutPriorityRequired = 1000;
inline constexpr float LayoutPriorityDefaultHigh = 750;
inline constexpr float LayoutPriorityDefaultLow = 250;

} // namespace ui
