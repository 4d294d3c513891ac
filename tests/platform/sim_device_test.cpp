// The simulated device: shipped profiles and what they give the readers, profiles that are
// missing or malformed fields, installing a device for a scope, and preparing the run's home.

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/array.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/user_defaults.h"
#include "platform/sim/device.h"
#include "platform/sim/device_path.h"
#include "platform/sim/frame_image.h"
#include "platform/sim/home.h"
#include "platform/sim/input_file.h"
#include "platform/sim/profile.h"
#include "platform/sim/run_text.h"
#include "tests/platform/support.h"

namespace {

namespace fs = std::filesystem;
using platform_tests::Scratch;

// The smallest valid profile, with `extra` members added to its object: one of the four it has
// ("model": ...) takes the place of that one, as a key is written once.
std::string minimalProfile(std::string_view extra = {}) {
    const std::pair<const char*, const char*> base[] = {{"machine", R"("iPhone9,1")"},
                                                        {"model", R"("iPhone")"},
                                                        {"systemVersion", R"("12.4.1")"},
                                                        {"screen", R"({"width": 375, "height": 667})"}};
    std::string json = "{";
    for (const auto& [key, value] : base)
        if (extra.find("\"" + std::string(key) + "\":") == std::string_view::npos)
            json += (json.size() > 1 ? ", \"" : "\"") + std::string(key) + "\": " + value;
    if (!extra.empty()) json += (json.size() > 1 ? ", " : "") + std::string(extra);
    return json + "}";
}

// "/a/b/c" -> "/a/b".
std::string lexicalParent(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// The message of a profile that fails, or "" when it loads.
std::string problemOf(std::string_view json) {
    std::string error;
    return sim::parseProfile(json, "t.json", &error) ? "" : sim::maskedMessage(error).text();
}

// ---------------------------------------------------------------------------------------------
// Shipped profiles

TEST(SimProfile, EveryShippedProfileLoadsAndMatchesItsMachine) {
    const std::vector<std::string> names = sim::shippedProfileNames();
    for (const char* expected : {"iphone7", "iphone_xr", "ipod_touch", "ipad_wifi", "ipad_cellular"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    double leastHeight = INFINITY; // left to the application by the shipped profile that leaves least
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string error;
        auto profile = sim::loadProfileNamed(name, &error);
        ASSERT_TRUE(profile) << error;
        leastHeight = std::min(leastHeight, profile->screen.height - profile->safeAreaInsets.top -
                                                profile->safeAreaInsets.bottom);
        const std::string prefix = profile->model == sim::Model::iPad ? "iPad"
                                   : profile->model == sim::Model::iPodTouch ? "iPod"
                                                                              : "iPhone";
        EXPECT_TRUE(profile->machine.starts_with(prefix)) << profile->machine;
        EXPECT_GT(profile->screen.scale, 1);
        if (profile->model == sim::Model::iPodTouch) {
            EXPECT_FALSE(profile->carrier);
        }
        // Every camera sees a picture of its own, never one flat colour.
        std::set<std::vector<std::uint8_t>> seen;
        for (const sim::Camera& camera : profile->cameras) {
            const auto frame = sim::makeFrameImage(camera.frame, camera.position);
            ASSERT_TRUE(frame);
            EXPECT_GT(std::set<std::uint8_t>(frame->pixels.begin(), frame->pixels.end()).size(), 4u);
            seen.insert(frame->pixels);
        }
        EXPECT_EQ(seen.size(), profile->cameras.size());
    }
    EXPECT_EQ(leastHeight, sim::kLeastApplicationHeight) << "the least a profile may leave is the smallest shipped";
    // The two tablets differ by their radio.
    auto wifi = sim::loadProfileNamed("ipad_wifi"), cellular = sim::loadProfileNamed("ipad_cellular");
    ASSERT_TRUE(wifi && cellular);
    EXPECT_NE(wifi->machine, cellular->machine);
    EXPECT_FALSE(wifi->carrier);
    EXPECT_TRUE(cellular->carrier);
}

TEST(SimProfile, TheDefaultFileIsTheDeviceTheProcessStartsOn) {
    auto shipped = sim::loadProfileNamed(sim::kDefaultProfileName);
    ASSERT_TRUE(shipped);
    EXPECT_EQ(*shipped, sim::defaultProfile());
    EXPECT_EQ(*sim::currentDevice(), sim::defaultProfile());
    EXPECT_EQ(sim::machine(), "iPhone9,1");
    EXPECT_EQ(shipped->screenBounds(), cg::Rect::make(0, 0, 375, 667));
    EXPECT_EQ(shipped->safeAreaInsets.bottom, 0);
    ASSERT_TRUE(shipped->camera(sim::CameraPosition::Back));
    EXPECT_TRUE(shipped->camera(sim::CameraPosition::Back)->hasTorch);
    EXPECT_TRUE(shipped->camera(sim::CameraPosition::Front));
    EXPECT_EQ(shipped->sensors, (sim::Sensors{true, true, true, true}));
    EXPECT_TRUE(shipped->carrier);
}

TEST(SimProfile, AnInstalledProfileReachesTheReadersUntilItsScopeEnds) {
    {
        auto xr = sim::loadProfileNamed("iphone_xr");
        ASSERT_TRUE(xr);
        sim::ScopedDevice device(*xr);
        auto current = sim::currentDevice();
        EXPECT_EQ(sim::machine(), "iPhone11,8");
        EXPECT_EQ(current->screenBounds(), cg::Rect::make(0, 0, 414, 896));
        EXPECT_EQ(current->safeAreaInsets, (ui::EdgeInsets{44, 0, 34, 0}));
        EXPECT_EQ(current->systemVersion, "13.3");
        EXPECT_DOUBLE_EQ(current->systemVersionNumber(), 13.3);
        EXPECT_STREQ(sim::modelText(current->model), "iPhone");

        // A single field changed on a shipped profile: no front camera.
        auto changed = *xr;
        changed.removeCameras(sim::CameraPosition::Front);
        sim::ScopedDevice inner(changed);
        EXPECT_FALSE(sim::currentDevice()->camera(sim::CameraPosition::Front));
        EXPECT_TRUE(sim::currentDevice()->camera(sim::CameraPosition::Back));
        EXPECT_TRUE(current->camera(sim::CameraPosition::Front)); // a profile held stays as it was
    }
    EXPECT_EQ(sim::machine(), "iPhone9,1");

    sim::Profile built; // from code
    built.machine = "iPad5,3";
    built.model = sim::Model::iPad;
    built.systemVersion = "10.3.3";
    sim::ScopedDevice device(built);
    EXPECT_EQ(sim::machine(), "iPad5,3");
    EXPECT_STREQ(sim::modelText(sim::currentDevice()->model), "iPad");
    EXPECT_DOUBLE_EQ(sim::currentDevice()->systemVersionNumber(), 10.3);
}

// ---------------------------------------------------------------------------------------------
// Reading profiles

TEST(SimProfile, FieldsLeftOutTakeTheirDefaults) {
    std::string error;
    auto p = sim::parseProfile(minimalProfile(R"("model": "iPod touch", "carrier": null, "name": null)"),
                               "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->model, sim::Model::iPodTouch);
    EXPECT_EQ(p->name, "iPod touch");
    EXPECT_EQ(p->systemName, "iOS");
    EXPECT_EQ(p->screen.scale, 1);
    EXPECT_EQ(p->safeAreaInsets, ui::EdgeInsets::zero());
    EXPECT_TRUE(p->cameras.empty());
    EXPECT_EQ(p->sensors, sim::Sensors{});
    EXPECT_FALSE(p->carrier);
    EXPECT_FALSE(p->headphonesPlugged);
    EXPECT_EQ(p->battery, sim::Battery{});
    EXPECT_TRUE(p->documents.empty());
    // A working device: lit half way, multitasking, en_US in UTC, lying face up, nothing near.
    EXPECT_EQ(p->screen.brightness, 0.5);
    EXPECT_TRUE(p->multitasking);
    EXPECT_EQ(p->locale, (sim::Locale{"en_US", "UTC", "USD", "U.S."}));
    EXPECT_TRUE(p->sensors.magnetometer && p->sensors.gps);
    EXPECT_EQ(p->motion.accel, (sim::Vector3{0, 0, -1}));
    EXPECT_EQ(p->motion.gyro, sim::Vector3{});
    EXPECT_FALSE(p->proximityNear);
    EXPECT_TRUE(p->battery.postOnMonitoringEnable);
    EXPECT_EQ(p->registry, sim::defaultRegistry());
    EXPECT_EQ(p->chargerDictionary, sim::defaultChargerDictionary());
    EXPECT_EQ(p->chargers.ac, sim::defaultChargerProperties());
    EXPECT_FALSE(p->ringSilent);
    EXPECT_EQ(p->sounds, (std::map<std::string, double>{{"mute.caf", 0.30}}));
    EXPECT_EQ(p->silentSoundCompletion, 0.01);
    EXPECT_EQ(p->audio, (sim::Audio{0.5, 0.0625, true, sim::RecordPermission::Granted, 512, {}}));
    EXPECT_EQ(p->audio.input.kind, sim::AudioInput::Kind::Silence);
    EXPECT_EQ(p->cameraAccess, (sim::CameraAccess{3, true, 0}));
    EXPECT_EQ(p->location, (sim::Location{4, 4}));
    EXPECT_EQ(p->bluetooth, (sim::Bluetooth{5, 0, {}}));
    EXPECT_TRUE(p->interfaces.host);
    EXPECT_EQ(p->interfaces.aliases, (std::map<std::string, std::string>{{"en0", "eth0"}}));
    EXPECT_EQ(p->wifi, sim::Wifi{});
    EXPECT_TRUE(p->reachability.empty()) << "every target follows the network";
    EXPECT_FALSE(p->cellular) << "an iPod touch without a SIM";
    EXPECT_EQ(p->host, sim::HostFigures{}); // every figure from the host
    EXPECT_EQ(p->accessories, 0);
    EXPECT_EQ(p->deviceRoot, ""); // a clean device
    EXPECT_EQ(p->callbacks, sim::Callbacks::Helper);
    EXPECT_EQ(p->biometrics, (sim::Biometrics{true, sim::BiometryType::TouchID, true, 0}));
    EXPECT_EQ(p->stillCapture, (sim::CaptureOutcome{true, 0}));
    EXPECT_EQ(p->movie, (sim::CaptureOutcome{true, 0}));
    EXPECT_EQ(p->messaging, (sim::Messaging{true, sim::ComposeResult::Sent}));
    EXPECT_EQ(p->statusBar, (sim::StatusBar{4, -80}));

    auto full = sim::parseProfile(
        minimalProfile(R"("carrier": {"name": "Net", "mcc": "262", "mnc": "01"}, "headphonesPlugged": true,
                          "battery": {"level": 0.25, "state": "charging"},
                          "documents": {"functiontest_config.txt": "WIFI,BATTERY", "notes/a.txt": ""})"),
        "t.json", &error);
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->carrier, (sim::Carrier{"Net", "262", "01"}));
    EXPECT_TRUE(full->headphonesPlugged);
    EXPECT_EQ(full->battery, (sim::Battery{0.25, sim::BatteryState::Charging}));
    EXPECT_EQ(full->documents.at("functiontest_config.txt"), "WIFI,BATTERY");
    EXPECT_EQ(full->documents.at("notes/a.txt"), "");
}

TEST(SimProfile, TheDefaultPowerRegistryHoldsWhatTheChargerReadersLookFor) {
    const sim::Registry registry = sim::defaultRegistry();
    for (const char* service : {"AppleSmartBattery", "AppleARMPMUCharger"}) {
        SCOPED_TRACE(service);
        ASSERT_TRUE(registry.contains(service));
        EXPECT_EQ(std::get<std::string>(registry.at(service).at("IOClass")), service);
        for (const char* key : {"Voltage", "MaxCapacity", "CurrentCapacity"})
            EXPECT_TRUE(std::holds_alternative<long long>(registry.at(service).at(key))) << key;
    }
    const sim::RegistryProperties charger = sim::defaultChargerDictionary();
    EXPECT_EQ(std::get<std::string>(charger.at("IOClass")), "AppleARMPMUCharger");
    for (const char* key : {"AppleRawMaxCapacity", "AppleRawCurrentCapacity", "DesignCapacity", "CycleCount",
                            "Voltage", "Temperature", "InstantAmperage"})
        EXPECT_TRUE(std::holds_alternative<long long>(charger.at(key))) << key;
}

TEST(SimProfile, PowerFieldsReplaceTheDefaultsWithTheirValuesTyped) {
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("battery": {"level": 1, "postOnMonitoringEnable": false},
                          "registry": {"AppleSmartBattery": {"IOClass": "AppleSmartBattery", "Voltage": 4100,
                                                             "Temperature": 30.5, "IsCharging": false,
                                                             "Gone": null},
                                       "Removed": null},
                          "chargerDictionary": {"IOClass": "PMUPowerSource", "CycleCount": 7},
                          "chargers": {"usb": {"AppleSmartBattery": {"ExternalConnected": true,
                                                                     "AdapterWatts": 5}}})"),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_FALSE(p->battery.postOnMonitoringEnable);
    EXPECT_EQ(p->battery.level, 1);
    const sim::Registry expected = {{"AppleSmartBattery",
                                     {{"IOClass", std::string("AppleSmartBattery")},
                                      {"Voltage", 4100LL},
                                      {"Temperature", 30.5},
                                      {"IsCharging", false}}}};
    EXPECT_EQ(p->registry, expected); // named wholly: no default service is kept, nulls are left out
    EXPECT_EQ(p->chargerDictionary,
              (sim::RegistryProperties{{"IOClass", std::string("PMUPowerSource")}, {"CycleCount", 7LL}}));
    EXPECT_EQ(p->chargers.ac, sim::defaultChargerProperties()); // the kind left out keeps its default
    EXPECT_EQ(p->chargers.usb,
              (sim::Registry{{"AppleSmartBattery", {{"ExternalConnected", true}, {"AdapterWatts", 5LL}}}}));
}

TEST(SimProfile, SoundFieldsReadAsWrittenAndTheInputIsOneSource) {
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("ringSwitch": {"silent": true}, "sounds": {"beep.caf": 1.5, "mute.caf": 0},
                          "silentSoundCompletion": 0,
                          "audio": {"outputVolume": 1, "volumeStep": 0.25, "microphone": false,
                                    "recordPermission": "ask", "ioFrames": 256,
                                    "input": {"sine": {"frequency": 440, "amplitude": 0.5}}})"),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_TRUE(p->ringSilent);
    EXPECT_EQ(p->sounds, (std::map<std::string, double>{{"beep.caf", 1.5}, {"mute.caf", 0}}));
    EXPECT_EQ(p->silentSoundCompletion, 0);
    EXPECT_EQ(p->audio.outputVolume, 1);
    EXPECT_EQ(p->audio.volumeStep, 0.25);
    EXPECT_FALSE(p->audio.microphone);
    EXPECT_EQ(p->audio.recordPermission, sim::RecordPermission::Ask);
    EXPECT_EQ(p->audio.ioFrames, 256);
    EXPECT_EQ(p->audio.input, (sim::AudioInput{sim::AudioInput::Kind::Sine, 0, 440, 0.5, ""}));

    // A sound file is read with the profile: the microphone hears what was read then.
    Scratch scratch;
    scratch.write("tone.raw", std::string("\x00\x40", 2));
    const std::string tone = scratch / "tone.raw";
    const std::pair<std::string, sim::AudioInput> inputs[] = {
        {R"("silence")", {}},
        {R"({"constant": -0.25})", {sim::AudioInput::Kind::Constant, -0.25, 0, 0, ""}},
        {R"({"sine": {"frequency": 1000}})", {sim::AudioInput::Kind::Sine, 0, 1000, 1, ""}},
        {R"({"file": ")" + tone + "\"}", {sim::AudioInput::Kind::File, 0, 0, 0, tone}},
    };
    for (const auto& [json, expected] : inputs) {
        auto q = sim::parseProfile(minimalProfile(R"("audio": {"input": )" + json + "}"), "t.json", &error);
        ASSERT_TRUE(q) << json << ": " << error;
        EXPECT_EQ(q->audio.input, expected) << json;
        EXPECT_EQ(q->audio.input.decoded != nullptr, expected.kind == sim::AudioInput::Kind::File) << json;
    }

}

TEST(SimProfile, CameraAccessAndRadioFieldsReadAsWritten) {
    Scratch scratch;
    scratch.write("card.pgm", "P2 1 1 255 7\n");
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("cameras": [{"position": "back", "hasTorch": true},
                                      {"position": "front", "torchLockable": false, "presets": ["AVCaptureSessionPresetLow"],
                                       "frame": {"solid": [255, 0, 16]}},
                                      {"position": "back", "frame": ")" + scratch / "card.pgm" + R"("}],
                          "cameraAccess": {"status": 0, "answer": false, "after": 1.5},
                          "location": {"status": 2, "requestReply": 3},
                          "bluetooth": {"state": 4, "firstStateAfter": 0.5,
                                        "peripherals": [{"name": "Speaker", "identifier": "A-1", "RSSI": -70,
                                                         "services": ["180F", "180A"], "after": 2},
                                                        {"identifier": "B-2"}]},
                          "carrier": {"name": "Net", "mcc": "262", "mnc": "01", "iso": "de", "allowsVOIP": false,
                                      "radioTech": "CTRadioAccessTechnologyWCDMA",
                                      "services": [{"id": "2"}, {"id": "1", "radioTech": "CTRadioAccessTechnologyLTE",
                                                    "name": "Two", "mcc": "310", "mnc": "410", "iso": "us"}]})"),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    ASSERT_EQ(p->cameras.size(), 3u);
    EXPECT_TRUE(p->cameras[0].torchLockable);
    EXPECT_EQ(p->cameras[0].presets, sim::defaultCameraPresets());
    EXPECT_TRUE(p->cameras[0].frame.isTestCard());
    EXPECT_FALSE(p->cameras[1].torchLockable);
    EXPECT_EQ(p->cameras[1].presets, std::vector<std::string>{"AVCaptureSessionPresetLow"});
    EXPECT_EQ(p->cameras[1].frame, (sim::CameraFrame{255, 0, 16, ""}));
    EXPECT_EQ(p->cameras[2].frame.file, scratch / "card.pgm");
    EXPECT_EQ(p->cameraAccess, (sim::CameraAccess{0, false, 1.5}));
    EXPECT_EQ(p->location, (sim::Location{2, 3}));
    EXPECT_EQ(p->bluetooth.state, 4);
    EXPECT_EQ(p->bluetooth.firstStateAfter, 0.5);
    ASSERT_EQ(p->bluetooth.peripherals.size(), 2u);
    EXPECT_EQ(p->bluetooth.peripherals[0], (sim::Peripheral{"Speaker", "A-1", -70, {"180F", "180A"}, 2}));
    EXPECT_EQ(p->bluetooth.peripherals[1], (sim::Peripheral{"", "B-2", -50, {}, 0}));
    ASSERT_TRUE(p->carrier);
    EXPECT_EQ(p->carrier->iso, "de");
    EXPECT_FALSE(p->carrier->allowsVOIP);
    // Services keep the profile's order; one without a technology takes the carrier's, one with its
    // own SIM fields keeps them.
    EXPECT_EQ(p->carrier->services,
              (std::vector<sim::CarrierService>{{"2", "CTRadioAccessTechnologyWCDMA"},
                                                {"1", "CTRadioAccessTechnologyLTE", "Two", "310", "410", "us"}}));
    // A carrier without services has one, on the carrier's technology.
    auto single = sim::parseProfile(minimalProfile(R"("carrier": {"radioTech": "CTRadioAccessTechnologyEdge"})"),
                                    "t.json", &error);
    ASSERT_TRUE(single && single->carrier) << error;
    ASSERT_EQ(single->carrier->services.size(), 1u);
    EXPECT_EQ(single->carrier->services[0].radioTech, "CTRadioAccessTechnologyEdge");
}

// A frame file is read as any input file is, within a cap that fits the largest frame, and decoded
// with the profile: whatever is no frame is refused there, naming the key and the file, before
// anything the size of what a header claims is made.
TEST(SimProfile, ACameraFrameFileThatIsNoFrameIsRefusedWithTheProfile) {
    Scratch scratch;
    scratch.write("text.ppm", "a note, not a picture\n");
    scratch.write("short.ppm", "P5 4 4 255\n\x01");
    scratch.write("claims.ppm", "P6\n8192 8192\n255\nabc"); // 20 bytes
    scratch.write("claims.pgm", "P2 8192 8192 255 0 1 2 3\n");
    fs::create_directory(scratch / "folder.ppm");
    ASSERT_EQ(::mkfifo((scratch / "fifo.ppm").c_str(), 0600), 0);
    scratch.write("huge.ppm", "P5 8192 8192 255\n");
    fs::resize_file(scratch / "huge.ppm", sim::kFrameFileLimit + 1); // sparse: nothing is written
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/zero", "not a regular file"},
        {scratch / "fifo.ppm", "not a regular file"},
        {scratch / "folder.ppm", "a folder, not a file"},
        {scratch / "huge.ppm", "larger than 193 MB"},
        {scratch / "missing.ppm", "cannot be read: No such file or directory"},
        {scratch / "text.ppm", "not a PGM or PPM image"},
        {scratch / "short.ppm", "image data too short"},
        {scratch / "claims.ppm", "image data too short"},
        {scratch / "claims.pgm", "image data too short"},
    };
    for (const auto& [file, reason] : cases) {
        const std::string profile =
            minimalProfile(R"("cameras": [{"position": "front"}, {"position": "back", "frame": ")" + file + "\"}]");
        platform_tests::ThreadAllocations allocations;
        EXPECT_EQ(problemOf(profile), "t.json: cameras[1].frame: " + file + ": " + reason);
        EXPECT_LT(allocations.largest, std::size_t{1} << 20) << file;
    }
}

TEST(SimProfile, NetworkFieldsReadAsWritten) {
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("interfaces": [{"name": "en0", "ipv4": "10.0.0.2", "netmask": "255.255.255.0",
                                          "ipv6": "fe80::1", "mac": "02:00:00:aa:BB:01"},
                                         {"name": "pdp_ip0", "ipv4": "100.64.0.1", "netmask": "255.255.255.255"}],
                          "wifi": null,
                          "reachability": {"www.example.com": ["reachable", "isWWAN", "connectionOnTraffic"],
                                           "0.0.0.0": []})"),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_FALSE(p->interfaces.host);
    EXPECT_EQ(p->interfaces.fixed,
              (std::vector<sim::NetworkInterface>{{"en0", "10.0.0.2", "255.255.255.0", "fe80::1", "02:00:00:aa:BB:01"},
                                                  {"pdp_ip0", "100.64.0.1", "255.255.255.255", "", ""}}));
    EXPECT_FALSE(p->wifi); // null: not joined, unlike a wifi left out
    EXPECT_EQ(p->reachability, (std::map<std::string, unsigned>{{"www.example.com", 0x2 | 0x40000 | 0x8},
                                                                 {"0.0.0.0", 0}}));

    auto host = sim::parseProfile(minimalProfile(R"("interfaces": {"aliases": {"en0": "lo", "en1": "eth1"}},
                                                   "wifi": {"SSID": "Shop", "BSSID": "0a:1b:2c:3d:4e:5f"})"),
                                  "t.json", &error);
    ASSERT_TRUE(host) << error;
    EXPECT_TRUE(host->interfaces.host);
    EXPECT_EQ(host->interfaces.aliases, (std::map<std::string, std::string>{{"en0", "lo"}, {"en1", "eth1"}}));
    EXPECT_EQ(host->wifi, (sim::Wifi{"Shop", "0a:1b:2c:3d:4e:5f"}));
    auto plain = sim::parseProfile(minimalProfile(R"("interfaces": "host")"), "t.json", &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->interfaces, sim::Interfaces{});
}

TEST(SimProfile, HostFiguresAreFixedOnlyWhenWrittenAndTheDeviceRootMustBeAFolder) {
    Scratch scratch;
    scratch.write("root/etc/fstab", "");
    scratch.write("file", "");
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("memory": {"total": 2048, "free": 512}, "disk": "host", "processes": 120,
                          "processors": {"count": 6}, "cpuLoad": 0.25, "uptime": 3600, "accessories": 2,
                          "callbacks": "main", "deviceRoot": ")" +
                       scratch / "root/etc/.." + "\""),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->host.memory, (sim::HostFigures::Memory{2048, 512}));
    EXPECT_FALSE(p->host.disk);
    EXPECT_EQ(p->host.processes, 120);
    EXPECT_EQ(p->host.processors, (sim::HostFigures::Processors{6, 6})); // all active unless said
    EXPECT_EQ(p->host.cpuLoad, 0.25);
    EXPECT_EQ(p->host.uptime, 3600);
    EXPECT_EQ(p->accessories, 2);
    EXPECT_EQ(p->callbacks, sim::Callbacks::Main);
    EXPECT_EQ(p->deviceRoot, fs::canonical(scratch / "root").string()); // kept absolute and plain

    for (const std::string& bad : {scratch / "missing", scratch / "file"}) {
        EXPECT_EQ(problemOf(minimalProfile(R"("deviceRoot": ")" + bad + "\"")), "t.json: deviceRoot: expected a folder")
            << bad;
    }
}

TEST(SimProfile, AnswersForLaterReadersReadAsWritten) {
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("biometrics": {"type": "faceID", "reply": false, "after": 2},
                          "stillCapture": {"succeeds": false, "after": 0.5}, "movie": {"after": 3},
                          "messaging": {"canSendText": false, "result": "cancelled"},
                          "statusBar": {"signalBars": 0, "signalRaw": -120, "layout": "new",
                                        "items": ["_UIStatusBarCellularExpandedItem", "b"], "cellularStatus": 1})"),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->biometrics, (sim::Biometrics{true, sim::BiometryType::FaceID, false, 2}));
    EXPECT_EQ(p->stillCapture, (sim::CaptureOutcome{false, 0.5}));
    EXPECT_EQ(p->movie, (sim::CaptureOutcome{true, 3}));
    EXPECT_EQ(p->messaging, (sim::Messaging{false, sim::ComposeResult::Cancelled}));
    EXPECT_EQ(p->statusBar,
              (sim::StatusBar{0, -120, sim::StatusBarLayout::New, {"_UIStatusBarCellularExpandedItem", "b"}, 1}));
}

TEST(SimProfile, SystemAndSensorFieldsReadAsWritten) {
    std::string error;
    auto p = sim::parseProfile(
        minimalProfile(R"("screen": {"width": 320, "height": 568, "brightness": 1}, "multitasking": false,
                          "locale": {"identifier": "de_DE", "timeZone": "Europe/Berlin", "currency": "EUR",
                                     "measurementSystem": "Metric"},
                          "sensors": {"accelerometer": true, "gps": false},
                          "motion": {"accel": [0.5, -0.25, 0], "magnet": [12, 0, -40.5]},
                          "proximity": {"near": true})"),
        "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->screen.brightness, 1);
    EXPECT_FALSE(p->multitasking);
    EXPECT_EQ(p->locale, (sim::Locale{"de_DE", "Europe/Berlin", "EUR", "Metric"}));
    EXPECT_TRUE(p->sensors.accelerometer);
    EXPECT_FALSE(p->sensors.gyroscope); // named sensors are off unless listed
    EXPECT_TRUE(p->sensors.magnetometer); // the two newer ones are on unless listed off
    EXPECT_FALSE(p->sensors.gps);
    EXPECT_EQ(p->motion.accel, (sim::Vector3{0.5, -0.25, 0}));
    EXPECT_EQ(p->motion.gyro, sim::Vector3{}); // a pose left out keeps its default
    EXPECT_EQ(p->motion.magnet, (sim::Vector3{12, 0, -40.5}));
    EXPECT_TRUE(p->proximityNear);
    // A locale naming one field keeps the defaults of the rest.
    auto partial = sim::parseProfile(minimalProfile(R"("locale": {"currency": "GBP"})"), "t.json", &error);
    ASSERT_TRUE(partial) << error;
    EXPECT_EQ(partial->locale, (sim::Locale{"en_US", "UTC", "GBP", "U.S."}));
}

TEST(SimProfile, AMissingOrMalformedFieldIsNamedWithItsFile) {
    struct Case {
        std::string json;
        std::string message;
    };
    const std::string screen = R"("screen": {"width": 375, "height": 667})";
    const Case cases[] = {
        {R"({"model": "iPhone", "systemVersion": "12", )" + screen + "}", "t.json: machine: missing"},
        {R"({"machine": "iPhone9,1", "systemVersion": "12", )" + screen + "}", "t.json: model: missing"},
        {R"({"machine": "iPhone9,1", "model": "iPhone", )" + screen + "}", "t.json: systemVersion: missing"},
        {R"({"machine": "iPhone9,1", "model": "iPhone", "systemVersion": "12"})", "t.json: screen: missing"},
        {R"({"machine": null, "model": "iPhone", "systemVersion": "12", )" + screen + "}", "t.json: machine: missing"},
        {R"({"machine": 91, "model": "iPhone", "systemVersion": "12", )" + screen + "}",
         "t.json: machine: expected a string"},
        {minimalProfile(R"("model": "Android")"), R"(t.json: model: expected "iPhone", "iPad" or "iPod touch")"},
        {minimalProfile(R"("systemVersion": "twelve")"), R"(t.json: systemVersion: expected a version such as "12.4.1")"},
        {minimalProfile(R"("systemVersion": "12..1")"), R"(t.json: systemVersion: expected a version such as "12.4.1")"},
        {minimalProfile(R"("systemVersion": 12.4)"), "t.json: systemVersion: expected a string"},
        {minimalProfile(R"("screen": [375, 667])"), "t.json: screen: expected an object"},
        {minimalProfile(R"("screen": {"width": "wide", "height": 667})"), "t.json: screen.width: expected a number"},
        {minimalProfile(R"("screen": {"width": 375})"), "t.json: screen.height: missing"},
        {minimalProfile(R"("screen": {"width": 375, "height": 0})"), "t.json: screen.height: expected a number above 0"},
        {minimalProfile(R"("screen": {"width": 375, "height": 1e20})"),
         "t.json: screen.height: expected a number of points from 1 to 10000"},
        {minimalProfile(R"("screen": {"width": 0.5, "height": 667})"),
         "t.json: screen.width: expected a number of points from 1 to 10000"},
        // A key no reader knows is a typo, at any depth.
        {minimalProfile(R"("headphonesPluged": true)"), "t.json: headphonesPluged: unknown key"},
        {minimalProfile(R"("screen": {"width": 375, "height": 667, "scael": 2})"), "t.json: screen.scael: unknown key"},
        {minimalProfile(R"("cameras": [{"position": "back", "hasFlsh": true}])"), "t.json: cameras[0].hasFlsh: unknown key"},
        {minimalProfile(R"("screen": {"width": 375, "height": 667, "scale": true})"),
         "t.json: screen.scale: expected a number"},
        {minimalProfile(R"("safeAreaInsets": {"top": -1})"), "t.json: safeAreaInsets.top: expected a number of 0 or more"},
        // Insets that meet leave no screen: every control would be outside it; a height less than
        // the smallest shipped device's leaves the application too little.
        {minimalProfile(R"("safeAreaInsets": {"top": 10000})"),
         "t.json: safeAreaInsets: top and bottom (10000 and 0) leave 0 of the screen's 667 points of height; the "
         "application needs at least 548 (the smallest shipped screen's, under its status bar)"},
        {minimalProfile(R"("safeAreaInsets": {"top": 333.3, "bottom": 333.6})"),
         "t.json: safeAreaInsets: top and bottom (333.3 and 333.6) leave 0.1 of the screen's 667 points of height; the "
         "application needs at least 548 (the smallest shipped screen's, under its status bar)"},
        {minimalProfile(R"("screen": {"width": 375, "height": 547.5})"),
         "t.json: screen.height: 547.5 points leave too little of the screen; the application needs at least 548 (the "
         "smallest shipped screen's, under its status bar)"},
        {minimalProfile(R"("safeAreaInsets": {"left": 200, "right": 175})"),
         "t.json: safeAreaInsets: left and right (200 and 175) leave none of the screen's width (375 points)"},
        // A key written twice is named where it is written again, whatever the value would be.
        {"{\"machine\": \"iPhone9,1\", \"model\": \"iPhone\", \"systemVersion\": \"12.4.1\",\n"
         " \"screen\": {\"width\": 375, \"height\": 667},\n \"machine\": \"iPhone10,1\"}",
         "t.json: machine: repeated key at line 3, column 2 (first at line 1, column 2)"},
        {minimalProfile("\"cameras\": [{\"position\": \"back\"},\n  {\"position\": \"front\", \"position\": \"back\"}]"),
         "t.json: cameras[1].position: repeated key at line 2, column 25 (first at line 2, column 4)"},
        {minimalProfile(R"("cameras": {"position": "back"})"), "t.json: cameras: expected a list"},
        {minimalProfile(R"("cameras": [{"position": "back"}, {"position": "side"}])"),
         R"(t.json: cameras[1].position: expected "back" or "front")"},
        {minimalProfile(R"("cameras": [{"hasFlash": true}])"), "t.json: cameras[0].position: missing"},
        {minimalProfile(R"("cameras": [{"position": "back", "hasTorch": "yes"}])"),
         "t.json: cameras[0].hasTorch: expected true or false"},
        {minimalProfile(R"("sensors": {"gyroscope": 1})"), "t.json: sensors.gyroscope: expected true or false"},
        {minimalProfile(R"("carrier": "none")"), "t.json: carrier: expected an object"},
        {minimalProfile(R"("carrier": {"mcc": 310})"), "t.json: carrier.mcc: expected a string"},
        {minimalProfile(R"("headphonesPlugged": "no")"), "t.json: headphonesPlugged: expected true or false"},
        {minimalProfile(R"("battery": {"level": 2})"), "t.json: battery.level: expected a number from 0 to 1"},
        {minimalProfile(R"("battery": {"state": "draining"})"),
         R"(t.json: battery.state: expected "unknown", "unplugged", "charging" or "full")"},
        {minimalProfile(R"("documents": {"../x": "y"})"),
         R"(t.json: documents["../x"]: a file name must stay inside Documents)"},
        {minimalProfile(R"("documents": {"/etc/x": "y"})"),
         R"(t.json: documents["/etc/x"]: a file name must stay inside Documents)"},
        {minimalProfile(R"("documents": {"a.txt": 1})"), R"(t.json: documents["a.txt"]: expected a string)"},
        // What the home is made of is checked with the profile: no document a file system refuses.
        {minimalProfile(R"("documents": {"n": "", "n-1": "", "n/x": ""})"),
         R"(t.json: documents["n/x"]: inside documents["n"], which is a file)"},
        {minimalProfile(R"("documents": {"d/)" + std::string(256, 'x') + R"(": ""})"),
         R"(t.json: documents["d/)" + std::string(256, 'x') + R"("]: a file name of more than 255 bytes between slashes)"},
        {minimalProfile(R"("screen": {"width": 375, "height": 667, "brightness": 1.5})"),
         "t.json: screen.brightness: expected a number from 0 to 1"},
        {minimalProfile(R"("screen": {"width": 375, "height": 667, "brightness": "dim"})"),
         "t.json: screen.brightness: expected a number"},
        {minimalProfile(R"("multitasking": 0)"), "t.json: multitasking: expected true or false"},
        {minimalProfile(R"("locale": "en_US")"), "t.json: locale: expected an object"},
        {minimalProfile(R"("locale": {"identifier": ""})"), "t.json: locale.identifier: expected text that is not empty"},
        {minimalProfile(R"("locale": {"timeZone": 0})"), "t.json: locale.timeZone: expected a string"},
        {minimalProfile(R"("locale": {"currency": "usd"})"),
         R"(t.json: locale.currency: expected a three-letter code such as "USD")"},
        {minimalProfile(R"("locale": {"currency": "EURO"})"),
         R"(t.json: locale.currency: expected a three-letter code such as "USD")"},
        {minimalProfile(R"("locale": {"measurementSystem": "imperial"})"),
         R"(t.json: locale.measurementSystem: expected "Metric", "U.S." or "U.K.")"},
        {minimalProfile(R"("sensors": {"gps": "on"})"), "t.json: sensors.gps: expected true or false"},
        {minimalProfile(R"("motion": {"accel": [0, 0]})"), "t.json: motion.accel: expected a list of three numbers"},
        {minimalProfile(R"("motion": {"gyro": [0, 0, "1"]})"), "t.json: motion.gyro: expected a list of three numbers"},
        {minimalProfile(R"("motion": {"magnet": [0, 0, 0, 0]})"), "t.json: motion.magnet: expected a list of three numbers"},
        {minimalProfile(R"("motion": {"accel": {"x": 0}})"), "t.json: motion.accel: expected a list of three numbers"},
        {minimalProfile(R"("proximity": {"near": "yes"})"), "t.json: proximity.near: expected true or false"},
        {minimalProfile(R"("battery": {"postOnMonitoringEnable": 1})"),
         "t.json: battery.postOnMonitoringEnable: expected true or false"},
        {minimalProfile(R"("registry": [])"), "t.json: registry: expected an object"},
        {minimalProfile(R"("registry": {"AppleSmartBattery": 3})"), "t.json: registry.AppleSmartBattery: expected an object"},
        {minimalProfile(R"("registry": {"AppleSmartBattery": {"Voltage": [3800]}})"),
         "t.json: registry.AppleSmartBattery.Voltage: expected a number, a string, or true or false"},
        {minimalProfile(R"("chargerDictionary": {"IOClass": {"name": "x"}})"),
         "t.json: chargerDictionary.IOClass: expected a number, a string, or true or false"},
        {minimalProfile(R"("chargers": {"ac": "mains"})"), "t.json: chargers.ac: expected an object"},
        {minimalProfile(R"("chargers": {"usb": {"AppleARMPMUCharger": {"Watts": {}}}})"),
         "t.json: chargers.usb.AppleARMPMUCharger.Watts: expected a number, a string, or true or false"},
        {minimalProfile(R"("ringSwitch": {"silent": "no"})"), "t.json: ringSwitch.silent: expected true or false"},
        {minimalProfile(R"("sounds": {"mute.caf": -1})"), R"(t.json: sounds["mute.caf"]: expected a number of 0 or more)"},
        {minimalProfile(R"("sounds": {"mute.caf": "short"})"), R"(t.json: sounds["mute.caf"]: expected a number of 0 or more)"},
        {minimalProfile(R"("sounds": {"": 1})"), R"(t.json: sounds[""]: expected a sound file name)"},
        {minimalProfile(R"("silentSoundCompletion": -0.5)"), "t.json: silentSoundCompletion: expected a number of 0 or more"},
        {minimalProfile(R"("audio": {"outputVolume": 1.01})"), "t.json: audio.outputVolume: expected a number from 0 to 1"},
        {minimalProfile(R"("audio": {"volumeStep": 0})"), "t.json: audio.volumeStep: expected a number above 0"},
        {minimalProfile(R"("audio": {"volumeStep": 2})"), "t.json: audio.volumeStep: expected a number above 0, at most 1"},
        {minimalProfile(R"("audio": {"recordPermission": "maybe"})"),
         R"(t.json: audio.recordPermission: expected "granted", "denied" or "ask")"},
        {minimalProfile(R"("audio": {"ioFrames": 0.5})"), "t.json: audio.ioFrames: expected a whole number from 1 to 65536"},
        {minimalProfile(R"("audio": {"ioFrames": 100000})"), "t.json: audio.ioFrames: expected a whole number from 1 to 65536"},
        {minimalProfile(R"("audio": {"input": "noise"})"), R"(t.json: audio.input: expected "silence", or an object naming one of "constant", "sine" or "file")"},
        {minimalProfile(R"("audio": {"input": {"noise": 1}})"), R"(t.json: audio.input: expected "silence", or an object naming one of "constant", "sine" or "file")"},
        {minimalProfile(R"("audio": {"input": {"constant": 0, "file": "a.raw"}})"), R"(t.json: audio.input: expected "silence", or an object naming one of "constant", "sine" or "file")"},
        {minimalProfile(R"("audio": {"input": {"constant": 2}})"), "t.json: audio.input.constant: expected a number from -1 to 1"},
        {minimalProfile(R"("audio": {"input": {"sine": {"amplitude": 0.5}}})"), "t.json: audio.input.sine.frequency: missing"},
        {minimalProfile(R"("audio": {"input": {"sine": {"frequency": 440, "amplitude": 2}}})"),
         "t.json: audio.input.sine.amplitude: expected a number from 0 to 1"},
        {minimalProfile(R"("audio": {"input": {"file": ""}})"), "t.json: audio.input.file: expected a file path"},
        {minimalProfile(R"("audio": {"input": {"file": "/dev/zero"}})"),
         "t.json: audio.input.file: /dev/zero: not a regular file"},
        {minimalProfile(R"("cameras": [{"position": "back", "torchLockable": 1}])"),
         "t.json: cameras[0].torchLockable: expected true or false"},
        {minimalProfile(R"("cameras": [{"position": "back", "presets": "AVCaptureSessionPresetLow"}])"),
         "t.json: cameras[0].presets: expected a list of strings"},
        {minimalProfile(R"("cameras": [{"position": "back", "presets": ["AVCaptureSessionPresetLow", 3]}])"),
         "t.json: cameras[0].presets: expected a list of strings"},
        {minimalProfile(R"("cameras": [{"position": "back", "frame": {"solid": [0, 0, 256]}}])"), R"(t.json: cameras[0].frame: expected {"solid": [r, g, b]} or a PGM or PPM file path)"},
        {minimalProfile(R"("cameras": [{"position": "back", "frame": {"solid": [0, 0]}}])"), R"(t.json: cameras[0].frame: expected {"solid": [r, g, b]} or a PGM or PPM file path)"},
        {minimalProfile(R"("cameras": [{"position": "back", "frame": {"solid": [0, 0.5, 0]}}])"), R"(t.json: cameras[0].frame: expected {"solid": [r, g, b]} or a PGM or PPM file path)"},
        {minimalProfile(R"("cameras": [{"position": "back", "frame": ""}])"), R"(t.json: cameras[0].frame: expected {"solid": [r, g, b]} or a PGM or PPM file path)"},
        {minimalProfile(R"("cameras": [{"position": "back", "frame": {"gradient": 1}}])"), R"(t.json: cameras[0].frame: expected {"solid": [r, g, b]} or a PGM or PPM file path)"},
        {minimalProfile(R"("cameraAccess": {"status": 4})"), "t.json: cameraAccess.status: expected a whole number from 0 to 3"},
        {minimalProfile(R"("cameraAccess": {"answer": "yes"})"), "t.json: cameraAccess.answer: expected true or false"},
        {minimalProfile(R"("cameraAccess": {"after": -1})"), "t.json: cameraAccess.after: expected a number of 0 or more"},
        {minimalProfile(R"("location": {"status": 5})"), "t.json: location.status: expected a whole number from 0 to 4"},
        {minimalProfile(R"("location": {"requestReply": 1.5})"),
         "t.json: location.requestReply: expected a whole number from 0 to 4"},
        {minimalProfile(R"("bluetooth": {"state": 6})"), "t.json: bluetooth.state: expected a whole number from 0 to 5"},
        {minimalProfile(R"("bluetooth": {"firstStateAfter": "soon"})"), "t.json: bluetooth.firstStateAfter: expected a number"},
        {minimalProfile(R"("bluetooth": {"peripherals": {}})"), "t.json: bluetooth.peripherals: expected a list"},
        {minimalProfile(R"("bluetooth": {"peripherals": [{"identifier": "A"}, 3]})"),
         "t.json: bluetooth.peripherals[1]: expected an object"},
        {minimalProfile(R"("bluetooth": {"peripherals": [{"name": "Speaker"}]})"),
         "t.json: bluetooth.peripherals[0].identifier: missing"},
        {minimalProfile(R"("bluetooth": {"peripherals": [{"identifier": "A", "RSSI": 100}]})"),
         "t.json: bluetooth.peripherals[0].RSSI: expected a whole number from -127 to 20"},
        {minimalProfile(R"("bluetooth": {"peripherals": [{"identifier": "A", "services": [""]}]})"),
         "t.json: bluetooth.peripherals[0].services: expected a list of strings"},
        {minimalProfile(R"("carrier": {"allowsVOIP": "no"})"), "t.json: carrier.allowsVOIP: expected true or false"},
        {minimalProfile(R"("carrier": {"radioTech": ""})"), "t.json: carrier.radioTech: expected text that is not empty"},
        {minimalProfile(R"("carrier": {"services": [{"radioTech": "CTRadioAccessTechnologyLTE"}]})"),
         "t.json: carrier.services[0].id: missing"},
        {minimalProfile(R"("carrier": {"services": "0001"})"), "t.json: carrier.services: expected a list"},
        {minimalProfile(R"("interfaces": "guest")"), R"(t.json: interfaces: expected "host", {"aliases": {...}} or a list of interfaces)"},
        {minimalProfile(R"("interfaces": 1)"), R"(t.json: interfaces: expected "host", {"aliases": {...}} or a list of interfaces)"},
        {minimalProfile(R"("interfaces": {"aliases": {"en0": ""}})"), "t.json: interfaces.aliases.en0: expected text that is not empty"},
        {minimalProfile(R"("interfaces": {"aliases": {"en0": 3}})"), "t.json: interfaces.aliases.en0: expected a string"},
        {minimalProfile(R"("interfaces": {})"), "t.json: interfaces.aliases: missing"},
        {minimalProfile(R"("interfaces": [{"ipv4": "10.0.0.2", "netmask": "255.0.0.0"}])"), "t.json: interfaces[0].name: missing"},
        {minimalProfile(R"("interfaces": [{"name": "en0", "ipv4": "10.0.0.256", "netmask": "255.0.0.0"}])"),
         "t.json: interfaces[0].ipv4: expected an IPv4 address"},
        {minimalProfile(R"("interfaces": [{"name": "en0", "ipv4": "10.0.0.2"}])"), "t.json: interfaces[0].netmask: missing"},
        {minimalProfile(R"("interfaces": [{"name": "en0", "ipv4": "10.0.0.2", "netmask": "255.0.0.0", "ipv6": "fe80::g"}])"),
         "t.json: interfaces[0].ipv6: expected an IPv6 address"},
        {minimalProfile(R"("interfaces": [{"name": "en0", "ipv4": "10.0.0.2", "netmask": "255.0.0.0", "mac": "02:00:00:00:00"}])"),
         R"(t.json: interfaces[0].mac: expected a MAC address such as "02:00:00:00:00:01")"},
        {minimalProfile(R"("wifi": {"SSID": "Shop"})"), "t.json: wifi.BSSID: missing"},
        {minimalProfile(R"("wifi": {"SSID": "Shop", "BSSID": "02-00-00-00-00-01"})"), R"(t.json: wifi.BSSID: expected a MAC address such as "02:00:00:00:00:01")"},
        {minimalProfile(R"("wifi": "Shop")"), "t.json: wifi: expected an object"},
        {minimalProfile(R"("publicAddress": "203.0.113.23\r\nX-Other: 1")"),
         "t.json: publicAddress: expected an IPv4 or IPv6 address"},
        {minimalProfile(R"("reachability": {"0.0.0.0": ["reachable", "fast"]})"),
         R"(t.json: reachability.0.0.0.0: unknown flag "fast")"},
        {minimalProfile(R"("reachability": {"0.0.0.0": "reachable"})"),
         "t.json: reachability.0.0.0.0: expected a list of strings"},
        {minimalProfile(R"("memory": "lots")"), "t.json: memory: expected an object"},
        {minimalProfile(R"("memory": {"total": -1})"), "t.json: memory.total: expected a number of 0 or more"},
        {minimalProfile(R"("disk": {"total": 10, "free": 11})"), "t.json: disk.free: expected at most the total"},
        {minimalProfile(R"("processes": 0)"), "t.json: processes: expected a whole number from 1 to 1048576"},
        {minimalProfile(R"("processors": {"count": 2, "active": 3})"),
         "t.json: processors.active: expected a whole number from 1 to 2"},
        {minimalProfile(R"("processors": {"count": 0})"), "t.json: processors.count: expected a whole number from 1 to 1024"},
        {minimalProfile(R"("cpuLoad": 1.5)"), "t.json: cpuLoad: expected a number from 0 to 1"},
        {minimalProfile(R"("uptime": -1)"), "t.json: uptime: expected a number of 0 or more"},
        {minimalProfile(R"("uptime": "guest")"), "t.json: uptime: expected a number"},
        {minimalProfile(R"("accessories": -1)"), "t.json: accessories: expected a whole number from 0 to 64"},
        {minimalProfile(R"("deviceRoot": 1)"), "t.json: deviceRoot: expected a string"},
        {minimalProfile(R"("callbacks": "worker")"), R"(t.json: callbacks: expected "helper" or "main")"},
        {minimalProfile(R"("biometrics": {"type": "iris"})"),
         R"(t.json: biometrics.type: expected "touchID", "faceID" or "none")"},
        {minimalProfile(R"("biometrics": {"after": -2})"), "t.json: biometrics.after: expected a number of 0 or more"},
        {minimalProfile(R"("stillCapture": {"succeeds": 1})"), "t.json: stillCapture.succeeds: expected true or false"},
        {minimalProfile(R"("movie": true)"), "t.json: movie: expected an object"},
        {minimalProfile(R"("statusBar": {"layout": "tilted"})"),
         R"(t.json: statusBar.layout: expected "none", "old", "new" or "broken")"},
        {minimalProfile(R"("messaging": {"result": "queued"})"),
         R"(t.json: messaging.result: expected "cancelled", "sent" or "failed")"},
        {minimalProfile(R"("statusBar": {"signalBars": 5})"), "t.json: statusBar.signalBars: expected a whole number from 0 to 4"},
        {R"(["iPhone9,1"])", "t.json: JSON: expected an object at the top"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(problemOf(c.json), c.message) << c.json;

    const std::string broken = problemOf(R"({"machine": "iPhone9,1", )");
    EXPECT_TRUE(broken.starts_with("t.json: JSON: ")) << broken;
}

// A key written twice in one object, found by its text: wherever it is, however its key is
// spelt, and never in a string or in another object.
TEST(SimInputFile, ARepeatedKeyIsNamedWithWhereBothAreWritten) {
    const struct Case {
        const char* json;
        const char* field; // "" for none
        std::size_t line, column, firstLine, firstColumn;
    } cases[] = {
        {R"({"a": 1, "a": 2})", "a", 1, 10, 1, 2},
        {"{\"a\": 1,\n \"b\": {\"c\": [], \"d\": 2},\n  \"a\": 3}", "a", 3, 3, 1, 2},
        {R"([{"k": [1, {"m": 1, "m": 2}]}])", "[0].k[1].m", 1, 21, 1, 13},
        {R"({"steps": [{"at": 1}, {"on": {"screen": "A", "screen": "B"}}]})", "steps[1].on.screen", 1, 46, 1, 31},
        {R"({"a": 1, "\u0061": 2})", "a", 1, 10, 1, 2},
        {R"({"a\"b": 1, "a\u0022b": 2})", "a\"b", 1, 13, 1, 2},
        // Not repeated: the same key in other objects, a value that reads like a key, keys in strings.
        {R"({"a": {"b": 1}, "c": {"b": 2}, "d": [{"b": 3}, {"b": 4}]})", "", 0, 0, 0, 0},
        {R"({"a": "a", "b": ["a", "a"], "c": {"a": "b"}})", "", 0, 0, 0, 0},
        {R"({"t": "{\"a\": 1, \"a\": 2}", "u": "x,\"y\\", "v": "}", "w": "]"})", "", 0, 0, 0, 0},
        {R"({"a": 1, "A": 2, "a ": 3})", "", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const std::optional<sim::RepeatedKey> repeated = sim::repeatedKey(c.json);
        ASSERT_EQ(repeated.has_value(), *c.field != 0) << c.json;
        if (!repeated) continue;
        EXPECT_EQ(repeated->field(), c.field) << c.json;
        EXPECT_EQ(std::tuple(repeated->line, repeated->column, repeated->firstLine, repeated->firstColumn),
                  std::tuple(c.line, c.column, c.firstLine, c.firstColumn))
            << c.json;
    }
}

TEST(SimProfile, FilesAreFoundByNameOrPathAndTheirNamesLeadTheMessages) {
    Scratch scratch;
    scratch.write("devices/good.json", minimalProfile());
    scratch.write("devices/broken.json", minimalProfile(R"("screen": {"width": "wide", "height": 1})"));
    sim::setProfilesDirectory(scratch / "devices");
    std::string error;

    EXPECT_EQ(sim::shippedProfileNames(), (std::vector<std::string>{"broken", "good"}));
    EXPECT_TRUE(sim::loadProfileNamed("good", &error)) << error;
    EXPECT_TRUE(sim::loadProfile("good", &error)) << error;
    EXPECT_FALSE(sim::loadProfileNamed("broken", &error));
    EXPECT_EQ(error, "broken.json: screen.width: expected a number");
    EXPECT_FALSE(sim::loadProfile(scratch / "devices/broken.json", &error));
    EXPECT_EQ(error, scratch / "devices/broken.json" + ": screen.width: expected a number");

    EXPECT_FALSE(sim::loadProfileNamed("iphone7", &error));
    EXPECT_EQ(error, "no device profile named \"iphone7\" in " + scratch / "devices" + " (there are: broken good)");
    EXPECT_FALSE(sim::loadProfileNamed("../devices/good", &error));
    EXPECT_FALSE(sim::loadProfile(scratch / "missing.json", &error));
    EXPECT_TRUE(error.starts_with(scratch / "missing.json: ")) << error;
    // A shipped profile's file name is its name; another ".json" word is a path here.
    EXPECT_TRUE(sim::loadProfile("good.json", &error)) << error;
    EXPECT_EQ(sim::profileFile("good.json"), scratch / "devices/good.json");
    EXPECT_EQ(sim::profileFile("good"), scratch / "devices/good.json");
    EXPECT_FALSE(sim::loadProfile("missing.json", &error));
    EXPECT_TRUE(error.starts_with("missing.json: cannot be read")) << error;
    EXPECT_EQ(sim::profileFile("missing.json"), "missing.json");
    sim::setProfilesDirectory("");
    EXPECT_TRUE(sim::loadProfileNamed("iphone7", &error)) << error;
}

// ---------------------------------------------------------------------------------------------
// The run's home

// ---------------------------------------------------------------------------------------------
// The live device

TEST(SimDevice, AChangeReachesTheHooksOfItsAspectInOrderAndLeavesHeldStatesAlone) {
    sim::ScopedDevice device(sim::defaultProfile());
    sim::Device& live = sim::Device::shared();
    std::vector<std::string> heard;
    const auto first = live.addHook(sim::Aspect::Battery, [&](const sim::Profile& s) {
        heard.push_back("first " + std::to_string(s.battery.level));
    });
    const auto second = live.addHook(sim::Aspect::Battery, [&](const sim::Profile& s) {
        heard.push_back("second " + std::to_string(static_cast<int>(s.battery.state)));
    });
    const auto audio = live.addHook(sim::Aspect::Audio, [&](const sim::Profile&) { heard.push_back("audio"); });

    const auto before = sim::currentDevice();
    live.change(sim::Aspect::Battery, [](sim::Profile& p) {
        p.battery = {0.5, sim::BatteryState::Charging};
    });
    EXPECT_EQ(heard, (std::vector<std::string>{"first 0.500000", "second 2"}));
    EXPECT_EQ(sim::currentDevice()->battery, (sim::Battery{0.5, sim::BatteryState::Charging}));
    EXPECT_EQ(before->battery, (sim::Battery{0.8, sim::BatteryState::Unplugged})); // a held state stays

    // A hook removed by an earlier one in the same change is not called; removing twice is harmless.
    heard.clear();
    live.removeHook(audio);
    std::uint64_t victim = 0;
    const auto killer = live.addHook(sim::Aspect::Audio, [&](const sim::Profile&) {
        heard.push_back("killer");
        live.removeHook(victim);
    });
    victim = live.addHook(sim::Aspect::Audio, [&](const sim::Profile&) { heard.push_back("victim"); });
    live.change(sim::Aspect::Audio, [](sim::Profile& p) { p.audio.outputVolume = 0.5625; });
    EXPECT_EQ(heard, std::vector<std::string>{"killer"});
    EXPECT_EQ(sim::currentDevice()->audio.outputVolume, 0.5625);
    live.removeHook(victim);
    live.removeHook(killer);

    // A hook may change the device again; the nested change calls its own aspect's hooks.
    heard.clear();
    const auto nested = live.addHook(sim::Aspect::Proximity, [&](const sim::Profile&) {
        live.change(sim::Aspect::Battery, [](sim::Profile& p) { p.battery.level = 1; });
    });
    live.change(sim::Aspect::Proximity, [](sim::Profile& p) { p.proximityNear = true; });
    EXPECT_EQ(heard, (std::vector<std::string>{"first 1.000000", "second 2"}));
    EXPECT_TRUE(sim::currentDevice()->proximityNear);
    EXPECT_EQ(sim::currentDevice()->battery.level, 1);
    for (auto id : {first, second, nested})
        live.removeHook(id);
}

TEST(SimDevice, ReadersOnOtherThreadsSeeOnlyWholeChanges) {
    sim::ScopedDevice device(sim::defaultProfile());
    constexpr int kChanges = 2000;
    sim::Device::shared().change(sim::Aspect::Battery, [](sim::Profile& p) { p.battery.level = p.screen.brightness = 0; });
    std::atomic<int> torn{0};
    std::thread reader([&] {
        for (;;) {
            const auto s = sim::currentDevice();
            // Every change writes the level and the screen's brightness from one count.
            if (s->battery.level != s->screen.brightness) ++torn;
            if (s->battery.level == 1) return;
        }
    });
    for (int i = 1; i <= kChanges; ++i) {
        sim::Device::shared().change(sim::Aspect::Battery, [&](sim::Profile& p) {
            p.battery.level = static_cast<double>(i) / kChanges;
            p.screen.brightness = static_cast<double>(i) / kChanges;
        });
    }
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(SimDevice, AChangeCopiesOnlyThePartsItTouchesAndNoCopyChangesAnother) {
    sim::ScopedDevice device(sim::defaultProfile());
    sim::Device& live = sim::Device::shared();
    const auto before = sim::currentDevice();
    live.change(sim::Aspect::Battery, [](sim::Profile& p) { p.battery.level = 0.1; });
    auto after = sim::currentDevice();
    EXPECT_EQ(&after->registry.get(), &before->registry.get()) << "shared, not copied";
    EXPECT_EQ(&after->cameras.get(), &before->cameras.get());

    live.change(sim::Aspect::Registry, [](sim::Profile& p) { p.registry["Extra"]["Voltage"] = 1LL; });
    after = sim::currentDevice();
    EXPECT_NE(&after->registry.get(), &before->registry.get());
    EXPECT_TRUE(after->registry.contains("Extra"));
    EXPECT_FALSE(before->registry.contains("Extra")) << "a held state keeps its parts";
    EXPECT_EQ(&after->chargers.ac.get(), &before->chargers.ac.get());

    // A copy changed through any non-const access leaves the state it came from alone, and a
    // cleared part reads empty.
    sim::Profile copy = *after;
    copy.cameras.at(0).torchLockable = false;
    for (sim::Camera& camera : copy.cameras)
        camera.presets.clear();
    copy.chargers.usb.clear();
    copy.removeCameras(sim::CameraPosition::Front);
    EXPECT_TRUE(after->cameras.at(0).torchLockable);
    EXPECT_EQ(after->cameras.size(), 2u);
    EXPECT_EQ(after->cameras[1].presets, sim::defaultCameraPresets());
    EXPECT_EQ(after->chargers.usb, sim::defaultChargerProperties());
    EXPECT_TRUE(copy.chargers.usb.empty());
    EXPECT_EQ(copy.cameras.size(), 1u);
    EXPECT_NE(copy, *after);
    copy = *after;
    EXPECT_EQ(copy, *after);
}

TEST(SimDevice, ReadersOfSharedPartsOnOtherThreadsSeeOnlyWholeChanges) {
    sim::ScopedDevice device(sim::defaultProfile());
    constexpr long long kChanges = 1000;
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            for (;;) {
                const auto s = sim::currentDevice();
                // Each change writes both entries from one count; the cameras are never changed.
                const auto a = s->registry.find("A"), b = s->registry.find("B");
                const bool hasA = a != s->registry.end(), hasB = b != s->registry.end();
                if (hasA != hasB || s->cameras.size() != 2) ++torn;
                if (!hasA || !hasB) continue;
                const auto n = std::get<long long>(a->second.at("n"));
                if (n != std::get<long long>(b->second.at("n"))) ++torn;
                if (n == kChanges) return;
            }
        });
    for (long long i = 1; i <= kChanges; ++i)
        sim::Device::shared().change(sim::Aspect::Registry, [&](sim::Profile& p) {
            p.registry["A"]["n"] = i;
            p.registry["B"] = sim::RegistryProperties{{"n", i}};
        });
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST(SimDevice, InstallingStartsTheStateOverWithoutCallingHooks) {
    sim::Profile changed = sim::defaultProfile();
    int calls = 0;
    const auto hook = sim::Device::shared().addHook(sim::Aspect::Battery, [&](const sim::Profile&) { ++calls; });
    {
        sim::ScopedDevice device(changed);
        sim::Device::shared().change(sim::Aspect::Battery, [](sim::Profile& p) { p.battery.level = 0.1; });
        changed.battery.level = 0.3;
        sim::ScopedDevice inner(changed);
        EXPECT_EQ(sim::currentDevice()->battery.level, 0.3);
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(*sim::currentDevice(), sim::defaultProfile()); // a scope's changes leave with it
    sim::Device::shared().removeHook(hook);
}

TEST(SimDevice, TheLogTimesEachLineFromTheDeviceStartAndKeepsEachEntryOnOneLine) {
    ns::ScopedManualClock clock;
    clock.advance(100); // the device starts at its install, not at the clock's start
    sim::ScopedDevice device(sim::defaultProfile());
    sim::Device& live = sim::Device::shared();
    live.log("sound mute.caf");
    clock.advance(2.5);
    live.log("url opened tel:123\nforged 9.000 line\tand\x01\x7f \u202Eevil\u0085\xff\xc3"); // hostile text
                                                                                             // from a URL
    clock.advance(0.0004);
    live.log("");
    EXPECT_EQ(live.logText(),
              "0.000 sound mute.caf\n"
              "2.500 url opened tel:123\\nforged 9.000 line\\tand\\x01\\x7F \\u202Eevil\\u0085\\xFF\\xC3\n"
              "2.500 \n");

    // Equal runs, equal logs: a device installed again starts over, at its own start.
    {
        sim::ScopedDevice again(sim::defaultProfile());
        EXPECT_EQ(live.logText(), "");
        clock.advance(3);
        live.log("vibrate");
        EXPECT_EQ(live.logText(), "3.000 vibrate\n");
    }
    EXPECT_EQ(live.logText(), ""); // putting the previous device back starts it over too
    live.log("torch on");
    clock.advance(12345.5);
    live.log("torch off");

    // The file aligns the times as the run folder's other logs do.
    EXPECT_EQ(sim::maskedLines(live.logFileText()).text(), "     0.000 torch on\n 12345.500 torch off\n");
}

TEST(SimDevice, LinesLoggedFromManyThreadsAreKeptWhole) {
    sim::ScopedDevice device(sim::defaultProfile());
    constexpr int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                sim::Device::shared().log("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    for (std::thread& thread : threads)
        thread.join();
    const std::string text = sim::Device::shared().logText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kThreads * kLines);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_NE(text.find("thread " + std::to_string(t) + " line " + std::to_string(kLines - 1) + "\n"),
                  std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Device paths

// A device whose "/" is a scratch folder, and an application home beside it.
struct DeviceRootTest : ::testing::Test {
    Scratch scratch;
    std::string previousHome = ns::ApplicationHome::path();
    std::string root, home;
    std::optional<sim::ScopedDevice> device;

    void SetUp() override {
        scratch.write("root/etc/fstab", "");
        scratch.write("root/bin/sh", "");
        scratch.write("home/Documents/a.txt", "");
        scratch.write("outside/secret", "");
        root = fs::canonical(scratch / "root").string();
        home = fs::canonical(scratch / "home").string();
        ns::ApplicationHome::setPath(home);
        sim::Profile p = sim::defaultProfile();
        p.deviceRoot = root;
        device.emplace(p);
    }
    void TearDown() override { ns::ApplicationHome::setPath(previousHome); }
    void link(std::string_view at, std::string_view target) {
        fs::create_symlink(std::string(target), root + "/" + std::string(at));
    }
};

TEST_F(DeviceRootTest, PathsMapUnderTheRootAndNoSpellingLeavesIt) {
    const std::pair<const char*, std::string> cases[] = {
        {"/etc/fstab", "/etc/fstab"},
        {"/../etc", "/etc"},
        {"/../../../etc/fstab", "/etc/fstab"},
        {"etc/../../bin/sh", "/bin/sh"}, // relative counts from "/"
        {"//bin///./sh/", "/bin/sh"},
        {"/..", ""},
        {"/Applications/Cydia.app", "/Applications/Cydia.app"}, // absent: still under the root
    };
    for (const auto& [path, under] : cases)
        EXPECT_EQ(sim::devicePath(path), root + under) << path;
    EXPECT_TRUE(fs::exists(*sim::devicePath("/etc/fstab")));
    EXPECT_FALSE(fs::exists(*sim::devicePath("/outside/secret")));
    // What the home's spelling reaches only by climbing out of it is not the home.
    EXPECT_EQ(sim::devicePath(home + "/../outside/secret"), root + lexicalParent(home) + "/outside/secret");
}

TEST_F(DeviceRootTest, LinksAreFollowedInsideTheRoot) {
    link("escape", "/");
    link("up", "../../../../../..");
    link("outside", scratch / "outside");
    link("etc/loop", "loop");
    link("etc/ping", "pong");
    link("etc/pong", "ping");
    link("etc/hosts", "fstab");
    EXPECT_EQ(sim::devicePath("/escape/etc/fstab"), root + "/etc/fstab");
    EXPECT_EQ(sim::devicePath("/up/etc/fstab"), root + "/etc/fstab");
    EXPECT_EQ(sim::devicePath("/etc/hosts"), root + "/etc/fstab");
    // An absolute host path in a link counts from the root too: the host's file is not reached.
    const auto viaLink = sim::devicePath("/outside/secret");
    ASSERT_TRUE(viaLink);
    EXPECT_TRUE(viaLink->starts_with(root + "/")) << *viaLink;
    EXPECT_FALSE(fs::exists(*viaLink));
    EXPECT_FALSE(sim::devicePath("/etc/loop"));
    EXPECT_FALSE(sim::devicePath("/etc/ping/x"));
}

TEST_F(DeviceRootTest, HomePathsStayAndACleanDeviceHasNothingElse) {
    EXPECT_EQ(sim::devicePath(home + "/Documents/a.txt"), home + "/Documents/a.txt");
    EXPECT_EQ(sim::devicePath(home + "/Documents/../tmp"), home + "/tmp");
    EXPECT_EQ(sim::devicePath(home), home);
    EXPECT_EQ(sim::devicePath(home + "x/file"), root + home + "x/file"); // a sibling sharing the prefix
    EXPECT_FALSE(sim::devicePath(""));
    EXPECT_FALSE(sim::devicePath(std::string_view("/etc/fstab\0/x", 13)));

    sim::Profile clean = sim::defaultProfile();
    sim::ScopedDevice cleanDevice(clean);
    EXPECT_FALSE(sim::devicePath("/bin/sh"));
    EXPECT_FALSE(sim::devicePath("/"));
    EXPECT_EQ(sim::devicePath(home + "/Documents/a.txt"), home + "/Documents/a.txt");
}

class SimHome : public ::testing::Test {
protected:
    void TearDown() override {
        ns::UserDefaults::resetStandardUserDefaults();
        ns::ApplicationHome::setPath("");
    }
    static sim::Profile withDocuments(std::map<std::string, std::string> documents) {
        sim::Profile p = sim::defaultProfile();
        p.documents = std::move(documents);
        return p;
    }
    Scratch scratch;
};

TEST_F(SimHome, HoldsTheFoldersTheDocumentsAndTheStandardDefaults) {
    sim::ScopedDevice device(withDocuments({{"functiontest_config.txt", "WIFI,BATTERY"}, {"logs/first.txt", "1"}}));
    std::string error;
    const std::string home = scratch / "home";
    ASSERT_TRUE(sim::prepareHome(home, &error)) << error;

    for (const char* dir : {"Documents", "Library/Preferences", "tmp"})
        EXPECT_TRUE(fs::is_directory(fs::path(home) / dir)) << dir;
    EXPECT_EQ(scratch.read("home/Documents/functiontest_config.txt"), "WIFI,BATTERY");
    EXPECT_EQ(scratch.read("home/Documents/logs/first.txt"), "1");
    EXPECT_EQ(ns::ApplicationHome::path(), home);
    EXPECT_EQ(ns::ApplicationHome::documentsDirectory(), home + "/Documents");

    auto defaults = ns::UserDefaults::standardUserDefaults();
    EXPECT_TRUE(defaults->filePath().starts_with(home + "/Library/Preferences/")) << defaults->filePath();
    defaults->setString("kept", "operator");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_TRUE(fs::is_regular_file(defaults->filePath()));

    // Prepared again (a restart): what the run stored stays; the profile's documents are rewritten.
    scratch.write("home/Documents/functiontest_config.txt", "edited");
    defaults = nullptr;
    ASSERT_TRUE(sim::prepareHome(home, &error)) << error;
    EXPECT_EQ(ns::UserDefaults::standardUserDefaults()->stringForKey("operator")->utf8(), "kept");
    EXPECT_EQ(scratch.read("home/Documents/functiontest_config.txt"), "WIFI,BATTERY");
}

TEST_F(SimHome, RefusesDocumentsOutsideDocumentsAndKeepsThePreviousHome) {
    std::string error;
    ASSERT_TRUE(sim::prepareHome(scratch / "first", &error)) << error;
    ns::UserDefaults::standardUserDefaults()->setString("first", "home");

    for (const char* name : {"../escape.txt", "/tmp/escape.txt", "a/../../escape.txt", "", "a//b"}) {
        SCOPED_TRACE(name);
        sim::ScopedDevice device(withDocuments({{"fine.txt", "x"}, {name, "y"}}));
        EXPECT_FALSE(sim::prepareHome(scratch / "second", &error));
        EXPECT_TRUE(error.starts_with("document \"" + std::string(name) + "\": ")) << error;
    }
    EXPECT_FALSE(fs::exists(scratch / "second"));
    EXPECT_FALSE(fs::exists(scratch / "escape.txt"));
    EXPECT_EQ(ns::ApplicationHome::path(), scratch / "first");
    EXPECT_EQ(ns::UserDefaults::standardUserDefaults()->stringForKey("home")->utf8(), "first");

    scratch.write("plain-file", "");
    EXPECT_FALSE(sim::prepareHome(scratch / "plain-file/home", &error));
    EXPECT_TRUE(error.starts_with("cannot create ")) << error;
    EXPECT_EQ(ns::ApplicationHome::path(), scratch / "first");
}

TEST_F(SimHome, ATemporaryHomeIsNewEachTime) {
    sim::ScopedDevice device(withDocuments({{"a.txt", "A"}}));
    std::string error;
    auto first = sim::prepareTemporaryHome(&error);
    ASSERT_TRUE(first) << error;
    auto second = sim::prepareTemporaryHome(&error);
    ASSERT_TRUE(second) << error;
    EXPECT_NE(*first, *second);
    EXPECT_EQ(ns::ApplicationHome::path(), *second);
    EXPECT_TRUE(fs::is_directory(*second + "/Library/Preferences"));
    EXPECT_TRUE(fs::is_regular_file(*first + "/Documents/a.txt"));

    ns::UserDefaults::resetStandardUserDefaults();
    ns::ApplicationHome::setPath("");
    fs::remove_all(*first);
    fs::remove_all(*second);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Preferred languages

TEST(SimProfile, LanguagesReachThePreferredLanguagesWhileTheDeviceIsInstalled) {
    auto preferred = [] {
        std::string out;
        auto languages = ns::Locale::preferredLanguages();
        for (const rt::Id& tag : *languages) out += (out.empty() ? "" : " ") + tag->description();
        return out;
    };
    EXPECT_EQ(preferred(), "en");
    std::string error;
    auto japanese = sim::parseProfile(minimalProfile(R"("languages": ["ja-JP", "en"])"), "t.json", &error);
    ASSERT_TRUE(japanese) << error;
    {
        sim::ScopedDevice device(*japanese);
        EXPECT_EQ(preferred(), "ja-JP en");
        ns::Locale::setPreferredLanguages({"de"}); // a test may set its own
        EXPECT_EQ(preferred(), "de");
    }
    EXPECT_EQ(preferred(), "en"); // the previous device's again
    EXPECT_EQ(problemOf(minimalProfile(R"("languages": [])")), "t.json: languages: expected at least one language");
    EXPECT_EQ(problemOf(minimalProfile(R"("languages": ["en", 3])")), "t.json: languages: expected a list of strings");
}
