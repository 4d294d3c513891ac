#pragma once
// ns::Thread: which thread is the main one.

namespace ns {

class Thread {
public:
    // The main thread is the one that called markMainThread (the executable and the test runner do
    // so first thing), or until then the thread that ran static initialisation.
    static bool isMainThread();
    static void markMainThread();
};

} // namespace ns
