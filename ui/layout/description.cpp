#include "ui/layout/description.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/number.h"
#include "platform/uikit/layout_constraint.h"

namespace lc {

namespace {

struct Tables {
    dispatch::OnceFlag relationsOnce, attributesOnce, prioritiesOnce;
    rt::Ref<ns::Dictionary> relations, attributes, priorities;
};

Tables& tables() {
    static Tables& shared = *new Tables; // never destroyed: describing may run during exit
    return shared;
}

// The table and everything in it live as long as the process.
rt::Ref<ns::Dictionary> immortal(std::initializer_list<std::pair<rt::Id, rt::Id>> pairs) {
    for (const auto& [key, value] : pairs) {
        rt::makeImmortal(*key);
        rt::makeImmortal(*value);
    }
    auto table = ns::Dictionary::withPairs(pairs);
    rt::makeImmortal(*table);
    return table;
}

rt::Id number(long v) {
    return ns::Number::withLong(v);
}

// "%g" of a double.
std::string shortest(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// ".name" of an attribute, ".(null)" for one without a name.
std::string attributeText(ui::LayoutAttribute attribute) {
    return ns::format(".%@", layoutAttributeDescriptionsByValue()->objectForKey(number(long(attribute))));
}

} // namespace

rt::Ref<ns::Dictionary> layoutRelationDescriptionsByValue() {
    Tables& t = tables();
    dispatch::once(t.relationsOnce, [&t] {
        t.relations = immortal({{number(0), ns::str("==")}, {number(1), ns::str(">=")}, {number(-1), ns::str("<=")}});
    });
    return t.relations;
}

rt::Ref<ns::Dictionary> layoutAttributeDescriptionsByValue() {
    Tables& t = tables();
    dispatch::once(t.attributesOnce, [&t] {
        t.attributes = immortal({
            {number(1), ns::str("left")},          {number(2), ns::str("right")},
            {number(3), ns::str("top")},           {number(4), ns::str("bottom")},
            {number(5), ns::str("leading")},       {number(6), ns::str("trailing")},
            {number(7), ns::str("width")},         {number(8), ns::str("height")},
            {number(9), ns::str("centerX")},       {number(10), ns::str("centerY")},
            {number(11), ns::str("baseline")},     {number(13), ns::str("leftMargin")},
            {number(14), ns::str("rightMargin")},  {number(15), ns::str("topMargin")},
            {number(16), ns::str("bottomMargin")}, {number(17), ns::str("leadingMargin")},
            {number(18), ns::str("trailingMargin")}, {number(19), ns::str("centerXWithinMargins")},
            {number(20), ns::str("centerYWithinMargins")},
        });
    });
    return t.attributes;
}

rt::Ref<ns::Dictionary> layoutPriorityDescriptionsByValue() {
    Tables& t = tables();
    dispatch::once(t.prioritiesOnce, [&t] {
        t.priorities = immortal({{ns::Number::withFloat(1000), ns::str("required")},
                                 {ns::Number::withFloat(750), ns::str("high")},
                                 {ns::Number::withFloat(500), ns::str("medium")},
                                 {ns::Number::withFloat(250), ns::str("low")},
                                 {ns::Number::withFloat(50), ns::str("fitting size")}});
    });
    return t.priorities;
}

rt::Ref<ns::String> descriptionForObject(const rt::Id& object) {
    if (!object) return ns::str("(null)");
    static const rt::Sel lcKey("lc_key");
    const std::string_view className = object->getClass().name();
    if (object->respondsToSelector(lcKey))
        if (rt::Id key = rt::send(object, lcKey)) return ns::stringWithFormat("%s:%@", className, key);
    return ns::stringWithFormat("%s:%p", className, static_cast<const void*>(object.get()));
}

std::string describeConstraint(const ui::LayoutConstraint& c) {
    std::string text = "<";
    text += descriptionForObject(rt::retained(&c))->utf8();
    text += " " + descriptionForObject(c.firstItem())->utf8();
    if (c.firstAttribute() != ui::LayoutAttribute::NotAnAttribute) text += attributeText(c.firstAttribute());
    text += ns::format(" %@", layoutRelationDescriptionsByValue()->objectForKey(number(long(c.relation()))));
    if (rt::Id second = c.secondItem()) text += " " + descriptionForObject(second)->utf8();
    if (c.secondAttribute() != ui::LayoutAttribute::NotAnAttribute) text += attributeText(c.secondAttribute());
    if (c.multiplier() != 1) text += " * " + shortest(c.multiplier());
    if (c.secondAttribute() == ui::LayoutAttribute::NotAnAttribute)
        text += " " + shortest(c.constant());
    else if (c.constant() != 0)
        text += std::string(c.constant() < 0 ? " - " : " + ") + shortest(std::fabs(c.constant()));
    if (c.priority() != ui::LayoutPriorityRequired) {
        if (rt::Id name = layoutPriorityDescriptionsByValue()->objectForKey(ns::Number::withFloat(c.priority())))
            text += ns::format(" ^%@", name);
        else
            text += " ^" + shortest(c.priority());
    }
    return text + ">";
}

} // namespace lc
