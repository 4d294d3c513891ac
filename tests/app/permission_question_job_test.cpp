// A run on a phone whose location permission is undecided: the GPS screen's request shows the
// system's question, a picture shows it, a script answers it either way, and a run that stalls on
// it names it where it names what the tester was looking at and why the row did not end.

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

const std::string kQuestion = "Allow \u201CQuarnotix\u201D to access your location while you are using the app?";
const std::string kReason = "The GPS test checks that the device finds where it is.";
const std::vector<std::string> kQuestionTexts = {kQuestion, kReason, "Don't Allow", "Allow"};

// The report's line of the row with that key.
std::string rowLine(const std::string& report, const std::string& key) {
    std::istringstream lines(report);
    for (std::string line, order, word; std::getline(lines, line);)
        if (std::istringstream(line) >> order >> word && word == key) return line;
    return "";
}

TEST(PermissionQuestionJob, TheLocationQuestionIsPicturedAnsweredEitherWayAndNamedWhenTheRunStallsOnIt) {
    testkit::ScratchFolder scratch("ft-permission-question");
    const fs::path testers = fs::path(FT_RESOURCES_DIR) / "testers";
    // gps-pass with the question allowed before the fix comes.
    nlohmann::json allowing = nlohmann::json::parse(testkit::readFile(testers / "gps-pass.json"));
    allowing["steps"].push_back(nlohmann::json::parse(
        R"({"on": {"alert": "access your location"}, "after": 0.5, "do": "press", "title": "Allow"})"));
    std::ofstream(scratch.path() / "allowing.json") << allowing.dump();

    const struct Run {
        fs::path script;
        int status;
        const char* result;
        std::vector<std::string> lines; // of the report
    } runs[] = {
        {testers / "gps-fail.json", 0, "fail", {"      why: location access was denied\n"}},
        {scratch.path() / "allowing.json", 0, "pass", {}},
        // Nothing answers it: the row, the ending and what was on screen name the question.
        {testers / "gps-pass.json",
         1,
         "unfinished",
         {"      why: stalled: the script is spent and nothing is scheduled; unanswered: alert \"" + kQuestion +
              "\": \"" + kReason + "\"\n",
          "  on screen:    alert: \"" + kQuestion + "\" \"" + kReason + "\"\n",
          "  controls:     \"Don't Allow\", \"Allow\"\n"}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script.filename().string());
        app::JobOptions options;
        options.profile = "iphone7_location_undecided";
        options.script = run.script.string();
        options.runDir = (scratch.path() / ("run-" + run.script.stem().string())).string();
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        EXPECT_EQ(result.status, run.status) << result.report << err.str();
        EXPECT_NE(rowLine(result.report, "GPS").find(" " + std::string(run.result) + " "), std::string::npos)
            << result.report;
        for (const std::string& line : run.lines)
            EXPECT_NE(result.report.find(line), std::string::npos) << line << "\n" << result.report;
        // The question over the GPS screen, whole, in a picture of the run.
        const bool pictured =
            std::any_of(result.pictureTexts.begin(), result.pictureTexts.end(), [](const auto& picture) {
                const std::vector<std::string>& texts = picture.second;
                return std::all_of(kQuestionTexts.begin(), kQuestionTexts.end(), [&](const std::string& text) {
                    return std::find(texts.begin(), texts.end(), text) != texts.end();
                });
            });
        EXPECT_TRUE(pictured) << result.report;
    }
}

} // namespace
