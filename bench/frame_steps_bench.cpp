// The memory a camera frame file costs a run by how many steps name it: 60 steps naming one
// 1920x1080 frame beside one step, and 6 naming one 8000x8000 frame beside one. Each run is a
// process of its own (a fork running the main job, no pictures), so its peak is its own: "peak_mb"
// is the run's largest resident set, "one_step_mb" the same run with one step, and "ratio" the one
// over the other (1 when the file is decoded once, however many steps name it).

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "app/job.h"

namespace {

namespace fs = std::filesystem;

// The peak memory, in MB, of a job run in a child process whose script's `steps` steps each name
// `frame`; 0 when the run did not end as a spent script does (status 1).
double runPeakMegabytes(const fs::path& folder, const fs::path& frame, long steps) {
    std::string text = R"({"steps": [)";
    for (long i = 0; i < steps; ++i)
        text += std::string(i ? "," : "") + R"({"at": 1, "do": "camera.frame", "frame": ")" + frame.string() + "\"}";
    app::JobOptions options;
    options.script = (folder / "frames.json").string();
    std::ofstream(options.script) << text << "]}";
    options.runDir = (folder / ("run-" + std::to_string(steps))).string();
    options.pictures = false;
    const pid_t child = ::fork();
    if (child == 0) {
        std::ostringstream out, err;
        ::_exit(app::runJob(options, out, err).status);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 1)
        return 0;
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void BM_FrameNamedBySteps(benchmark::State& state) {
    const long width = state.range(0), height = state.range(1), steps = state.range(2);
    std::string pattern = (fs::temp_directory_path() / "ft-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return state.SkipWithError("no scratch folder");
    const fs::path folder = pattern, frame = folder / "frame.ppm";
    {
        std::ofstream file(frame, std::ios::binary);
        file << "P6\n" << width << " " << height << "\n255\n";
        const std::string row(static_cast<std::size_t>(width) * 3, '\x40');
        for (long y = 0; y < height; ++y)
            file << row;
    }
    double one = 0, many = 0;
    for (auto _ : state) {
        one = runPeakMegabytes(folder, frame, 1);
        many = runPeakMegabytes(folder, frame, steps);
    }
    if (one == 0 || many == 0) state.SkipWithError("a run did not end as a spent script does");
    state.counters["one_step_mb"] = one;
    state.counters["peak_mb"] = many;
    state.counters["ratio"] = one > 0 ? many / one : 0;
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_FrameNamedBySteps)
    ->Args({1920, 1080, 60})
    ->Args({8000, 8000, 6})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
