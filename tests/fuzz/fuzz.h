#pragma once
// What every fuzz target shares: the entry point libFuzzer calls (or the corpus replayer, when the
// targets are built as plain programs), and a check that ends the run loudly.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A broken invariant is a finding: report it and stop, as a crash would.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

// The input split at its first newline: a pattern and the text it is tried on.
inline void split(std::string_view in, std::string_view& first, std::string_view& rest) {
    const std::size_t nl = in.find('\n');
    first = in.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : in.substr(nl + 1);
}

} // namespace fuzz
