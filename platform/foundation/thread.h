#pragma once
// ns::Thread: which thread is the main one, and threads' names.

#include <string>

#include <sys/single_threaded.h>

namespace ns {

class Thread {
public:
    // The main thread is the one that called markMainThread (the executable and the test runner do
    // so first thing), or until then the thread that ran static initialisation.
    static bool isMainThread();
    static void markMainThread();

    // The calling thread's name (empty until set), for what reports on threads.
    static void setName(std::string name);
    static std::string name();
    // A number unique to the calling thread among the process's threads, given on first use.
    static unsigned number();
    // The name of the thread numbered `number` while it runs (empty when unnamed or ended).
    static std::string nameOf(unsigned number);
    // Whether the process has never had a second thread: then no other thread can see memory
    // this one changes, and a count may be kept without atomic instructions (the C library says
    // so; it turns false for good once a thread is made).
    static bool isOnlyThread() noexcept { return __libc_single_threaded; }
};

} // namespace ns
