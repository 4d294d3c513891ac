// The shipped scripts through the main job as its program (the other tests here register scripted
// screens under the catalogue's names): as the manifest says, a failed row saying why, in virtual and
// real time; each screen on the devices and faults that decide it; a stall naming what was on screen.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kResources = FT_RESOURCES_DIR;

// The report's rows in order, each "KEY=result" (a row's result stands between two blanks either side).
std::vector<std::string> rowsOf(const std::string& report) {
    std::vector<std::string> rows;
    std::istringstream lines(report);
    for (std::string line, order, key; std::getline(lines, line);) {
        if (!(std::istringstream(line) >> order >> key) || order.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (const std::string result : {"pass", "fail", "not tested", "not built", "unfinished"})
            if (line.find("  " + result + "  ") != std::string::npos) rows.push_back(key + "=" + result);
    }
    return rows;
}

// The result column of the report's row for `key` ("" when it has none).
std::string resultOf(const std::string& report, const std::string& key) {
    for (const std::string& row : rowsOf(report))
        if (row.starts_with(key + "=")) return row.substr(key.size() + 1);
    return "";
}

// The job's arguments for a run of a script into the scratch folder. `script`: a shipped script's
// name, or a path of its own without ".json"; `profile`: a shipped profile's file name, or a path.
std::vector<std::string> jobArgs(const testkit::ScratchFolder& scratch, const std::string& script,
                                 const std::string& profile = "", const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--no-pictures", "--script",
                                     (kResources / "testers" / (script + ".json")).string(), "--run-dir",
                                     (scratch.path() / (script + std::to_string(more.size()))).string()};
    if (!profile.empty())
        args.insert(args.end(), {"--profile", fs::path(profile).is_absolute()
                                                  ? profile
                                                  : (kResources / "devices" / profile).string()});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

testkit::ProcessOutcome runScript(const testkit::ScratchFolder& scratch, const std::string& script,
                                  const std::string& profile = "", const std::vector<std::string>& more = {}) {
    return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, jobArgs(scratch, script, profile, more));
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

// The lines of resources/testers/manifest.txt: a shipped script, its device ("" for the default one),
// the job's status, how the results screen ended the run and the rows ("KEY=result,..." or "40*pass").
struct Shipped {
    std::string script, profile;
    int status = 0;
    std::string ending, rows;
};
std::vector<Shipped> manifest() {
    std::vector<Shipped> scripts;
    std::ifstream in(kResources / "testers" / "manifest.txt");
    for (std::string line, more; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        Shipped& s = scripts.emplace_back();
        std::istringstream words(line);
        EXPECT_TRUE(words >> s.script >> s.profile >> s.status >> s.ending >> s.rows && !(words >> more)) << line;
        if (s.profile == "-") s.profile.clear();
    }
    return scripts;
}

// The rows as the manifest writes them: "KEY=result" joined by ",", or, for `counted`, "N*result"
// when all N share their result.
std::string manifestRows(const std::vector<std::string>& rows, bool counted) {
    std::string list;
    for (const std::string& row : rows) list += (list.empty() ? "" : ",") + row;
    const std::string result = rows.empty() ? "" : rows[0].substr(rows[0].find('=')); // "=pass"
    const auto alike = [&](const std::string& row) { return row.ends_with(result); };
    if (!counted || rows.empty() || !std::all_of(rows.begin(), rows.end(), alike)) return list;
    return std::to_string(rows.size()) + "*" + result.substr(1);
}

// How the report says the results screen ended the run.
std::string endingOf(const std::string& report) {
    for (const auto& [said, ending] : {std::pair{"update answered", "update"}, {"partner answered", "partner"},
                                       {"result file:", "result-file"}})
        if (report.find(said) != std::string::npos) return ending;
    return "none";
}

// The line after the report's row for `key` ("" when there is none).
std::string lineUnder(const std::string& report, const std::string& key) {
    const std::size_t next = report.find('\n', report.find("   " + key + " "));
    return next == std::string::npos ? "" : report.substr(next + 1, report.find('\n', next + 1) - next - 1);
}

// Every shipped script, run on its device (a few side by side), ends as its manifest line says; a row
// that did not pass says why under it, as its screen's Result line in app.log has it.
TEST(ScreenScripts, EveryShippedScriptEndsAsItsManifestLineSays) {
    const std::vector<Shipped> scripts = manifest();
    std::set<std::string> listed, files;
    for (const Shipped& s : scripts)
        EXPECT_TRUE(listed.insert(s.script).second) << s.script << " is listed twice";
    for (const auto& entry : fs::directory_iterator(kResources / "testers"))
        if (entry.path().extension() == ".json") files.insert(entry.path().stem().string());
    EXPECT_EQ(files, listed) << "every shipped script, and only they, have a line";
    const std::map<std::string, std::string> whyOf = {
        {"battery-fail", "answered No"}, {"bluetooth-fail", "Bluetooth is powered off"},
        {"home-key-fail", "timed out after 10 s waiting for the home key"},
        {"jailbreak-fail", "not jailbroken, but the run expects a jailbroken phone (ROOT_DEVICE_IS_PASS)"},
        {"vibration-fail", "skipped"}, // as the run's last item, which once logged no Result line
        {"rf-no-radio-tech-fail", "no current radio technology"},
        {"headset-fail", "stopped at \"Record voice\": the headset was pulled out"},
        {"physical-key-fail", "timed out after 30 s waiting for Volume down key, Ring/silent switch"},
    };

    testkit::ScratchFolder scratch("ft-shipped-scripts");
    std::vector<std::vector<std::string>> jobs;
    for (const Shipped& s : scripts)
        jobs.push_back(jobArgs(scratch, s.script, s.profile));
    const std::vector<testkit::ProcessOutcome> outcomes =
        testkit::runProcesses(FUNCTIONTEST_EXECUTABLE, jobs, std::max(4u, std::thread::hardware_concurrency()));
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const Shipped& s = scripts[i];
        const testkit::ProcessOutcome& job = outcomes[i];
        const fs::path runDir = scratch.path() / (s.script + "0");
        SCOPED_TRACE(s.script);
        EXPECT_EQ(job.status, s.status) << job.output;
        EXPECT_EQ(manifestRows(rowsOf(job.output), s.rows.find('*') != std::string::npos), s.rows) << job.output;
        EXPECT_EQ(endingOf(job.output), s.ending) << job.output;
        EXPECT_EQ(fs::exists(runDir / "home" / "Documents" / "functiontest_result.txt"), s.ending == "result-file");
        if (!whyOf.contains(s.script)) continue;
        const std::string key = s.rows.substr(0, s.rows.find('='));
        EXPECT_EQ(lineUnder(job.output, key), "      why: " + whyOf.at(s.script)) << job.output;
        EXPECT_NE(testkit::readFile(runDir / "app.log").find("Result: " + key + " 2 "), std::string::npos);
    }
}

// The radio row's screen waits for a Yes or No the script never gives (the countdown starts the row).
TEST(ScreenScripts, AStallNamesTheScreenOnTopWhatItAsksItsControlsTheOpenRowAndTheLastStep) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    nlohmann::json script = nlohmann::json::parse(testkit::readFile(kResources / "testers" / "rf-pass.json"));
    script["steps"].erase(script["steps"].begin() + 2, script["steps"].end()); // the identity and the login
    std::ofstream(scratch.path() / "no-answer.json") << script.dump();
    const testkit::ProcessOutcome job = runScript(scratch, (scratch.path() / "no-answer").string());
    EXPECT_EQ(job.status, 1) << job.output;
    EXPECT_NE(job.output.find("  end:          stalled: the script is spent and nothing is scheduled\n"
                              "  on screen:    RFTestViewController: \"Carrier: Kestrel Mobile\" \"Network type: LTE\" "
                              "\"Are the carrier and the network type right?\"\n"
                              "  controls:     \"Yes\" (successButton), \"No\" (failButton), back\n"
                              "  row:          1 RF Cellular radio, open since 5.500 s\n"
                              "  last step:    3.000 step 1 (identity: open url=qx://imei=***********3809&"
                              "serial=********HG7F&product=iPhone9,1&udid=" +
                              std::string(36, '*') + "2d3c) ran\n"),
              std::string::npos)
        << job.output;
}

TEST(ScreenScripts, TheRadioScreensPassAndFailByTheirScriptsOnTheirDevicesAndFaults) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
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
        {"wifi-fail", "WIFI", "iphone7_no_wifi.json", {}, "fail", ""},
        {"wifi-pass", "WIFI", "", {"--fault", "ip=refuse"}, "fail", ""},
        {"gps-pass", "GPS", "", {}, "pass", ""},
        {"gps-fail", "GPS", "iphone7_location_undecided.json", {}, "fail", ""},
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

// In real time, every one-screen script at once (mostly asleep, they cost little CPU) gives its row the
// manifest's result, as in virtual time: a check placed on the instant of a screen's timer fails here.
TEST(MainJobRealTime, EveryOneScreenScriptGivesItsRowAsInVirtualTime) {
    std::vector<Shipped> scripts = manifest();
    std::erase_if(scripts, [](const Shipped& s) { return s.rows.find_first_of(",*") != std::string::npos; });
    testkit::ScratchFolder scratch("ft-real-time-scripts");
    std::vector<std::vector<std::string>> jobs;
    for (const Shipped& s : scripts)
        jobs.push_back(jobArgs(scratch, s.script, s.profile, {"--real-time"}));
    const std::vector<testkit::ProcessOutcome> outcomes = testkit::runProcesses(FUNCTIONTEST_EXECUTABLE, jobs);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        SCOPED_TRACE(scripts[i].script);
        EXPECT_EQ(outcomes[i].status, scripts[i].status) << outcomes[i].output;
        EXPECT_EQ(manifestRows(rowsOf(outcomes[i].output), false), scripts[i].rows) << outcomes[i].output;
    }
}

} // namespace
