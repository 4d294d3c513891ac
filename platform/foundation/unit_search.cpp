#include "platform/foundation/unit_search.h"

#include <cstring>
#include <string.h>

namespace ns::detail {

UnitSearcher::UnitSearcher(std::u16string_view needle) : needle_(needle), border_(needle.size(), 0) {
    for (std::size_t i = 1, k = 0; i < needle_.size(); ++i) {
        while (k > 0 && needle_[i] != needle_[k])
            k = border_[k - 1];
        if (needle_[i] == needle_[k]) ++k;
        border_[i] = k;
    }
}

std::size_t UnitSearcher::find(std::u16string_view text, std::size_t from) const {
    const std::size_t m = needle_.size();
    if (m == 0 || from > text.size() || text.size() - from < m) return std::u16string_view::npos;
    std::size_t k = 0; // units of the needle matched so far
    for (std::size_t i = from; i < text.size(); ++i) {
        if (k == 0) {
            // Nothing matched: skip ahead to the next unit that can start a match.
            const char16_t* at =
                std::char_traits<char16_t>::find(text.data() + i, text.size() - i, needle_[0]);
            if (!at) return std::u16string_view::npos;
            i = static_cast<std::size_t>(at - text.data());
        }
        while (k > 0 && text[i] != needle_[k])
            k = border_[k - 1];
        if (text[i] == needle_[k] && ++k == m) return i + 1 - m;
    }
    return std::u16string_view::npos;
}

std::size_t findBytes(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty() || from > text.size()) return std::string_view::npos;
    // glibc's memmem is a two-way search: linear in the text.
    const void* at = ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) : std::string_view::npos;
}

} // namespace ns::detail
