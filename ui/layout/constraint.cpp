#include "ui/layout/constraint.h"

#include <string>

#include "platform/foundation/array.h"
#include "platform/foundation/exception.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace lc {

namespace {

[[noreturn]] void mustOverride(const char* selector) {
    ns::raise(ns::InternalInconsistencyException, std::string("You must override ") + selector + " in a subclass.");
}

} // namespace

const rt::Protocol& ConstraintDelegate::protocol() {
    static const rt::Protocol protocol(
        "LCConstraintDelegate",
        {{rt::Sel("constraint:shouldBeReplacedWithConstraint:"), "v@:@@", true},
         {rt::Sel("constraint:addConstraintWithLayoutAttribute:"), "@@:@q", true}});
    return protocol;
}

SecondItem::SecondItem(std::initializer_list<rt::Id> items) : value_(ns::Array::withObjects(items)) {}

void Constraint::setUpdateExisting(bool updateExisting) {
    rt::KeyChange change(this, "updateExisting");
    updateExisting_ = updateExisting;
}

void Constraint::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}

ConstraintDelegate* Constraint::owner(rt::Id& holder) const {
    holder = delegate_.lock();
    return dynamic_cast<ConstraintDelegate*>(holder.get());
}

// ---- Chain -------------------------------------------------------------------------------------

rt::Ref<Constraint> Constraint::equalTo(const SecondItem& item) {
    return equalToWithRelation(item.value(), ui::LayoutRelation::Equal);
}

rt::Ref<Constraint> Constraint::greaterThanOrEqualTo(const SecondItem& item) {
    return equalToWithRelation(item.value(), ui::LayoutRelation::GreaterThanOrEqual);
}

rt::Ref<Constraint> Constraint::lessThanOrEqualTo(const SecondItem& item) {
    return equalToWithRelation(item.value(), ui::LayoutRelation::LessThanOrEqual);
}

rt::Ref<Constraint> Constraint::priorityLow() {
    priority(ui::LayoutPriorityDefaultLow);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::priorityMedium() {
    priority(500);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::priorityHigh() {
    priority(ui::LayoutPriorityDefaultHigh);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::insets(ui::EdgeInsets insets) {
    setInsets(insets);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::sizeOffset(cg::Size offset) {
    setSizeOffset(offset);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::centerOffset(cg::Point offset) {
    setCenterOffset(offset);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::offset(double offset) {
    setOffset(offset);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::valueOffset(const rt::Id& value) {
    setLayoutConstantWithValue(value);
    return rt::retained(this);
}

rt::Ref<Constraint> Constraint::lc_offset(double) {
    return nullptr;
}

void Constraint::setLayoutConstantWithValue(const rt::Id& value) {
    if (auto number = rt::cast<ns::Number>(value)) return setOffset(number->doubleValue());
    if (auto point = cg::unboxed<cg::Point>(value)) return setCenterOffset(*point);
    if (auto size = cg::unboxed<cg::Size>(value)) return setSizeOffset(*size);
    if (auto insets = cg::unboxed<ui::EdgeInsets>(value)) return setInsets(*insets);
}

// ---- Abstract ----------------------------------------------------------------------------------

rt::Ref<Constraint> Constraint::multipliedBy(double) {
    mustOverride("multipliedBy");
}
rt::Ref<Constraint> Constraint::dividedBy(double) {
    mustOverride("dividedBy");
}
rt::Ref<Constraint> Constraint::priority(float) {
    mustOverride("priority");
}
rt::Ref<Constraint> Constraint::equalToWithRelation(const rt::Id&, ui::LayoutRelation) {
    mustOverride("equalToWithRelation");
}
rt::Ref<Constraint> Constraint::key(const rt::Id&) {
    mustOverride("key");
}
void Constraint::setInsets(ui::EdgeInsets) {
    mustOverride("setInsets:");
}
void Constraint::setSizeOffset(cg::Size) {
    mustOverride("setSizeOffset:");
}
void Constraint::setCenterOffset(cg::Point) {
    mustOverride("setCenterOffset:");
}
void Constraint::setOffset(double) {
    mustOverride("setOffset:");
}
void Constraint::activate() {
    mustOverride("activate");
}
void Constraint::deactivate() {
    mustOverride("deactivate");
}
void Constraint::install() {
    mustOverride("install");
}
void Constraint::uninstall() {
    mustOverride("uninstall");
}
rt::Ref<Constraint> Constraint::addConstraintWithLayoutAttribute(ui::LayoutAttribute) {
    mustOverride("addConstraintWithLayoutAttribute:");
}

RT_DEFINE_CLASS(Constraint, "LCConstraint", rt::Object,
                rt::prop("updateExisting", &Constraint::updateExisting, &Constraint::setUpdateExisting),
                rt::prop("delegate", &Constraint::delegate, &Constraint::setDelegate, {.memory = rt::Memory::Weak}))

} // namespace lc
