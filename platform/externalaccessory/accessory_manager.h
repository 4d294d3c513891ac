#pragma once
// ea::AccessoryManager ("EAAccessoryManager") and ea::Accessory ("EAAccessory"): the external
// accessories connected to the simulated device, as many as its profile's "accessories". Any thread.

#include <cstdint>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ea {

class Accessory : public rt::Object {
    RT_CLASS(Accessory)
public:
    bool isConnected() const { return true; }
    // 1 and up, in the order the device lists them.
    std::uint64_t connectionID() const { return connectionID_; }
    // "Accessory 1", ...
    rt::Ref<ns::String> name() const;

private:
    explicit Accessory(std::uint64_t connectionID) : connectionID_(connectionID) {}
    std::uint64_t connectionID_;
};

class AccessoryManager : public rt::Object {
    RT_CLASS(AccessoryManager)
public:
    static const rt::Ref<AccessoryManager>& sharedAccessoryManager();

    // The accessories connected now, as ea::Accessory objects; a new array each call.
    rt::Ref<ns::Array> connectedAccessories() const;

private:
    AccessoryManager() = default;
};

} // namespace ea
