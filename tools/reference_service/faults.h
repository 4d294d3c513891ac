#pragma once
// Injected faults of the reference service: a rule "<call>=<kind>[*n]" says how the service
// misbehaves on the requests of one call (or of every call), for all of them or the first n.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace refsvc {

// The calls of the service's interface that faults can target.
enum class Call { Profile, Auth, Features, Models, Insert, Update, Partner, Ip };

// "profile", "auth", "features", "models", "insert", "update", "partner", "ip".
std::string_view callName(Call call);

struct Fault {
    enum class Kind {
        Refuse,      // "refuse": the connection is closed without an answer
        ServerError, // "500": HTTP 500 with a plain-text body
        Slow,        // "slow:<s>": a real delay of s seconds, then the normal answer
        Garbage,     // "garbage": HTTP 200 whose body is not JSON
    };

    std::optional<Call> call; // none: every call ("all")
    Kind kind = Kind::ServerError;
    double delaySeconds = 0;           // for Slow
    std::optional<std::int64_t> times; // "*n": only the first n requests the rule matches

    // Reads "<call>=<kind>[*n]": call one of the call names or "all"; s a decimal number of
    // seconds from 0 to 3600; n a whole number of at least 1. Answers nothing, with `error` set,
    // on anything else.
    static std::optional<Fault> parse(std::string_view text, std::string* error = nullptr);
    // The rule in the form parse() reads, e.g. "auth=slow:0.5*2".
    std::string describe() const;
};

// The rules of one service, in the order given. A request of a call takes the first rule that
// names its call (or "all") and still has requests left; that rule counts the request. So
// "auth=500*1" followed by "auth=slow:1" fails the first login and slows every later one, and
// "all=refuse*2" refuses the first two requests, whatever their calls.
class FaultPlan {
public:
    explicit FaultPlan(std::vector<Fault> rules = {});
    // The fault for the next request of `call`, counted; none when no rule applies.
    std::optional<Fault> take(Call call);

private:
    std::mutex lock_;
    std::vector<Fault> rules_;
    std::vector<std::int64_t> used_;
};

} // namespace refsvc
