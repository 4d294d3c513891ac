#pragma once
// Names for classes a test makes at run time. Classes live for the process, so a test that runs
// again in the same process (--gtest_repeat) needs a name not taken yet.

#include <map>
#include <string>

namespace testkit {

// `base`, then `base`2, `base`3... on later calls with the same base.
inline std::string uniqueClassName(const std::string& base) {
    static std::map<std::string, int> runs;
    const int run = ++runs[base];
    return run == 1 ? base : base + std::to_string(run);
}

} // namespace testkit
