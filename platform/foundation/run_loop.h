#pragma once
// ns::RunLoop, a thread's run loop, and ns::Timer, the timers it fires.
//
// A run loop handles its events in arrival order: performed blocks, timer fires and, for the main
// run loop, the main dispatch queue's blocks. Timers read the installed clock (see dispatch.h).

#include <functional>
#include <memory>
#include <string_view>

#include "platform/foundation/date.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/object.h"

namespace ns {

// Timers and performed blocks run in every mode; a source runs only in the modes it was added
// for. The common modes are the default mode and the tracking mode.
inline constexpr std::string_view DefaultRunLoopMode = "kCFRunLoopDefaultMode";
inline constexpr std::string_view RunLoopCommonModes = "kCFRunLoopCommonModes";
inline constexpr std::string_view TrackingRunLoopMode = "UITrackingRunLoopMode";

class Timer;
class RunLoopSource;

class RunLoop : public rt::Object {
    RT_CLASS(RunLoop)
public:
    static const rt::Ref<RunLoop>& main();
    // This thread's run loop, made on first use (the main run loop on the main thread).
    static rt::Ref<RunLoop> current();

    // Runs `block` on this run loop's next turn.
    void performBlock(dispatch::Block block);
    // Handles what is pending; when nothing was, waits for work or for `limitDate` (nil: do not
    // wait). Returns false when it returned because the limit passed with nothing to do.
    bool runMode(std::string_view mode, const rt::Ref<Date>& limitDate);
    // Runs until `limitDate` or stop().
    void runUntilDate(const rt::Ref<Date>& limitDate);
    // Runs until stop().
    void run();
    // Makes the run in progress return (or, when none is, the next one return at once).
    void stop();
    // Schedules `timer` here; the run loop keeps it until it is invalidated.
    void addTimer(const rt::Ref<Timer>& timer, std::string_view mode = DefaultRunLoopMode);

    // Sources: a signalled source performs once, on this run loop's thread, the next time the
    // loop runs in one of the modes it was added for (the main run loop is stepped in the default
    // mode). Adding a source twice for one mode keeps one entry.
    void addSource(const rt::Ref<RunLoopSource>& source, std::string_view mode);
    void removeSource(const rt::Ref<RunLoopSource>& source, std::string_view mode);
    bool containsSource(const rt::Ref<RunLoopSource>& source, std::string_view mode) const;

    // Wake handlers (what run-loop observers of the after-waiting activity stand on): each pass of
    // a run in one of the handler's modes that finds work to do (performed blocks, timers, main
    // queue work, sources) calls them first, lowest `order` first, on this run loop's thread. The
    // run loop keeps them for its life.
    void addWakeHandler(std::string_view mode, long order, std::function<void()> handler);
    // Turn-end handlers (where the screen's changes of a turn are committed, as run-loop observers
    // of the before-waiting activity do): called on this run loop's thread, in the order added,
    // as each turn of the thread's work ends: after each pass of an outermost run that found work
    // to do, and, for work done on the thread outside any run (a tester's touch, a test's call),
    // as the next outermost run begins. The run loop keeps them for its life.
    void addTurnEndHandler(std::function<void()> handler);

    struct Impl;

protected:
    ~RunLoop() override;

private:
    explicit RunLoop(bool isMain);
    std::unique_ptr<Impl> impl_;
};

class Timer : public rt::Object {
    RT_CLASS(Timer)
public:
    using Callback = std::function<void(const rt::Ref<Timer>&)>;

    // Scheduled on the current thread's run loop. An interval of zero or less becomes 0.1 ms.
    static rt::Ref<Timer> scheduledTimerWithTimeInterval(TimeInterval seconds, bool repeats, Callback block);
    // Not scheduled: add it to a run loop with RunLoop::addTimer.
    static rt::Ref<Timer> timerWithTimeInterval(TimeInterval seconds, bool repeats, Callback block);

    // Calls the block now; a timer that does not repeat is then invalidated.
    void fire();
    // Stops the timer for good and releases its block.
    void invalidate();
    bool isValid() const;
    // A repeating timer fired late skips the fire dates it missed.
    rt::Ref<Date> fireDate() const;
    // Zero for a timer that does not repeat.
    TimeInterval timeInterval() const;

    struct Impl;

protected:
    ~Timer() override;

private:
    Timer(TimeInterval seconds, bool repeats, Callback block);
    std::unique_ptr<Impl> impl_;
};

// A version-0 run-loop source ("CFRunLoopSource"): something another thread signals, performed
// by each run loop it is in. Any thread may signal or invalidate it.
class RunLoopSource : public rt::Object {
    RT_CLASS(RunLoopSource)
public:
    using Perform = std::function<void()>;
    static rt::Ref<RunLoopSource> make(Perform perform);

    // Marks the source ready and wakes the run loops it is in; a second signal before it performs
    // performs once.
    void signal();
    // Takes the source out of every run loop and releases its block; it never performs again.
    void invalidate();
    bool isValid() const;

    struct Impl;

protected:
    ~RunLoopSource() override;

private:
    explicit RunLoopSource(Perform perform);
    friend class RunLoop;
    std::unique_ptr<Impl> impl_;
};

// Runs `block` on the main run loop after `seconds` (the platform's perform-after-delay); invalidate
// the returned timer to call it off.
rt::Ref<Timer> performAfterDelay(TimeInterval seconds, dispatch::Block block);

} // namespace ns
