#pragma once
// A count-down latch for tests that wait on other threads: bounded in real time, and a failed wait
// says how far the count got.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

namespace testkit {

// How long a test waits for what another thread or process does before it calls it lost and
// fails: so long that no machine's slowness reaches it (CTest ends a test at 300 s), so that only
// what never comes fails. A test waits for an event, never for a time.
inline constexpr double kEventWaitSeconds = 60;

class Latch {
public:
    explicit Latch(int count = 1) : initial_(count), count_(count) {}
    Latch(const Latch&) = delete;
    Latch& operator=(const Latch&) = delete;

    void countDown() {
        std::lock_guard g(m_);
        if (count_ > 0 && --count_ == 0) cv_.notify_all();
    }
    int count() const {
        std::lock_guard g(m_);
        return count_;
    }
    // Waits until the count reaches zero: `ASSERT_TRUE(latch.wait())`.
    ::testing::AssertionResult wait(double realSeconds = kEventWaitSeconds) {
        std::unique_lock g(m_);
        if (cv_.wait_for(g, std::chrono::duration<double>(realSeconds), [&] { return count_ == 0; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "latch still at " << count_ << " of " << initial_ << " after "
                                             << realSeconds << " s";
    }

private:
    const int initial_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    int count_;
};

} // namespace testkit
