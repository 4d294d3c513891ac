#include "platform/foundation/environment.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace ns {

namespace {

// The variable's raw value, or null. Cheap enough for a check on every call: short names are
// terminated in a stack buffer, so nothing is allocated.
const char* rawValue(std::string_view name) {
    if (name.empty() || std::any_of(name.begin(), name.end(), [](char c) { return c == '=' || c == '\0'; }))
        return nullptr;
    std::array<char, 64> buffer;
    if (name.size() < buffer.size()) {
        std::memcpy(buffer.data(), name.data(), name.size());
        buffer[name.size()] = '\0';
        return std::getenv(buffer.data());
    }
    return std::getenv(std::string(name).c_str());
}

} // namespace

std::optional<std::string> environmentValue(std::string_view name) {
    const char* value = rawValue(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

bool environmentHas(std::string_view name) { return rawValue(name) != nullptr; }

} // namespace ns
