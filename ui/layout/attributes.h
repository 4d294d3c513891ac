#pragma once
// The layout attributes this library names, in attribute order (first baseline has no name
// here): F(getter name, ui::LayoutAttribute enumerator).

#define LC_FOR_EACH_ATTRIBUTE(F)                                                                           \
    F(left, Left)                                                                                          \
    F(right, Right)                                                                                        \
    F(top, Top)                                                                                            \
    F(bottom, Bottom)                                                                                      \
    F(leading, Leading)                                                                                    \
    F(trailing, Trailing)                                                                                  \
    F(width, Width)                                                                                        \
    F(height, Height)                                                                                      \
    F(centerX, CenterX)                                                                                    \
    F(centerY, CenterY)                                                                                    \
    F(baseline, LastBaseline)                                                                              \
    F(leftMargin, LeftMargin)                                                                              \
    F(rightMargin, RightMargin)                                                                            \
    F(topMargin, TopMargin)                                                                                \
    F(bottomMargin, BottomMargin)                                                                          \
    F(leadingMargin, LeadingMargin)                                                                        \
    F(trailingMargin, TrailingMargin)                                                                      \
    F(centerXWithinMargins, CenterXWithinMargins)                                                          \
    F(centerYWithinMargins, CenterYWithinMargins)
