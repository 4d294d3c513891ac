#include "ui/forms/array_additions.h"

#include <string>

namespace fm {

rt::Ref<ns::String> concatStrings(const rt::Ref<ns::Array>& strings) {
    std::string joined;
    if (strings)
        for (const rt::Id& item : *strings)
            if (auto text = rt::cast<ns::String>(item)) joined += text->utf8();
    return ns::String::make(joined);
}

void moveObjectFromIndex(const rt::Ref<ns::MutableArray>& array, std::size_t from, std::size_t to) {
    if (!array || from >= array->count()) return;
    rt::Id moved = array->objectAtIndex(from);
    array->removeObjectAtIndex(from);
    array->insertObjectAtIndex(moved, std::min(to, array->count()));
}

} // namespace fm
