#pragma once
// sim::Profile: what the simulated device is: its identity, screen, cameras, sensors, SIM,
// headphones, battery and the files it starts with. Profiles are JSON files under
// resources/devices/ ("iphone7.json" is the default device):
//
//   {
//     "machine": "iPhone9,1",              the uname machine identifier          required
//     "model": "iPhone",                   "iPhone", "iPad" or "iPod touch"     required
//     "name": "Tester's iPhone",           default: the model
//     "systemName": "iOS",                 default: "iOS"
//     "systemVersion": "12.4.1",           one to three numbers joined by dots   required
//     "screen": {"width": 375, "height": 667, "scale": 2, "brightness": 0.5},  required
//                                          points; scale defaults to 1, brightness (0 to 1) to 0.5
//     "multitasking": true,                default: true
//     "locale": {"identifier": "en_US", "timeZone": "UTC", "currency": "USD",
//                "measurementSystem": "U.S."},        "Metric", "U.S." or "U.K."; these are the defaults
//     "languages": ["en"],                 preferred languages, most preferred first; default ["en"]
//     "safeAreaInsets": {"top": 20, "left": 0, "bottom": 0, "right": 0},  default: zero
//     "cameras": [{"position": "back", "hasFlash": true, "hasTorch": true, "torchLockable": true,
//                  "presets": ["AVCaptureSessionPresetHigh", ...], "frame": {"solid": [128, 128, 128]}}],
//                                          default: none; a camera's presets default to
//                                          kDefaultCameraPresets; its frame is a colour or a
//                                          PGM/PPM file ("frame": "card.ppm", decoded when the
//                                          profile is read: see makeFrameImage; a name without a
//                                          '/' is a file of the profiles folder), by default a
//                                          test card made for the camera (sim::testCard)
//     "cameraAccess": {"status": 3, "answer": true, "after": 0},  status 0 to 3; the answer to a
//                                          request and the seconds it takes
//     "location": {"status": 4, "requestReply": 4},  authorisation 0 to 4, and what a request gives
//     "bluetooth": {"state": 5, "firstStateAfter": 0, "peripherals": [{"name": "Speaker",
//                   "identifier": "...", "RSSI": -50, "services": ["180F"], "after": 1}]},
//                                          state 0 to 5; seconds are counted from the start
//     "sensors": {"accelerometer": true, "gyroscope": true, "deviceMotion": true, "proximity": true,
//                 "magnetometer": true, "gps": true},   magnetometer and gps default to true
//     "motion": {"accel": [0, 0, -1], "gyro": [0, 0, 0], "magnet": [0, 0, 0]},  resting poses
//                                          (x, y, z); lying face up at rest is the default
//     "proximity": {"near": false},        what the proximity sensor reads at the start
//     "cellular": true,                    whether the device has a cellular radio; default: an
//                                          iPhone has one, another model when its profile gives a SIM
//     "carrier": {"name": "Kestrel Mobile", "mcc": "310", "mnc": "410", "iso": "us", "allowsVOIP": true,
//                 "radioTech": "CTRadioAccessTechnologyLTE",
//                 "services": [{"id": "0000000100000001", "radioTech": "..."}]},
//                                          the SIM, in a device with a cellular radio; null or
//                                          absent: none; radioTech null: no current radio
//                                          technology; a service's radioTech defaults to the
//                                          carrier's, services to that one
//     "headphonesPlugged": false,
//     "interfaces": "host",                the host's interfaces, renamed: those named in "aliases"
//                                          are kept under the device's name, the rest dropped;
//                                          {"aliases": {"en0": "eth0"}} is the same with its own
//                                          aliases (that one is the default), and a list
//                                          [{"name": "en0", "ipv4": "10.0.0.2", "netmask":
//                                          "255.255.255.0", "ipv6": "fe80::1", "mac":
//                                          "02:00:00:00:00:01"}] fixes them (ipv6 and mac optional)
//     "wifi": {"SSID": "FunctionTest", "BSSID": "02:00:00:00:00:01"},  the network joined on the
//                                          Wi-Fi interface, which has its addresses only while
//                                          joined; null: not joined
//     "publicAddress": "203.0.113.23",     the device's address on the Internet, which its
//                                          network's gateway names as the sender of each request
//                                          (ns::URLLoading::setPublicAddress); default: none
//     "reachability": {"0.0.0.0": ["reachable", "connectionRequired"]},  target -> flag names
//                                          (reachable, connectionRequired, connectionOnTraffic,
//                                          interventionRequired, connectionOnDemand, isDirect,
//                                          isWWAN): the routes whose state the network does not
//                                          decide (a connection on demand); every other target's
//                                          flags follow the network (sim::reachabilityFlags)
//     "battery": {"level": 0.8, "state": "unplugged", "postOnMonitoringEnable": true},
//                                          level 0 to 1; unknown, unplugged, charging, full;
//                                          whether switching battery monitoring on reports a change
//     "registry": {"AppleSmartBattery": {"IOClass": "AppleSmartBattery", "Voltage": 3800, ...}},
//                                          power registry: service -> properties (numbers, text,
//                                          true/false); default: see defaultRegistry()
//     "chargerDictionary": {"IOClass": "AppleARMPMUCharger", "Voltage": 3800, ...},
//                                          the charger's dictionary; default: defaultChargerDictionary()
//     "chargers": {"ac": {...}, "usb": {...}},  service -> properties merged into the registry
//                                          while that kind of charger is plugged in
//     "ringSwitch": {"silent": false},     the ring/silent switch at the start
//     "sounds": {"mute.caf": 0.30},        system sound file -> seconds it plays (this is the default)
//     "silentSoundCompletion": 0.01,       seconds a sound takes to complete while muted
//     "audio": {"outputVolume": 0.5, "volumeStep": 0.0625, "microphone": true,
//               "recordPermission": "granted", "ioFrames": 512, "input": "silence"},
//                                          these are the defaults; recordPermission "granted",
//                                          "denied" or "ask"; input "silence", {"constant": 0.25},
//                                          {"sine": {"frequency": 440, "amplitude": 0.5}} or
//                                          {"file": "tone.wav"} (16-bit mono, raw or WAV, read
//                                          when the profile is read: see soundFileSamples)
//     "memory": {"total": 2147483648, "free": 536870912},   bytes; "host" (the default) reads
//     "disk": {"total": 34359738368, "free": 8589934592},   the host instead, as do "processes",
//     "processes": 120,                    "processors" and "cpuLoad"; "uptime" fixed runs on with
//     "processors": {"count": 2, "active": 2},   the clock from the run's start
//     "cpuLoad": 0.25, "uptime": 3600,     load 0 to 1; uptime in seconds
//     "threads": [{"usage": 300, "idle": false}],  the application's threads: CPU usage 0 to 1000
//                                          (one processor), idle or not; without it a fixed
//                                          cpuLoad is one thread, else the host's threads
//     "accessories": 0,                    connected accessories
//     "deviceRoot": "/path/to/root",       a folder standing for the device's "/"; default: none,
//                                          a clean device
//     "callbacks": "helper",               "helper" (answers the platform gives off the main
//                                          thread come from a platform thread) or "main"
//     "biometrics": {"available": true, "type": "touchID", "reply": true, "after": 0},
//                                          type "touchID", "faceID" or "none"; the answer to an
//                                          evaluation and the seconds it takes
//     "stillCapture": {"succeeds": true, "after": 0},  a still image's capture
//     "movie": {"succeeds": true},         a movie recording
//     "messaging": {"canSendText": true, "result": "sent"},  result "cancelled", "sent" or "failed"
//     "statusBar": {"signalBars": 4, "signalRaw": -80,     bars 0 to 4; raw strength in dBm
//                   "layout": "new", "items": [...], "cellularStatus": 2},
//                   layout "none" (default), "old", "new" or "broken"; for "new" the items'
//                   identifiers in order and the cellular entry's status
//                                          (these five are the defaults)
//     "documents": {"functiontest_config.txt": "..."}   files written into Documents at start (a
//                                          name stays inside it; none is inside another)
//   }
//
// Fields left out take their defaults (false, zero, empty, none); null counts as left out. A
// missing or malformed field, or a key no reader knows (a typo such as "headphonesPluged"), fails
// the load with one line naming the file and the field: "iphone7.json: screen.width: expected a
// number", "my.json: headphonesPluged: unknown key"; a key written twice in one object is refused
// the same way ("my.json: machine: repeated key at line 9, column 3 (first at line 2, column 3)").
// A screen side must be 1 to 10,000 points, the safe-area insets must leave some of its width, and
// the height they leave the application must be at least kLeastApplicationHeight.
//
// A profile is a plain value: tests build one in code or change single fields of a loaded one.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/graphics/edge_insets.h"
#include "platform/graphics/geometry.h"
#include "platform/sim/copy_on_write.h"

namespace sim {

enum class Model { iPhone, iPad, iPodTouch };
// "iPhone", "iPad", "iPod touch".
const char* modelText(Model model) noexcept;

struct Screen {
    double width = 0; // points
    double height = 0;
    double scale = 1; // pixels per point
    double brightness = 0.5; // 0 to 1

    bool operator==(const Screen&) const = default;
};

enum class CameraPosition { Back, Front };

// The session presets a camera takes unless its profile lists its own.
std::vector<std::string> defaultCameraPresets();

struct FrameImage;

// What a camera sees until a stimulus changes it: one colour, an image file, or, given neither, a
// test card made for the camera (sim::testCard).
struct CameraFrame {
    int red = -1, green = -1, blue = -1; // solid colour, 0 to 255; -1: none
    std::string file; // when not empty: a PGM (grey) or PPM (RGB) file
    // The file's image as the profile or the script that names it was read: what the camera shows,
    // whatever became of the file since. None for a frame made in code, whose file is read when a
    // camera first shows it; whoever changes `file` drops it. Not part of the frame's value.
    std::shared_ptr<const FrameImage> decoded{};

    bool isTestCard() const noexcept { return file.empty() && red < 0; }
    bool operator==(const CameraFrame& other) const {
        return red == other.red && green == other.green && blue == other.blue && file == other.file;
    }
};

struct Camera {
    CameraPosition position = CameraPosition::Back;
    bool hasFlash = false;
    bool hasTorch = false;
    bool torchLockable = true; // whether locking for torch configuration succeeds
    std::vector<std::string> presets = defaultCameraPresets();
    CameraFrame frame{};

    bool operator==(const Camera&) const = default;
};

struct Sensors {
    bool accelerometer = false;
    bool gyroscope = false;
    bool deviceMotion = false;
    bool proximity = false;
    // Left out of a profile's sensors, these two are there: older profiles do not name them.
    bool magnetometer = true;
    bool gps = true;

    bool operator==(const Sensors&) const = default;
};

struct Locale {
    std::string identifier = "en_US";
    std::string timeZone = "UTC"; // a zone name ("Europe/Berlin")
    std::string currency = "USD"; // three capital letters
    std::string measurementSystem = "U.S."; // "Metric", "U.S." or "U.K."

    bool operator==(const Locale&) const = default;
};

// One reading of a three-axis sensor.
struct Vector3 {
    double x = 0;
    double y = 0;
    double z = 0;

    bool operator==(const Vector3&) const = default;
};

// What the motion sensors read while nothing moves the device: accelerometer in g, rotation rate
// in radians per second, magnetic field in microtesla.
struct RestingPose {
    Vector3 accel{0, 0, -1};
    Vector3 gyro;
    Vector3 magnet;

    bool operator==(const RestingPose&) const = default;
};

struct CarrierService {
    std::string id;
    std::string radioTech; // empty: none
    // The SIM of this service where it differs from the carrier's; empty: the carrier's own.
    std::string name{}, mcc{}, mnc{}, iso{};

    bool operator==(const CarrierService&) const = default;
};

struct Carrier {
    std::string name;
    std::string mcc; // mobile country code, as text ("310")
    std::string mnc; // mobile network code, as text ("410", "01")
    std::string iso = "us";
    bool allowsVOIP = true;
    std::string radioTech = "CTRadioAccessTechnologyLTE"; // empty: none
    std::vector<CarrierService> services{{"0000000100000001", "CTRadioAccessTechnologyLTE"}}; // in order

    bool operator==(const Carrier&) const = default;
};

// The platform's battery states, in its order.
enum class BatteryState { Unknown, Unplugged, Charging, Full };

struct Battery {
    double level = 0; // 0 to 1
    BatteryState state = BatteryState::Unknown;
    bool postOnMonitoringEnable = true;

    bool operator==(const Battery&) const = default;
};

// A value of a power registry entry: whole numbers stay whole.
using RegistryValue = std::variant<bool, long long, double, std::string>;
using RegistryProperties = std::map<std::string, RegistryValue>;
// Service name -> its properties.
using Registry = std::map<std::string, RegistryProperties>;

// "AppleSmartBattery" and "AppleARMPMUCharger", each with "IOClass" (its own name), "Voltage",
// "MaxCapacity" and "CurrentCapacity".
Registry defaultRegistry();
// "IOClass" "AppleARMPMUCharger" with the raw and design capacities, cycle count, voltage,
// temperature and instant amperage of a healthy battery.
RegistryProperties defaultChargerDictionary();
// Both default services marked "ExternalConnected" and "IsCharging".
Registry defaultChargerProperties();

struct Chargers {
    CopyOnWrite<Registry> ac = defaultChargerProperties();
    CopyOnWrite<Registry> usb = defaultChargerProperties();

    bool operator==(const Chargers&) const = default;
};

// What the microphone hears. Sample n is a function of n alone.
struct AudioInput {
    enum class Kind { Silence, Constant, Sine, File };
    Kind kind = Kind::Silence;
    double constant = 0; // Constant: the sample, -1 to 1
    double frequency = 0; // Sine: hertz, above 0
    double amplitude = 0; // Sine: 0 to 1
    std::string file; // File: 16-bit samples, raw or WAV (by its content; stereo heard as mono)
    // File: its samples as the profile or the script that names it was read (sim::soundFileSamples):
    // what the microphone hears, whatever became of the file since. None for an input made in code,
    // whose file is read when the microphone first hears it. Not part of the input's value.
    std::shared_ptr<const std::vector<std::int16_t>> decoded{};

    bool operator==(const AudioInput& other) const {
        return kind == other.kind && constant == other.constant && frequency == other.frequency &&
               amplitude == other.amplitude && file == other.file;
    }
};

enum class RecordPermission { Granted, Denied, Ask };

struct Audio {
    double outputVolume = 0.5; // 0 to 1
    double volumeStep = 0.0625; // what one volume key press changes; above 0, at most 1
    bool microphone = true;
    RecordPermission recordPermission = RecordPermission::Granted;
    int ioFrames = 512; // frames per input/output buffer
    AudioInput input;

    bool operator==(const Audio&) const = default;
};

struct CameraAccess {
    int status = 3; // 0 not determined, 1 restricted, 2 denied, 3 authorised
    bool answer = true; // what a request answers
    double after = 0; // seconds the answer takes

    bool operator==(const CameraAccess&) const = default;
};

struct Location {
    int status = 4; // authorisation: 0 to 3 as for access, 4 when in use
    int requestReply = 4; // the status a request leads to

    bool operator==(const Location&) const = default;
};

struct Peripheral {
    std::string name;
    std::string identifier;
    int rssi = -50;
    std::vector<std::string> services;
    double after = 0; // seconds into a scan it is discovered

    bool operator==(const Peripheral&) const = default;
};

struct Bluetooth {
    int state = 5; // 0 unknown, 1 resetting, 2 unsupported, 3 unauthorised, 4 off, 5 on
    double firstStateAfter = 0; // seconds from a manager's creation to its first state
    std::vector<Peripheral> peripherals;

    bool operator==(const Bluetooth&) const = default;
};

struct NetworkInterface {
    std::string name;
    std::string ipv4;
    std::string netmask;
    std::string ipv6; // empty: none
    std::string mac; // empty: none

    bool operator==(const NetworkInterface&) const = default;
};

// The device's interfaces: the host's, renamed (device name -> host name, the rest dropped), or
// fixed ones.
struct Interfaces {
    bool host = true;
    CopyOnWrite<std::map<std::string, std::string>> aliases{{"en0", "eth0"}};
    CopyOnWrite<std::vector<NetworkInterface>> fixed;

    bool operator==(const Interfaces&) const = default;
};

struct Wifi {
    std::string ssid = "FunctionTest";
    std::string bssid = "02:00:00:00:00:01";

    bool operator==(const Wifi&) const = default;
};

// Reachability flags, by the platform's values.
namespace reachability {
inline constexpr unsigned kReachable = 0x2, kConnectionRequired = 0x4, kConnectionOnTraffic = 0x8,
                          kInterventionRequired = 0x10, kConnectionOnDemand = 0x20, kIsDirect = 0x20000,
                          kIsWWAN = 0x40000;
} // namespace reachability

// One of the application's threads: its CPU usage (1000 is one processor fully busy) and whether it
// is idle.
struct ThreadLoad {
    int usage = 0;
    bool idle = false;

    bool operator==(const ThreadLoad&) const = default;
};

// Fixed figures where the host's are not wanted; nullopt reads the host.
struct HostFigures {
    struct Memory {
        double total = 0, free = 0; // bytes
        bool operator==(const Memory&) const = default;
    };
    struct Processors {
        int count = 0, active = 0;
        bool operator==(const Processors&) const = default;
    };
    std::optional<Memory> memory;
    std::optional<Memory> disk;
    std::optional<int> processes;
    std::optional<Processors> processors;
    std::optional<double> cpuLoad; // 0 to 1
    std::optional<double> uptime; // seconds at the run's start
    std::optional<std::vector<ThreadLoad>> threads;

    bool operator==(const HostFigures&) const = default;
};

enum class Callbacks { Helper, Main };

enum class BiometryType { TouchID, FaceID, None };

struct Biometrics {
    bool available = true;
    BiometryType type = BiometryType::TouchID;
    bool reply = true; // an evaluation's answer
    double after = 0; // seconds the answer takes

    bool operator==(const Biometrics&) const = default;
};

// How a capture (a still image, a movie recording) ends.
struct CaptureOutcome {
    bool succeeds = true;
    double after = 0; // seconds

    bool operator==(const CaptureOutcome&) const = default;
};

// The message composer's results, in the platform's order.
enum class ComposeResult { Cancelled, Sent, Failed };

struct Messaging {
    bool canSendText = true;
    ComposeResult result = ComposeResult::Sent;

    bool operator==(const Messaging&) const = default;
};

// The private status bar's view tree, as the platform's releases laid it out.
enum class StatusBarLayout { None, Old, New, Broken };

struct StatusBar {
    int signalBars = 4; // 0 to 4
    int signalRaw = -80; // dBm
    StatusBarLayout layout = StatusBarLayout::None;
    std::vector<std::string> items = {"_UIStatusBarTimeItem", "_UIStatusBarCellularExpandedItem",
                                      "_UIStatusBarBatteryItem"};
    int cellularStatus = 2;

    bool operator==(const StatusBar&) const = default;
};

// The name of the device's Wi-Fi interface.
inline constexpr const char* kWifiInterface = "en0";

// The least height a profile may leave the application under its safe-area insets: the smallest
// shipped device's, the iPod touch's 568 points less its 20-point status bar, the least the
// application's screens are laid out for.
inline constexpr double kLeastApplicationHeight = 548;

// A device profile, a plain value. Its containers (languages, cameras, interfaces, reachability, the
// power registry, the charger dictionary and properties, sounds, documents) are CopyOnWrite: copies
// share them until one is changed.
struct Profile {
    std::string machine;
    Model model = Model::iPhone;
    std::string name;
    std::string systemName = "iOS";
    std::string systemVersion;
    Screen screen;
    ui::EdgeInsets safeAreaInsets;
    bool multitasking = true;
    Locale locale;
    // The user's preferred languages, most preferred first (ns::Locale::preferredLanguages).
    CopyOnWrite<std::vector<std::string>> languages{"en"};
    CopyOnWrite<std::vector<Camera>> cameras;
    CameraAccess cameraAccess;
    Location location;
    Bluetooth bluetooth;
    Sensors sensors;
    RestingPose motion;
    bool proximityNear = false;
    bool cellular = true; // a cellular radio (read from a profile: see "cellular" above)
    std::optional<Carrier> carrier; // the SIM; none: no SIM
    bool headphonesPlugged = false;
    Interfaces interfaces;
    std::optional<Wifi> wifi = Wifi{}; // none: not joined
    std::string publicAddress; // the device's address on the Internet; empty: none named
    // Target (an address or host name) -> flags fixed over what the network gives it.
    CopyOnWrite<std::map<std::string, unsigned>> reachability;
    Battery battery;
    CopyOnWrite<Registry> registry = defaultRegistry();
    CopyOnWrite<RegistryProperties> chargerDictionary = defaultChargerDictionary();
    Chargers chargers;
    bool ringSilent = false;
    CopyOnWrite<std::map<std::string, double>> sounds{{"mute.caf", 0.30}}; // sound file -> seconds
    double silentSoundCompletion = 0.01; // seconds
    Audio audio;
    HostFigures host;
    int accessories = 0;
    std::string deviceRoot; // absolute; empty: none
    Callbacks callbacks = Callbacks::Helper;
    Biometrics biometrics;
    CaptureOutcome stillCapture;
    CaptureOutcome movie;
    Messaging messaging;
    StatusBar statusBar;
    CopyOnWrite<std::map<std::string, std::string>> documents; // file name in Documents -> text

    // The screen's bounds: origin zero, size in points.
    cg::Rect screenBounds() const noexcept { return cg::Rect::make(0, 0, screen.width, screen.height); }
    // The version as the platform's text-to-number reading gives it: "12.4.1" is 12.4, "9" is 9.
    double systemVersionNumber() const noexcept;
    // Whether the device has its Wi-Fi interface (kWifiInterface: a fixed one, or a host's kept
    // under that name), and whether it has also joined a network on it.
    bool hasWifiInterface() const;
    bool onWifi() const { return wifi && hasWifiInterface(); }
    // The first camera at that position; null when there is none.
    const Camera* camera(CameraPosition position) const noexcept;
    // Takes every camera at that position away.
    void removeCameras(CameraPosition position);

    bool operator==(const Profile&) const = default;
};

// The default device ("iphone7.json"): a 375x667 iPhone9,1 on system 12.4.1 with a 20-point status
// bar and no bottom inset, a back camera with flash and torch and a front camera, each seeing its
// test card (kBackTestCard, kFrontTestCard in the profiles folder), every sensor, a SIM,
// and interfaces of its own (lo0, and en0 at 192.168.1.23), so nothing of the host decides what it
// reports. The process runs on it until another device is installed.
inline constexpr std::string_view kDefaultProfileName = "iphone7";
inline constexpr const char* kBackTestCard = "test-card-back.ppm";
inline constexpr const char* kFrontTestCard = "test-card-front.ppm";
Profile defaultProfile();

// The folder of shipped profiles: the one given to setProfilesDirectory, else the environment
// variable FT_DEVICES_PATH, else the source tree's resources/devices.
std::string profilesDirectory();
// Empty goes back to the default.
void setProfilesDirectory(std::string path);
// The names of the profiles there (file names without ".json"), sorted.
std::vector<std::string> shippedProfileNames();

// Reads <profiles directory>/<name>.json. A name is a plain file name without ".json".
std::optional<Profile> loadProfileNamed(std::string_view name, std::string* error = nullptr);
// Reads the file at `path`; messages name the path as given.
std::optional<Profile> loadProfileAtPath(std::string_view path, std::string* error = nullptr);
// What a command line gives: a path when it holds a '/' or ends in ".json", else a name; a shipped
// profile's file name ("iphone7.json") is its name, unless a file of that name is in the working
// folder.
std::optional<Profile> loadProfile(std::string_view nameOrPath, std::string* error = nullptr);
// The file loadProfile reads for the same word.
std::string profileFile(std::string_view nameOrPath);
// Reads profile JSON text; `source` names it in messages.
std::optional<Profile> parseProfile(std::string_view json, std::string_view source, std::string* error = nullptr);

// Nullopt when `name` is a relative path that stays inside the folder it is written to (no empty,
// "." or ".." component, not absolute) and that a file system takes (no component longer than
// kLongestFileName bytes); otherwise why not.
inline constexpr std::size_t kLongestFileName = 255;
std::optional<std::string> documentNameProblem(std::string_view name);

} // namespace sim
