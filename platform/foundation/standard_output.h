#pragma once
// The process's standard output (file descriptor 1), for what the platform prints with printf
// rather than logs. Tests capture it, as they capture the system log.

#include <mutex>
#include <string>
#include <string_view>

namespace ns {

// Writes `text` as it is (no newline added) to standard output and flushes it, or to the
// capture installed now. Any thread.
void writeStandardOutput(std::string_view text);

// Captures everything written with writeStandardOutput while it lives (tests); the capture it
// replaced comes back when it ends.
class CapturedStandardOutput {
public:
    CapturedStandardOutput();
    ~CapturedStandardOutput();
    CapturedStandardOutput(const CapturedStandardOutput&) = delete;
    CapturedStandardOutput& operator=(const CapturedStandardOutput&) = delete;

    std::string text() const;

private:
    friend void writeStandardOutput(std::string_view text);
    mutable std::mutex lock_;
    std::string text_;
    CapturedStandardOutput* previous_;
};

} // namespace ns
