#pragma once
// ui::LayoutConstraint ("NSLayoutConstraint"): item1.attribute1 <relation> multiplier *
// item2.attribute2 + constant, at a priority (1000 is required). Views hold them; the layout pass
// solves them (view.h).
//
// Items. An item is a view, or a layout guide: an object that answers "owningView" with the view
// it belongs to (layoutItemView). Constraints hold their items weakly; the view that holds a
// constraint owns it.
//
// The factory never raises: a constraint that cannot mean anything is refused (nil, and one log
// line naming the reason and the items). Refused are a nil first item, an attribute outside 0-20,
// a first attribute of 0, a multiplier or constant that is not finite, a location attribute
// (anything but width and height) without a second item or with multiplier 0, a second item
// without an attribute or the reverse, and a location paired with a size or a horizontal
// location with a vertical one.
//
// Active. A constraint added to a view is active; setActive(true) adds it to the closest common
// ancestor of its items' views (the first item's view when there is no second item), and
// setActive(false) takes it off the view that holds it. Adding, removing and activating, and
// changing the constant or the priority, mark the holding view as needing layout.
//
// Visual format. constraintsWithVisualFormat parses the format (the subset visual_format.h names)
// and answers its constraints in format order, not added; each keeps the format string, options,
// metrics and views exactly as given. A malformed format, or an unknown name, makes nothing and
// logs one line with the format and the position.
//
// Descriptions go through the describer installed with setDescriber (a library above the stand-in
// installs its own at start-up, as a category would); without one, a plain default.

#include <string_view>
#include <type_traits>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"
#include "platform/uikit/layout_attribute.h"

namespace ns {
class Array;
}

namespace ui {

class View;


// The view an item stands for: the item itself when it is a view, a layout guide's owning view,
// nil otherwise.
rt::Ref<View> layoutItemView(const rt::Id& item);

class LayoutConstraint : public rt::Object {
    RT_CLASS(LayoutConstraint)
public:
    // The factory, making T (LayoutConstraint or a subclass); nil when refused (see above).
    template <class T = LayoutConstraint>
    static rt::Ref<T> make(const rt::Id& item1, LayoutAttribute attribute1, LayoutRelation relation,
                           const rt::Id& item2, LayoutAttribute attribute2, double multiplier, double constant) {
        static_assert(std::is_base_of_v<LayoutConstraint, T>);
        if (!acceptable(item1, attribute1, item2, attribute2, multiplier, constant)) return nullptr;
        auto made = rt::make<T>();
        made->assign(item1, attribute1, relation, item2, attribute2, multiplier, constant);
        return made;
    }
    static rt::Ref<LayoutConstraint> constraintWithItem(const rt::Id& item1, LayoutAttribute attribute1,
                                                        LayoutRelation relation, const rt::Id& item2,
                                                        LayoutAttribute attribute2, double multiplier,
                                                        double constant) {
        return make(item1, attribute1, relation, item2, attribute2, multiplier, constant);
    }
    // Sets the active flag of each (other objects are skipped).
    static void activateConstraints(const rt::Ref<ns::Array>& constraints);
    static void deactivateConstraints(const rt::Ref<ns::Array>& constraints);
    // The format's constraints (see above); an empty array for a malformed format.
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
    // The view that holds the constraint, or nil.
    rt::Ref<View> holdingView() const;
    const rt::Ref<ns::String>& identifier() const noexcept { return identifier_; }
    void setIdentifier(rt::Ref<ns::String> identifier);

    // A visual-format record: the format (nil for a plain constraint), its options, metrics and views.
    const rt::Ref<ns::String>& visualFormat() const noexcept { return format_; }
    unsigned long formatOptions() const noexcept { return options_; }
    const rt::Ref<ns::Dictionary>& metrics() const noexcept { return metrics_; }
    const rt::Ref<ns::Dictionary>& views() const noexcept { return views_; }

    std::string description() const override;
    // Replaces the description of every constraint (null: the default). Set once at start-up.
    using Describer = std::string (*)(const LayoutConstraint& constraint);
    static void setDescriber(Describer describer);

protected:
    LayoutConstraint() = default;

private:
    friend class View;
    // Logs and answers false for a constraint the factory refuses.
    static bool acceptable(const rt::Id& item1, LayoutAttribute attribute1, const rt::Id& item2,
                           LayoutAttribute attribute2, double multiplier, double constant);
    void assign(const rt::Id& item1, LayoutAttribute attribute1, LayoutRelation relation, const rt::Id& item2,
                LayoutAttribute attribute2, double multiplier, double constant);
    // Called by the view that takes the constraint on (nil: that lets it go).
    void setHolder(View* view);

    rt::Weak<rt::Object> first_, second_;
    rt::Weak<View> holder_;
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
