#include "device/bluetooth_checker.h"

#include "platform/bluetooth/central_manager.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace ft {

RT_DEFINE_CLASS(BluetoothChecker, "BluetoothChecker", rt::Object,
                rt::prop("bluetoothManager", &BluetoothChecker::bluetoothManager, &BluetoothChecker::setBluetoothManager),
                rt::method("centralManagerDidUpdateState:", &BluetoothChecker::centralManagerDidUpdateState),
                rt::adopts(cb::centralManagerDelegateProtocol()))

BluetoothChecker::BluetoothChecker() = default;
BluetoothChecker::~BluetoothChecker() = default;

const rt::Ref<BluetoothChecker>& BluetoothChecker::sharedChecker() {
    static const rt::Ref<BluetoothChecker>* shared = [] {
        rt::PermanentScope permanent;
        auto* checker = new rt::Ref<BluetoothChecker>(rt::immortal(rt::make<BluetoothChecker>()));
        auto options = ns::MutableDictionary::make();
        options->setObjectForKey(ns::Number::withInt(0), cb::CentralManagerOptionShowPowerAlertKey);
        (*checker)->setBluetoothManager(cb::CentralManager::make(*checker, nullptr, options));
        return checker;
    }();
    return *shared;
}

void BluetoothChecker::setBluetoothManager(rt::Ref<cb::CentralManager> manager) {
    rt::KeyChange change(this, "bluetoothManager");
    bluetoothManager_ = std::move(manager);
}

std::string_view BluetoothChecker::stateText(long state) noexcept {
    switch (state) {
    case 1: return "The connection with the system service was momentarily lost, update imminent.";
    case 2: return "The platform doesn't support Bluetooth Low Energy.";
    case 3: return "The app is not authorized to use Bluetooth Low Energy.";
    case 4: return "Bluetooth is currently powered off.";
    case 5: return "Bluetooth is currently powered on and available to use.";
    default: return "State unknown, update imminent.";
    }
}

void BluetoothChecker::centralManagerDidUpdateState(const rt::Ref<cb::CentralManager>& central) {
    const long state = central ? static_cast<long>(central->state()) : 0;
    ns::log("Bluetooth State: %@", stateText(state));
}

} // namespace ft
