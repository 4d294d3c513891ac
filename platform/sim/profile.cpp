#include "platform/sim/profile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>

#include <arpa/inet.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/environment.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "platform/sim/frame_image.h"
#include "platform/sim/input_file.h"
#include "platform/sim/run_text.h"
#include "platform/sim/sound.h"

namespace sim {

namespace fs = std::filesystem;

const char* modelText(Model model) noexcept {
    switch (model) {
    case Model::iPhone: return "iPhone";
    case Model::iPad: return "iPad";
    case Model::iPodTouch: return "iPod touch";
    }
    return "iPhone";
}

double Profile::systemVersionNumber() const noexcept {
    double v = 0;
    const char* begin = systemVersion.data();
    std::from_chars(begin, begin + systemVersion.size(), v); // stops at the second dot
    return v;
}

bool Profile::hasWifiInterface() const {
    if (interfaces.host) return interfaces.aliases.contains(kWifiInterface);
    return std::any_of(interfaces.fixed.begin(), interfaces.fixed.end(),
                       [](const NetworkInterface& i) { return i.name == kWifiInterface; });
}

const Camera* Profile::camera(CameraPosition position) const noexcept {
    for (const Camera& c : cameras)
        if (c.position == position) return &c;
    return nullptr;
}

void Profile::removeCameras(CameraPosition position) {
    std::erase_if(cameras.edit(), [&](const Camera& c) { return c.position == position; });
}

std::vector<std::string> defaultCameraPresets() {
    return {"AVCaptureSessionPresetPhoto",   "AVCaptureSessionPresetHigh",    "AVCaptureSessionPresetMedium",
            "AVCaptureSessionPresetLow",     "AVCaptureSessionPreset640x480", "AVCaptureSessionPreset1280x720",
            "AVCaptureSessionPreset1920x1080"};
}

Registry defaultRegistry() {
    Registry registry;
    for (const char* service : {"AppleSmartBattery", "AppleARMPMUCharger"})
        registry[service] = {{"IOClass", std::string(service)},
                             {"Voltage", 3800LL},
                             {"MaxCapacity", 100LL},
                             {"CurrentCapacity", 80LL}};
    return registry;
}

RegistryProperties defaultChargerDictionary() {
    return {{"IOClass", std::string("AppleARMPMUCharger")},
            {"AppleRawMaxCapacity", 1960LL},
            {"AppleRawCurrentCapacity", 1568LL},
            {"DesignCapacity", 1960LL},
            {"CycleCount", 120LL},
            {"Voltage", 3800LL},
            {"Temperature", 2900LL},
            {"InstantAmperage", -300LL}};
}

Registry defaultChargerProperties() {
    Registry merged;
    for (const char* service : {"AppleSmartBattery", "AppleARMPMUCharger"})
        merged[service] = {{"ExternalConnected", true}, {"IsCharging", true}};
    return merged;
}

Profile defaultProfile() {
    Profile p;
    p.machine = "iPhone9,1";
    p.model = Model::iPhone;
    p.name = "iPhone 7";
    p.systemVersion = "12.4.1";
    p.screen = {375, 667, 2};
    p.safeAreaInsets = {.top = 20};
    p.cameras = {{CameraPosition::Back, true, true}, {CameraPosition::Front, false, false}};
    for (Camera& camera : p.cameras.edit())
        camera.frame.file = camera.position == CameraPosition::Back ? kBackTestCard : kFrontTestCard;
    p.sensors = {true, true, true, true};
    p.carrier = Carrier{"Kestrel Mobile", "310", "410"};
    p.battery = {0.8, BatteryState::Unplugged};
    p.interfaces = {.host = false,
                    .aliases = {},
                    .fixed = {{"lo0", "127.0.0.1", "255.0.0.0", "::1", ""},
                              {"en0", "192.168.1.23", "255.255.255.0", "", "02:00:00:00:00:01"}}};
    p.publicAddress = "203.0.113.23";
    return p;
}

// ---------------------------------------------------------------------------------------------
// The profiles folder

namespace {
std::mutex gDirectoryLock;
std::string gDirectory; // set by setProfilesDirectory
} // namespace

std::string profilesDirectory() {
    {
        std::lock_guard g(gDirectoryLock);
        if (!gDirectory.empty()) return gDirectory;
    }
    if (auto env = ns::environmentValue("FT_DEVICES_PATH"); env && !env->empty()) return *env;
    return FT_SHIPPED_DEVICES_DIR;
}

void setProfilesDirectory(std::string path) {
    std::lock_guard g(gDirectoryLock);
    gDirectory = std::move(path);
}

std::vector<std::string> shippedProfileNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(profilesDirectory(), ec))
        if (entry.path().extension() == ".json" && entry.is_regular_file(ec))
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

// Collects the first problem of one profile as "<source>: <field>: <what>", and which keys of each
// object read field by field were read, so that a key no reader knows (a typo) is a problem too.
class Problems {
public:
    explicit Problems(std::string_view source) : source_(source) {}

    bool any() const noexcept { return !message_.empty(); }
    const std::string& message() const noexcept { return message_; }
    void add(std::string_view field, std::string_view what) {
        if (message_.empty()) message_ = source_ + ": " + std::string(field) + ": " + std::string(what);
    }

    // The keys of one object read so far; `whole` for an object read as a map of its own keys.
    struct Keys {
        const ns::Dictionary* dict;
        std::string path;
        std::set<std::string, std::less<>> read;
        bool whole = false;
    };
    Keys& track(const ns::Dictionary* dict, const std::string& path) {
        for (Keys& keys : objects_)
            if (keys.dict == dict) return keys;
        objects_.push_back({dict, path, {}, false});
        return objects_.back();
    }
    // Adds the first key no reader took, as "<path>.<key>: unknown key".
    void refuseUnknownKeys() {
        for (const Keys& keys : objects_) {
            if (keys.whole || !keys.dict) continue;
            for (const auto& [key, value] : *keys.dict)
                if (auto* name = dynamic_cast<const ns::String*>(key.get());
                    name && !keys.read.contains(name->utf8()))
                    add(keys.path.empty() ? name->utf8() : keys.path + "." + name->utf8(), "unknown key");
        }
    }

private:
    std::string source_;
    std::string message_;
    std::deque<Keys> objects_; // stable: Fields hold pointers to their entries
};

enum class Need { Optional, Required };

// One JSON object of the profile, read field by field. A read that fails records the problem and
// gives the default, so a reader can go on; the profile is dropped at the end.
class Fields {
public:
    Fields(const ns::Dictionary* dict, std::string path, Problems& problems)
        : dict_(dict), path_(std::move(path)), problems_(problems), keys_(&problems.track(dict, path_)) {}

    std::string field(std::string_view key) const {
        return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
    }

    // The value, or nil when absent or null (a required one is reported missing).
    rt::Id value(std::string_view key, Need need) const {
        keys_->read.emplace(key);
        rt::Id v = dict_ ? dict_->objectForKey(key) : nullptr;
        if (ns::isNullOrNil(v)) {
            if (need == Need::Required) problems_.add(field(key), "missing");
            return nullptr;
        }
        return v;
    }

    std::optional<double> number(std::string_view key, Need need = Need::Optional) const {
        rt::Id v = value(key, need);
        auto* n = dynamic_cast<const ns::Number*>(v.get());
        if (!v) return std::nullopt;
        if (!n || n->isBool()) return wrong(key, "expected a number");
        return n->doubleValue();
    }

    bool flag(std::string_view key, bool fallback = false) const {
        rt::Id v = value(key, Need::Optional);
        auto* n = dynamic_cast<const ns::Number*>(v.get());
        if (!v) return fallback;
        if (!n || !n->isBool()) wrong(key, "expected true or false");
        return n && n->isBool() ? n->boolValue() : fallback;
    }

    std::optional<std::string> text(std::string_view key, Need need = Need::Optional) const {
        rt::Id v = value(key, need);
        if (auto* s = dynamic_cast<const ns::String*>(v.get())) return s->utf8();
        return v ? wrong(key, "expected a string") : std::nullopt;
    }

    // A nested object; nullopt when absent or malformed.
    std::optional<Fields> object(std::string_view key, Need need = Need::Optional) const {
        rt::Id v = value(key, need);
        if (auto* d = dynamic_cast<const ns::Dictionary*>(v.get())) return Fields(d, field(key), problems_);
        if (v) wrong(key, "expected an object");
        return std::nullopt;
    }

    // Records that the field holds the wrong kind of value.
    std::nullopt_t wrong(std::string_view key, std::string_view what) const {
        problems_.add(field(key), what);
        return std::nullopt;
    }

    // Whether the key is there, written as null.
    bool isNull(std::string_view key) const {
        keys_->read.emplace(key);
        rt::Id v = dict_ ? dict_->objectForKey(key) : nullptr;
        return v && ns::isNullOrNil(v);
    }

    // The object itself, for a reader that takes every key as its own (a map of names).
    const ns::Dictionary* dictionary() const noexcept {
        keys_->whole = true;
        return dict_;
    }
    Problems& problems() const noexcept { return problems_; }

private:
    const ns::Dictionary* dict_;
    std::string path_;
    Problems& problems_;
    Problems::Keys* keys_;
};

// A number above zero; `fallback` when absent.
double positive(const Fields& f, std::string_view key, Need need, double fallback) {
    auto v = f.number(key, need);
    if (!v) return fallback;
    if (!(*v > 0)) f.wrong(key, "expected a number above 0");
    return *v;
}

// A number of zero or more; zero when absent.
double notNegative(const Fields& f, std::string_view key) {
    auto v = f.number(key);
    if (v && !(*v >= 0)) f.wrong(key, "expected a number of 0 or more");
    return v.value_or(0);
}

// A number from 0 to 1; `fallback` when absent.
double unitInterval(const Fields& f, std::string_view key, double fallback) {
    auto v = f.number(key);
    if (v && !(*v >= 0 && *v <= 1)) f.wrong(key, "expected a number from 0 to 1");
    return v.value_or(fallback);
}

// One of `choices`, as its index.
template <std::size_t N>
std::optional<std::size_t> choice(const Fields& f, std::string_view key, Need need,
                                  const char* const (&choices)[N]) {
    auto v = f.text(key, need);
    if (!v) return std::nullopt;
    for (std::size_t i = 0; i < N; ++i)
        if (*v == choices[i]) return i;
    std::string what = "expected ";
    for (std::size_t i = 0; i < N; ++i)
        what += (i ? (i + 1 == N ? " or \"" : ", \"") : "\"") + std::string(choices[i]) + "\"";
    return f.wrong(key, what);
}

// One to three numbers joined by dots ("12", "12.4", "12.4.1").
bool isVersionText(std::string_view v) {
    int parts = 0;
    std::size_t i = 0;
    for (;;) {
        const std::size_t start = i;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9')
            ++i;
        if (i == start || ++parts > 3) return false;
        if (i == v.size()) return true;
        if (v[i++] != '.') return false;
    }
}

void readIdentity(const Fields& root, Profile& p) {
    if (auto machine = root.text("machine", Need::Required)) {
        if (machine->empty()) root.wrong("machine", "expected a machine identifier");
        p.machine = *machine;
    }
    static const char* const kModels[] = {"iPhone", "iPad", "iPod touch"};
    if (auto m = choice(root, "model", Need::Required, kModels)) p.model = static_cast<Model>(*m);
    p.name = root.text("name").value_or(modelText(p.model));
    p.systemName = root.text("systemName").value_or("iOS");
    if (auto version = root.text("systemVersion", Need::Required)) {
        if (!isVersionText(*version))
            root.wrong("systemVersion", "expected a version such as \"12.4.1\"");
        p.systemVersion = *version;
    }
}

// A number as a person writes it: "667", "667.5".
std::string numberText(double value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

void readScreen(const Fields& root, Profile& p) {
    const auto screen = root.object("screen", Need::Required);
    if (screen) {
        // A screen of 1 to 10,000 points a side: anything larger is no device, and lays out for ever.
        for (auto [key, side] :
             {std::pair{"width", &p.screen.width}, std::pair{"height", &p.screen.height}}) {
            *side = positive(*screen, key, Need::Required, 0);
            if (*side > 0 && !(*side >= 1 && *side <= 10'000))
                screen->wrong(key, "expected a number of points from 1 to 10000");
        }
        p.screen.scale = positive(*screen, "scale", Need::Optional, 1);
        p.screen.brightness = unitInterval(*screen, "brightness", p.screen.brightness);
    }
    const auto insets = root.object("safeAreaInsets");
    if (insets) {
        p.safeAreaInsets = {notNegative(*insets, "top"), notNegative(*insets, "left"),
                            notNegative(*insets, "bottom"), notNegative(*insets, "right")};
        // Insets that meet leave no screen to lay out in: every control would be outside it.
        const ui::EdgeInsets& i = p.safeAreaInsets;
        if (p.screen.width > 0 && i.left + i.right >= p.screen.width)
            root.wrong("safeAreaInsets", "left and right (" + numberText(i.left) + " and " + numberText(i.right) +
                                             ") leave none of the screen's width (" + numberText(p.screen.width) +
                                             " points)");
    }
    // The application's screens are laid out for the smallest shipped device's height and no less:
    // a profile that leaves less is refused here, not found as a tap far outside the screen.
    const ui::EdgeInsets& i = p.safeAreaInsets;
    const double left = p.screen.height - i.top - i.bottom;
    if (!screen || !(p.screen.height >= 1 && p.screen.height <= 10'000) || left >= kLeastApplicationHeight) return;
    const std::string least = "the application needs at least " + numberText(kLeastApplicationHeight) +
                              " (the smallest shipped screen's, under its status bar)";
    if (i.top + i.bottom > 0)
        root.wrong("safeAreaInsets", "top and bottom (" + numberText(i.top) + " and " + numberText(i.bottom) +
                                         ") leave " + numberText(std::max(0.0, std::round(left * 1000) / 1000)) +
                                         " of the screen's " +
                                         numberText(p.screen.height) + " points of height; " + least);
    else
        screen->wrong("height", numberText(p.screen.height) + " points leave too little of the screen; " + least);
}

// Text that is not empty; `fallback` when absent.
std::string nonEmptyText(const Fields& f, std::string_view key, std::string fallback) {
    auto v = f.text(key);
    if (v && v->empty()) f.wrong(key, "expected text that is not empty");
    return v.value_or(std::move(fallback));
}

void readSystem(const Fields& root, Profile& p) {
    p.multitasking = root.flag("multitasking", true);
    auto locale = root.object("locale");
    if (!locale) return;
    p.locale.identifier = nonEmptyText(*locale, "identifier", p.locale.identifier);
    p.locale.timeZone = nonEmptyText(*locale, "timeZone", p.locale.timeZone);
    if (auto currency = locale->text("currency")) {
        const bool code = currency->size() == 3 &&
                          std::all_of(currency->begin(), currency->end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        if (!code) locale->wrong("currency", "expected a three-letter code such as \"USD\"");
        p.locale.currency = *currency;
    }
    static const char* const kSystems[] = {"Metric", "U.S.", "U.K."};
    if (auto system = choice(*locale, "measurementSystem", Need::Optional, kSystems))
        p.locale.measurementSystem = kSystems[*system];
}

// [x, y, z]; `fallback` when absent.
Vector3 vector(const Fields& f, std::string_view key, Vector3 fallback) {
    rt::Id v = f.value(key, Need::Optional);
    if (!v) return fallback;
    auto* list = dynamic_cast<const ns::Array*>(v.get());
    double xyz[3] = {};
    for (std::size_t i = 0; list && list->count() == 3 && i < 3; ++i) {
        auto* n = dynamic_cast<const ns::Number*>(list->objectAtIndex(i).get());
        if (!n || n->isBool() || !std::isfinite(n->doubleValue())) {
            list = nullptr;
            break;
        }
        xyz[i] = n->doubleValue();
    }
    if (!list || list->count() != 3) {
        f.wrong(key, "expected a list of three numbers");
        return fallback;
    }
    return {xyz[0], xyz[1], xyz[2]};
}

// A whole number from `low` to `high`; `fallback` when absent.
int wholeNumber(const Fields& f, std::string_view key, int low, int high, int fallback) {
    auto v = f.number(key);
    if (!v) return fallback;
    if (!(*v >= low && *v <= high && *v == std::floor(*v)))
        f.wrong(key, "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    return static_cast<int>(std::clamp<double>(*v, low, high));
}

// Calls `read` with the fields of each object in the list at `key`; stops at the first entry
// that is not an object.
template <typename Read>
void eachObject(const Fields& f, std::string_view key, Read read) {
    rt::Id v = f.value(key, Need::Optional);
    if (!v) return;
    auto* list = dynamic_cast<const ns::Array*>(v.get());
    if (!list) return void(f.wrong(key, "expected a list"));
    for (std::size_t i = 0; i < list->count(); ++i) {
        const std::string field = f.field(key) + "[" + std::to_string(i) + "]";
        auto* entry = dynamic_cast<const ns::Dictionary*>(list->objectAtIndex(i).get());
        if (!entry) return f.problems().add(field, "expected an object");
        read(Fields(entry, field, f.problems()));
    }
}

// A list of non-empty strings; `fallback` when absent.
std::vector<std::string> texts(const Fields& f, std::string_view key, std::vector<std::string> fallback) {
    rt::Id v = f.value(key, Need::Optional);
    if (!v) return fallback;
    auto* list = dynamic_cast<const ns::Array*>(v.get());
    std::vector<std::string> out;
    for (std::size_t i = 0; list && i < list->count(); ++i) {
        auto* text = dynamic_cast<const ns::String*>(list->objectAtIndex(i).get());
        if (!text || text->utf8().empty()) {
            f.wrong(key, "expected a list of strings");
            return fallback;
        }
        out.push_back(text->utf8());
    }
    if (!list) f.wrong(key, "expected a list of strings");
    return list ? out : fallback;
}

void readLanguages(const Fields& root, Profile& p) {
    p.languages = texts(root, "languages", std::move(p.languages));
    if (p.languages.empty()) {
        root.wrong("languages", "expected at least one language");
        p.languages = {"en"};
    }
}

CameraFrame cameraFrame(const Fields& camera, CameraPosition position) {
    CameraFrame frame;
    rt::Id v = camera.value("frame", Need::Optional);
    if (!v) return frame;
    if (auto* file = dynamic_cast<const ns::String*>(v.get()); file && !file->utf8().empty()) {
        frame.file = file->utf8();
        // Decoded now and kept, so a file that is no frame is refused with the profile rather than
        // found when a camera first shows it, and the camera shows what was read.
        std::string problem;
        frame.decoded = makeFrameImage(frame, position, &problem);
        if (!frame.decoded) camera.wrong("frame", problem);
        return frame;
    }
    const char* const what = R"(expected {"solid": [r, g, b]} or a PGM or PPM file path)";
    auto* object = dynamic_cast<const ns::Dictionary*>(v.get());
    auto* rgb = object && object->count() == 1 ? dynamic_cast<const ns::Array*>(object->objectForKey("solid").get())
                                               : nullptr;
    int channels[3] = {};
    for (std::size_t i = 0; rgb && i < 3; ++i) {
        auto* n = rgb->count() == 3 ? dynamic_cast<const ns::Number*>(rgb->objectAtIndex(i).get()) : nullptr;
        const double c = n && !n->isBool() ? n->doubleValue() : -1;
        if (!(c >= 0 && c <= 255 && c == std::floor(c))) rgb = nullptr;
        else channels[i] = static_cast<int>(c);
    }
    if (!rgb) return camera.wrong("frame", what), frame;
    frame.red = channels[0];
    frame.green = channels[1];
    frame.blue = channels[2];
    return frame;
}

void readCameras(const Fields& root, Profile& p) {
    eachObject(root, "cameras", [&](const Fields& camera) {
        static const char* const kPositions[] = {"back", "front"};
        Camera c;
        if (auto position = choice(camera, "position", Need::Required, kPositions))
            c.position = static_cast<CameraPosition>(*position);
        c.hasFlash = camera.flag("hasFlash");
        c.hasTorch = camera.flag("hasTorch");
        c.torchLockable = camera.flag("torchLockable", true);
        c.presets = texts(camera, "presets", std::move(c.presets));
        c.frame = cameraFrame(camera, c.position);
        p.cameras.push_back(std::move(c));
    });
}

// Seconds of 0 or more; `fallback` when absent.
double seconds(const Fields& f, std::string_view key, double fallback) {
    return f.number(key) ? notNegative(f, key) : fallback;
}

void readAccessAndRadios(const Fields& root, Profile& p) {
    if (auto access = root.object("cameraAccess")) {
        p.cameraAccess.status = wholeNumber(*access, "status", 0, 3, p.cameraAccess.status);
        p.cameraAccess.answer = access->flag("answer", true);
        p.cameraAccess.after = seconds(*access, "after", 0);
    }
    if (auto location = root.object("location")) {
        p.location.status = wholeNumber(*location, "status", 0, 4, p.location.status);
        p.location.requestReply = wholeNumber(*location, "requestReply", 0, 4, p.location.requestReply);
    }
    auto bluetooth = root.object("bluetooth");
    if (!bluetooth) return;
    p.bluetooth.state = wholeNumber(*bluetooth, "state", 0, 5, p.bluetooth.state);
    p.bluetooth.firstStateAfter = seconds(*bluetooth, "firstStateAfter", 0);
    eachObject(*bluetooth, "peripherals", [&](const Fields& f) {
        Peripheral peripheral;
        peripheral.name = f.text("name").value_or("");
        peripheral.identifier = nonEmptyText(f, "identifier", "");
        if (peripheral.identifier.empty() && !f.problems().any()) f.wrong("identifier", "missing");
        peripheral.rssi = wholeNumber(f, "RSSI", -127, 20, peripheral.rssi);
        peripheral.services = texts(f, "services", {});
        peripheral.after = seconds(f, "after", 0);
        p.bluetooth.peripherals.push_back(std::move(peripheral));
    });
}

// A radio access technology; null for none (""), `fallback` when absent.
std::string radioTechnology(const Fields& f, std::string fallback) {
    return f.isNull("radioTech") ? std::string() : nonEmptyText(f, "radioTech", std::move(fallback));
}

void readRadiosAndSensors(const Fields& root, Profile& p) {
    if (auto sensors = root.object("sensors")) {
        p.sensors = {sensors->flag("accelerometer"), sensors->flag("gyroscope"), sensors->flag("deviceMotion"),
                     sensors->flag("proximity"), sensors->flag("magnetometer", true), sensors->flag("gps", true)};
    }
    if (auto motion = root.object("motion")) {
        p.motion.accel = vector(*motion, "accel", p.motion.accel);
        p.motion.gyro = vector(*motion, "gyro", p.motion.gyro);
        p.motion.magnet = vector(*motion, "magnet", p.motion.magnet);
    }
    if (auto proximity = root.object("proximity")) p.proximityNear = proximity->flag("near");
    if (auto carrier = root.object("carrier")) {
        Carrier c{carrier->text("name").value_or(""), carrier->text("mcc").value_or(""),
                  carrier->text("mnc").value_or("")};
        c.iso = carrier->text("iso").value_or(c.iso);
        c.allowsVOIP = carrier->flag("allowsVOIP", true);
        c.radioTech = radioTechnology(*carrier, c.radioTech);
        if (carrier->value("services", Need::Optional)) c.services.clear();
        eachObject(*carrier, "services", [&](const Fields& f) {
            CarrierService service{nonEmptyText(f, "id", ""), radioTechnology(f, c.radioTech),
                                   f.text("name").value_or(""), f.text("mcc").value_or(""),
                                   f.text("mnc").value_or(""), f.text("iso").value_or("")};
            if (service.id.empty() && !f.problems().any()) f.wrong("id", "missing");
            c.services.push_back(std::move(service));
        });
        if (!carrier->value("services", Need::Optional))
            for (CarrierService& service : c.services)
                service.radioTech = c.radioTech;
        p.carrier = std::move(c);
    }
    // A SIM sits in a cellular radio: a profile giving one has the radio unless it says otherwise,
    // which it cannot.
    p.cellular = root.flag("cellular", p.model == Model::iPhone || p.carrier.has_value());
    if (p.carrier && !p.cellular) root.wrong("cellular", "a device with a SIM (\"carrier\") has a cellular radio");
    p.headphonesPlugged = root.flag("headphonesPlugged");
}

void readBattery(const Fields& root, Profile& p) {
    auto battery = root.object("battery");
    if (!battery) return;
    if (auto level = battery->number("level")) {
        if (!(*level >= 0 && *level <= 1)) battery->wrong("level", "expected a number from 0 to 1");
        p.battery.level = *level;
    }
    static const char* const kStates[] = {"unknown", "unplugged", "charging", "full"};
    if (auto state = choice(*battery, "state", Need::Optional, kStates))
        p.battery.state = static_cast<BatteryState>(*state);
    p.battery.postOnMonitoringEnable = battery->flag("postOnMonitoringEnable", true);
}

// An object of registry properties; nullopt when absent or malformed.
std::optional<RegistryProperties> registryProperties(const Fields& f, std::string_view key) {
    auto object = f.object(key);
    if (!object) return std::nullopt;
    RegistryProperties properties;
    for (auto [name, value] : *object->dictionary()) {
        auto* text = dynamic_cast<const ns::String*>(name.get());
        if (!text || ns::isNullOrNil(value)) continue; // JSON keys are strings; null is left out
        const std::string property = text->utf8();
        if (auto* s = dynamic_cast<const ns::String*>(value.get())) {
            properties[property] = s->utf8();
        } else if (auto* n = dynamic_cast<const ns::Number*>(value.get())) {
            if (n->isBool()) properties[property] = n->boolValue();
            else if (n->isFloatingPoint()) properties[property] = n->doubleValue();
            else properties[property] = n->longLongValue();
        } else {
            object->wrong(property, "expected a number, a string, or true or false");
            return std::nullopt;
        }
    }
    return properties;
}

// Service -> properties; nullopt when absent or malformed.
std::optional<Registry> registry(const Fields& f, std::string_view key) {
    auto object = f.object(key);
    if (!object) return std::nullopt;
    Registry services;
    for (auto [name, value] : *object->dictionary()) {
        auto* service = dynamic_cast<const ns::String*>(name.get());
        if (!service || ns::isNullOrNil(value)) continue; // JSON keys are strings; null is left out
        auto properties = registryProperties(*object, service->utf8());
        if (!properties) return std::nullopt;
        services[service->utf8()] = std::move(*properties);
    }
    return services;
}

void readPower(const Fields& root, Profile& p) {
    if (auto services = registry(root, "registry")) p.registry = std::move(*services);
    if (auto charger = registryProperties(root, "chargerDictionary")) p.chargerDictionary = std::move(*charger);
    if (auto chargers = root.object("chargers")) {
        if (auto ac = registry(*chargers, "ac")) p.chargers.ac = std::move(*ac);
        if (auto usb = registry(*chargers, "usb")) p.chargers.usb = std::move(*usb);
    }
}

AudioInput audioInput(const Fields& audio) {
    AudioInput input;
    rt::Id v = audio.value("input", Need::Optional);
    if (!v) return input;
    if (auto* text = dynamic_cast<const ns::String*>(v.get()); text && text->utf8() == "silence") return input;
    auto* object = dynamic_cast<const ns::Dictionary*>(v.get());
    if (!object || object->count() != 1) {
        audio.wrong("input", R"(expected "silence", or an object naming one of "constant", "sine" or "file")");
        return input;
    }
    Fields source(object, audio.field("input"), audio.problems());
    if (auto constant = source.number("constant")) {
        if (!(*constant >= -1 && *constant <= 1)) source.wrong("constant", "expected a number from -1 to 1");
        input.kind = AudioInput::Kind::Constant;
        input.constant = *constant;
    } else if (auto sine = source.object("sine")) {
        input.kind = AudioInput::Kind::Sine;
        input.frequency = positive(*sine, "frequency", Need::Required, 0);
        input.amplitude = unitInterval(*sine, "amplitude", 1);
    } else if (auto file = source.text("file")) {
        input.kind = AudioInput::Kind::File;
        input.file = *file;
        // Read now and kept, as a camera's frame is: a file that is no sound is refused with the
        // profile, and the microphone hears what was read.
        std::string problem;
        if (file->empty()) source.wrong("file", "expected a file path");
        else if (input.decoded = soundFileSamples(*file, &problem); !input.decoded)
            source.wrong("file", *file + ": " + problem);
    } else if (!audio.problems().any()) {
        audio.wrong("input", R"(expected "silence", or an object naming one of "constant", "sine" or "file")");
    }
    return input;
}

void readSound(const Fields& root, Profile& p) {
    if (auto ring = root.object("ringSwitch")) p.ringSilent = ring->flag("silent");
    if (auto sounds = root.object("sounds")) {
        p.sounds.clear();
        for (auto [key, value] : *sounds->dictionary()) {
            auto* name = dynamic_cast<const ns::String*>(key.get());
            if (!name || ns::isNullOrNil(value)) continue;
            if (name->utf8().empty()) return root.problems().add(R"(sounds[""])", "expected a sound file name");
            auto* seconds = dynamic_cast<const ns::Number*>(value.get());
            if (!seconds || seconds->isBool() || !(seconds->doubleValue() >= 0))
                return root.problems().add("sounds[\"" + name->utf8() + "\"]", "expected a number of 0 or more");
            p.sounds[name->utf8()] = seconds->doubleValue();
        }
    }
    p.silentSoundCompletion = root.number("silentSoundCompletion").value_or(p.silentSoundCompletion);
    if (!(p.silentSoundCompletion >= 0)) root.wrong("silentSoundCompletion", "expected a number of 0 or more");
    auto audio = root.object("audio");
    if (!audio) return;
    p.audio.outputVolume = unitInterval(*audio, "outputVolume", p.audio.outputVolume);
    p.audio.volumeStep = positive(*audio, "volumeStep", Need::Optional, p.audio.volumeStep);
    if (p.audio.volumeStep > 1) audio->wrong("volumeStep", "expected a number above 0, at most 1");
    p.audio.microphone = audio->flag("microphone", true);
    static const char* const kPermissions[] = {"granted", "denied", "ask"};
    if (auto permission = choice(*audio, "recordPermission", Need::Optional, kPermissions))
        p.audio.recordPermission = static_cast<RecordPermission>(*permission);
    if (auto frames = audio->number("ioFrames")) {
        if (!(*frames >= 1 && *frames <= 1 << 16 && *frames == std::floor(*frames)))
            audio->wrong("ioFrames", "expected a whole number from 1 to 65536");
        else
            p.audio.ioFrames = static_cast<int>(*frames);
    }
    p.audio.input = audioInput(*audio);
}

bool isAddress(int family, const std::string& text) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(family, text.c_str(), buffer) == 1;
}

bool isMac(std::string_view text) {
    if (text.size() != 17) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i % 3 == 2 ? text[i] != ':' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// Text passing `valid`; `need` says whether it may be left out.
std::string checkedText(const Fields& f, std::string_view key, Need need, bool (*valid)(const std::string&),
                        std::string_view what) {
    auto v = f.text(key, need);
    if (v && !valid(*v)) f.wrong(key, what);
    return v.value_or("");
}

void readNetwork(const Fields& root, Profile& p) {
    rt::Id interfaces = root.value("interfaces", Need::Optional);
    if (dynamic_cast<const ns::Array*>(interfaces.get())) {
        p.interfaces = {.host = false, .aliases = {}, .fixed = {}};
        eachObject(root, "interfaces", [&](const Fields& f) {
            NetworkInterface i;
            i.name = nonEmptyText(f, "name", "");
            if (i.name.empty() && !f.problems().any()) f.wrong("name", "missing");
            const auto v4 = [](const std::string& t) { return isAddress(AF_INET, t); };
            i.ipv4 = checkedText(f, "ipv4", Need::Required, v4, "expected an IPv4 address");
            i.netmask = checkedText(f, "netmask", Need::Required, v4, "expected an IPv4 address");
            i.ipv6 = checkedText(f, "ipv6", Need::Optional, [](const std::string& t) { return isAddress(AF_INET6, t); },
                                 "expected an IPv6 address");
            i.mac = checkedText(f, "mac", Need::Optional, [](const std::string& t) { return isMac(t); },
                                "expected a MAC address such as \"02:00:00:00:00:01\"");
            p.interfaces.fixed.push_back(std::move(i));
        });
    } else if (auto* text = dynamic_cast<const ns::String*>(interfaces.get()); text && text->utf8() == "host") {
        // the default
    } else if (auto host = dynamic_cast<const ns::Dictionary*>(interfaces.get()) ? root.object("interfaces")
                                                                                   : std::nullopt) {
        if (auto aliases = host->object("aliases", Need::Required)) {
            p.interfaces.aliases.clear();
            for (auto [key, value] : *aliases->dictionary()) {
                auto* device = dynamic_cast<const ns::String*>(key.get());
                if (!device) continue;
                const std::string hostName = nonEmptyText(*aliases, device->utf8(), "");
                if (device->utf8().empty() || hostName.empty()) {
                    if (!root.problems().any()) aliases->wrong(device->utf8(), "expected an interface name");
                    return;
                }
                p.interfaces.aliases[device->utf8()] = hostName;
            }
        }
    } else if (interfaces) {
        root.wrong("interfaces", R"(expected "host", {"aliases": {...}} or a list of interfaces)");
    }

    if (root.isNull("wifi"))
        p.wifi.reset();
    else if (auto wifi = root.object("wifi"))
        p.wifi = Wifi{wifi->text("SSID", Need::Required).value_or(""),
                      checkedText(*wifi, "BSSID", Need::Required, [](const std::string& t) { return isMac(t); },
                                  "expected a MAC address such as \"02:00:00:00:00:01\"")};
    p.publicAddress = checkedText(
        root, "publicAddress", Need::Optional,
        [](const std::string& t) { return isAddress(AF_INET, t) || isAddress(AF_INET6, t); },
        "expected an IPv4 or IPv6 address");

    auto targets = root.object("reachability");
    if (!targets) return;
    static const char* const kFlags[] = {"reachable", "connectionRequired", "connectionOnTraffic",
                                         "interventionRequired", "connectionOnDemand", "isDirect", "isWWAN"};
    static const unsigned kBits[] = {reachability::kReachable,           reachability::kConnectionRequired,
                                     reachability::kConnectionOnTraffic, reachability::kInterventionRequired,
                                     reachability::kConnectionOnDemand,  reachability::kIsDirect,
                                     reachability::kIsWWAN};
    p.reachability.clear();
    for (auto [key, value] : *targets->dictionary()) {
        auto* target = dynamic_cast<const ns::String*>(key.get());
        if (!target || ns::isNullOrNil(value)) continue;
        const std::string name = target->utf8();
        unsigned flags = 0;
        for (const std::string& flag : texts(*targets, name, {})) {
            auto known = std::find(std::begin(kFlags), std::end(kFlags), flag);
            if (known == std::end(kFlags)) {
                targets->wrong(name, "unknown flag \"" + flag + "\"");
                return;
            }
            flags |= kBits[known - std::begin(kFlags)];
        }
        p.reachability[name] = flags;
    }
}

// "host" (nullopt) or what `fixed` reads from the field.
template <typename Read>
auto hostOr(const Fields& root, std::string_view key, Read fixed) -> std::optional<decltype(fixed())> {
    rt::Id v = root.value(key, Need::Optional);
    if (!v) return std::nullopt;
    if (auto* text = dynamic_cast<const ns::String*>(v.get()); text && text->utf8() == "host") return std::nullopt;
    return fixed();
}

std::optional<HostFigures::Memory> storeFigures(const Fields& root, std::string_view key) {
    return hostOr(root, key, [&]() -> std::optional<HostFigures::Memory> {
        auto f = root.object(key);
        if (!f) return std::nullopt;
        HostFigures::Memory m{notNegative(*f, "total"), notNegative(*f, "free")};
        if (m.free > m.total) f->wrong("free", "expected at most the total");
        return m;
    }).value_or(std::nullopt);
}

void readHostAndRun(const Fields& root, Profile& p) {
    p.host.memory = storeFigures(root, "memory");
    p.host.disk = storeFigures(root, "disk");
    p.host.processes = hostOr(root, "processes", [&] { return wholeNumber(root, "processes", 1, 1 << 20, 1); });
    p.host.processors = hostOr(root, "processors", [&]() -> std::optional<HostFigures::Processors> {
        auto f = root.object("processors");
        if (!f) return std::nullopt;
        HostFigures::Processors c{wholeNumber(*f, "count", 1, 1024, 1), 0};
        c.active = wholeNumber(*f, "active", 1, c.count, c.count);
        return c;
    }).value_or(std::nullopt);
    p.host.cpuLoad = hostOr(root, "cpuLoad", [&] { return unitInterval(root, "cpuLoad", 0); });
    p.host.uptime = hostOr(root, "uptime", [&] { return notNegative(root, "uptime"); });
    p.host.threads = hostOr(root, "threads", [&] {
        std::vector<ThreadLoad> threads;
        eachObject(root, "threads", [&](const Fields& f) {
            threads.push_back({wholeNumber(f, "usage", 0, 1000, 0), f.flag("idle")});
        });
        return threads;
    });
    p.accessories = wholeNumber(root, "accessories", 0, 64, 0);
    if (auto root_ = root.text("deviceRoot"); root_ && !root_->empty()) {
        std::error_code ec;
        const fs::path folder = fs::weakly_canonical(fs::absolute(*root_, ec), ec);
        if (ec || !fs::is_directory(folder, ec)) root.wrong("deviceRoot", "expected a folder");
        else p.deviceRoot = folder.string();
    }
    static const char* const kCallbacks[] = {"helper", "main"};
    if (auto callbacks = choice(root, "callbacks", Need::Optional, kCallbacks))
        p.callbacks = static_cast<Callbacks>(*callbacks);
}

CaptureOutcome captureOutcome(const Fields& root, std::string_view key) {
    CaptureOutcome outcome;
    if (auto f = root.object(key)) outcome = {f->flag("succeeds", true), seconds(*f, "after", 0)};
    return outcome;
}

void readLaterReaders(const Fields& root, Profile& p) {
    if (auto biometrics = root.object("biometrics")) {
        p.biometrics.available = biometrics->flag("available", true);
        static const char* const kTypes[] = {"touchID", "faceID", "none"};
        if (auto type = choice(*biometrics, "type", Need::Optional, kTypes))
            p.biometrics.type = static_cast<BiometryType>(*type);
        p.biometrics.reply = biometrics->flag("reply", true);
        p.biometrics.after = seconds(*biometrics, "after", 0);
    }
    p.stillCapture = captureOutcome(root, "stillCapture");
    p.movie = captureOutcome(root, "movie");
    if (auto messaging = root.object("messaging")) {
        p.messaging.canSendText = messaging->flag("canSendText", true);
        static const char* const kResults[] = {"cancelled", "sent", "failed"};
        if (auto result = choice(*messaging, "result", Need::Optional, kResults))
            p.messaging.result = static_cast<ComposeResult>(*result);
    }
    if (auto bar = root.object("statusBar")) {
        p.statusBar.signalBars = wholeNumber(*bar, "signalBars", 0, 4, p.statusBar.signalBars);
        p.statusBar.signalRaw = wholeNumber(*bar, "signalRaw", -150, 0, p.statusBar.signalRaw);
        static const char* const kLayouts[] = {"none", "old", "new", "broken"};
        if (auto layout = choice(*bar, "layout", Need::Optional, kLayouts))
            p.statusBar.layout = static_cast<StatusBarLayout>(*layout);
        p.statusBar.items = texts(*bar, "items", std::move(p.statusBar.items));
        p.statusBar.cellularStatus = wholeNumber(*bar, "cellularStatus", 0, 9, p.statusBar.cellularStatus);
    }
}

void readDocuments(const Fields& root, Profile& p) {
    auto documents = root.object("documents");
    if (!documents) return;
    for (auto [key, value] : *documents->dictionary()) {
        auto* name = dynamic_cast<const ns::String*>(key.get());
        if (!name) continue; // JSON keys are strings
        const std::string field = "documents[\"" + name->utf8() + "\"]";
        if (auto problem = documentNameProblem(name->utf8())) return root.problems().add(field, *problem);
        auto* text = dynamic_cast<const ns::String*>(value.get());
        if (!text) return root.problems().add(field, "expected a string");
        p.documents[name->utf8()] = text->utf8();
    }
    // A document is a file: no other may be written inside it.
    const std::map<std::string, std::string>& written = p.documents;
    for (const auto& [name, text] : written)
        if (auto inside = written.lower_bound(name + "/"); inside != written.end() && inside->first.starts_with(name + "/"))
            return root.problems().add("documents[\"" + inside->first + "\"]",
                                       "inside documents[\"" + name + "\"], which is a file");
}

} // namespace

std::optional<std::string> documentNameProblem(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) return "expected a file name";
    if (name.front() == '/') return "a file name must stay inside Documents";
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part = name.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.empty() || part == "." || part == "..") return "a file name must stay inside Documents";
        if (part.size() > kLongestFileName) return "a file name of more than 255 bytes between slashes";
        if (slash == std::string_view::npos) return std::nullopt;
        start = slash + 1;
    }
}

std::optional<Profile> parseProfile(std::string_view json, std::string_view source, std::string* error) {
    Problems problems(source);
    std::string fault;
    rt::Id document = readJSONText(json, &fault);
    auto* root = dynamic_cast<const ns::Dictionary*>(document.get());
    Profile p;
    if (!document) {
        problems.add("JSON", fault);
    } else if (!root) {
        problems.add("JSON", "expected an object at the top");
    } else if (std::optional<RepeatedKey> repeated = repeatedKey(json)) {
        problems.add(printableCut(repeated->field()), "repeated key at " + repeated->place());
    } else {
        Fields fields(root, "", problems);
        readIdentity(fields, p);
        readScreen(fields, p);
        readSystem(fields, p);
        readLanguages(fields, p);
        readCameras(fields, p);
        readRadiosAndSensors(fields, p);
        readAccessAndRadios(fields, p);
        readNetwork(fields, p);
        readHostAndRun(fields, p);
        readLaterReaders(fields, p);
        readBattery(fields, p);
        readPower(fields, p);
        readSound(fields, p);
        readDocuments(fields, p);
        problems.refuseUnknownKeys();
    }
    if (!problems.any()) return p;
    if (error) *error = problems.message();
    return std::nullopt;
}

namespace {
std::optional<Profile> readProfile(const std::string& path, const std::string& source, std::string* error) {
    std::string reason;
    std::optional<std::string> text = readInputFile(path, &reason);
    if (!text) {
        if (error) *error = source + ": " + reason;
        return std::nullopt;
    }
    return parseProfile(*text, source, error);
}
} // namespace

std::optional<Profile> loadProfileAtPath(std::string_view path, std::string* error) {
    return readProfile(std::string(path), std::string(path), error);
}

std::optional<Profile> loadProfileNamed(std::string_view name, std::string* error) {
    const std::string directory = profilesDirectory();
    const fs::path file = fs::path(directory) / (std::string(name) + ".json");
    std::error_code ec;
    if (name.empty() || name.find('/') != std::string_view::npos || !fs::is_regular_file(file, ec)) {
        if (error) {
            *error = "no device profile named \"" + std::string(name) + "\" in " + directory + " (there are:";
            for (const std::string& known : shippedProfileNames())
                *error += " " + known;
            *error += ")";
        }
        return std::nullopt;
    }
    return readProfile(file.string(), file.filename().string(), error);
}

namespace {

// The shipped profile a command line's word names, or none for a path: a word with a '/', or one
// ending in ".json" but for a shipped profile's file name ("iphone7.json") when no such file is here.
std::optional<std::string> shippedProfileName(std::string_view nameOrPath) {
    constexpr std::string_view kSuffix = ".json";
    if (nameOrPath.find('/') != std::string_view::npos) return std::nullopt;
    if (!nameOrPath.ends_with(kSuffix)) return std::string(nameOrPath);
    std::error_code ec;
    const std::string name(nameOrPath.substr(0, nameOrPath.size() - kSuffix.size()));
    if (name.empty() || fs::exists(fs::symlink_status(fs::path(nameOrPath), ec)) ||
        !fs::is_regular_file(fs::path(profilesDirectory()) / nameOrPath, ec))
        return std::nullopt;
    return name;
}

} // namespace

std::optional<Profile> loadProfile(std::string_view nameOrPath, std::string* error) {
    const std::optional<std::string> name = shippedProfileName(nameOrPath);
    return name ? loadProfileNamed(*name, error) : loadProfileAtPath(nameOrPath, error);
}

std::string profileFile(std::string_view nameOrPath) {
    const std::optional<std::string> name = shippedProfileName(nameOrPath);
    return name ? (fs::path(profilesDirectory()) / (*name + ".json")).string() : std::string(nameOrPath);
}

} // namespace sim
