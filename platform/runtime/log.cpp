#include "platform/runtime/log.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

#include "platform/runtime/installed.h"
#include "platform/runtime/utf8.h"

namespace ns {

namespace {
rt::Installed<LogSink>& sink() {
    static rt::Installed<LogSink> s;
    return s;
}
rt::Installed<QuoteMasking>& quoteMasking() {
    static rt::Installed<QuoteMasking> masking;
    return masking;
}
std::atomic<bool> debugOn{true};
} // namespace

bool setDebugLines(bool on) {
    return debugOn.exchange(on);
}

bool debugLines() {
    return debugOn.load();
}

void logLine(std::string_view line) {
    if (const auto current = sink().get()) {
        (*current)(line);
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

LogSink setLogSink(LogSink s) {
    return sink().replace(std::move(s));
}

namespace {

// How appendPrintable writes the character at `at` (`size` bytes, `bad`: not UTF-8) when a reader
// would not see it as written; empty when it shows as it is.
std::string printableSpelling(std::string_view text, std::size_t at, char32_t c, bool bad) {
    char spelled[16];
    if (bad) {
        std::snprintf(spelled, sizeof spelled, "\\x%02X", static_cast<unsigned char>(text[at]));
        return spelled;
    }
    if (c == '\n') return "\\n";
    if (c == '\t') return "\\t";
    if (c < 0x20 || c == 0x7F) {
        std::snprintf(spelled, sizeof spelled, "\\x%02X", static_cast<unsigned>(c));
        return spelled;
    }
    const bool reorders = c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
                          (c >= 0x2066 && c <= 0x2069);
    if ((c >= 0x80 && c <= 0x9F) || reorders || c == 0x2028 || c == 0x2029) {
        std::snprintf(spelled, sizeof spelled, "\\u%04X", static_cast<unsigned>(c));
        return spelled;
    }
    return {};
}

} // namespace

void appendPrintable(std::string& out, std::string_view text) {
    std::size_t run = 0; // where the run of characters shown as they are began
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) { // the common case
            ++at;
            continue;
        }
        std::size_t next = at;
        bool bad = false;
        const char32_t c = rt::decodeUTF8(text, next, bad);
        if (bad) next = at + 1; // each byte of a broken character on its own
        const std::string spelled = printableSpelling(text, at, c, bad);
        if (!spelled.empty()) {
            out.append(text.substr(run, at - run)).append(spelled);
            run = next;
        }
        at = next;
    }
    out.append(text.substr(run));
}

std::string printableCut(std::string_view text, std::size_t limit) {
    std::string out;
    if (text.size() <= limit) {
        appendPrintable(out, text);
        return out;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end; // not inside a character
    appendPrintable(out, text.substr(0, end));
    return out + "...";
}

QuoteMasking setQuoteMasking(QuoteMasking masking) {
    return quoteMasking().replace(std::move(masking));
}

std::string maskedQuote(std::string_view text) {
    const auto current = quoteMasking().get();
    return current ? (*current)(text) : std::string(text);
}

std::string printableQuote(std::string_view text, std::size_t limit) {
    return printableCut(maskedQuote(text), limit);
}

CapturedLog::CapturedLog() {
    previous_ = setLogSink([this](std::string_view line) {
        std::lock_guard g(lock_);
        lines_.emplace_back(line);
    });
}

CapturedLog::~CapturedLog() { setLogSink(std::move(previous_)); }

std::vector<std::string> CapturedLog::lines() const {
    std::lock_guard g(lock_);
    return lines_;
}

bool CapturedLog::contains(std::string_view text) const {
    std::lock_guard g(lock_);
    for (const std::string& l : lines_)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

} // namespace ns
