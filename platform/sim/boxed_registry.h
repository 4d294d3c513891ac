#pragma once
// Registry properties as the platform hands them out: a new dictionary of numbers (true/false,
// whole or not, kept as they are) and texts.

#include "platform/foundation/dictionary.h"
#include "platform/sim/profile.h"

namespace sim {

rt::Ref<ns::MutableDictionary> boxedProperties(const RegistryProperties& properties);
// One value as boxedProperties boxes it.
rt::Id boxedValue(const RegistryValue& value);

} // namespace sim
