#pragma once
// The device the process runs on. Until a program installs one, it is sim::defaultProfile(). The
// main job installs the device its command line names; tests install theirs with
// sim::ScopedDevice, which puts the previous one back.
//
// The device's live state is a profile: it starts as the installed one, and stimuli change it
// (battery, volume, switches, radios, ...) through sim::Device::change on the stepper's thread.
// Everything that asks about the hardware reads the current state, never the host: the UIKit
// stand-in's screen, window and device, and the capture, motion, telephony and audio-route
// stand-ins. Any thread may read; a state once read stays whole and unchanged while the reader
// holds it, so a reader never sees half a change.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/sim/profile.h"

namespace cg {
class Image;
}

namespace sim {

class Microphone;
class Speaker;
struct FrameImage;

// The motion sensors, as stimuli name them ("accel", "gyro", "magnet").
enum class MotionSensor : std::uint8_t { Accelerometer, Gyroscope, Magnetometer };
// "accel", "gyro" or "magnet"; nullopt for any other name.
std::optional<MotionSensor> motionSensorNamed(std::string_view name);

// The platform's touch phases, in its order (stationary has no stimulus).
enum class TouchPhase : std::uint8_t { Began = 0, Moved = 1, Ended = 3, Cancelled = 4 };
// "began", "moved", "ended" or "cancelled".
std::optional<TouchPhase> touchPhaseNamed(std::string_view name);

// What the device asks its user for on the application's behalf: each a question of the system's,
// shown over the screen until the permission is decided.
enum class Permission : std::uint8_t { Location, Camera, Microphone };

// A fix of the location sensor.
struct LocationFix {
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    double horizontalAccuracy = 5; // metres
    double verticalAccuracy = 5;

    bool operator==(const LocationFix&) const = default;
};

// Something that happens to the device rather than a state it keeps: stand-ins add event hooks
// and pick the kinds they deliver.
struct DeviceEvent {
    enum class Kind : std::uint8_t {
        HomeKey,
        PowerKey,
        RouteChange, // reason, outputs (port types; empty: the route follows the headphones),
                     // and the route before: headphonesBefore, outputsBefore
        MotionError, // sensor, code
        LocationFix, // fix
        LocationError, // code
        Touches, // phase, points (window coordinates), one event
        NotificationOpen,
        RecordPermissionAnswer, // answer
        CameraAccessAnswer, // answer
        BiometricReply, // answer
        ComposerFinish, // code: the composer's result
        PermissionAsked,   // permission: its question shows
        PermissionSettled, // permission: decided, its question goes
    };
    Kind kind;
    long reason = 0;
    std::vector<std::string> outputs{};
    bool headphonesBefore = false;
    std::vector<std::string> outputsBefore{};
    MotionSensor sensor = MotionSensor::Accelerometer;
    long code = 0;
    LocationFix fix{};
    TouchPhase phase = TouchPhase::Began;
    std::vector<cg::Point> points{};
    bool answer = false;
    Permission permission = Permission::Location;
};

// What a change touches; stand-ins hook the parts they deliver.
enum class Aspect : std::uint8_t {
    Battery,
    Registry,
    Audio,
    RingSwitch,
    Headphones,
    Proximity,
    Motion,
    Network,
    Carrier,
    Bluetooth,
    Location,
    Cameras,
    Screen,
};

class Device {
public:
    using Hook = std::function<void(const Profile& state)>;
    using EventHook = std::function<void(const DeviceEvent& event)>;
    using HookId = std::uint64_t;

    // The process's device.
    static Device& shared();

    // The current state.
    std::shared_ptr<const Profile> state() const;
    // Edits a copy of the state, makes it current, then calls the hooks of `aspect` on this
    // thread, outside every lock, in the order they were added, with the new state. The edit
    // runs under the device's lock: it works on the copy alone and reads nothing of the device.
    void change(Aspect aspect, const std::function<void(Profile&)>& edit);
    // Calls the event hooks with `event`, on this thread, outside every lock, in order.
    void send(const DeviceEvent& event);

    // Hooks are added and removed on the stepper's thread. A hook removed inside a change is not
    // called after that.
    HookId addHook(Aspect aspect, Hook hook);
    // Called with every event, on the stepper's thread; removed with removeHook.
    HookId addEventHook(EventHook hook);
    void removeHook(HookId id);

    // ---- Stimuli ----
    // What a tester (or the tester script) does to the device, one call per stimulus, on the
    // stepper's thread. Each changes the state or sends an event, and logs what a person would
    // notice; a stimulus that finds no hardware for it only logs so ("proximity: no sensor").
    // Calls taking values that can be out of range answer false and change nothing.
    void pressVolumeUp();   // the volume one step up, at most 1 (no change at 1: nothing heard)
    void pressVolumeDown(); // one step down, at least 0
    void pressHome();
    void pressPower();
    void setRingSwitch(bool silent);

    bool setBattery(double level, BatteryState state); // level 0 to 1
    // "ac" or "usb": charging (full at level 1) with that kind's properties merged into the
    // registry until unplugged.
    bool plugCharger(std::string_view kind);
    void unplugCharger(); // unplugged; the merge undone
    // Replaces a registry entry's properties; nullopt removes the entry.
    bool setRegistryEntry(const std::string& service, std::optional<RegistryProperties> properties);

    void plugHeadset();   // route change, reason 1 (new device available)
    void unplugHeadset(); // route change, reason 2 (old device unavailable)
    // A route change of `reason`; non-empty `outputs` (port types) are the route from now until
    // the next plug, unplug or change.
    void changeRoute(long reason, std::vector<std::string> outputs);
    void setAudioInput(AudioInput input);

    void setProximity(bool near);
    // The pose the sensor rests at from now.
    void setMotionPose(MotionSensor sensor, Vector3 value);
    // Readings the sensor gives, one per update, before it falls back to its pose.
    void queueMotionSeries(MotionSensor sensor, std::vector<Vector3> values);
    // A train: the pose becomes each value in turn, the first now, then one every `every` s.
    bool setMotionTrain(MotionSensor sensor, double every, std::vector<Vector3> values);
    // The sensor's running updates report an error with `code` (a reading without data).
    void failMotion(MotionSensor sensor, long code);
    void locationFix(LocationFix fix);
    bool setLocationAuthorization(int status); // 0 to 4
    void locationError(long code);

    bool setBluetoothState(int state); // 0 to 5
    // Joining takes a device with a Wi-Fi interface onto the network, and gives the interface its
    // addresses; leaving takes them away (sim/network_state.h).
    void joinWifi(Wifi network);
    void leaveWifi();
    // Fixes the flags of `target` over what the network gives it.
    void setReachabilityFlags(const std::string& target, unsigned flags);
    void setCarrier(std::optional<Carrier> carrier); // nullopt: the SIM taken out

    bool setCameraFrame(CameraPosition position, CameraFrame frame);
    // One touch event with a touch at each point (several fingers in one event).
    bool touch(TouchPhase phase, std::vector<cg::Point> points);
    // One finger along `points`: began at the first now, moved to each later one `every` s apart,
    // and ended where it last moved (at least two points).
    bool stroke(std::vector<cg::Point> points, double every);
    // Opens the last local notification delivered (as tapping its banner).
    void openNotification();
    void answerRecordPermission(bool granted);
    void answerCameraAccess(bool granted);
    void replyBiometric(bool success);
    bool finishComposer(ComposeResult result);

    // ---- Permission questions ----
    // A stand-in asks when the application requests a permission the state has undecided (location
    // status 0, camera access status 0, record permission "ask"): the question is pending from
    // then (logged "location authorisation asked", "camera access asked" or "record permission
    // asked"; heard as PermissionAsked) until the permission is decided in the state, however that
    // comes (the user's answer, a stimulus, the profile's reply): then, after that change's hooks,
    // it is settled (heard as PermissionSettled). Asking while it is pending or decided does nothing.
    void askPermission(Permission permission);
    // The questions pending, first asked first.
    std::vector<Permission> pendingPermissions() const;
    // The user's answer to a pending question: location while in use (4) or denied (2) as
    // setLocationAuthorization, the camera as answerCameraAccess, the microphone as
    // answerRecordPermission. False, and nothing done, when that question is not pending.
    bool answerPermission(Permission permission, bool allowed);

    // ---- Sound and pictures (sound.h, frame_image.h) ----
    // The microphone for the current audio input (made again when the input changes). A file that
    // cannot be read is heard as silence and logged.
    std::shared_ptr<const Microphone> microphone();
    // Samples first ... first + count - 1 as they were heard: each from the audio input of its time.
    void hear(std::int64_t first, float* out, std::size_t count);
    // The index of the sample heard at the installed clock's now, counted from the device's start.
    std::int64_t currentSampleIndex() const;
    // What was played lately; lives as long as the device.
    Speaker& speaker();
    // What the first camera at `position` sees now; null without such a camera, or when its
    // frame file cannot be read (logged).
    std::shared_ptr<const FrameImage> cameraFrame(CameraPosition position);
    // The same as a picture to draw (sim::framePicture), made once per frame: every caller gets the
    // same immutable image while the camera sees that frame. Nil where cameraFrame is null.
    rt::Ref<cg::Image> cameraPicture(CameraPosition position);

    // What the stand-ins read of the stimuli's transient state.
    // The next queued series reading of `sensor`, taken; nullopt when none is queued.
    std::optional<Vector3> takeMotionSeriesValue(MotionSensor sensor);
    // The route outputs changeRoute set; empty when the route follows the headphones.
    std::vector<std::string> routeOutputs() const;
    // The last location fix; nullopt before the first.
    std::optional<LocationFix> lastLocationFix() const;

    // ---- Location in use ----
    // An updater of the application's (a location manager, told apart by its address) starts or
    // stops asking for fixes. Location is in use (the status bar shows its arrow) while one asks,
    // the authorisation lets it have them (always 3, when in use 4) and the device has a GPS.
    // Starting the device over forgets the updaters.
    void setLocationUpdating(const void* updater, bool updating);
    bool locationInUse() const;

    // Starts the device over from `profile` (taken as it is, unchecked): its start is now on the
    // installed clock and its log is empty; no hook is called. Returns the previous state.
    std::shared_ptr<const Profile> install(std::shared_ptr<const Profile> profile);

    // The device log: what a person holding the device would notice (sounds, vibration, torch,
    // brightness, volume, opened URLs, notifications, alerts) and stimuli that found no hardware,
    // one line each, led by the seconds since the device's start on the installed clock with
    // three decimals ("3.000 sound mute.caf"). Any thread may log. `text` is kept as given and
    // written printable (sim::appendPrintable: \n, \t, \xNN...), so one entry stays one line.
    void log(std::string_view text);
    // A line in the device's own words only: literals of its code around a figure it formats ("key
    // volumeUp: volume 0.5"). Nothing from outside can be one, so the log's file writes it as it
    // is, as the run's own words are: no secret of the run (a password "0.5") blanks the line.
    struct OwnWords {
        consteval OwnWords(const char* literal) : text(literal) {}
        const char* text;
    };
    struct Figure {
        explicit Figure(double value);    // four significant digits: "0.5", "0.8333"
        explicit Figure(long long value); // whole: "12"
        std::string text;
    };
    // (Two declarations, not a default argument: clang 14 takes no consteval conversion in a default
    // argument of the class that declares it.)
    void log(OwnWords before, const Figure& figure, OwnWords after);
    void log(OwnWords before, const Figure& figure);
    // The lines so far, each ending in a newline.
    std::string logText() const;
    // The log as the run's file of it is put together: each time right-aligned in ten columns
    // ("     3.000 ...") and each text but a line in the device's own words marked as a text from
    // outside (sim::printableCut), masked as the file is written (sim::maskedLines).
    std::string logFileText() const;

private:
    Device();
    void addLogEntry(std::string text, bool ownWords);
    void plugHeadphones(bool plugged);
    // Settles the pending questions whose permissions the state has decided.
    void settleDecidedPermissions();
    struct Inner;
    std::shared_ptr<Inner> inner_;
};

// The current state of the process's device.
std::shared_ptr<const Profile> currentDevice();
// Replaces the installed profile (taken as it is, unchecked) for the rest of the run.
void installDevice(Profile profile);

// The uname machine identifier ("iPhone9,1"): code that would call ::uname for it calls this.
std::string machine();

// Installs a device for a scope, then puts the previous one back.
class ScopedDevice {
public:
    explicit ScopedDevice(Profile profile);
    ~ScopedDevice();
    ScopedDevice(const ScopedDevice&) = delete;
    ScopedDevice& operator=(const ScopedDevice&) = delete;

private:
    std::shared_ptr<const Profile> previous_;
};

} // namespace sim
