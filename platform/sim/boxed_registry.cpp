#include "platform/sim/boxed_registry.h"

#include <type_traits>

#include "platform/foundation/string.h"
#include "platform/runtime/number.h"

namespace sim {

rt::Id boxedValue(const RegistryValue& value) {
    return std::visit(
        [](const auto& v) -> rt::Id {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) return ns::Number::withBool(v);
            else if constexpr (std::is_same_v<T, long long>) return ns::Number::withLongLong(v);
            else if constexpr (std::is_same_v<T, double>) return ns::Number::withDouble(v);
            else return ns::String::make(v);
        },
        value);
}

rt::Ref<ns::MutableDictionary> boxedProperties(const RegistryProperties& properties) {
    auto dictionary = ns::MutableDictionary::make();
    for (const auto& [key, value] : properties)
        dictionary->setObjectForKey(boxedValue(value), ns::String::make(key));
    return dictionary;
}

} // namespace sim
