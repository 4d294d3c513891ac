#include "platform/runtime/log.h"

#include <atomic>
#include <cstdio>
#include <utility>

namespace ns {

namespace {
std::mutex& sinkLock() {
    static std::mutex m;
    return m;
}
LogSink& sink() {
    static LogSink s;
    return s;
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
    LogSink current;
    {
        std::lock_guard g(sinkLock());
        current = sink();
    }
    if (current) {
        current(line);
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

LogSink setLogSink(LogSink s) {
    std::lock_guard g(sinkLock());
    return std::exchange(sink(), std::move(s));
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
