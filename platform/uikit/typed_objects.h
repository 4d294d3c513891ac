#pragma once
// The objects of an array that are of one class, for setters that take an array of one kind of
// object (a bar's items, a navigation controller's controllers). Any other object is left out with
// a log line naming the setter.

#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"

namespace ui::detail {

template <class T>
std::vector<rt::Ref<T>> typedObjects(const rt::Ref<ns::Array>& objects, std::string_view setter) {
    std::vector<rt::Ref<T>> list;
    if (!objects) return list;
    list.reserve(objects->count());
    for (const rt::Id& object : *objects) {
        if (auto typed = rt::cast<T>(object))
            list.push_back(std::move(typed));
        else
            ns::log("%s: %@ is not a %@; it was left out.", setter, object, T::staticClass().name());
    }
    return list;
}

} // namespace ui::detail
