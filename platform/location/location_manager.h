#pragma once
// cl::LocationManager ("CLLocationManager") and cl::Location ("CLLocation"): the simulated
// device's location sensor. Delegate callbacks go by name, on the stepper's (main) thread, each
// only to a delegate that answers it:
//   locationManager:didChangeAuthorizationStatus:   every change of the authorisation; a request
//                                                   while it is undetermined is answered so, with
//                                                   the profile's location.requestReply
//   locationManager:didUpdateToLocation:fromLocation:  each fix while updating and authorised
//                                                   (always 3, when in use 4); other fixes are
//                                                   dropped; the previous fix this manager
//                                                   delivered comes second (nil at first)
//   locationManager:didFailWithError:               a location error while updating
//                                                   (kCLErrorDomain, the stimulus's code)

#include <memory>

#include "platform/foundation/date.h"
#include "platform/runtime/object.h"

namespace rt {
class Protocol;
}

namespace cl {

// "CLLocationManagerDelegate": every method optional.
const rt::Protocol& locationManagerDelegateProtocol();

enum class AuthorizationStatus : int {
    NotDetermined = 0,
    Restricted = 1,
    Denied = 2,
    AuthorizedAlways = 3,
    AuthorizedWhenInUse = 4,
};

inline constexpr const char* ErrorDomain = "kCLErrorDomain";
inline constexpr double LocationAccuracyBest = -1;

struct LocationCoordinate2D {
    double latitude = 0;
    double longitude = 0;
};

class Location final : public rt::Object {
    RT_CLASS(Location)
public:
    static rt::Ref<Location> make(LocationCoordinate2D coordinate, double altitude, double horizontalAccuracy,
                                  double verticalAccuracy);

    LocationCoordinate2D coordinate() const noexcept { return coordinate_; }
    double altitude() const noexcept { return altitude_; }
    double horizontalAccuracy() const noexcept { return horizontalAccuracy_; }
    double verticalAccuracy() const noexcept { return verticalAccuracy_; }
    // When the fix came, on the installed clock.
    const rt::Ref<ns::Date>& timestamp() const noexcept { return timestamp_; }

private:
    Location(LocationCoordinate2D coordinate, double altitude, double horizontal, double vertical);
    LocationCoordinate2D coordinate_;
    double altitude_, horizontalAccuracy_, verticalAccuracy_;
    rt::Ref<ns::Date> timestamp_;
};

class LocationManager final : public rt::Object {
    RT_CLASS(LocationManager)
public:
    static rt::Ref<LocationManager> make();

    static AuthorizationStatus authorizationStatus();
    static bool locationServicesEnabled();

    // Held weakly.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = rt::Weak<rt::Object>(delegate); }
    double desiredAccuracy() const noexcept { return desiredAccuracy_; }
    void setDesiredAccuracy(double accuracy) { desiredAccuracy_ = accuracy; }

    // While undetermined, asks the device's user (sim::Device::askPermission: the system's question
    // shows until the status is decided) and, on the main queue's next turn, sets the profile's
    // location.requestReply (0 leaves the question to the user); else nothing.
    void requestWhenInUseAuthorization();
    void requestAlwaysAuthorization();
    // While updating, the device counts location as in use (sim::Device::locationInUse).
    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool isUpdating() const noexcept { return updating_; }

    struct Hooks;

protected:
    ~LocationManager() override;

private:
    LocationManager();
    rt::Weak<rt::Object> delegate_;
    double desiredAccuracy_ = LocationAccuracyBest;
    bool updating_ = false;
    rt::Ref<Location> previous_;
    std::unique_ptr<Hooks> hooks_;
};

} // namespace cl
