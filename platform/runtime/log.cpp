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

namespace {

// The length of the UTF-8 character `text` starts with, 0 when it starts with no whole one (a
// byte of another encoding, a sequence cut short or too long, a surrogate) or with a control
// character.
std::size_t printableCharacter(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(0);
    if (lead < 0x20 || lead == 0x7f) return 0;
    if (lead < 0x80) return 1;
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4                                  ? 4
                                                                                                : 0;
    if (length == 0 || text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    const unsigned second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

} // namespace

void appendPrintable(std::string& out, std::string_view text) {
    while (!text.empty()) {
        std::size_t run = 0;
        for (std::size_t length; run < text.size() && (length = printableCharacter(text.substr(run))) > 0;)
            run += length;
        out.append(text.substr(0, run));
        if (run == text.size()) return;
        const char c = text[run];
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
        }
        text.remove_prefix(run + 1);
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
