// Text services: regular-expression first match over a machine identifier and over 10 KB of text,
// and case-insensitive search of a long near-miss needle.

#include <string>

#include <benchmark/benchmark.h>

#include "platform/foundation/regular_expression.h"
#include "platform/foundation/string_services.h"

namespace {

const char* const kIdentifierPattern = R"(^(iPhone|iPad|iPod|Watch)(\d+),(\d+)\b)";
const char* const kTextPattern = R"(\b[A-Z]{2}\d{6}[A-Z]\b)";

// 40 characters, as the device reports its machine and board.
std::string identifier() {
    return "iPhone14,2 A2483 D63AP J293 sim/2024-aa1";
}

// About 10 KB of words with one serial number near the end.
std::string text10k() {
    static const char* const words[] = {"battery", "screen",  "camera", "touch",     "Speaker", "sensor",
                                        "radio",   "charger", "GPS",    "proximity", "AB12345", "flash"};
    std::string s;
    for (unsigned i = 0; s.size() < 10000; ++i) {
        s += words[(i * 7) % 12];
        s += i % 9 == 0 ? ". " : " ";
    }
    s += "serial QX123456Z end";
    return s;
}

void RegexFirstMatchIdentifier(benchmark::State& state) {
    auto re = ns::RegularExpression::make(kIdentifierPattern);
    auto s = ns::String::make(identifier());
    for (auto _ : state) {
        auto m = re->firstMatchInString(*s);
        benchmark::DoNotOptimize(m.get());
    }
}
BENCHMARK(RegexFirstMatchIdentifier);

void RegexFirstMatch10KB(benchmark::State& state) {
    auto re = ns::RegularExpression::make(kTextPattern);
    auto s = ns::String::make(text10k());
    for (auto _ : state) {
        auto m = re->firstMatchInString(*s);
        benchmark::DoNotOptimize(m.get());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(s->length()));
}
BENCHMARK(RegexFirstMatch10KB);

// A 1,000-unit needle that almost matches everywhere in 100,000 units, and is absent.
void CaseInsensitiveFindNearMiss(benchmark::State& state) {
    auto hay = ns::String::make(std::string(100000, 'A'));
    const std::string needle = std::string(999, 'a') + "b";
    for (auto _ : state) {
        auto r = ns::rangeOfStringCaseInsensitive(*hay, needle);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(CaseInsensitiveFindNearMiss)->Unit(benchmark::kMillisecond);

} // namespace
