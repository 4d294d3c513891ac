#pragma once
// Searching UTF-16 units for a needle in linear time, for the string services: each search reads
// every unit of the text at most twice, whatever the needle (a naive search is quadratic on
// near misses: a 1,000-unit needle that almost matches everywhere in 100,000 units).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ns::detail {

// Knuth-Morris-Pratt: the needle's table is made once and serves any number of searches.
class UnitSearcher {
public:
    explicit UnitSearcher(std::u16string_view needle);

    // The first occurrence at or after `from`; npos when none (or when the needle is empty).
    std::size_t find(std::u16string_view text, std::size_t from = 0) const;
    std::size_t size() const noexcept { return needle_.size(); }

private:
    std::u16string needle_;
    std::vector<std::size_t> border_; // border_[i]: longest proper border of needle_[0, i]
};

// A byte string's first occurrence of `needle` at or after `from`, in linear time; npos when none.
std::size_t findBytes(std::string_view text, std::string_view needle, std::size_t from = 0);

} // namespace ns::detail
