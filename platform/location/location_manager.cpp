#include "platform/location/location_manager.h"

#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/sim/device.h"

namespace cl {

const rt::Protocol& locationManagerDelegateProtocol() {
    static const rt::Protocol protocol(
        "CLLocationManagerDelegate",
        {{rt::Sel("locationManager:didChangeAuthorizationStatus:"), "v@:@i", false},
         {rt::Sel("locationManager:didUpdateToLocation:fromLocation:"), "v@:@@@", false},
         {rt::Sel("locationManager:didFailWithError:"), "v@:@@", false}});
    return protocol;
}

RT_DEFINE_CLASS(Location, "CLLocation", rt::Object, rt::prop("altitude", &Location::altitude),
                rt::prop("horizontalAccuracy", &Location::horizontalAccuracy),
                rt::prop("verticalAccuracy", &Location::verticalAccuracy),
                rt::prop("timestamp", &Location::timestamp))
RT_DEFINE_CLASS(LocationManager, "CLLocationManager", rt::Object,
                rt::prop("delegate", &LocationManager::delegate, &LocationManager::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::prop("desiredAccuracy", &LocationManager::desiredAccuracy, &LocationManager::setDesiredAccuracy),
                rt::method("requestWhenInUseAuthorization", &LocationManager::requestWhenInUseAuthorization),
                rt::method("requestAlwaysAuthorization", &LocationManager::requestAlwaysAuthorization),
                rt::method("startUpdatingLocation", &LocationManager::startUpdatingLocation),
                rt::method("stopUpdatingLocation", &LocationManager::stopUpdatingLocation),
                rt::classMethod("authorizationStatus", +[] { return static_cast<int>(LocationManager::authorizationStatus()); }))

Location::Location(LocationCoordinate2D coordinate, double altitude, double horizontal, double vertical)
    : coordinate_(coordinate), altitude_(altitude), horizontalAccuracy_(horizontal), verticalAccuracy_(vertical),
      timestamp_(ns::Date::now()) {}

rt::Ref<Location> Location::make(LocationCoordinate2D coordinate, double altitude, double horizontalAccuracy,
                                 double verticalAccuracy) {
    return rt::make<Location>(coordinate, altitude, horizontalAccuracy, verticalAccuracy);
}

struct LocationManager::Hooks {
    sim::Device::HookId status = 0, events = 0;
};

LocationManager::LocationManager() : hooks_(std::make_unique<Hooks>()) {
    sim::Device& device = sim::Device::shared();
    rt::Weak<LocationManager> weak(this);
    hooks_->status = device.addHook(sim::Aspect::Location, [weak](const sim::Profile& state) {
        rt::Ref<LocationManager> self = weak.lock();
        if (!self) return;
        rt::tell(self->delegate(), rt::Sel("locationManager:didChangeAuthorizationStatus:"), self,
                 state.location.status);
    });
    hooks_->events = device.addEventHook([weak](const sim::DeviceEvent& event) {
        rt::Ref<LocationManager> self = weak.lock();
        if (!self || !self->updating_) return;
        if (event.kind == sim::DeviceEvent::Kind::LocationFix) {
            const auto status = authorizationStatus();
            if (status != AuthorizationStatus::AuthorizedAlways && status != AuthorizationStatus::AuthorizedWhenInUse)
                return; // not authorised: the fix is dropped
            const sim::LocationFix& f = event.fix;
            auto location = Location::make({f.latitude, f.longitude}, f.altitude, f.horizontalAccuracy, f.verticalAccuracy);
            auto previous = std::exchange(self->previous_, location);
            rt::tell(self->delegate(), rt::Sel("locationManager:didUpdateToLocation:fromLocation:"), self, location,
                     previous);
        } else if (event.kind == sim::DeviceEvent::Kind::LocationError) {
            rt::tell(self->delegate(), rt::Sel("locationManager:didFailWithError:"), self,
                     ns::Error::make(ErrorDomain, event.code));
        }
    });
}

LocationManager::~LocationManager() {
    if (updating_) sim::Device::shared().setLocationUpdating(this, false);
    sim::Device::shared().removeHook(hooks_->status);
    sim::Device::shared().removeHook(hooks_->events);
}

rt::Ref<LocationManager> LocationManager::make() {
    return rt::make<LocationManager>();
}

AuthorizationStatus LocationManager::authorizationStatus() {
    return static_cast<AuthorizationStatus>(sim::currentDevice()->location.status);
}

bool LocationManager::locationServicesEnabled() {
    return sim::currentDevice()->sensors.gps;
}

void LocationManager::requestWhenInUseAuthorization() {
    if (authorizationStatus() != AuthorizationStatus::NotDetermined) return;
    sim::Device::shared().askPermission(sim::Permission::Location);
    dispatch::async(dispatch::Queue::main(), [] {
        if (authorizationStatus() != AuthorizationStatus::NotDetermined) return; // answered meanwhile
        sim::Device::shared().setLocationAuthorization(sim::currentDevice()->location.requestReply);
    });
}

void LocationManager::requestAlwaysAuthorization() {
    requestWhenInUseAuthorization();
}

void LocationManager::startUpdatingLocation() {
    updating_ = true;
    sim::Device::shared().setLocationUpdating(this, true);
}

void LocationManager::stopUpdatingLocation() {
    updating_ = false;
    sim::Device::shared().setLocationUpdating(this, false);
}

} // namespace cl
