// The main job as a process: bad input ends it with 2 before anything runs, a step that cannot run
// or a spent script with 1, and a run leaves its folder (home, logs, the service's files, the
// report) whatever its end.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "platform/graphics/image.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

struct ScratchFolder : testkit::ScratchFolder {
    ScratchFolder() : testkit::ScratchFolder("ft-job") {}
};

using Outcome = testkit::ProcessOutcome;

Outcome runProcess(const std::vector<std::string>& args) {
    return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, args);
}

std::string write(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
    return path.string();
}

std::string read(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MainJobArguments, BadInputIsRefusedWithAReasonBeforeAnythingStarts) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--colour"}, "unknown argument \"--colour\""},
        {{"--profile"}, "--profile needs a value"},
        {{"--limit", "0"}, "--limit needs a number"},
        {{"--limit", "1e999"}, "--limit needs a number"},
        {{"--limit", "ten"}, "--limit needs a number"},
        {{"--service", "ftp://x"}, "http or https"},
        {{"--fault", "auth=sometimes"}, "--fault auth=sometimes"},
        {{"--service", "http://127.0.0.1:1", "--fault", "auth=500"}, "not --service"},
    };
    for (const auto& [args, reason] : cases) {
        std::string error;
        bool help = true;
        EXPECT_FALSE(app::parseArguments(args, &error, &help)) << args.front();
        EXPECT_FALSE(help);
        EXPECT_NE(error.find(reason), std::string::npos) << args.front() << " gave: " << error;
    }
    std::string error;
    bool help = false;
    auto options = app::parseArguments({"--real-time", "--limit", "30", "--fault", "auth=500*1", "--fault",
                                        "all=slow:0.5", "--service", "http://127.0.0.1:9/"},
                                       &error, &help);
    EXPECT_FALSE(options); // faults and an outside service do not go together, in either order
    options = app::parseArguments({"--real-time", "--limit", "30", "--service", "http://127.0.0.1:9/"},
                                  &error, &help);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->realTime);
    EXPECT_EQ(options->limitSeconds, 30);
    EXPECT_EQ(options->service, "http://127.0.0.1:9");
}

TEST(MainJobProcess, BadProfileScriptOrFaultEndsWithStatusTwoAndMakesNoFolder) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run";
    const std::string badScript =
        write(scratch.path() / "bad.json", R"({"steps": [{"at": 1, "do": "fly"}]})");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--profile", "no_such_device"}, "the profile no_such_device"},
        {{"--script", (scratch.path() / "missing.json").string()}, "cannot read the script"},
        {{"--script", badScript}, "step 1: no action is called \"fly\""},
        {{"--fault", "nothing=500"}, "--fault nothing=500"},
    };
    for (auto [args, reason] : cases) {
        args.insert(args.end(), {"--run-dir", runDir.string()});
        Outcome outcome = runProcess(args);
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find(reason), std::string::npos) << outcome.output;
        EXPECT_FALSE(fs::exists(runDir)) << args.front();
    }
    EXPECT_EQ(runProcess({"--help"}).status, 0);
}

TEST(MainJobProcess, AStepThatCannotRunEndsWithStatusOneNamingTheStep) {
    ScratchFolder scratch;
    const std::string script = write(scratch.path() / "tap.json", R"({"name": "tap too early", "steps": [
        {"name": "too early", "at": 0, "do": "tap", "outlet": "loginButtonThatIsNot"},
        {"at": 60, "do": "open", "url": "qx://imei=1"}]})");
    Outcome outcome = runProcess({"--script", script, "--run-dir", (scratch.path() / "run").string()});
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(
        outcome.output.find("end:          step 1 (too early: tap outlet=loginButtonThatIsNot) failed: "),
        std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("virtual time: 0.000 s"), std::string::npos) << outcome.output;
}

TEST(MainJobProcess, ASpentScriptStallsWithStatusOneAndTheFolderHoldsTheRun) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run";
    const std::string script = write(scratch.path() / "spent.json", R"({"steps": [
        {"at": "launch", "do": "seed", "values": {"sessionid": "S1"}},
        {"at": 3, "do": "open", "url": "qx://imei=356938035643809&serial=F2LXK0AAHG7F"}]})");
    Outcome outcome =
        runProcess({"--script", script, "--run-dir", runDir.string(), "--profile", "iphone_xr"});
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("stalled: the script is spent and nothing is scheduled"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("intake:   3.000 s"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("profile:  iphone_xr"), std::string::npos) << outcome.output;

    EXPECT_EQ(read(runDir / "report.txt"), outcome.output);
    const std::string log = read(runDir / "app.log");
    EXPECT_NE(log.find("     3.000 parseParamAndNotify:"), std::string::npos) << log;
    EXPECT_EQ(log.find("356938035643809"), std::string::npos) << "the identity is masked in the log";
    EXPECT_TRUE(fs::exists(runDir / "device.log"));
    EXPECT_TRUE(fs::exists(runDir / "service" / "requests.log"));
    bool seeded = false;
    for (const auto& entry : fs::recursive_directory_iterator(runDir / "home" / "Library" / "Preferences"))
        if (read(entry.path()).find("S1") != std::string::npos) seeded = true;
    EXPECT_TRUE(seeded) << "the seeded defaults are in the home";
}

TEST(MainJobProcess, ASecondRunIntoTheSameFolderNameGetsAFolderOfItsOwn) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run";
    const std::string script =
        write(scratch.path() / "idle.json", R"({"steps": [{"at": 1, "do": "background"}]})");
    EXPECT_EQ(runProcess({"--script", script, "--run-dir", runDir.string()}).status, 1);
    Outcome second = runProcess({"--script", script, "--run-dir", runDir.string()});
    EXPECT_EQ(second.status, 1) << second.output;
    EXPECT_NE(second.output.find("folder:   " + runDir.string() + "-2"), std::string::npos) << second.output;
    EXPECT_TRUE(fs::exists(runDir / "report.txt"));
    EXPECT_TRUE(fs::exists(runDir.string() + "-2/report.txt"));
}

// The folder's files by path relative to it, each with its text.
std::map<std::string, std::string> filesUnder(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = read(entry.path());
    return files;
}

// The report without the lines that may differ between equal runs: wall time, paths and the
// service's port.
std::string comparable(const std::string& report, const fs::path& runDir) {
    std::string out;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (line.find("wall time:") == std::string::npos && line.find(runDir.string()) == std::string::npos &&
            line.find("service:") == std::string::npos)
            out += line + "\n";
    return out;
}

TEST(MainJobProcess, TwoEqualRunsLeaveEqualDocumentsAndReports) {
    ScratchFolder scratch;
    const std::string script = write(scratch.path() / "equal.json", R"({"steps": [
        {"at": 1, "do": "open", "url": "qx://imei=356938035643809&serial=F2LXK0AAHG7F"},
        {"at": 2, "do": "background"}, {"at": 9, "do": "foreground"}]})");
    const fs::path first = scratch.path() / "first", second = scratch.path() / "second";
    Outcome a = runProcess({"--script", script, "--run-dir", first.string()});
    Outcome b = runProcess({"--script", script, "--run-dir", second.string()});
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(filesUnder(first / "home" / "Documents"), filesUnder(second / "home" / "Documents"));
    EXPECT_EQ(filesUnder(first / "home" / "Library"), filesUnder(second / "home" / "Library"));
    EXPECT_EQ(comparable(a.output, first), comparable(b.output, second));
    EXPECT_NE(comparable(a.output, first).find("virtual time: 9.000 s"), std::string::npos) << a.output;
}

TEST(MainJobProcess, TheDefaultRunWalksEveryTestAndEndsWithTheUpdate) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run";
    Outcome outcome = runProcess({"--run-dir", runDir.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("tests run: 40; pass 0, fail 0, not tested 0, not built 40"), std::string::npos)
        << outcome.output;
    // Screens that come and go within one step (the shared camera screen) still get their rows.
    EXPECT_NE(outcome.output.find("FRONT_CAMERA_BLACK_TEST"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("update answered 200"), std::string::npos) << outcome.output;
    EXPECT_TRUE(fs::exists(runDir / "home" / "Documents" / "functiontest_config.txt"));
    const std::string transactions = read(runDir / "service" / "transactions.json");
    EXPECT_NE(transactions.find("result_value"), std::string::npos) << transactions;

    // A picture of every screen that came on top, in order, each of the iPhone's 375 x 667 points;
    // every test row names its own, and the ending counts them.
    std::vector<std::string> pictures;
    for (const auto& entry : fs::directory_iterator(runDir / "pictures")) {
        pictures.push_back(entry.path().filename().string());
        std::string why;
        auto picture = cg::Image::createWithPNGFile(entry.path().string(), &why);
        ASSERT_TRUE(picture) << pictures.back() << ": " << why;
        EXPECT_EQ(picture->width(), 375u) << pictures.back();
        EXPECT_EQ(picture->height(), 667u) << pictures.back();
    }
    std::sort(pictures.begin(), pictures.end());
    ASSERT_EQ(pictures.size(), 83u); // login, list, 40 times the runner and a test screen, results
    EXPECT_EQ(pictures.front(), "001-LoginViewController.png");
    EXPECT_EQ(pictures[1], "002-RootTableViewController.png");
    EXPECT_EQ(pictures[2], "003-ReadyStartViewController.png");
    EXPECT_EQ(pictures.back(), "083-ResultViewController.png");
    EXPECT_NE(outcome.output.find("pictures:     83 in " + (runDir / "pictures").string()), std::string::npos)
        << outcome.output;
    std::istringstream report(outcome.output);
    int named = 0;
    for (std::string line; std::getline(report, line);) {
        const auto at = line.find(" pictures/");
        if (at == std::string::npos) continue;
        const std::string picture = line.substr(at + 1);
        ++named;
        EXPECT_TRUE(fs::exists(runDir / picture)) << line;
        EXPECT_EQ(picture.find("ReadyStartViewController"), std::string::npos)
            << "the test screen's: " << line;
    }
    EXPECT_EQ(named, 40);
}

TEST(MainJobProcess, NoPicturesWritesNoneAndAFolderThatCannotBeMadeIsOneWarning) {
    ScratchFolder scratch;
    const std::string script = write(scratch.path() / "spent.json", R"({"steps": [
        {"at": 3, "do": "open", "url": "qx://imei=356938035643809&serial=F2LXK0AAHG7F"}]})");
    Outcome none =
        runProcess({"--script", script, "--run-dir", (scratch.path() / "none").string(), "--no-pictures"});
    EXPECT_EQ(none.status, 1) << none.output; // the script stalls
    EXPECT_FALSE(fs::exists(scratch.path() / "none" / "pictures"));
    EXPECT_NE(none.output.find("pictures:     off"), std::string::npos) << none.output;

    // In-process, pictures/ under a plain file: one warning, and the run ends as it would.
    write(scratch.path() / "file", "not a folder");
    app::JobOptions options;
    options.script = script;
    options.runDir = (scratch.path() / "blocked").string();
    options.picturesDir = (scratch.path() / "file" / "pictures").string();
    std::ostringstream out, err;
    const app::JobResult result = app::runJob(options, out, err);
    EXPECT_EQ(result.status, 1) << out.str();
    EXPECT_NE(result.report.find("pictures:     0 in "), std::string::npos) << result.report;
    EXPECT_NE(result.report.find("; warning: cannot make "), std::string::npos) << result.report;
    EXPECT_EQ(err.str(), "");
}

TEST(MainJobProcess, TwoDefaultRunsLeaveTheWholeRunInTheirFoldersAndDifferOnlyInWallTimeAndPaths) {
    ScratchFolder scratch;
    const fs::path first = scratch.path() / "first", second = scratch.path() / "second";
    Outcome a = runProcess({"--run-dir", first.string()});
    Outcome b = runProcess({"--run-dir", second.string()});
    ASSERT_EQ(a.status, 0) << a.output;
    ASSERT_EQ(b.status, 0) << b.output;

    const auto documents = filesUnder(first / "home" / "Documents");
    EXPECT_TRUE(documents.contains("functiontest_config.txt"));
    EXPECT_EQ(documents, filesUnder(second / "home" / "Documents"));
    EXPECT_FALSE(filesUnder(first / "home" / "Library" / "Preferences").empty()) << "the defaults";
    EXPECT_NE(read(first / "app.log").find("parseParamAndNotify:"), std::string::npos);
    nlohmann::json store = nlohmann::json::parse(read(first / "service" / "transactions.json"), nullptr, false);
    ASSERT_TRUE(store.is_object());
    ASSERT_EQ(store["transactions"].size(), 1u);
    EXPECT_EQ(store["transactions"].begin().value()["updates"].size(), 1u);
    EXPECT_EQ(comparable(a.output, first), comparable(b.output, second));
}

TEST(MainJobProcess, ScriptFeaturesNarrowTheRunToThoseRows) {
    ScratchFolder scratch;
    std::string text = read(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json");
    text.replace(text.find('{'), 1, "{\"features\": [\"WIFI\"],");
    const std::string script = write(scratch.path() / "wifi.json", text);
    Outcome outcome = runProcess({"--script", script, "--run-dir", (scratch.path() / "run").string()});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("tests run: 1; pass 0, fail 0, not tested 0, not built 1"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("WIFI"), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("FRONT_CAMERA_BLACK_TEST"), std::string::npos) << outcome.output;

    // A key the service does not know is bad input.
    text.replace(text.find("WIFI"), 4, "NO_SUCH_TEST");
    const std::string unknown = write(scratch.path() / "unknown.json", text);
    Outcome refused = runProcess({"--script", unknown, "--run-dir", (scratch.path() / "other").string()});
    EXPECT_EQ(refused.status, 2) << refused.output;
    EXPECT_NE(refused.output.find("NO_SUCH_TEST"), std::string::npos) << refused.output;
}

TEST(MainJobProcess, AnUnknownStimulusOrABadArgumentIsBadInputNamingTheStep) {
    ScratchFolder scratch;
    for (const char* step : {R"({"at": 1, "do": "key.volumeSideways"})",
                             R"({"at": 1, "do": "battery.set", "level": 1.5, "state": "full"})"}) {
        const std::string script =
            write(scratch.path() / "bad.json", std::string(R"({"name": "bad", "steps": [)") + step + "]}");
        Outcome outcome = runProcess({"--script", script, "--run-dir", (scratch.path() / "run").string()});
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("step 1"), std::string::npos) << outcome.output;
    }
}

} // namespace
