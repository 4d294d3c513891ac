#include "platform/uikit/layout_constraint.h"

#include <cstdio>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ui {

rt::Ref<LayoutConstraint> LayoutConstraint::constraintWithItem(const rt::Id& item1, LayoutAttribute attribute1,
                                                               LayoutRelation relation, const rt::Id& item2,
                                                               LayoutAttribute attribute2, double multiplier,
                                                               double constant) {
    auto constraint = rt::make<LayoutConstraint>();
    constraint->first_ = item1;
    constraint->firstAttribute_ = attribute1;
    constraint->relation_ = relation;
    constraint->second_ = item2;
    constraint->secondAttribute_ = attribute2;
    constraint->multiplier_ = multiplier;
    constraint->constant_ = constant;
    return constraint;
}

rt::Ref<ns::Array> LayoutConstraint::constraintsWithVisualFormat(std::string_view format, unsigned long options,
                                                                 const rt::Ref<ns::Dictionary>& metrics,
                                                                 const rt::Ref<ns::Dictionary>& views) {
    auto record = rt::make<LayoutConstraint>();
    record->format_ = ns::String::make(format);
    record->options_ = options;
    record->metrics_ = metrics;
    record->views_ = views;
    return ns::Array::withObjects({record});
}

void LayoutConstraint::setConstant(double constant) {
    rt::KeyChange change(this, "constant");
    constant_ = constant;
}

void LayoutConstraint::setPriority(float priority) {
    if (!(priority >= 1 && priority <= LayoutPriorityRequired)) {
        ns::log("-[NSLayoutConstraint setPriority:]: a priority must lie between 1 and 1000, not %g", priority);
        return;
    }
    rt::KeyChange change(this, "priority");
    priority_ = priority;
}

void LayoutConstraint::setActive(bool active) {
    rt::KeyChange change(this, "active");
    active_ = active;
}

void LayoutConstraint::setIdentifier(rt::Ref<ns::String> identifier) {
    rt::KeyChange change(this, "identifier");
    identifier_ = std::move(identifier);
}

std::string LayoutConstraint::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text = std::string("<NSLayoutConstraint:") + address + " ";
    if (format_) return text + "'" + format_->utf8() + "'>";
    const char* relation = relation_ == LayoutRelation::Equal ? "==" : relation_ == LayoutRelation::LessThanOrEqual ? "<=" : ">=";
    return text + "attribute " + std::to_string(long(firstAttribute_)) + " " + relation + " " +
           cg::detail::shortestNumber(multiplier_) + " * attribute " + std::to_string(long(secondAttribute_)) + " + " +
           cg::detail::shortestNumber(constant_) + " @" + cg::detail::shortestNumber(priority_) + ">";
}

RT_DEFINE_CLASS(LayoutConstraint, "NSLayoutConstraint", rt::Object,
                rt::prop("firstItem", &LayoutConstraint::firstItem, {.memory = rt::Memory::Weak}),
                rt::prop("firstAttribute", &LayoutConstraint::firstAttribute),
                rt::prop("relation", &LayoutConstraint::relation),
                rt::prop("secondItem", &LayoutConstraint::secondItem, {.memory = rt::Memory::Weak}),
                rt::prop("secondAttribute", &LayoutConstraint::secondAttribute),
                rt::prop("multiplier", &LayoutConstraint::multiplier),
                rt::prop("constant", &LayoutConstraint::constant, &LayoutConstraint::setConstant),
                rt::prop("priority", &LayoutConstraint::priority, &LayoutConstraint::setPriority),
                rt::prop("active", &LayoutConstraint::isActive, &LayoutConstraint::setActive, {.getter = "isActive"}),
                rt::prop("identifier", &LayoutConstraint::identifier, &LayoutConstraint::setIdentifier,
                         {.memory = rt::Memory::Copy}))

} // namespace ui
