// What a tester's script can do and check through the main job: tick one row of the list, act
// while a request is answered and not yet handled, check what the screens show (a failed check
// makes the status 3 and the run goes on), and a step that fails while a login reply is still on
// its way ends the run cleanly.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

using testkit::readFile;

// The default script's steps up to the list, and what comes after them.
const std::string kLoginSteps = R"(
    {"name": "identity", "on": {"url": "/api/udid?prefix=qx"}, "once": true, "after": 2,
     "do": "open", "url": "qx://imei=356938035643809&serial=F2LXK0AAHG7F"},
    {"name": "login", "on": {"screen": "LoginViewController"}, "once": true, "after": 1, "actions": [
      {"do": "type", "outlet": "userNameField", "text": "op1"},
      {"do": "type", "outlet": "passwordField", "text": "pw1"},
      {"do": "tap", "outlet": "loginButton"}]})";
// The default script's answers on the test screens it meets, so a run of every row reaches the end.
const std::string kScreens = R"(
    {"on": {"screen": "FillColorViewController"}, "after": 3.5, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "FillColorViewController"}, "after": 7.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "FillColorViewController"}, "after": 10.5, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "FillColorViewController"}, "after": 14.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "FillColorViewController"}, "after": 17.5, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "BrightnessViewController"}, "after": 2.5, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "HomeKeyViewController"}, "after": 3.0, "do": "key.home"},
    {"on": {"screen": "HomeKeyViewController"}, "after": 4.5, "do": "notification.open"},
    {"on": {"screen": "PowerKeyViewController"}, "after": 5.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "WaterDamgeViewController"}, "after": 1.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "PhysicalKeyViewController"}, "after": 3.0, "do": "switch.ring", "silent": true},
    {"on": {"screen": "PhysicalKeyViewController"}, "after": 4.0, "do": "key.volumeUp"},
    {"on": {"screen": "PhysicalKeyViewController"}, "after": 4.5, "do": "switch.ring", "silent": false},
    {"on": {"screen": "PhysicalKeyViewController"}, "after": 5.0, "do": "key.volumeDown"},
    {"on": {"screen": "TouchScreenViewController"}, "after": 1.0, "do": "stroke", "every": 0.02,
     "points": [[37.5, 37.5], [112.5, 37.5], [187.5, 37.5], [262.5, 37.5], [337.5, 37.5], [337.5, 112.5], [262.5, 112.5], [187.5, 112.5], [112.5, 112.5], [37.5, 112.5], [37.5, 187.5], [112.5, 187.5], [187.5, 187.5], [262.5, 187.5], [337.5, 187.5], [337.5, 262.5], [262.5, 262.5], [187.5, 262.5], [112.5, 262.5], [37.5, 262.5], [37.5, 337.5], [112.5, 337.5], [187.5, 337.5], [262.5, 337.5], [337.5, 337.5], [337.5, 412.5], [262.5, 412.5], [187.5, 412.5], [112.5, 412.5], [37.5, 412.5], [37.5, 487.5], [112.5, 487.5], [187.5, 487.5], [262.5, 487.5], [337.5, 487.5], [337.5, 562.5], [262.5, 562.5], [187.5, 562.5], [112.5, 562.5], [37.5, 562.5]]},
    {"on": {"screen": "ProximityViewController"}, "after": 1.0, "do": "proximity", "near": true},
    {"on": {"screen": "ProximityViewController"}, "after": 2.0, "do": "proximity", "near": false},
    {"on": {"screen": "ProximityViewController"}, "after": 3.0, "do": "proximity", "near": true},
    {"on": {"screen": "ProximityViewController"}, "after": 4.0, "do": "proximity", "near": false},
    {"on": {"screen": "AccelerometerViewController"}, "after": 1.02, "do": "motion.accel", "value": [0.8, 0, -1]},
    {"on": {"screen": "AccelerometerViewController"}, "after": 2.02, "do": "motion.accel", "value": [0, 0.8, -1]},
    {"on": {"screen": "AccelerometerViewController"}, "after": 3.02, "do": "motion.accel", "value": [0, 0, 0.8]},
    {"on": {"screen": "GyroscopeViewController"}, "after": 1.02, "do": "motion.gyro", "value": [0.8, 0, 0]},
    {"on": {"screen": "GyroscopeViewController"}, "after": 2.02, "do": "motion.gyro", "value": [0, 0.8, 0]},
    {"on": {"screen": "GyroscopeViewController"}, "after": 3.02, "do": "motion.gyro", "value": [0, 0, 0.8]},
    {"on": {"screen": "ACUsbPlugViewController"}, "after": 2.0, "do": "charger.plug", "kind": "ac"},
    {"on": {"screen": "ComputerUSBPlugViewController"}, "after": 1.0, "do": "charger.unplug"},
    {"on": {"screen": "ComputerUSBPlugViewController"}, "after": 2.0, "do": "charger.plug", "kind": "usb"},
    {"on": {"screen": "ComputerUSBPlugViewController"}, "after": 3.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "CameraModelViewController"}, "after": 1.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "CameraPictureViewController"}, "after": 1.0, "do": "tap", "outlet": "captureButton"},
    {"on": {"screen": "CameraPictureViewController"}, "after": 2.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "CameraVideoViewController"}, "after": 10.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "FlashModelViewController"}, "after": 1.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "RFTestViewController"}, "after": 2.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "MakeCallViewController"}, "once": true, "after": 1.0, "do": "type", "outlet": "number", "text": "5551234567"},
    {"on": {"screen": "MakeCallViewController"}, "once": true, "after": 2.0, "do": "tap", "outlet": "callButton"},
    {"on": {"screen": "MakeCallViewController"}, "once": true, "after": 3.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "SMSViewController"}, "once": true, "after": 1.0, "do": "type", "outlet": "number", "text": "5551234567"},
    {"on": {"screen": "SMSViewController"}, "once": true, "after": 2.0, "do": "tap", "outlet": "sendButton"},
    {"on": {"screen": "MFMessageComposeViewController"}, "once": true, "after": 1.0, "do": "composer.finish", "result": "sent"},
    {"on": {"screen": "SMSViewController"}, "after": 4.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "LouderSpeakerViewController"}, "after": 1.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "BatteryViewController"}, "after": 1.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "MicrophoneRecordViewController"}, "after": 7.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "MicrophoneLoopBackViewController"}, "after": 7.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "HeadsetPlugViewController"}, "after": 2.0, "actions": [{"do": "headset.plug"},
      {"do": "audio.input", "input": {"sine": {"frequency": 660, "amplitude": 0.1}}}]},
    {"on": {"screen": "HeadsetPlugViewController"}, "after": 18.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "HeadsetPlugViewController"}, "after": 20.0, "do": "tap", "outlet": "successButton"},
    {"on": {"screen": "HeadsetPlugViewController"}, "after": 22.0, "do": "headset.unplug"},
    {"on": {"screen": "GPSViewController"}, "after": 1.0, "do": "location.fix", "latitude": 51.5, "longitude": -0.12},)";
const std::string kUpdate = R"(
    {"name": "update", "on": {"screen": "ResultViewController"}, "once": true, "after": 2,
     "do": "tap", "outlet": "bottomButton"})";

class ScriptJob : public ::testing::Test {
protected:
    testkit::ProcessOutcome run(const std::string& head, const std::string& steps) {
        std::ofstream(scratch_.path() / "script.json") << "{" + head + "\"steps\": [" + steps + "]}";
        return testkit::runProcess(
            FUNCTIONTEST_EXECUTABLE,
            {"--script", (scratch_.path() / "script.json").string(), "--run-dir", runDir().string()});
    }
    fs::path runDir() const { return scratch_.path() / "run"; }

    testkit::ScratchFolder scratch_{"ft-script"};
};

TEST_F(ScriptJob, TickingOneRowAndPlayingRunsExactlyThatRow) {
    testkit::ProcessOutcome outcome = run(R"("features": ["WIFI", "GPS", "BATTERY"],)", kLoginSteps + R"(,
        {"name": "stop the countdown", "on": {"screen": "RootTableViewController"}, "once": true, "after": 0.5,
         "actions": [{"do": "touch", "phase": "began", "x": 187, "y": 400},
                     {"do": "touch", "phase": "ended", "x": 187, "y": 400}]},
        {"name": "one row", "on": {"screen": "RootTableViewController"}, "once": true, "after": 4, "actions": [
          {"do": "untick", "key": "WIFI"}, {"do": "untick", "key": "GPS"}, {"do": "tick", "key": "BATTERY"},
          {"do": "send", "action": "onRightButtonRunAction:"}]},
        {"on": {"screen": "ReadyStartViewController"}, "after": 1, "do": "tap", "outlet": "startBtn"},
        {"on": {"screen": "BatteryViewController"}, "after": 1, "do": "tap", "outlet": "successButton"})");
    EXPECT_EQ(outcome.status, 1) << outcome.output; // the list waits for more at the end
    EXPECT_NE(outcome.output.find("tests run: 1; pass 1, fail 0, not tested 0, not built 0"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("  1   BATTERY "), std::string::npos) << outcome.output;
    EXPECT_NE(readFile(runDir() / "steps.log")
                  .find("step 4 (one row: untick key=WIFI; untick key=GPS; tick key=BATTERY; "),
              std::string::npos);
}

TEST_F(ScriptJob, ChecksThatFailAreRowsOfTheReportAndMakeTheStatusThreeWhileTheRunGoesOn) {
    testkit::ProcessOutcome outcome = run("", kLoginSteps + R"(,
        {"on": {"screen": "ReadyStartViewController"}, "after": 1, "do": "tap", "outlet": "startBtn"},
        {"on": {"screen": "QuestionViewController"}, "after": 1, "do": "tap", "outlet": "successButton"},
        {"name": "look", "on": {"screen": "ResultViewController"}, "once": true, "after": 1, "actions": [
          {"do": "expect", "outlet": "failCount", "text": "Failed: 10"},
          {"do": "expect", "row": 0, "text": "Vibration"},
          {"do": "expect", "outlet": "evaluate", "text": "Trade-in estimate: 999"}]},
        {"on": {"request": "update"}, "do": "expect", "hud": true, "text": "Report the results"},)" +
                                                  kScreens + kUpdate);
    EXPECT_EQ(outcome.status, 3) << outcome.output;
    EXPECT_NE(outcome.output.find(
                  "  check failed: step 5 (look: expect outlet=failCount text=Failed: 10; expect row=0 "
                  "text=Vibration; expect outlet=evaluate text=Trade-in estimate: 999): wanted "
                  "\"Trade-in estimate: 999\", saw \"Trade-in estimate: 120\"\n"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("end:          the application ended itself"), std::string::npos);
    EXPECT_EQ(outcome.output.find("check failed: step 6"), std::string::npos)
        << "the HUD showed while the update was answered";
}

TEST_F(ScriptJob, GoingToTheBackgroundWhileTheUpdateIsAnsweredLeavesTheResultsUsable) {
    testkit::ProcessOutcome outcome = run("", kLoginSteps + R"(,
        {"on": {"screen": "ReadyStartViewController"}, "after": 1, "do": "tap", "outlet": "startBtn"},
        {"on": {"screen": "QuestionViewController"}, "after": 1, "do": "tap", "outlet": "successButton"},
        {"on": {"request": "update"}, "once": true, "do": "background"},
        {"at": 210, "actions": [{"do": "foreground"}, {"do": "tap", "outlet": "bottomButton"}]},)" +
                                                  kScreens + kUpdate);
    // The first update is cut short: its answer never reaches the screen, the HUD goes, and nothing
    // ends the process; the second one, from the same screen, is accepted and ends it.
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("reply:        update answered 200; the application: accepted"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("app exit:     0"), std::string::npos);
    EXPECT_NE(outcome.output.find("virtual time: 213.000 s"), std::string::npos) << outcome.output;
    const std::string log = readFile(runDir() / "app.log");
    EXPECT_NE(log.find("Transaction update: cut short: the application went to the background"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("   213.000 Exit with status 0"), std::string::npos) << log;
}

TEST_F(ScriptJob, AStepThatFailsWhileALoginReplyWaitsEndsTheRunWithItsReport) {
    // The insert's answer waits for the failing step, so the login's last steps run after the run
    // ended: on an application that is still there.
    testkit::ProcessOutcome outcome = run("", R"(
        {"at": "launch", "do": "seed", "values": {"uniqueid": "356938035643809"}},
        {"on": {"screen": "LoginViewController"}, "once": true, "after": 1, "actions": [
          {"do": "type", "outlet": "userNameField", "text": "op1"},
          {"do": "type", "outlet": "passwordField", "text": "pw1"},
          {"do": "tap", "outlet": "loginButton"}]},
        {"on": {"request": "insert"}, "do": "tap", "outlet": "nothingHere"})");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find(
                  "end:          step 3 (tap outlet=nothingHere) failed: LoginViewController has nothing"),
              std::string::npos)
        << outcome.output;
    EXPECT_EQ(readFile(runDir() / "report.txt"), outcome.output);
}

} // namespace
