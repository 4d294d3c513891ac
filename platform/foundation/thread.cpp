#include "platform/foundation/thread.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace ns {

namespace {
// Initialised during static initialisation, by the thread that runs it.
std::atomic<std::thread::id> gMainThread{std::this_thread::get_id()};
std::atomic<unsigned> gLastNumber{0};

struct Names {
    std::mutex lock;
    std::unordered_map<unsigned, std::string> byNumber;
};

Names& names() {
    static Names* n = new Names; // never destroyed: threads end during exit
    return *n;
}

// The calling thread's number; its name leaves the table when the thread ends.
struct Identity {
    unsigned number = ++gLastNumber;
    bool named = false;
    ~Identity() {
        if (!named) return;
        std::lock_guard g(names().lock);
        names().byNumber.erase(number);
    }
};
thread_local Identity tlIdentity;
} // namespace

bool Thread::isMainThread() {
    return gMainThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void Thread::markMainThread() {
    gMainThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void Thread::setName(std::string name) {
    tlIdentity.named = true;
    std::lock_guard g(names().lock);
    names().byNumber[tlIdentity.number] = std::move(name);
}

std::string Thread::name() {
    return nameOf(tlIdentity.number);
}

unsigned Thread::number() {
    return tlIdentity.number;
}

std::string Thread::nameOf(unsigned number) {
    std::lock_guard g(names().lock);
    auto it = names().byNumber.find(number);
    return it == names().byNumber.end() ? std::string() : it->second;
}

} // namespace ns
