#include "platform/foundation/thread.h"

#include <atomic>
#include <thread>

namespace ns {

namespace {
// Initialised during static initialisation, by the thread that runs it.
std::atomic<std::thread::id> gMainThread{std::this_thread::get_id()};
} // namespace

bool Thread::isMainThread() {
    return gMainThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void Thread::markMainThread() {
    gMainThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

} // namespace ns
