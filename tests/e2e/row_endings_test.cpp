// What the report tells a lead about how a run ended: a row that did not pass says why under it,
// as its screen's Result line in app.log has it, and a stalled run names the screen on top, what it
// shows, what a tester could use there, the open row and the last step that ran.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace row_endings {

namespace fs = std::filesystem;

const fs::path kResources = FT_RESOURCES_DIR;

testkit::ProcessOutcome runScript(const fs::path& script, const fs::path& runDir,
                                  const std::string& profile = "") {
    std::vector<std::string> args = {"--no-pictures", "--script", script.string(), "--run-dir",
                                     runDir.string()};
    if (!profile.empty()) args.insert(args.end(), {"--profile", (kResources / "devices" / profile).string()});
    return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, args);
}

// The line after the report's row for `key` ("" when there is none).
std::string lineUnder(const std::string& report, const std::string& key) {
    const std::size_t row = report.find("   " + key + " ");
    const std::size_t next = report.find('\n', row);
    if (row == std::string::npos || next == std::string::npos) return "";
    return report.substr(next + 1, report.find('\n', next + 1) - next - 1);
}

TEST(RowEndings, EachFailingScriptsRowSaysWhyUnderItAsItsResultLineHasIt) {
    struct Run {
        const char* script;
        const char* profile;
        const char* key;
        const char* why;
    };
    const Run runs[] = {
        {"battery-fail", "", "BATTERY", "answered No"},
        {"home-key-fail", "", "HOME_KEY_TEST", "timed out after 10 s waiting for the home key"},
        {"bluetooth-fail", "", "BLUETOOTH", "Bluetooth is powered off"},
        {"jailbreak-fail", "iphone7_jailbreak_expected.json", "ROOT",
         "not jailbroken, but the run expects a jailbroken phone (ROOT_DEVICE_IS_PASS)"},
        // Skipped as the run's last item: that way out logged no Result line at all.
        {"vibration-fail", "", "VIBRATION", "skipped"},
        {"rf-no-radio-tech-fail", "iphone7_no_radio_tech.json", "RF", "no current radio technology"},
        {"headset-fail", "", "HEADSET_TEST", "stopped at \"Record voice\": the headset was pulled out"},
        {"physical-key-fail", "", "PHYSICAL_KEYS_TEST",
         "timed out after 30 s waiting for Volume down key, Ring/silent switch"},
    };
    testkit::ScratchFolder scratch("ft-row-endings");
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script);
        const fs::path runDir = scratch.path() / run.script;
        const testkit::ProcessOutcome job =
            runScript(kResources / "testers" / (std::string(run.script) + ".json"), runDir, run.profile);
        EXPECT_EQ(lineUnder(job.output, run.key), std::string("      why: ") + run.why) << job.output;
        EXPECT_NE(testkit::readFile(runDir / "app.log").find(std::string("Result: ") + run.key + " 2 "),
                  std::string::npos);
    }
}

TEST(RowEndings, AStallNamesTheScreenOnTopWhatItAsksItsControlsTheOpenRowAndTheLastStep) {
    // The radio row's screen waits for a Yes or No that the script never gives; the countdown
    // starts the row.
    testkit::ScratchFolder scratch("ft-row-endings");
    const fs::path script = scratch.path() / "no-answer.json";
    std::ofstream(script) << R"({"features": ["RF"], "steps": [
        {"name": "identity", "on": {"url": "/api/udid?prefix=qx"}, "once": true, "after": 2,
         "do": "open", "url": "qx://imei=356938035643809&serial=F2LXK0AAHG7F&product=iPhone9,1"},
        {"on": {"screen": "LoginViewController"}, "once": true, "after": 1, "actions": [
          {"do": "type", "outlet": "userNameField", "text": "op1"},
          {"do": "type", "outlet": "passwordField", "text": "pw1"},
          {"do": "tap", "outlet": "loginButton"}]}]})";
    const testkit::ProcessOutcome job = runScript(script, scratch.path() / "run");
    EXPECT_EQ(job.status, 1) << job.output;
    EXPECT_NE(
        job.output.find("  end:          stalled: the script is spent and nothing is scheduled\n"
                        "  on screen:    RFTestViewController: \"Carrier: Carrier\" \"Network type: LTE\" "
                        "\"Are the carrier and the network type right?\"\n"
                        "  controls:     \"Yes\" (successButton), \"No\" (failButton), back\n"
                        "  row:          1 RF Cellular radio, open since 5.500 s\n"
                        "  last step:    3.000 step 1 (identity: open url=qx://imei=***********3809&"
                        "serial=********HG7F&product=iPhone9,1) ran\n"),
        std::string::npos)
        << job.output;
}

} // namespace row_endings
