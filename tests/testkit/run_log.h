#pragma once
// A log of what ran and when: names with the virtual time (relative to an origin) each ran at, from
// any thread. `note(name)` makes a block that adds its name when it runs.

#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/dispatch.h"

namespace testkit {

class RunLog {
public:
    explicit RunLog(ns::TimeInterval origin = 0) : origin_(origin) {}
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    dispatch::Block note(std::string name) {
        return [this, name] { add(name); };
    }
    void add(const std::string& name) {
        std::lock_guard g(lock_);
        names_.push_back(name);
        times_.push_back(dispatch::now() - origin_);
    }
    std::vector<std::string> names() const {
        std::lock_guard g(lock_);
        return names_;
    }
    std::vector<double> times() const {
        std::lock_guard g(lock_);
        return times_;
    }

private:
    mutable std::mutex lock_;
    const ns::TimeInterval origin_;
    std::vector<std::string> names_;
    std::vector<double> times_;
};

} // namespace testkit
