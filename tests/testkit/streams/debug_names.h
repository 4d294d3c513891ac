#pragma once
// Turns the streams' debug names on or off for a scope: sets or clears "ES_DEBUG_SIGNAL_NAMES",
// has the library read it again, and restores both at the end.
//
//     testkit::DebugNames on(true);
//     EXPECT_EQ(source->take(2)->name(), "[source] -take: 2");

#include <cstdlib>
#include <string>

#include "streams/description.h"

namespace testkit {

class DebugNames {
public:
    explicit DebugNames(bool on) {
        if (const char* v = std::getenv(kName)) saved_ = v, had_ = true;
        if (on) setenv(kName, "", 1);
        else unsetenv(kName);
        es::readDebugNamesSwitch();
    }
    ~DebugNames() {
        if (had_) setenv(kName, saved_.c_str(), 1);
        else unsetenv(kName);
        es::readDebugNamesSwitch();
    }
    DebugNames(const DebugNames&) = delete;
    DebugNames& operator=(const DebugNames&) = delete;

private:
    static constexpr const char* kName = "ES_DEBUG_SIGNAL_NAMES";
    std::string saved_;
    bool had_ = false;
};

} // namespace testkit
