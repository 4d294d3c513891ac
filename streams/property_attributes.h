#pragma once
// The attributes of a registered property, read from its attribute string
// (T@"NSString",&,N,V_name): what key-path observation asks before it watches a property's value
// for deallocation.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/sel.h"

namespace rt {
class Class;
class Property;
} // namespace rt

namespace es {

struct PropertyAttributes {
    enum class MemoryPolicy : std::uint32_t { Assign = 0, Retain = 1, Copy = 2 };

    bool readonly = false;       // "R"
    bool nonatomic = false;      // "N"
    bool weak = false;           // "W"
    bool canBeCollected = false; // "P"
    bool dynamic = false;        // "D"
    MemoryPolicy memoryPolicy = MemoryPolicy::Assign; // "&" retain, "C" copy
    rt::Sel getter;              // "G", else the property's name
    rt::Sel setter;              // "S", else "set" + the capitalised name + ":"
    // "V": points into the attribute string that was read (not copied); empty (a null data
    // pointer) when there is none, when "D" is given or the "V" text is empty.
    std::string_view ivar;
    // For an object type @"Name", the class of that name when the runtime knows it.
    const rt::Class* objectClass = nullptr;
    // The type encoding ("@\"NSString\"", "i", "@?").
    std::string type;
};

// Reads the property's attribute string. Malformed strings give null, with one log line saying
// what was wrong ("ERROR: ..."); text left over after the flags is logged as a warning and the
// attributes are still returned. Nothing is read outside the string.
std::unique_ptr<PropertyAttributes> propertyAttributesForProperty(const rt::Property* property);
// The same over any attribute string; `propertyName` names the property in the log lines and gives
// the default getter and setter. The result's ivar points into `attributes`.
std::unique_ptr<PropertyAttributes> propertyAttributesFromString(std::string_view attributes,
                                                                 std::string_view propertyName);

} // namespace es
