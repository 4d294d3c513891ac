#include "session/core/associated_object.h"

#include "platform/runtime/class.h"

namespace ft {

namespace {

// The one key: the address of something that exists once in the process.
const char kAssociatedObjectKey = 0;

} // namespace

void setAssociatedObject(rt::Object& self, const rt::Id& value) {
    rt::setAssociatedObject(&self, &kAssociatedObjectKey, value, rt::AssociationPolicy::Retain);
}

rt::Id associatedObject(rt::Object& self) {
    return rt::getAssociatedObject(&self, &kAssociatedObjectKey);
}

namespace {

[[maybe_unused]] const rt::Class& associatedObjectCategoryApplied = rt::addCategory(
    rt::Object::staticClass(), {rt::categoryMethod("setAssociatedObject:", &setAssociatedObject),
                                rt::categoryMethod("associatedObject", &associatedObject)});

} // namespace

} // namespace ft
