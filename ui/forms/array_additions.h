#pragma once
// Array additions of the forms.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "platform/runtime/object.h"

namespace ns {
class MutableArray;
}

namespace fm {

// Takes the object at `from` out and inserts it at `to` of the list without it, appended when `to`
// is at or past its end; nothing when `from` is out of range.
template <class T>
void moveObjectFromIndex(std::vector<T>& list, std::size_t from, std::size_t to) {
    if (from >= list.size()) return;
    T moved = std::move(list[from]);
    list.erase(list.begin() + std::ptrdiff_t(from));
    list.insert(list.begin() + std::ptrdiff_t(std::min(to, list.size())), std::move(moved));
}
void moveObjectFromIndex(const rt::Ref<ns::MutableArray>& array, std::size_t from, std::size_t to);

} // namespace fm
