// Text services: regular-expression first match over a machine identifier and over 10 KB of text,
// beside the std::wregex engine the regular expressions used before; and case-insensitive search of
// a long near-miss needle.

// GCC 12 reports false -Wmaybe-uninitialized hits inside <regex>; the pragma must precede it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <regex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/foundation/regular_expression.h"
#include "platform/foundation/string_services.h"

namespace {

// The former engine, kept here only for the comparison: the string's UTF-16 units as code points
// in a std::wstring, matched by std::wregex, the match mapped back to UTF-16 offsets.
struct WideRegex {
    std::wregex re;

    explicit WideRegex(const char* pattern) : re(widen(*ns::String::make(pattern)), std::regex::ECMAScript) {}

    static std::wstring widen(const ns::String& s, std::vector<std::size_t>* offsets = nullptr) {
        const std::u16string u = s.utf16();
        std::wstring wide;
        for (std::size_t i = 0; i < u.size();) {
            if (offsets) offsets->push_back(i);
            char32_t c = u[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
                i += 2;
            } else {
                ++i;
            }
            wide.push_back(static_cast<wchar_t>(c));
        }
        if (offsets) offsets->push_back(u.size());
        return wide;
    }

    // The UTF-16 range of the first match, as the former firstMatchInString computed it.
    ns::Range firstMatch(const ns::String& s) const {
        std::vector<std::size_t> offsets;
        const std::wstring text = widen(s, &offsets);
        std::wsmatch m;
        if (!std::regex_search(text, m, re)) return {ns::NotFound, 0};
        const auto b = static_cast<std::size_t>(m.position(0)), e = b + static_cast<std::size_t>(m.length(0));
        return {offsets[b], offsets[e] - offsets[b]};
    }
};

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

void WregexFirstMatchIdentifier(benchmark::State& state) {
    WideRegex re(kIdentifierPattern);
    auto s = ns::String::make(identifier());
    for (auto _ : state)
        benchmark::DoNotOptimize(re.firstMatch(*s));
}
BENCHMARK(WregexFirstMatchIdentifier);

void WregexFirstMatch10KB(benchmark::State& state) {
    WideRegex re(kTextPattern);
    auto s = ns::String::make(text10k());
    for (auto _ : state)
        benchmark::DoNotOptimize(re.firstMatch(*s));
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(s->length()));
}
BENCHMARK(WregexFirstMatch10KB);

// A needle of 1,000 or 4,000 units that almost matches everywhere in 100,000 units, and is absent.
void CaseInsensitiveFindNearMiss(benchmark::State& state) {
    auto hay = ns::String::make(std::string(100000, 'A'));
    const std::string needle = std::string(static_cast<std::size_t>(state.range(0)) - 1, 'a') + "b";
    for (auto _ : state) {
        auto r = ns::rangeOfStringCaseInsensitive(*hay, needle);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(CaseInsensitiveFindNearMiss)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace
