#include "platform/bluetooth/central_manager.h"

#include <algorithm>
#include <cctype>

#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"

namespace cb {

RT_DEFINE_CLASS(UUID, "CBUUID", rt::Object, rt::prop("UUIDString", &UUID::UUIDString))
RT_DEFINE_CLASS(Service, "CBService", rt::Object, rt::prop("UUID", &Service::uuid))
RT_DEFINE_CLASS(Peripheral, "CBPeripheral", rt::Object, rt::prop("name", &Peripheral::name),
                rt::prop("identifier", &Peripheral::identifier), rt::prop("state", &Peripheral::state),
                rt::prop("services", &Peripheral::services),
                rt::prop("delegate", &Peripheral::delegate, &Peripheral::setDelegate, {.memory = rt::Memory::Weak}),
                rt::method("discoverServices:", &Peripheral::discoverServices),
                rt::method("discoverCharacteristics:forService:", &Peripheral::discoverCharacteristicsForService))
RT_DEFINE_CLASS(CentralManager, "CBCentralManager", rt::Object, rt::prop("state", &CentralManager::state),
                rt::prop("isScanning", &CentralManager::isScanning),
                rt::prop("delegate", &CentralManager::delegate, &CentralManager::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::method("scanForPeripheralsWithServices:options:", &CentralManager::scanForPeripheralsWithServices),
                rt::method("stopScan", &CentralManager::stopScan),
                rt::method("connectPeripheral:options:", &CentralManager::connectPeripheral),
                rt::method("cancelPeripheralConnection:", &CentralManager::cancelPeripheralConnection))

const rt::Protocol& centralManagerDelegateProtocol() {
    static const rt::Protocol protocol(
        "CBCentralManagerDelegate",
        {{rt::Sel("centralManagerDidUpdateState:"), "v@:@", true},
         {rt::Sel("centralManager:didDiscoverPeripheral:advertisementData:RSSI:"), "v@:@@@@", false},
         {rt::Sel("centralManager:didConnectPeripheral:"), "v@:@@", false},
         {rt::Sel("centralManager:didDisconnectPeripheral:error:"), "v@:@@@", false}});
    return protocol;
}

const rt::Protocol& peripheralDelegateProtocol() {
    static const rt::Protocol protocol("CBPeripheralDelegate",
                                       {{rt::Sel("peripheral:didDiscoverServices:"), "v@:@@", false}});
    return protocol;
}

// ---- UUID -----------------------------------------------------------------------------------

rt::Ref<UUID> UUID::UUIDWithString(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return rt::make<UUID>(ns::String::make(upper));
}

bool UUID::isEqual(const rt::Object* other) const {
    auto* o = dynamic_cast<const UUID*>(other);
    return o && o->text_->isEqual(text_.get());
}

std::size_t UUID::hash() const {
    return text_->hash();
}

// ---- Peripheral -----------------------------------------------------------------------------

Peripheral::Peripheral(rt::Ref<ns::String> name, rt::Ref<ns::String> identifier, std::vector<rt::Ref<Service>> all,
                       rt::Ref<dispatch::Queue> queue)
    : name_(std::move(name)), identifier_(std::move(identifier)), all_(std::move(all)), queue_(std::move(queue)) {}

void Peripheral::discoverServices(const rt::Ref<ns::Array>& uuids) {
    std::vector<rt::Id> found;
    for (const auto& service : all_)
        if (!uuids || uuids->containsObject(service->uuid())) found.push_back(service);
    dispatch::async(queue_, [weak = rt::Weak<Peripheral>(this), found = std::move(found)] {
        rt::Ref<Peripheral> self = weak.lock();
        if (!self) return;
        self->services_ = ns::Array::make(found);
        rt::tell(self->delegate(), rt::Sel("peripheral:didDiscoverServices:"), self, rt::Id());
    });
}

void Peripheral::discoverCharacteristicsForService(const rt::Ref<ns::Array>&, const rt::Ref<Service>&) {
    ++characteristicRequests_;
}

// ---- CentralManager -------------------------------------------------------------------------

struct CentralManager::Hooks {
    sim::Device::HookId state = 0;
};

CentralManager::CentralManager(const rt::Id& delegate, rt::Ref<dispatch::Queue> queue, bool showPowerAlert)
    : delegate_(delegate), queue_(queue ? std::move(queue) : dispatch::Queue::main()), showPowerAlert_(showPowerAlert),
      hooks_(std::make_unique<Hooks>()) {}

CentralManager::~CentralManager() {
    sim::Device::shared().removeHook(hooks_->state);
}

rt::Ref<CentralManager> CentralManager::make(const rt::Id& delegate, rt::Ref<dispatch::Queue> queue,
                                             const rt::Ref<ns::Dictionary>& options) {
    bool alert = true;
    if (options)
        if (auto value = rt::cast<ns::Number>(options->objectForKey(CentralManagerOptionShowPowerAlertKey)))
            alert = value->boolValue();
    auto manager = rt::make<CentralManager>(delegate, std::move(queue), alert);
    manager->start();
    return manager;
}

void CentralManager::start() {
    rt::Weak<CentralManager> weak(this);
    hooks_->state = sim::Device::shared().addHook(sim::Aspect::Bluetooth, [weak](const sim::Profile& state) {
        if (auto self = weak.lock(); self && self->started_) {
            const int now = state.bluetooth.state;
            self->onQueue([now](const rt::Ref<CentralManager>& m) { m->updateState(now); });
        }
    });
    // The first state comes after creation, never during it: on a later turn at the soonest.
    const double after = std::max(0.0, sim::currentDevice()->bluetooth.firstStateAfter);
    dispatch::asyncAfter(dispatch::after(after), dispatch::Queue::main(), [weak] {
        rt::Ref<CentralManager> self = weak.lock();
        if (!self) return;
        self->started_ = true;
        const int now = sim::currentDevice()->bluetooth.state;
        self->onQueue([now](const rt::Ref<CentralManager>& m) { m->updateState(now); });
    });
}

void CentralManager::onQueue(std::function<void(const rt::Ref<CentralManager>&)> call) {
    dispatch::async(queue_, [weak = rt::Weak<CentralManager>(this), call = std::move(call)] {
        if (auto self = weak.lock()) call(self);
    });
}

void CentralManager::updateState(int state) {
    const auto next = static_cast<ManagerState>(state);
    if (told_ && next == state_) return;
    told_ = true;
    state_ = next;
    if (next != ManagerState::PoweredOn) {
        scanning_ = false;
        ++scan_;
    }
    if (next == ManagerState::PoweredOff && showPowerAlert_) sim::Device::shared().log("power alert shown");
    rt::tell(delegate(), rt::Sel("centralManagerDidUpdateState:"), rt::retained(this));
}

void CentralManager::scanForPeripheralsWithServices(const rt::Ref<ns::Array>& services, const rt::Ref<ns::Dictionary>&) {
    if (state_ != ManagerState::PoweredOn) return;
    scanning_ = true;
    const std::uint64_t scan = ++scan_;
    for (const sim::Peripheral& p : sim::currentDevice()->bluetooth.peripherals) {
        std::vector<rt::Ref<Service>> all;
        bool wanted = !services || services->count() == 0;
        for (const auto& text : p.services) {
            auto uuid = UUID::UUIDWithString(text);
            if (services && services->containsObject(uuid)) wanted = true;
            all.push_back(rt::make<Service>(uuid));
        }
        if (!wanted) continue;
        auto peripheral = rt::make<Peripheral>(ns::String::make(p.name), ns::String::make(p.identifier), std::move(all),
                                               queue_);
        const int rssi = p.rssi;
        dispatch::asyncAfter(dispatch::after(std::max(0.0, p.after)), dispatch::Queue::main(),
                             [weak = rt::Weak<CentralManager>(this), scan, peripheral, rssi] {
                                 auto self = weak.lock();
                                 if (!self || self->scan_ != scan) return;
                                 self->onQueue([scan, peripheral, rssi](const rt::Ref<CentralManager>& m) {
                                     if (m->scan_ != scan) return; // stopped meanwhile
                                     auto data = ns::MutableDictionary::make();
                                     data->setObjectForKey(peripheral->name(), AdvertisementDataLocalNameKey);
                                     rt::tell(m->delegate(),
                                              rt::Sel("centralManager:didDiscoverPeripheral:advertisementData:RSSI:"),
                                              m, peripheral, data, ns::Number::withInt(rssi));
                                 });
                             });
    }
}

void CentralManager::stopScan() {
    scanning_ = false;
    ++scan_;
}

void CentralManager::connectPeripheral(const rt::Ref<Peripheral>& peripheral, const rt::Ref<ns::Dictionary>&) {
    if (!peripheral || state_ != ManagerState::PoweredOn) return;
    peripheral->state_ = PeripheralState::Connecting;
    onQueue([peripheral](const rt::Ref<CentralManager>& m) {
        if (peripheral->state_ != PeripheralState::Connecting) return; // cancelled meanwhile
        peripheral->state_ = PeripheralState::Connected;
        rt::tell(m->delegate(), rt::Sel("centralManager:didConnectPeripheral:"), m, peripheral);
    });
}

void CentralManager::cancelPeripheralConnection(const rt::Ref<Peripheral>& peripheral) {
    if (!peripheral || peripheral->state_ == PeripheralState::Disconnected) return;
    peripheral->state_ = PeripheralState::Disconnected;
    onQueue([peripheral](const rt::Ref<CentralManager>& m) {
        rt::tell(m->delegate(), rt::Sel("centralManager:didDisconnectPeripheral:error:"), m, peripheral, rt::Id());
    });
}

} // namespace cb
