// Loopback GET requests per second: through ns::URLSession (network thread, completion on the
// session's queue, the caller waiting for it) beside the same requests made with libcurl directly
// on the calling thread with one reused easy handle. Both keep their connection alive. The server
// is a cpp-httplib server in a child process, so that the client's own costs are what is counted.
// "vs_curl" on the URLSession rows is its rate divided by the libcurl rate for the same body size
// (the libcurl rows run first). "switches_per_request" is the client process's context switches
// (voluntary and involuntary, every thread) over the timed loop, per request;
// "voluntary_per_request" the voluntary part.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include "platform/foundation/url_session.h"

namespace {

// Serves GET /bytes/<n> with n bytes from a child process, forked on first use (before the client
// starts any thread of its own), which ends with this process.
struct Server {
    httplib::Server http;
    int port = 0;

    Server() {
        http.set_keep_alive_max_count(1u << 30);
        http.set_keep_alive_timeout(5);
        http.set_tcp_nodelay(true); // else its separate header and body writes wait on delayed ACKs
        http.Get(R"(/bytes/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(std::stoul(req.matches[1]), 'x'), "application/octet-stream");
        });
        port = http.bind_to_any_port("127.0.0.1");
        const pid_t parent = getpid();
        if (fork() == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(0); // the parent went before the death signal was set
            http.listen_after_bind();
            _exit(0);
        }
    }
    std::string url(long bytes) const {
        return "http://127.0.0.1:" + std::to_string(port) + "/bytes/" + std::to_string(bytes);
    }
    static Server& shared() {
        static auto* server = new Server; // never stopped: the child ends with this process
        return *server;
    }
};

std::map<long, double> curlRates; // requests per second by body size

// The process's context switches so far, from its own resource usage.
struct Switches {
    long voluntary = 0, involuntary = 0;

    static Switches now() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return {u.ru_nvcsw, u.ru_nivcsw};
    }
    // Reports the switches since `start` per iteration of `state`.
    void report(benchmark::State& state) const {
        const Switches end = now();
        const double n = state.iterations() ? double(state.iterations()) : 1.0;
        state.counters["switches_per_request"] =
            double(end.voluntary - voluntary + end.involuntary - involuntary) / n;
        state.counters["voluntary_per_request"] = double(end.voluntary - voluntary) / n;
    }
};

void BM_CurlEasyGet(benchmark::State& state) {
    const long size = state.range(0);
    std::string url = Server::shared().url(size);
    CURL* easy = curl_easy_init();
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* user) {
            static_cast<std::string*>(user)->append(p, s * n);
            return s * n;
        });
    const Switches switches = Switches::now();
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK || body.size() != std::size_t(size)) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    switches.report(state);
    curl_easy_cleanup(easy);
    state.SetItemsProcessed(state.iterations());
    state.counters["requests_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    curlRates[size] = double(state.iterations()) / seconds; // the last (longest) run's figure stays
}

void BM_URLSessionGet(benchmark::State& state) {
    const long size = state.range(0);
    auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
    auto request = ns::URLRequest::requestWithURL(ns::URL::URLWithString(Server::shared().url(size)));
    std::mutex lock;
    std::condition_variable cv;
    bool done = false, ok = false;
    const Switches switches = Switches::now();
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        done = false;
        session
            ->dataTaskWithRequest(
                request,
                [&](rt::Ref<ns::URLResponse>, rt::Ref<ns::Data> data, rt::Ref<ns::Error> error) {
                    {
                        std::lock_guard g(lock);
                        ok = !error && data && data->length() == std::size_t(size);
                        done = true;
                    }
                    // After the unlock: the woken caller does not wait at once for the lock held
                    // here (a switch the harness would add, and count, on every request).
                    cv.notify_one();
                })
            ->resume();
        std::unique_lock g(lock);
        cv.wait(g, [&] { return done; });
        if (!ok) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    switches.report(state);
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    state.SetItemsProcessed(state.iterations());
    state.counters["requests_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    if (auto it = curlRates.find(size); it != curlRates.end() && it->second > 0)
        state.counters["vs_curl"] = double(state.iterations()) / seconds / it->second;
}

} // namespace

BENCHMARK(BM_CurlEasyGet)->Arg(16)->Arg(16384)->UseRealTime();
BENCHMARK(BM_URLSessionGet)->Arg(16)->Arg(16384)->UseRealTime();
