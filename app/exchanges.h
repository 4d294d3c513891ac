#pragma once
// The job's own record of what the application sent and what came back: every request, as URL
// loading ended it, with the service's call it makes (named after the path the client's request
// contracts give: "auth", "update", ...), whichever service answered. The run report's reply and
// login lines and, against an outside service, service/requests.log come from here; request
// triggers of the tester script are named by callOf too.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/run_text.h"

namespace app {

struct Exchange {
    std::int64_t seq = 0;             // in the order the requests ended, from 1
    double at = 0;                    // seconds after launch on the run's clock
    std::string method, target, call; // target: path and query; call: "" when no call matches
    long status = 0;                  // 0: no answer
    std::string failure;              // the transport's failure ("timed out", ...) when there was no answer
    std::string bodyStart;            // the answer's first bytes
    double wallSeconds = 0;           // from the request's start to its end, in real time

    // "update answered 200", "auth failed: Connection refused (-1004)", "update was cancelled".
    std::string outcome() const;
    // The same with the start of the answer's body: "auth answered 500: \"Internal Server Error\"".
    std::string outcomeWithBody() const;
};

// A time on the run's clock (seconds since the platform's reference date) as the system clock's,
// to the millisecond: how the service's files are stamped.
std::chrono::system_clock::time_point systemTimeOf(double runClockSeconds);

// The service call a request is: the client's request contracts name each by the end of its path.
std::string callOf(const std::string& url);
// Every name callOf gives.
std::vector<std::string> callNames();

class ExchangeRecord {
public:
    // Records from now on; `launchTime` is the run's start on its clock.
    explicit ExchangeRecord(double launchTime);
    ~ExchangeRecord();
    ExchangeRecord(const ExchangeRecord&) = delete;
    ExchangeRecord& operator=(const ExchangeRecord&) = delete;

    std::vector<Exchange> exchanges() const;
    // The last exchange of one of these calls, or none.
    std::optional<Exchange> last(const std::vector<std::string>& calls) const;
    // The record in the reference service's requests.log lines (refsvc::requestLogLine), stamped
    // on the run's clock as the in-process service stamps its own, masked as it is written.
    sim::MaskedText logText() const;

private:
    double launchTime_;
    std::uint64_t token_ = 0;
    mutable std::mutex lock_;
    std::vector<Exchange> exchanges_;
};

} // namespace app
