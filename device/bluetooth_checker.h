#pragma once
// ft::BluetoothChecker ("BluetoothChecker"): one process-wide central manager whose every state
// update is written to the system log in words ("Bluetooth State: Bluetooth is currently powered
// on and available to use."). It keeps no state of its own and tells nobody.

#include <string_view>

#include "platform/runtime/object.h"

namespace cb {
class CentralManager;
}

namespace ft {

class BluetoothChecker final : public rt::Object {
    RT_CLASS(BluetoothChecker)
public:
    // Made once, by the first caller (concurrent callers wait for it); immortal. Its manager's
    // delegate calls come on the main queue, the first once the device reports its state.
    static const rt::Ref<BluetoothChecker>& sharedChecker();

    // Made with the checker as delegate, on the main queue, with the power alert switched off.
    const rt::Ref<cb::CentralManager>& bluetoothManager() const noexcept { return bluetoothManager_; }
    void setBluetoothManager(rt::Ref<cb::CentralManager> manager);

    // The delegate call ("centralManagerDidUpdateState:"): logs the manager's state.
    void centralManagerDidUpdateState(const rt::Ref<cb::CentralManager>& central);

    // The words for a central manager state; 0 and values outside 1 to 5 are the unknown state's.
    static std::string_view stateText(long state) noexcept;

protected:
    ~BluetoothChecker() override;

private:
    BluetoothChecker();
    rt::Ref<cb::CentralManager> bluetoothManager_;
};

} // namespace ft
