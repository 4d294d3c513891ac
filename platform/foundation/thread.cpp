#include "platform/foundation/thread.h"

#include <pthread.h>

#include <atomic>
#include <thread>

namespace ns {

namespace {
// Initialised during static initialisation, by the thread that runs it.
std::atomic<std::thread::id> gMainThread{std::this_thread::get_id()};
thread_local std::string gName;
} // namespace

bool Thread::isMainThread() {
    return gMainThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void Thread::markMainThread() {
    gMainThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

std::string Thread::currentName() {
    if (gName.empty() && isMainThread()) return "main";
    return gName;
}

void Thread::setCurrentName(std::string_view name) {
    gName = name;
    // The system keeps 15 bytes.
    pthread_setname_np(pthread_self(), std::string(name.substr(0, 15)).c_str());
}

} // namespace ns
