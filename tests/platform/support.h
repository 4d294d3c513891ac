#pragma once
// Helpers shared by the platform tests: a scratch directory, descriptions of an array.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "platform/foundation/array.h"

namespace platform_tests {

namespace fs = std::filesystem;

// A fresh directory for one test, removed at its end.
struct Scratch {
    fs::path root;
    Scratch() {
        static std::atomic<int> counter{0};
        root = fs::temp_directory_path() /
               ("ft-services-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string operator/(std::string_view rel) const { return (root / rel).string(); }
    void write(std::string_view rel, std::string_view text) const {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel, std::ios::binary) << text;
    }
    std::string read(std::string_view rel) const {
        std::ifstream in(root / rel, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

// The allocations through operator new on the calling thread while one is alive: how many, and
// the largest. Not counted under AddressSanitizer, whose allocator the program keeps (both stay 0).
struct ThreadAllocations {
    ThreadAllocations();
    ~ThreadAllocations();
    ThreadAllocations(const ThreadAllocations&) = delete;
    long count = 0;
    std::size_t largest = 0;
};

// The descriptions of the elements.
inline std::vector<std::string> names(const ns::Array& a) {
    std::vector<std::string> out;
    for (auto& o : a)
        out.push_back(o->description());
    return out;
}

} // namespace platform_tests
