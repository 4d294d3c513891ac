#pragma once
// cm::MotionManager ("CMMotionManager"): the simulated device's accelerometer, gyroscope and
// magnetometer.
//
// Updates to a queue: the first reading comes one update interval after the start, then one each
// interval, on the installed clock, each handed to the queue given (nil: the main queue). A
// reading is the sensor's next queued series value (motion.series), else its pose (the profile's
// resting pose, or the latest motion stimulus). A motion.error stimulus hands the running
// handler a reading without data and an error (CMErrorDomain, the stimulus's code). Starting
// updates that run replaces the handler and the queue and starts the readings over; stopping
// ends them (a reading already handed to a queue still arrives). A sensor the device lacks gives
// no updates. A manager that goes away stops its updates.

#include <functional>
#include <memory>

#include "platform/foundation/error.h"
#include "platform/runtime/object.h"

namespace ns {
class OperationQueue;
}

namespace cm {

struct Acceleration {
    double x = 0, y = 0, z = 0; // g
};
struct RotationRate {
    double x = 0, y = 0, z = 0; // radians per second
};
struct MagneticField {
    double x = 0, y = 0, z = 0; // microtesla
};

inline constexpr const char* ErrorDomain = "CMErrorDomain";

// A reading of one sensor, with the seconds since the device started.
class LogItem : public rt::Object {
    RT_CLASS(LogItem)
public:
    double timestamp() const noexcept { return timestamp_; }

protected:
    explicit LogItem(double timestamp) : timestamp_(timestamp) {}

private:
    double timestamp_;
};

class AccelerometerData final : public LogItem {
    RT_CLASS(AccelerometerData)
public:
    Acceleration acceleration() const noexcept { return value_; }

private:
    AccelerometerData(double timestamp, Acceleration value) : LogItem(timestamp), value_(value) {}
    Acceleration value_;
};

class GyroData final : public LogItem {
    RT_CLASS(GyroData)
public:
    RotationRate rotationRate() const noexcept { return value_; }

private:
    GyroData(double timestamp, RotationRate value) : LogItem(timestamp), value_(value) {}
    RotationRate value_;
};

class MagnetometerData final : public LogItem {
    RT_CLASS(MagnetometerData)
public:
    MagneticField magneticField() const noexcept { return value_; }

private:
    MagnetometerData(double timestamp, MagneticField value) : LogItem(timestamp), value_(value) {}
    MagneticField value_;
};

class MotionManager : public rt::Object {
    RT_CLASS(MotionManager)
public:
    using AccelerometerHandler = std::function<void(const rt::Ref<AccelerometerData>&, const rt::Ref<ns::Error>&)>;
    using GyroHandler = std::function<void(const rt::Ref<GyroData>&, const rt::Ref<ns::Error>&)>;
    using MagnetometerHandler = std::function<void(const rt::Ref<MagnetometerData>&, const rt::Ref<ns::Error>&)>;

    static rt::Ref<MotionManager> make();

    bool isAccelerometerAvailable() const { return accelerometer_; }
    bool isGyroAvailable() const { return gyroscope_; }
    bool isMagnetometerAvailable() const { return magnetometer_; }
    bool isDeviceMotionAvailable() const { return deviceMotion_; }

    // Seconds between readings (at least 0.001); 0.1 until set. A change applies at the next start.
    double accelerometerUpdateInterval() const;
    void setAccelerometerUpdateInterval(double seconds);
    double gyroUpdateInterval() const;
    void setGyroUpdateInterval(double seconds);
    double magnetometerUpdateInterval() const;
    void setMagnetometerUpdateInterval(double seconds);

    void startAccelerometerUpdatesToQueue(const rt::Ref<ns::OperationQueue>& queue, AccelerometerHandler handler);
    void stopAccelerometerUpdates();
    bool isAccelerometerActive() const;
    void startGyroUpdatesToQueue(const rt::Ref<ns::OperationQueue>& queue, GyroHandler handler);
    void stopGyroUpdates();
    bool isGyroActive() const;
    void startMagnetometerUpdatesToQueue(const rt::Ref<ns::OperationQueue>& queue, MagnetometerHandler handler);
    void stopMagnetometerUpdates();
    bool isMagnetometerActive() const;

    struct Updates;

protected:
    ~MotionManager() override;

private:
    MotionManager(bool accelerometer, bool gyroscope, bool magnetometer, bool deviceMotion);

    bool accelerometer_;
    bool gyroscope_;
    bool magnetometer_;
    bool deviceMotion_;
    std::unique_ptr<Updates> updates_;
};

} // namespace cm
