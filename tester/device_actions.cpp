#include "tester/device_actions.h"

#include <array>
#include <cmath>
#include <exception>

#include <nlohmann/json.hpp>

#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/sim/profile.h"
#include "platform/sim/run_text.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "tester/driver.h"

// The stimuli and their arguments (numbers, texts and booleans as JSON writes them):
//   key.volumeUp, key.volumeDown, key.home, key.power, charger.unplug, headset.plug,
//   headset.unplug, wifi.leave, notification.open        none
//   switch.ring         silent (bool)
//   battery.set         level (0 to 1), state ("unknown", "unplugged", "charging", "full")
//   charger.plug        kind ("ac" or "usb")
//   registry.set        service, [properties] (an object of numbers, texts, booleans; null or
//                       left out: the entry is removed)
//   route.change        reason (whole number), [outputs] (port types)
//   audio.input         input (as a profile's audio input: "silence", {"constant": 0.25}, ...;
//                       a sound file is read with the script, as a frame file is)
//   proximity           near (bool)
//   motion.accel, motion.gyro, motion.magnet   value ([x, y, z]: the pose), or values and every
//                       (a train: one value every so many seconds)
//   motion.series       sensor ("accel", "gyro", "magnet"), values (readings, one per update)
//   motion.error        sensor, [code]
//   location.fix        latitude, longitude, [altitude, horizontalAccuracy, verticalAccuracy]
//   location.auth       status (0 to 4)
//   location.error      [code]
//   bluetooth.state     state (0 to 5)
//   wifi.join           [SSID], [BSSID] (each defaults to the profile's default network)
//   reachability.flags  target, flags (flag names, as a profile writes them, or the number: 32 bits)
//   carrier.set         [carrier] (as a profile's carrier; null or left out: the SIM taken out)
//   camera.frame        frame (as a profile camera's frame), [position] ("back" or "front")
//   touch               phase ("began", "moved", "ended", "cancelled"), x and y, or points
//                       ([[x, y], ...], several fingers in one event)
//   stroke              points (at least two) or through, every (seconds); "through": the key path
//                       of a view of the controller on screen (a grid), the finger passing through
//                       the centre of each of its subviews (the grid's cells) in their order, as
//                       the screen has them laid out when the action runs, whatever its size
// A finger put down (a touch's "began", a stroke's first point) is refused under a dialog, and a
// stroke through a view where something covers the view at its first point (Driver::coverAt).
//   permission.record, camera.access   granted (bool)
//   biometric.reply     success (bool)
//   composer.finish     result ("cancelled", "sent", "failed")

namespace sim {

namespace {

using nlohmann::json;

struct BadArgument {
    std::string reason;
};

[[noreturn]] void badArgument(std::string reason) {
    throw BadArgument{std::move(reason)};
}

// What the stimulus does to the device; false when the device refuses the values.
using Call = std::function<bool(Device&)>;
using Reader = std::function<Call(const ScriptAction&)>;
// A reader of arguments that name what shows: with the driver when the action runs, without it
// when the script is read (the arguments are checked then, the screen read later).
using ScreenReader = std::function<Call(const ScriptAction&, const Driver*)>;

// The argument as JSON: what the script wrote as a string, or text that is not JSON, is a text;
// null when absent.
json value(const ScriptAction& action, std::string_view key) {
    const std::string* text = action.arg(key);
    if (!text) return nullptr;
    if (action.isText(key)) return *text;
    json parsed = json::parse(*text, nullptr, false);
    if (parsed.is_discarded()) return *text;
    return parsed;
}

double number(const json& v, std::string_view key, double low, double high) {
    if (!v.is_number()) badArgument("\"" + std::string(key) + "\" must be a number");
    const double n = v.get<double>();
    if (!std::isfinite(n) || n < low || n > high)
        badArgument("\"" + std::string(key) + "\" must be from " + json(low).dump() + " to " + json(high).dump());
    return n;
}
double number(const ScriptAction& a, std::string_view key, double low, double high) {
    return number(value(a, key), key, low, high);
}

long whole(const ScriptAction& a, std::string_view key, long low, long high, long fallback = 0) {
    const json v = value(a, key);
    if (v.is_null()) return fallback;
    if (!v.is_number_integer()) badArgument("\"" + std::string(key) + "\" must be a whole number");
    // Compared as a double: a number past the signed range would wrap into it as a long.
    if (const double n = v.get<double>(); n < static_cast<double>(low) || n > static_cast<double>(high))
        badArgument("\"" + std::string(key) + "\" must be from " + std::to_string(low) + " to " + std::to_string(high));
    return v.get<long>();
}

bool flag(const ScriptAction& a, std::string_view key) {
    const json v = value(a, key);
    if (!v.is_boolean()) badArgument("\"" + std::string(key) + "\" must be true or false");
    return v.get<bool>();
}

// The index of the argument's text among `names`.
std::size_t choice(const ScriptAction& a, std::string_view key, std::initializer_list<std::string_view> names) {
    const std::string* text = a.arg(key);
    std::string list;
    std::size_t i = 0;
    for (std::string_view name : names) {
        if (text && *text == name) return i;
        list += (list.empty() ? "\"" : ", \"") + std::string(name) + "\"";
        ++i;
    }
    badArgument("\"" + std::string(key) + "\" must be one of " + list);
}

// Reads `field` as a profile would (its checks and defaults), from a profile holding only it.
Profile asProfile(const char* field, const json& v) {
    json skeleton = {{"machine", "iPhone9,1"},
                     {"model", "iPhone"},
                     {"systemVersion", "12.4.1"},
                     {"screen", {{"width", 375}, {"height", 667}}}};
    skeleton[field] = v;
    std::string error;
    std::optional<Profile> p = parseProfile(skeleton.dump(), "argument", &error);
    if (!p) badArgument(error.substr(error.find(": ") + 2));
    return *p;
}

Vector3 vector3(const json& v, std::string_view key) {
    if (!v.is_array() || v.size() != 3) badArgument("\"" + std::string(key) + "\" must be [x, y, z]");
    return Vector3{number(v[0], key, -1e9, 1e9), number(v[1], key, -1e9, 1e9), number(v[2], key, -1e9, 1e9)};
}

std::vector<Vector3> vectors(const ScriptAction& a, std::string_view key) {
    const json v = value(a, key);
    if (!v.is_array() || v.empty()) badArgument("\"" + std::string(key) + "\" must be a list of [x, y, z]");
    std::vector<Vector3> out;
    for (const json& item : v)
        out.push_back(vector3(item, key));
    return out;
}

std::vector<cg::Point> points(const ScriptAction& a, std::size_t least) {
    const json v = value(a, "points");
    if (!v.is_array() || v.size() < least)
        badArgument("\"points\" must be a list of at least " + std::to_string(least) + " [x, y]");
    std::vector<cg::Point> out;
    for (const json& item : v) {
        if (!item.is_array() || item.size() != 2) badArgument("\"points\" must be a list of [x, y]");
        out.push_back({number(item[0], "points", -1e9, 1e9), number(item[1], "points", -1e9, 1e9)});
    }
    return out;
}

// The view at `path` on the controller on screen.
rt::Ref<ui::View> viewOnScreen(const Driver& driver, const std::string& path) {
    rt::Ref<ui::ViewController> top = driver.topViewController();
    if (!top) badArgument("no controller is on screen");
    auto view = rt::cast<ui::View>(ns::valueForKeyPath(top, path));
    if (!view)
        badArgument(std::string(top->getClass().name()) + " has no view at \"" + sim::printableCut(path) +
                    "\"");
    return view;
}

// The centres of the subviews of the view at `path` on the controller on screen, in the window's
// coordinates (the screen's).
std::vector<cg::Point> centresOfSubviews(const Driver& driver, const std::string& path) {
    const rt::Ref<ui::View> view = viewOnScreen(driver, path);
    std::vector<cg::Point> centres;
    for (const rt::Ref<ui::View>& subview : view->subviewList())
        centres.push_back(view->convertPointToView(subview->center(), nullptr));
    if (centres.size() < 2)
        badArgument("\"" + sim::printableCut(path) + "\" holds fewer than two views to stroke through");
    return centres;
}

MotionSensor sensor(const ScriptAction& a) {
    return static_cast<MotionSensor>(choice(a, "sensor", {"accel", "gyro", "magnet"}));
}

template <typename F>
Call always(F f) {
    return [f](Device& d) {
        f(d);
        return true;
    };
}

Reader motion(MotionSensor s) {
    return [s](const ScriptAction& a) -> Call {
        if (a.arg("value")) {
            if (a.arg("values") || a.arg("every")) badArgument("give \"value\" or \"values\" and \"every\", not both");
            Vector3 pose = vector3(value(a, "value"), "value");
            return always([s, pose](Device& d) { d.setMotionPose(s, pose); });
        }
        if (!a.arg("every")) badArgument("a train needs \"every\"");
        const double every = number(a, "every", 1e-6, 1e6);
        std::vector<Vector3> values = vectors(a, "values");
        return [s, every, values](Device& d) { return d.setMotionTrain(s, every, values); };
    };
}

// What covers the places a stimulus's finger comes down on (Driver::coverAt), empty when it lands
// there; asked, when the action runs, of arguments already read.
using Landing = std::function<std::string(const ScriptAction&, const Driver&)>;

struct Entry {
    const char* name;
    std::vector<std::string> required, optional, oneOf;
    Reader read; // or, for a stimulus that reads the screen, readOnScreen
    std::vector<std::string> nullable = {};
    std::vector<std::string> texts = {}; // written as JSON strings
    ScreenReader readOnScreen = {};
    Landing landing = {};
};

// The points of a touch: "x" and "y", or "points".
std::vector<cg::Point> touchPoints(const ScriptAction& a) {
    if (!a.arg("points")) {
        if (!a.arg("y")) badArgument("\"x\" needs \"y\"");
        return {{number(a, "x", -1e9, 1e9), number(a, "y", -1e9, 1e9)}};
    }
    if (a.arg("x") || a.arg("y")) badArgument("give \"x\" and \"y\" or \"points\", not both");
    return points(a, 1);
}

std::vector<Entry> stimuli() {
    auto none = [](void (Device::*method)()) {
        return [method](const ScriptAction&) { return always([method](Device& d) { (d.*method)(); }); };
    };
    return {
        {"key.volumeUp", {}, {}, {}, none(&Device::pressVolumeUp)},
        {"key.volumeDown", {}, {}, {}, none(&Device::pressVolumeDown)},
        {"key.home", {}, {}, {}, none(&Device::pressHome)},
        {"key.power", {}, {}, {}, none(&Device::pressPower)},
        {"switch.ring", {"silent"}, {}, {},
         [](const ScriptAction& a) {
             const bool silent = flag(a, "silent");
             return always([silent](Device& d) { d.setRingSwitch(silent); });
         }},
        {"battery.set", {"level", "state"}, {}, {},
         [](const ScriptAction& a) -> Call {
             const double level = number(a, "level", 0, 1);
             const auto state =
                 static_cast<BatteryState>(choice(a, "state", {"unknown", "unplugged", "charging", "full"}));
             return [level, state](Device& d) { return d.setBattery(level, state); };
         }},
        {"charger.plug", {"kind"}, {}, {},
         [](const ScriptAction& a) -> Call {
             std::string kind(choice(a, "kind", {"ac", "usb"}) == 0 ? "ac" : "usb");
             return [kind](Device& d) { return d.plugCharger(kind); };
         }},
        {"charger.unplug", {}, {}, {}, none(&Device::unplugCharger)},
        {"registry.set", {"service"}, {"properties"}, {},
         [](const ScriptAction& a) -> Call {
             const std::string service = *a.arg("service");
             std::optional<RegistryProperties> properties;
             if (const json v = value(a, "properties"); !v.is_null()) {
                 if (!v.is_object()) badArgument("\"properties\" must be an object, or null");
                 properties = asProfile("registry", {{service, v}}).registry.at(service);
             }
             return [service, properties](Device& d) { return d.setRegistryEntry(service, properties); };
         },
         {"properties"},
         {"service"}},
        {"headset.plug", {}, {}, {}, none(&Device::plugHeadset)},
        {"headset.unplug", {}, {}, {}, none(&Device::unplugHeadset)},
        {"route.change", {"reason"}, {"outputs"}, {},
         [](const ScriptAction& a) {
             const long reason = whole(a, "reason", 0, 8);
             std::vector<std::string> outputs;
             if (a.arg("outputs")) {
                 const json v = value(a, "outputs");
                 if (!v.is_array()) badArgument("\"outputs\" must be a list of port types");
                 for (const json& item : v) {
                     if (!item.is_string()) badArgument("\"outputs\" must be a list of port types");
                     outputs.push_back(item.get<std::string>());
                 }
             }
             return always([reason, outputs](Device& d) { d.changeRoute(reason, outputs); });
         }},
        {"audio.input", {"input"}, {}, {},
         [](const ScriptAction& a) {
             AudioInput input = asProfile("audio", {{"input", value(a, "input")}}).audio.input;
             return always([input](Device& d) { d.setAudioInput(input); });
         }},
        {"proximity", {"near"}, {}, {},
         [](const ScriptAction& a) {
             const bool near = flag(a, "near");
             return always([near](Device& d) { d.setProximity(near); });
         }},
        {"motion.accel", {}, {"every"}, {"value", "values"}, motion(MotionSensor::Accelerometer)},
        {"motion.gyro", {}, {"every"}, {"value", "values"}, motion(MotionSensor::Gyroscope)},
        {"motion.magnet", {}, {"every"}, {"value", "values"}, motion(MotionSensor::Magnetometer)},
        {"motion.series", {"sensor", "values"}, {}, {},
         [](const ScriptAction& a) {
             const MotionSensor s = sensor(a);
             std::vector<Vector3> values = vectors(a, "values");
             return always([s, values](Device& d) { d.queueMotionSeries(s, values); });
         }},
        {"motion.error", {"sensor"}, {"code"}, {},
         [](const ScriptAction& a) {
             const MotionSensor s = sensor(a);
             const long code = whole(a, "code", -1000000, 1000000, 1);
             return always([s, code](Device& d) { d.failMotion(s, code); });
         }},
        {"location.fix", {"latitude", "longitude"}, {"altitude", "horizontalAccuracy", "verticalAccuracy"}, {},
         [](const ScriptAction& a) {
             LocationFix fix;
             fix.latitude = number(a, "latitude", -90, 90);
             fix.longitude = number(a, "longitude", -180, 180);
             if (a.arg("altitude")) fix.altitude = number(a, "altitude", -1e6, 1e6);
             if (a.arg("horizontalAccuracy")) fix.horizontalAccuracy = number(a, "horizontalAccuracy", 0, 1e7);
             if (a.arg("verticalAccuracy")) fix.verticalAccuracy = number(a, "verticalAccuracy", 0, 1e7);
             return always([fix](Device& d) { d.locationFix(fix); });
         }},
        {"location.auth", {"status"}, {}, {},
         [](const ScriptAction& a) -> Call {
             const int status = static_cast<int>(whole(a, "status", 0, 4));
             return [status](Device& d) { return d.setLocationAuthorization(status); };
         }},
        {"location.error", {}, {"code"}, {},
         [](const ScriptAction& a) {
             const long code = whole(a, "code", -1000000, 1000000, 0);
             return always([code](Device& d) { d.locationError(code); });
         }},
        {"bluetooth.state", {"state"}, {}, {},
         [](const ScriptAction& a) -> Call {
             const int state = static_cast<int>(whole(a, "state", 0, 5));
             return [state](Device& d) { return d.setBluetoothState(state); };
         }},
        {"wifi.join", {}, {"SSID", "BSSID"}, {},
         [](const ScriptAction& a) {
             const Wifi fallback;
             json network = {{"SSID", fallback.ssid}, {"BSSID", fallback.bssid}};
             for (const char* key : {"SSID", "BSSID"})
                 if (a.arg(key)) network[key] = *a.arg(key);
             Wifi wifi = *asProfile("wifi", network).wifi;
             return always([wifi](Device& d) { d.joinWifi(wifi); });
         },
         {},
         {"SSID", "BSSID"}},
        {"wifi.leave", {}, {}, {}, none(&Device::leaveWifi)},
        {"reachability.flags", {"target", "flags"}, {}, {},
         [](const ScriptAction& a) {
             const std::string target = *a.arg("target");
             const json v = value(a, "flags");
             // The flags are a 32-bit word: a larger number would lose its high bits.
             const unsigned flags = v.is_number_unsigned()
                                        ? static_cast<unsigned>(whole(a, "flags", 0, 0xFFFF'FFFFL))
                                        : asProfile("reachability", {{target, v}}).reachability.at(target);
             return always([target, flags](Device& d) { d.setReachabilityFlags(target, flags); });
         },
         {},
         {"target"}},
        {"carrier.set", {}, {"carrier"}, {},
         [](const ScriptAction& a) {
             std::optional<Carrier> carrier;
             if (const json v = value(a, "carrier"); !v.is_null()) {
                 if (!v.is_object()) badArgument("\"carrier\" must be an object, or null");
                 carrier = asProfile("carrier", v).carrier;
             }
             return always([carrier](Device& d) { d.setCarrier(carrier); });
         },
         {"carrier"}},
        {"camera.frame", {"frame"}, {"position"}, {},
         [](const ScriptAction& a) -> Call {
             const auto position = a.arg("position")
                                       ? static_cast<CameraPosition>(choice(a, "position", {"back", "front"}))
                                       : CameraPosition::Back;
             const json camera = {{"position", "back"}, {"frame", value(a, "frame")}};
             CameraFrame frame;
             try {
                 frame = asProfile("cameras", json::array({camera})).cameras.at(0).frame;
             } catch (const BadArgument& bad) { // "cameras[0].frame: ...", named as the step names it
                 badArgument("\"frame\"" + bad.reason.substr(bad.reason.find(": ")));
             }
             return [position, frame](Device& d) { return d.setCameraFrame(position, frame); };
         }},
        {"touch", {"phase"}, {"x", "y"}, {"x", "points"},
         [](const ScriptAction& a) -> Call {
             const auto phase = *touchPhaseNamed(std::string(
                 std::array<std::string_view, 4>{"began", "moved", "ended", "cancelled"}[choice(
                     a, "phase", {"began", "moved", "ended", "cancelled"})]));
             std::vector<cg::Point> at = touchPoints(a);
             return [phase, at](Device& d) { return d.touch(phase, at); };
         },
         {},
         {},
         {},
         // A finger put down lands only where no dialog covers the screen.
         [](const ScriptAction& a, const Driver& driver) {
             std::string cover;
             if (*a.arg("phase") == "began")
                 for (cg::Point point : touchPoints(a))
                     if (cover.empty()) cover = driver.coverAt(point);
             return cover;
         }},
        {"stroke", {"every"}, {}, {"points", "through"}, nullptr, {}, {"through"},
         [](const ScriptAction& a, const Driver* driver) -> Call {
             const double every = number(a, "every", 0, 1e6);
             std::vector<cg::Point> along;
             if (const std::string* path = a.arg("through")) {
                 if (a.arg("points")) badArgument("give \"points\" or \"through\", not both");
                 if (!driver) return [](Device&) { return true; }; // the screen is read when it runs
                 along = centresOfSubviews(*driver, *path);
             } else {
                 along = points(a, 2);
             }
             return [along, every](Device& d) { return d.stroke(along, every); };
         },
         // The finger comes down at the first point, or on the first of the view's subviews.
         [](const ScriptAction& a, const Driver& driver) {
             if (const std::string* path = a.arg("through")) {
                 const rt::Ref<ui::View> view = viewOnScreen(driver, *path);
                 return driver.coverAt(centresOfSubviews(driver, *path).front(), view.get());
             }
             return driver.coverAt(points(a, 2).front());
         }},
        {"notification.open", {}, {}, {}, none(&Device::openNotification)},
        {"permission.record", {"granted"}, {}, {},
         [](const ScriptAction& a) {
             const bool granted = flag(a, "granted");
             return always([granted](Device& d) { d.answerRecordPermission(granted); });
         }},
        {"camera.access", {"granted"}, {}, {},
         [](const ScriptAction& a) {
             const bool granted = flag(a, "granted");
             return always([granted](Device& d) { d.answerCameraAccess(granted); });
         }},
        {"biometric.reply", {"success"}, {}, {},
         [](const ScriptAction& a) {
             const bool success = flag(a, "success");
             return always([success](Device& d) { d.replyBiometric(success); });
         }},
        {"composer.finish", {"result"}, {}, {},
         [](const ScriptAction& a) -> Call {
             const auto result = static_cast<ComposeResult>(choice(a, "result", {"cancelled", "sent", "failed"}));
             return [result](Device& d) { return d.finishComposer(result); };
         }},
    };
}

// Reads the action's arguments; null, with the reason, when they are bad. Whatever a reader throws
// is a bad argument: no script value may end the process.
Call readOrSay(const ScreenReader& read, const ScriptAction& action, const Driver* driver, std::string* reason) {
    try {
        return read(action, driver);
    } catch (const BadArgument& b) {
        if (reason) *reason = b.reason;
    } catch (const std::exception& e) {
        if (reason) *reason = std::string("bad arguments: ") + e.what();
    }
    return nullptr;
}

} // namespace

void addDeviceStimuli(std::map<std::string, ScriptActionKind, std::less<>>& kinds) {
    for (Entry& entry : stimuli()) {
        const bool readsTheScreen = entry.readOnScreen != nullptr;
        ScreenReader read = entry.readOnScreen;
        if (!read) read = [plain = entry.read](const ScriptAction& action, const Driver*) { return plain(action); };
        ScriptActionKind kind{entry.required, entry.optional, entry.oneOf, {}, {}, entry.nullable};
        kind.texts = entry.texts;
        kind.run = [read, landing = entry.landing, name = std::string(entry.name)](
                       Driver& driver, const ScriptAction& action, std::string* failure) {
            // A stimulus read as the script was read does that, reading no file again.
            const auto* prepared = static_cast<const Call*>(action.prepared.get());
            Call call = prepared ? *prepared : readOrSay(read, action, &driver, failure);
            if (!call) return false;
            std::string cover;
            if (landing && !(cover = landing(action, driver)).empty()) {
                if (failure) *failure = "cannot " + name + ": " + cover;
                return false;
            }
            if (call(Device::shared())) return true;
            if (failure) *failure = "the device refused " + action.describe();
            return false;
        };
        kind.check = [read, readsTheScreen](ScriptAction& action, std::string* problem) {
            Call call = readOrSay(read, action, nullptr, problem);
            if (call && !readsTheScreen)
                action.prepared = std::make_shared<const Call>(call);
            return call != nullptr;
        };
        kinds[entry.name] = std::move(kind);
    }
    // The stimuli that read a file, with the script: a camera's frame, the microphone's sound.
    kinds["camera.frame"].files = {"frame"};
    kinds["audio.input"].files = {"input"};
}

} // namespace sim
