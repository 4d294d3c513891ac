#pragma once
// The system log: free-form lines, written to a sink that tests can capture. ns::log (format.h)
// formats a line and writes it here.
//
// Debug lines (ns::debugLog: a signal's logged events, an object's retain count, a downloaded
// table) are written like the others while debug lines are on, as they are unless switched off
// (the main job switches them off unless FT_DEBUG_LOG asks for them), and dropped while off.

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ns {

using LogSink = std::function<void(std::string_view line)>;

// Writes one line. The default sink writes it to standard error.
void logLine(std::string_view line);
// Installs a sink (null restores the default) and returns the previous one.
LogSink setLogSink(LogSink sink);
// Switches debug lines on or off; answers whether they were on.
bool setDebugLines(bool on);
bool debugLines();

// A text the log does not control (a caller's key, a script's name) shown in a line: appended with
// what a reader would not see as written spelled out, so that an entry stays one line, nothing
// reaches a terminal as a command and nothing reads other than it is: control characters (\n, \t,
// \xNN, \u0085 for one past ASCII), the bidirectional formatting characters that reorder what
// follows them (\u202E) and the line and paragraph separators (\u2028), and each byte that is not
// part of a UTF-8 character (\xFF); the runs between them whole.
void appendPrintable(std::string& out, std::string_view text);
// Such texts are cut to this many bytes.
inline constexpr std::size_t kPrintedTextLimit = 200;
// `text` cut to `limit` bytes (at a character's start, "..." added), then made printable.
std::string printableCut(std::string_view text, std::size_t limit = kPrintedTextLimit);

// A text from outside that a line quotes whole (a caller's key, an object a log line formats with
// "%@") may hold what the line's reader must not see, masked in a whole text only (sim::RunSecrets
// installs the run's masker while it lives): maskedQuote passes it through this masking. None by
// default. Returns the masking it replaces. Any thread.
using QuoteMasking = std::function<std::string(std::string_view text)>;
QuoteMasking setQuoteMasking(QuoteMasking masking);
// `text` through the installed quote masking.
std::string maskedQuote(std::string_view text);
// The same, then cut and made printable as printableCut does.
std::string printableQuote(std::string_view text, std::size_t limit = kPrintedTextLimit);

// Captures every line logged while it lives (tests).
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view text) const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    LogSink previous_;
};

} // namespace ns
