// The reference service's calls over real loopback HTTP: replies, refusals of bad bodies, what it
// stores and logs, and where it listens.

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include <ifaddrs.h>
#include <net/if.h>

#include "tests/tools/service_fixture.h"

namespace refsvc_test {
namespace {

const char* const kFeatures = "/admin/api/pdt/quarnotix/getfeaturesettings/";

// An IPv4 address of this machine's own other than loopback's, when it has one.
std::optional<std::string> addressBesidesLoopback() {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return std::nullopt;
    std::optional<std::string> found;
    for (const ifaddrs* entry = all; entry && !found; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP) &&
            !(entry->ifa_flags & IFF_LOOPBACK)) {
            std::array<char, INET_ADDRSTRLEN> text{};
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text.data(),
                        text.size());
            found = text.data();
        }
    ::freeifaddrs(all);
    return found;
}

TEST_F(ServiceTest, LoginCallsFollowTheSeed) {
    start();
    // The profile names the other servers as absolute addresses, and they are the ones served.
    json addresses = post("/profiles/clients/_find", json{{"id", service_->clientId()}}).parsed();
    EXPECT_EQ(addresses, (json{{"adminconsoleserver", service_->adminUrl()},
                               {"webserviceserver", service_->webServiceUrl()}}));
    EXPECT_EQ(service_->adminUrl(), "http://127.0.0.1:" + std::to_string(service_->port()) + "/admin/");
    Reply unknown = post("/profiles/clients/_find", json{{"id", "somebody-else"}});
    EXPECT_EQ(unknown.status, 404);
    EXPECT_TRUE(unknown.parsed()["error"].is_string());

    std::string admin = addresses["adminconsoleserver"].get<std::string>().substr(service_->baseUrl().size());
    auto featuresOf = [&](const std::string& user, const std::string& password) {
        json login = post(admin + "api/auth/", json{{"username", user}, {"password", password}}).parsed();
        Reply reply = get(kFeatures + login["company"].dump() + "/" + login["site"].dump() + "/");
        EXPECT_EQ(reply.status, 200) << user;
        EXPECT_EQ(reply.parsed()["productid"], "P1");
        EXPECT_EQ(reply.parsed()["solutionid"], "S1");
        return reply.parsed()["features"].get<std::vector<std::string>>();
    };
    EXPECT_EQ(post(admin + "api/auth/", json{{"username", "op1"}, {"password", "pw1"}}).parsed(),
              (json{{"status", 1}, {"loginid", 7}, {"company", 3}, {"site", 12}}));
    std::vector<std::string> all = featuresOf("op1", "pw1");
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 40u);
    // The review account's site lacks exactly the three tests review mode hides.
    std::vector<std::string> expected;
    for (const std::string& key : all)
        if (key != "LCD_FILL_TEST" && key != "TOUCH_SCREEN" && key != "ROOT") expected.push_back(key);
    EXPECT_EQ(featuresOf("qx_reviewapp", "review"), expected);

    for (const json& wrong : {json{{"username", "op1"}, {"password", "pw2"}},
                              json{{"username", "nobody"}, {"password", "pw1"}}}) {
        Reply refused = post("/admin/api/auth/", wrong);
        EXPECT_EQ(refused.status, 401) << wrong;
        EXPECT_EQ(refused.parsed()["status"], 0);
        EXPECT_TRUE(refused.parsed()["error"].is_string());
    }
    for (const char* place : {"3/99/", "x/12/", "99999999999999999999/12/"}) {
        Reply missing = get(kFeatures + std::string(place));
        EXPECT_EQ(missing.status, 404) << place;
        EXPECT_EQ(missing.parsed()["status"], 0) << place;
    }
}

// The model number of `identifier`, walking the table the way the application does.
std::string modelNumberOf(const json& table, const std::string& identifier) {
    std::string found;
    for (const auto& [group, entries] : table["iOS"].items())
        for (const json& entry : entries)
            for (const auto& [number, devices] : entry.items())
                for (const json& device : devices)
                    if (device.value("identifier", "") == identifier) found = number;
    return found;
}

TEST_F(ServiceTest, ServesTheModelTableAndTheStaticPages) {
    start();
    Reply models = get("/tools/AppleModel.json");
    ASSERT_EQ(models.status, 200);
    json table = models.parsed();
    ASSERT_TRUE(table["iOS"].is_object());
    ASSERT_TRUE(table["WifiOnly"].is_object());
    for (const char* identifier : {"iPhone9,1", "iPhone11,8", "iPod9,1"})
        EXPECT_FALSE(modelNumberOf(table, identifier).empty()) << identifier;

    Reply udid = get("/ws/api/udid?prefix=qx");
    EXPECT_EQ(udid.status, 200);
    EXPECT_NE(udid.body.find("/tools/udid.mobileconfig"), std::string::npos);
    Reply profile = get("/tools/udid.mobileconfig");
    EXPECT_EQ(profile.status, 200);
    EXPECT_NE(profile.body.find("<key>PayloadType</key>"), std::string::npos);

    EXPECT_EQ(get("/tools/other.json").status, 404);
    EXPECT_EQ(post("/ws/insert", insertBody("T-1")).status, 404); // the path needs its final slash
}

TEST_F(ServiceTest, TheAddressPageEchoesTheCallerOrTheAddressItsGatewayNamesAndTakesTheIpFaults) {
    start({"ip=refuse*1", "ip=500*1"});
    EXPECT_EQ(get("/cgi-bin/check_ip.cgi").error, httplib::Error::Read);
    EXPECT_EQ(get("/cgi-bin/check_ip.cgi").status, 500);
    Reply page = get("/cgi-bin/check_ip.cgi");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<html><body><h1>Your IP address is:127.0.0.1</h1><p>Current IP Address: 127.0.0.1</p>"
                         "</body></html>");
    EXPECT_EQ(post("/cgi-bin/check_ip.cgi", json::object()).status, 404);
    EXPECT_EQ(get("/cgi-bin/check_ipXcgi").status, 404);
    auto records = service_->requests();
    ASSERT_EQ(records.size(), 5u);
    for (int i : {0, 1, 2})
        EXPECT_EQ(records[static_cast<std::size_t>(i)].call, "ip") << i;
    EXPECT_EQ(records[0].fault, "ip=refuse*1");
    EXPECT_EQ(records[1].fault, "ip=500*1");

    // Behind a gateway that names the caller (a simulated device's public address): the address the
    // gateway added, the last entry of the last header, whatever the caller wrote before it; a
    // header whose last entry is no address changes nothing.
    const auto pageFor = [](const std::string& shown) {
        return "<html><body><h1>Your IP address is:" + shown + "</h1><p>Current IP Address: " + shown +
               "</p></body></html>";
    };
    using Headers = std::vector<std::string>;
    for (const auto& [forwarded, shown] : {std::pair{Headers{"203.0.113.23"}, "203.0.113.23"},
                                           {{"6.6.6.6, 203.0.113.9"}, "203.0.113.9"},
                                           {{" 10.0.0.1 , 2001:db8::7 "}, "2001:db8::7"},
                                           {{"6.6.6.6", "7.7.7.7,203.0.113.9"}, "203.0.113.9"},
                                           {{"203.0.113.9", "6.6.6.6, <b>"}, "127.0.0.1"},
                                           {{"<b>203.0.113.23</b>"}, "127.0.0.1"}}) {
        RawClient from(service_->port());
        std::string request = "GET /cgi-bin/check_ip.cgi HTTP/1.1\r\n";
        for (const std::string& header : forwarded)
            request += "X-Forwarded-For: " + header + "\r\n";
        ASSERT_TRUE(from.send(request + "\r\n"));
        const std::string answer = from.readToEnd(10).value_or("");
        EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), pageFor(shown)) << forwarded.back();
    }

    // A caller from elsewhere than loopback (here an address of this machine's own) is believed only
    // when it is a gateway named to the service.
    const std::optional<std::string> elsewhere = addressBesidesLoopback();
    if (!elsewhere) GTEST_SKIP() << "this machine has no IPv4 address but loopback's to call from";
    refsvc::Options options;
    for (const auto& [gateways, shown] : {std::pair{std::vector<std::string>{}, *elsewhere},
                                          {{"198.51.100.7"}, *elsewhere},
                                          {{"198.51.100.7", *elsewhere}, std::string("203.0.113.23")}}) {
        options.gateways = gateways;
        startWith(options);
        RawClient from(service_->port(), elsewhere->c_str());
        ASSERT_TRUE(from.send(
            "GET /cgi-bin/check_ip.cgi HTTP/1.1\r\nX-Forwarded-For: 6.6.6.6, 203.0.113.23\r\n\r\n"));
        const std::string answer = from.readToEnd(10).value_or("");
        EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), pageFor(shown)) << gateways.size();
    }
}

TEST_F(ServiceTest, BadBodiesGet400AndChangeNothing) {
    start();
    auto with = [](json body, const std::string& key, const json& value) { // null: without the key
        if (value.is_null())
            body.erase(key);
        else
            body[key] = value;
        return body.dump();
    };
    const std::string insert = "/ws/insert/", update = "/ws/updateresult/",
                      partner = "/partner/api/functionaltest_finish/";
    struct Case {
        std::string path, body, mentions;
    };
    std::vector<Case> cases{
        {insert, "not json", ""},
        {insert, "", ""},
        {insert, "[1, 2]", ""},
        {insert, R"({"uuid": "T-1")", ""},
        {insert, with(insertBody("T-1"), "uuid", nullptr), "uuid"},
        {insert, with(insertBody("T-1"), "site", 12), "site"},
        {insert, insertBody("").dump(), "uuid"},
        {update, "\"text\"", ""},
        {update, with(updateBody("T-1"), "result_value", nullptr), "result_value"},
        {update, with(updateBody("T-1"), "result", 1), "result"},
        {partner, "null", ""},
        {partner, with(partnerBody("S1"), "result", "1"), "result"},
        {partner, with(partnerBody("S1"), "result", 2), "result"},
        {partner, with(partnerBody("S1"), "grade", nullptr), "grade"},
        {"/profiles/clients/_find", R"({"id": 5})", "id"},
        {"/admin/api/auth/", R"({"username": "op1"})", "password"},
    };
    for (const Case& c : cases) {
        Reply reply = post(c.path, c.body);
        EXPECT_EQ(reply.status, 400) << c.path << " " << c.body;
        json error = reply.parsed();
        ASSERT_TRUE(error.is_object() && error["error"].is_string()) << reply.body;
        EXPECT_NE(error["error"].get<std::string>().find(c.mentions), std::string::npos) << error;
    }
    EXPECT_TRUE(service_->transactions().empty());
    EXPECT_TRUE(service_->partnerFinishes().empty());

    // An update for a known transaction is refused the same way, and the transaction keeps no update.
    logIn();
    ASSERT_EQ(post(insert, insertBody("T-1")).parsed()["status"], 1);
    EXPECT_EQ(post(update, cases[9].body).status, 400);
    EXPECT_TRUE(service_->transaction("T-1")->updates.empty());
}

// What the protocol lets the service check, row by row: an insert names an operator who logged in,
// a body stays within the limit, an update is of a transaction an insert made. A refusal stores
// nothing.
TEST_F(ServiceTest, RefusesWhatTheProtocolLetsItCheck) {
    start();
    // An insert by `op`, `size` bytes long.
    const auto insert = [](const std::string& uuid, const std::string& op, std::size_t size = 0) {
        json body = insertBody(uuid);
        body["operator"] = op;
        body["note"] = "";
        body["note"] = std::string(std::max(size, body.dump().size()) - body.dump().size(), 'x');
        return body.dump();
    };
    const std::string inserts = "/ws/insert/", updates = "/ws/updateresult/";
    const struct {
        const char* name;
        bool logsInFirst; // as op1, login id 7
        std::string path, body;
        int status;
    } rows[] = {
        {"an operator who never logged in", false, inserts, insert("T-1", "7"), 401},
        {"the same once logged in", true, inserts, insert("T-1", "7"), 200},
        {"an operator of the seed who did not log in", false, inserts, insert("T-2", "8"), 401},
        {"no operator", false, inserts, insert("T-2", ""), 401},
        {"a body at the limit", false, inserts, insert("T-3", "7", refsvc::kMaxBodyBytes), 200},
        {"a body a byte over", false, inserts, insert("T-4", "7", refsvc::kMaxBodyBytes + 1), 413},
        {"an update no insert made", false, updates, updateBody("T-9").dump(), 404},
        {"an update of an insert", false, updates, updateBody("T-1").dump(), 200},
    };
    for (const auto& row : rows) {
        if (row.logsInFirst) logIn();
        const Reply reply = post(row.path, row.body);
        EXPECT_EQ(reply.status, row.status) << row.name;
        EXPECT_TRUE(row.status == 200 || reply.parsed()["error"].is_string()) << row.name << ": " << reply.body;
    }
    std::vector<std::string> stored;
    for (const auto& transaction : service_->transactions())
        stored.push_back(transaction.uuid + ":" + std::to_string(transaction.updates.size()));
    EXPECT_EQ(stored, (std::vector<std::string>{"T-1:1", "T-3:0"}));
}

TEST_F(ServiceTest, InsertOnceThenTimedUpdatesByUuid) {
    start();
    logIn();
    json first = insertBody("T-1");
    first["note"] = "kept";
    EXPECT_EQ(post("/ws/insert/", first).parsed(), (json{{"status", 1}}));
    json again = insertBody("T-1");
    again["timeCreated"] = "2024-05-01T10:05:00+0000";
    EXPECT_EQ(post("/ws/insert/", again).parsed(), (json{{"status", 1}}));

    ASSERT_EQ(service_->transactions().size(), 1u);
    auto stored = service_->transaction("T-1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->insert.at("timeCreated"), "2024-05-01T10:00:01+0000");
    EXPECT_EQ(stored->insert.at("note"), "kept");
    EXPECT_EQ(stored->insert.size(), 15u);

    EXPECT_EQ(post("/ws/updateresult/", updateBody("T-1", "0")).parsed(), (json{{"status", 1}}));
    EXPECT_EQ(post("/ws/updateresult/", updateBody("T-1", "1")).parsed(), (json{{"status", 1}}));
    Reply unknown = post("/ws/updateresult/", updateBody("T-9"));
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.parsed()["status"], 0);

    stored = service_->transaction("T-1");
    ASSERT_EQ(stored->updates.size(), 2u);
    EXPECT_EQ(stored->updates[0].fields.at("result"), "0");
    EXPECT_EQ(stored->updates[1].fields.at("result"), "1");
    EXPECT_EQ(stored->updates[1].fields.size(), 18u);
    EXPECT_FALSE(stored->updates[0].at.empty());
    EXPECT_FALSE(service_->transaction("T-9"));

    // The file holds the same, for any other tool to read.
    std::ifstream file(service_->transactionsPath());
    json onDisk = json::parse(file);
    EXPECT_EQ(onDisk["transactions"]["T-1"]["updates"].size(), 2u);
    EXPECT_EQ(onDisk["transactions"]["T-1"]["insert"]["esnNumber"], "356938035643809");
}

TEST_F(ServiceTest, PartnerFinishesASessionOnce) {
    start();
    const std::string path = "/partner/api/functionaltest_finish/";
    Reply first = post(path, partnerBody("S1", 1));
    EXPECT_EQ(first.status, 200);
    EXPECT_FALSE(first.parsed().contains("error"));
    Reply second = post(path, partnerBody("S1", 0));
    EXPECT_EQ(second.status, 409);
    EXPECT_EQ(second.parsed()["status"], 409);
    EXPECT_TRUE(second.parsed()["error"].is_string());
    EXPECT_EQ(post(path, partnerBody("S2", 0)).status, 200);

    auto finishes = service_->partnerFinishes();
    ASSERT_EQ(finishes.size(), 2u);
    EXPECT_EQ(finishes[0].session, "S1");
    EXPECT_EQ(finishes[0].result, 1); // the first finish stands
    EXPECT_EQ(finishes[0].fields.at("serialnumber"), "F2LXXXX");
}

TEST_F(ServiceTest, LogsEveryRequestAsALine) {
    start();
    post("/admin/api/auth/", json{{"username", "op1"}, {"password", "pw1"}});
    get("/ws/api/udid?prefix=qx");
    get("/nowhere");
    std::vector<std::string> seen;
    std::ifstream log(service_->requestsLogPath());
    for (std::string line; std::getline(log, line);) {
        json entry = json::parse(line);
        seen.push_back(entry["call"].get<std::string>() + " " + entry["target"].get<std::string>() + " " +
                       entry["status"].dump());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"auth /admin/api/auth/ 200",
                                              "udid-page /ws/api/udid?prefix=qx 200", " /nowhere 404"}));
    ASSERT_EQ(service_->requests().size(), 3u);
    EXPECT_EQ(service_->requests()[2].seq, 3);
}

TEST_F(ServiceTest, ListensOnIPv4LoopbackOnly) {
    start();
    EXPECT_EQ(get("/tools/AppleModel.json").status, 200);
    // All of 127.0.0.0/8 and ::1 are this machine: a server bound more widely would answer there.
    for (const char* host : {"127.0.0.2", "::1"}) {
        httplib::Client other(host, service_->port());
        other.set_connection_timeout(5, 0);
        auto result = other.Get("/tools/AppleModel.json");
        EXPECT_FALSE(result) << host;
        EXPECT_EQ(result.error(), httplib::Error::Connection) << host;
    }
}

TEST_F(ServiceTest, StartFailsCleanlyOnBadSeedBusyFolderOrBusyPort) {
    start();
    std::string error;
    refsvc::Options options;
    options.dataFolder = dataFolder();
    EXPECT_FALSE(refsvc::Service::start(options, &error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;

    ScratchFolder other;
    options.dataFolder = other.path();
    options.port = service_->port();
    EXPECT_FALSE(refsvc::Service::start(options, &error));
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(service_->port())), std::string::npos) << error;

    options.port = 0;
    for (const char* seed :
         {"[]", R"({"client": {"id": "c"}, "operators": [{"username": "op1"}], "features": [],
                                 "models": {}})"}) {
        options.seedJson = seed;
        error.clear();
        EXPECT_FALSE(refsvc::Service::start(options, &error)) << seed;
        EXPECT_EQ(error.rfind("seed:", 0), 0u) << error;
    }
    // The service listens on IPv4: a gateway is an IPv4 address.
    options.seedJson.reset();
    options.gateways = {"::1"};
    EXPECT_FALSE(refsvc::Service::start(options, &error));
    EXPECT_NE(error.find("gateway"), std::string::npos) << error;
    // The failed starts left the folder free.
    options.gateways.clear();
    EXPECT_TRUE(refsvc::Service::start(options, &error)) << error;
}

} // namespace
} // namespace refsvc_test
