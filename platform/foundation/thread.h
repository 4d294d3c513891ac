#pragma once
// ns::Thread: which thread is the main one, and threads' names.

#include <string>
#include <string_view>

namespace ns {

class Thread {
public:
    // The main thread is the one that called markMainThread (the executable and the test runner do
    // so first thing), or until then the thread that ran static initialisation.
    static bool isMainThread();
    static void markMainThread();
    // The calling thread's name ("main" for the main thread until named; empty for others).
    static std::string currentName();
    // Names the calling thread (also for the system's tools, cut to what they hold).
    static void setCurrentName(std::string_view name);
};

} // namespace ns
