#pragma once
// Counting the members of a list that show: a root's sections and a section's elements keep their
// hidden members, and the table sees only the others. The owner of a list keeps an Index of the
// places of those that show, so that a table asking for each of its rows in turn costs one pass.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/runtime/object.h"

namespace fm::visible {

inline constexpr std::size_t NotFound = static_cast<std::size_t>(-1);

// How many times a member of any list was hidden or shown; 0 stands for "never built" below.
inline std::atomic<std::uint64_t> flagChanges{1};

// Every setHidden that changes the flag calls it: each index built before reads stale.
inline void hiddenChanged() noexcept {
    flagChanges.fetch_add(1, std::memory_order_relaxed);
}

// The places in the owner's list of the members that show, in order: built on the first question,
// kept until the owner's list changes (the owner calls forget) or any member is hidden or shown.
// Main thread only, as the lists are.
class Index {
public:
    void forget() noexcept { builtAt_ = 0; }

    // The n-th member that is not hidden; nil when there are fewer or n is negative.
    template <class T> rt::Ref<T> at(const std::vector<rt::Ref<T>>& members, long n) const {
        const std::vector<std::size_t>& shown = places(members);
        if (n < 0 || static_cast<std::size_t>(n) >= shown.size()) return nullptr;
        return members[shown[static_cast<std::size_t>(n)]];
    }
    template <class T> long count(const std::vector<rt::Ref<T>>& members) const {
        return static_cast<long>(places(members).size());
    }

private:
    template <class T> const std::vector<std::size_t>& places(const std::vector<rt::Ref<T>>& members) const {
        const std::uint64_t now = flagChanges.load(std::memory_order_relaxed);
        // A list of another length is rebuilt even unannounced: no place can point past its end.
        if (builtAt_ == now && builtFor_ == members.size()) return places_;
        places_.clear();
        for (std::size_t i = 0; i < members.size(); ++i)
            if (!members[i]->hidden()) places_.push_back(i);
        builtAt_ = now;
        builtFor_ = members.size();
        return places_;
    }

    mutable std::vector<std::size_t> places_;
    mutable std::uint64_t builtAt_ = 0;
    mutable std::size_t builtFor_ = 0;
};

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
