#pragma once
// The layout library's additions to ui::View, as free functions: attribute getters, the debug
// key, the installed set, the closest common superview.

#include "ui/layout/view_attribute.h"
#include "ui/layout/view_constraint.h"

namespace lc {

// A new attribute of the view (its own item): lc::left(view) ... lc::centerYWithinMargins(view).
rt::Ref<ViewAttribute> attribute(const rt::Ref<ui::View>& view, ui::LayoutAttribute attribute);
#define LC_VIEW_ATTRIBUTE(name, value)                                                                     \
    inline rt::Ref<ViewAttribute> name(const rt::Ref<ui::View>& view) {                                    \
        return attribute(view, ui::LayoutAttribute::value);                                                \
    }
LC_FOR_EACH_ATTRIBUTE(LC_VIEW_ATTRIBUTE)
#undef LC_VIEW_ATTRIBUTE

// A debug name for descriptions, kept with the view (also "lc_key" and "setLc_key:" by name).
rt::Id key(const rt::Ref<ui::View>& view);
void setKey(const rt::Ref<ui::View>& view, const rt::Id& key);

// The nearest view that is or contains both; nil when either is nil or they share no ancestor.
rt::Ref<ui::View> closestCommonSuperview(const rt::Ref<ui::View>& a, const rt::Ref<ui::View>& b);

} // namespace lc
