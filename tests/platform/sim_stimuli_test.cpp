// The device's stimuli (state, events and log), its microphone and speaker, camera frames and
// network interfaces.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/device.h"
#include "platform/sim/frame_image.h"
#include "platform/sim/input_file.h"
#include "platform/sim/interfaces.h"
#include "platform/sim/run_text.h"
#include "platform/sim/sound.h"
#include "tests/platform/support.h"
#include "tests/testkit/virtual_time.h"

namespace {

using platform_tests::Scratch;

class SimStimuli : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        sim::Profile p = sim::defaultProfile();
        p.battery = {0.5, sim::BatteryState::Unplugged};
        adjust(p);
        device_.emplace(std::move(p));
        hook_ = live().addEventHook([this](const sim::DeviceEvent& e) { events.push_back(e); });
    }
    void TearDown() override {
        live().removeHook(hook_);
        device_.reset();
        VirtualTimeTest::TearDown();
    }
    virtual void adjust(sim::Profile&) {}
    static sim::Device& live() { return sim::Device::shared(); }
    std::vector<sim::DeviceEvent> events;

private:
    std::optional<sim::ScopedDevice> device_;
    sim::Device::HookId hook_ = 0;
};

TEST_F(SimStimuli, VolumeKeysStepWithinRangeAndOnlyAChangeReachesTheHooks) {
    int heard = 0;
    const auto hook = live().addHook(sim::Aspect::Audio, [&](const sim::Profile&) { ++heard; });
    live().pressVolumeUp();
    EXPECT_EQ(sim::currentDevice()->audio.outputVolume, 0.5625);
    for (int i = 0; i < 10; ++i)
        live().pressVolumeUp();
    EXPECT_EQ(sim::currentDevice()->audio.outputVolume, 1.0);
    EXPECT_EQ(heard, 8) << "0.5625 -> 1.0 in seven more steps, then nothing at 1.0";
    live().change(sim::Aspect::Audio, [](sim::Profile& p) { p.audio.outputVolume = 0.03; });
    heard = 0;
    live().pressVolumeDown();
    live().pressVolumeDown();
    EXPECT_EQ(sim::currentDevice()->audio.outputVolume, 0.0);
    EXPECT_EQ(heard, 1);
    live().removeHook(hook);
    EXPECT_NE(live().logText().find("key volumeUp: volume stays 1"), std::string::npos) << live().logText();
}

// The device's own words and figures are written as they are whatever the run keeps secret (a
// password equal to a volume or a level, or to a word of the line); a line that quotes what came
// from outside (a Wi-Fi network's name) is masked.
TEST_F(SimStimuli, TheDevicesOwnLinesStayReadableWhateverThePassword) {
    sim::RunSecrets run;
    for (const char* password : {"0.5625", "0.5", "volume", "charging", "ssid-0.5"})
        sim::addRunSecret(sim::Secret(password), "***");
    live().pressVolumeUp();
    ASSERT_TRUE(live().setBattery(0.5, sim::BatteryState::Charging));
    live().joinWifi({.ssid = "ssid-0.5"});
    const std::string file = sim::maskedLines(live().logFileText()).text();
    for (const char* line : {"key volumeUp: volume 0.5625\n", "battery 0.5 charging\n", "wifi joined ***\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << "\n" << file;
}

TEST_F(SimStimuli, AChargerMergesItsPropertiesWhilePluggedAndUnpluggingPutsTheRegistryBack) {
    sim::Registry before = sim::currentDevice()->registry;
    before["Extra"] = {{"IOClass", std::string("Extra")}};
    live().setRegistryEntry("Extra", before["Extra"]);
    live().change(sim::Aspect::Registry, [](sim::Profile& p) { p.chargers.ac = {{"New", {{"A", 1LL}}}, {"AppleSmartBattery", {{"ExternalConnected", true}}}}; });

    std::vector<std::string> order;
    const auto b = live().addHook(sim::Aspect::Battery, [&](const sim::Profile& s) {
        order.push_back("battery " + std::to_string(static_cast<int>(s.battery.state)));
    });
    const auto r = live().addHook(sim::Aspect::Registry, [&](const sim::Profile&) { order.push_back("registry"); });
    ASSERT_TRUE(live().plugCharger("ac"));
    auto now = sim::currentDevice();
    EXPECT_EQ(now->battery.state, sim::BatteryState::Charging);
    EXPECT_EQ(std::get<long long>(now->registry.at("New").at("A")), 1);
    EXPECT_EQ(std::get<bool>(now->registry.at("AppleSmartBattery").at("ExternalConnected")), true);
    EXPECT_EQ(now->registry.at("AppleSmartBattery").at("IOClass"), before.at("AppleSmartBattery").at("IOClass"));

    ASSERT_TRUE(live().plugCharger("usb")); // replaces the ac charger: merges never stack
    live().unplugCharger();
    EXPECT_EQ(sim::currentDevice()->registry, before);
    EXPECT_EQ(sim::currentDevice()->battery.state, sim::BatteryState::Unplugged);
    live().unplugCharger(); // nothing plugged: logged only
    EXPECT_EQ(order, (std::vector<std::string>{"battery 2", "registry", "battery 1", "registry", "battery 2",
                                               "registry", "battery 1", "registry"}));

    live().setBattery(1, sim::BatteryState::Unplugged);
    live().plugCharger("ac");
    EXPECT_EQ(sim::currentDevice()->battery.state, sim::BatteryState::Full);
    EXPECT_FALSE(live().plugCharger("wireless"));
    EXPECT_FALSE(live().setBattery(1.5, sim::BatteryState::Full));
    EXPECT_EQ(sim::currentDevice()->battery.level, 1);
    live().setRegistryEntry("Extra", std::nullopt);
    EXPECT_FALSE(sim::currentDevice()->registry.contains("Extra"));
    live().removeHook(b);
    live().removeHook(r);
}

TEST_F(SimStimuli, HeadsetAndRouteChangesCarryTheirReasonsAndRouteOutputs) {
    live().plugHeadset();
    EXPECT_TRUE(sim::currentDevice()->headphonesPlugged);
    live().changeRoute(3, {"Speaker"});
    EXPECT_EQ(live().routeOutputs(), std::vector<std::string>{"Speaker"});
    live().unplugHeadset();
    EXPECT_TRUE(live().routeOutputs().empty());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].reason, 1);
    EXPECT_EQ(events[1].reason, 3);
    EXPECT_EQ(events[2].reason, 2);
    for (const auto& e : events)
        EXPECT_EQ(e.kind, sim::DeviceEvent::Kind::RouteChange);
}

TEST_F(SimStimuli, MotionTrainsAndSeriesAndStrokesRunOnTheClock) {
    const auto accel = sim::MotionSensor::Accelerometer;
    ASSERT_TRUE(live().setMotionTrain(accel, 0.5, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    EXPECT_EQ(sim::currentDevice()->motion.accel, (sim::Vector3{1, 0, 0}));
    runUntil(0.5);
    EXPECT_EQ(sim::currentDevice()->motion.accel, (sim::Vector3{0, 1, 0}));
    runUntil(1.0);
    EXPECT_EQ(sim::currentDevice()->motion.accel, (sim::Vector3{0, 0, 1}));
    EXPECT_FALSE(live().setMotionTrain(accel, 0, {{1, 0, 0}}));

    live().queueMotionSeries(accel, {{1, 1, 1}, {2, 2, 2}});
    EXPECT_EQ(live().takeMotionSeriesValue(accel), (sim::Vector3{1, 1, 1}));
    EXPECT_EQ(live().takeMotionSeriesValue(accel), (sim::Vector3{2, 2, 2}));
    EXPECT_EQ(live().takeMotionSeriesValue(accel), std::nullopt);

    ASSERT_TRUE(live().stroke({{10, 10}, {20, 20}, {30, 30}}, 0.1));
    runFor(1);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].phase, sim::TouchPhase::Began);
    EXPECT_EQ(events[1].phase, sim::TouchPhase::Moved);
    EXPECT_EQ(events[2].phase, sim::TouchPhase::Moved);
    EXPECT_EQ(events[3].phase, sim::TouchPhase::Ended);
    EXPECT_EQ(events[3].points.at(0), (cg::Point{30, 30}));
    EXPECT_FALSE(live().stroke({{1, 1}}, 0.1));
}

class SimStimuliBare : public SimStimuli {
    void adjust(sim::Profile& p) override {
        p.sensors = {};
        p.sensors.gps = false;
        p.sensors.magnetometer = false;
        p.cameras.clear();
    }
};

TEST_F(SimStimuliBare, StimuliWithoutHardwareAreLoggedAndChangeNothing) {
    int heard = 0;
    const auto hook = live().addHook(sim::Aspect::Proximity, [&](const sim::Profile&) { ++heard; });
    live().setProximity(true);
    live().setMotionPose(sim::MotionSensor::Gyroscope, {1, 2, 3});
    live().locationFix({});
    EXPECT_FALSE(live().setCameraFrame(sim::CameraPosition::Front, {}));
    EXPECT_EQ(heard, 0);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(sim::currentDevice()->proximityNear);
    EXPECT_EQ(live().logText(), "0.000 proximity: no proximity sensor\n"
                                "0.000 motion gyro: no such sensor\n"
                                "0.000 location fix: no GPS\n"
                                "0.000 camera frame: no front camera\n");
    EXPECT_EQ(live().cameraFrame(sim::CameraPosition::Back), nullptr);
    live().removeHook(hook);
}

TEST_F(SimStimuli, EqualRunsGiveEqualLogs) {
    auto run = [&] {
        sim::ScopedDevice again(sim::defaultProfile());
        live().pressHome();
        runFor(1);
        live().setRingSwitch(true);
        live().plugCharger("usb");
        runFor(0.25);
        live().leaveWifi();
        live().setCarrier(std::nullopt);
        return live().logText();
    };
    const std::string first = run();
    EXPECT_EQ(first, run());
    EXPECT_EQ(first, "0.000 key home\n1.000 ring switch: silent\n1.000 charger usb plugged in\n1.250 wifi left\n"
                     "1.250 SIM out\n");
}

// ---- Sound ------------------------------------------------------------------------------------

TEST(SimSound, TheMicrophoneHearsSampleNAsAFunctionOfNAlone) {
    sim::AudioInput sine;
    sine.kind = sim::AudioInput::Kind::Sine;
    sine.frequency = 441;
    sine.amplitude = 0.5;
    sim::Microphone mic(sine);
    EXPECT_NEAR(mic.sample(0), 0, 1e-12);
    EXPECT_NEAR(mic.sample(25), 0.5, 1e-9); // a quarter of a 100-sample cycle
    EXPECT_NEAR(mic.sample(100LL * 1'000'000'000 + 25), 0.5, 1e-9) << "far samples keep their precision";
    float block[4];
    mic.read(25, block, 4);
    EXPECT_FLOAT_EQ(block[0], static_cast<float>(mic.sample(25)));
    // Blocks from any start, across the spans the synthesis steps by, give the same samples as one
    // by one, each within rounding of the exact sine.
    std::vector<float> whole(300), parts(300);
    mic.read(-150, whole.data(), whole.size());
    for (std::size_t at = 0, size = 1; at < parts.size(); at += size, size = size * 2 + 1)
        mic.read(-150 + std::int64_t(at), parts.data() + at, std::min(size, parts.size() - at));
    for (std::int64_t n = -150; n < 150; ++n) {
        const auto i = std::size_t(n + 150);
        ASSERT_EQ(whole[i], parts[i]) << n;
        ASSERT_EQ(whole[i], static_cast<float>(mic.sample(n))) << n;
        ASSERT_NEAR(mic.sample(n), 0.5 * std::sin(2 * std::numbers::pi * double(n) / 100), 1e-12) << n;
    }

    Scratch scratch;
    // A WAV file with 3 samples, repeated from its start.
    std::string wav = "RIFF....WAVEfmt ";
    auto le32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](std::uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    wav += le32(16) + le16(1) + le16(1) + le32(44100) + le32(88200) + le16(2) + le16(16);
    wav += "data" + le32(6) + le16(16384) + le16(static_cast<std::uint16_t>(-16384)) + le16(0);
    scratch.write("tone.wav", wav);
    sim::Microphone file({.kind = sim::AudioInput::Kind::File, .file = scratch / "tone.wav"});
    ASSERT_TRUE(file.readable());
    EXPECT_EQ(file.sample(0), 0.5);
    EXPECT_EQ(file.sample(4), -0.5);
    EXPECT_EQ(file.sample(-1), 0.0);

    scratch.write("bad.wav", "RIFF\xff\xff\xff\xffWAVEdata\xff\xff\xff\x7f");
    sim::Microphone bad({.kind = sim::AudioInput::Kind::File, .file = scratch / "bad.wav"});
    EXPECT_FALSE(bad.readable());
    EXPECT_EQ(bad.sample(7), 0.0);
    // Never read: a device without end, a pipe nobody writes to.
    ASSERT_EQ(::mkfifo((scratch / "fifo.wav").c_str(), 0600), 0);
    for (const std::string& path : {scratch / "fifo.wav", std::string("/dev/zero")})
        EXPECT_FALSE(sim::Microphone({.kind = sim::AudioInput::Kind::File, .file = path}).readable()) << path;
}

TEST(SimSound, TheSpeakerKeepsTheLastSixtySecondsWithTheirTimes) {
    sim::Speaker speaker;
    std::vector<float> second(44100, 0.25f);
    for (int s = 0; s < 61; ++s)
        speaker.play(s, second.data(), second.size());
    speaker.play(61, second.data(), 22050);
    EXPECT_EQ(speaker.sampleCount(), sim::Speaker::kKeptSamples);
    const auto blocks = speaker.played();
    EXPECT_DOUBLE_EQ(blocks.front().time, 1.5); // half of the second block was let go
    EXPECT_EQ(blocks.front().samples.size(), 22050u);
    EXPECT_EQ(blocks.back().time, 61);
}

// ---- Frames -----------------------------------------------------------------------------------

TEST(SimFrames, SolidAndNetpbmFramesAndHostileFiles) {
    auto solid = sim::makeFrameImage({.red = 10, .green = 20, .blue = 30, .file = {}}, sim::CameraPosition::Back);
    ASSERT_TRUE(solid);
    std::uint8_t rgb[3];
    solid->rgbAt(639, 479, rgb);
    EXPECT_EQ((std::vector<int>{rgb[0], rgb[1], rgb[2]}), (std::vector<int>{10, 20, 30}));

    auto grey = sim::parseNetpbm("P2 # a comment\n2 1\n15\n0 15\n", "grey.pgm");
    ASSERT_TRUE(grey);
    EXPECT_FALSE(grey->rgb);
    EXPECT_EQ(grey->pixels, (std::vector<std::uint8_t>{0, 255}));
    auto colour = sim::parseNetpbm(std::string("P6\n1 1\n255\n") + "\x01\x02\x03", "c.ppm");
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->bytesPerRow, 3);

    const std::pair<std::string, std::string> refused[] = {
        {"P6\n100000 1\n255\n", "wider than 8192 pixels"},
        {"P5\n99999999999999999999 1 255\n", "wider than 8192 pixels"},
        {"P6\n8192 8193\n255\n", "taller than 8192 pixels"},
        {"P6\n1 1\n65536\n", "bad image header"},
        {"P5\n4 4\n255\n\x01", "image data too short"},
        {"GIF89a", "not a PGM or PPM image"},
    };
    for (const auto& [bytes, why] : refused) {
        std::string error;
        EXPECT_FALSE(sim::parseNetpbm(bytes, "f.ppm", &error)) << bytes;
        EXPECT_EQ(error, "f.ppm: " + why);
    }
}

// While a reading is open, a frame or sound file is decoded once however often and however spelt it
// is named, and the reading's files stay within its limit: the file past it is refused.
TEST(SimFrames, AReadingDecodesEachFileOnceWithinItsLimit) {
    Scratch scratch;
    scratch.write("a.pgm", "P2 2 1 255 1 2\n");
    scratch.write("b.pgm", "P2 2 1 255 3 4\n");
    scratch.write("tone.raw", std::string("\x01\x00\x02\x00", 4));
    const auto frame = [&](const std::string& path, std::string* error = nullptr) {
        return sim::makeFrameImage({.file = path}, sim::CameraPosition::Back, error);
    };
    sim::DecodedInputs decoded(7);
    const sim::DecodedInputs::Reading reading(decoded);
    const auto a = frame(scratch / "a.pgm");
    ASSERT_TRUE(a);
    EXPECT_EQ(frame(scratch / "./a.pgm"), a);
    EXPECT_TRUE(sim::soundFileSamples(scratch / "tone.raw", nullptr));
    EXPECT_EQ(decoded.files(), 2u);
    EXPECT_EQ(decoded.bytes(), 2u + 4u);
    std::string error;
    EXPECT_FALSE(frame(scratch / "b.pgm", &error));
    EXPECT_EQ(error, scratch / "b.pgm" + ": with the frames and sounds read before it, more than 0 MB decoded");
}

TEST_F(SimStimuli, TheCameraFrameFollowsTheStimulus) {
    // Each camera of the default device sees its own test card, a file of the profiles folder
    // named without a folder: colour bars from a light grey one at the left.
    auto front = live().cameraFrame(sim::CameraPosition::Front);
    auto frame = live().cameraFrame(sim::CameraPosition::Back);
    ASSERT_TRUE(frame && front);
    EXPECT_EQ(frame->width, 72);
    EXPECT_EQ(frame->height, 96);
    EXPECT_EQ(frame->pixels.at(0), 191);
    EXPECT_NE(frame->pixels, front->pixels);
    ASSERT_TRUE(live().setCameraFrame(sim::CameraPosition::Back, {.red = 255, .green = 0, .blue = 0, .file = {}}));
    frame = live().cameraFrame(sim::CameraPosition::Back);
    EXPECT_EQ(frame->pixels.at(0), 255);
    live().setCameraFrame(sim::CameraPosition::Front, {.file = "/nonexistent/frame.ppm"});
    EXPECT_EQ(live().cameraFrame(sim::CameraPosition::Front), nullptr);
    EXPECT_NE(live().logText().find("camera frame: /nonexistent/frame.ppm: cannot be read"), std::string::npos);
}

// ---- Interfaces -------------------------------------------------------------------------------

std::vector<std::string> describe(const ifaddrs* list) {
    std::vector<std::string> out;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        char text[INET6_ADDRSTRLEN] = "";
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET) {
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
        } else if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET6) {
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr, text, sizeof text);
        } else {
            continue;
        }
        out.push_back(std::string(i->ifa_name) + " " + text);
    }
    return out;
}

TEST(SimInterfaces, HostModeRenamesAliasesAndDropsTheRest) {
    sim::Profile p = sim::defaultProfile();
    p.interfaces = {.host = true, .aliases = {{"en0", "lo"}}, .fixed = {}};
    sim::ScopedDevice device(p);
    ifaddrs* list = nullptr;
    ASSERT_EQ(sim::getifaddrs(&list), 0);
    const auto seen = describe(list);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "en0 127.0.0.1"), seen.end());
    for (const ifaddrs* i = list; i; i = i->ifa_next)
        EXPECT_STREQ(i->ifa_name, "en0");
    sim::freeifaddrs(list);
}

TEST(SimInterfaces, AFixedListGivesItsAddressesMasksAndMac) {
    sim::Profile p = sim::defaultProfile();
    p.interfaces = {.host = false,
                    .fixed = {{"en0", "10.0.0.2", "255.255.255.0", "fe80::1", "02:00:00:00:00:01"},
                              {"pdp_ip0", "10.1.0.5", "255.0.0.0", "", ""}}};
    sim::ScopedDevice device(p);
    ifaddrs* list = nullptr;
    ASSERT_EQ(sim::getifaddrs(&list), 0);
    EXPECT_EQ(describe(list), (std::vector<std::string>{"en0 10.0.0.2", "en0 fe80::1", "pdp_ip0 10.1.0.5"}));
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (i->ifa_addr->sa_family == AF_PACKET && std::string(i->ifa_name) == "en0") {
            EXPECT_EQ(reinterpret_cast<const sockaddr_ll*>(i->ifa_addr)->sll_addr[5], 1);
        }
        if (i->ifa_addr->sa_family == AF_INET && std::string(i->ifa_name) == "en0") {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr, text, sizeof text);
            EXPECT_STREQ(text, "10.0.0.255");
        }
    }
    sim::freeifaddrs(list);
    sim::freeifaddrs(nullptr);
}

} // namespace
