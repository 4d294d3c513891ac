#include "platform/mapkit/map_view.h"

#include <cmath>
#include <numbers>

#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/uikit/color.h"
#include "platform/uikit/window.h"

namespace mk {

namespace {

// The location manager's delegate on the map's behalf; it holds the map weakly.
class MapLocationWatcher final : public rt::Object {
    RT_CLASS(MapLocationWatcher)
public:
    rt::Weak<MapView> map;
    void updated(const rt::Id&, const rt::Id& now, const rt::Id&) {
        if (auto view = map.lock()) view->locationUpdated(rt::cast<cl::Location>(now));
    }
};

} // namespace

RT_DEFINE_CLASS(MapLocationWatcher, "MKMapLocationWatcher", rt::Object,
                rt::method("locationManager:didUpdateToLocation:fromLocation:", &MapLocationWatcher::updated))
RT_DEFINE_CLASS(UserLocation, "MKUserLocation", rt::Object)
RT_DEFINE_CLASS(MapView, "MKMapView", ui::View)

CoordinateRegion coordinateRegionMakeWithDistance(cl::LocationCoordinate2D center, double latitudinalMeters,
                                                  double longitudinalMeters) {
    const double perLongitudeDegree =
        MapView::kMetersPerDegree * std::cos(center.latitude * std::numbers::pi / 180.0);
    return {center, {latitudinalMeters / MapView::kMetersPerDegree, longitudinalMeters / perLongitudeDegree}};
}

MapView::MapView() : MapView(cg::Rect{}) {}

// Drawn as bare land: the stand-in has no tiles.
MapView::MapView(const cg::Rect& frame) : ui::View(frame), userLocation_(rt::make<UserLocation>()) {
    setBackgroundColor(ui::Color::colorWithRed(0.93, 0.91, 0.86, 1));
}

MapView::~MapView() {
    if (watcher_) watcher_->stopUpdatingLocation();
}

void MapView::setRegionAnimated(const CoordinateRegion& region, bool animated) {
    region_ = region;
    regionAnimated_ = animated;
    ++regionChanges_;
}

void MapView::didMoveToWindow() {
    ui::View::didMoveToWindow();
    const bool shown = window() != nullptr;
    userLocation_->updating_ = shown;
    if (!shown) {
        if (watcher_) watcher_->stopUpdatingLocation();
        return;
    }
    if (!watcher_) {
        auto watcher = rt::make<MapLocationWatcher>();
        watcher->map = rt::Weak<MapView>(rt::retained(this));
        watcherDelegate_ = watcher;
        watcher_ = cl::LocationManager::make();
        watcher_->setDelegate(watcherDelegate_);
    }
    watcher_->startUpdatingLocation();
}

void MapView::locationUpdated(const rt::Ref<cl::Location>& location) {
    userLocation_->location_ = location;
    rt::tell(delegate(), rt::Sel("mapView:didUpdateUserLocation:"), rt::retained(this), userLocation_);
}

} // namespace mk
