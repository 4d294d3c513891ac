// The main job: a full default run in virtual time (wall time per run), cold start (launch to the
// test list on screen, the identity given, the login over loopback included), and the process's
// peak memory after the runs ("maxrss_mb", from getrusage).

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "app/job.h"

namespace {

namespace fs = std::filesystem;

fs::path scratch() {
    std::string pattern = (fs::temp_directory_path() / "ft-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return fs::temp_directory_path();
    return pattern;
}

double maxRssMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// Runs one job into a fresh folder and removes it; the job's status.
int runOnce(app::JobOptions options) {
    const fs::path folder = scratch();
    options.runDir = (folder / "run").string();
    std::ostringstream out, err;
    const int status = app::runJob(options, out, err).status;
    std::error_code ec;
    fs::remove_all(folder, ec);
    return status;
}

void BM_DefaultRun(benchmark::State& state) {
    int status = 0;
    for (auto _ : state)
        status = runOnce({});
    state.counters["status"] = status;
    state.counters["maxrss_mb"] = maxRssMegabytes();
}
BENCHMARK(BM_DefaultRun)->Unit(benchmark::kMillisecond);

// Launch to the list: the identity is seeded, the tester logs in at once, and the run stops when
// the list is on screen (the script's limit is the first second after the list appears: no more
// steps, so the countdown's timers end the run at the limit).
void BM_ColdStartToTheList(benchmark::State& state) {
    const fs::path folder = scratch();
    const std::string script = (folder / "cold.json").string();
    std::ofstream(script) << R"({"name": "cold start", "steps": [
        {"at": "launch", "do": "seed", "values": {"uniqueid": "356938035643809"}},
        {"on": {"screen": "LoginViewController"}, "once": true, "actions": [
          {"do": "type", "outlet": "userNameField", "text": "op1"},
          {"do": "type", "outlet": "passwordField", "text": "pw1"},
          {"do": "tap", "outlet": "loginButton"}]}]})";
    app::JobOptions options;
    options.script = script;
    options.limitSeconds = 1;
    for (auto _ : state)
        runOnce(options);
    state.counters["maxrss_mb"] = maxRssMegabytes();
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_ColdStartToTheList)->Unit(benchmark::kMillisecond);

} // namespace
