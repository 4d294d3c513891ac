// The main job as a process: bad input ends it with 2 before anything runs, a step that cannot run
// or a spent script with 1, and a run leaves its folder (home, logs, the service's files, the
// report) whatever its end.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "platform/sim/run_text.h"
#include "app/run_folder.h"
#include "platform/foundation/clock.h"
#include "platform/graphics/image.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/sim/input_file.h"
#include "platform/text/font_backend.h"
#include "platform/uikit/application.h"
#include "tester/script_actions.h"
#include "tests/testkit/graphics/picture_brightness.h"
#include "tests/testkit/process.h"
#include "tests/testkit/reference_service.h"
#include "tests/testkit/scratch_folder.h"
#include "tools/reference_service/seed.h"

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

using testkit::readFile;

TEST(MainJobArguments, BadInputIsRefusedWithAReasonBeforeAnythingStarts) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--colour"}, "unknown argument \"--colour\""},
        {{"--profile"}, "--profile needs a value"},
        {{"--limit", "0"}, "--limit needs a number"},
        {{"--limit", "1e999"}, "--limit needs a number"},
        {{"--limit", "ten"}, "--limit needs a number"},
        {{"--service", "ftp://x"}, "http or https"},
        {{"--service", "http://"}, "with a host"},
        {{"--service", "127.0.0.1:8080"}, "absolute http or https"},
        {{"--fault", "auth=sometimes"}, "--fault: fault \"auth=sometimes\""},
        {{"--service", "http://127.0.0.1:1", "--fault", "auth=500"}, "not --service"},
        // The next option is no value; an option given twice is refused, --fault alone may be.
        {{"--profile", "--real-time"}, "--profile needs a value"},
        {{"--script", "--limit", "3"}, "--script needs a value"},
        {{"--profile", "a", "--profile", "b"}, "--profile is given more than once"},
        {{"--limit", "1", "--limit", "2"}, "--limit is given more than once"},
        {{"--real-time", "--overwrite", "--real-time"}, "--real-time is given more than once"},
        // A default folder is new: there is nothing to overwrite.
        {{"--overwrite"}, "--overwrite goes with --run-dir: a default run folder is always a new one"},
    };
    for (const auto& [args, reason] : cases) {
        std::string error;
        bool help = true;
        EXPECT_FALSE(app::parseArguments(args, &error, &help)) << args.front();
        EXPECT_FALSE(help);
        error = sim::maskedMessage(error).text(); // as the job says it
        EXPECT_NE(error.find(reason), std::string::npos) << args.front() << " gave: " << error;
    }
    std::string error;
    bool help = false;
    auto options = app::parseArguments({"--real-time", "--limit", "30", "--fault", "auth=500*1", "--fault",
                                        "all=slow:0.5", "--service", "http://127.0.0.1:9/"},
                                       &error, &help);
    EXPECT_FALSE(options); // faults and an outside service do not go together, in either order
    options = app::parseArguments({"--real-time", "--limit", "1.5", "--service", "http://127.0.0.1:9/",
                                   "--overwrite", "--run-dir", "r"},
                                  &error, &help);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->realTime);
    EXPECT_TRUE(options->overwrite);
    EXPECT_EQ(options->limitSeconds, 1.5);
    EXPECT_EQ(options->service, "http://127.0.0.1:9");
    options = app::parseArguments({"--fault", "auth=500*1", "--fault", "update=garbage"}, &error, &help);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->faults.size(), 2u);
}

// How often `part` stands in `text`.
std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

TEST(MainJobProcess, BadInputEndsWithStatusTwoNamingTheFileOnceAndTouchesNoFolder) {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    fs::create_directory(dir / "folder.json");
    ::mkfifo((dir / "fifo.json").c_str(), 0600);
    const std::string big(sim::kInputFileLimit + 1, ' ');
    const std::string profile = readFile(fs::path(FT_RESOURCES_DIR) / "devices" / "iphone7.json");
    auto profileWith = [&](const std::string& name, const std::string& from, const std::string& to) {
        std::string text = profile;
        text.replace(text.find(from), from.size(), to);
        return write(dir / name, text);
    };
    const std::string features = write(dir / "features.json", R"({"features": ["WIFI"], "steps": []})");
    fs::create_directory(dir / "taken");
    // A trigger one letter short names nothing the application has.
    std::string powerKey = readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "power-key-pass.json");
    powerKey.replace(powerKey.find("\"PowerKeyViewController\""), 24, "\"PowerKeyViewControler\"");
    // Nested 20,000 deep, the reading once overflowed the stack; a seed 1,000 deep took seconds.
    auto soundStep = [&](const std::string& name, const std::string& file) {
        return write(dir / (name + "-sound.json"),
                     R"({"steps": [{"at": 1, "do": "audio.input", "input": {"file": ")" + file + "\"}}]}");
    };
    auto seedNested = [](std::size_t depth) {
        return R"({"steps": [{"at": "launch", "do": "seed", "values": {"x": )" + std::string(depth, '[') +
               std::string(depth, ']') + "}}]}";
    };
    const struct Case {
        std::vector<std::string> args;
        std::string named; // the file the message names, once
        std::string reason;
    } cases[] = {
        {{"--profile", "no_such_device"}, "no_such_device", "no device profile named"},
        {{"--profile", (dir / "folder.json").string()},
         (dir / "folder.json").string(),
         "a folder, not a file"},
        {{"--profile", (dir / "fifo.json").string()}, (dir / "fifo.json").string(), "not a regular file"},
        {{"--profile", write(dir / "big.json", big)}, (dir / "big.json").string(), "larger than 4 MB"},
        {{"--profile", profileWith("typo.json", "headphonesPlugged", "headphonesPluged")},
         (dir / "typo.json").string(),
         "headphonesPluged: unknown key"},
        {{"--profile", profileWith("tall.json", "\"height\": 667", "\"height\": 1e20")},
         (dir / "tall.json").string(),
         "screen.height: expected a number of points from 1 to 10000"},
        {{"--profile", profileWith("twice.json", "\"model\"", "\"machine\": \"iPhone10,1\",\n  \"model\"")},
         (dir / "twice.json").string(),
         "machine: repeated key at line 3, column 3 (first at line 2, column 3)"},
        {{"--profile", profileWith("insets.json", "\"top\": 20", "\"top\": 666.9")},
         (dir / "insets.json").string(),
         "safeAreaInsets: top and bottom (666.9 and 0) leave 0.1 of the screen's 667 points of height; the "
         "application needs at least 548"},
        {{"--script", (dir / "missing.json").string()}, (dir / "missing.json").string(), "cannot be read"},
        {{"--script", (dir / "folder.json").string()},
         (dir / "folder.json").string(),
         "a folder, not a file"},
        {{"--script", (dir / "fifo.json").string()}, (dir / "fifo.json").string(), "not a regular file"},
        {{"--script", (dir / "big.json").string()}, (dir / "big.json").string(), "larger than 4 MB"},
        {{"--script", write(dir / "bad.json", R"({"steps": [{"at": 1, "do": "fly"}]})")},
         (dir / "bad.json").string(),
         "step 1: no action is called \"fly\""},
        {{"--script", write(dir / "power.json", powerKey)},
         (dir / "power.json").string(),
         "step 4: no screen is called \"PowerKeyViewControler\" (did you mean PowerKeyViewController?)"},
        // A brace that opens no variable quotes nothing of the text (a password, here).
        {{"--script",
          write(dir / "brace.json", R"({"steps": [{"at": 1, "do": "type", "outlet": "passwordField",
            "text": "Zq7{pwX9"}]})")},
         (dir / "brace.json").string(),
         "step 1: \"text\" of \"type\" has a \"{\" with no \"}\" after it"},
        {{"--script", write(dir / "request.json", R"({"steps": [{"on": {"request": "updat"}, "do": "background"}]})")},
         (dir / "request.json").string(),
         "step 1: no request is called \"updat\" (did you mean update?)"},
        {{"--script", write(dir / "spent.json", R"({"steps": [{"at": 1, "do": "back"}], "steps": []})")},
         (dir / "spent.json").string(),
         "the key \"steps\" is repeated at line 1, column 38 (first at line 1, column 2)"},
        {{"--script", write(dir / "row.json", R"({"steps": [{"at": 1, "do": "tapRow", "row": -1}]})")},
         (dir / "row.json").string(),
         "step 1: \"tapRow\": \"row\" must be a whole number of 0 or more"},
        {{"--script", write(dir / "deep.json", seedNested(20000))},
         (dir / "deep.json").string(),
         "step 1: \"values\" of \"seed\" nests deeper than 256"},
        {{"--script", write(dir / "deeper.json", seedNested(1000))},
         (dir / "deeper.json").string(),
         "step 1: \"values\" of \"seed\" nests deeper than 256"},
        {{"--script", features, "--service", "http://127.0.0.1:9"}, features, "a service given by --service"},
        {{"--fault", "nothing=500"}, "nothing=500", "--fault: fault \"nothing=500\""},
        {{"--run-dir", (dir / "taken").string()}, (dir / "taken").string(), "exists and is not a run folder"},
        {{"--run-dir", (dir / "big.json").string()}, (dir / "big.json").string(), "exists and is not a folder"},
        // A camera frame is read and checked with the profile or the script that names it.
        {{"--profile", profileWith("zero.json", R"("frame": "test-card-back.ppm")", R"("frame": "/dev/zero")")},
         "/dev/zero",
         "zero.json: cameras[0].frame: /dev/zero: not a regular file"},
        {{"--script", write(dir / "frame.json", R"({"steps": [{"at": 1, "do": "camera.frame", "frame": ")" +
                                                    (dir / "fifo.json").string() + "\"}]}")},
         (dir / "fifo.json").string(),
         "frame.json: step 1: \"camera.frame\": \"frame\": " + (dir / "fifo.json").string() + ": not a regular file"},
        {{"--script", write(dir / "late.json", R"({"steps": [{"at": 1, "do": "camera.frame", "frame": "{service}.ppm"}]})")},
         (dir / "late.json").string(),
         "step 1: \"frame\" of \"camera.frame\" names a file by {service}, known only once the run starts"},
        // So is a sound file: one that is missing, a pipe or a device is refused, not heard as silence.
        {{"--profile", profileWith("hum.json", "\"headphonesPlugged\"",
                                           R"("audio": {"input": {"file": "/dev/zero"}}, "headphonesPlugged")")},
         "/dev/zero",
         "hum.json: audio.input.file: /dev/zero: not a regular file"},
        {{"--script", soundStep("fifo", (dir / "fifo.json").string())},
         (dir / "fifo.json").string(),
         "fifo-sound.json: step 1: \"audio.input\": audio.input.file: " + (dir / "fifo.json").string() +
             ": not a regular file"},
        {{"--script", soundStep("zero", "/dev/zero")}, "/dev/zero", "audio.input.file: /dev/zero: not a regular file"},
        {{"--script", soundStep("gone", (dir / "gone.wav").string())},
         (dir / "gone.wav").string(),
         "gone.wav: cannot be read: No such file or directory"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        if (std::find(args.begin(), args.end(), "--run-dir") == args.end())
            args.insert(args.end(), {"--run-dir", (dir / "run").string()});
        Outcome outcome = runProcess(args);
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find(c.reason), std::string::npos) << outcome.output;
        EXPECT_EQ(count(outcome.output, c.named), 1u) << outcome.output;
        EXPECT_EQ(outcome.output.find("pwX9"), std::string::npos) << outcome.output;
        EXPECT_FALSE(fs::exists(dir / "run")) << c.args.back();
    }
    EXPECT_TRUE(fs::is_empty(dir / "taken"));
    EXPECT_EQ(runProcess({"--help"}).status, 0);

    // Where the host allows a mount namespace: the faces' folder empty, the run refused naming the face.
    fs::create_directory(dir / "no-fonts");
    const std::string faces(ct::kDejaVuFolder);
    Outcome faceless = testkit::runProcess(
        "unshare", {"-rm", "sh", "-c", "mount --bind \"$0\" \"$1\" && exec \"$2\" --run-dir \"$3\"",
                    (dir / "no-fonts").string(), faces, FUNCTIONTEST_EXECUTABLE, (dir / "run").string()});
    if (faceless.output.find("functiontest: ") == std::string::npos)
        GTEST_SKIP() << "no mount namespace here: " << faceless.output;
    EXPECT_EQ(faceless.status, 2) << faceless.output;
    EXPECT_EQ(count(faceless.output, faces + "DejaVuSans.ttf (Debian package fonts-dejavu-core)"), 1u)
        << faceless.output;
    EXPECT_FALSE(fs::exists(dir / "run"));
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
    EXPECT_NE(outcome.output.find("  on screen:    LoginViewController: none\n  controls:     userNameField, "
                                  "passwordField\n  last step:    none ran\n"),
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

    EXPECT_EQ(readFile(runDir / "report.txt"), outcome.output);
    const std::string log = readFile(runDir / "app.log");
    EXPECT_NE(log.find("     3.000 parseParamAndNotify:"), std::string::npos) << log;
    EXPECT_EQ(log.find("356938035643809"), std::string::npos) << "the identity is masked in the log";
    EXPECT_TRUE(fs::exists(runDir / "device.log"));
    EXPECT_TRUE(fs::exists(runDir / "service" / "requests.log"));
    bool seeded = false;
    for (const auto& entry : fs::recursive_directory_iterator(runDir / "home" / "Library" / "Preferences"))
        if (readFile(entry.path()).find("S1") != std::string::npos) seeded = true;
    EXPECT_TRUE(seeded) << "the seeded defaults are in the home";
}

// An exception out of the run (from an action of the script's own here) leaves nothing of the run in
// the process: the application is gone, and the clock, the device and the log's sink are the ones
// before, so a line logged afterwards reaches neither the run's log nor its report.
TEST(MainJobInProcess, AnExceptionOutOfTheRunLeavesNothingOfItInstalled) {
    ScratchFolder scratch;
    sim::registerScriptAction("raise", {{}, {}, {}, [](sim::Driver&, const sim::ScriptAction&, std::string*) -> bool {
                                            throw 7;
                                        }});
    app::JobOptions options;
    options.script = write(scratch.path() / "raise.json", R"({"steps": [{"at": 1, "do": "raise"}]})");
    options.runDir = (scratch.path() / "run").string();
    options.pictures = false;
    std::vector<std::string> lines;
    ns::LogSink sink = ns::setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    const std::shared_ptr<ns::Clock> clock = ns::Clock::installed();
    const std::shared_ptr<const sim::Profile> device = sim::currentDevice();
    std::ostringstream out, err;
    EXPECT_THROW(app::runJob(options, out, err), int);
    EXPECT_EQ(ui::Application::sharedApplication(), nullptr);
    EXPECT_EQ(ns::Clock::installed(), clock);
    EXPECT_EQ(sim::currentDevice(), device);
    ns::logLine("after the run");
    ns::setLogSink(std::move(sink));
    EXPECT_EQ(lines, std::vector<std::string>{"after the run"});
}

// A job holds its folder while it runs: another neither runs there nor empties it, and the first's
// report is whole. Once it has ended, --overwrite empties what it wrote, and only that, and runs
// there.
TEST(MainJobProcess, OverwriteEmptiesARunFolderAnEarlierRunMadeAndRunsThere) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run";
    app::JobOptions first;
    first.script = write(scratch.path() / "idle.json", R"({"steps": [{"at": 1, "do": "background"}]})");
    first.runDir = runDir.string();
    first.limitSeconds = 0.5;
    std::vector<std::string> args = {"--script", first.script, "--run-dir", runDir.string()};
    std::vector<std::pair<Outcome, std::string>> meanwhile;
    first.folderMade = [&](const std::string&) {
        meanwhile.emplace_back(runProcess(args), " exists and is in use by a running job\n");
        meanwhile.emplace_back(runProcess({args[0], args[1], args[2], args[3], "--overwrite"}),
                               " is in use by a running job; nothing was emptied\n");
    };
    std::ostringstream out, err;
    const app::JobResult result = app::runJob(first, out, err);
    EXPECT_EQ(result.status, 1) << result.report;
    EXPECT_EQ(readFile(runDir / "report.txt"), result.report);
    ASSERT_EQ(meanwhile.size(), 2u);
    for (const auto& [outcome, said] : meanwhile) {
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.output.find("the run folder " + runDir.string() + said), std::string::npos) << outcome.output;
    }
    Outcome again = runProcess(args);
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.output.find(" exists (--overwrite empties it and runs there)"), std::string::npos) << again.output;
    args.push_back("--overwrite");
    write(runDir / "service" / "left-over.txt", "mine");
    again = runProcess(args);
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.output.find(" holds service/left-over.txt, which its run did not write"), std::string::npos)
        << again.output;
    EXPECT_EQ(readFile(runDir / "service" / "left-over.txt"), "mine");
    fs::remove(runDir / "service" / "left-over.txt");
    Outcome outcome = runProcess(args);
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_TRUE(fs::is_regular_file(runDir / app::kRunFolderMark)) << "still a run folder";
    EXPECT_EQ(readFile(runDir / "report.txt"), outcome.output);
    EXPECT_NE(readFile(runDir / "steps.log").find("     1.000 step 1 (background) ran"), std::string::npos);
    EXPECT_NE(readFile(runDir / "device.log").find("\n     1.000 to the background"), std::string::npos);
}

// The folder's files by path relative to it, each with its text.
std::map<std::string, std::string> filesUnder(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = readFile(entry.path());
    return files;
}

// Runs the job (or `program`) from the folder `here` (a shell changes to it first).
std::vector<std::string> from(const fs::path& here, std::vector<std::string> args,
                              const std::string& program = FUNCTIONTEST_EXECUTABLE) {
    args.insert(args.begin(), {"-c", "cd \"$0\" && exec \"$@\"", here.string(), program});
    return args;
}

// A profile of the default device with the value at `pointer` replaced.
std::string profileWith(const fs::path& path, const std::string& pointer, const nlohmann::json& value) {
    nlohmann::json profile =
        nlohmann::json::parse(readFile(fs::path(FT_RESOURCES_DIR) / "devices" / "iphone7.json"));
    profile[nlohmann::json::json_pointer(pointer)] = value;
    return write(path, profile.dump());
}

// --overwrite empties only a whole run folder holding only what a run writes, never one holding
// what the run reads or where it runs, nor one reached through a link: a user's folder, the working
// folder, run folders holding the script, a frame, a sound or the device's root that the profile or
// the script names, a user's notes, a half-made folder and a link survive whole, with the reason.
TEST(MainJobProcess, OverwriteLeavesEveryOtherFolderWhole) {
    ScratchFolder scratch;
    const fs::path dir = scratch.path(), user = dir / "docs", made = dir / "made", scripts = dir / "work",
                   reads = dir / "reads", noted = dir / "noted";
    fs::create_directories(user / "sub");
    write(user / "precious.txt", "mine");
    write(user / "sub" / "y.txt", "mine too");
    const std::string idle = write(dir / "idle.json", R"({"steps": [{"at": 1, "do": "background"}]})");
    for (const fs::path& folder : {made, scripts, reads, noted}) // run folders, made by a run
        ASSERT_EQ(runProcess({"--script", idle, "--run-dir", folder.string()}).status, 1);
    const std::string inside = write(scripts / "my.json", readFile(idle)), card = (reads / "card.ppm").string(),
                      tone = write(reads / "tone.raw", std::string("\0\0", 2)), root = (reads / "root").string();
    fs::copy_file(fs::path(FT_RESOURCES_DIR) / "devices" / "test-card-back.ppm", card);
    fs::create_directories(root);
    write(noted / "notes.txt", "mine");
    fs::create_directories(dir / "half");
    write(dir / "half" / app::kRunFolderMark, "");
    fs::create_directory_symlink(made, dir / "link");
    const std::string frameProfile = profileWith(dir / "frame.json", "/cameras/0/frame", card),
                      soundProfile = profileWith(dir / "sound.json", "/audio/input", {{"file", tone}}),
                      rootProfile = profileWith(dir / "root.json", "/deviceRoot", root),
                      frameScript = write(dir / "step.json", R"({"steps": [{"at": 1, "do": "camera.frame", )"
                                                             R"("frame": ")" + card + "\"}]}");
    const struct Case {
        fs::path folder;
        std::vector<std::string> args;
        std::string reason;
        fs::path here = {}; // the working folder, when not the scratch folder
    } cases[] = {
        {user, {"--run-dir", "docs/sub/.."}, "docs has no .functiontest-run"},
        {made, {"--run-dir", "."}, "the run folder . is the working folder (" + made.string(), made},
        {scripts, {"--script", inside, "--run-dir", "work"}, "work holds the script"},
        {reads, {"--profile", frameProfile, "--run-dir", "reads"}, "reads holds a camera frame of the profile (" + card},
        {reads, {"--script", frameScript, "--run-dir", "reads"}, "holds the camera frame of step 1 of the script"},
        {reads, {"--profile", soundProfile, "--run-dir", "reads"}, "reads holds the sound file of the profile"},
        {reads, {"--profile", rootProfile, "--run-dir", "reads"}, "reads holds the device root of the profile"},
        {noted, {"--run-dir", "noted"}, "noted holds notes.txt, which its run did not write: move it out or remove it"},
        {dir / "half", {"--run-dir", "half"}, "half has a .functiontest-run that is not whole (empty)"},
        {made, {"--run-dir", "link/"}, "the run folder link is a link to " + made.string() + ": a run folder"},
    };
    for (const Case& c : cases) {
        const auto before = filesUnder(c.folder);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--overwrite", "--no-pictures"});
        if (std::find(args.begin(), args.end(), "--script") == args.end()) args.insert(args.end(), {"--script", idle});
        Outcome outcome = testkit::runProcess("/bin/sh", from(c.here.empty() ? dir : c.here, args));
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find(c.reason), std::string::npos) << outcome.output;
        EXPECT_TRUE(filesUnder(c.folder) == before) << c.folder;
    }
}

const std::string kBatteryPass = (fs::path(FT_RESOURCES_DIR) / "testers" / "battery-pass.json").string();

// The frames a profile and a script name are decoded as they are read: the camera and the step
// show that image though the file is gone by the time they do.
TEST(MainJobProcess, AFrameShowsAsItWasReadThoughItsFileIsGone) {
    ScratchFolder scratch;
    const fs::path back = scratch.path() / "back.ppm", front = scratch.path() / "front.ppm";
    for (const fs::path& card : {back, front})
        fs::copy_file(fs::path(FT_RESOURCES_DIR) / "devices" / "test-card-back.ppm", card);
    // The script's own frame for the back camera left out: the profile's shows.
    nlohmann::json script =
        nlohmann::json::parse(readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "camera-preview-pass.json"));
    nlohmann::json& steps = script["steps"];
    steps.erase(std::remove_if(steps.begin(), steps.end(),
                               [](const nlohmann::json& step) { return step.value("do", "") == "camera.frame"; }),
                steps.end());
    steps.insert(steps.begin(), nlohmann::json::object({{"at", 0.5}, {"do", "camera.frame"}, {"position", "front"},
                                                        {"frame", front.string()}}));
    app::JobOptions options;
    options.profile = profileWith(scratch.path() / "profile.json", "/cameras/0/frame", back.string());
    options.script = write(scratch.path() / "preview.json", script.dump());
    options.runDir = (scratch.path() / "run").string();
    options.folderMade = [&](const std::string&) { fs::remove(back), fs::remove(front); };
    std::ostringstream out, err;
    const app::JobResult result = app::runJob(options, out, err);
    EXPECT_EQ(result.status, 0) << result.report << err.str();
    EXPECT_EQ(readFile(scratch.path() / "run" / "device.log").find("camera frame:"), std::string::npos);
}

// A script is read once, with the device's values, before any folder is touched: one refused for a
// value of the device (the Wi-Fi iPad has no SIM, so "{carrier.name}" is empty, no service id) leaves
// the run --overwrite names byte for byte, and makes no new folder.
TEST(MainJobProcess, AScriptRefusedForTheDevicesValuesTouchesNoFolder) {
    ScratchFolder scratch;
    const fs::path run = scratch.path() / "run", fresh = scratch.path() / "fresh";
    ASSERT_EQ(runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", run.string()}).status, 0);
    const auto before = filesUnder(run);
    const std::string script = write(scratch.path() / "sim.json", R"({"steps": [{"at": 1, "do": "carrier.set",
        "carrier": {"name": "Kestrel", "mcc": "310", "mnc": "410", "services": [{"id": "{carrier.name}"}]}}]})");
    for (const auto& [folder, overwrite] : {std::pair{run, true}, std::pair{fresh, false}}) {
        std::vector<std::string> args = {"--profile", "ipad_wifi", "--script", script, "--run-dir", folder.string()};
        if (overwrite) args.push_back("--overwrite");
        const Outcome outcome = runProcess(args);
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("sim.json: step 1: \"carrier.set\": carrier.services[0].id: expected text"),
                  std::string::npos)
            << outcome.output;
    }
    EXPECT_TRUE(filesUnder(run) == before);
    EXPECT_FALSE(fs::exists(fresh));
}

// A frame file is decoded once however many steps name it: a run whose 60 steps name one 1920x1080
// frame holds hardly more memory at its peak than one whose single step does (each decoded copy
// would be 6 MB more).
TEST(MainJobProcess, AFrameFileNamedBySixtyStepsIsDecodedOnce) {
    ScratchFolder scratch;
    const std::string frame = write(scratch.path() / "hd.ppm", "P6\n1920 1080\n255\n" + std::string(1920 * 1080 * 3, '\x40'));
    auto peakWith = [&](int steps) {
        std::string text = R"({"steps": [)";
        for (int i = 0; i < steps; ++i)
            text += std::string(i ? "," : "") + R"({"at": 1, "do": "camera.frame", "frame": ")" + frame + "\"}";
        const std::string script = write(scratch.path() / (std::to_string(steps) + ".json"), text + "]}");
        const fs::path run = scratch.path() / ("run" + std::to_string(steps));
        const Outcome outcome = runProcess({"--no-pictures", "--script", script, "--run-dir", run.string()});
        EXPECT_EQ(outcome.status, 1) << outcome.output; // the script spent on the login screen
        return static_cast<double>(outcome.peakKilobytes);
    };
    const double one = peakWith(1), sixty = peakWith(60);
    EXPECT_LT(sixty, 1.2 * one) << sixty << " kB against " << one << " kB";
}

// --overwrite removes all or nothing: an entry it cannot remove (in a folder the job may not write;
// an immutable file) is named, and the old run stays whole. Run as nobody when the test is root.
TEST(MainJobProcess, AnEntryOverwriteCannotRemoveLeavesTheOldRunWholeAndIsNamed) {
    ScratchFolder scratch;
    const fs::path run = scratch.path() / "run";
    std::vector<std::string> job = {"--no-pictures", "--script", kBatteryPass, "--run-dir", run.string()};
    // As root, both runs are another user's, whom permissions bind (a change of owner would be a
    // change of the run's files).
    const bool root = ::geteuid() == 0;
    if (root) {
        fs::permissions(scratch.path(), fs::perms::others_all, fs::perm_options::add);
        job.insert(job.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", FUNCTIONTEST_EXECUTABLE});
    }
    ASSERT_EQ(testkit::runProcess(root ? "setpriv" : FUNCTIONTEST_EXECUTABLE, job).status, 0);
    job.push_back("--overwrite");
    const struct Case {
        std::string setUp, undo, named;
        bool rootOnly;
    } cases[] = {
        {"chmod a-w home", "chmod u+w home", "home: Permission denied", false},
        {"chattr +i home/Documents/functiontest_config.txt", "chattr -i home/Documents/functiontest_config.txt",
         "home/Documents/functiontest_config.txt: Operation not permitted (it is immutable)", true},
    };
    auto inRun = [&](const std::string& command) {
        return testkit::runProcess("/bin/sh", {"-c", "cd \"$0\" && " + command, run.string()}).status;
    };
    for (const Case& c : cases) {
        if (c.rootOnly && !root) continue;
        ASSERT_EQ(inRun(c.setUp), 0) << c.setUp;
        const auto before = filesUnder(run);
        const Outcome outcome = testkit::runProcess(root ? "setpriv" : FUNCTIONTEST_EXECUTABLE, job);
        inRun(c.undo);
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("the run folder " + run.string() + " cannot be emptied whole: " + c.named),
                  std::string::npos)
            << outcome.output;
        EXPECT_TRUE(filesUnder(run) == before) << c.named;
    }
}

// The folder --overwrite empties is the one it checked, and nothing is removed across a mount: a
// folder swapped, the moment after its checks, for a link to another run's folder or for that
// folder, and a folder with another mounted inside, are refused and stay whole.
TEST(MainJobProcess, OverwriteNeverFollowsASwapNorCrossesAMount) {
    ScratchFolder scratch;
    const fs::path dir = scratch.path(), run = dir / "run", other = dir / "other", aside = dir / "aside";
    for (const fs::path& folder : {run, other})
        ASSERT_EQ(runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", folder.string()}).status, 0);
    const auto otherFiles = filesUnder(other);
    const struct Case {
        std::function<void()> swap, back;
        std::string said;
    } swaps[] = {
        {[&] { fs::rename(run, aside), fs::create_directory_symlink(other, run); }, [&] { fs::remove(run); },
         " was replaced by a link or a file as it was checked; nothing was emptied"},
        {[&] { fs::rename(run, aside), fs::rename(other, run); }, [&] { fs::rename(run, other); },
         " was replaced by another folder as it was checked; nothing was emptied"},
    };
    for (const Case& c : swaps) {
        std::string why;
        EXPECT_FALSE(app::makeRunFolder({run.string(), "", true, {}, c.swap, {}}, &why));
        why = sim::maskedMessage(why).text(); // as the job says it
        EXPECT_NE(why.find("--overwrite: the run folder " + run.string() + c.said), std::string::npos) << why;
        c.back();
        fs::rename(aside, run);
        EXPECT_TRUE(filesUnder(other) == otherFiles);
    }

    // Where the host allows a mount namespace: another run's folder mounted at audio/ of this one.
    fs::create_directory(run / "audio");
    const auto runFiles = filesUnder(run);
    const Outcome mounted = testkit::runProcess(
        "unshare", {"-rm", "sh", "-c", "mount --bind \"$0\" \"$1/audio\" && exec \"$2\" --run-dir \"$1\" --overwrite",
                    other.string(), run.string(), FUNCTIONTEST_EXECUTABLE});
    if (mounted.output.find("functiontest: ") == std::string::npos)
        GTEST_SKIP() << "no mount namespace here: " << mounted.output;
    EXPECT_EQ(mounted.status, 2);
    EXPECT_NE(mounted.output.find("audio: another file system is mounted there"), std::string::npos) << mounted.output;
    EXPECT_TRUE(filesUnder(other) == otherFiles);
    EXPECT_TRUE(filesUnder(run) == runFiles);
}

// --overwrite removes what its run's record names and nothing else: a user's file, link or folder at
// any depth under the run's entries, an earlier run made inside, a folder where the run wrote a
// file, a picture annotated since, a file moved away and back: each is refused and named, and every
// byte stays (the sounds' folder as the others, in the record's properties).
TEST(MainJobProcess, OverwriteRefusesAnythingItsRunDidNotWriteAtAnyDepth) {
    ScratchFolder scratch;
    const fs::path run = scratch.path() / "run";
    const std::vector<std::string> job = {"--script", kBatteryPass, "--run-dir", run.string(), "--overwrite"};
    ASSERT_EQ(runProcess({job[0], job[1], job[2], job[3]}).status, 0);
    const std::string inner = (scratch.path() / "run" / "home" / "old").string();
    const struct Case {
        std::function<void()> add, undo;
        std::string named;
    } cases[] = {
        {[&] { write(run / "pictures" / "notes.txt", "mine"); }, [&] { fs::remove(run / "pictures" / "notes.txt"); },
         "pictures/notes.txt"},
        {[&] { write(run / "home" / "Documents" / "notes.txt", "mine"); },
         [&] { fs::remove(run / "home" / "Documents" / "notes.txt"); }, "home/Documents/notes.txt"},
        {[&] { write(run / "service" / "notes.txt", "mine"); }, [&] { fs::remove(run / "service" / "notes.txt"); },
         "service/notes.txt"},
        {[&] { fs::create_symlink("/etc", run / "home" / "link"); }, [&] { fs::remove(run / "home" / "link"); },
         "home/link"},
        {[&] { runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", inner}); },
         [&] { fs::remove_all(inner); }, "home/old"},
    };
    for (const Case& c : cases) {
        c.add();
        const auto before = filesUnder(run);
        const Outcome outcome = runProcess(job);
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("the run folder " + run.string() + " holds " + c.named + ", "), std::string::npos)
            << outcome.output;
        EXPECT_TRUE(filesUnder(run) == before) << c.named;
        c.undo();
    }
    const Outcome whole = runProcess(job);
    EXPECT_EQ(whole.status, 0) << "with all of it taken away again, the run is as it recorded it: " << whole.output;

    // A file of the run changed, however it is put back after (its size, its times, its name): its
    // change time tells. Each in a run of its own.
    const struct Spoiled {
        std::function<std::string()> spoil; // answers the file it changed
    } spoiled[] = {
        {[&] {
             fs::rename(run / "report.txt", scratch.path() / "report.txt");
             fs::create_directory(run / "report.txt");
             return std::string("report.txt");
         }},
        {[&] {
             fs::rename(run / "report.txt", scratch.path() / "report.txt");
             fs::rename(scratch.path() / "report.txt", run / "report.txt");
             return std::string("report.txt");
         }},
        {[&] {
             const std::string picture = "pictures/" + fs::directory_iterator(run / "pictures")->path().filename().string();
             const auto written = fs::last_write_time(run / picture);
             write(run / picture, readFile(run / picture) + "annotated");
             fs::resize_file(run / picture, fs::file_size(run / picture) - 9);
             fs::last_write_time(run / picture, written);
             return picture;
         }},
    };
    for (const Spoiled& c : spoiled) {
        fs::remove_all(run);
        ASSERT_EQ(runProcess({job[0], job[1], job[2], job[3]}).status, 0);
        const std::string changed = c.spoil();
        const auto before = filesUnder(run);
        const Outcome outcome = runProcess(job);
        EXPECT_NE(outcome.output.find(" holds " + changed + ", changed since its run wrote it"), std::string::npos)
            << outcome.output;
        EXPECT_TRUE(filesUnder(run) == before);
    }
}

// A folder a job holds is refused however it is reached and whatever becomes of its mark: a
// running job's folder nested in the one --overwrite names, a folder whose mark is copied and
// moved back over itself while its job runs, a folder being made (held, not marked yet).
TEST(MainJobProcess, AFolderAJobHoldsIsRefusedWhereverItIsAndWhateverBecomesOfItsMark) {
    ScratchFolder scratch;
    const fs::path live = scratch.path() / "live", inner = live / "home" / "inner", held = scratch.path() / "held",
                   making = scratch.path() / "making";
    ASSERT_EQ(runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", live.string()}).status, 0);
    auto overwrite = [&](const fs::path& folder) {
        return runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", folder.string(), "--overwrite"});
    };
    const struct Case {
        fs::path runs;                       // where a job runs meanwhile
        std::function<void()> meanwhile;     // what is done to it then
        fs::path overwritten;                // the folder --overwrite names then
        std::string said;
    } cases[] = {
        {inner, [] {}, live, " holds home/inner, the folder of a running job; nothing was emptied"},
        {held,
         [&] {
             fs::copy_file(held / app::kRunFolderMark, scratch.path() / "copy");
             fs::rename(scratch.path() / "copy", held / app::kRunFolderMark);
         },
         held, " is in use by a running job; nothing was emptied"},
    };
    for (const Case& c : cases) {
        const auto before = filesUnder(c.overwritten);
        std::optional<Outcome> outcome;
        app::JobOptions options;
        options.script = kBatteryPass;
        options.pictures = false;
        options.runDir = c.runs.string();
        options.folderMade = [&](const std::string&) {
            c.meanwhile();
            outcome = overwrite(c.overwritten);
        };
        std::ostringstream out, err;
        EXPECT_EQ(app::runJob(options, out, err).status, 0) << err.str();
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->status, 2);
        EXPECT_NE(outcome->output.find("the run folder " + c.overwritten.string() + c.said), std::string::npos)
            << outcome->output;
        EXPECT_EQ(readFile(c.runs / "report.txt"), out.str()) << "the job that held it ran whole";
        const auto after = filesUnder(c.overwritten);
        for (const auto& [path, text] : before) // what the job running there wrote may come beside it
            EXPECT_EQ(after.count(path) ? after.at(path) : "(gone)", text) << path;
    }
    const Outcome after = overwrite(live);
    EXPECT_NE(after.output.find(" holds home/inner, the folder of another run: move it out"), std::string::npos)
        << after.output;

    fs::create_directory(making);
    const int maker = ::open(making.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(maker, LOCK_EX), 0);
    for (const bool withOverwrite : {false, true}) {
        const Outcome outcome = withOverwrite ? overwrite(making) : runProcess({"--run-dir", making.string()});
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.output.find(making.string() + (withOverwrite ? " " : " exists and ") +
                                      "is being made by another job"),
                  std::string::npos)
            << outcome.output;
    }
    ::close(maker);
}

// Everything of a run goes into the folder its job holds: swapped for a link to another run's
// folder the moment after it is made, the run writes all of itself into the folder it holds, and
// nothing into the link's target.
TEST(MainJobProcess, AFolderSwappedForALinkAfterItIsMadeGetsTheWholeRunAndTheLinkNothing) {
    ScratchFolder scratch;
    const fs::path run = scratch.path() / "run", other = scratch.path() / "other", aside = scratch.path() / "aside";
    ASSERT_EQ(runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", other.string()}).status, 0);
    const auto otherFiles = filesUnder(other);
    app::JobOptions options;
    options.runDir = run.string();
    options.folderMade = [&](const std::string&) {
        fs::rename(run, aside);
        fs::create_directory_symlink(other, run);
    };
    std::ostringstream out, err;
    const app::JobResult result = app::runJob(options, out, err);
    EXPECT_EQ(result.status, 0) << err.str();
    EXPECT_TRUE(filesUnder(other) == otherFiles);
    EXPECT_EQ(readFile(aside / "report.txt"), result.report);
    for (const char* entry : {"app.log", "steps.log", "device.log", "home/Library/Preferences", "service/transactions.json",
                              "pictures", "audio"})
        EXPECT_TRUE(fs::exists(aside / entry)) << entry;
    const std::string pictures = std::to_string(std::distance(fs::directory_iterator(aside / "pictures"), {}));
    EXPECT_NE(result.report.find("pictures:     " + pictures + " in " + run.string() + "/pictures"), std::string::npos)
        << "as many pictures as the report says, where it says: " << result.report;
}

// A file of the run that cannot be written whole ends the run with status 5, named on stderr and in
// the report, and none of it stays: pictures and sounds over the file size limit, and (where the
// host allows a mount) a small file system that fills during the run.
TEST(MainJobProcess, AFileThatCannotBeWrittenWholeEndsWithStatusFiveAndLeavesNoneOfIt) {
    ScratchFolder scratch;
    // After the job, in the same shell: the status, each empty file but the locks, and each
    // picture cut short (a whole one ends with its IEND chunk).
    const std::string look = "; echo \"status $?\"; find r -type f -empty ! -name .lock ! -name .functiontest-lock -printf 'empty %p\\n';"
                             " for f in r/pictures/*.png; do tail -c 8 \"$f\" | grep -q IEND || echo \"cut $f\"; done";
    const struct Case {
        std::string program, shell, said;
    } cases[] = {
        {"bash", "trap '' XFSZ; ulimit -f 100; cd \"$0\" && \"$1\" --run-dir r" + look,
         "functiontest: cannot write pictures/"},
        {"unshare", "mount -t tmpfs -o size=2m tmpfs \"$0\" && cd \"$0\" && \"$1\" --run-dir r" + look,
         "No space left on device"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-c", c.shell, scratch.path().string(), FUNCTIONTEST_EXECUTABLE};
        if (c.program == "unshare") args.insert(args.begin(), {"-rm", "sh"});
        const Outcome outcome = testkit::runProcess(c.program, args);
        if (c.program == "unshare" && outcome.output.find("functiontest") == std::string::npos)
            GTEST_SKIP() << "no mount namespace here: " << outcome.output;
        EXPECT_NE(outcome.output.find("status 5\n"), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find(c.said), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find("  not written:  "), std::string::npos) << outcome.output;
        EXPECT_EQ(outcome.output.find("\nempty "), std::string::npos) << outcome.output;
        EXPECT_EQ(outcome.output.find("\ncut "), std::string::npos) << outcome.output;
    }
}

// A run folder's name is made lexically normal before anything is made, and a link is refused
// however it is spelled: "lnk/." with --overwrite leaves the run it leads to whole, "nox/../y" makes
// y and no nox, and a name that is not UTF-8 runs, shown spelled out, and is emptied again.
TEST(MainJobProcess, ARunFolderNameIsNormalBeforeAnythingIsMadeAndMayHoldAnyByte) {
    ScratchFolder scratch;
    const fs::path dir = scratch.path(), made = dir / "made";
    ASSERT_EQ(runProcess({"--no-pictures", "--script", kBatteryPass, "--run-dir", made.string()}).status, 0);
    fs::create_directory_symlink(made, dir / "lnk");
    const auto madeFiles = filesUnder(made);
    const struct Case {
        std::vector<std::string> args;
        int status;
        std::string said;
        fs::path there, absent = {};
    } cases[] = {
        {{"--run-dir", "lnk/.", "--overwrite"}, 2, "the run folder lnk is a link to " + made.string(), made / "report.txt"},
        {{"--run-dir", "nox/../y"}, 0, "folder:   " + (dir / "y").string() + " (", dir / "y" / "report.txt", dir / "nox"},
        {{"--run-dir", "r\xe9"}, 0, "folder:   " + (dir / "r").string() + "\\xE9 (", dir / "r\xe9" / "report.txt"},
        {{"--run-dir", "r\xe9", "--overwrite"}, 0, "tests run: 1; pass 1", dir / "r\xe9" / "report.txt"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--no-pictures", "--script", kBatteryPass};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome outcome = testkit::runProcess("/bin/sh", from(dir, args));
        EXPECT_EQ(outcome.status, c.status) << outcome.output;
        EXPECT_NE(outcome.output.find(c.said), std::string::npos) << outcome.output;
        EXPECT_TRUE(fs::exists(c.there)) << c.there;
        EXPECT_TRUE(c.absent.empty() || !fs::exists(c.absent)) << c.absent;
    }
    EXPECT_TRUE(filesUnder(made) == madeFiles);
}

// Makes `depth` folders "d", each in the one before, under `folder`.
void makeDeepTree(const fs::path& folder, int depth) {
    int at = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && at >= 0; ++i) {
        const int inner = ::mkdirat(at, "d", 0755) == 0 ? ::openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(at);
        at = inner;
    }
    ASSERT_GE(at, 0);
    ::close(at);
}

// --overwrite walks a tree of any depth with the same few descriptors: 20,000 folders deep, a
// user's tree added after the run, or while the job held its folder, is refused and named. In memory where the host has a file system there (a disk makes and
// removes such a tree slowly), and removed by a tool that walks any depth.
TEST(MainJobProcess, OverwriteWalksATreeTwentyThousandFoldersDeep) {
    std::error_code ec;
    std::string pattern = (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                               ? fs::path("/dev/shm")
                               : fs::temp_directory_path()) /
                          "ft-deep-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    const std::unique_ptr<const char, std::function<void(const char*)>> removed(
        pattern.c_str(), [](const char* folder) { testkit::runProcess("rm", {"-rf", folder}); });
    const fs::path run = fs::path(pattern) / "run";
    const std::vector<std::string> job = {"--no-pictures", "--script", kBatteryPass, "--run-dir", run.string()};
    std::vector<std::string> again = job;
    again.push_back("--overwrite");
    ASSERT_EQ(runProcess(job).status, 0);
    makeDeepTree(run / "home", 20000);
    Outcome outcome = runProcess(again);
    EXPECT_EQ(outcome.status, 2) << outcome.output;
    EXPECT_NE(outcome.output.find(" holds home/d, which its run did not write"), std::string::npos) << outcome.output;
    ASSERT_EQ(testkit::runProcess("rm", {"-rf", (run / "home" / "d").string()}).status, 0);
    EXPECT_EQ(runProcess(again).status, 0) << "the run as it was recorded";

    // A tree a person makes in the folder as the run goes is theirs: the run writes beside it, and
    // --overwrite refuses it, all of it kept.
    app::JobOptions options;
    options.script = kBatteryPass;
    options.pictures = false;
    options.runDir = run.string();
    options.overwrite = true;
    options.folderMade = [&](const std::string&) {
        fs::create_directory(run / "home");
        makeDeepTree(run / "home", 20000);
    };
    std::ostringstream out, err;
    EXPECT_EQ(app::runJob(options, out, err).status, 0) << err.str();
    outcome = runProcess(again);
    EXPECT_EQ(outcome.status, 2) << outcome.output;
    EXPECT_NE(outcome.output.find(" holds home, which its run did not write"), std::string::npos) << outcome.output;
    EXPECT_TRUE(fs::exists(run / "home" / "d"));
}

// bash scripts/run builds in the project and runs the program from the caller's folder: a relative
// --script and --run-dir, the default runs/ and the working folder --overwrite keeps are the
// caller's; called through a link, it finds the project all the same. Only where the test's program
// is the one the script builds.
TEST(MainJobProcess, TheRunScriptTakesEveryPathFromTheCallersFolder) {
    const fs::path project = fs::path(FT_RESOURCES_DIR).parent_path();
    std::error_code ec;
    if (!fs::equivalent(FUNCTIONTEST_EXECUTABLE, project / "build" / "app" / "functiontest", ec))
        GTEST_SKIP() << "the program under test is not the one scripts/run builds";
    ScratchFolder scratch;
    const fs::path dir = scratch.path(), mine = dir / "mine.json", x = dir / "x", linked = dir / "run-link";
    fs::copy_file(kBatteryPass, mine);
    fs::create_symlink(project / "scripts" / "run", linked);
    const struct Case {
        fs::path here;
        std::vector<std::string> args;
        int status;
        std::string said;
        fs::path made;
        fs::path script = {}; // when not scripts/run itself
    } cases[] = {
        {dir, {"--script", "mine.json", "--run-dir", "x"}, 0, "script:   " + mine.string(), x / "report.txt"},
        {dir, {"--script", "mine.json"}, 0, "folder:   " + (dir / "runs").string(), dir / "runs"},
        {x, {"--script", mine.string(), "--run-dir", x.string(), "--overwrite"}, 2, "is the working folder", x},
        {dir, {"--script", "mine.json", "--run-dir", "y"}, 0, "script:   " + mine.string(), dir / "y", linked},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {(c.script.empty() ? project / "scripts" / "run" : c.script).string(),
                                         "--no-pictures"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome outcome = testkit::runProcess("/bin/sh", from(c.here, args, "bash"));
        EXPECT_EQ(outcome.status, c.status) << outcome.output;
        EXPECT_NE(outcome.output.find(c.said), std::string::npos) << outcome.output;
        EXPECT_TRUE(fs::exists(c.made)) << c.made;
    }
}

// What the job says of its folder is what it found, control characters spelled out, and a refusal
// or a full disk leaves nothing of it: --overwrite without a folder to empty, "x/.." (the working
// folder, x or no x), a mark or a report that cannot be written whole. The head names the profile
// file read.
TEST(MainJobProcess, WhatTheJobSaysOfItsFolderIsTrueAndARefusalLeavesNothing) {
    ScratchFolder scratch;
    const fs::path dir = scratch.path();
    fs::copy_file(fs::path(FT_RESOURCES_DIR) / "devices" / "iphone7.json", dir / "iphone7.json");
    std::string steps = R"({"at": 1, "do": "background"})"; // and steps that never run, for a longer report
    for (int i = 0; i < 8; ++i)
        steps += R"(, {"on": {"screen": "ResultViewController"}, "do": "background"})";
    const std::string idle = write(dir / "idle.json", R"({"steps": [)" + steps + "]}");
    const struct Case {
        std::string fileLimit; // ulimit -f, in KB
        std::vector<std::string> args;
        int status;
        std::string said;
        fs::path absent = {}; // what the job must not leave
    } cases[] = {
        {"unlimited", {"--overwrite"}, 2, "functiontest: --overwrite goes with --run-dir", dir / "runs"},
        {"unlimited", {"--run-dir", "x/.."}, 2, "the run folder . exists and is not a run folder", dir / "x"},
        {"unlimited", {"--script", "\x1b[31m.json"}, 2, "functiontest: \\x1B[31m.json: cannot be read"},
        {"0", {"--run-dir", "a/b"}, 2, "mark the run folder a/b (.functiontest-run): File too large; it was taken away",
         dir / "a"},
        {"1", {"--run-dir", "r"}, 5, "functiontest: cannot write report.txt: File too large\n", dir / "r" / "report.txt"},
        {"unlimited", {"--profile", "iphone7.json"}, 1, "profile:  " + (dir / "iphone7.json").string()},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-c", "trap '' XFSZ; ulimit -f " + c.fileLimit + " && cd \"$0\" && exec \"$@\"",
                                         dir.string(), FUNCTIONTEST_EXECUTABLE, "--no-pictures", "--limit", "0.5"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (std::find(args.begin(), args.end(), "--script") == args.end()) args.insert(args.end(), {"--script", idle});
        const Outcome outcome = testkit::runProcess("bash", args);
        EXPECT_EQ(outcome.status, c.status) << outcome.output;
        EXPECT_NE(outcome.output.find(c.said), std::string::npos) << outcome.output;
        EXPECT_EQ(outcome.output.find('\x1b'), std::string::npos) << outcome.output;
        EXPECT_TRUE(c.absent.empty() || !fs::exists(c.absent)) << c.absent;
    }
}

// Runs started together in one working folder each make a default folder of their own.
TEST(MainJobProcess, RunsStartedTogetherEachGetADefaultFolderOfTheirOwn) {
    ScratchFolder scratch;
    const std::string script = (fs::path(FT_RESOURCES_DIR) / "testers" / "vibration-pass.json").string();
    const std::vector<std::vector<std::string>> runs(4, from(scratch.path(), {"--script", script, "--no-pictures"}));
    for (const Outcome& outcome : testkit::runProcesses("/bin/sh", runs))
        EXPECT_EQ(outcome.status, 0) << outcome.output;
    std::size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(scratch.path() / "runs")) {
        ++folders;
        EXPECT_NE(entry.path().filename().string().find("Z-iphone7"), std::string::npos) << entry.path();
        EXPECT_NE(readFile(entry.path() / "report.txt").find("the application ended itself"), std::string::npos);
    }
    EXPECT_EQ(folders, 4u);
}

// The file name of the picture the report's row of `key` names ("" when none).
std::string rowPicture(const std::string& report, const std::string& key) {
    std::istringstream lines(report);
    for (std::string line, order, word; std::getline(lines, line);)
        if (std::istringstream(line) >> order >> word && word == key && line.find(" pictures/") != std::string::npos)
            return line.substr(line.find(" pictures/") + 10);
    return "";
}

// The report without the lines that may differ between equal runs: the wall time, a request
// named slow by the wall time it took, paths and the service's port.
std::string comparable(const std::string& report, const fs::path& runDir) {
    std::string out;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (line.find("wall time:") == std::string::npos && line.find("slow request:") == std::string::npos &&
            line.find(runDir.string()) == std::string::npos && line.find("service:") == std::string::npos)
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

// Where each part stands in the text, in the order given; npos for a part missing or out of order.
std::size_t inOrder(const std::string& text, const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const std::string& part : parts)
        if ((at = text.find(part, at)) == std::string::npos) return at;
    return at;
}

constexpr const char* kIdentity[] = {"356938035643809", "F2LXK0AAHG7F",
                                     "0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c"};
// The same identity as people write it: spaced, dashed and dotted as a box prints the IMEI, the
// serial and the UDID in the other case.
constexpr const char* kIdentityWritten[] = {"35 693803 564380 9", "35-693803-564380-9", "35.693803.564380.9",
                                            "f2lxk0aahg7f", "0F1E2D3C4B5A69788796A5B4C3D2E1F00F1E2D3C"};
// What the privacy runs below keep private besides: a seeded number identity, a check's password,
// a serial the run does not know, written under an identity key.
constexpr const char* kOtherSecrets[] = {"356938035643801", "hunter2", "C39XQ1ZZHG7H"};

// The default script's identity and password (and `others`) are in no file of the run folder but
// what the application and the service store (home/, service/transactions.json), nor in what the
// run printed.
void expectNothingPrivate(const fs::path& runDir, const std::string& output,
                          std::vector<std::string> others = {}) {
    std::map<std::string, std::string> texts = filesUnder(runDir);
    std::erase_if(texts, [](const auto& file) {
        return file.first.starts_with("home/") || file.first == "service/transactions.json";
    });
    EXPECT_TRUE(texts.contains("report.txt") && texts.contains("steps.log")) << runDir;
    texts["the output"] = output;
    others.insert(others.end(), {kIdentity[0], kIdentity[1], kIdentity[2], "pw1"});
    others.insert(others.end(), std::begin(kIdentityWritten), std::end(kIdentityWritten));
    others.insert(others.end(), std::begin(kOtherSecrets), std::end(kOtherSecrets));
    for (const auto& [name, text] : texts)
        for (const std::string& secret : others)
            EXPECT_EQ(text.find(secret), std::string::npos) << name << " holds " << secret;
}

TEST(MainJobProcess, TheDefaultRunWalksEveryTestAndEndsWithTheUpdate) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run", other = scratch.path() / "other";
    Outcome outcome = runProcess({"--run-dir", runDir.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    // What a person saw, in order, and what the results screen showed.
    EXPECT_NE(inOrder(outcome.output, {"shown:", "HUD \"Tests start soon. Tap to cancel.\"",
                                       "HUD \"Tests start in 1 s\"", "210.830    HUD \"Report the results\"",
                                       "210.830    HUD \"The results were reported.\""}),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("results:  \"Passed: 40\" \"Failed: 0\" \"Trade-in estimate: 120\""),
              std::string::npos);
    EXPECT_NE(outcome.output.find("reply:        update answered 200; the application: accepted"),
              std::string::npos);
    // The log: the countdown, each item, each of the 40 results, the results, the upload and the exit,
    // a line each; the backlight's steps up to the answer (2.5 s) and its end; the camera screens'
    // access, capture and frame-rate lines; no debug lines (model table, signals' events, retain counts).
    const std::string log = readFile(runDir / "app.log");
    EXPECT_EQ(count(log, " Result: "), 40u) << log;
    EXPECT_EQ(count(log, " JSON: {") + count(log, "<ESDynamicSignal") + count(log, "Retain count"), 0u)
        << log;
    EXPECT_LT(count(log, "\n"), 250u) << log;
    // Every line starts with its time, a camera still's several-line description too.
    std::istringstream logLines(log);
    for (std::string line; std::getline(logLines, line);)
        EXPECT_TRUE(line.size() > 11 && line[6] == '.' && std::isdigit(line[9]) && line[10] == ' ') << line;
    EXPECT_EQ(count(log, "brightness value = "), 24u);
    EXPECT_NE(
        inOrder(log,
                {"Countdown: ", "Runner: item 1 of 40, VIBRATION", "9.500 Runner: item 2 of 40, BLUETOOTH",
                 "Runner: item 40 of 40, PHONECALL", "Results: 40 passed, 0 failed, 0 not run; estimate 120",
                 "Transaction update: sent", "Transaction update: accepted", "213.830 Exit with status 0"}),
        std::string::npos)
        << log;
    EXPECT_NE(
        inOrder(readFile(runDir / "device.log"), {"0.000 screen kept awake", "1.000 URL opened http://127.0.0.1:",
                                              "3.000 URL handed over qx://imei=", "213.830 exit 0"}),
        std::string::npos);
    EXPECT_NE(outcome.output.find("tests run: 40; pass 40, fail 0, not tested 0, not built 0"), std::string::npos)
        << outcome.output;
    // Screens that come and go within one step (the shared camera screen) still get their rows.
    EXPECT_NE(outcome.output.find("FRONT_CAMERA_BLACK_TEST"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("update answered 200"), std::string::npos) << outcome.output;
    EXPECT_TRUE(fs::exists(runDir / "home" / "Documents" / "functiontest_config.txt"));
    const std::string transactions = readFile(runDir / "service" / "transactions.json");
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
    // Login, list, 40 times the runner and a test screen (again when its question comes later, and as
    // the turn of each answer or verdict ends), the composer and the question after it, results and
    // each further screenful of its list; the
    // HUD each time a text stayed and showed something new: the countdown's first two, the upload's
    // end (the cellular check's shows as its screen did). A picture taken while a row's item is on
    // screen names its key; none repeats the one before it.
    ASSERT_EQ(pictures.size(), 156u);
    EXPECT_EQ(pictures.front(), "001-LoginViewController.png");
    EXPECT_EQ(pictures[1], "002-RootTableViewController.png");
    EXPECT_EQ(pictures[4], "005-VIBRATION-ReadyStartViewController.png");
    EXPECT_EQ(pictures[142], "143-SMS-MFMessageComposeViewController.png");
    EXPECT_EQ(pictures[143], "144-SMS-SMSViewController.png");
    std::string huds, stills;
    for (const std::string& name : pictures) {
        if (name.ends_with("hud.png")) huds += name.substr(0, name.size() - 4) + " ";
        if (name.ends_with("_CAPTURE_TEST-CameraPictureViewController.png")) stills += name.substr(0, 3) + " ";
    }
    EXPECT_EQ(huds, "003-hud 004-hud 156-hud ");
    EXPECT_EQ(stills, "049 050 051 053 054 055 057 058 059 061 062 063 065 066 067 069 070 071 ");
    EXPECT_NE(outcome.output.find("pictures:     156 in " + (runDir / "pictures").string()),
              std::string::npos)
        << outcome.output;
    for (std::size_t i = 1; i < pictures.size(); ++i)
        EXPECT_NE(readFile(runDir / "pictures" / pictures[i]), readFile(runDir / "pictures" / pictures[i - 1]))
            << pictures[i];
    // The countdown's box, dark over the dimmed list; the list's own picture is light there.
    EXPECT_LT(testkit::brightnessAt((runDir / "pictures" / "003-hud.png").string(), 100, 300), 40);
    EXPECT_GT(testkit::brightnessAt((runDir / "pictures" / "002-RootTableViewController.png").string(), 100, 300),
              200);
    std::istringstream report(outcome.output);
    int named = 0, cameras = 0;
    for (std::string line; std::getline(report, line);) {
        const auto at = line.find(" pictures/");
        if (at == std::string::npos) continue;
        const std::string picture = line.substr(at + 1);
        ++named;
        EXPECT_TRUE(fs::exists(runDir / picture)) << line;
        std::string order, key;
        std::istringstream(line) >> order >> key;
        EXPECT_EQ(picture.substr(13, key.size() + 1), key + "-") << "the row's key: " << line;
        EXPECT_EQ(picture.find("ReadyStartViewController"), std::string::npos)
            << "the test screen's: " << line;
        if (line.find("_CAMERA_") == std::string::npos) continue;
        // Each camera row's preview shows what the row asks about: the lens covered for black, a
        // white sheet for white, the test card for the pattern and the video.
        ++cameras;
        const auto image = cg::Image::createWithPNGFile((runDir / picture).string());
        ASSERT_TRUE(image) << line;
        std::set<int> seen;
        for (std::size_t y : {200, 420})
            for (std::size_t x = 70; x <= 300; x += 10)
                seen.insert(testkit::brightnessAt(*image, x, y));
        const bool black = line.find("BLACK") != line.npos, white = line.find("WHITE") != line.npos;
        EXPECT_TRUE(black ? *seen.rbegin() < 40 : white ? *seen.begin() > 200 : seen.size() >= 6) << line;
    }
    EXPECT_EQ(named, 40);
    EXPECT_EQ(cameras, 14);
    expectNothingPrivate(runDir, outcome.output);

    // In-process, a run whose identity differs but in its last four characters: the same pictures, none cut.
    std::string script = readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json");
    for (const auto& [from, to] : {std::pair{kIdentity[0], "111111111113809"}, {kIdentity[1], "A1B2C3D4HG7F"},
                                   {kIdentity[2], "9999999999999999999999999999999999992d3c"}})
        script.replace(script.find(from), std::string(from).size(), to);
    app::JobOptions options;
    options.script = write(scratch.path() / "other.json", script);
    options.runDir = other.string();
    std::ostringstream out, err;
    const app::JobResult result = app::runJob(options, out, err);
    ASSERT_EQ(result.status, 0) << out.str() << err.str();
    EXPECT_EQ(result.cutTexts, std::vector<std::string>{}); // each "<picture>: <view class> \"<text>\""
    EXPECT_TRUE(filesUnder(runDir / "pictures") == filesUnder(other / "pictures"));

    // The cellular row's picture reads its question whole, the check's HUD gone; the Wi-Fi row's
    // the device's public address, as the address page gave it; the results' pictures together
    // show every row's title.
    const std::vector<std::string>& rf = result.pictureTexts.at(rowPicture(result.report, "RF"));
    EXPECT_NE(std::find(rf.begin(), rf.end(), "Are the carrier and the network type right?"), rf.end());
    EXPECT_EQ(std::find(rf.begin(), rf.end(), "Checking the cellular network\u2026"), rf.end());
    const std::vector<std::string>& wifi = result.pictureTexts.at(rowPicture(result.report, "WIFI"));
    EXPECT_NE(std::find(wifi.begin(), wifi.end(), "Internet IP 203.0.113.23"), wifi.end())
        << ::testing::PrintToString(wifi);
    // The colour fill's is its answer: the last colour's question with its Yes and No, the retry
    // button over the fill, no bar come back over it.
    const std::vector<std::string>& fill = result.pictureTexts.at(rowPicture(result.report, "LCD_FILL_TEST"));
    for (const char* text : {"Show the colour again", "Yes", "No"})
        EXPECT_EQ(std::count(fill.begin(), fill.end(), text), 1) << text << ::testing::PrintToString(fill);
    EXPECT_EQ(std::count(fill.begin(), fill.end(), "Quarnotix"), 0) << ::testing::PrintToString(fill);
    std::set<std::string> results;
    for (const auto& [picture, texts] : result.pictureTexts)
        if (picture.find("-ResultViewController") != std::string::npos) results.insert(texts.begin(), texts.end());
    std::istringstream rows(result.report);
    std::size_t titles = 0; // a row's title stands at the 43rd character, before its result
    for (std::string line; std::getline(rows, line);)
        if (const auto pass = line.find("  pass  "); pass != std::string::npos)
            titles += results.count(line.substr(42, line.find_last_not_of(' ', pass) - 41));
    EXPECT_EQ(titles, 40u);

    // A failed row's picture shows its screen at the failure, not the passed row's: the Wi-Fi check
    // where it stopped, the home key's countdown run out, the touch grid untouched and skipped.
    for (const auto& [script, profile, key] : {std::tuple{"wifi-fail", "iphone7_no_wifi", "WIFI"},
                                               {"home-key-fail", "iphone7", "HOME_KEY_TEST"},
                                               {"touch-grid-fail", "iphone7", "TOUCH_SCREEN"}}) {
        const fs::path failed = scratch.path() / script;
        const std::string file = (fs::path(FT_RESOURCES_DIR) / "testers" / script).string() + ".json";
        const Outcome run = runProcess({"--profile", profile, "--run-dir", failed.string(), "--script", file});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(readFile(failed / "pictures" / rowPicture(run.output, key)),
                  readFile(runDir / "pictures" / rowPicture(outcome.output, key)))
            << script;
    }
}

// Failed checks and steps carrying the password (the login's) or the identity (the intake's, and a
// later step's handing it over again, with a megabyte of text and terminal commands) are reported
// with the identity masked, the password as "***", texts cut and escaped.
TEST(MainJobProcess, AFailedStepOrCheckCarryingTheIdentityOrThePasswordShowsNeither) {
    ScratchFolder scratch;
    const std::string huge = "\u001b[2J" + std::string(1 << 20, 'A');
    nlohmann::json misspelt =
        nlohmann::json::parse(readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json"));
    nlohmann::json checked = misspelt;
    nlohmann::json& typing = misspelt["steps"][1]["actions"];
    typing[2] = {{"do", "expect"}, {"outlet", "passwordField"}, {"text", "x"}};
    typing.push_back({{"do", "tap"}, {"outlet", "loginButtn"}});
    checked["name"] = "default\u001b]0;title\u0007";
    nlohmann::json& identity = checked["steps"][0];
    const nlohmann::json open = {{"do", "open"}, {"url", identity["url"]}};
    identity["actions"] = {open, {{"do", "expect"}, {"hud", true}, {"text", huge}}};
    identity.erase("do");
    identity.erase("url");
    checked["steps"].push_back({{"at", 5}, {"actions", {open, {{"do", "tap"}, {"outlet", huge}}}}});
    const std::string url = "open url=qx://imei=***********3809&serial=********HG7F&product=iPhone9,1&udid=" +
                            std::string(36, '*') + "2d3c";
    const std::string login = "step 2 (login: type outlet=userNameField text=op1; type outlet=passwordField "
                              "text=***; expect outlet=passwordField text=***; tap outlet=loginButtn)";
    const std::pair<nlohmann::json, std::vector<std::string>> cases[] = {
        {misspelt,
         {"check failed: " + login + ": wanted \"***\", saw \"***\"",
          "end:          " + login + " failed: "}},
        {checked,
         {"(default\\x1B]0;title\\x07)",
          "check failed: step 1 (identity: " + url + "; expect hud=true text=\\x1B[2JAAA",
          "end:          step " + std::to_string(checked["steps"].size()) + " (" + url +
              "; tap outlet=\\x1B[2JAAA"}},
    };
    int run = 0;
    for (const auto& [script, shown] : cases) {
        const fs::path runDir = scratch.path() / ("run" + std::to_string(++run));
        Outcome outcome = runProcess({"--script", write(scratch.path() / "leaky.json", script.dump()),
                                      "--run-dir", runDir.string(), "--no-pictures"});
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        EXPECT_NE(inOrder(outcome.output, shown), std::string::npos) << outcome.output;
        EXPECT_LT(outcome.output.size(), 16384u); // the megabyte cut, beside the steps that never ran
        EXPECT_EQ(outcome.output.find_first_of("\x1b\x07"), std::string::npos);
        expectNothingPrivate(runDir, outcome.output);
        // app.log names the outlet no screen has (the platform's undefined-key line), escaped and cut.
        const std::string log = readFile(runDir / "app.log");
        EXPECT_NE(log.find(run == 1 ? "for the key loginButtn." : "for the key \\x1B[2JAAA"), std::string::npos);
        EXPECT_EQ(log.find_first_of("\x1b\x07"), std::string::npos);
        EXPECT_LT(log.size(), 64u * 1024);
    }
}

// Scripts that once let the password or the identity through, each a patch of the default script:
// the password at a misspelt outlet, typed in parts and checked, or checked before it is typed
// (a check on a secure field wants the password, whatever it says); an identifier that stands only
// inside the product's value however hidden there, seeded as text or as a number (shown as a whole
// number), or checked. What holds the identity shows it as the application logs it.
TEST(MainJobProcess, NoFileOfARunNorItsOutputHoldsThePasswordOrTheIdentity) {
    ScratchFolder scratch;
    const nlohmann::json base =
        nlohmann::json::parse(readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json"));
    const std::string imei = kIdentity[0], masked = "***********3809";
    auto url = [&](const std::string& pairs) {
        return R"([{"op": "replace", "path": "/steps/0/url", "value": "qx://)" + pairs + "\"}]";
    };
    const std::string runs[][4] = {
        {"misspelt", R"([{"op": "replace", "path": "/steps/1/actions/1/outlet", "value": "passwordFeld"}])",
         "", "type outlet=passwordFeld text=***; tap outlet=loginButton) failed"},
        {"in parts", R"([{"op": "replace", "path": "/steps/1/actions/1/text", "value": "pw"},
            {"op": "add", "path": "/steps/1/actions/2", "value": {"do": "type", "outlet": "passwordField",
             "text": "1"}}, {"op": "add", "path": "/steps/1/actions/3", "value": {"do": "expect",
             "outlet": "passwordField", "text": "x"}}])",
         "",
         "text=***; expect outlet=passwordField text=***; tap outlet=loginButton): wanted \"***\", saw "
         "\"***\""},
        {"checked first", R"([{"op": "add", "path": "/steps/1/actions/1", "value": {"do": "expect",
            "outlet": "passwordField", "text": "hunter2"}}])",
         "",
         "text=op1; expect outlet=passwordField text=***; type outlet=passwordField text=***; tap "
         "outlet=loginButton): wanted \"***\", saw \"***\""},
        {"encoded", url("product=x%26imei=" + imei + "%26serial=F2LXK0AAHG7F"), "app.log",
         "product=x%26imei=" + masked + "%26serial=********HG7F"},
        {"bare", url("product=" + imei), "steps.log", "product=" + masked},
        {"key", url("pr%6Fduct=" + imei), "device.log", "pr%6Fduct=" + masked},
        {"query", url("product=a?imei=" + imei), "device.log", "product=a?imei=" + masked},
        {"fragment", url("product=a%23imei=" + imei), "steps.log", "product=a%23imei=" + masked},
        {"semicolon", url("product=p;imei=" + imei), "app.log", "product=p;imei=" + masked},
        {"no URL", url("product=%ZZ" + imei + "&udid=" + kIdentity[2]), "",
         "product=%ZZ" + masked + "&udid=*"},
        {"seeded", R"([{"op": "add", "path": "/steps/0", "value": {"at": "launch", "do": "seed",
            "values": {"uniqueid": "356938035643809"}}}])",
         "steps.log", "{\"uniqueid\":\"" + masked + "\"}"},
        {"seeded number", R"([{"op": "add", "path": "/steps/0", "value": {"at": "launch", "do": "seed",
            "values": {"uniqueid": 356938035643801.0}}}, {"op": "add", "path": "/steps/-", "value": {"on":
            {"screen": "ResultViewController"}, "once": true, "after": 0.5, "do": "expect", "outlet": "imeilabel",
            "text": "x"}}])",
         "", "saw \"IMEI: ***********3801\""},
        {"checked", R"([{"op": "add", "path": "/steps/-", "value": {"on": {"screen": "ResultViewController"},
            "once": true, "after": 0.5, "do": "expect", "outlet": "imeilabel", "text": "x"}}])",
         "", "saw \"IMEI: " + masked + "\""},
        {"written",
         R"([{"op": "replace", "path": "/steps/1/name", "value": "login 35 693803 564380 9, )"
         R"(35-693803-564380-9, 35.693803.564380.9, f2lxk0aahg7f, 0F1E2D3C4B5A69788796A5B4C3D2E1F00F1E2D3C"},
            {"op": "add", "path": "/steps/-", "value": {"on": {"screen": "ResultViewController"}, "once": true,
            "after": 0.5, "do": "expect", "outlet": "imeilabel", "text": "IMEI: 35 693803 564380 9"}}])",
         "steps.log",
         "step 2 (login " + masked + ", " + masked + ", " + masked + ", ********HG7F, " +
             std::string(36, '*') + "2d3c: type"},
        {"keyed", R"([{"op": "replace", "path": "/steps/1/name",
            "value": "{\"serialNumber\":\"C39XQ1ZZHG7H\"} serial_number = C39XQ1ZZHG7H"}])",
         "steps.log", "{\"serialNumber\":\"********HG7H\"} serial_number = ********HG7H"},
        // A short password used as an outlet, and as the user name (in the same step or an earlier one).
        {"outlet",
         R"([{"op": "add", "path": "/steps/1/actions/2", "value": {"do": "tap", "outlet": "pw1"}}])", "",
         "tap outlet=***; tap outlet=loginButton) failed: LoginViewController has nothing at \"***\""},
        {"user", R"([{"op": "replace", "path": "/steps/1/actions/0/text", "value": "pw1"}])", "app.log",
         "Login: logging in as ***"},
        {"user first", R"([{"op": "remove", "path": "/steps/1/actions/0"}, {"op": "add", "path": "/steps/1",
            "value": {"on": {"screen": "LoginViewController"}, "once": true, "after": 0.5, "do": "type",
            "outlet": "userNameField", "text": "pw1"}}])",
         "steps.log", "type outlet=userNameField text=***"},
    };
    std::vector<std::vector<std::string>> args;
    for (const auto& [name, patch, file, shown] : runs) {
        const fs::path script = scratch.path() / (name + ".json");
        write(script, base.patch(nlohmann::json::parse(patch)).dump());
        args.push_back(
            {"--script", script.string(), "--run-dir", (scratch.path() / name).string(), "--no-pictures"});
    }
    const std::vector<Outcome> outcomes = testkit::runProcesses(FUNCTIONTEST_EXECUTABLE, args, 4);
    for (std::size_t i = 0; i < std::size(runs); ++i) {
        const auto& [name, patch, file, shown] = runs[i];
        const fs::path runDir = scratch.path() / name;
        EXPECT_NE((file.empty() ? outcomes[i].output : readFile(runDir / file)).find(shown),
                  std::string::npos)
            << name << ": " << outcomes[i].output;
        expectNothingPrivate(runDir, outcomes[i].output);
    }
}

// A password that is a word or a number the run writes itself: the report's own words (verdicts,
// totals, calls, statuses, times) stay as they are, in it and in the logs; the password is masked
// where it was typed, each part of it, and inside the texts from outside where it is four characters
// or more (an outlet's name). A password holding braces, each written twice in the script, is
// typed as it is ("{service}" no variable) and shows nowhere. Against a service whose seed lets
// one operator log in with each.
TEST(MainJobProcess, APasswordThatIsAWordOfTheRunLeavesTheRunsOwnWordsAsTheyAre) {
    ScratchFolder scratch;
    const struct {
        std::vector<std::string> parts; // as typed
        bool wordOfTheRun;
    } passwords[] = {{{"pass"}, true},   {{"update"}, true},   {{"200"}, true},
                     {{"Result"}, true}, {{"pas", "s"}, true}, {{"Zq7{pw}X9{service}{{"}, false}};
    auto written = [](std::string text) {
        for (std::size_t at = text.find_first_of("{}"); at != std::string::npos;
             at = text.find_first_of("{}", at + 2))
            text.insert(at, 1, text[at]);
        return text;
    };
    nlohmann::json seed = nlohmann::json::parse(refsvc::Seed::builtInText());
    nlohmann::json script =
        nlohmann::json::parse(readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json"));
    std::vector<std::vector<std::string>> args;
    for (std::size_t i = 0; i < std::size(passwords); ++i) {
        const std::string user = "op" + std::to_string(50 + i),
                          run = (scratch.path() / std::to_string(i)).string();
        nlohmann::json typing = {{{"do", "type"}, {"outlet", "userNameField"}, {"text", user}}};
        for (const std::string& part : passwords[i].parts)
            typing.push_back({{"do", "type"}, {"outlet", "passwordField"}, {"text", written(part)}});
        typing.push_back({{"do", "tap"}, {"outlet", "loginButton"}});
        script["steps"][1]["actions"] = typing;
        const std::vector<std::string>& parts = passwords[i].parts;
        seed["operators"].push_back({{"username", user},
                                     {"password", std::accumulate(parts.begin(), parts.end(), std::string())},
                                     {"loginid", 50 + i},
                                     {"company", 3},
                                     {"site", 12}});
        args.push_back({"--script", write(run + ".json", script.dump()), "--run-dir", run, "--no-pictures"});
    }
    auto service = testkit::startReferenceService(scratch.path() / "service", {}, seed.dump());
    ASSERT_TRUE(service);
    for (auto& run : args)
        run.insert(run.end(), {"--service", service->baseUrl()});
    const std::vector<Outcome> outcomes = testkit::runProcesses(FUNCTIONTEST_EXECUTABLE, args);
    for (std::size_t i = 0; i < std::size(passwords); ++i) {
        const std::string& report = outcomes[i].output;
        EXPECT_EQ(outcomes[i].status, 0) << report;
        EXPECT_EQ(count(report, "***"), 0u) << report; // "update answered 200", start "152.200"
        EXPECT_EQ(count(report, "  pass  "), 40u) << report;
        const std::string steps = readFile(args[i][3] + "/steps.log");
        EXPECT_EQ(count(steps, "text=***"), passwords[i].parts.size()) << steps;
        for (const std::string& log : {steps, readFile(args[i][3] + "/device.log")})
            EXPECT_EQ(log.find(".***"), std::string::npos) << log; // a time masked
        if (!passwords[i].wordOfTheRun)
            expectNothingPrivate(args[i][3], report, {passwords[i].parts[0], "Zq7", "{pw}"});
    }
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

    // In-process, a plain file of the user's where pictures/ goes: one warning, and the run ends
    // saying its pictures are not all there.
    app::JobOptions options;
    options.script = script;
    options.runDir = (scratch.path() / "blocked").string();
    options.folderMade = [](const std::string& folder) { write(fs::path(folder) / "pictures", "not a folder"); };
    std::ostringstream out, err;
    const app::JobResult result = app::runJob(options, out, err);
    EXPECT_EQ(result.status, app::kNotWrittenStatus) << out.str();
    EXPECT_NE(result.report.find("pictures:     0 in "), std::string::npos) << result.report;
    EXPECT_NE(result.report.find("; warning: cannot make "), std::string::npos) << result.report;
    EXPECT_NE(result.report.find("not written:  pictures: Not a directory"), std::string::npos) << result.report;
    EXPECT_TRUE(err.str().starts_with("functiontest: cannot write pictures: Not a directory")) << err.str();
}

// The update the service stored, without the transaction's own identifier (the client makes a new
// one each login).
nlohmann::json storedUpdate(const fs::path& runDir) {
    nlohmann::json store =
        nlohmann::json::parse(readFile(runDir / "service" / "transactions.json"), nullptr, false);
    if (!store.is_object() || store["transactions"].size() != 1) return nullptr;
    nlohmann::json transaction = store["transactions"].begin().value();
    if (transaction["updates"].size() != 1) return nullptr;
    nlohmann::json fields = transaction["updates"][0]["fields"];
    fields.erase("uuid");
    fields.erase("update_record");
    return fields;
}

TEST(MainJobProcess, NothingOfTheHostDecidesARunNeitherItsTimeZoneNorItsInterfaces) {
    ScratchFolder scratch;
    const fs::path first = scratch.path() / "first", second = scratch.path() / "second";
    Outcome a =
        testkit::ChildProcess(FUNCTIONTEST_EXECUTABLE, {"--run-dir", first.string()}, {{"TZ", "UTC"}}).wait();
    // The second on the other side of the date line, and, where the host allows it, in a network of
    // its own that has only loopback.
    const bool isolated =
        testkit::runProcess("unshare", {"-rn", "ip", "link", "set", "lo", "up"}).status == 0;
    std::vector<std::string> args = {"--run-dir", second.string()};
    if (isolated)
        args.insert(args.begin(),
                    {"-rn", "sh", "-c", "ip link set lo up && exec \"$0\" \"$@\"", FUNCTIONTEST_EXECUTABLE});
    Outcome b = testkit::ChildProcess(isolated ? "unshare" : FUNCTIONTEST_EXECUTABLE, args,
                                      {{"TZ", "Pacific/Kiritimati"}})
                    .wait();
    ASSERT_EQ(a.status, 0) << a.output;
    ASSERT_EQ(b.status, 0) << b.output;
    if (!isolated) std::cerr << "note: no network namespace here, so the host's interfaces were not varied\n";

    const auto documents = filesUnder(first / "home" / "Documents");
    EXPECT_TRUE(documents.contains("functiontest_config.txt"));
    EXPECT_EQ(documents, filesUnder(second / "home" / "Documents"));
    EXPECT_FALSE(filesUnder(first / "home" / "Library" / "Preferences").empty()) << "the defaults";
    const nlohmann::json update = storedUpdate(first);
    ASSERT_TRUE(update.is_object());
    EXPECT_EQ(update, storedUpdate(second));
    EXPECT_EQ(update["timeCreated"], "2024-05-01T10:03:30+0000") << "the device's zone, UTC";
    EXPECT_EQ(comparable(a.output, first), comparable(b.output, second));
}

// Waits until the file holds the text, or the job has ended without writing it: the job's end,
// not a time, bounds the wait, however slow the machine.
bool waitForText(testkit::ChildProcess& job, const fs::path& file, const std::string& text) {
    for (;;) {
        if (readFile(file).find(text) != std::string::npos) return true;
        if (job.endsWithin(0.005)) return readFile(file).find(text) != std::string::npos;
    }
}

TEST(MainJobProcess, AFailedLoginIsReportedWithItsCauseAndTheAlertTheOperatorSaw) {
    ScratchFolder scratch;
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"auth=refuse", "auth failed: The network connection was lost. (-1005", nullptr},
        {"auth=500", "auth answered 500: \"Internal Server Error\"", nullptr},
        {"auth=garbage", "auth answered 200: \"<html>", nullptr},
        // The client gives up after 10 s, while the run's clock stands still: the report tells it.
        {"profile=slow:11", "profile failed: The request timed out. (-1001",
         "slow request: profile failed: The request timed out. (-1001: no data moved for 10000 ms) at 1.000 s, "
         "after 10.0"},
    };
    std::vector<std::unique_ptr<testkit::ChildProcess>> runs; // side by side: the slow one takes 10 s
    for (const auto& [fault, cause, slow] : cases)
        runs.push_back(std::make_unique<testkit::ChildProcess>(
            FUNCTIONTEST_EXECUTABLE,
            std::vector<std::string>{"--fault", fault, "--run-dir", (scratch.path() / fault).string()}));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto& [fault, cause, slow] = cases[i];
        Outcome outcome = runs[i]->wait();
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        // Any request may be named slow on a busy machine; only the held one times out.
        EXPECT_EQ(outcome.output.find(slow ? slow : "The request timed out") != std::string::npos, slow != nullptr)
            << outcome.output;
        EXPECT_NE(outcome.output.find(std::string("login:    failed at 1.000 s: timeout (") + cause),
                  std::string::npos)
            << outcome.output;
        EXPECT_NE(outcome.output.find("1.000      alert \"Quarnotix\": \"Warning\""), std::string::npos)
            << fault;
        const std::string log = readFile(scratch.path() / fault / "app.log");
        EXPECT_NE(inOrder(log, {" failed: ", "Login failed: timeout"}), std::string::npos) << log;
    }
}

TEST(MainJobProcess, TheEndingTellsWhatTheApplicationMadeOfTheReplyAndWhenTheLimitCut) {
    ScratchFolder scratch;
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"--fault", "update=garbage"},
         {"end:          stalled",
          "reply:        update answered 200; the application: failed: HTTP 200, the reply is not JSON"}},
        // The exit is due at 67 s: the limit cuts it off, and the process says what the report says.
        {{"--limit", "66"},
         {"end:          limit reached at 66 s", "app exit:     none", "virtual time: 66.000 s"}},
        {{"--limit", "1.5"}, {"end:          limit reached at 1.5 s"}},
        // The first row's screen is up at 8 s: what its item holds then is no answer; the row says
        // why it ended, the steps that never ran what they waited for, the ending what was on screen.
        {{"--limit", "8"},
         {"Vibration                                   unfinished  5.500    2.500",
          "\n      why: limit reached at 8 s\n",
          "tests run: 1; pass 0, fail 0, not tested 0, not built 0, unfinished 1",
          "never ran: step 4 (white is even: tap) waited for screen FillColorViewController\n",
          "end:          limit reached at 8 s\n  on screen:    VibrationViewController: \"Vibration 2 of 3\"\n"
          "  controls:     back\n  row:          1 VIBRATION Vibration, open since 5.500 s\n  last step:    3.000 step 1"}},
        {{"--limit", "0.001"}, {"end:          limit reached at 0.001 s"}},
        {{"--limit", "0.01", "--real-time"}, {"end:          limit reached at 0.01 s", "real time:    "}},
    };
    int n = 0;
    for (auto [args, lines] : cases) {
        args.insert(args.end(), {"--run-dir", (scratch.path() / std::to_string(++n)).string()});
        Outcome outcome = runProcess(args);
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        EXPECT_NE(inOrder(outcome.output, lines), std::string::npos) << outcome.output;
        const bool realTime = std::find(args.begin(), args.end(), "--real-time") != args.end();
        EXPECT_EQ(outcome.output.find(realTime ? "virtual time:" : "real time:    "), std::string::npos);
        // However long the machine took, the run gives its seconds.
        const std::regex seconds("\n +real time: +[0-9]+\\.[0-9]{3} s\n");
        EXPECT_TRUE(!realTime || std::regex_search(outcome.output, seconds)) << outcome.output;
    }
}

// Runs that once told their user something false: a check whose screen the tester answered while
// it waited was dropped (status 0), as was one still waiting when the application ended, and a row
// answered No, retried from the results screen and answered Yes counted as a failure beside the
// results screen's "Failed: 0".
TEST(MainJobProcess, ACheckWaitingAtTheEndFailsAndARetriedRowCountsOnceByItsLastVerdict) {
    ScratchFolder scratch;
    const fs::path testers = fs::path(FT_RESOURCES_DIR) / "testers";
    const nlohmann::json answered = nlohmann::json::parse(readFile(testers / "power-key-pass.json")).patch(R"([
        {"op": "replace", "path": "/steps/3/actions/0/text", "value": "never"},
        {"op": "add", "path": "/steps/3/actions/0/within", "value": 4}])"_json);
    const nlohmann::json waiting = nlohmann::json::parse(readFile(testers / "vibration-pass.json")).patch(R"([
        {"op": "add", "path": "/steps/-", "value": {"on": {"screen": "ResultViewController"}, "after": 0.5,
         "do": "expect", "row": 0, "text": "never", "within": 10}}])"_json);
    const nlohmann::json retried = nlohmann::json::parse(readFile(testers / "water-damage-fail.json")).patch(R"([
        {"op": "add", "path": "/features/-", "value": "ROOT"},
        {"op": "add", "path": "/steps/3/once", "value": true},
        {"op": "add", "path": "/steps/4", "value": {"on": {"screen": "WaterDamgeViewController"}, "after": 1.5,
         "do": "tap", "outlet": "successButton"}},
        {"op": "add", "path": "/steps/5", "value": {"on": {"screen": "ResultViewController"}, "once": true,
         "after": 1, "do": "tapRow", "row": 1}},
        {"op": "remove", "path": "/steps/6/once"}])"_json);
    const struct Run {
        const char* name;
        const nlohmann::json& script;
        int status;
        std::vector<std::string> report, steps; // in order
    } runs[] = {
        {"answered", answered, 3,
         {"  1   POWER_KEY_TEST ", " pass ",
          "check failed: step 4 (lock: expect outlet=testTitle text=never within=4; key.power): what triggered it "
          "was gone while it waited: wanted \"never\", saw \"Press the power key to lock the device, then unlock "
          "it. Did the key work?\"\n",
          "end:          the application ended itself"},
         {"    11.500 step 4 (lock: expect outlet=testTitle text=never within=4; key.power) dropped after a "
          "transition while its check waited: what triggered it is no longer shown; check failed: "}},
        {"waiting", waiting, 3,
         {"check failed: step 5 (expect row=0 text=never within=10): still waiting when the run ended: wanted "
          "\"never\", saw \"Vibration\"\n",
          "end:          the application ended itself"},
         {"    14.500 step 5 (expect row=0 text=never within=10) cut short after waiting 4.5 s for its checks; "
          "check failed: still waiting when the run ended"}},
        {"retried", retried, 0,
         {"  2   LDI_STICKER ", " retried     7.500    1.000\n      why: retried (fail: answered No) -> row 3\n",
          "  3   LDI_STICKER ", " pass        10.500 ",
          "tests run: 2; pass 2, fail 0, not tested 0, not built 0, unfinished 0; retried rows 1\n",
          "results:  \"Passed: 2\" \"Failed: 0\""},
         {" step 4 (water damage: tap outlet=failButton) ran", " step 6 (tapRow row=1) ran"}},
    };
    for (const Run& run : runs) {
        const fs::path runDir = scratch.path() / run.name;
        Outcome outcome = runProcess({"--script", write(scratch.path() / (std::string(run.name) + ".json"),
                                                        run.script.dump()),
                                      "--run-dir", runDir.string(), "--no-pictures"});
        EXPECT_EQ(outcome.status, run.status) << outcome.output;
        EXPECT_NE(inOrder(outcome.output, run.report), std::string::npos) << outcome.output;
        EXPECT_NE(inOrder(readFile(runDir / "steps.log"), run.steps), std::string::npos) << readFile(runDir / "steps.log");
    }
}

TEST(MainJobProcess, SigtermDuringASlowUpdateEndsTheRunWithTheFolderWholeAndStatus143) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run";
    testkit::ChildProcess run(FUNCTIONTEST_EXECUTABLE,
                              {"--fault", "update=slow:30", "--run-dir", runDir.string()});
    ASSERT_TRUE(waitForText(run, runDir / "app.log", "Transaction update: sent"));
    ASSERT_TRUE(run.signal(SIGTERM));
    Outcome outcome = run.wait();
    EXPECT_EQ(outcome.status, 143) << outcome.output;
    EXPECT_NE(outcome.output.find("end:          interrupted by SIGTERM\n  on screen:    ResultViewController: "),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("the application: sent, no answer handled"), std::string::npos);
    EXPECT_EQ(readFile(runDir / "report.txt"), outcome.output);
    EXPECT_NE(readFile(runDir / "device.log").find("URL handed over"), std::string::npos);
    EXPECT_NE(readFile(runDir / "steps.log").find(" (update: tap outlet=bottomButton) ran"),
              std::string::npos);
    std::string defaults;
    for (const auto& entry : fs::directory_iterator(runDir / "home" / "Library" / "Preferences"))
        defaults += readFile(entry.path());
    EXPECT_NE(defaults.find("transcationuuid"), std::string::npos)
        << "what the application stored is on disk";
}

// The handlers are there before the folder is: a signal the moment it exists (a closing terminal's
// SIGHUP too) ends the run at once, and the folder holds the report and logs of a run it interrupted.
TEST(MainJobProcess, ASignalAsSoonAsTheFolderIsMadeEndsTheRunWithItsReport) {
    ScratchFolder scratch;
    const std::string script =
        write(scratch.path() / "idle.json", R"({"steps": [{"at": 1, "do": "background"}]})");
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        const std::string name = "SIG" + std::string(sigabbrev_np(signal));
        struct sigaction before {};
        ::sigaction(signal, nullptr, &before);
        app::JobOptions options;
        options.script = script;
        options.pictures = false;
        options.runDir = (scratch.path() / name).string();
        options.folderMade = [&](const std::string& folder) {
            struct sigaction now {};
            ::sigaction(signal, nullptr, &now);
            EXPECT_TRUE(fs::is_directory(folder));
            // Raised only when caught: the default action would end this program.
            ASSERT_NE(now.sa_handler, before.sa_handler) << name << " is not caught once the folder exists";
            std::raise(signal);
        };
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        EXPECT_EQ(result.status, 128 + signal) << result.report;
        EXPECT_NE(result.report.find("end:          interrupted by " + name), std::string::npos) << result.report;
        EXPECT_EQ(readFile(scratch.path() / name / "report.txt"), result.report);
        for (const char* log : {"app.log", "device.log", "steps.log"})
            EXPECT_TRUE(fs::exists(scratch.path() / name / log)) << log;
    }
}

// What the job prints has no reader left (a closed session) or no room (a full disk): the print
// fails, said on stderr, and the folder is whole with the run's status.
TEST(MainJobProcess, AFailedPrintLeavesTheFolderWholeAndSaysSo) {
    ScratchFolder scratch;
    const std::string script = (fs::path(FT_RESOURCES_DIR) / "testers" / "vibration-pass.json").string();
    const std::pair<std::string, std::string> outputs[] = {
        {"| true", ""}, // the reader may go before the print or after it
        {">/dev/full", "functiontest: cannot print the report: No space left on device\n"},
    };
    int n = 0;
    for (const auto& [redirection, said] : outputs) {
        const fs::path runDir = scratch.path() / std::to_string(++n), status = scratch.path() / "status";
        Outcome outcome = testkit::runProcess(
            "/bin/sh", {"-c", "(" FUNCTIONTEST_EXECUTABLE " --no-pictures --script " + script + " --run-dir " +
                                  runDir.string() + "; echo $? >" + status.string() + ") " + redirection});
        EXPECT_EQ(readFile(status), "0\n") << redirection;
        EXPECT_NE(outcome.output.find(said), std::string::npos) << outcome.output;
        EXPECT_NE(readFile(runDir / "report.txt").find("end:          the application ended itself"),
                  std::string::npos);
        EXPECT_TRUE(fs::exists(runDir / "device.log") && fs::exists(runDir / "steps.log"));
    }
}

// The folder is whole before the report is printed: with an output nobody reads and a report longer
// than a pipe holds, report.txt is there, and SIGTERM ends the printing and the job.
TEST(MainJobProcess, AnUnreadOutputHoldsNoFileBackAndSigtermEndsThePrinting) {
    ScratchFolder scratch;
    const fs::path runDir = scratch.path() / "run", fifo = scratch.path() / "out";
    // Checks that fail, a line of the report each: some 130 KB.
    nlohmann::json steps = nlohmann::json::array();
    for (int i = 0; i < 300; ++i)
        steps.push_back({{"at", 0.5}, {"do", "expect"}, {"hud", true}, {"text", std::string(190, 'x')}});
    const std::string script = write(scratch.path() / "long.json", nlohmann::json{{"steps", steps}}.dump());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // open, never read
    ASSERT_GE(reader, 0);
    testkit::ChildProcess run("/bin/sh", {"-c", "exec \"$@\" >\"$0\"", fifo.string(),
                                          FUNCTIONTEST_EXECUTABLE, "--script", script, "--limit", "1",
                                          "--no-pictures", "--run-dir", runDir.string()});
    EXPECT_TRUE(waitForText(run, runDir / "report.txt", "wall time:")) << "the report waits for the print";
    EXPECT_TRUE(run.signal(SIGTERM));
    const bool ended = run.endsWithin(10);
    ::close(reader); // a job still printing meets a broken pipe now
    Outcome outcome = run.wait();
    EXPECT_TRUE(ended) << "SIGTERM did not end the printing";
    EXPECT_EQ(outcome.status, 143) << outcome.output;
    EXPECT_EQ(outcome.output, ""); // nothing said of a print the signal ended
    EXPECT_GT(readFile(runDir / "report.txt").size(), 128u * 1024);
    EXPECT_NE(readFile(runDir / "steps.log").find("step 300 (expect hud=true"), std::string::npos);
    EXPECT_TRUE(fs::exists(runDir / "device.log"));
}

TEST(MainJobProcess, ScriptFeaturesNarrowTheRunToThoseRows) {
    ScratchFolder scratch;
    std::string text = readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json");
    text.replace(text.find('{'), 1, "{\"features\": [\"WIFI\"],");
    const std::string script = write(scratch.path() / "wifi.json", text);
    Outcome outcome = runProcess({"--script", script, "--run-dir", (scratch.path() / "run").string()});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("tests run: 1; pass 1, fail 0, not tested 0, not built 0"), std::string::npos)
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

// The default script on the Wi-Fi iPad passes every row it offers, and its steps for the rows the
// iPad does not offer are said under those rows (the text message's composer with its row), none as
// a step that never ran.
TEST(MainJobProcess, TheDefaultRunOnAnIPadSaysTheStepsOfEachRowItDoesNotOfferUnderThatRow) {
    ScratchFolder scratch;
    Outcome outcome =
        runProcess({"--profile", "ipad_wifi", "--no-pictures", "--run-dir", (scratch.path() / "run").string()});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(outcome.output.find("never ran:"), std::string::npos) << outcome.output;
    const std::vector<std::string> said = {
        "FLASH_TEST                          not offered on this device (no flash); its step 37 did not run\n",
        "PROXIMITY_SENSOR_TEST               not offered on this device (no proximity sensor); its steps 21, 22, 23, 24 "
        "did not run\n",
        "SMS                                 not offered on this device (no phone calls or text messages); its steps "
        "44, 45, 46, 47 did not run\n",
        "PHONECALL                           not offered on this device (no phone calls or text messages); its steps "
        "39, 40, 41, 42, 43 did not run\n",
        "VIBRATION                           not offered on this device (no vibration motor)\n",
        "RF                                  not offered on this device (no cellular radio); its step 38 did not run\n",
        "tests run: 34; pass 34, fail 0, not tested 0, not built 0, unfinished 0\n"};
    EXPECT_NE(inOrder(outcome.output, said), std::string::npos) << outcome.output;
}

TEST(MainJobProcess, AnUnknownStimulusOrABadArgumentIsBadInputNamingTheStep) {
    ScratchFolder scratch;
    for (const char* step : {R"({"at": 1, "do": "key.volumeSideways"})",
                             R"({"at": 1, "do": "battery.set", "level": 1.5, "state": "full"})",
                             R"({"at": 1, "do": "expect", "row": "abc", "text": "x"})"}) {
        const std::string script =
            write(scratch.path() / "bad.json", std::string(R"({"name": "bad", "steps": [)") + step + "]}");
        Outcome outcome = runProcess({"--script", script, "--run-dir", (scratch.path() / "run").string()});
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("step 1"), std::string::npos) << outcome.output;
    }
}

// In real time (about 130 s, the runs side by side): the default script, twenty times, never
// stalls; and a run whose limit falls while the application's exit is pending (3 s after the reply)
// ends at the limit, the process saying what its report says.
TEST(MainJobRealTime, TwentyDefaultRunsNeverStallAndAnExitPendingAtTheLimitStaysPending) {
    ScratchFolder scratch;
    std::string text = readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json");
    // One row, answered a second after it shows: the reply comes at 9 s and the exit, 3 s later, is
    // pending at the limit.
    text.replace(text.find('{'), 1, "{\"features\": [\"BATTERY\"],");
    const std::string wifi = write(scratch.path() / "battery.json", text);
    testkit::ChildProcess pending(FUNCTIONTEST_EXECUTABLE,
                                  {"--real-time", "--limit", "10.5", "--script", wifi, "--run-dir",
                                   (scratch.path() / "pending").string()});
    std::vector<std::unique_ptr<testkit::ChildProcess>> runs;
    for (int i = 0; i < 20; ++i)
        runs.push_back(std::make_unique<testkit::ChildProcess>(
            FUNCTIONTEST_EXECUTABLE,
            std::vector<std::string>{"--real-time", "--limit", "230", "--run-dir",
                                     (scratch.path() / std::to_string(i)).string()}));
    Outcome cut = pending.wait();
    EXPECT_EQ(cut.status, 1) << cut.output;
    EXPECT_NE(inOrder(cut.output, {"end:          limit reached at 10.5 s", "the application: accepted",
                                   "app exit:     none"}),
              std::string::npos)
        << cut.output;
    for (auto& run : runs) {
        Outcome outcome = run->wait();
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        EXPECT_NE(outcome.output.find("tests run: 40;"), std::string::npos) << outcome.output;
    }
}

} // namespace
