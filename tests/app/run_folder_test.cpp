// The record of what a run wrote, with runs written straight through the run folder in a scratch
// folder: --overwrite empties a recorded run with nothing added whole, and refuses anything else at
// any depth, naming it, every byte kept.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "app/run_folder.h"
#include "app/run_report.h"
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

// What a run wrote through its folder: the folders and the files, by path in it.
struct Run {
    std::vector<std::string> folders, files;
};

// A name unique by `n`, with what a name may hold besides: a space, a line break, a backslash, a
// byte of another encoding.
std::string nameOf(char kind, int n) {
    return kind + std::to_string(n) + *rc::gen::elementOf(std::vector<std::string>{"", " x", "\n", "\\", "\xe9"});
}

// The run's entries at the top, then up to ten more at random depths under its folders.
Run writeRun(app::RunFolder& folder) {
    Run run{{"home", "service", "pictures", "audio"}, {"report.txt", "app.log", "device.log", "steps.log"}};
    for (const std::string& name : run.folders)
        RC_ASSERT(folder.makeFolder(name));
    for (const std::string& name : run.files)
        RC_ASSERT(folder.write(name, *rc::gen::string<std::string>()));
    for (int n = 0, more = *rc::gen::inRange(0, 10); n < more; ++n) {
        const std::string path = *rc::gen::elementOf(run.folders) + "/" + nameOf('e', n);
        if (*rc::gen::arbitrary<bool>()) {
            RC_ASSERT(folder.makeFolder(path));
            run.folders.push_back(path);
        } else {
            RC_ASSERT(folder.write(path, *rc::gen::string<std::string>()));
            run.files.push_back(path);
        }
    }
    return run;
}

// A recorded run in `top`, let go of.
Run recordedRun(const fs::path& top) {
    std::string why;
    std::optional<app::RunFolder> folder = app::makeRunFolder({top.string(), "", false, {}, {}}, &why);
    RC_ASSERT(folder.has_value());
    Run run = writeRun(*folder);
    RC_ASSERT(folder->record(&why));
    return run;
}

// Something the run did not write, put under it as a person or another job would: a file, a
// folder of files, a link, a FIFO, a run folder (held by a job, or marked and left), a file of the
// run changed or replaced by a folder. Answers the path --overwrite is to name for it.
std::string addForeign(const fs::path& top, Run& run, int n, std::vector<app::RunFolder>& held) {
    const std::string where = *rc::gen::elementOf(run.folders);
    std::string path = (*rc::gen::arbitrary<bool>() ? where + "/" : "") + nameOf('u', n);
    const fs::path at = top / path;
    std::vector<int> kinds(run.files.empty() ? 6 : 9);
    std::iota(kinds.begin(), kinds.end(), 0);
    const int kind = *rc::gen::elementOf(kinds); // each as likely, whatever the case's size
    switch (kind) {
    case 0:
        writeFile(at, *rc::gen::string<std::string>());
        break;
    case 1: {
        fs::path inner = at;
        for (int depth = *rc::gen::inRange(1, 4); depth > 0; --depth)
            inner /= "f";
        fs::create_directories(inner);
        writeFile(inner / "notes.txt", "mine");
        break;
    }
    case 2:
        fs::create_symlink(*rc::gen::arbitrary<bool>() ? top / run.folders.front() : fs::path("/"), at);
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
        std::optional<app::RunFolder> job = app::makeRunFolder({at.string(), "", false, {}, {}}, &why);
        RC_ASSERT(job.has_value());
        held.push_back(std::move(*job));
        break;
    }
    default: { // one of the run's files, no longer as it wrote it
        path = *rc::gen::elementOf(run.files);
        std::erase(run.files, path);
        if (kind == 6) {
            fs::remove(top / path);
            fs::create_directory(top / path);
        } else if (kind == 7) {
            writeFile(top / path, testkit::readFile(top / path) + "annotated");
        } else {
            fs::last_write_time(top / path, fs::last_write_time(top / path) + std::chrono::seconds(1));
        }
    }
    }
    return path;
}

RC_GTEST_PROP(RunFolderRecord, OverwriteRefusesWhatItsRunDidNotWriteNamingItAndKeepsEveryByte, ()) {
    const testkit::ScratchFolder scratch("ft-record");
    const fs::path top = scratch.path() / "run";
    Run run = recordedRun(top);
    std::vector<app::RunFolder> held;
    std::vector<std::string> added;
    for (int n = 0, count = *rc::gen::inRange(1, 3); n < count; ++n)
        added.push_back(addForeign(top, run, n, held));
    const auto before = treeOf(top);
    std::string why;
    RC_ASSERT_FALSE(app::makeRunFolder({top.string(), "", true, {}, {}}, &why).has_value());
    RC_ASSERT(why.ends_with("; nothing was emptied"));
    RC_ASSERT(std::any_of(added.begin(), added.end(), [&](const std::string& path) {
        return why.find(" holds " + app::cutName(path) + ", ") != std::string::npos;
    }));
    RC_ASSERT(treeOf(top) == before);
}

RC_GTEST_PROP(RunFolderRecord, ARecordedRunWithNothingAddedIsEmptiedWhole, ()) {
    const testkit::ScratchFolder scratch("ft-record");
    const fs::path top = scratch.path() / "run";
    recordedRun(top);
    std::string why;
    const std::optional<app::RunFolder> again = app::makeRunFolder({top.string(), "", true, {}, {}}, &why);
    RC_ASSERT(again.has_value());
    const auto left = treeOf(top);
    RC_ASSERT(left.size() == 1u);
    RC_ASSERT(left.begin()->first == app::kRunFolderMark);
}

} // namespace
