// The location, Bluetooth and I/O registry stand-ins over the simulated device.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bluetooth/central_manager.h"
#include "platform/foundation/error.h"
#include "platform/foundation/run_loop.h"
#include "platform/iokit/registry.h"
#include "platform/location/location_manager.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;

// Hears the location and Bluetooth callbacks by name and writes them down.
class RadioDelegate : public rt::Object {
    RT_CLASS(RadioDelegate)
public:
    std::vector<std::string> heard;

    void authorization(const rt::Id&, int status) { heard.push_back("auth " + std::to_string(status)); }
    void location(const rt::Id&, const rt::Id& now, const rt::Id& before) {
        auto fix = rt::cast<cl::Location>(now);
        heard.push_back("fix " + std::to_string(static_cast<int>(fix->coordinate().latitude)) +
                        (before ? " after one" : " first"));
    }
    void failed(const rt::Id&, const rt::Id& error) {
        heard.push_back("error " + std::to_string(rt::cast<ns::Error>(error)->code()));
    }
    void state(const rt::Id& manager) {
        heard.push_back("state " + std::to_string(static_cast<int>(rt::cast<cb::CentralManager>(manager)->state())));
    }
    void discovered(const rt::Id&, const rt::Id& peripheral, const rt::Id&, const rt::Id& rssi) {
        auto p = rt::cast<cb::Peripheral>(peripheral);
        heard.push_back("found " + p->name()->utf8() + " " + std::to_string(rt::cast<ns::Number>(rssi)->intValue()));
        last = p;
    }
    void connected(const rt::Id&, const rt::Id&) { heard.push_back("connected"); }
    void services(const rt::Id& peripheral, const rt::Id&) {
        heard.push_back("services " + std::to_string(rt::cast<cb::Peripheral>(peripheral)->services()->count()));
    }
    Ref<cb::Peripheral> last;
};
RT_DEFINE_CLASS(RadioDelegate, "RadioTestDelegate", rt::Object,
                rt::method("locationManager:didChangeAuthorizationStatus:", &RadioDelegate::authorization),
                rt::method("locationManager:didUpdateToLocation:fromLocation:", &RadioDelegate::location),
                rt::method("locationManager:didFailWithError:", &RadioDelegate::failed),
                rt::method("centralManagerDidUpdateState:", &RadioDelegate::state),
                rt::method("centralManager:didDiscoverPeripheral:advertisementData:RSSI:", &RadioDelegate::discovered),
                rt::method("centralManager:didConnectPeripheral:", &RadioDelegate::connected),
                rt::method("peripheral:didDiscoverServices:", &RadioDelegate::services))

class Radio : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        sim::Profile p = sim::defaultProfile();
        p.location = {.status = 0, .requestReply = 2};
        p.bluetooth = {.state = 5,
                       .firstStateAfter = 0.5,
                       .peripherals = {{"Speaker", "1", -40, {"180f"}, 2}, {"Watch", "2", -70, {"180d"}, 1}}};
        device_.emplace(std::move(p));
        delegate = rt::make<RadioDelegate>();
    }
    void TearDown() override {
        delegate = nullptr;
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    static sim::Device& live() { return sim::Device::shared(); }
    Ref<RadioDelegate> delegate;

private:
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(Radio, TheAuthorisationRequestIsAnsweredAndFixesNeedUpdatesAndAuthorisation) {
    auto manager = cl::LocationManager::make();
    manager->setDelegate(delegate);
    manager->requestWhenInUseAuthorization();
    EXPECT_TRUE(delegate->heard.empty()) << "answered on a later turn";
    runFor(0);
    EXPECT_EQ(delegate->heard, std::vector<std::string>{"auth 2"});
    manager->startUpdatingLocation();
    live().locationFix({.latitude = 51});
    EXPECT_EQ(delegate->heard.size(), 1u) << "denied: the fix is dropped";
    EXPECT_FALSE(live().locationInUse()) << "denied: location is not in use";
    live().setLocationAuthorization(4);
    EXPECT_TRUE(live().locationInUse());
    live().locationFix({.latitude = 52});
    live().locationFix({.latitude = 53});
    live().locationError(1);
    manager->stopUpdatingLocation();
    EXPECT_FALSE(live().locationInUse());
    live().locationFix({.latitude = 54});
    EXPECT_EQ(delegate->heard,
              (std::vector<std::string>{"auth 2", "auth 4", "fix 52 first", "fix 53 after one", "error 1"}));
    cl::LocationManager::make()->startUpdatingLocation(); // let go of while updating
    EXPECT_FALSE(live().locationInUse());
    manager->requestWhenInUseAuthorization(); // decided: nothing
    runFor(0);
    EXPECT_EQ(delegate->heard.size(), 5u);
}

TEST_F(Radio, TheCentralHearsNoStateDuringCreationThenOnePerChangeAndThePowerAlert) {
    auto manager = cb::CentralManager::make(delegate, nullptr, nullptr);
    EXPECT_EQ(manager->state(), cb::ManagerState::Unknown);
    runFor(0.4);
    EXPECT_TRUE(delegate->heard.empty());
    runFor(0.1);
    EXPECT_EQ(delegate->heard, std::vector<std::string>{"state 5"});
    live().setBluetoothState(4);
    live().setBluetoothState(4);
    runFor(0);
    EXPECT_EQ(delegate->heard, (std::vector<std::string>{"state 5", "state 4"}));
    EXPECT_EQ(live().logText(), "0.500 bluetooth state 4\n0.500 bluetooth state 4\n0.500 power alert shown\n");

    auto quiet = ns::MutableDictionary::make();
    quiet->setObjectForKey(ns::Number::withInt(0), cb::CentralManagerOptionShowPowerAlertKey);
    auto other = cb::CentralManager::make(nullptr, nullptr, quiet);
    runFor(1);
    EXPECT_EQ(other->state(), cb::ManagerState::PoweredOff);
    const std::string log = live().logText();
    EXPECT_EQ(log.find("power alert shown"), log.rfind("power alert shown")) << "once: the quiet manager shows none";
}

TEST_F(Radio, AScanFindsEachPeripheralItsTimeInAndAStopEndsIt) {
    auto manager = cb::CentralManager::make(delegate, dispatch::Queue::main(), nullptr);
    runFor(0.5);
    manager->scanForPeripheralsWithServices(nullptr, nullptr);
    runFor(1);
    EXPECT_EQ(delegate->heard, (std::vector<std::string>{"state 5", "found Watch -70"}));
    manager->stopScan();
    runFor(2);
    EXPECT_EQ(delegate->heard.size(), 2u);
    ASSERT_TRUE(delegate->last);
    delegate->last->setDelegate(delegate);
    manager->connectPeripheral(delegate->last, nullptr);
    runFor(0);
    delegate->last->discoverServices(nullptr);
    runFor(0);
    EXPECT_EQ(delegate->heard.back(), "services 1");
    EXPECT_EQ(delegate->last->state(), cb::PeripheralState::Connected);

    auto filtered = ns::Array::make({cb::UUID::UUIDWithString("180F")});
    manager->scanForPeripheralsWithServices(filtered, nullptr);
    runFor(3);
    EXPECT_EQ(delegate->heard.back(), "found Speaker -40");
    manager->stopScan();
}

// ---- The registry ---------------------------------------------------------------------------

std::vector<std::string>& messages() {
    static std::vector<std::string> list;
    return list;
}

void interest(void* refCon, io::io_service_t, std::uint32_t type, void*) {
    messages().push_back(std::string(static_cast<const char*>(refCon)) +
                         (type == io::kIOMessageServicePropertyChange ? " change" : " other"));
}

using Registry = Radio;

TEST_F(Registry, MatchingAndReadsAreByClassAndCopies) {
    io::mach_port_t master = 0;
    io::IOMasterPort(io::MACH_PORT_NULL, &master);
    const auto charger = io::IOServiceGetMatchingService(master, io::IOServiceMatching("AppleARMPMUCharger"));
    ASSERT_NE(charger, 0u);
    EXPECT_EQ(io::IOServiceGetMatchingService(master, io::IOServiceMatching("NoSuchService")), 0u);
    Ref<ns::MutableDictionary> properties;
    ASSERT_EQ(io::IORegistryEntryCreateCFProperties(charger, &properties, nullptr, 0), io::KERN_SUCCESS);
    ASSERT_TRUE(properties);
    EXPECT_TRUE(properties->objectForKey("Voltage"));
    properties->removeObjectForKey("Voltage"); // a copy: the registry keeps its own
    Ref<ns::MutableDictionary> again;
    io::IORegistryEntryCreateCFProperties(charger, &again, nullptr, 0);
    EXPECT_TRUE(again->objectForKey("Voltage"));

    EXPECT_NE(io::IORegistryEntryCreateCFProperties(0, &again, nullptr, 0), io::KERN_SUCCESS);
    EXPECT_FALSE(again);
    live().setRegistryEntry("AppleARMPMUCharger", std::nullopt);
    EXPECT_NE(io::IORegistryEntryCreateCFProperties(charger, &again, nullptr, 0), io::KERN_SUCCESS);
    EXPECT_FALSE(again) << "the entry has left the registry";
}

TEST_F(Registry, EachPortHearsOneMessagePerChangeOnItsRunLoopAndADestroyedPortNothing) {
    messages().clear();
    const auto battery = io::IOServiceGetMatchingService(0, io::IOServiceMatching("AppleSmartBattery"));
    io::IONotificationPortRef first = io::IONotificationPortCreate(0), second = io::IONotificationPortCreate(0);
    for (auto port : {first, second})
        ns::RunLoop::main()->addSource(io::IONotificationPortGetRunLoopSource(port), ns::DefaultRunLoopMode);
    static char a[] = "first", b[] = "second";
    ASSERT_EQ(io::IOServiceAddInterestNotification(first, battery, io::kIOGeneralInterest, interest, a, nullptr),
              io::KERN_SUCCESS);
    ASSERT_EQ(io::IOServiceAddInterestNotification(second, battery, io::kIOGeneralInterest, interest, b, nullptr),
              io::KERN_SUCCESS);
    EXPECT_EQ(io::IOServiceAddInterestNotification(first, 0, io::kIOGeneralInterest, interest, a, nullptr),
              io::kIOReturnBadArgument);

    live().plugCharger("ac"); // merges into the battery's entry
    EXPECT_TRUE(messages().empty()) << "delivered by the run loop";
    testkit::drainMainQueue();
    EXPECT_EQ(messages(), (std::vector<std::string>{"first change", "second change"}));

    live().setBattery(0.2, sim::BatteryState::Charging); // not a registry change
    live().setRegistryEntry("Unwatched", sim::RegistryProperties{{"IOClass", std::string("Unwatched")}});
    testkit::drainMainQueue();
    EXPECT_EQ(messages().size(), 2u);

    auto source = io::IONotificationPortGetRunLoopSource(first);
    io::IONotificationPortDestroy(first);
    EXPECT_FALSE(source->isValid());
    live().unplugCharger();
    live().setRegistryEntry("AppleSmartBattery", std::nullopt); // two changes, two messages
    testkit::drainMainQueue();
    EXPECT_EQ(messages(), (std::vector<std::string>{"first change", "second change", "second change", "second change"}));
    io::IONotificationPortDestroy(second);
    EXPECT_FALSE(ns::RunLoop::main()->containsSource(source, ns::DefaultRunLoopMode));
}

} // namespace
