#include "ui/layout/view_constraint.h"

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/value.h"
#include "platform/uikit/view.h"
#include "ui/layout/composite_constraint.h"
#include "ui/layout/layout_constraint.h"
#include "ui/layout/view_attribute.h"

namespace lc {

namespace {
const char kInstalledSetKey = 0;
} // namespace

rt::Ref<ns::MutableSet> installedConstraints(const rt::Ref<ui::View>& view) {
    if (!view) return nullptr;
    if (auto set = rt::cast<ns::MutableSet>(rt::getAssociatedObject(view.get(), &kInstalledSetKey))) return set;
    auto set = ns::MutableSet::make();
    rt::setAssociatedObject(view.get(), &kInstalledSetKey, set, rt::AssociationPolicy::Retain);
    return set;
}

ViewConstraint::ViewConstraint(const rt::Ref<ViewAttribute>& first) : first_(first) {}

rt::Ref<ViewConstraint> ViewConstraint::make(const rt::Ref<ViewAttribute>& firstViewAttribute) {
    return rt::make<ViewConstraint>(firstViewAttribute);
}

rt::Ref<ns::Array> ViewConstraint::installedConstraintsForView(const rt::Ref<ui::View>& view) {
    auto set = installedConstraints(view);
    return set ? set->allObjects() : ns::Array::make();
}

ui::LayoutAttribute ViewConstraint::firstAttribute() const noexcept {
    return first_ ? first_->layoutAttribute() : ui::LayoutAttribute::NotAnAttribute;
}

rt::Ref<ns::MutableSet> ViewConstraint::installedSet() const {
    return installedConstraints(first_ ? first_->view() : nullptr);
}

void ViewConstraint::setSecondViewAttribute(const rt::Id& item) {
    if (rt::cast<ns::Value>(item)) {
        setLayoutConstantWithValue(item);
    } else if (auto view = rt::cast<ui::View>(item)) {
        second_ = ViewAttribute::make(view, firstAttribute());
    } else if (auto attribute = rt::cast<ViewAttribute>(item)) {
        second_ = attribute;
    }
}

void ViewConstraint::setUseAnimator(bool useAnimator) {
    rt::KeyChange change(this, "useAnimator");
    useAnimator_ = useAnimator;
}

rt::Ref<ui::View> ViewConstraint::installedView() const {
    return installedView_.lock();
}

rt::Ref<LayoutConstraint> ViewConstraint::layoutConstraint() const {
    return layoutConstraint_.lock();
}

void ViewConstraint::setLayoutRelation(ui::LayoutRelation relation) {
    rt::KeyChange change(this, "layoutRelation");
    relation_ = relation;
    hasRelation_ = true;
}

void ViewConstraint::setLayoutConstant(double constant) {
    rt::KeyChange change(this, "layoutConstant");
    constant_ = constant;
    if (auto platform = layoutConstraint()) platform->setConstant(constant);
}

bool ViewConstraint::supportsActiveProperty() const {
    return layoutConstraint() != nullptr;
}

bool ViewConstraint::isActive() const {
    auto platform = layoutConstraint();
    return !platform || platform->isActive();
}

bool ViewConstraint::hasBeenInstalled() const {
    auto platform = layoutConstraint();
    return platform && platform->isActive();
}

rt::Id ViewConstraint::copy() const {
    auto copy = rt::make<ViewConstraint>(first_);
    copy->constant_ = constant_;
    copy->setLayoutRelation(relation_);
    copy->priority_ = priority_;
    copy->multiplier_ = multiplier_;
    copy->setDelegate(delegate());
    return copy;
}

// ---- Chain -------------------------------------------------------------------------------------

rt::Ref<Constraint> ViewConstraint::multipliedBy(double multiplier) {
    multiplier_ = multiplier;
    return rt::retained(this);
}

rt::Ref<Constraint> ViewConstraint::dividedBy(double divisor) {
    multiplier_ = 1.0 / divisor;
    return rt::retained(this);
}

rt::Ref<Constraint> ViewConstraint::priority(float priority) {
    priority_ = priority;
    return rt::retained(this);
}

rt::Ref<Constraint> ViewConstraint::equalToWithRelation(const rt::Id& item, ui::LayoutRelation relation) {
    auto array = rt::cast<ns::Array>(item);
    if (!array) {
        setLayoutRelation(relation);
        setSecondViewAttribute(item);
        return rt::retained(this);
    }
    std::vector<rt::Ref<Constraint>> copies;
    copies.reserve(array->count());
    for (const rt::Id& element : *array) {
        auto copy = rt::downcast<ViewConstraint>(this->copy());
        copy->setLayoutRelation(relation);
        copy->setSecondViewAttribute(element);
        copies.push_back(std::move(copy));
    }
    auto composite = CompositeConstraint::make(std::move(copies));
    rt::Id holder;
    ConstraintDelegate* owner = this->owner(holder);
    composite->setDelegate(holder);
    if (owner) owner->constraintShouldBeReplacedWithConstraint(rt::retained(this), composite);
    return composite;
}

rt::Ref<Constraint> ViewConstraint::key(const rt::Id& key) {
    key_ = key;
    return rt::retained(this);
}

void ViewConstraint::setInsets(ui::EdgeInsets insets) {
    switch (firstAttribute()) {
    case ui::LayoutAttribute::Left:
    case ui::LayoutAttribute::Leading: return setLayoutConstant(insets.left);
    case ui::LayoutAttribute::Right:
    case ui::LayoutAttribute::Trailing: return setLayoutConstant(-insets.right);
    case ui::LayoutAttribute::Top: return setLayoutConstant(insets.top);
    case ui::LayoutAttribute::Bottom: return setLayoutConstant(-insets.bottom);
    default: return;
    }
}

void ViewConstraint::setSizeOffset(cg::Size offset) {
    switch (firstAttribute()) {
    case ui::LayoutAttribute::Width: return setLayoutConstant(offset.width);
    case ui::LayoutAttribute::Height: return setLayoutConstant(offset.height);
    default: return;
    }
}

void ViewConstraint::setCenterOffset(cg::Point offset) {
    switch (firstAttribute()) {
    case ui::LayoutAttribute::CenterX: return setLayoutConstant(offset.x);
    case ui::LayoutAttribute::CenterY: return setLayoutConstant(offset.y);
    default: return;
    }
}

void ViewConstraint::setOffset(double offset) {
    setLayoutConstant(offset);
}

rt::Ref<Constraint> ViewConstraint::addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute) {
    rt::Id holder;
    ConstraintDelegate* owner = this->owner(holder);
    rt::Ref<Constraint> made = owner ? owner->constraintAddConstraintWithLayoutAttribute(rt::retained(this), attribute)
                                     : nullptr;
    return made ? made : rt::Ref<Constraint>(rt::retained(this));
}

// ---- Installation ------------------------------------------------------------------------------

void ViewConstraint::install() {
    if (hasBeenInstalled()) return;
    const rt::Ref<ui::View> firstView = first_ ? first_->view() : nullptr;
    const rt::Ref<ui::View> secondView = second_ ? second_->view() : nullptr;
    const ui::LayoutAttribute attribute = firstAttribute();
    rt::Id secondItem = second_ ? second_->item() : nullptr;
    ui::LayoutAttribute secondAttribute = second_ ? second_->layoutAttribute() : ui::LayoutAttribute::NotAnAttribute;
    const bool size = first_ && first_->isSizeAttribute();
    if (!size && !second_) {
        secondItem = firstView ? firstView->superview() : nullptr;
        secondAttribute = attribute;
    }

    auto made = ui::LayoutConstraint::make<LayoutConstraint>(first_ ? first_->item() : nullptr, attribute, relation_,
                                                             secondItem, secondAttribute, multiplier_, constant_);
    if (!made) return; // refused and logged by the factory
    made->setPriority(priority_);
    made->setKey(key_);

    rt::Ref<ui::View> target;
    if (secondView) target = ui::View::closestCommonAncestor(firstView, secondView);
    else if (size) target = firstView;
    else if (firstView) target = firstView->superview();
    installedView_ = target;
    if (!target) {
        ns::log("LCViewConstraint: not installed, %@ and %@ have no common ancestor", firstView, secondView);
        return;
    }
    inactive_ = nullptr;

    if (updateExisting()) {
        if (auto existing = layoutConstraintSimilarTo(made)) {
            existing->setConstant(made->constant());
            layoutConstraint_ = existing;
            return;
        }
    }
    target->addConstraint(made);
    layoutConstraint_ = made;
    installedSet()->addObject(rt::retained(this));
}

rt::Ref<LayoutConstraint> ViewConstraint::layoutConstraintSimilarTo(const rt::Ref<LayoutConstraint>& constraint) const {
    const rt::Ref<ui::View> view = installedView();
    if (!view || !constraint) return nullptr;
    const auto& held = view->constraintList();
    for (auto at = held.rbegin(); at != held.rend(); ++at) {
        auto candidate = rt::cast<LayoutConstraint>(*at);
        if (!candidate) continue;
        if (candidate->firstItem() == constraint->firstItem() && candidate->secondItem() == constraint->secondItem() &&
            candidate->firstAttribute() == constraint->firstAttribute() &&
            candidate->secondAttribute() == constraint->secondAttribute() &&
            candidate->relation() == constraint->relation() && candidate->multiplier() == constraint->multiplier() &&
            candidate->priority() == constraint->priority())
            return candidate;
    }
    return nullptr;
}

void ViewConstraint::uninstall() {
    const rt::Ref<ViewConstraint> keep = rt::retained(this);
    const rt::Ref<ui::View> view = installedView();
    if (auto platform = layoutConstraint(); platform && view) view->removeConstraint(platform);
    layoutConstraint_ = nullptr;
    installedView_ = nullptr;
    inactive_ = nullptr;
    if (auto set = installedSet()) set->removeObject(keep);
}

void ViewConstraint::activate() {
    auto platform = layoutConstraint();
    if (!platform) return install();
    if (platform->isActive()) return;
    platform->setActive(true);
    if (!platform->isActive()) return; // refused: the views no longer meet
    inactive_ = nullptr;
    installedSet()->addObject(rt::retained(this));
}

void ViewConstraint::deactivate() {
    auto platform = layoutConstraint();
    if (!platform) return uninstall();
    const rt::Ref<ViewConstraint> keep = rt::retained(this);
    inactive_ = platform;
    platform->setActive(false);
    if (auto set = installedSet()) set->removeObject(keep);
}

RT_DEFINE_CLASS(ViewConstraint, "LCViewConstraint", Constraint,
                rt::prop("secondViewAttribute", &ViewConstraint::secondViewAttribute),
                rt::prop("installedView", &ViewConstraint::installedView, {.memory = rt::Memory::Weak}),
                rt::prop("layoutConstraint", &ViewConstraint::layoutConstraint, {.memory = rt::Memory::Weak}),
                rt::prop("layoutRelation", &ViewConstraint::layoutRelation, &ViewConstraint::setLayoutRelation),
                rt::prop("layoutPriority", &ViewConstraint::layoutPriority),
                rt::prop("layoutMultiplier", &ViewConstraint::layoutMultiplier),
                rt::prop("layoutConstant", &ViewConstraint::layoutConstant, &ViewConstraint::setLayoutConstant),
                rt::prop("hasLayoutRelation", &ViewConstraint::hasLayoutRelation),
                rt::prop("lc_key", &ViewConstraint::lcKey),
                rt::prop("useAnimator", &ViewConstraint::useAnimator, &ViewConstraint::setUseAnimator),
                rt::prop("firstViewAttribute", &ViewConstraint::firstViewAttribute))

} // namespace lc
