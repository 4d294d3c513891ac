#include "diagnostics/audio_motion_radio_power/bluetooth_view_controller.h"

#include <cstring>

#include "diagnostics/audio_motion_radio_power/automatic_ending.h"
#include "diagnostics/audio_motion_radio_power/radio_steps.h"
#include "platform/bluetooth/central_manager.h"
#include "platform/foundation/array.h"
#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/gamekit/session.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_view.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/property_signals.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool bluetoothNibRegistered = registerTestScreenNib<BluetoothViewController>(
    "BluetoothViewController", [](const rt::Ref<ui::View>& view, BluetoothViewController& screen) {
        const double width = view->bounds().width();
        auto lines = addRadioStepLines(view, BluetoothViewController::kSteps);
        lines[2].caption->setText(ns::String::make("Communications capacity test"));
        auto messages = rt::make<ui::TextView>(cg::Rect::make(20, 330, width - 40, 160));
        messages->setEditable(false);
        view->addSubview(messages);
        screen.setOutlets(lines, messages);
    });

} // namespace

RT_DEFINE_CLASS(BluetoothViewController, "BluetoothViewController", BaseModelViewController,
                rt::prop("hasPowerOn", &BluetoothViewController::hasPowerOn, &BluetoothViewController::setHasPowerOn),
                rt::prop("canScanPeripherals", &BluetoothViewController::canScanPeripherals,
                         &BluetoothViewController::setCanScanPeripherals),
                rt::prop("hasReceiveData", &BluetoothViewController::hasReceiveData,
                         &BluetoothViewController::setHasReceiveData),
                rt::prop("launchTest", &BluetoothViewController::launchTest, {.memory = rt::Memory::Weak}),
                rt::prop("discoverycapacityTest", &BluetoothViewController::discoverycapacityTest,
                         {.memory = rt::Memory::Weak}),
                rt::prop("outMessageTextView", &BluetoothViewController::outMessageTextView,
                         {.memory = rt::Memory::Weak}),
                rt::method("centralManagerDidUpdateState:", &BluetoothViewController::centralManagerDidUpdateState),
                rt::method("centralManager:didDiscoverPeripheral:advertisementData:RSSI:",
                           &BluetoothViewController::didDiscoverPeripheral),
                rt::method("centralManager:didConnectPeripheral:", &BluetoothViewController::didConnectPeripheral),
                rt::method("centralManager:didRetrievePeripherals:", &BluetoothViewController::didRetrievePeripherals),
                rt::method("peripheral:didDiscoverServices:", &BluetoothViewController::didDiscoverServices),
                rt::method("peerPickerController:didSelectConnectionType:",
                           &BluetoothViewController::pickerDidSelectConnectionType),
                rt::method("peerPickerController:sessionForConnectionType:",
                           &BluetoothViewController::pickerSessionForConnectionType),
                rt::method("peerPickerController:didConnectPeer:toSession:",
                           &BluetoothViewController::pickerDidConnectPeer),
                rt::method("peerPickerControllerDidCancel:", &BluetoothViewController::pickerDidCancel),
                rt::method("session:peer:didChangeState:", &BluetoothViewController::sessionPeerDidChangeState),
                rt::method("session:didReceiveConnectionRequestFromPeer:",
                           &BluetoothViewController::sessionDidReceiveConnectionRequest),
                rt::method("receiveData:fromPeer:inSession:context:", &BluetoothViewController::receiveData))

BluetoothViewController::BluetoothViewController() = default;

rt::Ref<ui::ImageView> BluetoothViewController::step(int index) const {
    return ticks_.at(index).lock();
}

rt::Ref<ui::ActivityIndicatorView> BluetoothViewController::activityIndicator(int index) const {
    return spinners_.at(index).lock();
}

rt::Ref<ui::Label> BluetoothViewController::launchTest() const {
    return launchTest_.lock();
}

rt::Ref<ui::Label> BluetoothViewController::discoverycapacityTest() const {
    return discoverycapacityTest_.lock();
}

rt::Ref<ui::TextView> BluetoothViewController::outMessageTextView() const {
    return outMessageTextView_.lock();
}

BluetoothViewController::~BluetoothViewController() {
    letPeripheralsGo();
}

void BluetoothViewController::setHasPowerOn(bool on) {
    rt::KeyChange change(this, "hasPowerOn");
    hasPowerOn_ = on;
}

void BluetoothViewController::setCanScanPeripherals(bool can) {
    rt::KeyChange change(this, "canScanPeripherals");
    canScanPeripherals_ = can;
}

void BluetoothViewController::setHasReceiveData(bool received) {
    rt::KeyChange change(this, "hasReceiveData");
    hasReceiveData_ = received;
}

void BluetoothViewController::setSession(const rt::Ref<gk::Session>& session) {
    session_ = session;
}

void BluetoothViewController::setPeerPicker(const rt::Ref<gk::PeerPickerController>& picker) {
    peerPicker_ = picker;
}

void BluetoothViewController::setOutlets(const std::vector<RadioStepLine>& steps,
                                         const rt::Ref<ui::TextView>& outMessageTextView) {
    for (std::size_t i = 0; i < steps.size() && i < kSteps; ++i) {
        ticks_[i] = steps[i].tick;
        spinners_[i] = steps[i].spinner;
    }
    if (steps.size() > 1) {
        launchTest_ = steps[0].caption;
        discoverycapacityTest_ = steps[1].caption;
    }
    outMessageTextView_ = outMessageTextView;
}

void BluetoothViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    setSubItemlist(radioStepRows({"Bluetooth launch test", "Discovery capacity test", "Communications capacity test"}));
    if (auto messages = outMessageTextView()) messages->setTextContainerInset({0, 10, 0, 10});
    if (auto title = labelTitle()) title->setText(localized("BLUETOOTH_CONTROLLER_TITLE"));
    if (auto label = launchTest()) label->setText(localized("BLUETOOTH_CONTROLLER_LAUNCH_TEST"));
    if (auto label = discoverycapacityTest()) label->setText(localized("BLUETOOTH_CONTROLLER_DISCOVERY_CAPACITY_TEST"));

    const rt::Weak<BluetoothViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        if (shown) {
            self->hidenButtons(true);
            return;
        }
        if (self->cm_) self->cm_->stopScan();
        self->letPeripheralsGo();
        if (self->session_) self->session_->setAvailable(false);
        if (self->peerPicker_ && self->peerPicker_->isVisible()) {
            self->peerPicker_->dismiss();
            ns::log("[self.peerPicker dismiss];");
        }
    });
    auto ended = es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(true));
    auto launch = es::Signal::returnValue(ns::Number::withBool(true))->delay(kLaunchDelay);
    const rt::Id self = rt::retained(this);
    auto power = es::valuesForKeyPath(self, "hasPowerOn", self)
                     ->distinctUntilChanged()
                     ->filter([](bool on) { return on; })
                     ->delay(kPowerDelay)
                     ->logAll();
    if (auto spinner = activityIndicator(0)) spinner->setHidden(false);
    launch
        ->flattenMap([weak, power](const rt::Id&) {
            if (auto self = weak.lock()) self->passStep(0);
            return power;
        })
        ->flattenMap([weak](const rt::Id&) {
            if (auto self = weak.lock()) {
                self->passStep(1);
                if (self->cm_) self->cm_->stopScan();
            }
            return es::Signal::returnValue(ns::Number::withBool(true));
        })
        ->catchError([weak](const rt::Ref<ns::Error>& error) {
            if (auto self = weak.lock()) {
                self->setVerdict(TestBaseModel::kFailed, "the radio check failed" + describedError(error));
                self->gotoResultView();
            }
            return es::Signal::empty();
        })
        ->takeUntil(ended)
        ->subscribeNext([weak](const rt::Id&) {
            auto self = weak.lock();
            if (!self) return;
            if (auto item = self->info()) item->setSuccess(TestBaseModel::kPassed);
            self->gotoResultView();
        });
    auto options = ns::MutableDictionary::make();
    options->setObjectForKey(ns::Number::withBool(true), cb::CentralManagerOptionShowPowerAlertKey);
    cm_ = cb::CentralManager::make(self, nullptr, options);
}

void BluetoothViewController::passStep(int index) {
    setRadioStepResult(subItemlist(), index, 1);
    tickRadioStep(step(index), activityIndicator(index));
    if (index == 0)
        if (auto next = activityIndicator(1)) next->setHidden(false);
}

void BluetoothViewController::letPeripheralsGo() {
    if (cm_)
        for (const auto& peripheral : peripherals_) cm_->cancelPeripheralConnection(peripheral);
    peripherals_.clear();
}

void BluetoothViewController::centralManagerDidUpdateState(const rt::Id& central) {
    auto manager = rt::cast<cb::CentralManager>(central);
    if (!manager) return;
    const char* message = nullptr;
    switch (manager->state()) {
    case cb::ManagerState::Unknown: message = "State unknown, update imminent."; break;
    case cb::ManagerState::Resetting:
        message = "The connection with the system service was momentarily lost, update imminent.";
        break;
    case cb::ManagerState::Unsupported:
        message = "The platform doesn't support Bluetooth Low Energy";
        setHasPowerOn(true);
        break;
    case cb::ManagerState::Unauthorized: message = "The app is not authorized to use Bluetooth Low Energy"; break;
    case cb::ManagerState::PoweredOff:
        message = "Bluetooth is currently powered off.";
        endAutomatically(*this, TestBaseModel::kFailed, "Bluetooth is powered off");
        break;
    case cb::ManagerState::PoweredOn:
        message = "Bluetooth is currently powered on and available to use.";
        setHasPowerOn(true);
        manager->scanForPeripheralsWithServices(nullptr, nullptr);
        setCanScanPeripherals(true);
        break;
    }
    ns::log("%@", message ? ns::String::make(message) : nullptr);
}

void BluetoothViewController::didDiscoverPeripheral(const rt::Id& central, const rt::Id& peripheral,
                                                    const rt::Id& advertisement, const rt::Id&) {
    ns::log("%@", advertisement);
    auto manager = rt::cast<cb::CentralManager>(central);
    auto found = rt::cast<cb::Peripheral>(peripheral);
    if (!manager || !found) return;
    peripherals_.push_back(found);
    manager->connectPeripheral(found, nullptr);
}

void BluetoothViewController::didConnectPeripheral(const rt::Id& central, const rt::Id& peripheral) {
    ns::log("Did connect to peripheral: %@", peripheral);
    auto connected = rt::cast<cb::Peripheral>(peripheral);
    if (!connected) return;
    connected->setDelegate(rt::retained(this));
    if (auto manager = rt::cast<cb::CentralManager>(central)) manager->stopScan();
    connected->discoverServices(nullptr);
}

void BluetoothViewController::didRetrievePeripherals(const rt::Id&, const rt::Id&) {
    ns::log("This is it!");
}

void BluetoothViewController::didDiscoverServices(const rt::Id& peripheral, const rt::Id& error) {
    auto found = rt::cast<cb::Peripheral>(peripheral);
    if (!found) return;
    if (auto failure = rt::cast<ns::Error>(error)) {
        ns::log("Discovered services for %@ with error: %@", found->name(), failure->localizedDescription());
        return;
    }
    const auto wanted = cb::UUID::UUIDWithString("FFE0");
    const auto& services = found->services();
    for (std::size_t i = 0; services && i < services->count(); ++i) {
        auto service = rt::cast<cb::Service>(services->objectAtIndex(i));
        if (!service) continue;
        ns::log("Service found with UUID: %@", service->uuid()->UUIDString());
        if (service->uuid()->isEqual(wanted.get())) found->discoverCharacteristicsForService(nullptr, service);
    }
}

void BluetoothViewController::pickerDidSelectConnectionType(const rt::Id&, unsigned long) {}

rt::Id BluetoothViewController::pickerSessionForConnectionType(const rt::Id&, unsigned long) {
    const rt::Weak<BluetoothViewController> weak(rt::retained(this));
    dispatch::asyncAfter(dispatch::after(kPickerDelay), dispatch::Queue::main(), [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setHasPowerOn(true);
        self->setCanScanPeripherals(true);
        if (self->peerPicker_ && self->peerPicker_->isVisible()) {
            self->peerPicker_->dismiss();
            ns::log("[self.peerPicker dismiss];");
        }
    });
    return nullptr;
}

void BluetoothViewController::pickerDidConnectPeer(const rt::Id&, const rt::Id&, const rt::Id&) {}

void BluetoothViewController::pickerDidCancel(const rt::Id& picker) {
    if (auto cancelled = rt::cast<gk::PeerPickerController>(picker)) cancelled->setDelegate(nullptr);
    peerPicker_ = nullptr;
    endAutomatically(*this, TestBaseModel::kFailed, "the peer picker was cancelled");
}

void BluetoothViewController::sessionPeerDidChangeState(const rt::Id& session, const rt::Id& peer, int state) {
    session_ = rt::cast<gk::Session>(session);
    auto name = translatePeerIdToDisplayname(rt::cast<ns::String>(peer));
    switch (static_cast<gk::PeerConnectionState>(state)) {
    case gk::PeerConnectionState::Available:
        outMessage(ns::stringWithFormat("find a peer(%@) at there.", name));
        if (session_) session_->connectToPeer(rt::cast<ns::String>(peer), kPeerTimeout);
        break;
    case gk::PeerConnectionState::Connected: {
        outMessage(ns::stringWithFormat("connect peer(%@) successed.send data.", name));
        const std::int32_t greeting = kPeerGreeting;
        std::string bytes(sizeof greeting, '\0');
        std::memcpy(bytes.data(), &greeting, sizeof greeting);
        if (session_) session_->sendDataToAllPeers(ns::Data::make(bytes), gk::SendDataMode::Reliable);
        break;
    }
    case gk::PeerConnectionState::Disconnected:
        outMessage(ns::String::make("session was disconnected."));
        if (session_) session_->disconnectFromAllPeers();
        break;
    default: break;
    }
}

void BluetoothViewController::sessionDidReceiveConnectionRequest(const rt::Id& session, const rt::Id& peer) {
    const auto from = rt::cast<ns::String>(peer);
    outMessage(ns::stringWithFormat("receive a connection request from peer(%@).", translatePeerIdToDisplayname(from)));
    if (auto asked = rt::cast<gk::Session>(session)) asked->acceptConnectionFromPeer(from);
}

void BluetoothViewController::receiveData(const rt::Id& data, const rt::Id& peer, const rt::Id&, const rt::Id&) {
    outMessage(ns::stringWithFormat("receive data from peer(%@)", translatePeerIdToDisplayname(rt::cast<ns::String>(peer))));
    setHasReceiveData(true);
    const auto bytes = rt::cast<ns::Data>(data);
    std::int32_t value = 0;
    if (bytes && bytes->length() == sizeof value) {
        std::memcpy(&value, bytes->bytes(), sizeof value);
        if (value == kPeerGreeting) ns::log("Yey!");
    }
}

void BluetoothViewController::outMessage(const rt::Ref<ns::String>& text) {
    auto view = outMessageTextView();
    if (!text || text->length() == 0 || !view) return;
    const std::string shown = view->text() ? view->text()->utf8() : std::string();
    if (shown.find(text->utf8()) != std::string::npos) return;
    view->setText(ns::String::make(shown + text->utf8() + "\n"));
}

rt::Ref<ns::String> BluetoothViewController::translatePeerIdToDisplayname(const rt::Ref<ns::String>& peer) const {
    if (session_) return session_->displayNameForPeer(peer);
    return ns::String::make("unknown device.");
}

} // namespace ft
