#pragma once
// lc::CompositeConstraint ("LCCompositeConstraint"): a group of constraints that one chain reaches
// at once. It owns its members and is their delegate; every chain operation goes to each member in
// order and returns the composite. Chaining an attribute adds a member for it.
//
// A group made by the maker's group() is not in the maker's list (its members are): when a member
// replaces itself (related to an array), the group passes the replacement on to the maker too, so
// the maker installs the replacement rather than the stale member.

#include <vector>

#include "ui/layout/constraint.h"

namespace lc {

class CompositeConstraint : public Constraint, public ConstraintDelegate {
    RT_CLASS(CompositeConstraint)
    RT_ADOPTS_INTERFACE
public:
    // Becomes the delegate of every member.
    static rt::Ref<CompositeConstraint> make(std::vector<rt::Ref<Constraint>> children);

    const std::vector<rt::Ref<Constraint>>& childConstraints() const noexcept { return children_; }
    const rt::Id& lcKey() const noexcept { return key_; }
    // Replacements in this group are passed on to its own delegate as well (see above).
    void setForwardsReplacements(bool forwards) noexcept { forwardsReplacements_ = forwards; }

    // ---- ConstraintDelegate ----
    void constraintShouldBeReplacedWithConstraint(const rt::Ref<Constraint>& old,
                                                  const rt::Ref<Constraint>& replacement) override;
    // Asks its own delegate for the constraint and adopts it as its last member.
    rt::Ref<Constraint> constraintAddConstraintWithLayoutAttribute(const rt::Ref<Constraint>& constraint,
                                                                   ui::LayoutAttribute attribute) override;

    rt::Ref<Constraint> multipliedBy(double multiplier) override;
    rt::Ref<Constraint> dividedBy(double divisor) override;
    rt::Ref<Constraint> priority(float priority) override;
    rt::Ref<Constraint> equalToWithRelation(const rt::Id& item, ui::LayoutRelation relation) override;
    // The group's key; member i gets "<key>[i]".
    rt::Ref<Constraint> key(const rt::Id& key) override;
    void setInsets(ui::EdgeInsets insets) override;
    void setSizeOffset(cg::Size offset) override;
    void setCenterOffset(cg::Point offset) override;
    void setOffset(double offset) override;
    void activate() override;
    void deactivate() override;
    // Hands its updateExisting on to each member first.
    void install() override;
    void uninstall() override;
    // Adds a member; returns the composite.
    rt::Ref<Constraint> addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute) override;

private:
    explicit CompositeConstraint(std::vector<rt::Ref<Constraint>> children);
    // Runs `operation` on each member of a copy of the list.
    template <class F>
    rt::Ref<Constraint> forEachChild(F&& operation);

    std::vector<rt::Ref<Constraint>> children_;
    rt::Id key_;
    bool forwardsReplacements_ = false;
};

} // namespace lc
