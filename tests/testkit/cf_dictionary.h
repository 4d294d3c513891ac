#pragma once
// A cf dictionary from {key, value} pairs, for tests of cf and of its users.

#include <utility>
#include <vector>

#include "platform/corefoundation/dictionary.h"

namespace testkit {

inline cf::DictionaryRef makeCFDictionary(cf::AllocatorRef allocator,
                                          const std::vector<std::pair<rt::Id, rt::Id>>& pairs) {
    std::vector<rt::Id> keys, values;
    for (const auto& [key, value] : pairs) {
        keys.push_back(key);
        values.push_back(value);
    }
    return cf::dictionaryCreate(allocator, keys.data(), values.data(), keys.size());
}

} // namespace testkit
