#include "device/si_accessory.h"

#include "platform/externalaccessory/accessory_manager.h"
#include "platform/runtime/class.h"

namespace si {

std::int64_t Accessory::numberOfAccessoriesPluggedIn() {
    return static_cast<std::int64_t>(ea::AccessoryManager::sharedAccessoryManager()->connectedAccessories()->count());
}

bool Accessory::accessoriesPluggedIn() { return numberOfAccessoriesPluggedIn() > 0; }

bool Accessory::isHeadphonesAttached() { return false; }

RT_DEFINE_CLASS(Accessory, "SIAccessory", rt::Object,
                rt::classMethod("accessoriesPluggedIn", &Accessory::accessoriesPluggedIn),
                rt::classMethod("numberOfAccessoriesPluggedIn", &Accessory::numberOfAccessoriesPluggedIn),
                rt::classMethod("isHeadphonesAttached", &Accessory::isHeadphonesAttached))

} // namespace si
