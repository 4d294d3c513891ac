#pragma once
// mk::MapView ("MKMapView"): a map that draws nothing but follows the user. While the view is in a
// window it watches the device's location, and each fix the location stand-in delivers (so: while
// authorised) reaches its weak delegate's mapView:didUpdateUserLocation: by name, on the main
// thread, with the map's mk::UserLocation. setRegion:animated: keeps the region and the flag.

#include "platform/location/location_manager.h"
#include "platform/uikit/view.h"

namespace mk {

struct CoordinateSpan {
    double latitudeDelta = 0;
    double longitudeDelta = 0;
};

struct CoordinateRegion {
    cl::LocationCoordinate2D center;
    CoordinateSpan span;
};

// Metres to degrees at the centre: `latitudinalMeters` (north-south) over one degree of latitude,
// `longitudinalMeters` (east-west) over one degree of longitude at the centre's latitude.
CoordinateRegion coordinateRegionMakeWithDistance(cl::LocationCoordinate2D center, double latitudinalMeters,
                                                  double longitudinalMeters);

// "MKUserLocation": the latest fix the map heard of.
class UserLocation final : public rt::Object {
    RT_CLASS(UserLocation)
public:
    const rt::Ref<cl::Location>& location() const noexcept { return location_; }
    cl::LocationCoordinate2D coordinate() const { return location_ ? location_->coordinate() : cl::LocationCoordinate2D{}; }
    bool isUpdating() const noexcept { return updating_; }

private:
    friend class MapView;
    UserLocation() = default;
    rt::Ref<cl::Location> location_;
    bool updating_ = false;
};

class MapView final : public ui::View {
    RT_CLASS(MapView)
public:
    static constexpr double kMetersPerDegree = 111319.49;

    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = rt::Weak<rt::Object>(delegate); }
    const rt::Ref<UserLocation>& userLocation() const noexcept { return userLocation_; }

    const CoordinateRegion& region() const noexcept { return region_; }
    void setRegionAnimated(const CoordinateRegion& region, bool animated);
    bool regionAnimated() const noexcept { return regionAnimated_; }
    // Regions set so far.
    std::size_t regionChanges() const noexcept { return regionChanges_; }

    void didMoveToWindow() override;
    // Called by the map's own location watcher.
    void locationUpdated(const rt::Ref<cl::Location>& location);

protected:
    MapView();
    explicit MapView(const cg::Rect& frame);
    ~MapView() override;

private:
    rt::Weak<rt::Object> delegate_;
    rt::Ref<UserLocation> userLocation_;
    rt::Ref<cl::LocationManager> watcher_;
    rt::Id watcherDelegate_;
    CoordinateRegion region_;
    bool regionAnimated_ = false;
    std::size_t regionChanges_ = 0;
};

} // namespace mk
