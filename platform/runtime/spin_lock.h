#pragma once
// A small spin lock for critical sections that only move a few pointers.

#include <atomic>
#include <thread>

namespace rt {

class SpinLock {
public:
    void lock() noexcept {
        for (int spins = 0; flag_.exchange(true, std::memory_order_acquire); ++spins) {
            while (flag_.load(std::memory_order_relaxed)) {
                if (++spins > 64) std::this_thread::yield();
            }
        }
    }
    bool try_lock() noexcept { return !flag_.exchange(true, std::memory_order_acquire); }
    void unlock() noexcept { flag_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> flag_{false};
};

} // namespace rt
