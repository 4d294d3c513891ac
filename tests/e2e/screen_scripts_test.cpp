// Each test screen with a row, run through the main job by its own pass and fail scripts, and by the
// default script with all the others: the report's row says what the script meant, and nothing else
// fails. The job runs as its program (app::runJob behind it): the other tests of this program
// register scripted screens under the catalogue's names, which a job in this process would find.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kResources = FT_RESOURCES_DIR;

// The result column of the report's row for `key` ("" when it has none).
std::string resultOf(const std::string& report, const std::string& key) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string order, word;
        if (!(words >> order >> word) || word != key) continue;
        for (const char* result : {"  pass  ", "  fail  ", "  not tested  ", "  not built  "})
            if (line.find(result) != std::string::npos)
                return std::string(result).substr(2, std::string(result).size() - 4);
    }
    return "";
}

// `profile`: a shipped profile's file name, or a path of its own.
testkit::ProcessOutcome runScript(const testkit::ScratchFolder& scratch, const std::string& script,
                                  const std::string& profile = "", const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--no-pictures", "--script",
                                     (kResources / "testers" / (script + ".json")).string(), "--run-dir",
                                     (scratch.path() / (script + std::to_string(more.size()))).string()};
    if (!profile.empty())
        args.insert(args.end(), {"--profile", fs::path(profile).is_absolute()
                                                  ? profile
                                                  : (kResources / "devices" / profile).string()});
    args.insert(args.end(), more.begin(), more.end());
    return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, args);
}

// The default device's profile with `from` replaced by `to`, written into the scratch folder.
std::string defaultProfileWith(const testkit::ScratchFolder& scratch, const std::string& name, const std::string& from,
                               const std::string& to) {
    std::ifstream in(kResources / "devices" / "iphone7.json");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    const fs::path file = scratch.path() / name;
    std::ofstream(file) << text;
    return file.string();
}

TEST(ScreenScripts, EachScreensPassAndFailScriptsGiveItsRowThatResultAndEndTheRun) {
    // "<script>-pass.json" and "<script>-fail.json"; the jailbreak's fails on a device whose run
    // expects a jailbreak.
    struct Screen {
        const char* script;
        const char* key;
        const char* failingProfile;
    };
    const Screen screens[] = {
        {"fill-color", "LCD_FILL_TEST", ""}, {"brightness", "LCD_BACKLIGHT_TEST", ""},
        {"home-key", "HOME_KEY_TEST", ""},   {"power-key", "POWER_KEY_TEST", ""},
        {"water-damage", "LDI_STICKER", ""}, {"jailbreak", "ROOT", "iphone7_jailbreak_expected.json"},
        {"physical-key", "PHYSICAL_KEYS_TEST", ""},
        {"touch-grid", "TOUCH_SCREEN", ""},
        {"vibration", "VIBRATION", ""},
        {"proximity", "PROXIMITY_SENSOR_TEST", ""},
        {"ac-usb-plug", "AC_USB_PLUG_TEST", ""},
        {"computer-usb-plug", "COMPUTER_USB_PLUG_TEST", ""},
        {"camera-preview", "BACK_CAMERA_PATTERN_TEST", ""},
        {"camera-picture", "FRONT_CAMERA_WHITE_CAPTURE_TEST", ""},
        {"camera-video", "FRONT_CAMERA_VIDEO_TEST", ""},
        {"flash", "FLASH_TEST", ""},
        {"rf", "RF", ""},
        {"make-call", "PHONECALL", ""},
        {"sms", "SMS", ""},
        {"louder-speaker", "LOUDSPEAKER", ""},
        {"microphone-record", "MAIN_MIC_TEST", ""},
        {"microphone-loop-back", "MAIN_MIC_LOOPBACK_TEST", ""},
        {"headset", "HEADSET_TEST", ""},
        {"accelerometer", "ACCELEROMETER_TEST", ""},
        {"gyroscope", "GYRO_TEST", ""},
        {"battery", "BATTERY", ""},
    };
    testkit::ScratchFolder scratch("ft-screen-scripts");
    for (const Screen& screen : screens)
        for (const std::string result : {"pass", "fail"}) {
            const std::string script = screen.script + ("-" + result);
            SCOPED_TRACE(script);
            const testkit::ProcessOutcome job =
                runScript(scratch, script, result == "fail" ? screen.failingProfile : "");
            EXPECT_EQ(job.status, 0) << job.output;
            EXPECT_EQ(resultOf(job.output, screen.key), result) << job.output;
            EXPECT_NE(job.output.find("tests run: 1;"), std::string::npos) << job.output;
        }
}

TEST(ScreenScripts, TheRadioScreensPassAndFailByTheirScriptsOnTheirDevicesAndFaults) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    const std::string noWifi = defaultProfileWith(scratch, "no_en0.json", "\"name\": \"en0\"", "\"name\": \"en1\"");
    const std::string undecided =
        defaultProfileWith(scratch, "undecided.json", "\"headphonesPlugged\": false,",
                           "\"headphonesPlugged\": false, \"location\": {\"status\": 0, \"requestReply\": 0},");
    struct Run {
        const char* script;
        const char* key;
        std::string profile;
        std::vector<std::string> more;
        const char* result;
        const char* deviceLog; // a line the device logged, or ""
    };
    const Run runs[] = {
        {"wifi-pass", "WIFI", "", {}, "pass", ""},
        {"wifi-fail", "WIFI", noWifi, {}, "fail", ""},
        {"wifi-pass", "WIFI", "", {"--fault", "ip=refuse"}, "fail", ""},
        {"gps-pass", "GPS", "", {}, "pass", ""},
        {"gps-fail", "GPS", undecided, {}, "fail", ""},
        {"bluetooth-pass", "BLUETOOTH", "", {}, "pass", ""},
        {"bluetooth-fail", "BLUETOOTH", "", {}, "fail", "power alert shown"},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(std::string(run.script) + " " + run.profile + (run.more.empty() ? "" : " " + run.more[1]));
        const testkit::ProcessOutcome job = runScript(scratch, run.script, run.profile, run.more);
        EXPECT_EQ(job.status, 0) << job.output;
        EXPECT_EQ(resultOf(job.output, run.key), run.result) << job.output;
        EXPECT_NE(job.output.find("tests run: 1;"), std::string::npos) << job.output;
        if (*run.deviceLog) {
            std::ifstream log(scratch.path() / (std::string(run.script) + "0") / "device.log");
            const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
            EXPECT_NE(text.find(run.deviceLog), std::string::npos);
        }
    }
}

TEST(ScreenScripts, APictureThatCannotBeTakenFailsItsRowWithNoAnswer) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    const testkit::ProcessOutcome job = runScript(scratch, "camera-picture-pass", "iphone7_still_capture_fails.json");
    EXPECT_EQ(resultOf(job.output, "FRONT_CAMERA_WHITE_CAPTURE_TEST"), "fail") << job.output;
    EXPECT_NE(job.output.find("tests run: 1;"), std::string::npos) << job.output;
}

TEST(ScreenScripts, TheMicrophoneScriptsLeaveTheRecordingAndItsPlaybackInTheRunFolder) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    const std::string denied = defaultProfileWith(scratch, "denied.json", "\"headphonesPlugged\": false,",
                                                  "\"headphonesPlugged\": false, \"audio\": {\"recordPermission\": \"denied\"},");
    struct Run {
        const char* script;
        const char* key;
        std::string profile;
        const char* result;
        std::vector<std::string> sounds; // the run folder's audio/
    };
    const Run runs[] = {
        {"microphone-record-pass", "MAIN_MIC_TEST", "", "pass", {"001-mic-sound1.m4a.wav", "002-Speaker-sound1.m4a.wav"}},
        {"microphone-record-fail", "MAIN_MIC_TEST", denied, "fail", {}},
        {"microphone-loop-back-pass", "MAIN_MIC_LOOPBACK_TEST", "", "pass",
         {"001-mic-sound1.m4a.wav", "002-Receiver-sound1.m4a.wav"}},
        {"headset-pass", "HEADSET_TEST", "", "pass",
         {"001-mic-sound.m4a.wav", "002-Headphones-sound.m4a.wav", "003-Headphones-sample.m4a.wav"}},
        {"headset-fail", "HEADSET_TEST", "", "fail", {"001-mic-sound.m4a.wav"}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(std::string(run.script) + " " + run.profile);
        const testkit::ProcessOutcome job = runScript(scratch, run.script, run.profile);
        EXPECT_EQ(job.status, 0) << job.output;
        EXPECT_EQ(resultOf(job.output, run.key), run.result) << job.output;
        std::vector<std::string> sounds;
        const fs::path audio = scratch.path() / (std::string(run.script) + "0") / "audio";
        if (fs::exists(audio))
            for (const auto& entry : fs::directory_iterator(audio)) sounds.push_back(entry.path().filename().string());
        std::sort(sounds.begin(), sounds.end());
        EXPECT_EQ(sounds, run.sounds);
    }
}

TEST(ScreenScripts, ACarrierWithoutANetworkCodeFailsTheRadioRowASecondAfterLoad) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    const testkit::ProcessOutcome job = runScript(scratch, "rf-pass", "iphone7_no_network_code.json");
    EXPECT_EQ(resultOf(job.output, "RF"), "fail") << job.output;
    EXPECT_NE(job.output.find("tests run: 1;"), std::string::npos) << job.output;
}

// Each script's name ends with the result its row gets; a text of the report, or "".
TEST(ScreenScripts, APhoneOnPowerCoveredOrWithoutARadioTechnologyAtTheStartGivesItsRowThatResult) {
    const std::tuple<std::string, std::string, const char*, const char*> runs[] = {
        {"ac-usb-plug-powered-pass", "iphone7_charging.json", "AC_USB_PLUG_TEST", ""},
        {"ac-usb-plug-powered-pass", "iphone7_full.json", "AC_USB_PLUG_TEST", ""},
        {"computer-usb-plug-powered-pass", "iphone7_charging.json", "COMPUTER_USB_PLUG_TEST", ""},
        {"computer-usb-plug-powered-pass", "iphone7_full.json", "COMPUTER_USB_PLUG_TEST", ""},
        {"proximity-covered-pass", "iphone7_proximity_covered.json", "PROXIMITY_SENSOR_TEST", ""},
        {"rf-no-radio-tech-fail", "iphone7_no_radio_tech.json", "RF", "No cellular network"},
    };
    for (const auto& [script, profile, key, shown] : runs) {
        SCOPED_TRACE(script + " " + profile);
        testkit::ScratchFolder scratch("ft-screen-scripts");
        const testkit::ProcessOutcome job = runScript(scratch, script, profile);
        EXPECT_EQ(job.status, 0) << job.output;
        EXPECT_EQ(resultOf(job.output, key), script.substr(script.rfind('-') + 1)) << job.output;
        EXPECT_NE(job.output.find("tests run: 1;"), std::string::npos) << job.output;
        EXPECT_NE(job.output.find(shown), std::string::npos) << job.output;
    }
}

TEST(ScreenScripts, TheDefaultRunPassesEveryScreenWithARow) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    const testkit::ProcessOutcome job = runScript(scratch, "default");
    EXPECT_EQ(job.status, 0) << job.output;
    for (const char* key :
         {"LCD_FILL_TEST", "LCD_BACKLIGHT_TEST", "HOME_KEY_TEST", "POWER_KEY_TEST", "LDI_STICKER", "ROOT",
          "PHYSICAL_KEYS_TEST", "TOUCH_SCREEN", "VIBRATION", "PROXIMITY_SENSOR_TEST", "AC_USB_PLUG_TEST",
          "COMPUTER_USB_PLUG_TEST", "FRONT_CAMERA_BLACK_TEST", "FRONT_CAMERA_PATTERN_TEST", "FRONT_CAMERA_WHITE_TEST",
          "BACK_CAMERA_BLACK_TEST", "BACK_CAMERA_PATTERN_TEST", "BACK_CAMERA_WHITE_TEST", "FRONT_CAMERA_BLACK_CAPTURE_TEST",
          "FRONT_CAMERA_PATTERN_CAPTURE_TEST", "FRONT_CAMERA_WHITE_CAPTURE_TEST", "BACK_CAMERA_BLACK_CAPTURE_TEST",
          "BACK_CAMERA_PATTERN_CAPTURE_TEST", "BACK_CAMERA_WHITE_CAPTURE_TEST", "FRONT_CAMERA_VIDEO_TEST",
          "BACK_CAMERA_VIDEO_TEST", "FLASH_TEST", "RF", "SMS", "PHONECALL", "LOUDSPEAKER",
          "ACCELEROMETER_TEST", "GYRO_TEST", "WIFI", "GPS", "BLUETOOTH", "MAIN_MIC_TEST",
          "MAIN_MIC_LOOPBACK_TEST", "HEADSET_TEST", "BATTERY"})
        EXPECT_EQ(resultOf(job.output, key), "pass") << key;
    EXPECT_NE(job.output.find("pass 40, fail 0, not tested 0, not built 0"), std::string::npos) << job.output;
}

} // namespace
