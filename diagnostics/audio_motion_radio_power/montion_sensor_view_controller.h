#pragma once
// ft::MontionSensorViewController ("MontionSensorViewController"): the accelerometer, the gyroscope
// and the magnetometer on one screen, in turn. The accelerometer passes once X, Y and Z have each
// read above 0.5 (any order, any readings); the gyroscope at its first reading; the magnetometer
// at its first reading, its pass reaching the screen 3.0 s later. All three within 30 s of the
// load: 1 and a leave. A sensor error or a missing sensor: 2 and a leave at once. The 30 s running
// out: 2, the answer and the skip button shown, the ratio {"price": 10 per row still NO}, and the
// screen waits for `skip:`. The watchdog ends when the screen disappears. No catalogue row.

#include <array>

#include "session/base_model_view_controller.h"

namespace cm {
class MotionManager;
}
namespace ui {
class Button;
class ImageView;
} // namespace ui

namespace ft {

class MontionSensorViewController : public BaseModelViewController {
    RT_CLASS(MontionSensorViewController)
public:
    static constexpr double kInterval = 0.1;
    static constexpr double kWatchdogSeconds = 30.0;
    static constexpr double kMagnetometerDelay = 3.0;
    static constexpr double kBound = 0.5;
    static constexpr long kPricePerRow = 10;

    rt::Ref<ui::Label> answer() const { return answer_.lock(); }
    void setAnswer(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Button> skipbtn() const { return skipbtn_.lock(); }
    void setSkipbtn(const rt::Ref<ui::Button>& button);
    // Each sensor's name label and indicator, in the rows' order.
    std::array<rt::Weak<ui::Label>, 3> names;
    std::array<rt::Weak<ui::ImageView>, 3> indicators;
    const rt::Ref<cm::MotionManager>& motionManager() const noexcept { return motionManager_; }

    // The sensors' signals: each starts its sensor's updates when called; a missing sensor's
    // signal errs for each subscriber on the main queue's next turn.
    rt::Ref<es::Signal> signal1();
    rt::Ref<es::Signal> signal2();
    rt::Ref<es::Signal> signal3();
    void skip(const rt::Id& sender);

protected:
    MontionSensorViewController();
    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;

private:
    void subTest(std::size_t row, const rt::Ref<es::Signal>& signal);
    void passed(std::size_t row);
    void timedOut();

    rt::Weak<ui::Label> answer_;
    rt::Weak<ui::Button> skipbtn_;
    rt::Ref<cm::MotionManager> motionManager_;
    rt::Ref<es::Subject> completed_;
    rt::Ref<es::Disposable> watchdog_;
};

} // namespace ft
