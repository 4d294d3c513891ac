// What the reference service stores survives a restart, a kill before the rename and a kill of
// the process; a store it cannot read or write is never taken for an empty one. The executable
// runs as a process here.

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/tools/service_fixture.h"
#include "tools/reference_service/storage.h"

extern char** environ;

namespace refsvc_test {
namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(ServiceTest, StoredStateSurvivesARestart) {
    start();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    ASSERT_EQ(post("/ws/updateresult/", updateBody("T-1", "0")).parsed()["status"], 1);
    ASSERT_EQ(post("/partner/api/functionaltest_finish/", partnerBody("S1")).status, 200);

    restart();
    // The transaction is known, the session finished, the log goes on.
    EXPECT_EQ(post("/ws/updateresult/", updateBody("T-1", "1")).parsed()["status"], 1);
    EXPECT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    EXPECT_EQ(post("/partner/api/functionaltest_finish/", partnerBody("S1")).status, 409);
    auto stored = service_->transaction("T-1");
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->updates.size(), 2u);
    EXPECT_EQ(stored->updates[0].fields.at("result"), "0");
    EXPECT_EQ(service_->transactions().size(), 1u);

    std::istringstream log(readFile(service_->requestsLogPath()));
    int lines = 0;
    for (std::string line; std::getline(log, line); ++lines)
        EXPECT_TRUE(json::parse(line).is_object());
    EXPECT_EQ(lines, 6);
}

TEST(TransactionStoreTest, AKillBeforeTheRenameLeavesTheLastStateWhole) {
    ScratchFolder folder;
    const json fields{{"uuid", "T-1"}};
    {
        auto store = refsvc::TransactionStore::open(folder.path(), nullptr);
        ASSERT_TRUE(store);
        ASSERT_EQ(store->insert("T-1", fields, "t1"), refsvc::TransactionStore::Outcome::Stored);
    }
    const fs::path file = folder.path() / "transactions.json";
    const std::string before = readFile(file);

    // A child process writes the next state and is killed between the temporary file's fsync and
    // the rename.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto store = refsvc::TransactionStore::open(folder.path(), nullptr);
        if (!store) _exit(3);
        store->setBeforeRenameForTesting([] { ::kill(::getpid(), SIGKILL); });
        store->update("T-1", json{{"uuid", "T-1"}, {"result", "1"}}, "t2");
        _exit(4); // not reached when the hook ran
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child status " << status;

    EXPECT_EQ(readFile(file), before);
    json written = json::parse(readFile(folder.path() / "transactions.json.tmp"), nullptr, false);
    EXPECT_EQ(written["transactions"]["T-1"]["updates"].size(), 1u); // the lost write was complete

    std::string error;
    auto store = refsvc::TransactionStore::open(folder.path(), &error); // the dead child's lock is gone
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->snapshot()["transactions"]["T-1"]["updates"].empty());
    EXPECT_EQ(store->update("T-1", json{{"uuid", "T-1"}}, "t3"), refsvc::TransactionStore::Outcome::Stored);
    EXPECT_EQ(json::parse(readFile(file))["transactions"]["T-1"]["updates"].size(), 1u);
    EXPECT_FALSE(fs::exists(folder.path() / "transactions.json.tmp"));
}

TEST_F(ServiceTest, AStoreThatIsNotReadableIsLeftAlone) {
    fs::create_directories(dataFolder());
    const fs::path file = dataFolder() / "transactions.json";
    for (const char* content : {"{\"transactions\": {\"T-1\": ", "[1, 2]", R"({"transactions": []})",
                                R"({"transactions": {"T-1": {"insert": {}}}})"}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
        refsvc::Options options;
        options.dataFolder = dataFolder();
        std::string error;
        EXPECT_FALSE(refsvc::Service::start(options, &error)) << content;
        EXPECT_NE(error.find("transactions.json"), std::string::npos) << error;
        EXPECT_EQ(readFile(file), content);
    }
}

TEST_F(ServiceTest, AFailedWriteIsReported500AndChangesNothing) {
    start();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    // A folder where the temporary file goes makes every write fail.
    const fs::path blocker = service_->transactionsPath().string() + ".tmp";
    fs::create_directory(blocker);
    const std::string before = readFile(service_->transactionsPath());

    Reply insert = post("/ws/insert/", insertBody("T-2"));
    EXPECT_EQ(insert.status, 500);
    EXPECT_EQ(insert.parsed()["status"], 0);
    Reply update = post("/ws/updateresult/", updateBody("T-1"));
    EXPECT_EQ(update.status, 500);
    EXPECT_NE(update.parsed()["status"], 1);
    EXPECT_EQ(post("/partner/api/functionaltest_finish/", partnerBody("S1")).status, 500);
    EXPECT_FALSE(service_->transaction("T-2"));
    EXPECT_TRUE(service_->transaction("T-1")->updates.empty());
    EXPECT_TRUE(service_->partnerFinishes().empty());
    EXPECT_EQ(readFile(service_->transactionsPath()), before);

    fs::remove(blocker);
    EXPECT_EQ(post("/ws/insert/", insertBody("T-2")).status, 200);
    EXPECT_TRUE(service_->transaction("T-2"));
}

// ---- the executable ----------------------------------------------------------------------------

// The executable with its output on pipes.
class ServiceProcess {
public:
    explicit ServiceProcess(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all{REFSVC_EXECUTABLE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, REFSVC_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~ServiceProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // Reads standard output until a line contains `text` (bounded); answers that line.
    std::string waitForLine(const std::string& text, double seconds = 20) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            for (std::size_t end; (end = outBuffer_.find('\n')) != std::string::npos;) {
                std::string line = outBuffer_.substr(0, end);
                outBuffer_.erase(0, end + 1);
                if (line.find(text) != std::string::npos) return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
            char chunk[4096];
            ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            outBuffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Waits for the exit; answers the exit status, or -signal.
    int wait() {
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_) return -1000;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    std::string errors() {
        std::string text;
        char chunk[4096];
        for (ssize_t n; (n = ::read(err_, chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }
    void signal(int sig) { ::kill(pid_, sig); }
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool exited_ = false;
    std::string outBuffer_;
};

// The port from "reference-service listening on http://127.0.0.1:<port>".
int portOf(const std::string& line) {
    auto colon = line.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
}

TEST(ServiceProcessTest, AKilledProcessLosesNothingAndSigtermStopsCleanly) {
    ScratchFolder folder;
    const std::string data = (folder.path() / "data").string();
    {
        ServiceProcess process({"--data", data, "--port", "0", "--fault", "auth=500*1"});
        ASSERT_TRUE(process.started());
        int port = portOf(process.waitForLine("listening on http://127.0.0.1:"));
        ASSERT_GT(port, 0);
        httplib::Client client("127.0.0.1", port);
        auto login =
            client.Post("/admin/api/auth/", R"({"username": "op1", "password": "pw1"})", "application/json");
        ASSERT_TRUE(login);
        EXPECT_EQ(login->status, 500); // the fault given on the command line
        auto inserted = client.Post("/ws/insert/", insertBody("T-1").dump(), "application/json");
        ASSERT_TRUE(inserted);
        EXPECT_EQ(inserted->status, 200);
        process.signal(SIGKILL);
        EXPECT_EQ(process.wait(), -SIGKILL);
    }
    {
        ServiceProcess process({"--data", data});
        int port = portOf(process.waitForLine("listening on http://127.0.0.1:"));
        ASSERT_GT(port, 0);
        httplib::Client client("127.0.0.1", port);
        auto updated = client.Post("/ws/updateresult/", updateBody("T-1").dump(), "application/json");
        ASSERT_TRUE(updated);
        EXPECT_EQ(json::parse(updated->body)["status"], 1);
        auto login =
            client.Post("/admin/api/auth/", R"({"username": "op1", "password": "pw1"})", "application/json");
        ASSERT_TRUE(login);
        EXPECT_EQ(login->status, 200);
        process.signal(SIGTERM);
        EXPECT_FALSE(process.waitForLine("stopped").empty());
        EXPECT_EQ(process.wait(), 0);
    }
    json stored = json::parse(readFile(folder.path() / "data" / "transactions.json"));
    EXPECT_EQ(stored["transactions"]["T-1"]["updates"].size(), 1u);
}

TEST(ServiceProcessTest, BadArgumentsExit2AndAnUnusableSeedExits1) {
    ScratchFolder folder;
    const std::string data = (folder.path() / "data").string();
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    for (const Case& c :
         {Case{{"--port", "0"}, "--data"}, Case{{"--data", data, "--fault", "auth=boom"}, "auth=boom"},
          Case{{"--data", data, "--port", "http"}, "--port"},
          Case{{"--data", data, "--verbose"}, "--verbose"}, Case{{"--data"}, "--data"},
          Case{{"--data", data, "--seed", data + "/none.json"}, "none.json"}}) {
        ServiceProcess process(c.args);
        EXPECT_EQ(process.wait(), 2) << c.mentions;
        EXPECT_NE(process.errors().find(c.mentions), std::string::npos) << c.mentions;
    }
    fs::create_directories(folder.path() / "seeds");
    const fs::path seed = folder.path() / "seeds" / "bad.json";
    std::ofstream(seed) << R"({"client": {"id": "c"}})";
    ServiceProcess process({"--data", data, "--seed", seed.string()});
    EXPECT_EQ(process.wait(), 1);
    EXPECT_NE(process.errors().find("seed:"), std::string::npos);
}

} // namespace
} // namespace refsvc_test
