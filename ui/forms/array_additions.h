#pragma once
// Additions to the platform's arrays the forms use.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"

namespace fm {

// The array's strings joined with nothing between them ("" for an empty or nil array); other
// objects are skipped.
rt::Ref<ns::String> concatStrings(const rt::Ref<ns::Array>& strings);

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
