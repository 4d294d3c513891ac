#pragma once
// ui::LayoutConstraint ("NSLayoutConstraint"), kept as a record: nothing solves it yet.
//
// A constraint says item1.attribute1 <relation> multiplier * item2.attribute2 + constant, at a
// priority (1000 is required). The items are held weakly (a view holds its constraints). A
// visual-format constraint keeps its format string, options, metrics and views exactly as given:
// constraintsWithVisualFormat answers one such record, for the layout pass to read.

#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {
class Array;
}

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

class LayoutConstraint : public rt::Object {
    RT_CLASS(LayoutConstraint)
public:
    static rt::Ref<LayoutConstraint> constraintWithItem(const rt::Id& item1, LayoutAttribute attribute1,
                                                        LayoutRelation relation, const rt::Id& item2,
                                                        LayoutAttribute attribute2, double multiplier,
                                                        double constant);
    // One record holding the format and what came with it (see above).
    static rt::Ref<ns::Array> constraintsWithVisualFormat(std::string_view format, unsigned long options,
                                                          const rt::Ref<ns::Dictionary>& metrics,
                                                          const rt::Ref<ns::Dictionary>& views);

    rt::Id firstItem() const { return first_.lock(); }
    LayoutAttribute firstAttribute() const noexcept { return firstAttribute_; }
    LayoutRelation relation() const noexcept { return relation_; }
    rt::Id secondItem() const { return second_.lock(); }
    LayoutAttribute secondAttribute() const noexcept { return secondAttribute_; }
    double multiplier() const noexcept { return multiplier_; }
    double constant() const noexcept { return constant_; }
    void setConstant(double constant);
    float priority() const noexcept { return priority_; }
    // Between 1 and 1000; others are logged and ignored.
    void setPriority(float priority);
    bool isActive() const noexcept { return active_; }
    void setActive(bool active);
    const rt::Ref<ns::String>& identifier() const noexcept { return identifier_; }
    void setIdentifier(rt::Ref<ns::String> identifier);

    // A visual-format record: the format (nil for a plain constraint), its options, metrics and views.
    const rt::Ref<ns::String>& visualFormat() const noexcept { return format_; }
    unsigned long formatOptions() const noexcept { return options_; }
    const rt::Ref<ns::Dictionary>& metrics() const noexcept { return metrics_; }
    const rt::Ref<ns::Dictionary>& views() const noexcept { return views_; }

    std::string description() const override;

protected:
    LayoutConstraint() = default;

private:
    rt::Weak<rt::Object> first_, second_;
    LayoutAttribute firstAttribute_ = LayoutAttribute::NotAnAttribute;
    LayoutAttribute secondAttribute_ = LayoutAttribute::NotAnAttribute;
    LayoutRelation relation_ = LayoutRelation::Equal;
    double multiplier_ = 1;
    double constant_ = 0;
    float priority_ = LayoutPriorityRequired;
    bool active_ = false;
    rt::Ref<ns::String> identifier_;
    rt::Ref<ns::String> format_;
    unsigned long options_ = 0;
    rt::Ref<ns::Dictionary> metrics_, views_;
};

} // namespace ui
