// A script's tap under the system's question or the list's countdown HUD, and its back under the
// application's alert, do not reach the screen: the step is refused, naming the cover, no row passes
// by it, and the HUD does not outlive the run.

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"
#include "ui/overlays/hud_texts.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(CoveredTapsJob, ATapUnderTheCameraQuestionOrTheCountdownIsRefusedAndPassesNoRow) {
    testkit::ScratchFolder scratch("ft-covered-taps");
    const fs::path resources = FT_RESOURCES_DIR;
    const auto write = [&](const std::string& name, const fs::path& from, const json& change) {
        json read = json::parse(testkit::readFile(resources / from));
        read.merge_patch(change);
        std::ofstream(scratch.path() / name) << read.dump();
        return (scratch.path() / name).string();
    };
    json steps = json::parse(testkit::readFile(resources / "testers/default.json"))["steps"];
    steps.push_back({{"on", {{"screen", "RootTableViewController"}}},
                     {"once", true},
                     {"after", 0.5},
                     {"do", "tapRow"},
                     {"row", 0}});
    json skipped = json::parse(testkit::readFile(resources / "testers/ac-usb-plug-fail.json"))["steps"];
    for (const json& step :
         {json{{"on", {{"screen", "ACUsbPlugViewController"}}}, {"once", true}, {"after", 1}, {"do", "back"}},
          json{{"on", {{"sheet", ""}}},
               {"after", 1},
               {"do", "press"},
               {"title", "BASETEST_CONTROLLER_ACTIONSHEET_SKIP"}},
          json{{"on", {{"alert", "Skip"}}}, {"after", 1}, {"do", "back"}}})
        skipped.push_back(step);
    const struct Run {
        std::string script, profile;
        std::string refused;  // the step's failure
        const char* unpassed; // the rows that must not pass
    } runs[] = {
        {(resources / "testers/default.json").string(),
         write("undecided.json", "devices/iphone7.json", {{"cameraAccess", {{"status", 0}, {"after", 30}}}}),
         R"(cannot tap successButton: covered by alert "“Quarnotix” Would Like to Access the Camera")",
         "CAMERA"},
        {write("counting.json", "testers/default.json", {{"steps", steps}}), "iphone7",
         R"(cannot tap row 0 of section 0: covered by HUD "Tests start soon. Tap to cancel.")", "VIBRATION"},
        {write("skipped.json", "testers/ac-usb-plug-fail.json", {{"steps", skipped}}), "iphone7",
         R"(cannot tap back: covered by alert "Quarnotix": "Skip this test? It will count as failed.")",
         "AC_USB"},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script);
        app::JobOptions options;
        options.profile = run.profile;
        options.script = run.script;
        options.runDir = (scratch.path() / fs::path(run.script).stem()).string();
        options.pictures = false;
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        EXPECT_EQ(result.status, 1) << result.report << err.str();
        EXPECT_NE(result.report.find("failed: " + run.refused), std::string::npos) << result.report;
        EXPECT_FALSE(
            std::regex_search(result.report, std::regex(std::string(run.unpassed) + "\\w* .* pass ")))
            << result.report;
        EXPECT_TRUE(sh::hudTextsOnScreen().empty()) << "the run's HUD outlives it";
    }
}

} // namespace
