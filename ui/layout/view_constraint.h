#pragma once
// lc::ViewConstraint ("LCViewConstraint"): one constraint, first view attribute <relation>
// multiplier * second view attribute + constant at a priority, which install turns into one
// platform constraint (an lc::LayoutConstraint) on the right view.
//
// Install. A location without a second attribute relates to the same attribute of the view's
// superview; a size without one is a constant size. The platform constraint goes to the closest
// common ancestor of the two views, or for a constant size to the view itself. With
// updateExisting, an installed lc::LayoutConstraint on that view with the same items, attributes,
// relation, multiplier and priority (the newest such) takes the new constant instead, and nothing
// is added. A constraint the platform refuses (an infinite multiplier, a location on a view
// without a superview) stays uninstalled; so does one whose views share no ancestor (logged).
//
// States: new (no platform constraint), installed (its platform constraint on a view, the
// constraint in its view's installed set), adopted (it took over a similar platform constraint by
// update; in no set), deactivated (the platform constraint kept, strongly, and inactive; out of
// the set). install on an installed, adopted or active constraint does nothing; uninstall returns
// it to new; activate brings a deactivated one back with the very same platform constraint. The
// view holding the platform constraint owns it, so a constraint whose platform constraint its
// view lets go is new again.
//
// The installed set of a view (installedConstraints) holds every view constraint installed with
// that view as first view.

#include "ui/layout/constraint.h"

namespace ns {
class Array;
class MutableSet;
} // namespace ns

namespace ui {
class View;
}

namespace lc {

class LayoutConstraint;
class ViewAttribute;

class ViewConstraint : public Constraint {
    RT_CLASS(ViewConstraint)
public:
    static rt::Ref<ViewConstraint> make(const rt::Ref<ViewAttribute>& firstViewAttribute);
    // The members of the view's installed set, in no order.
    static rt::Ref<ns::Array> installedConstraintsForView(const rt::Ref<ui::View>& view);

    const rt::Ref<ViewAttribute>& firstViewAttribute() const noexcept { return first_; }
    const rt::Ref<ViewAttribute>& secondViewAttribute() const noexcept { return second_; }
    // A number or value sets the constant (setLayoutConstantWithValue); a view becomes its
    // attribute of the first attribute's kind; a view attribute is kept; anything else is ignored.
    void setSecondViewAttribute(const rt::Id& item);
    rt::Ref<ui::View> installedView() const;
    rt::Ref<LayoutConstraint> layoutConstraint() const;
    ui::LayoutRelation layoutRelation() const noexcept { return relation_; }
    void setLayoutRelation(ui::LayoutRelation relation);
    bool hasLayoutRelation() const noexcept { return hasRelation_; }
    float layoutPriority() const noexcept { return priority_; }
    double layoutMultiplier() const noexcept { return multiplier_; }
    double layoutConstant() const noexcept { return constant_; }
    // Also moves the platform constraint, when there is one.
    void setLayoutConstant(double constant);
    const rt::Id& lcKey() const noexcept { return key_; }
    bool useAnimator() const noexcept { return useAnimator_; }
    void setUseAnimator(bool useAnimator);

    // Every platform constraint has the active flag: true while there is one.
    bool supportsActiveProperty() const;
    bool isActive() const;
    bool hasBeenInstalled() const;
    // The newest installed lc::LayoutConstraint of the installed view similar to `constraint`.
    rt::Ref<LayoutConstraint> layoutConstraintSimilarTo(const rt::Ref<LayoutConstraint>& constraint) const;

    // A new constraint of the same first attribute, constant, relation, priority, multiplier and
    // delegate; nothing else.
    rt::Id copy() const override;

    rt::Ref<Constraint> multipliedBy(double multiplier) override;
    // 1 / divisor, unguarded: 0 gives an infinite multiplier, which install refuses.
    rt::Ref<Constraint> dividedBy(double divisor) override;
    rt::Ref<Constraint> priority(float priority) override;
    // An array makes a composite of copies, one per element, in the receiver's place.
    rt::Ref<Constraint> equalToWithRelation(const rt::Id& item, ui::LayoutRelation relation) override;
    rt::Ref<Constraint> key(const rt::Id& key) override;
    // The part of the value that fits the first attribute; margins take only offsets.
    void setInsets(ui::EdgeInsets insets) override;
    void setSizeOffset(cg::Size offset) override;
    void setCenterOffset(cg::Point offset) override;
    void setOffset(double offset) override;
    void activate() override;
    void deactivate() override;
    void install() override;
    void uninstall() override;
    rt::Ref<Constraint> addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute) override;

private:
    explicit ViewConstraint(const rt::Ref<ViewAttribute>& first);

    ui::LayoutAttribute firstAttribute() const noexcept;
    // The first view's installed set; made on first use.
    rt::Ref<ns::MutableSet> installedSet() const;

    rt::Ref<ViewAttribute> first_, second_;
    rt::Weak<ui::View> installedView_;
    rt::Weak<LayoutConstraint> layoutConstraint_;
    // Held while deactivated: no view holds it then.
    rt::Ref<LayoutConstraint> inactive_;
    ui::LayoutRelation relation_ = ui::LayoutRelation::Equal;
    float priority_ = ui::LayoutPriorityRequired;
    double multiplier_ = 1;
    double constant_ = 0;
    bool hasRelation_ = false;
    bool useAnimator_ = false;
    rt::Id key_;
};

// The view's installed set of view constraints (made empty on first use).
rt::Ref<ns::MutableSet> installedConstraints(const rt::Ref<ui::View>& view);

} // namespace lc
