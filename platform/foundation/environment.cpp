#include "platform/foundation/environment.h"

#include <cstdlib>

namespace ns {

std::optional<std::string> environmentValue(std::string_view name) {
    if (name.empty() || name.find_first_of(std::string_view("=\0", 2)) != std::string_view::npos)
        return std::nullopt;
    const std::string key(name);
    const char* value = std::getenv(key.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

} // namespace ns
