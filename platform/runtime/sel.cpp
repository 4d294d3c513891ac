#include "platform/runtime/sel.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace rt {

namespace {

struct Table {
    std::mutex lock;
    // Node-based, so the strings never move.
    std::unordered_set<std::string> names;
};

Table& table() {
    static Table* t = new Table; // lives for the process: selectors are used during static teardown
    return *t;
}

} // namespace

Sel::Sel(std::string_view name) {
    Table& t = table();
    std::lock_guard g(t.lock);
    p_ = &*t.names.emplace(name).first;
}

std::size_t Sel::argumentCount() const noexcept {
    std::string_view n = name();
    return static_cast<std::size_t>(std::count(n.begin(), n.end(), ':'));
}

} // namespace rt
