// What the reference service stores survives a restart, a kill before the rename and a kill of
// the process; a store it cannot read or write is never taken for an empty one. The executable
// runs as a process here.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
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
    logIn();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    ASSERT_EQ(post("/ws/updateresult/", updateBody("T-1", "0")).parsed()["status"], 1);
    ASSERT_EQ(post("/partner/api/functionaltest_finish/", partnerBody("S1")).status, 200);

    restart();
    // The transaction is known, the session finished, the log goes on; the login is not kept.
    EXPECT_EQ(post("/ws/updateresult/", updateBody("T-1", "1")).parsed()["status"], 1);
    EXPECT_EQ(post("/ws/insert/", insertBody("T-1")).status, 401);
    logIn();
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
    EXPECT_EQ(lines, 9);
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
        ns::detail::setAtomicWriteInterruption([](const std::string&) { return ::kill(::getpid(), SIGKILL) == 0; });
        store->update("T-1", json{{"uuid", "T-1"}, {"result", "1"}}, "t2");
        _exit(4); // not reached when the hook ran
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child status " << status;

    EXPECT_EQ(readFile(file), before);
    const fs::path aside = folder.path() / ns::asideName("transactions.json");
    json written = json::parse(readFile(aside), nullptr, false);
    EXPECT_EQ(written["transactions"]["T-1"]["updates"].size(), 1u); // the lost write was complete

    std::string error;
    auto store = refsvc::TransactionStore::open(folder.path(), &error); // the dead child's lock is gone
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->snapshot()["transactions"]["T-1"]["updates"].empty());
    EXPECT_EQ(store->update("T-1", json{{"uuid", "T-1"}}, "t3"), refsvc::TransactionStore::Outcome::Stored);
    EXPECT_EQ(json::parse(readFile(file))["transactions"]["T-1"]["updates"].size(), 1u);
    EXPECT_FALSE(fs::exists(aside));
}

// The store stays within its limits, in memory and on disk alike: past a section's bytes the
// records of that section changed longest ago go (in the order they changed, read again from their
// times when the store is opened again), each only once kept its section's time: a change that
// finds none so old is refused and drops nothing. A transaction keeps its latest updates. Partner
// sessions make room only among themselves. A finished session's id is kept apart.
TEST(TransactionStoreTest, KeepsWithinItsLimitsDroppingWhatChangedLongestAgo) {
    using Outcome = refsvc::TransactionStore::Outcome;
    using std::chrono::minutes;
    struct Step {
        char what; // 'i' insert, 'u' update, 'p' partner finish, 'o' the store opened again
        std::string id;
        std::size_t bytes = 100; // of the record's text entry
        Outcome outcome = Outcome::Stored;
    };
    const auto inserts = [](int count, std::size_t bytes) {
        std::vector<Step> steps;
        for (int i = 1; i <= count; ++i)
            steps.push_back({'i', "T-" + std::to_string(i), bytes});
        return steps;
    };
    std::vector<Step> updates{{'i', "T-1"}};
    updates.insert(updates.end(), 20, {'u', "T-1"});
    const struct {
        const char* name;
        refsvc::StoreLimits limits;
        std::vector<Step> steps;
        // Each record: its id ("#" and the id for a finished session's), and a transaction's
        // updates and the first one's step.
        const char* kept;
    } rows[] = {
        // 60 inserts of 900 KB at the default limit, scaled down a hundredfold (the benchmark's case).
        {"60 inserts, two fit",
         {.maxBytes = 20'000, .maxPartnerBytes = 20'000, .transactionKept = {}},
         inserts(60, 9'000),
         "T-59/0/ T-60/0/"},
        {"a transaction's latest updates", {}, updates, "T-1/16/06"},
        {"the one changed last stays",
         {.maxBytes = 35'000, .maxPartnerBytes = 35'000, .transactionKept = {}},
         {{'i', "A", 10'000},
          {'i', "B", 10'000},
          {'i', "C", 10'000},
          {'u', "A"},
          {'i', "D", 10'000},
          {'o', ""},
          {'i', "E", 10'000}},
         "A/1/04 D/0/ E/0/"},
        {"each section within its own bytes",
         {25'000, 25'000, 16, 1'000, minutes(0), {}, minutes(0)},
         {{'p', "S-1", 10'000},
          {'i', "T-1", 10'000},
          {'p', "S-2", 10'000},
          {'i', "T-2", 10'000},
          {'p', "S-3", 10'000},
          {'i', "T-3", 10'000}},
         "#S-1 #S-2 #S-3 S-2 S-3 T-2/0/ T-3/0/"},
        {"partner finishes never push a transaction out",
         {25'000, 5'000, 16, 1'000, minutes(0), {}, minutes(0)},
         {{'i', "T-1", 10'000},
          {'u', "T-1"},
          {'p', "S-1", 4'000},
          {'p', "S-2", 4'000},
          {'p', "S-3", 4'000},
          {'o', ""},
          {'p', "S-4", 4'000}},
         "#S-1 #S-2 #S-3 #S-4 S-4 T-1/1/02"},
        {"one over the limit alone",
         {5'000, 5'000, 16, 1'000, minutes(0)},
         {{'p', "S-1"}, {'i', "T-1", 10'000}, {'p', "S-2", 10'000}},
         "#S-1 #S-2 S-2 T-1/0/"},
        // A step is a minute. Two ids fit (37 bytes each); an id may go five steps after its finish,
        // its time read again when the store is opened again; a session's record answers for it.
        {"finished ids kept their own time",
         {25'000, 25'000, 16, 80, minutes(0), minutes(5)},
         {{'p', "S-1"},
          {'p', "S-2"},
          {'p', "S-3", 100, Outcome::Full},
          {'o', ""},
          {'p', "S-3", 100, Outcome::Full},
          {'p', "S-4"},
          {'p', "S-1", 100, Outcome::Finished},
          {'p', "S-5"}},
         "#S-4 #S-5 S-1 S-2 S-4 S-5"},
        // A transaction may go four steps after it last changed: an insert that finds them all
        // younger is refused and drops none; an update that fits is taken meanwhile.
        {"transactions kept their own time",
         {.maxBytes = 25'000, .transactionKept = minutes(4)},
         {{'i', "T-1", 10'000},
          {'i', "T-2", 10'000},
          {'i', "T-3", 10'000, Outcome::Full},
          {'u', "T-1"},
          {'o', ""},
          {'i', "T-3", 10'000},
          {'i', "T-4", 10'000, Outcome::Full}},
         "T-1/1/04 T-3/0/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder folder;
        auto store = refsvc::TransactionStore::open(folder.path(), nullptr, row.limits);
        ASSERT_TRUE(store);
        int index = 0;
        for (const Step& step : row.steps) {
            ++index;
            const auto time = std::chrono::sys_days(std::chrono::year(2024) / 5 / 1) + minutes(index);
            const std::string at = refsvc::utcText(time);
            const json fields{{"uuid", step.id}, {"text", std::string(step.bytes, 'x')}};
            if (step.what == 'o') {
                store.reset();
                store = refsvc::TransactionStore::open(folder.path(), nullptr, row.limits);
                ASSERT_TRUE(store);
            } else {
                ASSERT_EQ(step.what == 'i'   ? store->insert(step.id, fields, at)
                          : step.what == 'u' ? store->update(step.id, fields, at)
                                             : store->finish(step.id, fields, time),
                          step.outcome)
                    << step.what << " " << step.id << " at step " << index;
            }
        }
        const json snapshot = store->snapshot();
        std::string kept;
        for (const auto& [section, records] : snapshot.items())
            for (const auto& [id, record] : records.items()) {
                kept += std::string(kept.empty() ? "" : " ") + (section == "finished" ? "#" : "") + id;
                if (section == "transactions")
                    kept += "/" + std::to_string(record["updates"].size()) + "/" +
                            (record["updates"].empty()
                                 ? "" // the minute of its first update
                                 : record["updates"][0]["at"].get<std::string>().substr(14, 2));
            }
        EXPECT_EQ(kept, row.kept);
        EXPECT_EQ(json::parse(readFile(store->path())), snapshot) << "the file holds what the store keeps";
        const auto bound = [](std::size_t limit) { return std::max<std::uintmax_t>(limit, 10'200); };
        EXPECT_LE(fs::file_size(store->path()), bound(row.limits.maxBytes) + bound(row.limits.maxPartnerBytes) +
                                                    bound(row.limits.maxFinishedBytes) + 100);
    }
}

// A store written without the finished sessions' ids takes its sessions' for them: a session stays
// finished once its record has gone.
TEST(TransactionStoreTest, AStoreWithoutFinishedIdsTakesItsSessionsForThem) {
    ScratchFolder folder;
    std::ofstream(folder.path() / "transactions.json")
        << R"({"partner": {"S-1": {"at": "2024-05-01T00:00:00.000Z", "fields": {"note": "x"}}}, "transactions": {}})";
    auto store = refsvc::TransactionStore::open(folder.path(), nullptr, {.maxPartnerBytes = 10, .partnerKept = {}});
    ASSERT_TRUE(store);
    const auto at = std::chrono::sys_days(std::chrono::year(2024) / 5 / 2);
    ASSERT_EQ(store->finish("S-2", json::object(), at), refsvc::TransactionStore::Outcome::Stored);
    EXPECT_FALSE(store->snapshot()["partner"].contains("S-1"));
    EXPECT_EQ(store->finish("S-1", json::object(), at), refsvc::TransactionStore::Outcome::Finished);
}

// Options for a service whose store has `limits` and whose clock reads `elapsed` seconds (read on
// the service's threads) after the start of 2024-05-01.
refsvc::Options onClock(std::shared_ptr<std::atomic<long>> elapsed, refsvc::StoreLimits limits) {
    refsvc::Options options;
    options.store = limits;
    options.clock = [elapsed] {
        return std::chrono::sys_days(std::chrono::year(2024) / 5 / 1) + std::chrono::seconds(elapsed->load());
    };
    return options;
}

// Partner finishes need no login: a flood of them, many times what the store holds (its limits
// scaled down, on a clock of the test's), changes no answer the service gave. The operator's
// transaction stays and takes its next update; the operator's session, finished before the flood,
// answers 409 after it, its record gone, and after a restart. A finish that finds the sessions
// all younger than their time is refused with 503 and a Retry-After saying when one may go; it is
// taken then.
TEST_F(ServiceTest, AFloodOfPartnerFinishesChangesNoAnswer) {
    auto elapsed = std::make_shared<std::atomic<long>>(0);
    const refsvc::Options options = onClock(
        elapsed, {.maxBytes = 40'000, .maxPartnerBytes = 10'000, .partnerKept = std::chrono::seconds(60)});
    startWith(options);
    logIn();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    ASSERT_EQ(post("/ws/updateresult/", updateBody("T-1", "0")).status, 200);
    const std::string path = "/partner/api/functionaltest_finish/";
    ASSERT_EQ(post(path, partnerBody("S-OP")).status, 200);

    json finish = partnerBody("");
    finish["note"] = std::string(2'000, 'x'); // some four fit
    int taken = 0, refused = 0;
    for (int i = 0; taken < 20 && i < 100; ++i) {
        finish["uuid"] = "S-" + std::to_string(i);
        const auto reply = client().Post(path.c_str(), finish.dump(), "application/json");
        ASSERT_TRUE(reply);
        if (reply->status == 200) {
            ++taken;
            continue;
        }
        ASSERT_EQ(reply->status, 503) << i;
        EXPECT_EQ(json::parse(reply->body)["status"], 503);
        // The sessions were all taken at this second or at the last Retry-After's: the oldest may go
        // a minute after.
        EXPECT_EQ(reply->get_header_value("Retry-After"), "60") << i;
        ++refused;
        EXPECT_EQ(post(path, partnerBody("S-OP")).status, 409) << "never 200 again";
        *elapsed += std::stol(reply->get_header_value("Retry-After"));
    }
    EXPECT_EQ(taken, 20);
    EXPECT_GE(refused, 4) << "the flood was many times what the sessions' bound holds";
    EXPECT_EQ(post("/ws/updateresult/", updateBody("T-1", "1")).status, 200);
    ASSERT_TRUE(service_->transaction("T-1"));
    EXPECT_EQ(service_->transaction("T-1")->updates.size(), 2u);
    const auto finishes = service_->partnerFinishes();
    EXPECT_TRUE(std::none_of(finishes.begin(), finishes.end(), [](const auto& f) { return f.session == "S-OP"; }));
    EXPECT_EQ(post(path, partnerBody("S-OP")).status, 409);
    startWith(options);
    EXPECT_EQ(post(path, partnerBody("S-OP")).status, 409);
}

// Inserts need no credential, only the login id of an operator who logged in: a flood of them
// naming the operator, many times what the store holds (its limits scaled down, on a clock of the
// test's), pushes no transaction out. Once the transactions are all younger than their time, an
// insert, and an update that needs room, is refused with 503 and a Retry-After saying when the
// oldest may go, never 404; then the operator's update is taken, the flood's oldest making room.
TEST_F(ServiceTest, AFloodOfInsertsPushesNoTransactionOut) {
    auto elapsed = std::make_shared<std::atomic<long>>(0);
    startWith(onClock(elapsed, {.maxBytes = 20'000, .transactionKept = std::chrono::seconds(60)}));
    logIn();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-OP")).status, 200);
    json flood = insertBody("");
    flood["note"] = std::string(2'000, 'x'); // some eight fit
    int taken = 0;
    const auto busyFor = [](const Reply& reply) {
        EXPECT_EQ(reply.status, 503) << reply.body;
        EXPECT_EQ(reply.parsed()["status"], 0);
        return reply.retryAfter;
    };
    for (int i = 0; i < 40; ++i) {
        flood["uuid"] = "T-" + std::to_string(i);
        const Reply reply = post("/ws/insert/", flood);
        if (reply.status == 200 && ++taken) continue;
        EXPECT_EQ(busyFor(reply), "60") << i << " (all were taken at 0 s)";
    }
    EXPECT_LT(taken, 10);
    json update = updateBody("T-OP");
    update["result_value"] = std::string(3'000, 'x'); // more than the room left
    EXPECT_EQ(busyFor(post("/ws/updateresult/", update)), "60");
    *elapsed = 30;
    flood["uuid"] = "T-X";
    EXPECT_EQ(busyFor(post("/ws/insert/", flood)), "30");
    *elapsed = 60;
    EXPECT_EQ(post("/ws/updateresult/", update).status, 200);
    ASSERT_TRUE(service_->transaction("T-OP"));
    EXPECT_EQ(service_->transaction("T-OP")->updates.size(), 1u);
    EXPECT_FALSE(service_->transaction("T-0")) << "the oldest of the flood made room";
}

// requests.log cuts what a client sends to 200 bytes and stays within its bound whatever comes,
// the lines before it in requests.log.1; the records in memory are the latest ones.
TEST_F(ServiceTest, RequestsLogStaysWithinItsBoundAfterAFlood) {
    refsvc::Options options;
    options.requestLogBytes = 16 * 1024;
    options.keptRequests = 50;
    startWith(options);
    // Targets and methods of what a client may send, and what the log gives of them.
    const std::string longTarget = "/" + std::string(60'000, 'x'), longMethod(300, 'M');
    std::string accented = "/";
    for (int i = 0; i < 300; ++i)
        accented += "\xC3\xA9"; // two bytes each: byte 200 is inside the 100th
    const struct {
        std::string method, target, loggedMethod, loggedTarget;
    } rows[] = {
        {"GET", longTarget, "GET", longTarget.substr(0, 200) + "..."},
        {"GET", accented, "GET", accented.substr(0, 199) + "..."},
        {longMethod, "/", longMethod.substr(0, 200) + "...", "/"},
        {"GET", "/short?a=1", "GET", "/short?a=1"},
    };
    const int flood = 200;
    for (int i = 0; i < flood; ++i) {
        const auto& row = rows[i % std::size(rows)];
        RawClient raw(service_->port());
        ASSERT_TRUE(raw.send(row.method + " " + row.target + " HTTP/1.1\r\n\r\n"));
        ASSERT_EQ(raw.readToEnd(10).value_or("").substr(0, 12), "HTTP/1.1 404") << i;
    }
    ASSERT_TRUE(service_->waitForRequests(flood, std::chrono::seconds(10)));

    // Every line of both files whole and cut, the two together the latest lines in order.
    const fs::path log = service_->requestsLogPath(), before = log.string() + ".1";
    EXPECT_LE(fs::file_size(log), options.requestLogBytes);
    EXPECT_LE(fs::file_size(before), options.requestLogBytes);
    std::vector<std::int64_t> seqs;
    for (const fs::path& file : {before, log}) {
        std::istringstream lines(readFile(file));
        for (std::string line; std::getline(lines, line);) {
            const json entry = json::parse(line);
            const auto& row = rows[(entry["seq"].get<std::size_t>() - 1) % std::size(rows)];
            EXPECT_EQ(entry["method"], row.loggedMethod);
            EXPECT_EQ(entry["target"], row.loggedTarget);
            seqs.push_back(entry["seq"]);
        }
    }
    ASSERT_FALSE(seqs.empty());
    EXPECT_EQ(seqs.back(), flood);
    EXPECT_EQ(seqs.back() - seqs.front() + 1, static_cast<std::int64_t>(seqs.size())) << "none lost between";

    const auto records = service_->requests();
    ASSERT_EQ(records.size(), options.keptRequests);
    EXPECT_EQ(records.front().seq, flood - 49);
    EXPECT_EQ(records.back().seq, flood);
}

TEST_F(ServiceTest, AStoreThatIsNotReadableIsLeftAlone) {
    fs::create_directories(dataFolder());
    const fs::path file = dataFolder() / "transactions.json";
    for (const char* content :
         {"{\"transactions\": {\"T-1\": ", R"({"transactions": {"T-1": {"insert": {}}}})"}) {
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
    logIn();
    ASSERT_EQ(post("/ws/insert/", insertBody("T-1")).status, 200);
    // A folder where the temporary file goes makes every write fail.
    const fs::path blocker = service_->transactionsPath().parent_path() / ns::asideName("transactions.json");
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

// The executable, its standard output on a pipe, its errors dropped.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), REFSVC_EXECUTABLE);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, REFSVC_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~ServiceProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        ::close(out_);
    }

    // Reads standard output (bounded) until a line holds `text`; answers the number after the
    // line's last colon (the port of "listening on http://127.0.0.1:<port>"), or -1.
    int waitForLine(const std::string& text, double seconds = 20) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (std::string buffer;;) {
            for (std::size_t end; (end = buffer.find('\n')) != std::string::npos; buffer.erase(0, end + 1))
                if (buffer.substr(0, end).find(text) != std::string::npos)
                    return std::atoi(buffer.c_str() + buffer.rfind(':', end) + 1);
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            char chunk[4096];
            ssize_t n = 0;
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
                (n = ::read(out_, chunk, sizeof chunk)) <= 0)
                return -1;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Waits for the exit; answers the exit status, or minus the signal.
    int wait() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1000;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    void signal(int sig) { ::kill(pid_, sig); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
};

TEST(ServiceProcessTest, AKilledProcessLosesNothingAndSigtermStopsCleanly) {
    ScratchFolder folder;
    const std::string data = (folder.path() / "data").string();
    auto status = [](int port, const std::string& path, const json& body) {
        auto reply = httplib::Client("127.0.0.1", port).Post(path.c_str(), body.dump(), "application/json");
        return reply ? reply->status : 0;
    };
    const json login{{"username", "op1"}, {"password", "pw1"}};
    {
        ServiceProcess process({"--data", data, "--port", "0", "--fault", "auth=500*1"});
        int port = process.waitForLine("listening on http://127.0.0.1:");
        ASSERT_GT(port, 0);
        EXPECT_EQ(status(port, "/admin/api/auth/", login), 500); // the fault from the command line
        EXPECT_EQ(status(port, "/admin/api/auth/", login), 200);
        EXPECT_EQ(status(port, "/ws/insert/", insertBody("T-1")), 200);
        process.signal(SIGKILL);
        EXPECT_EQ(process.wait(), -SIGKILL);
    }
    {
        ServiceProcess process({"--data", data});
        int port = process.waitForLine("listening on http://127.0.0.1:");
        ASSERT_GT(port, 0);
        EXPECT_EQ(status(port, "/ws/updateresult/", updateBody("T-1")), 200);
        process.signal(SIGTERM);
        EXPECT_EQ(process.wait(), 0);
    }
    json stored = json::parse(readFile(folder.path() / "data" / "transactions.json"));
    EXPECT_EQ(stored["transactions"]["T-1"]["updates"].size(),
              1u); // the update found the killed run's insert
}

} // namespace
} // namespace refsvc_test
