#pragma once
// ns::PlatformWork: one piece of work a platform stand-in has in flight on a thread of its own (a
// reply being computed, an I/O cycle, a listener's callback). While any is in flight the main-loop
// stepper does not move virtual time: it keeps draining the main queue (so the work may hop to the
// main thread, even synchronously) and waits, in real time and bounded, for the work to end.
//
// Hold one for as long as the work runs, and end it only after the work has queued what it hands
// to the main queue: the stepper then finds that main-queue work before it looks at the clock.
// Work queued on another thread's ns::RunLoop counts by itself while it is pending there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ns {

class PlatformWork {
public:
    // Begins one piece of in-flight work, named after the stand-in doing it ("audio unit I/O").
    explicit PlatformWork(std::string name);
    PlatformWork(PlatformWork&& other) noexcept;
    PlatformWork& operator=(PlatformWork&& other) noexcept;
    PlatformWork(const PlatformWork&) = delete;
    PlatformWork& operator=(const PlatformWork&) = delete;
    ~PlatformWork();

    // Ends the work now (the destructor then does nothing); ending twice is harmless.
    void end() noexcept;

    // Pieces of work in flight in the process.
    static std::size_t inFlight();
    // The names of the work in flight, each once, sorted (what a stuck step reports).
    static std::vector<std::string> namesInFlight();

private:
    std::uint64_t id_ = 0; // 0: ended, or moved from
};

} // namespace ns
