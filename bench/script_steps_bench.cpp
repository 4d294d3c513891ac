// A tester script's cost by its number of steps: reading 10,000, 20,000 and 40,000 steps, and
// running them through the main job (no pictures). Each figure should double with the steps: the
// benchmark fits the times to n (the "BigO" and "RMS" lines) and gives the time per step.
//
// The steps are a third each: a key press at its time, a key press fired by the login screen's
// appearance (all pending at once, each due at its own time) and a check of the login screen's
// user name field at its time.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "app/job.h"
#include "tester/script.h"

namespace {

namespace fs = std::filesystem;

std::string scriptOf(long steps) {
    std::string text = R"({"name": "steps", "steps": [)";
    for (long i = 0; i < steps; ++i) {
        const std::string at = std::to_string(1 + static_cast<double>(i) / 2000);
        text += i ? ",\n" : "\n";
        switch (i % 3) {
        case 0:
            text += R"({"at": )" + at + R"(, "do": "key.volumeUp"})";
            break;
        case 1:
            text += R"({"on": {"screen": "LoginViewController"}, "once": true, "after": )" + at +
                    R"(, "do": "key.volumeDown"})";
            break;
        default:
            text += R"({"at": )" + at + R"(, "do": "expect", "outlet": "userNameField", "text": ""})";
        }
    }
    return text + "]}";
}

void BM_ScriptRead(benchmark::State& state) {
    const std::string text = scriptOf(state.range(0));
    for (auto _ : state) {
        std::optional<sim::Script> script = sim::Script::parse(text, {{"service", "{service}"}});
        if (!script) return state.SkipWithError("the script was refused");
        benchmark::DoNotOptimize(script->steps.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScriptRead)->Arg(10'000)->Arg(20'000)->Arg(40'000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void BM_ScriptRun(benchmark::State& state) {
    std::string pattern = (fs::temp_directory_path() / "ft-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return state.SkipWithError("no scratch folder");
    const fs::path folder = pattern;
    app::JobOptions options;
    options.script = (folder / "steps.json").string();
    options.pictures = false;
    std::ofstream(options.script) << scriptOf(state.range(0));
    int status = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(folder / "run", ec);
        options.runDir = (folder / "run").string();
        std::ostringstream out, err;
        state.ResumeTiming();
        status = app::runJob(options, out, err).status;
    }
    // The script is spent on the login screen: a stall (1), every check passed.
    state.counters["status"] = status;
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_ScriptRun)->Arg(10'000)->Arg(20'000)->Arg(40'000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

} // namespace
