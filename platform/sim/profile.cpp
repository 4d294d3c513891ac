#include "platform/sim/profile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <mutex>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/environment.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/json.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"

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

const Camera* Profile::camera(CameraPosition position) const noexcept {
    for (const Camera& c : cameras)
        if (c.position == position) return &c;
    return nullptr;
}

void Profile::removeCameras(CameraPosition position) {
    std::erase_if(cameras, [&](const Camera& c) { return c.position == position; });
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
    p.sensors = {true, true, true, true};
    p.carrier = Carrier{"Carrier", "310", "410"};
    p.battery = {0.8, BatteryState::Unplugged};
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

// Collects the first problem of one profile as "<source>: <field>: <what>".
class Problems {
public:
    explicit Problems(std::string_view source) : source_(source) {}

    bool any() const noexcept { return !message_.empty(); }
    const std::string& message() const noexcept { return message_; }
    void add(std::string_view field, std::string_view what) {
        if (message_.empty()) message_ = source_ + ": " + std::string(field) + ": " + std::string(what);
    }

private:
    std::string source_;
    std::string message_;
};

enum class Need { Optional, Required };

// One JSON object of the profile, read field by field. A read that fails records the problem and
// gives the default, so a reader can go on; the profile is dropped at the end.
class Fields {
public:
    Fields(const ns::Dictionary* dict, std::string path, Problems& problems)
        : dict_(dict), path_(std::move(path)), problems_(problems) {}

    std::string field(std::string_view key) const {
        return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
    }

    // The value, or nil when absent or null (a required one is reported missing).
    rt::Id value(std::string_view key, Need need) const {
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

    bool flag(std::string_view key) const {
        rt::Id v = value(key, Need::Optional);
        auto* n = dynamic_cast<const ns::Number*>(v.get());
        if (v && (!n || !n->isBool())) wrong(key, "expected true or false");
        return n && n->isBool() && n->boolValue();
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

    const ns::Dictionary* dictionary() const noexcept { return dict_; }
    Problems& problems() const noexcept { return problems_; }

private:
    const ns::Dictionary* dict_;
    std::string path_;
    Problems& problems_;
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

void readScreen(const Fields& root, Profile& p) {
    if (auto screen = root.object("screen", Need::Required)) {
        p.screen.width = positive(*screen, "width", Need::Required, 0);
        p.screen.height = positive(*screen, "height", Need::Required, 0);
        p.screen.scale = positive(*screen, "scale", Need::Optional, 1);
    }
    if (auto insets = root.object("safeAreaInsets")) {
        p.safeAreaInsets = {notNegative(*insets, "top"), notNegative(*insets, "left"),
                            notNegative(*insets, "bottom"), notNegative(*insets, "right")};
    }
}

void readCameras(const Fields& root, Profile& p) {
    rt::Id v = root.value("cameras", Need::Optional);
    if (!v) return;
    auto* list = dynamic_cast<const ns::Array*>(v.get());
    if (!list) {
        root.wrong("cameras", "expected a list");
        return;
    }
    for (std::size_t i = 0; i < list->count(); ++i) {
        const std::string field = "cameras[" + std::to_string(i) + "]";
        auto* entry = dynamic_cast<const ns::Dictionary*>(list->objectAtIndex(i).get());
        if (!entry) return root.problems().add(field, "expected an object");
        Fields camera(entry, field, root.problems());
        static const char* const kPositions[] = {"back", "front"};
        Camera c;
        if (auto position = choice(camera, "position", Need::Required, kPositions))
            c.position = static_cast<CameraPosition>(*position);
        c.hasFlash = camera.flag("hasFlash");
        c.hasTorch = camera.flag("hasTorch");
        p.cameras.push_back(c);
    }
}

void readRadiosAndSensors(const Fields& root, Profile& p) {
    if (auto sensors = root.object("sensors")) {
        p.sensors = {sensors->flag("accelerometer"), sensors->flag("gyroscope"), sensors->flag("deviceMotion"),
                     sensors->flag("proximity")};
    }
    if (auto carrier = root.object("carrier")) {
        p.carrier = Carrier{carrier->text("name").value_or(""), carrier->text("mcc").value_or(""),
                            carrier->text("mnc").value_or("")};
    }
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
        if (slash == std::string_view::npos) return std::nullopt;
        start = slash + 1;
    }
}

std::optional<Profile> parseProfile(std::string_view json, std::string_view source, std::string* error) {
    Problems problems(source);
    rt::Ref<ns::Error> jsonError;
    rt::Id document = ns::JSONSerialization::JSONObjectWithData(json, ns::JSONReadingOptions::None, &jsonError);
    auto* root = dynamic_cast<const ns::Dictionary*>(document.get());
    Profile p;
    if (!document) {
        rt::Id detail = jsonError ? jsonError->userInfo()->objectForKey(ns::DebugDescriptionErrorKey) : nullptr;
        problems.add("JSON", detail ? detail->description() : "malformed");
    } else if (!root) {
        problems.add("JSON", "expected an object at the top");
    } else {
        Fields fields(root, "", problems);
        readIdentity(fields, p);
        readScreen(fields, p);
        readCameras(fields, p);
        readRadiosAndSensors(fields, p);
        readBattery(fields, p);
        readDocuments(fields, p);
    }
    if (!problems.any()) return p;
    if (error) *error = problems.message();
    return std::nullopt;
}

namespace {
std::optional<Profile> readProfile(const std::string& path, const std::string& source, std::string* error) {
    rt::Ref<ns::Error> readError;
    auto data = ns::readFile(path, &readError);
    if (!data) {
        if (error) *error = source + ": " + readError->localizedDescription()->utf8();
        return std::nullopt;
    }
    return parseProfile(std::string_view(reinterpret_cast<const char*>(data->bytes()), data->length()), source,
                        error);
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

std::optional<Profile> loadProfile(std::string_view nameOrPath, std::string* error) {
    const bool isPath = nameOrPath.find('/') != std::string_view::npos || nameOrPath.ends_with(".json");
    return isPath ? loadProfileAtPath(nameOrPath, error) : loadProfileNamed(nameOrPath, error);
}

} // namespace sim
