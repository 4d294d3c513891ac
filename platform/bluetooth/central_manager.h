#pragma once
// cb::CentralManager ("CBCentralManager") and its peripherals, over the simulated device's
// Bluetooth. Delegate callbacks go by name, each only to a delegate that answers it, on the
// manager's queue (nil: the main queue):
//   centralManagerDidUpdateState:   the first state bluetooth.firstStateAfter seconds after the
//                                   manager is made (never during its creation: it reads
//                                   unknown until then), then once per change
//   centralManager:didDiscoverPeripheral:advertisementData:RSSI:   while scanning, each of the
//                                   profile's peripherals its `after` seconds into the scan
//   centralManager:didConnectPeripheral:, centralManager:didDisconnectPeripheral:error:
//   peripheral:didDiscoverServices: (to the peripheral's delegate)
// At state 4 (powered off) the device log shows "power alert shown", unless the options'
// "kCBInitOptionShowPowerAlert" is 0.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace rt {
class Protocol;
}

namespace cb {

// "CBCentralManagerDelegate": centralManagerDidUpdateState: required, the rest optional.
const rt::Protocol& centralManagerDelegateProtocol();
// "CBPeripheralDelegate": every method optional.
const rt::Protocol& peripheralDelegateProtocol();

enum class ManagerState : long { Unknown = 0, Resetting = 1, Unsupported = 2, Unauthorized = 3, PoweredOff = 4, PoweredOn = 5 };
enum class PeripheralState : long { Disconnected = 0, Connecting = 1, Connected = 2 };

inline constexpr const char* CentralManagerOptionShowPowerAlertKey = "kCBInitOptionShowPowerAlert";
inline constexpr const char* AdvertisementDataLocalNameKey = "kCBAdvDataLocalName";
inline constexpr const char* AdvertisementDataServiceUUIDsKey = "kCBAdvDataServiceUUIDs";

// A Bluetooth UUID, kept as upper-case text ("180F", or the 128-bit form).
class UUID final : public rt::Object {
    RT_CLASS(UUID)
public:
    static rt::Ref<UUID> UUIDWithString(std::string_view text);
    const rt::Ref<ns::String>& UUIDString() const noexcept { return text_; }
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    explicit UUID(rt::Ref<ns::String> text) : text_(std::move(text)) {}
    rt::Ref<ns::String> text_;
};

class Service final : public rt::Object {
    RT_CLASS(Service)
public:
    // "UUID" by key.
    const rt::Ref<UUID>& uuid() const noexcept { return uuid_; }

private:
    friend class CentralManager;
    explicit Service(rt::Ref<UUID> uuid) : uuid_(std::move(uuid)) {}
    rt::Ref<UUID> uuid_;
};

class CentralManager;

class Peripheral final : public rt::Object {
    RT_CLASS(Peripheral)
public:
    const rt::Ref<ns::String>& name() const noexcept { return name_; }
    const rt::Ref<ns::String>& identifier() const noexcept { return identifier_; }
    PeripheralState state() const noexcept { return state_; }
    // Held weakly.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = rt::Weak<rt::Object>(delegate); }
    // Nil until services were discovered.
    const rt::Ref<ns::Array>& services() const noexcept { return services_; }

    // All of the peripheral's services (nil), or those of `uuids`; answered on the manager's queue.
    void discoverServices(const rt::Ref<ns::Array>& uuids);
    // Recorded only: no characteristic is discovered.
    void discoverCharacteristicsForService(const rt::Ref<ns::Array>& uuids, const rt::Ref<Service>& service);
    std::size_t characteristicRequests() const noexcept { return characteristicRequests_; }

private:
    friend class CentralManager;
    Peripheral(rt::Ref<ns::String> name, rt::Ref<ns::String> identifier, std::vector<rt::Ref<Service>> all,
               rt::Ref<dispatch::Queue> queue);

    rt::Ref<ns::String> name_, identifier_;
    std::vector<rt::Ref<Service>> all_;
    rt::Ref<dispatch::Queue> queue_;
    PeripheralState state_ = PeripheralState::Disconnected;
    rt::Weak<rt::Object> delegate_;
    rt::Ref<ns::Array> services_;
    std::size_t characteristicRequests_ = 0;
};

class CentralManager final : public rt::Object {
    RT_CLASS(CentralManager)
public:
    static rt::Ref<CentralManager> make(const rt::Id& delegate, rt::Ref<dispatch::Queue> queue,
                                        const rt::Ref<ns::Dictionary>& options);

    ManagerState state() const noexcept { return state_; }
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = rt::Weak<rt::Object>(delegate); }
    bool isScanning() const noexcept { return scanning_; }

    // Only while powered on; nil services: every peripheral.
    void scanForPeripheralsWithServices(const rt::Ref<ns::Array>& services, const rt::Ref<ns::Dictionary>& options);
    void stopScan();
    void connectPeripheral(const rt::Ref<Peripheral>& peripheral, const rt::Ref<ns::Dictionary>& options);
    void cancelPeripheralConnection(const rt::Ref<Peripheral>& peripheral);

    struct Hooks;

protected:
    ~CentralManager() override;

private:
    CentralManager(const rt::Id& delegate, rt::Ref<dispatch::Queue> queue, bool showPowerAlert);
    void start();
    // Moves to the device's state and tells the delegate, when it differs.
    void updateState(int state);
    // Runs `call` on the manager's queue while the manager lives.
    void onQueue(std::function<void(const rt::Ref<CentralManager>&)> call);

    rt::Weak<rt::Object> delegate_;
    rt::Ref<dispatch::Queue> queue_;
    bool showPowerAlert_;
    bool started_ = false; // the first state has come
    bool told_ = false;    // the delegate heard it
    ManagerState state_ = ManagerState::Unknown;
    bool scanning_ = false;
    std::uint64_t scan_ = 0; // moves on at each scan and stop
    std::unique_ptr<Hooks> hooks_;
};

} // namespace cb
