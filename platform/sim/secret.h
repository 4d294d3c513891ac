#pragma once
// A value the run keeps out of what it writes, carried from where it is known (a text a script
// types, the device's identity) to the few places that use it: whatever prints it shows "***", and
// only reveal() gives the value, to the one use that needs it (typing it, looking for it in a
// text). What the run's masker (run_text.h) finds of it in the texts the run writes is the second
// guard.

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

namespace sim {

class Secret {
public:
    explicit Secret(std::string value) : value_(std::move(value)) {}
    const std::string& reveal() const noexcept { return value_; }
    bool empty() const noexcept { return value_.empty(); }
    static constexpr std::string_view kShown = "***";

private:
    std::string value_;
};

std::ostream& operator<<(std::ostream& out, const Secret& secret); // "***"

} // namespace sim
