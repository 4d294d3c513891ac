// The record of what a run made, with runs made straight through the run folder in a scratch
// folder: --overwrite empties a recorded run that nobody touched whole, and refuses anything else
// a person did at any depth, while the run went or between its two passes, every byte kept.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "platform/sim/run_text.h"
#include "app/job.h"
#include "app/run_folder.h"
#include "app/run_report.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// Everything under a folder by its path there: a file's bytes, a link's target, or the entry's kind.
std::map<std::string, std::string> treeOf(const fs::path& folder) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::file_status status = it->symlink_status();
        std::string& entry = tree[it->path().lexically_relative(folder).string()];
        if (fs::is_symlink(status))
            entry = "link to " + fs::read_symlink(it->path()).string();
        else if (fs::is_regular_file(status))
            entry = "file " + testkit::readFile(it->path());
        else
            entry = fs::is_directory(status) ? "folder" : "other";
    }
    return tree;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A name unique by `n`, with what a name may hold besides: a space, a line break, a backslash, a
// byte of another encoding.
std::string nameOf(char kind, int n) {
    return kind + std::to_string(n) + *rc::gen::elementOf(std::vector<std::string>{"", " x", "\n", "\\", "\xe9"});
}

std::unique_ptr<app::RunFolder> runFolder(const fs::path& top, bool overwrite, std::string* why,
                                          std::function<void()> betweenPasses = {}) {
    return app::makeRunFolder({top.string(), "", overwrite, {}, {}, std::move(betweenPasses)}, why);
}

// A run in the scratch folder, made through its run folder, and a person meddling in it.
class Meddled {
public:
    explicit Meddled(const fs::path& scratch) : scratch_(scratch), top_(scratch / "run") {}

    // The run's entries at the top, then folders, files written whole (some again), a log written
    // as it goes, and, when `meddling`, what a person does in the folder meanwhile; then the record.
    void run(bool meddling) {
        std::string why;
        std::unique_ptr<app::RunFolder> folder = runFolder(top_, false, &why);
        RC_ASSERT(folder);
        folders_ = {"home", "service", "pictures", "audio"};
        for (const std::string& name : folders_)
            RC_ASSERT(folder->folder(name));
        std::optional<app::RunFolder::TextStream> log = folder->textStream("app.log");
        files_ = {"app.log"};
        for (int n = 0, steps = *rc::gen::inRange(4, 24); n < steps; ++n) {
            if (meddling && *rc::gen::inRange(0, 3) == 0) {
                meddle(n);
                continue;
            }
            switch (*rc::gen::inRange(0, 4)) {
            case 0: {
                const std::string path = *rc::gen::elementOf(folders_) + "/" + nameOf('e', n);
                if (folder->folder(path)) folders_.push_back(path);
                break;
            }
            case 1: // a file written whole: a new one, or one of the run's again
                if (const std::string path = *rc::gen::arbitrary<bool>() ? *rc::gen::elementOf(files_)
                                                                          : *rc::gen::elementOf(folders_) + "/" + nameOf('e', n);
                    path != "app.log" && folder->writeText(path, sim::maskedOutsideText(*rc::gen::string<std::string>())))
                    files_.push_back(path);
                break;
            default:
                log->append(sim::maskedOutsideText(*rc::gen::string<std::string>() + "\n"));
            }
        }
        log.reset();
        RC_ASSERT(folder->record(&why));
        RC_ASSERT(meddling || folder->failures().empty());
    }

    // What a person does between the passes of --overwrite, when `meddling`: a file of theirs
    // renamed onto a recorded one, or a recorded file edited in place with its times put back.
    void betweenPasses(bool meddling) {
        if (!meddling) return;
        const std::string path = *rc::gen::elementOf(files_);
        if (*rc::gen::arbitrary<bool>() || !editInPlace(top_ / path)) {
            writeFile(scratch_ / "mine", "mine");
            fs::rename(scratch_ / "mine", top_ / path);
        }
    }

    const fs::path& top() const { return top_; }
    bool meddled() const { return meddled_; }

private:
    // Rewrites the file's first bytes with as many others and puts its times back, as `touch -r`,
    // `cp -p` or an editor that keeps times do; false for an empty file.
    static bool editInPlace(const fs::path& path) {
        struct stat before {};
        std::string text = testkit::readFile(path);
        if (text.empty() || ::lstat(path.c_str(), &before) != 0) return false;
        text[0] = static_cast<char>(~text[0]);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        RC_ASSERT(fd >= 0);
        RC_ASSERT(::pwrite(fd, text.data(), 1, 0) == 1);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        RC_ASSERT(::futimens(fd, times) == 0);
        ::close(fd);
        return true;
    }

    // Something a person does in the folder as the run goes: a file, a folder of files, a link, a
    // FIFO, a run folder (held by a job, or marked and left), one of the run's files replaced by a
    // folder, annotated, edited in place with its times put back, linked to (in the folder or
    // outside it), or a file of theirs renamed onto it.
    void meddle(int n) {
        const std::string where = *rc::gen::elementOf(folders_);
        const fs::path at = top_ / ((*rc::gen::arbitrary<bool>() ? where + "/" : "") + nameOf('u', n));
        const std::string file = *rc::gen::elementOf(files_);
        switch (*rc::gen::inRange(0, 11)) {
        case 0:
            writeFile(at, *rc::gen::string<std::string>());
            break;
        case 1:
            fs::create_directories(at / "f" / "f");
            writeFile(at / "f" / "f" / "notes.txt", "mine");
            break;
        case 2:
            fs::create_symlink(*rc::gen::arbitrary<bool>() ? top_ / where : fs::path("/"), at);
            break;
        case 3:
            RC_ASSERT(::mkfifo(at.c_str(), 0644) == 0);
            break;
        case 4:
            fs::create_directory(at);
            writeFile(at / app::kRunFolderMark, *rc::gen::string<std::string>());
            break;
        case 5: {
            std::string why;
            std::unique_ptr<app::RunFolder> job = runFolder(at, false, &why);
            RC_ASSERT(job);
            held_.push_back(std::move(job));
            break;
        }
        case 6: // the log the run still writes stays a file
            if (file == "app.log") return meddle(n);
            fs::rename(top_ / file, scratch_ / ("moved" + std::to_string(n)));
            fs::create_directory(top_ / file);
            std::erase(files_, file);
            break;
        case 7:
            writeFile(top_ / file, testkit::readFile(top_ / file) + "annotated");
            break;
        case 8:
            if (!editInPlace(top_ / file)) writeFile(top_ / file, "x");
            break;
        case 9:
            fs::create_hard_link(top_ / file, *rc::gen::arbitrary<bool>() ? at : scratch_ / ("link" + std::to_string(n)));
            break;
        default:
            writeFile(scratch_ / "mine", "mine");
            fs::rename(scratch_ / "mine", top_ / file);
        }
        meddled_ = true;
    }

    fs::path scratch_, top_;
    std::vector<std::string> folders_, files_;
    std::vector<std::unique_ptr<app::RunFolder>> held_; // run folders of jobs still running
    bool meddled_ = false;
};

// Whatever a person does in a run folder while its run goes, or between the passes of --overwrite,
// --overwrite refuses with every byte where it was; a run nobody touched is emptied whole.
RC_GTEST_PROP(RunFolderRecord, OverwriteEmptiesOnlyARunNobodyTouchedAndKeepsEveryByteOfAnyoneElse, ()) {
    const testkit::ScratchFolder scratch("ft-record");
    Meddled run(scratch.path());
    const bool meddling = *rc::gen::arbitrary<bool>();
    run.run(meddling);
    const bool between = meddling && (!run.meddled() || *rc::gen::arbitrary<bool>());
    auto before = treeOf(run.top());
    std::string why;
    const std::unique_ptr<app::RunFolder> again = runFolder(run.top(), true, &why, [&] {
        run.betweenPasses(between);
        before = treeOf(run.top());
    });
    if (!meddling) {
        RC_ASSERT(again);
        const auto left = treeOf(run.top());
        RC_ASSERT(left.size() == 2u);
        RC_ASSERT(left.count(app::kRunFolderMark) == 1u);
        RC_ASSERT(left.count(app::kRunFolderLock) == 1u);
        return;
    }
    RC_ASSERT_FALSE(again);
    RC_ASSERT(why.ends_with("; nothing was emptied"));
    RC_ASSERT(treeOf(run.top()) == before);
}

// ---- What a person does to a run folder, with the program ----

using ProgramOutcome = testkit::ProcessOutcome;

const std::string kShortRun = (fs::path(FT_RESOURCES_DIR) / "testers" / "battery-pass.json").string();

ProgramOutcome runProgram(const std::vector<std::string>& args) {
    return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, args);
}

// `command` run by bash in the folder `here`, the program as "$0".
ProgramOutcome inShell(const fs::path& here, const std::string& command) {
    return testkit::runProcess("bash", {"-c", "cd \"$1\" && " + command, FUNCTIONTEST_EXECUTABLE, here.string()});
}

ProgramOutcome overwrite(const fs::path& run) {
    return runProgram({"--no-pictures", "--script", kShortRun, "--run-dir", run.string(), "--overwrite"});
}

// What a person adds while the job runs, in folders the run writes in too, is theirs: never
// recorded as the run's, so --overwrite refuses it and it stays.
TEST(RunFolderJob, WhatAPersonAddsWhileTheJobRunsStaysTheirs) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const fs::path run = scratch.path() / "run";
    app::JobOptions options;
    options.script = kShortRun;
    options.runDir = run.string();
    options.folderMade = [&](const std::string&) {
        fs::create_directories(run / "pictures");
        writeFile(run / "pictures" / "NOTES-keep.txt", "mine");
        fs::create_directories(run / "home" / "Documents" / "mine");
        writeFile(run / "home" / "Documents" / "mine" / "receipt.txt", "mine too");
    };
    std::ostringstream out, err;
    ASSERT_EQ(app::runJob(options, out, err).status, 0) << err.str();
    const auto before = treeOf(run);
    ASSERT_GT(before.size(), 10u) << "the run wrote beside them";
    const ProgramOutcome outcome = overwrite(run);
    EXPECT_EQ(outcome.status, 2) << outcome.output;
    EXPECT_NE(outcome.output.find(" holds home, which its run did not write"), std::string::npos) << outcome.output;
    EXPECT_TRUE(treeOf(run) == before);
}

// A file of the run rewritten in place with as many bytes and its time put back (touch -r, cp -p,
// an editor that keeps times) is refused, whichever it is.
TEST(RunFolderJob, AnEditWithItsTimePutBackIsRefused) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const fs::path run = scratch.path() / "run";
    for (const char* file : {"report.txt", "steps.log"}) {
        fs::remove_all(run);
        ASSERT_EQ(runProgram({"--no-pictures", "--script", kShortRun, "--run-dir", run.string()}).status, 0);
        ASSERT_EQ(inShell(run, std::string("cp -p ") + file + " ../kept && printf X | dd of=" + file +
                                   " bs=1 count=1 conv=notrunc 2>/dev/null && touch -r ../kept " + file)
                      .status,
                  0);
        const auto before = treeOf(run);
        const ProgramOutcome outcome = overwrite(run);
        EXPECT_EQ(outcome.status, 2) << outcome.output;
        EXPECT_NE(outcome.output.find(" holds " + std::string(file) + ", changed since its run wrote it"),
                  std::string::npos)
            << outcome.output;
        EXPECT_TRUE(treeOf(run) == before) << file;
    }
}

// A person's file renamed onto a recorded name between --overwrite's look and its taking away is
// never taken for the run's: the emptying is refused with the folder whole, their file in it.
TEST(RunFolderJob, AFileRenamedOntoARecordedNameBetweenThePassesIsRefusedWithTheFolderWhole) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const fs::path run = scratch.path() / "run";
    for (const std::string recorded : {"report.txt", "pictures/", "home/Documents/functiontest_config.txt"}) {
        fs::remove_all(run);
        ASSERT_EQ(runProgram({"--script", kShortRun, "--run-dir", run.string()}).status, 0);
        const std::string picture = "pictures/" + fs::directory_iterator(run / "pictures")->path().filename().string();
        const std::string onto = recorded == "pictures/" ? picture : recorded;
        std::map<std::string, std::string> before;
        std::string why;
        const std::unique_ptr<app::RunFolder> again = runFolder(run, true, &why, [&] {
            writeFile(scratch.path() / "mine", "mine");
            fs::rename(scratch.path() / "mine", run / onto);
            before = treeOf(run);
        });
        EXPECT_FALSE(again) << onto;
        why = sim::maskedMessage(why).text(); // as the job says it
        EXPECT_NE(why.find(" changed as it was emptied: " + onto + ": it is not the entry its run made; nothing "
                           "was emptied"),
                  std::string::npos)
            << why;
        EXPECT_TRUE(treeOf(run) == before) << onto;
        EXPECT_EQ(testkit::readFile(run / onto), "mine");
    }
}

// A link put in place of the run's pictures/, service/ or home/ while the job runs leads nowhere:
// nothing is written where it points, and the job says what it could not write.
TEST(RunFolderJob, ALinkInPlaceOfARunsFolderSendsNothingOutside) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const fs::path elsewhere = scratch.path() / "elsewhere";
    fs::create_directories(elsewhere / "Library" / "Preferences");
    for (const char* file : {"transactions.json", "001-LoginViewController.png", "Library/Preferences/x.json"})
        writeFile(elsewhere / file, "mine");
    const struct Case {
        const char* folder;
        int status;
        std::string said;
    } cases[] = {
        {"pictures", app::kNotWrittenStatus, "functiontest: cannot write pictures: Too many levels of symbolic links"},
        {"service", 1, "functiontest: the reference service could not start: service: Too many levels of symbolic links"},
        {"home", 1, "functiontest: cannot make the home: home: Too many levels of symbolic links"},
    };
    const auto theirs = treeOf(elsewhere);
    for (const Case& c : cases) {
        const fs::path run = scratch.path() / c.folder;
        app::JobOptions options;
        options.script = kShortRun;
        options.runDir = run.string();
        options.folderMade = [&](const std::string&) {
            fs::create_directory(run / (std::string(c.folder) + ".moved"));
            fs::create_directory_symlink(elsewhere, run / c.folder);
        };
        std::ostringstream out, err;
        EXPECT_EQ(app::runJob(options, out, err).status, c.status) << c.folder;
        EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
        EXPECT_TRUE(treeOf(elsewhere) == theirs) << c.folder;
    }
}

// Under a file-size limit, the signal at its default action, the job ends with status 5 and its
// report, each file it could not write named, and no recording cut short.
TEST(RunFolderJob, AFileSizeLimitIsStatusFiveWithAReport) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const ProgramOutcome outcome = inShell(scratch.path(), "ulimit -f 200 && \"$0\" --no-pictures --run-dir r");
    EXPECT_EQ(outcome.status, app::kNotWrittenStatus) << outcome.output;
    EXPECT_NE(outcome.output.find("functiontest: cannot write home/Documents/sound.m4a: File too large"),
              std::string::npos)
        << outcome.output;
    const std::string report = testkit::readFile(scratch.path() / "r" / "report.txt");
    EXPECT_NE(report.find("  not written:  home/Documents/sound.m4a: File too large\n"), std::string::npos) << report;
    EXPECT_FALSE(fs::exists(scratch.path() / "r" / "home" / "Documents" / "sound.m4a"));
}

// On a full disk the messages, the report and the service's replies in it name the run's files by
// the folder's own path, and none points at a log that was not written.
TEST(RunFolderJob, AFullDisksMessagesNameWhatTheTesterCanLookAt) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const ProgramOutcome outcome = testkit::runProcess(
        "unshare", {"-rm", "sh", "-c", "mount -t tmpfs -o size=300k tmpfs \"$0\" && cd \"$0\" && \"$1\" --run-dir r",
                    scratch.path().string(), FUNCTIONTEST_EXECUTABLE});
    if (outcome.output.find("functiontest") == std::string::npos) GTEST_SKIP() << "no mount namespace here: " << outcome.output;
    EXPECT_EQ(outcome.status, app::kNotWrittenStatus) << outcome.output;
    for (const char* nowhere : {"/proc/self/fd", "\\/proc\\/self\\/fd", "(app.log says why)"})
        EXPECT_EQ(outcome.output.find(nowhere), std::string::npos) << nowhere << "\n" << outcome.output;
    std::istringstream lines(outcome.output);
    int named = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("functiontest: cannot write ")) {
            ++named;
            EXPECT_NE(line[27], '/') << "named by its place in the folder: " << line;
        }
    EXPECT_GT(named, 0) << outcome.output;
}

// A job holds its folder by its lock file too, which a file system that cannot lock a folder (a
// network one) keeps: a folder whose lock file another job holds is in use.
TEST(RunFolderJob, AFolderWhoseLockFileIsHeldIsInUse) {
    const testkit::ScratchFolder scratch("ft-folder-job");
    const fs::path run = scratch.path() / "run";
    ASSERT_EQ(runProgram({"--no-pictures", "--script", kShortRun, "--run-dir", run.string()}).status, 0);
    const int lock = ::open((run / app::kRunFolderLock).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const auto before = treeOf(run);
    const ProgramOutcome outcome = overwrite(run);
    ::close(lock);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find(" is in use by a running job; nothing was emptied"), std::string::npos)
        << outcome.output;
    EXPECT_TRUE(treeOf(run) == before);
    EXPECT_EQ(overwrite(run).status, 0) << "let go of, the folder is the run's again";
}

} // namespace
