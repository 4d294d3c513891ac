#pragma once
// Runs a tester script against the application a driver holds, stepping time as the tests do: settle
// (drain the main queue, wait for URL transfers and the platform's threads), look for triggers,
// run the steps that are due one at a time (settling after each), then move time to the earliest
// timer or step. A step triggered by a screen or a dialog is dropped when, by the time it is due,
// that screen or dialog is no longer shown (the tester's moment has passed). A step that comes due
// while a transition runs waits for its end, as a person waits for the screen to settle.
//
// A step triggered by a request ({"request": name}) runs when that request has been answered on the
// wire and before the application handles the answer: the answer is held back (URL loading's
// exchange observers) until the steps due then have run. The request's name is what the namer
// gives (setRequestNamer; by default the request's URL).
//
// A check ("expect") that fails is noted and the run goes on. A check with "within" that does not
// see its text yet is due again at the next timer's time (or a short poll later) until it does or
// its time is up, and the rest of its step waits with it. The run ends when the application exits,
// when no step is due and nothing is scheduled (a stall), at the limit (whatever is still
// scheduled), when a step cannot run, when a signal interrupts the stepping
// (sim::interruptStepping), or when the application throws. Every step's fate is written to the
// step log with its time, and the steps holding no check that never ran are listed with the run.
//
// Every check the script writes is an expectation with one state: waiting until it looks, then seen
// or failed, with why it failed. A look that sees its text makes it seen; one that does not (its
// time up, what triggered its step gone while it waited) fails it, with what it saw. Whatever else
// happens during the run changes no check: the run's end, however it came (a launch step failing
// included), settles every check still waiting in one sweep, each failing with why it never saw its
// text, whatever its trigger: its step never fired ("never looked: its step waited for screen
// GPSViewController"), or came due after the end, or was dropped each time, or stopped before
// reaching it (an earlier action failing, the application's exit, the run's end), or its look was
// still waiting. The one exception is a step the caller says this device cannot reach
// (setUnreachable): it is listed as never ran, and its checks end unreachable. The sweep only
// settles; the step log and the lists of steps that did not run are written after it.
//
// Virtual time needs an installed ns::ManualClock. In real time (any other clock) the runner waits
// for the earliest step instead of moving the clock, and timers fire on their own.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/object.h"
#include "tester/script.h"

namespace ns {
struct URLExchange;
}

namespace sim {

class Driver;

struct ScriptRun {
    enum class End {
        Exited,         // the application ended the process
        Stalled,        // no step is due and nothing is scheduled
        Limit,          // the limit was reached
        StepFailed,     // a step could not run
        SteppingFailed, // the main queue or a transfer did not come to an end
        Interrupted,    // a signal asked the run to end
    };
    End end = End::Stalled;
    std::optional<int> exitStatus; // Exited
    int signal = 0;                // Interrupted
    std::string message;           // what ended the run, in words
    // A check of the script: an "expect" action of a step, and how the run left it. After a run
    // none is waiting.
    struct Check {
        enum class State { Waiting, Seen, Failed, Unreachable };
        std::size_t step = 0;   // its step's number
        std::size_t action = 0; // its place among the step's actions, from 0
        State state = State::Waiting;
        // Failed: its step and why, as the report says it (a check whose step fired again, its
        // first failure): "step 5 (results: expect outlet=failCount text=Fail: 0): wanted "Fail: 0",
        // saw "Fail: 1""; "...: wanted "Yes", saw nothing: successButton is hidden"; one whose wait
        // something else ended says what: "what triggered it was gone while it waited: wanted ...",
        // "still waiting when the run ended: wanted ..."; one that never looked says why: "the run
        // ended before it looked (expect outlet=... text=...)", "never looked: its step waited for
        // screen GPSViewController (expect ...)".
        std::string failure{};
    };
    std::vector<Check> checks; // in the file's order
    // The failures of the checks that failed, in the file's order.
    std::vector<std::string> failedChecks() const;
    // Whether a check of the script failed.
    bool aCheckFailed() const;
    // Each step holding no check (or only unreachable ones) none of whose actions ran, with what it
    // waited for:
    // "step 4 (lock: key.power) waited for screen PowerKeyViewController" (launch steps always run
    // first), and the screen, when it waited for one that never came.
    struct NotRun {
        std::size_t number = 0;
        std::string text;
        std::string screen{}; // a screen trigger's class
        std::string shows{};  // and the text it waited for the screen to show, if any
    };
    std::vector<NotRun> neverRan;
    // Each step with no check whose trigger came and was gone every time the step was due, so none
    // of its actions ran: the application went on without it (a tap a screen's own verdict made
    // needless). "step 38 (...: tap) waited for screen RFTestViewController (it came, and was gone
    // when the step was due)".
    std::vector<std::string> dropped;
};

// Seconds as a person writes them: as few decimals as the value needs ("1.5", "0.001", "66").
std::string secondsText(double seconds);

class ScriptRunner {
public:
    using RequestNamer = std::function<std::string(const ns::URLExchange&)>;

    ScriptRunner(Script script, Driver& driver);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Runs the steps that come before launch, in order, then launches the application and runs
    // until the end; virtual times of "at" steps count from the launch. `limitSeconds` after the
    // launch the run ends. A launch step that cannot run ends the run there (End::StepFailed),
    // nothing launched.
    ScriptRun run(double limitSeconds);
    // The same on an application already running (a test's, set up in code): nothing is launched
    // (nor are the launch steps run), and times count from this call.
    ScriptRun runLaunched(double limitSeconds);

    // Steps this device never reaches (the main job's: those waiting for a screen only a row it does
    // not offer shows), asked at the run's end of each step that never fired: such a step is listed
    // as never ran, and its checks end unreachable rather than failed.
    void setUnreachable(std::function<bool(const ScriptRun::NotRun&)> unreachable) {
        unreachable_ = std::move(unreachable);
    }
    // Called after every settle, before triggers are looked at (the run report watches here).
    void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }
    // Names requests for request triggers. Any thread.
    void setRequestNamer(RequestNamer namer) { namer_ = std::move(namer); }
    // Each step's fate, a line each, led by the seconds since launch: "   3.000 step 2 (login: ...) ran".
    // The steps are described as the run knows its secrets when this is called: a text typed into a
    // field that is not secure shows as "***" once it was typed at a secure entry, later too (a
    // user name that is the password).
    std::vector<std::string> stepLog() const;

private:
    struct Pending;
    struct Requests;
    enum class Due { None, Ran, Waiting, Failed };
    // Whether a step has fired (come, or come due) and whether its first action has run.
    enum class StepState { Waiting, Fired, Ran };
    static bool later(const Pending& a, const Pending& b);
    void addPending(Pending firing);
    void lookForTriggers(double now);
    void fire(const ScriptStep& step, double now, const rt::Id& subject);
    bool stillShown(const Pending& firing) const;
    Due runDue(double now, ScriptRun& run);
    ScriptRun runFrom(double limitSeconds, bool launch);
    void stepUntilTheEnd(double limitSeconds, bool launch, ScriptRun& run);
    // What a stall leaves waiting: "no step is due; 66 steps wait for screens, 1 for an alert".
    std::string stallText() const;
    // False, the run's end said, when a launch step cannot run.
    bool runLaunchSteps(ScriptRun& run);
    ScriptRun::Check& checkAt(const ScriptStep& step, std::size_t action);
    // A look of the check that saw its text, and one that did not (`why`: what it saw).
    void see(const ScriptStep& step, std::size_t action);
    void fail(ScriptRun::Check& check, const std::string& why);
    // The run's end, in its parts. cutShort: the firings begun join those stopped, the others
    // dropped, each step's earliest due time answered (none for a step with no firing left).
    std::vector<std::optional<double>> cutShort();
    // The one sweep: every check a stopped firing never reached, or still waiting, fails with why
    // it never saw its text (or ends unreachable); answers what it settled.
    struct Settled {
        std::size_t check;                 // in checks_
        std::optional<std::size_t> firing; // in stopped_: the firing that never reached it; none:
                                           // its step never looked
        std::string why;
    };
    std::vector<Settled> settleChecks(const std::vector<std::optional<double>>& due, double now);
    // A line of the step log for each firing and step the end leaves a failure with, and each
    // firing the end cut short (those of stopped_ from `stoppedBefore` on).
    void noteTheEnd(const std::vector<Settled>& settled, std::size_t stoppedBefore, double now);
    // The steps that did not run, holding no check that failed: never ran, or dropped.
    void listNotRun(const std::vector<std::optional<double>>& due, ScriptRun& run) const;
    // A step that never ran, as ScriptRun::neverRan lists it.
    ScriptRun::NotRun neverRan(const ScriptStep& step) const;
    void note(double now, const ScriptStep& step, const std::string& fate);
    // The step as the log and the report show it: a typed text that went into no field that is not
    // secure, and what was typed at a secure entry, as "***".
    std::string describe(const ScriptStep& step) const;

    Script script_;
    Driver& driver_;
    std::function<void()> observer_;
    RequestNamer namer_;
    struct StepNote {
        double at; // seconds since launch
        const ScriptStep* step;
        std::string fate;
    };
    std::vector<StepNote> stepLog_;
    std::vector<Pending> pending_; // a heap: the earliest firing first (later())
    // The triggered steps in the file's order, by what they wait for: a screen's or a request's
    // under its kind and name, an alert's, a sheet's or a URL's under its kind alone (they match a
    // part of a text).
    std::map<std::pair<ScriptTrigger::Kind, std::string>, std::vector<const ScriptStep*>> waiting_;
    std::vector<StepState> steps_; // by step index
    std::vector<ScriptRun::Check> checks_; // every check of the script, in the file's order
    std::vector<std::size_t> firstCheck_;  // by step index: its first check's place in checks_, and the end
    // The firings that stopped before their last action (what triggered them gone while a check
    // waited, an action failing; at the end, those the end cut short), for the end to settle the
    // checks they never reached.
    std::vector<Pending> stopped_;
    std::function<bool(const ScriptRun::NotRun&)> unreachable_;
    std::uint64_t nextOrder_ = 0;
    double launchTime_ = 0;
    // What has been seen, so each trigger fires once per event.
    rt::Weak<rt::Object> lastTop_;
    std::uint64_t topChanges_ = 0; // counts the screens that came on top, returns included
    std::uint64_t appearanceToken_ = 0;
    std::vector<rt::Weak<rt::Object>> appeared_; // screens that came on top since the last look
    std::vector<rt::Weak<rt::Object>> seenDialogs_;
    std::size_t seenURLs_ = 0;
    std::shared_ptr<Requests> requests_; // the requests answered since the last look (network thread)
};

} // namespace sim
