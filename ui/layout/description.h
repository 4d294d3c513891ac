#pragma once
// Debug descriptions of constraints: one equation-like line that names views and constraints by
// their debug keys (lc_key) where they have one. The library installs it as the description of
// every ui::LayoutConstraint in the process at start-up (the stand-in's describer hook), so
// constraints made elsewhere, by the visual format or the storyboard, read the same:
//     <LCLayoutConstraint:0x... UIView:0x....left == UIView:0x....left + 10 ^low>
//     <LCLayoutConstraint:skip[0] UIView:skip.width == 100>
// The name tables are built once per process, on first use from any thread, then only read.

#include <string>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"

namespace ui {
class LayoutConstraint;
}

namespace lc {

// Keys are ns::Number: the relation, the attribute (19 names; none for 0 and 12) and the
// priority as a float (1000 "required", 750 "high", 500 "medium", 250 "low", 50 "fitting size").
rt::Ref<ns::Dictionary> layoutRelationDescriptionsByValue();
rt::Ref<ns::Dictionary> layoutAttributeDescriptionsByValue();
rt::Ref<ns::Dictionary> layoutPriorityDescriptionsByValue();

// "Class:key" for an object that answers "lc_key" with a key, else "Class:0x...".
rt::Ref<ns::String> descriptionForObject(const rt::Id& object);

// The line above: "<", the constraint, the first item and attribute, the relation, the second item
// and attribute, " * m" (m != 1), the constant, " ^priority" (below 1000), ">".
std::string describeConstraint(const ui::LayoutConstraint& constraint);

} // namespace lc
