// What a tester writes runs as written, through the job: a check of a button the screen hides
// fails saying so; a script whose "features" are empty ticks or taps its own rows, and a stall
// with nothing ticked says so; a step waiting for the runner to show a row this device does not
// offer is said under that row; the operators the README names log in to the in-process service.

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class ScriptReadingJob : public ::testing::Test {
protected:
    // The shipped script `name`, changed by `change` (steps added, keys replaced), run on `profile`.
    app::JobResult run(const std::string& name, const std::function<void(json&)>& change,
                       const std::string& profile = "iphone7") {
        json script =
            json::parse(testkit::readFile(fs::path(FT_RESOURCES_DIR) / "testers" / (name + ".json")));
        change(script);
        const fs::path file = scratch_.path() / (name + "-" + std::to_string(++runs_) + ".json");
        std::ofstream(file) << script.dump();
        app::JobOptions options;
        options.profile = profile;
        options.script = file.string();
        options.runDir = (scratch_.path() / ("run-" + std::to_string(runs_))).string();
        options.pictures = false;
        std::ostringstream out, err;
        app::JobResult result = app::runJob(options, out, err);
        EXPECT_EQ(err.str(), "") << result.report;
        return result;
    }
    // The login steps and the identity of a shipped script, nothing else.
    static void loginOnly(json& script) {
        json kept = json::array();
        for (const json& step : script["steps"])
            if (step.value("name", "") == "identity" || step.value("name", "") == "login")
                kept.push_back(step);
        script["steps"] = kept;
    }
    static json step(const json& on, double after, const json& actions, bool once = false) {
        json made = {{"on", on}, {"after", after}, {"actions", actions}};
        if (once) made["once"] = true;
        return made;
    }
    static bool holds(const std::string& report, const std::string& text) {
        return report.find(text) != std::string::npos;
    }

    testkit::ScratchFolder scratch_{"ft-script-reading"};
    int runs_ = 0;
};

TEST_F(ScriptReadingJob, ACheckOfAButtonTheScreenHidesFailsSayingItIsHidden) {
    const app::JobResult result = run("ac-usb-plug-fail", [](json& script) {
        script["steps"].push_back(step({{"screen", "ACUsbPlugViewController"}}, 1,
                                       {{{"do", "expect"}, {"outlet", "successButton"}, {"text", "Yes"}}}));
    });
    EXPECT_EQ(result.status, 3) << result.report;
    EXPECT_TRUE(holds(result.report, "(expect outlet=successButton text=Yes): wanted \"Yes\", saw nothing: "
                                     "successButton is hidden\n"))
        << result.report;
}

// Nothing preselected: the list offers every row unticked, and the script ticks one and starts the
// run, or taps one to run it alone; either comes back to the list, where the run stalls.
TEST_F(ScriptReadingJob, EmptyFeaturesTickNothingAndTheScriptTicksOrTapsItsOwnRows) {
    const json cancelTheCountdown = {{{"do", "touch"}, {"phase", "began"}, {"x", 187}, {"y", 400}},
                                     {{"do", "touch"}, {"phase", "ended"}, {"x", 187}, {"y", 400}}};
    json tickAndRun = cancelTheCountdown;
    tickAndRun.push_back({{"do", "tick"}, {"key", "WIFI"}});
    tickAndRun.push_back({{"do", "send"}, {"action", "onRightButtonRunAction:"}});
    const struct Case {
        const char* way;
        std::vector<json> steps;
        std::string row, end;
    } cases[] = {
        {"ticked and run",
         {step({{"screen", "RootTableViewController"}}, 0.5, tickAndRun, true)},
         "WIFI                                Wi-Fi                                       pass",
         "stalled: the script is spent and nothing is scheduled"},
        {"tapped alone", // the list's second row, after the automatic group's header
         {step({{"screen", "RootTableViewController"}}, 4, {{{"do", "tapRow"}, {"row", 1}}}, true),
          step({{"screen", "ReadyStartViewController"}}, 1, {{{"do", "tap"}, {"outlet", "startBtn"}}})},
         "VIBRATION                           Vibration                                   pass",
         "stalled: no row is ticked; no step is due; 1 step waits for a screen"},
        {"nothing ticked",
         {},
         "tests run: 0",
         "stalled: no row is ticked; the script is spent and nothing is scheduled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        const app::JobResult result = run("vibration-pass", [&](json& script) {
            loginOnly(script);
            script["features"] = json::array();
            for (const json& added : c.steps)
                script["steps"].push_back(added);
        });
        EXPECT_EQ(result.status, 1) << result.report;
        EXPECT_TRUE(holds(result.report, c.row)) << result.report;
        EXPECT_TRUE(holds(result.report, "  end:          " + c.end + "\n")) << result.report;
    }
}

// The runner shows a row's title: a step waiting for it to show "Vibration" can only come from the
// vibration row, which a Wi-Fi iPad does not offer, so it counts for nothing and is said there.
TEST_F(ScriptReadingJob, AStepOnTheRunnerShowingARowNotOfferedIsSaidUnderThatRow) {
    const app::JobResult result = run(
        "wifi-pass",
        [](json& script) {
            script["features"] = {"VIBRATION", "WIFI"};
            script["steps"].push_back(
                step({{"screen", "ReadyStartViewController"}, {"shows", "Vibration"}}, 0.5,
                     {{{"do", "expect"}, {"outlet", "testtitle"}, {"text", "Vibration"}}}));
        },
        "ipad_wifi");
    EXPECT_EQ(result.status, 0) << result.report;
    EXPECT_TRUE(holds(result.report,
                      "      VIBRATION                           not offered on this device (no vibration "
                      "motor); its step 5 did not run\n"))
        << result.report;
    EXPECT_FALSE(holds(result.report, "check failed")) << result.report;
}

// The README names the in-process service's operators, and each logs in with its password.
TEST_F(ScriptReadingJob, EachOperatorTheReadmeNamesLogsInToTheInProcessService) {
    const std::string readme = std::regex_replace(
        testkit::readFile(fs::path(FT_RESOURCES_DIR).parent_path() / "README.md"), std::regex("\\s+"), " ");
    const std::regex named("the operator `([^`]+)` with the password `([^`]+)`");
    int operators = 0;
    for (auto it = std::sregex_iterator(readme.begin(), readme.end(), named); it != std::sregex_iterator();
         ++it) {
        const std::string user = (*it)[1], password = (*it)[2];
        SCOPED_TRACE(user);
        ++operators;
        const app::JobResult result = run("power-key-pass", [&](json& script) {
            for (json& step : script["steps"])
                if (step.value("name", "") == "login") {
                    step["actions"][0]["text"] = user;
                    step["actions"][1]["text"] = password;
                }
        });
        EXPECT_EQ(result.status, 0) << result.report;
        EXPECT_TRUE(holds(result.report, "past the login screen at ")) << result.report;
    }
    EXPECT_GE(operators, 1) << "the README names no operator of the in-process service";
}

} // namespace
