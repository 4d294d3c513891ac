#pragma once
// si::Accessory ("SIAccessory"): the external accessories connected to the device. Class methods
// only; each asks afresh. Any thread.

#include <cstdint>

#include "platform/runtime/object.h"

namespace si {

class Accessory : public rt::Object {
    RT_CLASS(Accessory)
public:
    static bool accessoriesPluggedIn();
    static std::int64_t numberOfAccessoriesPluggedIn();
    // Always false: headphones are no accessory.
    static bool isHeadphonesAttached();

private:
    Accessory() = default;
};

} // namespace si
