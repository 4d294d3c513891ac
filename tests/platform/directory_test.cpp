// A folder held open: every place is reached beneath it, never through a link nor out of it, a
// folder handed out stays inside its top folder whatever is renamed meanwhile, and with a journal
// only what the journal made is replaced or removed.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/directory.h"
#include "platform/foundation/file_manager.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// The test's own record of what was made: each place's figures as last told, and each failure.
class Recorded final : public ns::Directory::Journal {
public:
    void made(const std::string& path, const ns::EntryFigures& figures) override { entries[path] = figures; }
    void removed(const std::string& path) override { entries.erase(path); }
    void failed(const std::string& path, int error) override { failures[path] = error; }
    std::optional<ns::EntryFigures> lastMade(const std::string& path) const override {
        const auto found = entries.find(path);
        return found == entries.end() ? std::nullopt : std::optional(found->second);
    }
    std::map<std::string, ns::EntryFigures> entries;
    std::map<std::string, int> failures;
};

void put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct HeldFolder {
    testkit::ScratchFolder scratch{"ft-directory"};
    fs::path top = scratch.path() / "top", elsewhere = scratch.path() / "elsewhere";
    std::shared_ptr<Recorded> journal = std::make_shared<Recorded>();
    ns::Directory held = [this] {
        fs::create_directories(top / "in");
        fs::create_directories(elsewhere);
        put(elsewhere / "f", "theirs");
        return ns::Directory::adopt(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), top.string(),
                                    journal);
    }();
};

// No place leads out of the folder held: not a link at any depth, not "..", not an absolute path;
// a place that fails is told to the journal, and nothing is made where a link points.
TEST(Directory, NoPlaceLeadsOutOfTheFolderHeld) {
    const struct Case {
        const char* what;
        std::string place;
        int error;
    } cases[] = {
        {"a link for a folder", "link/f", ELOOP},        {"a link deeper", "in/link/f", ELOOP},
        {"a link for the file", "in/file-link", EEXIST}, {"up and out", "../elsewhere/f", EINVAL},
        {"an absolute place", "/tmp/f", EINVAL},         {"an empty part", "in//f", EINVAL},
    };
    for (const Case& c : cases) {
        HeldFolder folder;
        fs::create_directory_symlink(folder.elsewhere, folder.top / "link");
        fs::create_directory_symlink(folder.elsewhere, folder.top / "in" / "link");
        fs::create_symlink(folder.elsewhere / "f", folder.top / "in" / "file-link");
        EXPECT_EQ(folder.held.write(c.place, "run's", ns::Durability::Unsynced), c.error) << c.what;
        int error = 0;
        EXPECT_FALSE(folder.held.folder(c.place + "/sub", &error)) << c.what;
        EXPECT_EQ(testkit::readFile(folder.elsewhere / "f"), "theirs") << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.elsewhere), {}), 1) << c.what;
        EXPECT_TRUE(folder.journal->failures.count(c.place)) << c.what;
    }
}

// A folder handed out is reached from the top folder at each use: its name turned into a link
// after it was handed out leads nowhere, and the top folder renamed is still the one written to.
TEST(Directory, AFolderHandedOutStaysInsideWhatIsRenamedMeanwhile) {
    HeldFolder folder;
    int error = 0;
    const std::optional<ns::Directory> pictures = folder.held.folder("pictures", &error);
    ASSERT_TRUE(pictures);
    ASSERT_EQ(pictures->write("1.png", "one", ns::Durability::Unsynced), 0);
    fs::rename(folder.top / "pictures", folder.top / "pictures.moved");
    fs::create_directory_symlink(folder.elsewhere, folder.top / "pictures");
    EXPECT_EQ(pictures->write("2.png", "two", ns::Durability::Unsynced), ELOOP);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.elsewhere), {}), 1);

    fs::rename(folder.top, folder.scratch.path() / "moved");
    EXPECT_EQ(folder.held.write("after.txt", "here", ns::Durability::Synced), 0);
    EXPECT_EQ(testkit::readFile(folder.scratch.path() / "moved" / "after.txt"), "here");
    EXPECT_EQ(folder.held.pathOf("after.txt"), folder.top.string() + "/after.txt") << "named as it was held";
}

// With a journal, a file is written over, and an entry removed, only when it is the one the journal
// made, unchanged; anything else there stays, byte for byte.
TEST(Directory, OnlyWhatTheJournalMadeIsReplacedOrRemoved) {
    const struct Case {
        const char* what;
        std::function<void(const fs::path&)> meddle; // done to the run's file "f"
        int write, remove;
    } cases[] = {
        {"untouched", [](const fs::path&) {}, 0, 0},
        {"a person's file renamed onto it",
         [](const fs::path& f) {
             put(f.parent_path() / "mine", "mine");
             fs::rename(f.parent_path() / "mine", f);
         },
         EEXIST, EPERM},
        {"edited in place, its time put back",
         [](const fs::path& f) {
             const auto time = fs::last_write_time(f);
             std::fstream(f, std::ios::in | std::ios::out | std::ios::binary).write("R", 1);
             fs::last_write_time(f, time);
         },
         EEXIST, EPERM},
        {"linked to", [](const fs::path& f) { fs::create_hard_link(f, f.parent_path() / "link"); }, EEXIST,
         EPERM},
    };
    for (const Case& c : cases) {
        HeldFolder folder;
        ASSERT_EQ(folder.held.write("in/f", "run's", ns::Durability::Unsynced), 0);
        ASSERT_TRUE(folder.journal->entries.count("in/f"));
        c.meddle(folder.top / "in" / "f");
        const std::string there = testkit::readFile(folder.top / "in" / "f");
        EXPECT_EQ(folder.held.write("in/f", "run's again", ns::Durability::Unsynced), c.write) << c.what;
        EXPECT_EQ(testkit::readFile(folder.top / "in" / "f"), c.write ? there : "run's again") << c.what;
        EXPECT_EQ(folder.held.remove("in/f"), c.remove) << c.what;
        EXPECT_EQ(fs::exists(folder.top / "in" / "f"), c.remove != 0) << c.what;
        EXPECT_FALSE(fs::exists(folder.top / "in" / ns::asideName("f"))) << c.what;
    }
}

// A file written as it goes is told to the journal as it stands when it holds just what was written
// to it; one a person changed meanwhile keeps only its making, and is never removed as the run's.
TEST(Directory, AStreamIsTheRunsOnlyAsItWroteIt) {
    for (const bool meddled : {false, true}) {
        HeldFolder folder;
        int error = 0;
        std::optional<ns::Directory::Stream> log = folder.held.stream("app.log", "head\n", &error);
        ASSERT_TRUE(log);
        EXPECT_EQ(log->append("line\n"), 0);
        if (meddled)
            std::fstream(folder.top / "app.log", std::ios::in | std::ios::out | std::ios::binary)
                .write("H", 1);
        EXPECT_EQ(log->append("more\n"), 0);
        log->close();
        struct stat status {};
        ASSERT_EQ(::stat((folder.top / "app.log").c_str(), &status), 0);
        EXPECT_EQ(folder.journal->entries.at("app.log").size, meddled ? 5u : 15u) << meddled;
        EXPECT_EQ(folder.held.remove("app.log"), meddled ? EPERM : 0) << meddled;
    }
}

// The application's paths under a home held open are reached through it: ".." worked out, a link
// inside refused; sealed, nothing is written by path anywhere else.
TEST(Directory, TheApplicationsPathsGoThroughItsHomeAndSealedNowhereElse) {
    HeldFolder folder;
    fs::create_directory_symlink(folder.elsewhere, folder.top / "in" / "link");
    ns::ApplicationHome::setDirectory(folder.held);
    const std::string home = folder.top.string();
    EXPECT_TRUE(ns::writeAtomically(home + "/in/../in/a.txt", "a"));
    EXPECT_TRUE(folder.journal->entries.count("in/a.txt"));
    EXPECT_FALSE(ns::writeAtomically(home + "/in/link/f", "x"));
    EXPECT_EQ(ns::writeFile((folder.scratch.path() / "outside").string(), "x", ns::Durability::Unsynced), 0);
    const bool before = ns::ApplicationHome::setSealed(true);
    EXPECT_EQ(ns::writeFile((folder.scratch.path() / "sealed").string(), "x", ns::Durability::Unsynced),
              EACCES);
    EXPECT_EQ(ns::writeFile(home + "/in/b.txt", "b", ns::Durability::Unsynced), 0);
    ns::ApplicationHome::setSealed(before);
    ns::ApplicationHome::setPath("");
    EXPECT_EQ(testkit::readFile(folder.elsewhere / "f"), "theirs");
    EXPECT_FALSE(fs::exists(folder.scratch.path() / "sealed"));
}

} // namespace
