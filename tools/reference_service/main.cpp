// reference-service: serves the reference web service on 127.0.0.1 until SIGINT or SIGTERM.
// Prints its addresses once it listens; exits 0 after a clean stop, 1 when it cannot start, 2 on
// bad arguments.

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <signal.h>

#include "tools/reference_service/service.h"

namespace {

constexpr const char* kUsage =
    "usage: reference-service --data <folder> [--port <n>] [--seed <file>] [--fault <call>=<kind>[*n]]...\n"
    "                         [--gateway <IPv4 address>]...\n"
    "  --data     folder for transactions.json and requests.log (created when missing)\n"
    "  --port     port on 127.0.0.1; 0 (the default) picks a free one\n"
    "  --seed     seed file; default: the built-in seed.json\n"
    "  --fault    call: profile, auth, features, models, insert, update, partner, ip or all;\n"
    "             kind: refuse, 500, slow:<seconds> or garbage; *n: only the first n requests\n"
    "  --gateway  a gateway that reaches the service from elsewhere than loopback: the address\n"
    "             page believes the caller's address it names in X-Forwarded-For (the last\n"
    "             entry of the last such header: the one the gateway added), as it does from\n"
    "             loopback; from any other caller that header is ignored\n";

int badArguments(const std::string& message) {
    std::cerr << "reference-service: " << message << "\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    refsvc::Options options;
    std::string seedFile;
    bool haveData = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg != "--data" && arg != "--port" && arg != "--seed" && arg != "--fault" && arg != "--gateway")
            return badArguments("unknown argument \"" + std::string(arg) + "\"");
        if (i + 1 >= argc) return badArguments(std::string(arg) + " needs a value");
        std::string_view value = argv[++i];
        if (arg == "--data") {
            options.dataFolder = value;
            haveData = !value.empty();
        } else if (arg == "--port") {
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), options.port);
            if (ec != std::errc() || end != value.data() + value.size() || options.port < 0 ||
                options.port > 65535)
                return badArguments("--port needs a number from 0 to 65535");
        } else if (arg == "--seed") {
            seedFile = value;
        } else if (arg == "--gateway") {
            in_addr address{};
            if (::inet_pton(AF_INET, std::string(value).c_str(), &address) != 1)
                return badArguments("--gateway needs an IPv4 address");
            options.gateways.emplace_back(value);
        } else {
            std::string error;
            auto fault = refsvc::Fault::parse(value, &error);
            if (!fault) return badArguments(error);
            options.faults.push_back(*fault);
        }
    }
    if (!haveData) return badArguments("--data is required");
    if (!seedFile.empty()) {
        std::ifstream in(seedFile, std::ios::binary);
        if (!in) return badArguments("cannot read the seed file " + seedFile);
        std::stringstream text;
        text << in.rdbuf();
        options.seedJson = text.str();
    }

    // The service's threads inherit this mask, so only sigwait below sees the stop signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto service = refsvc::Service::start(options, &error);
    if (!service) {
        std::cerr << "reference-service: " << error << "\n";
        return 1;
    }
    std::cout << "reference-service listening on " << service->baseUrl() << "\n"
              << "  profile server " << service->baseUrl() << "/profiles/clients/_find (client id "
              << service->clientId() << ")\n"
              << "  admin console  " << service->adminUrl() << "\n"
              << "  web service    " << service->webServiceUrl() << "\n"
              << "  partner        " << service->partnerUrl() << "\n"
              << "  model table    " << service->baseUrl() << "/tools/AppleModel.json\n"
              << "  address page   " << service->baseUrl() << "/cgi-bin/check_ip.cgi\n"
              << "  data           " << service->transactionsPath().parent_path().string() << "\n";
    for (const auto& fault : options.faults)
        std::cout << "  fault          " << fault.describe() << "\n";
    for (const auto& gateway : options.gateways)
        std::cout << "  gateway        " << gateway << "\n";
    std::cout << std::flush;

    int received = 0;
    sigwait(&stopSignals, &received);
    service->stop();
    std::cout << "reference-service stopped (" << (received == SIGINT ? "SIGINT" : "SIGTERM") << ")"
              << std::endl;
    return 0;
}
