// JSON into and out of ns objects, beside nlohmann-json reading and writing its own tree from the
// same text, and simdjson's DOM reading it (the parser ns::JSONSerialization reads with). Two
// documents: a generated 1 MB reply and the ISO 639-3 list of the iso-codes package (875 KB of
// short strings; skipped when the package is not installed). Figures are bytes of JSON text per
// second. Run from a Release build.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "platform/foundation/json.h"

namespace {

// An array of records with strings, integers, doubles, bools, nulls and nested arrays and objects,
// of about `size` bytes, the same on every run.
std::string makeDocument(std::size_t size) {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state >> 33);
    };
    static const char* const words[] = {"alpha",   "beta",    "gamma", "delta",  "screen",     "camera",
                                        "battery", "speaker", "touch", "sensor", "w\u00e9ird", "q\\\"uote"};
    std::string s = "[";
    for (int i = 0; s.size() < size; ++i) {
        if (i) s += ',';
        s += "{\"id\":" + std::to_string(i);
        s += ",\"name\":\"device-" + std::to_string(next() % 100000) + "\"";
        s += ",\"price\":" + std::to_string(next() % 100000 / 100.0);
        s += ",\"score\":" + std::to_string(static_cast<int>(next() % 2001) - 1000);
        s += ",\"active\":";
        s += next() % 2 ? "true" : "false";
        s += ",\"owner\":null,\"tags\":[";
        for (std::uint32_t t = 0, n = next() % 5; t < n; ++t) {
            if (t) s += ',';
            s += '"';
            s += words[next() % 12];
            s += '"';
        }
        s += "],\"dims\":[" + std::to_string(next() % 300) + "," + std::to_string(next() % 300) + "," +
             std::to_string(next() % 1000 / 10.0) + "]";
        s += ",\"result\":{\"status\":\"" + std::to_string(next() % 2) +
             "\",\"code\":" + std::to_string(next() % 600) + ",\"message\":\"" + words[next() % 12] +
             " test passed\"}}";
    }
    s += ']';
    return s;
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The 1 MB document (argument 0), a 1 KB one like a typical reply (argument 1), or the ISO 639-3
// list (argument 2; empty when the file is missing).
const std::string& document(std::int64_t which = 0) {
    static const std::string large = makeDocument(1'000'000), small = makeDocument(1'000),
                             languages = readFile("/usr/share/iso-codes/json/iso_639-3.json");
    return which == 0 ? large : which == 1 ? small : languages;
}

bool missing(benchmark::State& state, const std::string& text) {
    if (!text.empty()) return false;
    state.SkipWithError("/usr/share/iso-codes/json/iso_639-3.json is missing (Debian package iso-codes)");
    return true;
}

void NsParse(benchmark::State& state) {
    const std::string& text = document(state.range(0));
    if (missing(state, text)) return;
    for (auto _ : state) {
        rt::Id obj = ns::JSONSerialization::JSONObjectWithData(text);
        if (!obj) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(obj.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(NsParse)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// simdjson's DOM with a parser kept between documents, as the reader keeps its own.
void SimdjsonDomParse(benchmark::State& state) {
    const std::string& text = document(state.range(0));
    if (missing(state, text)) return;
    simdjson::dom::parser parser;
    const simdjson::padded_string padded(text);
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(padded).get(root)) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(SimdjsonDomParse)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void NsParseMutableContainers(benchmark::State& state) {
    const std::string& text = document();
    for (auto _ : state) {
        rt::Id obj =
            ns::JSONSerialization::JSONObjectWithData(text, ns::JSONReadingOptions::MutableContainers);
        benchmark::DoNotOptimize(obj.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(NsParseMutableContainers)->Unit(benchmark::kMicrosecond);

void NlohmannParse(benchmark::State& state) {
    const std::string& text = document(state.range(0));
    if (missing(state, text)) return;
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(j.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(NlohmannParse)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void NsWrite(benchmark::State& state) {
    rt::Id obj = ns::JSONSerialization::JSONObjectWithData(document(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto text = ns::JSONSerialization::stringWithJSONObject(obj);
        bytes += text ? text->size() : 0;
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(NsWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void NlohmannDump(benchmark::State& state) {
    nlohmann::json j = nlohmann::json::parse(document(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = j.dump();
        bytes += text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(NlohmannDump)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
