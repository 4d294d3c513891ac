#include "ui/layout/constraint_maker.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/view.h"
#include "ui/layout/composite_constraint.h"

namespace lc {

namespace {

constexpr long bit(ui::LayoutAttribute attribute) {
    return 1L << long(attribute);
}

} // namespace

ConstraintMaker::ConstraintMaker(const rt::Ref<ui::View>& view) : view_(view) {}

rt::Ref<ConstraintMaker> ConstraintMaker::make(const rt::Ref<ui::View>& view) {
    return rt::make<ConstraintMaker>(view);
}

rt::Ref<ui::View> ConstraintMaker::view() const {
    return view_.lock();
}

void ConstraintMaker::setUpdateExisting(bool updateExisting) {
    rt::KeyChange change(this, "updateExisting");
    updateExisting_ = updateExisting;
}

void ConstraintMaker::setRemoveExisting(bool removeExisting) {
    rt::KeyChange change(this, "removeExisting");
    removeExisting_ = removeExisting;
}

rt::Ref<Constraint> ConstraintMaker::attributes(long mask) {
    return addConstraintWithAttributes(mask);
}

rt::Ref<Constraint> ConstraintMaker::edges() {
    return addConstraintWithAttributes(bit(ui::LayoutAttribute::Left) | bit(ui::LayoutAttribute::Right) |
                                       bit(ui::LayoutAttribute::Top) | bit(ui::LayoutAttribute::Bottom));
}

rt::Ref<Constraint> ConstraintMaker::size() {
    return addConstraintWithAttributes(bit(ui::LayoutAttribute::Width) | bit(ui::LayoutAttribute::Height));
}

rt::Ref<Constraint> ConstraintMaker::center() {
    return addConstraintWithAttributes(bit(ui::LayoutAttribute::CenterX) | bit(ui::LayoutAttribute::CenterY));
}

rt::Ref<Constraint> ConstraintMaker::addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute) {
    return constraintAddConstraintWithLayoutAttribute(nullptr, attribute);
}

rt::Ref<CompositeConstraint> ConstraintMaker::addConstraintWithAttributes(long mask) {
    const rt::Ref<ui::View> view = this->view();
    std::vector<rt::Ref<Constraint>> members;
    for (long value = long(ui::LayoutAttribute::Left); value <= long(ui::LayoutAttribute::CenterYWithinMargins); ++value) {
        const auto attribute = ui::LayoutAttribute(value);
        if (attribute != ui::LayoutAttribute::FirstBaseline && (mask & bit(attribute)))
            members.push_back(ViewConstraint::make(lc::attribute(view, attribute)));
    }
    auto composite = CompositeConstraint::make(std::move(members));
    composite->setDelegate(rt::retained(this));
    constraints_.push_back(composite);
    return composite;
}

rt::Ref<Constraint> ConstraintMaker::group(const std::function<void()>& block) {
    const std::size_t start = constraints_.size();
    if (block) block();
    std::vector<rt::Ref<Constraint>> members(constraints_.begin() + std::ptrdiff_t(std::min(start, constraints_.size())),
                                             constraints_.end());
    auto composite = CompositeConstraint::make(std::move(members));
    composite->setDelegate(rt::retained(this));
    composite->setForwardsReplacements(true);
    return composite;
}

rt::Ref<Constraint> ConstraintMaker::constraintAddConstraintWithLayoutAttribute(const rt::Ref<Constraint>& constraint,
                                                                                ui::LayoutAttribute attribute) {
    auto made = ViewConstraint::make(lc::attribute(view(), attribute));
    if (rt::cast<ViewConstraint>(constraint)) {
        auto composite = CompositeConstraint::make({constraint, made});
        composite->setDelegate(rt::retained(this));
        constraintShouldBeReplacedWithConstraint(constraint, composite);
        return composite;
    }
    if (!constraint) {
        made->setDelegate(rt::retained(this));
        constraints_.push_back(made);
    }
    return made;
}

void ConstraintMaker::constraintShouldBeReplacedWithConstraint(const rt::Ref<Constraint>& old,
                                                               const rt::Ref<Constraint>& replacement) {
    auto at = std::find(constraints_.begin(), constraints_.end(), old);
    if (at != constraints_.end()) *at = replacement;
}

std::vector<rt::Ref<Constraint>> ConstraintMaker::install() {
    if (removeExisting_) {
        const rt::Ref<ns::Array> installed = ViewConstraint::installedConstraintsForView(view());
        for (const rt::Id& constraint : *installed)
            rt::downcast<ViewConstraint>(constraint)->uninstall();
    }
    std::vector<rt::Ref<Constraint>> made = constraints_;
    for (const auto& constraint : made) {
        constraint->setUpdateExisting(updateExisting_);
        constraint->install();
    }
    constraints_.clear();
    return made;
}

RT_DEFINE_CLASS(ConstraintMaker, "LCConstraintMaker", rt::Object, rt::adopts(ConstraintDelegate::protocol()),
                rt::prop("view", &ConstraintMaker::view, {.memory = rt::Memory::Weak}),
                rt::prop("updateExisting", &ConstraintMaker::updateExisting, &ConstraintMaker::setUpdateExisting),
                rt::prop("removeExisting", &ConstraintMaker::removeExisting, &ConstraintMaker::setRemoveExisting),
                rt::method("constraint:shouldBeReplacedWithConstraint:",
                           &ConstraintMaker::constraintShouldBeReplacedWithConstraint),
                rt::method("constraint:addConstraintWithLayoutAttribute:",
                           &ConstraintMaker::constraintAddConstraintWithLayoutAttribute))

} // namespace lc
