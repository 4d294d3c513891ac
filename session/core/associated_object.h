#pragma once
// NSObject(AssociatedObject): any object can carry one extra object, held strongly, stored with
// the runtime's associated objects under one process-wide key. The category is applied to
// NSObject at start-up, so every object also answers "setAssociatedObject:" and
// "associatedObject" by name; the functions below are its methods.

#include "platform/runtime/object.h"

namespace ft {

// Stores `value` as the object's associated object; nil removes it.
void setAssociatedObject(rt::Object& self, const rt::Id& value);
// The object's associated object; nil when none was stored.
rt::Id associatedObject(rt::Object& self);

} // namespace ft
