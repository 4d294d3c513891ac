#include "platform/runtime/log.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

#include "platform/runtime/installed.h"

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

void appendPrintable(std::string& out, std::string_view text) {
    const auto isControl = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    };
    for (;;) {
        const auto control = std::find_if(text.begin(), text.end(), isControl);
        out.append(text.begin(), control);
        if (control == text.end()) return;
        const char c = *control;
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
        }
        text.remove_prefix(static_cast<std::size_t>(control - text.begin()) + 1);
    }
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

std::string printableQuote(std::string_view text, std::size_t limit) {
    const auto current = quoteMasking().get();
    return current ? printableCut((*current)(text), limit) : printableCut(text, limit);
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
