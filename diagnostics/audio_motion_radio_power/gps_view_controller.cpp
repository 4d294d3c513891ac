#include "diagnostics/audio_motion_radio_power/gps_view_controller.h"

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/location/location_manager.h"
#include "platform/mapkit/map_view.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/property_signals.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/tuple.h"
#include "streams/uikit/delegate_signals.h"

namespace ft {

namespace {

const bool gpsNibRegistered = registerTestScreenNib<GPSViewController>(
    "GPSViewController", [](const rt::Ref<ui::View>& view, GPSViewController& screen) {
        const double width = view->bounds().width();
        auto map = rt::make<mk::MapView>(cg::Rect::make(20, 140, width - 40, 240));
        view->addSubview(map);
        // Each coordinate on a line of its own, named at the left, its value at the right.
        auto coordinate = [&](double y, const char* name) {
            auto caption = addSceneLabel(view, cg::Rect::make(20, y, width - 40, 30), 17);
            caption->setTextAlignment(ui::TextAlignment::Left);
            caption->setText(localized(name));
            auto value = addSceneLabel(view, cg::Rect::make(20, y, width - 40, 30), 17);
            value->setTextAlignment(ui::TextAlignment::Right);
            return value;
        };
        auto longitude = coordinate(390, "GPS_CONTROLLER_LONGITUDE");
        auto latitude = coordinate(424, "GPS_CONTROLLER_LATITUDE");
        auto progress = ui::ActivityIndicatorView::withStyle(ui::ActivityIndicatorViewStyle::Gray);
        progress->setCenter(cg::Point{width / 2, 480});
        progress->setHidden(true);
        view->addSubview(progress);
        screen.setOutlets(longitude, latitude, map, progress);
    });

} // namespace

RT_DEFINE_CLASS(GPSViewController, "GPSViewController", BaseModelViewController,
                rt::prop("receivedData", &GPSViewController::receivedData, &GPSViewController::setReceivedData),
                rt::prop("isrequestauthorization", &GPSViewController::isrequestauthorization),
                rt::prop("longitude", &GPSViewController::longitude, {.memory = rt::Memory::Weak}),
                rt::prop("latitude", &GPSViewController::latitude, {.memory = rt::Memory::Weak}),
                rt::prop("mapView", &GPSViewController::mapView, {.memory = rt::Memory::Weak}),
                rt::prop("progressView", &GPSViewController::progressView, {.memory = rt::Memory::Weak}),
                rt::method("locationManager:didChangeAuthorizationStatus:",
                           &GPSViewController::didChangeAuthorizationStatus),
                rt::method("mapView:didUpdateUserLocation:", &GPSViewController::mapViewDidUpdateUserLocation))

GPSViewController::GPSViewController() = default;

rt::Ref<ui::Label> GPSViewController::longitude() const {
    return longitude_.lock();
}

rt::Ref<ui::Label> GPSViewController::latitude() const {
    return latitude_.lock();
}

rt::Ref<mk::MapView> GPSViewController::mapView() const {
    return mapView_.lock();
}

rt::Ref<ui::ActivityIndicatorView> GPSViewController::progressView() const {
    return progressView_.lock();
}

rt::Ref<ui::AlertView> GPSViewController::alertView() const {
    return alertView_;
}

void GPSViewController::setAlertView(rt::Ref<ui::AlertView> alert) {
    alertView_ = std::move(alert);
}

GPSViewController::~GPSViewController() {
    if (locmanager_) locmanager_->stopUpdatingLocation();
}

void GPSViewController::setReceivedData(bool received) {
    rt::KeyChange change(this, "receivedData");
    receivedData_ = received;
}

void GPSViewController::setOutlets(const rt::Ref<ui::Label>& longitude, const rt::Ref<ui::Label>& latitude,
                                   const rt::Ref<mk::MapView>& map,
                                   const rt::Ref<ui::ActivityIndicatorView>& progress) {
    longitude_ = longitude;
    latitude_ = latitude;
    mapView_ = map;
    progressView_ = progress;
    map->setDelegate(rt::retained(this));
}

void GPSViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    auto row = ns::MutableDictionary::make();
    row->setObjectForKey(ns::String::make("GPS Signal Test"), "title");
    setSubItemlist(ns::Array::make({row}));
    const rt::Weak<GPSViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        if (auto self = weak.lock(); self && !shown)
            if (auto alert = self->alertView()) alert->dismissWithClickedButtonIndex(0, false);
    });
    if (auto title = labelTitle()) title->setText(localized("GPS_CONTROLLER_TITLE"));
    hidenButtons(true);
    if (auto progress = progressView()) progress->setHidden(false);
    locmanager_ = cl::LocationManager::make();
    locmanager_->setDelegate(rt::retained(this));
    locmanager_->setDesiredAccuracy(cl::LocationAccuracyBest);

    es::signalForSelectorFromProtocol(this, rt::Sel("locationManager:didUpdateToLocation:fromLocation:"),
                                      cl::locationManagerDelegateProtocol())
        ->takeUntil(disappear())
        ->subscribeNextError(
            [weak](const rt::Id& arguments) {
                auto self = weak.lock();
                auto tuple = rt::cast<es::Tuple>(arguments);
                auto fix = tuple ? rt::cast<cl::Location>(tuple->second()) : nullptr;
                if (!self || !fix) return;
                if (auto label = self->longitude()) label->setText(ns::stringWithFormat("%.8f", fix->coordinate().longitude));
                if (auto label = self->latitude()) label->setText(ns::stringWithFormat("%.8f", fix->coordinate().latitude));
                self->setReceivedData(true);
            },
            [weak](const rt::Ref<ns::Error>& error) {
                auto self = weak.lock();
                if (!self) return;
                self->setVerdict(TestBaseModel::kFailed,
                                 "the location updates failed" + describedError(error));
                self->locmanager_->stopUpdatingLocation();
                self->gotoResultView();
            });

    es::Signal::merge(
        {es::signalForSelector(this, rt::Sel("viewWillAppear:"))->mapReplace(ns::Number::withBool(true)),
         es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(false))})
        ->subscribeNext([weak](bool shown) {
            if (auto self = weak.lock()) self->visible(shown);
        });

    const rt::Id self = rt::retained(this);
    es::valuesForKeyPath(self, "receivedData", self)
        ->distinctUntilChanged()
        ->delay(kPassDelay)
        ->takeUntil(disappear())
        ->subscribeNext([weak](bool received) {
            auto self = weak.lock();
            if (!self || !received) return;
            self->setVerdict(TestBaseModel::kPassed, "a location came");
            if (auto progress = self->progressView()) progress->stopAnimating();
            self->gotoResultView();
        });
}

void GPSViewController::startUpdating() {
    if (auto progress = progressView()) progress->startAnimating();
    locmanager_->startUpdatingLocation();
}

void GPSViewController::visible(bool shown) {
    if (!shown) {
        locmanager_->stopUpdatingLocation();
        return;
    }
    switch (cl::LocationManager::authorizationStatus()) {
    case cl::AuthorizationStatus::AuthorizedAlways:
    case cl::AuthorizationStatus::AuthorizedWhenInUse: startUpdating(); break;
    case cl::AuthorizationStatus::Denied: {
        setVerdict(TestBaseModel::kFailed, "location access is denied");
        auto alert = rt::make<ui::AlertView>(
            ns::String::make(""), ns::stringWithFormat(localized("GPS_CONTROLLER_AUTHORIZATION_ALERT")->utf8(), kProductName),
            nullptr, localized("BASETEST_CONTROLLER_YES"));
        const rt::Weak<GPSViewController> weak(rt::retained(this));
        es::buttonClickedSignal(alert.get())->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) self->gotoResultView();
        });
        alert->show();
        break;
    }
    default:
        locmanager_->requestWhenInUseAuthorization();
        isrequestauthorization_ = true;
        startUpdating();
        break;
    }
}

void GPSViewController::didChangeAuthorizationStatus(const rt::Id&, int) {
    if (cl::LocationManager::authorizationStatus() != cl::AuthorizationStatus::Denied || !isrequestauthorization_)
        return;
    locmanager_->stopUpdatingLocation();
    setVerdict(TestBaseModel::kFailed, "location access was denied");
    gotoResultView();
}

void GPSViewController::mapViewDidUpdateUserLocation(const rt::Id& map, const rt::Id& userLocation) {
    auto view = rt::cast<mk::MapView>(map);
    auto user = rt::cast<mk::UserLocation>(userLocation);
    if (!view || !user) return;
    view->setRegionAnimated(mk::coordinateRegionMakeWithDistance(user->coordinate(), kRegionMeters, kRegionMeters),
                            true);
}

} // namespace ft
