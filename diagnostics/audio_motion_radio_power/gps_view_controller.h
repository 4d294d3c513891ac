#pragma once
// ft::GPSViewController ("GPSViewController"): the GPS test (key "GPS"), automatic. While the screen
// is shown, location updates run at the best accuracy (asking for when-in-use authorisation when
// none was decided); every fix shows its longitude and latitude, each after its name ("Longitude",
// "Latitude"; the value labels hold the number alone), and 2.0 s after the first one
// the screen records 1 and leaves. Access denied before the screen shows records 2 with an alert
// whose button leaves; denied in answer to this screen's request records 2 and leaves without
// one. No watchdog: without a fix (or with restricted access) the screen waits for the tester.
// A map follows the user, 250 m by 250 m around each update. Leaving stops the updates and ends
// the fix and pass subscriptions for good. Main thread only; keeps running in the background.

#include "session/base_model_view_controller.h"

namespace cl {
class LocationManager;
}
namespace mk {
class MapView;
}
namespace ui {
class ActivityIndicatorView;
}

namespace ft {

class GPSViewController : public BaseModelViewController {
    RT_CLASS(GPSViewController)
public:
    static constexpr double kPassDelay = 2.0;
    static constexpr double kRegionMeters = 250.0;
    static constexpr const char* kProductName = "Quarnotix";

    const rt::Ref<cl::LocationManager>& locmanager() const noexcept { return locmanager_; }
    bool receivedData() const noexcept { return receivedData_; }
    void setReceivedData(bool received);
    bool isrequestauthorization() const noexcept { return isrequestauthorization_; }

    rt::Ref<ui::Label> longitude() const;
    rt::Ref<ui::Label> latitude() const;
    rt::Ref<mk::MapView> mapView() const;
    rt::Ref<ui::ActivityIndicatorView> progressView() const;
    void setOutlets(const rt::Ref<ui::Label>& longitude, const rt::Ref<ui::Label>& latitude,
                    const rt::Ref<mk::MapView>& map, const rt::Ref<ui::ActivityIndicatorView>& progress);

    // The screen's own exit-confirmation alert, dismissed when the screen disappears.
    rt::Ref<ui::AlertView> alertView() const override;
    void setAlertView(rt::Ref<ui::AlertView> alert) override;

    // Location and map delegate.
    void didChangeAuthorizationStatus(const rt::Id& manager, int status);
    void mapViewDidUpdateUserLocation(const rt::Id& map, const rt::Id& userLocation);

protected:
    GPSViewController();
    ~GPSViewController() override;
    void viewDidLoadBody() override;

private:
    void visible(bool shown);
    void startUpdating();

    rt::Ref<cl::LocationManager> locmanager_;
    bool receivedData_ = false;
    bool isrequestauthorization_ = false;
    rt::Ref<ui::AlertView> alertView_;
    rt::Weak<ui::Label> longitude_, latitude_;
    rt::Weak<mk::MapView> mapView_;
    rt::Weak<ui::ActivityIndicatorView> progressView_;
};

} // namespace ft
