#include "ui/forms/array_additions.h"

#include "platform/foundation/array.h"

namespace fm {

void moveObjectFromIndex(const rt::Ref<ns::MutableArray>& array, std::size_t from, std::size_t to) {
    if (!array || from >= array->count()) return;
    rt::Id moved = array->objectAtIndex(from);
    array->removeObjectAtIndex(from);
    array->insertObjectAtIndex(moved, std::min(to, array->count()));
}

} // namespace fm
