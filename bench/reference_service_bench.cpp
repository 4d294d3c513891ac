// The reference service's store under large transactions: 60 inserts of 900 KB each into a fresh
// store, one call an iteration, each timed on its own (the figure is the mean; "last_ms" is the
// 60th call's, where a store that grows with every call is slowest), with the file's size and the
// transactions kept after them.

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "tools/reference_service/storage.h"

namespace {

namespace fs = std::filesystem;

void BM_StoreInsert900KB(benchmark::State& state) {
    std::string pattern = (fs::temp_directory_path() / "ft-bench-store-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return state.SkipWithError("no scratch folder");
    const fs::path folder = pattern;
    {
        // Transactions free to go at once: each insert past the bound drops the oldest.
        auto store = refsvc::TransactionStore::open(folder, nullptr, {.transactionKept = {}});
        if (!store) return state.SkipWithError("the store did not open");
        nlohmann::json fields{{"esnNumber", "356938035643809"}, {"note", std::string(900 * 1000, 'x')}};
        double lastSeconds = 0;
        int inserted = 0;
        for (auto _ : state) {
            const std::string uuid = "T-" + std::to_string(++inserted);
            fields["uuid"] = uuid;
            const auto begin = std::chrono::steady_clock::now();
            store->insert(uuid, fields, "2024-05-01T10:00:00.000Z");
            lastSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            state.SetIterationTime(lastSeconds);
        }
        state.counters["last_ms"] = lastSeconds * 1000;
        state.counters["file_mb"] = static_cast<double>(fs::file_size(store->path())) / 1e6;
        state.counters["kept"] = static_cast<double>(store->snapshot()["transactions"].size());
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_StoreInsert900KB)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
