#pragma once
// The process environment, read afresh on every call (tests and launch options change it).

#include <optional>
#include <string>
#include <string_view>

namespace ns {

// The value of an environment variable; nullopt when it is not set. A variable set to the empty
// string is set. Names that cannot exist (empty, or holding '=' or NUL) are never set.
std::optional<std::string> environmentValue(std::string_view name);
// Whether it is set (to any value, the empty one included), without copying the value.
bool environmentHas(std::string_view name);

} // namespace ns
