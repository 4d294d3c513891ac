// The test runner's entry: GoogleTest, plus a check that every test leaves no object alive.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/thread.h"
#include "platform/runtime/object.h"
#include "tests/testkit/leak_check.h"

#if defined(__SANITIZE_THREAD__)
// The loopback server's library is a system package built without ThreadSanitizer: the hand-offs
// between its own threads (a connection accepted on one, served on another) are not seen, so its
// allocations and string compares on what one of its threads gave another would be reported as
// races. Reports with that library on a stack (the test server's side) are left out; the client
// side, which is this system's code, stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\nrace:libcpp-httplib.so\n";
}
#endif

namespace {

class LiveObjectCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { start_ = rt::liveObjectCount(); }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (info.result()->Failed()) return;
        std::string report = testkit::leftAlive(start_);
        if (report.empty()) return;
        std::printf("[  LEAKED  ] %s.%s %s\n", info.test_suite_name(), info.name(), report.c_str());
        leaked_ = true;
    }
    bool leaked() const { return leaked_; }

private:
    std::int64_t start_ = 0;
    bool leaked_ = false;
};

} // namespace

// LeakSanitizer (the sanitizer pass): fontconfig keeps allocations of its own for the life of the
// process that the leak check cannot reach from its roots.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    ns::Thread::markMainThread();
    // Property tests draw the same cases on every run, so a red CI is the code's and can be run
    // again; RC_PARAMS set by hand ("seed=7 max_success=1000") explores further.
    setenv("RC_PARAMS", "seed=20261209", 0);
    ::testing::InitGoogleTest(&argc, argv);
    auto* check = new LiveObjectCheck; // owned by the listener list
    ::testing::UnitTest::GetInstance()->listeners().Append(check);
    int rc = RUN_ALL_TESTS();
    return rc != 0 ? rc : (check->leaked() ? 1 : 0);
}
