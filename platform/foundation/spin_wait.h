#pragma once
// Private to the foundation's threads that look for work a moment before they sleep: the pause of
// one turn of such a loop, and taking a lock that whoever handed the work over is about to release.

#include <mutex>

namespace dispatch::detail {

// One turn of a loop that waits without sleeping: lets the other hardware thread of the core run.
inline void spinPause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Takes `lock` (not held) after work has been seen arriving: the thread that handed it over may
// still be inside its few instructions under the lock, and sleeping on the lock for that would cost
// the switch the looking was meant to save. Tries a few turns first, then waits as usual.
inline void lockAfterSpin(std::unique_lock<std::mutex>& lock) {
    for (int i = 0; i < 128; ++i) {
        if (lock.try_lock()) return;
        spinPause();
    }
    lock.lock();
}

} // namespace dispatch::detail
