// The main job end to end as far as the application goes today: the tester script logs in against
// the in-process reference service (the identity page, the intake, the insert) and the list comes;
// a refused login leaves the login screen with its alert and stores no transaction.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/testkit/process.h"
#include "tests/testkit/reference_service.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testkit::readFile;

// The calls of requests.log, in order, with their status ("auth:500").
std::vector<std::string> calls(const fs::path& runDir) {
    std::vector<std::string> out;
    std::istringstream lines(readFile(runDir / "service" / "requests.log"));
    for (std::string line; std::getline(lines, line);) {
        json request = json::parse(line, nullptr, false);
        if (request.is_object())
            out.push_back(request["call"].get<std::string>() + ":" +
                          std::to_string(request["status"].get<int>()));
    }
    return out;
}

constexpr const char* kLogin = R"({"name": "login", "steps": [
    {"on": {"url": "/api/udid?prefix=qx"}, "once": true, "after": 2,
     "do": "open", "url": "qx://imei=356938035643809&serial=F2LXK0AAHG7F"},
    {"on": {"screen": "LoginViewController"}, "once": true, "after": 1, "actions": [
      {"do": "type", "outlet": "userNameField", "text": "op1"},
      {"do": "type", "outlet": "passwordField", "text": "pw1"},
      {"do": "tap", "outlet": "loginButton"}]},
    {"on": {"alert": "Quarnotix"}, "after": 1, "do": "press", "title": "OK"}]})";

class LoginJob : public ::testing::Test {
protected:
    testkit::ProcessOutcome run(const std::vector<std::string>& extra) {
        std::ofstream(scratch_.path() / "login.json") << kLogin;
        std::vector<std::string> args = {"--script", (scratch_.path() / "login.json").string(), "--run-dir",
                                         runDir().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, args);
    }
    fs::path runDir() const { return scratch_.path() / "run"; }

    testkit::ScratchFolder scratch_{"ft-e2e"};
};

TEST_F(LoginJob, TheScriptLogsInWaitsForTheIdentityInsertsOnceAndTheListComes) {
    // Before the countdown's two seconds are up: the run ends at its limit with the list on screen.
    testkit::ProcessOutcome outcome = run({"--limit", "4"});
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("intake:   3.000 s (the device's identity arrived)"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("login:    logging in at 1.000 s, past the login screen at 3.000 s"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("limit reached at 4 s"), std::string::npos) << outcome.output;
    EXPECT_EQ(calls(runDir()), (std::vector<std::string>{"profile:200", "auth:200", "features:200",
                                                         "models:200", "models:200", "insert:200"}));

    json store = json::parse(readFile(runDir() / "service" / "transactions.json"), nullptr, false);
    ASSERT_TRUE(store.is_object());
    ASSERT_EQ(store["transactions"].size(), 1u);
    const std::string uuid = store["transactions"].begin().key();
    EXPECT_EQ(store["transactions"][uuid]["insert"]["esnNumber"], "356938035643809");
    // The service's stamps are the run's virtual time, as every other file's.
    EXPECT_EQ(store["transactions"][uuid]["insertedAt"], "2024-05-01T10:00:03.000Z");
    const std::string requests = readFile(runDir() / "service" / "requests.log");
    EXPECT_EQ(json::parse(requests.substr(0, requests.find('\n')), nullptr, false)["at"], "2024-05-01T10:00:01.000Z");
    std::string defaults;
    for (const auto& entry : fs::directory_iterator(runDir() / "home" / "Library" / "Preferences"))
        defaults += readFile(entry.path());
    EXPECT_NE(defaults.find(uuid), std::string::npos) << "the stored transaction is the inserted one";
    EXPECT_EQ(defaults.find("pw1"), std::string::npos);
    EXPECT_EQ(readFile(runDir() / "app.log").find("pw1"), std::string::npos);
    const std::string keys = readFile(runDir() / "home" / "Documents" / "functiontest_config.txt");
    EXPECT_EQ(std::count(keys.begin(), keys.end(), ','), 39) << keys;
}

// requests.log reads the same whoever writes it: the in-process service, or the job from its own
// record against a service given by --service (the same fields in the same order, the same clock).
TEST_F(LoginJob, RequestsLogIsTheSameInProcessAndAgainstAService) {
    const auto lines = [this] {
        std::vector<std::string> out;
        std::istringstream log(readFile(runDir() / "service" / "requests.log"));
        for (std::string line; std::getline(log, line);)
            out.push_back(line);
        return out;
    };
    ASSERT_EQ(run({"--limit", "4"}).status, 1);
    const std::vector<std::string> inProcess = lines();
    fs::remove_all(runDir());
    auto service = testkit::startReferenceService(scratch_.path() / "service");
    ASSERT_TRUE(service);
    testkit::ProcessOutcome outside = run({"--limit", "4", "--service", service->baseUrl()});
    EXPECT_EQ(outside.status, 1) << outside.output;
    ASSERT_EQ(inProcess.size(), 6u);
    EXPECT_EQ(inProcess.front(),
              R"({"seq":1,"at":"2024-05-01T10:00:01.000Z","method":"POST","target":"/profiles/clients/_find",)"
              R"("call":"profile","status":200,"fault":"","failure":""})");
    EXPECT_EQ(lines(), inProcess);
}

TEST_F(LoginJob, ARefusedLoginStaysOnTheLoginScreenAndStoresNoTransaction) {
    testkit::ProcessOutcome outcome = run({"--fault", "auth=500"});
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("stalled"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("faults:   auth=500"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("login:    failed at 1.000 s: timeout (auth answered 500"),
              std::string::npos)
        << outcome.output;
    EXPECT_EQ(calls(runDir()), (std::vector<std::string>{"profile:200", "auth:500"}));
    json store = json::parse(readFile(runDir() / "service" / "transactions.json"), nullptr, false);
    EXPECT_TRUE(!store.is_object() || store["transactions"].empty()) << store.dump();
    // The login screen's picture, then the alert's over it, then the alert with its OK pressed.
    std::vector<std::string> pictures;
    for (const auto& entry : fs::directory_iterator(runDir() / "pictures"))
        pictures.push_back(entry.path().filename().string());
    std::sort(pictures.begin(), pictures.end());
    EXPECT_EQ(pictures, (std::vector<std::string>{"001-LoginViewController.png", "002-alert.png", "003-alert.png"}));
}

} // namespace
