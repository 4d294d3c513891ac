#pragma once
// Counting the members of a list that show: a root's sections and a section's elements keep their
// hidden members, and the table sees only the others.

#include <cstddef>
#include <vector>

#include "platform/runtime/object.h"

namespace fm::visible {

inline constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

// The n-th member that is not hidden; nil when there are fewer or n is negative.
template <class T> rt::Ref<T> at(const std::vector<rt::Ref<T>>& members, long n) {
    if (n < 0) return nullptr;
    for (const auto& member : members)
        if (!member->hidden() && n-- == 0) return member;
    return nullptr;
}

template <class T> long count(const std::vector<rt::Ref<T>>& members) noexcept {
    long shown = 0;
    for (const auto& member : members)
        shown += member->hidden() ? 0 : 1;
    return shown;
}

// How many members that show come before `target` (which may be hidden); NotFound when absent.
template <class T> std::size_t indexOf(const std::vector<rt::Ref<T>>& members, const T* target) noexcept {
    std::size_t shown = 0;
    for (const auto& member : members) {
        if (member.get() == target) return shown;
        if (!member->hidden()) ++shown;
    }
    return NotFound;
}

} // namespace fm::visible
