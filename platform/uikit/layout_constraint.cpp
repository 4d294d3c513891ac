#include "platform/uikit/layout_constraint.h"

#include <atomic>
#include <cmath>
#include <cstdio>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/view.h"
#include "platform/uikit/visual_format.h"

namespace ui {

namespace {

enum class Axis { None, Size, Horizontal, Vertical };

Axis axisOf(LayoutAttribute attribute) {
    switch (attribute) {
    case LayoutAttribute::NotAnAttribute: return Axis::None;
    case LayoutAttribute::Width:
    case LayoutAttribute::Height: return Axis::Size;
    case LayoutAttribute::Left:
    case LayoutAttribute::Right:
    case LayoutAttribute::Leading:
    case LayoutAttribute::Trailing:
    case LayoutAttribute::CenterX:
    case LayoutAttribute::LeftMargin:
    case LayoutAttribute::RightMargin:
    case LayoutAttribute::LeadingMargin:
    case LayoutAttribute::TrailingMargin:
    case LayoutAttribute::CenterXWithinMargins: return Axis::Horizontal;
    default: return Axis::Vertical;
    }
}

bool inRange(LayoutAttribute attribute) {
    return long(attribute) >= 0 && long(attribute) <= long(LayoutAttribute::CenterYWithinMargins);
}

// Why the factory refuses these arguments, or null when it accepts them.
const char* refusal(const rt::Id& item1, LayoutAttribute attribute1, const rt::Id& item2, LayoutAttribute attribute2,
                    double multiplier, double constant) {
    if (!item1) return "the first item is nil";
    if (!inRange(attribute1) || !inRange(attribute2)) return "an attribute is not a layout attribute";
    if (attribute1 == LayoutAttribute::NotAnAttribute) return "the first attribute is missing";
    if (!std::isfinite(multiplier) || !std::isfinite(constant)) return "the multiplier or the constant is not finite";
    const Axis first = axisOf(attribute1);
    if (first != Axis::Size && !item2) return "a location needs a second item";
    if (first != Axis::Size && multiplier == 0) return "a location cannot have multiplier 0";
    if (bool(item2) != (attribute2 != LayoutAttribute::NotAnAttribute))
        return item2 ? "the second item has no attribute" : "a second attribute has no second item";
    const Axis second = axisOf(attribute2);
    if (second != Axis::None && (first == Axis::Size) != (second == Axis::Size))
        return "a location cannot be related to a size";
    if (second != Axis::None && first != second && first != Axis::Size)
        return "a horizontal location cannot be related to a vertical one";
    return nullptr;
}

} // namespace

rt::Ref<View> layoutItemView(const rt::Id& item) {
    if (!item) return nullptr;
    if (auto view = rt::cast<View>(item)) return view;
    static const rt::Sel owningView("owningView");
    if (!item->respondsToSelector(owningView)) return nullptr;
    return rt::cast<View>(rt::send(item, owningView));
}

bool LayoutConstraint::acceptable(const rt::Id& item1, LayoutAttribute attribute1, const rt::Id& item2,
                                  LayoutAttribute attribute2, double multiplier, double constant) {
    const char* reason = refusal(item1, attribute1, item2, attribute2, multiplier, constant);
    if (!reason) return true;
    ns::log("+[NSLayoutConstraint constraintWithItem:attribute:relatedBy:toItem:attribute:multiplier:constant:]: "
            "refused, %s: %@ and %@",
            reason, item1, item2);
    return false;
}

void LayoutConstraint::assign(const rt::Id& item1, LayoutAttribute attribute1, LayoutRelation relation,
                              const rt::Id& item2, LayoutAttribute attribute2, double multiplier, double constant) {
    first_ = item1;
    firstAttribute_ = attribute1;
    relation_ = relation;
    second_ = item2;
    secondAttribute_ = attribute2;
    multiplier_ = multiplier;
    constant_ = constant;
}

void LayoutConstraint::activateConstraints(const rt::Ref<ns::Array>& constraints) {
    if (!constraints) return;
    for (const rt::Id& object : *constraints)
        if (auto constraint = rt::cast<LayoutConstraint>(object)) constraint->setActive(true);
}

void LayoutConstraint::deactivateConstraints(const rt::Ref<ns::Array>& constraints) {
    if (!constraints) return;
    for (const rt::Id& object : *constraints)
        if (auto constraint = rt::cast<LayoutConstraint>(object)) constraint->setActive(false);
}

rt::Ref<ns::Array> LayoutConstraint::constraintsWithVisualFormat(std::string_view format, unsigned long options,
                                                                 const rt::Ref<ns::Dictionary>& metrics,
                                                                 const rt::Ref<ns::Dictionary>& views) {
    const detail::VisualFormatResult parsed = detail::parseVisualFormat(format, options, metrics, views);
    if (!parsed.error.empty()) {
        std::string shown(format);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' '; // one line, whatever the input
        ns::log("Unable to parse constraint format: %s at position %lu: \"%s\"", parsed.error,
                static_cast<unsigned long>(parsed.position), shown);
        return ns::Array::make();
    }
    const rt::Ref<ns::String> text = ns::String::make(format);
    std::vector<rt::Id> made;
    made.reserve(parsed.constraints.size());
    for (const detail::VisualConstraint& c : parsed.constraints) {
        auto record = make(c.item1, c.attribute1, c.relation, c.item2, c.attribute2, 1, c.constant);
        if (!record) return ns::Array::make(); // the factory said why
        record->priority_ = c.priority;
        record->format_ = text;
        record->options_ = options;
        record->metrics_ = metrics;
        record->views_ = views;
        made.push_back(record);
    }
    return ns::Array::make(std::move(made));
}

rt::Ref<View> LayoutConstraint::holdingView() const {
    return holder_.lock();
}

void LayoutConstraint::setConstant(double constant) {
    rt::KeyChange change(this, "constant");
    constant_ = constant;
    if (auto holder = holder_.lock()) holder->setNeedsLayout();
}

void LayoutConstraint::setPriority(float priority) {
    if (!(priority >= 1 && priority <= LayoutPriorityRequired)) {
        ns::log("-[NSLayoutConstraint setPriority:]: a priority must lie between 1 and 1000, not %g", priority);
        return;
    }
    rt::KeyChange change(this, "priority");
    priority_ = priority;
    if (auto holder = holder_.lock()) holder->setNeedsLayout();
}

void LayoutConstraint::setActive(bool active) {
    rt::Ref<View> holder = holder_.lock();
    if (!active) {
        if (holder) holder->removeConstraint(rt::retained(this));
        else if (active_) setHolder(nullptr); // its view has gone
        return;
    }
    if (holder) return;
    rt::Ref<View> first = layoutItemView(firstItem());
    rt::Id secondItem = this->secondItem();
    rt::Ref<View> target = secondItem ? View::closestCommonAncestor(first, layoutItemView(secondItem)) : first;
    if (!target) {
        ns::log("-[NSLayoutConstraint setActive:]: refused, the items have no common ancestor: %@ and %@",
                firstItem(), secondItem);
        return;
    }
    target->addConstraint(rt::retained(this));
}

void LayoutConstraint::setHolder(View* view) {
    rt::KeyChange change(this, "active");
    holder_ = view;
    active_ = view != nullptr;
}

void LayoutConstraint::setIdentifier(rt::Ref<ns::String> identifier) {
    rt::KeyChange change(this, "identifier");
    identifier_ = std::move(identifier);
}

namespace {
std::atomic<LayoutConstraint::Describer> gDescriber{nullptr};
}

void LayoutConstraint::setDescriber(Describer describer) {
    gDescriber.store(describer);
}

std::string LayoutConstraint::description() const {
    if (Describer describer = gDescriber.load()) return describer(*this);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text = std::string("<NSLayoutConstraint:") + address + " ";
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
