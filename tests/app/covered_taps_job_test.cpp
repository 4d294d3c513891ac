// A script's tap under a dialog or a HUD does not reach the screen: the step is refused, naming the
// cover, and the row it would have passed is not passed.

#include <filesystem>
#include <fstream>
#include <functional>
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

// The report's rows that passed, by key, joined by ",".
std::string passedRows(const std::string& report) {
    std::istringstream lines(report);
    std::string passed;
    for (std::string line, order, key, word; std::getline(lines, line);) {
        std::istringstream words(line);
        if (!(words >> order >> key) || order.find_first_not_of("0123456789") != std::string::npos) continue;
        while (words >> word)
            if (word == "pass") passed += (passed.empty() ? "" : ",") + key;
    }
    return passed;
}

TEST(CoveredTapsJob, ATapUnderAQuestionAnAlertASheetOrTheHUDIsRefusedAndPassesNoRow) {
    testkit::ScratchFolder scratch("ft-covered-taps");
    const fs::path testers = fs::path(FT_RESOURCES_DIR) / "testers";
    const auto script = [&](const char* as, const json& added) {
        json read = json::parse(testkit::readFile(testers / "battery-pass.json"));
        for (const json& step : added)
            read["steps"].push_back(step);
        const fs::path path = scratch.path() / (std::string(as) + ".json");
        std::ofstream(path) << read.dump();
        return path;
    };
    json undecided = json::parse(testkit::readFile(fs::path(FT_RESOURCES_DIR) / "devices" / "iphone7.json"));
    undecided["cameraAccess"] = {{"status", 0}, {"after", 30}};
    std::ofstream(scratch.path() / "camera_undecided.json") << undecided.dump();
    const json back = {{"on", {{"screen", "BatteryViewController"}}}, {"after", 0.5}, {"do", "back"}};
    const json skip = {
        {"on", {{"sheet", "What would you like to do?"}}}, {"do", "press"}, {"title", "Skip test"}};
    const struct Run {
        const char* name;
        fs::path script;
        std::string profile;
        std::string refused; // the step's failure
        std::string passed;  // the rows passed
    } runs[] = {
        {"the default script under the camera question", testers / "default.json",
         (scratch.path() / "camera_undecided.json").string(),
         "cannot tap successButton: covered by alert \"\u201CQuarnotix\u201D Would Like to Access the "
         "Camera\"",
         "VIBRATION,BLUETOOTH,WIFI,RF,ROOT,GPS,AC_USB_PLUG_TEST,COMPUTER_USB_PLUG_TEST"},
        {"a pass under the skip question", script("skipped", json::array({back, skip})), "iphone7",
         R"(cannot tap successButton: covered by alert "Quarnotix": "Skip this test? It will count as failed.")",
         ""},
        {"a pass under the back button's sheet", script("backed", json::array({back})), "iphone7",
         R"(cannot tap successButton: covered by sheet "What would you like to do?")", ""},
        {"a row under the countdown",
         script("counting", json::array({{{"on", {{"screen", "RootTableViewController"}}},
                                          {"once", true},
                                          {"after", 0.5},
                                          {"do", "tapRow"},
                                          {"row", 0}}})),
         "iphone7", R"(cannot tap row 0 of section 0: covered by HUD "Tests start soon. Tap to cancel.")",
         ""},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        app::JobOptions options;
        options.profile = run.profile;
        options.script = run.script.string();
        options.runDir = (scratch.path() / "runs" / run.script.stem()).string();
        options.pictures = false;
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        EXPECT_EQ(result.status, 1) << result.report << err.str();
        EXPECT_NE(result.report.find("failed: " + run.refused), std::string::npos) << result.report;
        EXPECT_EQ(passedRows(result.report), run.passed) << result.report;
        EXPECT_TRUE(sh::hudTextsOnScreen().empty()) << "the run's HUD outlives it";
    }
}

} // namespace
