#pragma once
// Debug descriptions for stream names. They cost nothing unless the environment variable
// "ES_DEBUG_SIGNAL_NAMES" is present (with any value). It is read once, at the first question,
// since every operator made asks; readDebugNamesSwitch reads it again.

#include <string>

#include "platform/runtime/object.h"

namespace es {

bool debugNamesEnabled();
// Reads the environment variable again; returns the switch.
bool readDebugNamesSwitch();

// The short text with which operators describe an argument in a debug name: numbers, values and
// strings describe themselves; a tuple describes its objects when names are on; any other object
// is "<ClassName: 0x...>" when names are on and "(description skipped)" otherwise.
std::string description(const rt::Object* obj);
inline std::string description(const rt::Id& obj) { return description(obj.get()); }

} // namespace es
