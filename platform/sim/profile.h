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
//     "screen": {"width": 375, "height": 667, "scale": 2},  points; scale defaults to 1  required
//     "safeAreaInsets": {"top": 20, "left": 0, "bottom": 0, "right": 0},  default: zero
//     "cameras": [{"position": "back", "hasFlash": true, "hasTorch": true}],  default: none
//     "sensors": {"accelerometer": true, "gyroscope": true, "deviceMotion": true, "proximity": true},
//     "carrier": {"name": "Carrier", "mcc": "310", "mnc": "410"},   null or absent: no SIM
//     "headphonesPlugged": false,
//     "battery": {"level": 0.8, "state": "unplugged"},  level 0 to 1; unknown, unplugged, charging, full
//     "documents": {"functiontest_config.txt": "..."}   files written into Documents at start
//   }
//
// Fields left out take their defaults (false, zero, empty, none); null counts as left out. Unknown
// keys are ignored, so profiles can carry fields for stand-ins that read them later. A missing or
// malformed field fails the load with one line naming the file and the field:
// "iphone7.json: screen.width: expected a number".
//
// A profile is a plain value: tests build one in code or change single fields of a loaded one.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/edge_insets.h"
#include "platform/graphics/geometry.h"

namespace sim {

enum class Model { iPhone, iPad, iPodTouch };
// "iPhone", "iPad", "iPod touch".
const char* modelText(Model model) noexcept;

struct Screen {
    double width = 0; // points
    double height = 0;
    double scale = 1; // pixels per point

    bool operator==(const Screen&) const = default;
};

enum class CameraPosition { Back, Front };

struct Camera {
    CameraPosition position = CameraPosition::Back;
    bool hasFlash = false;
    bool hasTorch = false;

    bool operator==(const Camera&) const = default;
};

struct Sensors {
    bool accelerometer = false;
    bool gyroscope = false;
    bool deviceMotion = false;
    bool proximity = false;

    bool operator==(const Sensors&) const = default;
};

struct Carrier {
    std::string name;
    std::string mcc; // mobile country code, as text ("310")
    std::string mnc; // mobile network code, as text ("410", "01")

    bool operator==(const Carrier&) const = default;
};

// The platform's battery states, in its order.
enum class BatteryState { Unknown, Unplugged, Charging, Full };

struct Battery {
    double level = 0; // 0 to 1
    BatteryState state = BatteryState::Unknown;

    bool operator==(const Battery&) const = default;
};

struct Profile {
    std::string machine;
    Model model = Model::iPhone;
    std::string name;
    std::string systemName = "iOS";
    std::string systemVersion;
    Screen screen;
    ui::EdgeInsets safeAreaInsets;
    std::vector<Camera> cameras;
    Sensors sensors;
    std::optional<Carrier> carrier; // none: no SIM
    bool headphonesPlugged = false;
    Battery battery;
    std::map<std::string, std::string> documents; // file name in Documents -> text

    // The screen's bounds: origin zero, size in points.
    cg::Rect screenBounds() const noexcept { return cg::Rect::make(0, 0, screen.width, screen.height); }
    // The version as the platform's text-to-number reading gives it: "12.4.1" is 12.4, "9" is 9.
    double systemVersionNumber() const noexcept;
    // The first camera at that position; null when there is none.
    const Camera* camera(CameraPosition position) const noexcept;
    // Takes every camera at that position away.
    void removeCameras(CameraPosition position);

    bool operator==(const Profile&) const = default;
};

// The default device ("iphone7.json"): a 375x667 iPhone9,1 on system 12.4.1 with a 20-point status
// bar and no bottom inset, a back camera with flash and torch, a front camera, every sensor and a
// SIM. The process runs on it until another device is installed.
inline constexpr std::string_view kDefaultProfileName = "iphone7";
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
// What a command line gives: a path when it holds a '/' or ends in ".json", else a name.
std::optional<Profile> loadProfile(std::string_view nameOrPath, std::string* error = nullptr);
// Reads profile JSON text; `source` names it in messages.
std::optional<Profile> parseProfile(std::string_view json, std::string_view source, std::string* error = nullptr);

// Nullopt when `name` is a relative path that stays inside the folder it is written to (no empty,
// "." or ".." component, not absolute); otherwise why not.
std::optional<std::string> documentNameProblem(std::string_view name);

} // namespace sim
