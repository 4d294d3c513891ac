#include "streams/description.h"

#include <cstdio>

#include "platform/foundation/array.h"
#include "platform/foundation/environment.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/value.h"
#include "streams/tuple.h"

namespace es {

bool debugNamesEnabled() { return ns::environmentHas("ES_DEBUG_SIGNAL_NAMES"); }

std::string description(const rt::Object* obj) {
    if (!obj) return "(null)";
    if (rt::cast<const ns::Value>(obj) || rt::cast<const ns::String>(obj)) return obj->description();
    if (!debugNamesEnabled()) return "(description skipped)";
    if (auto* tuple = rt::cast<const Tuple>(obj)) return tuple->allObjects()->description();
    char address[32];
    std::snprintf(address, sizeof address, ": %p>", static_cast<const void*>(obj));
    return "<" + std::string(obj->getClass().name()) + address;
}

} // namespace es
