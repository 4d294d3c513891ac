#include "ui/layout/composite_constraint.h"

#include <algorithm>
#include <string>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace lc {

CompositeConstraint::CompositeConstraint(std::vector<rt::Ref<Constraint>> children) : children_(std::move(children)) {}

rt::Ref<CompositeConstraint> CompositeConstraint::make(std::vector<rt::Ref<Constraint>> children) {
    auto composite = rt::make<CompositeConstraint>(std::move(children));
    for (const auto& child : composite->children_)
        child->setDelegate(composite);
    return composite;
}

template <class F>
rt::Ref<Constraint> CompositeConstraint::forEachChild(F&& operation) {
    const std::vector<rt::Ref<Constraint>> children = children_;
    for (const auto& child : children)
        operation(*child);
    return rt::retained(this);
}

void CompositeConstraint::constraintShouldBeReplacedWithConstraint(const rt::Ref<Constraint>& old,
                                                                   const rt::Ref<Constraint>& replacement) {
    auto at = std::find(children_.begin(), children_.end(), old);
    if (at == children_.end()) return;
    *at = replacement;
    if (!forwardsReplacements_) return;
    rt::Id holder;
    if (ConstraintDelegate* owner = this->owner(holder)) owner->constraintShouldBeReplacedWithConstraint(old, replacement);
}

rt::Ref<Constraint> CompositeConstraint::constraintAddConstraintWithLayoutAttribute(const rt::Ref<Constraint>&,
                                                                                    ui::LayoutAttribute attribute) {
    rt::Id holder;
    ConstraintDelegate* owner = this->owner(holder);
    if (!owner) return nullptr;
    rt::Ref<Constraint> made = owner->constraintAddConstraintWithLayoutAttribute(rt::retained(this), attribute);
    if (!made) return nullptr;
    made->setDelegate(rt::retained(this));
    children_.push_back(made);
    return made;
}

rt::Ref<Constraint> CompositeConstraint::addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute) {
    constraintAddConstraintWithLayoutAttribute(rt::retained(this), attribute);
    return rt::retained(this);
}

rt::Ref<Constraint> CompositeConstraint::multipliedBy(double multiplier) {
    return forEachChild([&](Constraint& child) { child.multipliedBy(multiplier); });
}

rt::Ref<Constraint> CompositeConstraint::dividedBy(double divisor) {
    return forEachChild([&](Constraint& child) { child.dividedBy(divisor); });
}

rt::Ref<Constraint> CompositeConstraint::priority(float priority) {
    return forEachChild([&](Constraint& child) { child.priority(priority); });
}

rt::Ref<Constraint> CompositeConstraint::equalToWithRelation(const rt::Id& item, ui::LayoutRelation relation) {
    return forEachChild([&](Constraint& child) { child.equalToWithRelation(item, relation); });
}

rt::Ref<Constraint> CompositeConstraint::key(const rt::Id& key) {
    key_ = key;
    const std::string base = key ? key->description() : "(null)";
    int index = 0;
    return forEachChild([&](Constraint& child) {
        child.key(ns::String::make(base + "[" + std::to_string(index++) + "]"));
    });
}

void CompositeConstraint::setInsets(ui::EdgeInsets insets) {
    forEachChild([&](Constraint& child) { child.setInsets(insets); });
}

void CompositeConstraint::setSizeOffset(cg::Size offset) {
    forEachChild([&](Constraint& child) { child.setSizeOffset(offset); });
}

void CompositeConstraint::setCenterOffset(cg::Point offset) {
    forEachChild([&](Constraint& child) { child.setCenterOffset(offset); });
}

void CompositeConstraint::setOffset(double offset) {
    forEachChild([&](Constraint& child) { child.setOffset(offset); });
}

void CompositeConstraint::activate() {
    forEachChild([](Constraint& child) { child.activate(); });
}

void CompositeConstraint::deactivate() {
    forEachChild([](Constraint& child) { child.deactivate(); });
}

void CompositeConstraint::install() {
    forEachChild([this](Constraint& child) {
        child.setUpdateExisting(updateExisting());
        child.install();
    });
}

void CompositeConstraint::uninstall() {
    forEachChild([](Constraint& child) { child.uninstall(); });
}

RT_DEFINE_CLASS(CompositeConstraint, "LCCompositeConstraint", Constraint,
                rt::adopts(ConstraintDelegate::protocol()),
                rt::prop("lc_key", &CompositeConstraint::lcKey),
                rt::method("constraint:shouldBeReplacedWithConstraint:",
                           &CompositeConstraint::constraintShouldBeReplacedWithConstraint),
                rt::method("constraint:addConstraintWithLayoutAttribute:",
                           &CompositeConstraint::constraintAddConstraintWithLayoutAttribute))

} // namespace lc
