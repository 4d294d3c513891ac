#include "platform/externalaccessory/accessory_manager.h"

#include <string>
#include <vector>

#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace ea {

rt::Ref<ns::String> Accessory::name() const { return ns::String::make("Accessory " + std::to_string(connectionID_)); }

const rt::Ref<AccessoryManager>& AccessoryManager::sharedAccessoryManager() {
    static const rt::Ref<AccessoryManager>* shared = [] {
        rt::PermanentScope permanent;
        auto* manager = new rt::Ref<AccessoryManager>(rt::make<AccessoryManager>());
        rt::makeImmortal(**manager);
        return manager;
    }();
    return *shared;
}

rt::Ref<ns::Array> AccessoryManager::connectedAccessories() const {
    const int count = sim::currentDevice()->accessories;
    std::vector<rt::Id> list;
    for (int i = 1; i <= count; ++i) list.push_back(rt::make<Accessory>(static_cast<std::uint64_t>(i)));
    return ns::Array::make(std::move(list));
}

RT_DEFINE_CLASS(Accessory, "EAAccessory", rt::Object, rt::prop("connected", &Accessory::isConnected),
                rt::prop("connectionID", &Accessory::connectionID), rt::prop("name", &Accessory::name))
RT_DEFINE_CLASS(AccessoryManager, "EAAccessoryManager", rt::Object,
                rt::classMethod("sharedAccessoryManager", &AccessoryManager::sharedAccessoryManager),
                rt::method("connectedAccessories", &AccessoryManager::connectedAccessories))

} // namespace ea
