#pragma once
// ft::MotionAxisViewController: the accelerometer and gyroscope tests ("ACCELEROMETER_TEST",
// "GYRO_TEST"), one screen over a sensor description (`MotionAxisSensor`): its readings, its text
// keys, its pictures and the outlet that shows them. The axes X, Y and Z are tested in turn, from
// the load: a reading above 0.5 on the axis under test (signed, strictly) passes it; each axis has
// 30 s from its own start. All three passing records 1 and leaves; an axis failing (a sensor
// error, a reading without data, no sensor, its 30 s) records 2 at once and leaves. The axis
// label shows each reading that does not pass. Leaving first stops the sensor, logs
// "stop motion." and writes nothing. No buttons. Main thread only.
//
// A device without the sensor fails the first axis at once: the axis signal errs on subscription.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/foundation/string.h"

#include "session/base_model_view_controller.h"

namespace cm {
class MotionManager;
}
namespace ns {
class Error;
}
namespace ui {
class ImageView;
}

namespace ft {

// A component reading: the value of axis 0, 1 or 2, or nothing (no data or an error).
struct MotionAxisSensor {
    using Reading = std::function<void(const rt::Ref<ns::Error>& error, const double* xyz)>;
    bool (*available)(const cm::MotionManager&);
    void (*start)(cm::MotionManager&, Reading);
    void (*stop)(cm::MotionManager&);
    std::string_view keyPrefix;                // "ACCELEROMETER_CONTROLLER_"
    std::array<std::string_view, 3> pictures; // per axis
    std::string_view pictureOutlet;            // "centerImageView" or "tipImage"
    bool hidePictureAtEnd;
};

class MotionAxisViewController : public BaseModelViewController {
    RT_CLASS(MotionAxisViewController)
public:
    static constexpr double kInterval = 0.1;
    static constexpr double kAxisSeconds = 30.0;
    static constexpr double kBound = 0.5;

    rt::Ref<ui::Label> x() const { return axisLabels_[0].lock(); }
    void setX(const rt::Ref<ui::Label>& label) { setAxisLabel(0, label); }
    rt::Ref<ui::Label> y() const { return axisLabels_[1].lock(); }
    void setY(const rt::Ref<ui::Label>& label) { setAxisLabel(1, label); }
    rt::Ref<ui::Label> z() const { return axisLabels_[2].lock(); }
    void setZ(const rt::Ref<ui::Label>& label) { setAxisLabel(2, label); }
    rt::Ref<ui::Label> tipLabel() const { return tipLabel_.lock(); }
    void setTipLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::ImageView> picture() const { return picture_.lock(); }
    void setPicture(const rt::Ref<ui::ImageView>& picture);
    const rt::Ref<cm::MotionManager>& motionManager() const noexcept { return motionManager_; }
    bool axisPassed(int axis) const { return passed_.at(std::size_t(axis)); }

    // The axis's readings: a new hot subject fed by the sensor (its updates start now); a device
    // without the sensor gives a signal that errs on subscription.
    rt::Ref<es::Signal> signal111(int axis);
    // Each subscription: signal111 under its own 30-s watchdog; the sensor stops when it ends.
    rt::Ref<es::Signal> motionSignal(int axis);

protected:
    explicit MotionAxisViewController(const MotionAxisSensor& sensor);
    void viewDidLoadBody() override;

private:
    void setAxisLabel(int axis, const rt::Ref<ui::Label>& label);
    rt::Ref<ns::String> text(std::string_view suffix) const;
    void testAxis(int axis);
    void showAxis(int axis);
    void axisFailed(int axis, const rt::Ref<ns::Error>& error);
    void axisCompleted(int axis);

    const MotionAxisSensor& sensor_;
    std::array<rt::Weak<ui::Label>, 3> axisLabels_;
    rt::Weak<ui::Label> tipLabel_;
    rt::Weak<ui::ImageView> picture_;
    rt::Ref<cm::MotionManager> motionManager_;
    std::array<bool, 3> passed_{};
    std::array<std::string, 3> progressFormats_; // read once, used at every reading
};

class AccelerometerViewController final : public MotionAxisViewController {
    RT_CLASS(AccelerometerViewController)
public:
    rt::Ref<ui::ImageView> centerImageView() const { return picture(); }
    void setCenterImageView(const rt::Ref<ui::ImageView>& view) { setPicture(view); }

private:
    AccelerometerViewController();
};

class GyroscopeViewController final : public MotionAxisViewController {
    RT_CLASS(GyroscopeViewController)
public:
    rt::Ref<ui::ImageView> tipImage() const { return picture(); }
    void setTipImage(const rt::Ref<ui::ImageView>& view) { setPicture(view); }

private:
    GyroscopeViewController();
};

} // namespace ft
