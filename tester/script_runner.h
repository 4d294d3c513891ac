#pragma once
// Runs a tester script against the application a driver holds, stepping time as the tests do: settle
// (drain the main queue, wait for URL transfers and the platform's threads), look for triggers,
// run the steps that are due one at a time (settling after each), then move time to the earliest
// timer or step. A step triggered by a screen or a dialog is dropped when, by the time it is due,
// that screen or dialog is no longer shown (the tester's moment has passed). The run ends when the
// application exits, when nothing is left to do (the script spent and nothing scheduled: a stall), at the
// limit, or when a step cannot run.
//
// Virtual time needs an installed ns::ManualClock. In real time (any other clock) the runner waits
// for the earliest step instead of moving the clock, and timers fire on their own.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/object.h"
#include "tester/script.h"

namespace sim {

class Driver;

struct ScriptRun {
    enum class End {
        Exited,         // the application ended the process
        Stalled,        // the script is spent and nothing is scheduled
        Limit,          // the limit was reached
        StepFailed,     // a step could not run
        SteppingFailed, // the main queue or a transfer did not come to an end
    };
    End end = End::Stalled;
    std::optional<int> exitStatus; // Exited
    std::string message;           // what ended the run, in words
};

class ScriptRunner {
public:
    ScriptRunner(Script script, Driver& driver);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Runs the steps that come before launch, in order. False, with the failure, when one cannot.
    bool runLaunchSteps(std::string* failure);
    // Launches the application, then runs until the end; virtual times of
    // "at" steps count from the launch. `limitSeconds` after the launch the run ends.
    ScriptRun run(double limitSeconds);

    // Called after every settle, before triggers are looked at (the run report watches here).
    void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }
    // The steps run so far, in order, as described.
    const std::vector<std::string>& stepsRun() const noexcept { return stepsRun_; }

private:
    struct Pending;
    void lookForTriggers(double now);
    void fire(const ScriptStep& step, double now, const rt::Id& subject);
    bool stillShown(const Pending& firing) const;
    bool runDue(double now, ScriptRun& run);

    Script script_;
    Driver& driver_;
    std::function<void()> observer_;
    std::vector<std::string> stepsRun_;
    std::vector<Pending> pending_;
    std::vector<bool> fired_; // by step index: a "once" step that has fired
    std::uint64_t nextOrder_ = 0;
    double launchTime_ = 0;
    // What has been seen, so each trigger fires once per event.
    rt::Weak<rt::Object> lastTop_;
    std::uint64_t topChanges_ = 0; // counts the screens that came on top, returns included
    std::uint64_t appearanceToken_ = 0;
    std::vector<rt::Weak<rt::Object>> appeared_; // screens that came on top since the last look
    std::vector<rt::Weak<rt::Object>> seenDialogs_;
    std::size_t seenURLs_ = 0;
};

} // namespace sim
