// On a phone whose location permission is undecided, the GPS screen's request shows the system's
// question: a picture shows it, a script answers it either way, and a run stalled on it names it.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// The report's line of the row with that key.
std::string rowLine(const std::string& report, const std::string& key) {
    std::istringstream lines(report);
    for (std::string line, order, word; std::getline(lines, line);)
        if (std::istringstream(line) >> order >> word && word == key) return line;
    return "";
}

TEST(PermissionQuestionJob, TheLocationQuestionIsPicturedAnsweredEitherWayAndNamedWhenTheRunStallsOnIt) {
    const std::string question = "Allow \u201CQuarnotix\u201D to access your location while you are using the app?",
                      reason = "The GPS test checks that the device finds where it is.";
    testkit::ScratchFolder scratch("ft-permission-question");
    const fs::path testers = fs::path(FT_RESOURCES_DIR) / "testers";
    nlohmann::json allowing = nlohmann::json::parse(testkit::readFile(testers / "gps-pass.json"));
    allowing["steps"].push_back({{"on", {{"alert", "access your location"}}}, {"after", 0.5}, {"do", "press"},
                                 {"title", "Allow"}});
    std::ofstream(scratch.path() / "allowing.json") << allowing.dump();
    const struct Run {
        fs::path script;
        int status;
        const char* row; // the GPS row's result
        std::vector<std::string> lines; // of the report
    } runs[] = {
        {testers / "gps-fail.json", 0, "fail", {"      why: location access was denied\n"}},
        {scratch.path() / "allowing.json", 0, "pass", {}},
        {testers / "gps-pass.json", 1, "unfinished", // nothing answers it: the steps on the GPS and results screens wait
         {"      why: stalled: no step is due; 3 steps wait for screens; unanswered: alert \"" + question +
              "\": \"" + reason + "\"\n",
          "  on screen:    alert: \"" + question + "\" \"" + reason + "\"\n",
          "  controls:     \"Don't Allow\", \"Allow\"\n"}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script.filename().string());
        app::JobOptions options;
        options.profile = "iphone7_location_undecided";
        options.script = run.script.string();
        options.runDir = (scratch.path() / run.script.stem()).string();
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        EXPECT_EQ(result.status, run.status) << result.report << err.str();
        EXPECT_NE(rowLine(result.report, "GPS").find(std::string(" ") + run.row + " "), std::string::npos);
        for (const std::string& line : run.lines)
            EXPECT_NE(result.report.find(line), std::string::npos) << line << "\n" << result.report;
        // A picture of the run shows the question over the GPS screen, whole.
        EXPECT_TRUE(std::any_of(result.pictureTexts.begin(), result.pictureTexts.end(), [&](const auto& picture) {
            const std::vector<std::string>& texts = picture.second;
            return std::ranges::all_of(std::vector<std::string>{question, reason, "Don't Allow", "Allow", "GPS"},
                                       [&](const std::string& text) { return std::ranges::count(texts, text) > 0; });
        })) << result.report;
    }
}

} // namespace
