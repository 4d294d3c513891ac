#pragma once
// ft::ProximityViewController ("ProximityViewController"): the proximity sensor test (key
// "PROXIMITY_SENSOR_TEST"). Proximity monitoring is on while the screen is shown; the tester covers
// and uncovers the sensor, and the second not-near report since the screen appeared passes (1):
// monitoring goes off, the title stays at 2 for a second, then the screen moves on. Near reports
// never count. A watchdog counted from the load fails the test (2) after 30 s and moves on; a device
// without the sensor gets there too.
//
// The pass ends the sensor's watch, and with it the watchdog, before it writes its code, so a pass
// in the watchdog's last second is kept and the screen leaves once. Disappearing switches
// monitoring off, resets the count, ends the watch and calls off a pending move on; it writes
// nothing. No buttons. Abandoned in the background. Main thread only.

#include <cstdint>

#include "session/base_model_view_controller.h"

namespace ft {

class ProximityViewController : public BaseModelViewController {
    RT_CLASS(ProximityViewController)
public:
    static constexpr double kWatchdogSeconds = 30.0;
    static constexpr double kLeaveDelay = 1.0;
    static constexpr std::int64_t kUncoverings = 2;

    // Not-near reports since the screen last appeared or disappeared.
    std::int64_t count() const noexcept { return count_; }
    void setCount(std::int64_t count);
    rt::Ref<ui::Label> tipLabel() const;
    void setTipLabel(const rt::Ref<ui::Label>& label);

protected:
    ProximityViewController();
    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;

private:
    void showCount();
    void reported(bool near);

    std::int64_t count_ = 0;
    rt::Weak<ui::Label> tipLabel_;
    rt::Ref<es::Disposable> sensorWatch_;
};

} // namespace ft
