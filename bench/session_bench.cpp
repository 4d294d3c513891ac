// The session's hot paths: the identity intake's parse of a five-pair URL (without the defaults
// writes), the marketing name and the Wi-Fi-only check; and loopback GETs per second through the
// request operation manager beside ns::URLSession used directly, both ending on the main queue
// (which this thread, marked the main thread, runs). "vs_session" on the manager row is its rate
// divided by the session's (the session row runs first).

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include "net/http/http_request_operation_manager.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/url_session.h"
#include "session/app_delegate.h"
#include "session/core/utility.h"

namespace {

void BM_IntakeParseFivePairs(benchmark::State& state) {
    const std::string url = "qx://imei=356938035643809&meid=35693803564380&serial=F2LXXXXXHG7F&product=iPhone9%2C1"
                            "&udid=00008020-001C2D3E4F5A6B7C";
    for (auto _ : state)
        benchmark::DoNotOptimize(ft::AppDelegate::parseParameters(url));
}
BENCHMARK(BM_IntakeParseFivePairs);

void BM_DeviceVersion(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ft::Utility::deviceVersion());
}
BENCHMARK(BM_DeviceVersion);

void BM_WifiOnlyCheck(benchmark::State& state) {
    auto table = ft::Utility::builtInWifiOnlyTable();
    auto machine = ns::String::make("iPad5,4");
    for (auto _ : state)
        benchmark::DoNotOptimize(ft::Utility::checkiPadIsWifiOnly(machine, table));
}
BENCHMARK(BM_WifiOnlyCheck);

// Serves GET /json with a small JSON body, for the life of the process.
struct Server {
    httplib::Server http;
    int port = 0;

    Server() {
        http.set_keep_alive_max_count(1u << 30);
        http.set_keep_alive_timeout(5);
        http.set_tcp_nodelay(true);
        http.Get("/json", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"ok": true})", "application/json");
        });
        port = http.bind_to_any_port("127.0.0.1");
        std::thread([this] { http.listen_after_bind(); }).detach();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/json"; }
    static Server& shared() {
        static auto* server = new Server; // its threads end with the process
        return *server;
    }
};

// Runs the main run loop until `done`.
void runMainUntil(const std::atomic<bool>& done) {
    const auto& loop = ns::RunLoop::main();
    while (!done.load(std::memory_order_acquire))
        loop->runMode(ns::DefaultRunLoopMode, nullptr);
}

double sessionRate = 0;

// Requests per second over the timed loop that began at `start`.
double rateSince(std::chrono::steady_clock::time_point start, benchmark::State& state) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return seconds > 0 ? double(state.iterations()) / seconds : 0;
}

void BM_LoopbackGET_URLSession(benchmark::State& state) {
    ns::Thread::markMainThread();
    auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
    auto request = ns::URLRequest::requestWithURL(ns::URL::URLWithString(Server::shared().url()));
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::atomic<bool> done{false};
        session
            ->dataTaskWithRequest(request,
                                  [&](rt::Ref<ns::URLResponse>, rt::Ref<ns::Data>, rt::Ref<ns::Error>) {
                                      dispatch::async(dispatch::Queue::main(), [&] { done.store(true); });
                                  })
            ->resume();
        runMainUntil(done);
    }
    sessionRate = rateSince(start, state);
    state.counters["requests_per_s"] = sessionRate;
}
BENCHMARK(BM_LoopbackGET_URLSession)->UseRealTime();

void BM_LoopbackGET_Manager(benchmark::State& state) {
    ns::Thread::markMainThread();
    auto manager = hn::HTTPRequestOperationManager::manager();
    const std::string url = Server::shared().url();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::atomic<bool> done{false};
        manager->GET(
            url, nullptr, [&](const auto&, const rt::Id&) { done.store(true); },
            [&](const auto&, const auto&) { done.store(true); });
        runMainUntil(done);
    }
    const double rate = rateSince(start, state);
    state.counters["requests_per_s"] = rate;
    if (sessionRate > 0) state.counters["vs_session"] = rate / sessionRate;
}
BENCHMARK(BM_LoopbackGET_Manager)->UseRealTime();

} // namespace
