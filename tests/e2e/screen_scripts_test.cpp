// The shipped scripts through the main job as its program (the other tests here register scripted
// screens under the catalogue's names): as the manifest says, a failed row saying why, in virtual and
// real time; each screen on the devices and faults that decide it; a stall naming what was on screen.

#include <algorithm>
#include <cstdint>
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

#include "tests/testkit/graphics/picture_brightness.h"
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

// The job's arguments for a run of a script into the scratch folder (its run folder named `runName`,
// by default the script's name and how many more arguments it takes), without pictures unless
// asked. `script`: a shipped script's name, or a path of its own without ".json"; `profile`: a
// shipped profile's name or file name, or a path.
std::vector<std::string> jobArgs(const testkit::ScratchFolder& scratch, const std::string& script,
                                 const std::string& profile = "", const std::vector<std::string>& more = {},
                                 const std::string& runName = "", bool pictures = false) {
    std::vector<std::string> args = {
        "--script", (kResources / "testers" / (script + ".json")).string(), "--run-dir",
        (scratch.path() / (runName.empty() ? script + std::to_string(more.size()) : runName)).string()};
    if (!pictures) args.insert(args.begin(), "--no-pictures");
    if (!profile.empty())
        args.insert(args.end(), {"--profile", fs::path(profile).is_absolute() ? profile
                                              : (kResources / "devices" /
                                                 (profile.ends_with(".json") ? profile : profile + ".json"))
                                                    .string()});
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

// The lines of resources/testers/manifest.txt, in its order: a shipped script, the devices the line
// is for (names joined by ","; "*": every device the script has no other line for), the job's status,
// how the results screen ended the run and the rows ("KEY=result,...", "40*pass", "40*pass,ROOT=fail"
// or "-"). A script's first line is its own device's.
struct Shipped {
    std::string script, profile;
    int status = 0;
    std::string ending, rows;
    bool isFor(const std::string& device) const {
        return ("," + profile + ",").find("," + device + ",") != std::string::npos;
    }
};
std::vector<Shipped> manifest() {
    std::vector<Shipped> lines;
    std::ifstream in(kResources / "testers" / "manifest.txt");
    for (std::string line, more; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        Shipped& s = lines.emplace_back();
        std::istringstream words(line);
        EXPECT_TRUE(words >> s.script >> s.profile >> s.status >> s.ending >> s.rows && !(words >> more)) << line;
    }
    return lines;
}

// Each script's first line: the script on its own device.
std::vector<Shipped> ownLines(const std::vector<Shipped>& lines) {
    std::vector<Shipped> own;
    for (const Shipped& s : lines)
        if (std::none_of(own.begin(), own.end(), [&](const Shipped& o) { return o.script == s.script; }))
            own.push_back(s);
    return own;
}

// The line for the script on the device: the one naming the device, else the script's "*" line,
// else its first.
const Shipped& lineFor(const std::vector<Shipped>& lines, const std::string& script, const std::string& device) {
    const Shipped* found = nullptr;
    for (const Shipped& s : lines)
        if (s.script == script && (!found || s.isFor(device) || (s.profile == "*" && !found->isFor(device))))
            found = &s;
    return *found;
}

// The rows as the manifest writes `wanted`: "-" for none; when `wanted` counts them ("40*pass"), the
// count and the result most of them share, then each row whose result differs ("40*pass,ROOT=fail");
// else "KEY=result" joined by ",".
std::string manifestRows(const std::vector<std::string>& rows, const std::string& wanted) {
    if (rows.empty()) return "-";
    const std::size_t star = wanted.find('*');
    std::string list;
    if (star == std::string::npos) {
        for (const std::string& row : rows) list += (list.empty() ? "" : ",") + row;
        return list;
    }
    const std::string usual = wanted.substr(star + 1, wanted.find(',') - star - 1);
    list = std::to_string(rows.size()) + "*" + usual;
    for (const std::string& row : rows)
        if (!row.ends_with("=" + usual)) list += "," + row;
    return list;
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

// A run of a shipped script on a shipped device, and the manifest's line for the two.
struct MatrixRun {
    Shipped line;
    std::string profile;
    testkit::ProcessOutcome job;
    fs::path runDir;
};

// A camera row that passed, in the picture its report row names, shows what the row asks about
// across the camera's place in the middle of the screen: the test card's many colours for a pattern
// or a video, a light sheet for white; never one flat colour else.
void expectPassedCameraRowsShowWhatTheyAsk(const MatrixRun& run) {
    std::istringstream lines(run.job.output);
    for (std::string line, order, key; std::getline(lines, line);) {
        const std::size_t at = line.find(" pictures/");
        if (!(std::istringstream(line) >> order >> key) || key.find("CAMERA") == std::string::npos ||
            line.find("  pass  ") == std::string::npos || at == std::string::npos)
            continue;
        std::string why;
        const auto picture = cg::Image::createWithPNGFile((run.runDir / line.substr(at + 1)).string(), &why);
        ASSERT_TRUE(picture) << line << ": " << why;
        std::set<std::uint32_t> colours;
        std::set<int> brightness;
        for (const double down : {0.35, 0.45})
            for (double across = 0.3; across <= 0.7; across += 0.025) {
                const auto x = std::size_t(across * double(picture->width())),
                           y = std::size_t(down * double(picture->height()));
                colours.insert(picture->rasterWords()[y * picture->width() + x] & 0xFFFFFF);
                brightness.insert(testkit::brightnessAt(*picture, x, y));
            }
        EXPECT_TRUE(key.find("WHITE") != std::string::npos ? *brightness.begin() > 200 : colours.size() >= 4)
            << line << ": " << ::testing::PrintToString(brightness);
    }
}

// Runs every shipped script (several side by side) on its own device, or on every other shipped
// device; each run ends as its manifest line says (status, rows, ending, the result file), one with
// nothing to run says so and names no check as failed, and one not cut short (a stall's status 1)
// names no step as never ran; a camera script's passed row shows what it asks about.
std::vector<MatrixRun> runTheManifest(const testkit::ScratchFolder& scratch, bool onOwnDevice) {
    const std::vector<Shipped> lines = manifest();
    std::set<std::string> profiles;
    for (const auto& entry : fs::directory_iterator(kResources / "devices"))
        if (entry.path().extension() == ".json") profiles.insert(entry.path().stem().string());
    std::vector<MatrixRun> runs;
    std::vector<std::vector<std::string>> jobs;
    for (const Shipped& own : ownLines(lines))
        for (const std::string& profile : profiles) {
            if ((profile == own.profile) != onOwnDevice) continue;
            const std::string name = own.script + "@" + profile;
            runs.push_back({lineFor(lines, own.script, profile), profile, {}, scratch.path() / name});
            jobs.push_back(jobArgs(scratch, own.script, profile, {}, name, own.script.starts_with("camera-")));
        }
    std::vector<testkit::ProcessOutcome> outcomes =
        testkit::runProcesses(FUNCTIONTEST_EXECUTABLE, jobs, std::max(4u, std::thread::hardware_concurrency()));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        MatrixRun& run = runs[i];
        const Shipped& s = run.line;
        run.job = std::move(outcomes[i]);
        SCOPED_TRACE(s.script + " on " + run.profile);
        const std::string& output = run.job.output;
        EXPECT_EQ(run.job.status, s.status) << output;
        EXPECT_EQ(manifestRows(rowsOf(output), s.rows), s.rows) << output;
        EXPECT_EQ(endingOf(output), s.ending) << output;
        EXPECT_EQ(fs::exists(run.runDir / "home" / "Documents" / "functiontest_result.txt"),
                  s.ending == "result-file");
        EXPECT_EQ(output.find("  end:          nothing to run: every row the script asked for is not offered on "
                              "this device\n") != std::string::npos,
                  s.status == 4)
            << output;
        // The checks of steps said under the rows not offered count for nothing.
        if (s.status == 4) {
            EXPECT_EQ(output.find("check failed:"), std::string::npos) << output;
        }
        if (s.status != 1) {
            EXPECT_EQ(output.find("never ran:"), std::string::npos) << output;
        }
        expectPassedCameraRowsShowWhatTheyAsk(run);
    }
    return runs;
}

// Every shipped script has its line, and on its own device ends as it says; a row that did not pass
// says why under it, as its screen's Result line in app.log has it.
TEST(ScreenScripts, EveryShippedScriptEndsOnItsOwnDeviceAsItsManifestLineSays) {
    std::set<std::string> listed, files;
    for (const Shipped& s : manifest())
        listed.insert(s.script);
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
    for (const MatrixRun& run : runTheManifest(scratch, true)) {
        const Shipped& s = run.line;
        if (!whyOf.contains(s.script)) continue;
        SCOPED_TRACE(s.script);
        const std::string key = s.rows.substr(0, s.rows.find('='));
        EXPECT_EQ(lineUnder(run.job.output, key), "      why: " + whyOf.at(s.script)) << run.job.output;
        EXPECT_NE(testkit::readFile(run.runDir / "app.log").find("Result: " + key + " 2 "), std::string::npos);
    }
}

// On every other shipped device too, each shipped script ends as its manifest line says; a row the
// device does not offer is named with what the device lacks and the steps that waited for its
// screens (every other one too when nothing ran), and a step whose screen left before it was due
// says so.
TEST(ScreenScripts, EveryShippedScriptEndsOnEveryOtherShippedDeviceAsItsManifestLineSays) {
    auto notOffered = [](const std::string& key, const std::string& rest) {
        return "\n      " + key + std::string(36 - key.size(), ' ') + "not offered on this device " + rest + "\n";
    };
    const std::tuple<std::string, std::string, std::string> said[] = {
        {"vibration-pass", "ipad_wifi",
         notOffered("VIBRATION", "(no vibration motor); its step 3 did not run") +
             "      with nothing to run, step 4 did not run\n"},
        {"proximity-pass", "ipod_touch",
         notOffered("PROXIMITY_SENSOR_TEST", "(no proximity sensor); its steps 4, 5, 6, 7 did not run") +
             "      with nothing to run, steps 3, 8 did not run\n"},
        {"result-file", "iphone_xr", notOffered("HOME_KEY_TEST", "(no home key); its steps 10, 11 did not run")},
        {"default", "ipad_wifi", notOffered("RF", "(no cellular radio); its step 38 did not run")},
        {"default", "iphone7_no_network_code",
         "\n  dropped:   step 38 (the cellular radio is right: tap) waited for screen RFTestViewController (it "
         "came, and was gone when the step was due)\n"},
    };
    testkit::ScratchFolder scratch("ft-shipped-scripts");
    const std::vector<MatrixRun> runs = runTheManifest(scratch, false);
    EXPECT_GT(runs.size(), 800u);
    for (const auto& [script, device, text] : said) {
        auto run = std::find_if(runs.begin(), runs.end(),
                                [&](const MatrixRun& r) { return r.line.script == script && r.profile == device; });
        ASSERT_NE(run, runs.end()) << script << " on " << device;
        EXPECT_NE(run->job.output.find(text), std::string::npos) << run->job.output;
    }
}

// A run cut short says what was on screen, each control as a tester finds it (never by its class
// alone), the open row and the last step: the radio row's screen waiting for a Yes or No the script
// never gives (the countdown starts the row); the results screen whose buttons have no title; the
// touch grid cut by the limit mid-wipe, with the cells left; an iPad's list, whose rows' ticks have
// no title (its countdown cancelled by a tap on its HUD).
TEST(ScreenScripts, ARunCutShortNamesTheScreenOnTopWhatItAsksItsControlsTheOpenRowAndTheLastStep) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    auto withSteps = [&](const std::string& shipped, std::size_t kept) {
        nlohmann::json script = nlohmann::json::parse(testkit::readFile(kResources / "testers" / (shipped + ".json")));
        script["steps"].erase(script["steps"].begin() + long(kept), script["steps"].end());
        std::ofstream(scratch.path() / (shipped + "-cut.json")) << script.dump();
        return (scratch.path() / (shipped + "-cut")).string();
    };
    // The list's countdown cancelled by a tap on its HUD, in the middle of an iPad's screen: the run
    // stalls on the list.
    auto withCountdownCancelled = [&](const std::string& shipped) {
        nlohmann::json script = nlohmann::json::parse(testkit::readFile(kResources / "testers" / (shipped + ".json")));
        script["steps"].erase(script["steps"].begin() + 2, script["steps"].end());
        script["steps"].push_back(nlohmann::json::parse(
            R"({"on": {"screen": "RootTableViewController"}, "once": true, "after": 0.5, "actions": [
                {"do": "touch", "phase": "began", "x": 384, "y": 512},
                {"do": "touch", "phase": "ended", "x": 384, "y": 512}]})"));
        std::ofstream(scratch.path() / (shipped + "-stays.json")) << script.dump();
        return (scratch.path() / (shipped + "-stays")).string();
    };
    const std::string identity = "last step:    3.000 step 1 (identity: open url=qx://imei=***********3809&"
                                 "serial=********HG7F&product=iPhone9,1&udid=" +
                                 std::string(36, '*') + "2d3c) ran\n";
    const struct Run {
        std::string script, profile;
        std::vector<std::string> more;
        std::string shown;
    } runs[] = {
        {withSteps("rf-pass", 2), "", {},
         "  end:          stalled: the script is spent and nothing is scheduled\n"
         "  on screen:    RFTestViewController: \"Carrier: Kestrel Mobile\" \"Network type: LTE\" "
         "\"Are the carrier and the network type right?\"\n"
         "  controls:     \"Yes\" (successButton), \"No\" (failButton), back\n"
         "  row:          1 RF Cellular radio, open since 5.500 s\n  " +
             identity},
        {withSteps("water-damage-pass", 4), "", {},
         "  controls:     \"End of test\" (bottomButton), send action=saveResultFileAndExit, "
         "send action=reportToTempServer\n  last step:    7.000 step 4 (no water damage: "},
        {"touch-grid-pass", "", {"--limit", "7.3"},
         "  end:          limit reached at 7.3 s\n"
         "  on screen:    TouchScreenViewController: \"cells left: 24 of 40: row 4 columns 2-5; rows 5-8\"\n"
         "  controls:     \"Skip test\" (skipButton)\n  row:          1 TOUCH_SCREEN Touch screen, open since 6.000 s\n"},
        {withCountdownCancelled("wifi-pass"), "ipad_wifi.json", {},
         "  controls:     \"Select all\", selectionButton of the row \"Bluetooth\", selectionButton of the row "
         "\"Wi-Fi\", "},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script);
        const testkit::ProcessOutcome job = runScript(scratch, run.script, run.profile, run.more);
        EXPECT_EQ(job.status, 1) << job.output;
        EXPECT_NE(job.output.find(run.shown), std::string::npos) << job.output;
    }
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
        int status = 0;
    };
    const Run runs[] = {
        {"wifi-pass", "WIFI", "", {}, "pass", ""},
        {"wifi-fail", "WIFI", "iphone7_no_wifi.json", {}, "fail", ""},
        // Without an address the screen fails at once: gone before the script's check of the address.
        {"wifi-pass", "WIFI", "", {"--fault", "ip=refuse"}, "fail", "", 3},
        {"gps-pass", "GPS", "", {}, "pass", ""},
        {"gps-fail", "GPS", "iphone7_location_undecided.json", {}, "fail", ""},
        {"bluetooth-pass", "BLUETOOTH", "", {}, "pass", ""},
        {"bluetooth-fail", "BLUETOOTH", "", {}, "fail", "power alert shown"},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(std::string(run.script) + " " + run.profile + (run.more.empty() ? "" : " " + run.more[1]));
        const testkit::ProcessOutcome job = runScript(scratch, run.script, run.profile, run.more);
        EXPECT_EQ(job.status, run.status) << job.output;
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
    // On a phone that refuses the microphone, the alert saying so is answered in place of the No.
    nlohmann::json refused =
        nlohmann::json::parse(testkit::readFile(kResources / "testers" / "microphone-record-fail.json"));
    refused["steps"][3] = nlohmann::json::parse(R"({"on": {"alert": ""}, "once": true, "after": 1.0,
        "do": "press", "title": "BASETEST_CONTROLLER_YES"})");
    std::ofstream(scratch.path() / "microphone-refused.json") << refused.dump();
    // The recorded voice answered twice at once: the second answer stops the music as it begins.
    nlohmann::json twice = nlohmann::json::parse(testkit::readFile(kResources / "testers" / "headset-pass.json"));
    twice["steps"][5] = twice["steps"][4];
    std::ofstream(scratch.path() / "headset-twice.json") << twice.dump();
    struct Run {
        std::string script;
        const char* key;
        std::string profile;
        const char* result;
        std::vector<std::string> sounds; // the run folder's audio/
        std::string said{};              // a line of the report
    };
    const Run runs[] = {
        {"microphone-record-pass", "MAIN_MIC_TEST", "", "pass", {"001-mic-sound1.m4a.wav", "002-Speaker-sound1.m4a.wav"}},
        {(scratch.path() / "microphone-refused").string(), "MAIN_MIC_TEST", denied, "fail", {}},
        {"microphone-loop-back-pass", "MAIN_MIC_LOOPBACK_TEST", "", "pass",
         {"001-mic-sound1.m4a.wav", "002-Receiver-sound1.m4a.wav"}},
        {"headset-pass", "HEADSET_TEST", "", "pass",
         {"001-mic-sound.m4a.wav", "002-Headphones-sound.m4a.wav", "003-Headphones-sample.m4a.wav"}},
        {"headset-fail", "HEADSET_TEST", "", "fail", {"001-mic-sound.m4a.wav"}},
        {(scratch.path() / "headset-twice").string(), "HEADSET_TEST", "", "pass",
         {"001-mic-sound.m4a.wav", "002-Headphones-sound.m4a.wav"},
         "  24.000     sound \"sample.m4a\" on Headphones stopped before any of it played\n"},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script + " " + run.profile);
        const testkit::ProcessOutcome job = runScript(scratch, run.script, run.profile);
        EXPECT_EQ(job.status, 0) << job.output;
        EXPECT_EQ(resultOf(job.output, run.key), run.result) << job.output;
        std::vector<std::string> sounds;
        const fs::path audio = scratch.path() / (run.script + "0") / "audio";
        if (fs::exists(audio))
            for (const auto& entry : fs::directory_iterator(audio)) sounds.push_back(entry.path().filename().string());
        std::sort(sounds.begin(), sounds.end());
        EXPECT_EQ(sounds, run.sounds);
        EXPECT_NE(job.output.find(run.said), std::string::npos) << run.said << job.output;
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
    std::vector<Shipped> scripts = ownLines(manifest());
    std::erase_if(scripts, [](const Shipped& s) { return s.rows.find_first_of(",*") != std::string::npos; });
    testkit::ScratchFolder scratch("ft-real-time-scripts");
    std::vector<std::vector<std::string>> jobs;
    for (const Shipped& s : scripts)
        jobs.push_back(jobArgs(scratch, s.script, s.profile, {"--real-time"}));
    const std::vector<testkit::ProcessOutcome> outcomes = testkit::runProcesses(FUNCTIONTEST_EXECUTABLE, jobs);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        SCOPED_TRACE(scripts[i].script);
        EXPECT_EQ(outcomes[i].status, scripts[i].status) << outcomes[i].output;
        EXPECT_EQ(manifestRows(rowsOf(outcomes[i].output), scripts[i].rows), scripts[i].rows) << outcomes[i].output;
    }
}

} // namespace
