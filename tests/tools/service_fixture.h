#pragma once
// The reference service in-process on a free loopback port with a scratch data folder, and a plain
// HTTP client to talk to it.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "tests/testkit/reference_service.h"
#include "tests/testkit/scratch_folder.h"
#include "tools/reference_service/service.h"

namespace refsvc_test {

using nlohmann::json;
namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with the object.
struct ScratchFolder : testkit::ScratchFolder {
    ScratchFolder() : testkit::ScratchFolder("refsvc") {}
};

// An HTTP reply: the status (0 when none came), the body, parsed when it is JSON, and its
// Retry-After header.
struct Reply {
    int status = 0;
    httplib::Error error = httplib::Error::Success;
    std::string body, retryAfter;
    json parsed() const { return json::parse(body, nullptr, false); }
};

inline Reply toReply(const httplib::Result& result) {
    Reply reply;
    reply.error = result.error();
    if (result) {
        reply.status = result->status;
        reply.body = result->body;
        reply.retryAfter = result->get_header_value("Retry-After");
    }
    return reply;
}

// A client on a plain socket to the loopback address: it sends what a test gives it, as slowly as
// the test likes, and reads what comes back, waiting in real time for at most a bound. It calls
// from the address `from` of this machine when given one (not loopback's: a caller from elsewhere).
class RawClient {
public:
    explicit RawClient(int port, const char* from = nullptr) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (from && (::inet_pton(AF_INET, from, &address.sin_addr) != 1 ||
                     ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0))
            return;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(std::string_view bytes) {
        return connected_ &&
               ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    bool connected() const { return connected_; }
    void halfClose() { ::shutdown(fd_, SHUT_WR); }
    // Whether something (an answer, or the end) is there to read within `seconds`.
    bool readable(double seconds) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(seconds * 1000)) == 1;
    }
    // What comes until the service closes the connection; nullopt when it is still open after
    // `seconds`.
    std::optional<std::string> readToEnd(double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::string in;
        char buffer[4096];
        for (;;) {
            const double left =
                std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0 || !readable(left)) return std::nullopt;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return in;
            in.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
    bool connected_ = false;
};

class ServiceTest : public ::testing::Test {
protected:
    // Starts the service on the scratch folder with the given faults (in --fault form).
    void start(const std::vector<std::string>& faults = {}, std::optional<std::string> seed = std::nullopt) {
        service_ = testkit::startReferenceService(folder_.path() / "data", faults, std::move(seed));
        ASSERT_TRUE(service_);
    }
    // Starts the service (again) on the scratch folder with `options` otherwise as given.
    void startWith(refsvc::Options options) {
        options.dataFolder = dataFolder();
        service_.reset();
        service_ = refsvc::Service::start(options);
        ASSERT_TRUE(service_);
    }
    void restart() {
        service_.reset();
        start();
    }

    httplib::Client client(double readSeconds = 10) const {
        httplib::Client client("127.0.0.1", service_->port());
        client.set_connection_timeout(5, 0);
        auto micros = static_cast<long>(readSeconds * 1e6);
        client.set_read_timeout(micros / 1000000, micros % 1000000);
        return client;
    }
    Reply get(const std::string& path) const { return toReply(client().Get(path.c_str())); }
    Reply post(const std::string& path, const std::string& body) const {
        return toReply(client().Post(path.c_str(), body, "application/json"));
    }
    Reply post(const std::string& path, const json& body) const { return post(path, body.dump()); }

    fs::path dataFolder() const { return folder_.path() / "data"; }
    // Logs op1 in, as the application does before its insert.
    void logIn() const {
        ASSERT_EQ(post("/admin/api/auth/", json{{"username", "op1"}, {"password", "pw1"}}).status, 200);
    }

    ScratchFolder folder_;
    std::unique_ptr<refsvc::Service> service_;
};

// The bodies a client sends, complete and valid, for uuid or session `id`.
inline json insertBody(const std::string& uuid) {
    json body =
        json::parse(R"({"operator": "7", "company": "3", "site": "12", "productid": "P1", "solutionid": "S1",
        "timeCreated": "2024-05-01T10:00:01+0000", "esnNumber": "356938035643809", "sourceMake": "Apple",
        "modelnumber": "", "sourceModel": "A1660", "osversion": "13.3", "clientVer": "2.1.15", "MacAddress": ""})");
    body["uuid"] = uuid;
    return body;
}

inline json updateBody(const std::string& uuid, const std::string& result = "1") {
    json body = insertBody(uuid);
    body.update(
        json{{"update_record", uuid}, {"result", result}, {"result_value", "{}"}, {"errorCode", "1"}});
    return body;
}

inline json partnerBody(const std::string& session, int result = 1) {
    json body = json::parse(R"({"timeCreated": "2024-05-01T10:00:01+0000", "esnNumber": "356938035643809",
        "sourceMake": "Apple", "clientVer": "2.1.15", "MacAddress": "", "errorCode": "1", "result_value": "{}",
        "grade": "", "color": "", "devicememorysize": "", "sourceCarrier": "", "AndroidVersion": "",
        "iosVersion": "13.3", "serialnumber": "F2LXXXX", "modelnumber": "A1660", "sourceModel": "iPhone9,1"})");
    body.update(json{{"uuid", session}, {"result", result}});
    return body;
}

} // namespace refsvc_test
