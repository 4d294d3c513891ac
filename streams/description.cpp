#include "streams/description.h"

#include <atomic>
#include <cstdio>

#include "platform/foundation/array.h"
#include "platform/foundation/environment.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/value.h"
#include "streams/tuple.h"

namespace es {

namespace {
// 0 unread, 1 off, 2 on.
std::atomic<int> debugNames{0};
} // namespace

bool readDebugNamesSwitch() {
    bool on = ns::environmentHas("ES_DEBUG_SIGNAL_NAMES");
    debugNames.store(on ? 2 : 1, std::memory_order_relaxed);
    return on;
}

bool debugNamesEnabled() {
    int state = debugNames.load(std::memory_order_relaxed);
    return state == 0 ? readDebugNamesSwitch() : state == 2;
}

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
