#pragma once
// The run report: what a person reads after a run. It is built by watching the application from
// outside, as a tester would: the controller on screen after each step of time (a test screen is
// one whose "info" is a test item; its row closes when it leaves the screen, with the item's
// result then), the identity intake notification, the screen that follows the login screen, each
// alert and HUD text as it shows, the results screen's texts, and the application's log lines of
// the login's start, a failed login, each test's Result (why its row ended: a line under a row
// that did not pass) and an upload's outcome. With the job's record of requests it names what the
// service answered when the login failed, and the upload's answer. Once the run is over it takes
// the script's run (how it ended, its checks, the steps that did not run) and what the job alone
// knows (the files the run left, its times), and composes every line of its ending.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "tester/script_runner.h"

namespace ui {
class ViewController;
}

namespace sim {
class Driver;
}

namespace app {

class ExchangeRecord;

struct ReportRow {
    int order = 0;
    std::string key;    // the item's result key ("WIFI")
    std::string title;  // its title
    std::string screen; // the screen's class
    std::string result; // "pass", "fail", "not tested", "not built", or "unfinished" (still on
                        // screen when the run stopped)
    double start = 0;   // virtual seconds after launch
    double duration = 0;
    std::string picture; // the picture of the row's verdict, else of its screen coming on top, if any
    std::string why;     // why it ended, as its screen's Result line said ("answered No"), if it
                         // did; for an unfinished row, how the run ended, and the dialog left
                         // unanswered over it, if any ("; unanswered: alert ...")
    int retriedAs = 0;   // the order of the row that ran its item again (from the results screen),
                         // which counts in its place; 0 when none did
};

// A row the run asked for that this device does not offer: its key, its title, what the device
// lacks for it and the screens only it would have shown.
struct NotOfferedRow {
    std::string key, title, lacking;
    std::vector<std::string> screens;
};

// What the job alone knows of a run once it is over, for the last lines of the report's ending.
struct RunWrapUp {
    bool realTime = false;
    double runSeconds = 0;                 // the run's time since launch, virtual or real
    double wallSeconds = 0;                // the job's wall time so far
    std::string resultFile{};              // the result file's path, masked, when the run left one
    std::optional<std::string> pictures{}; // what the pictures came to, masked; none when they are off
};

// Something a person saw: an alert, a sheet or a HUD's text, with when it showed; or a sound that
// stopped before any of it played, with when it began.
struct ShownText {
    double at = 0;
    std::string text; // alert "Quarnotix": "Warning"; HUD "Sending..."; sound "sample.m4a" on
                      // Headphones stopped before any of it played
};

// Names and paths in the report are cut to this many bytes (at a character's start), "..." added,
// and their control characters are spelled out (sim::printableCut).
inline constexpr std::size_t kReportNameLimit = 200;
std::string cutName(std::string_view text);

class RunReport {
public:
    // `isStandIn` tells the "not built" screens by class name; `exchanges`, when given, is the job's
    // record of requests (it must outlive the report).
    RunReport(double launchTime, std::function<bool(std::string_view screen)> isStandIn,
              const ExchangeRecord* exchanges = nullptr);
    ~RunReport();
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

    // Looks at the screen (after each settle).
    void observe(const sim::Driver& driver);
    // Reads one line of the application's log.
    void logLine(std::string_view line);
    // The run is over (called while the driver is still there): closes the row still open as
    // "unfinished", whatever its item's code says then, with how the run ended ("limit reached at
    // 8 s") as its why, followed by the dialog shown last when one is still up, named as the shown
    // texts name it (the system's permission question the run stalled on: "; unanswered: alert
    // ..."); keeps how the run ended, its checks that failed and the steps that did not run, and
    // after a run cut short (a stall, the limit, a failed step, a signal) what the tester was
    // looking at, the row in progress and the last step that ran (from `stepLog`); and stops
    // watching.
    void finish(const sim::Driver& driver, const sim::ScriptRun& run,
                const std::vector<std::string>& stepLog);
    // What the job alone knows, for the ending's last lines.
    void wrapUp(RunWrapUp facts) { wrapUp_ = std::move(facts); }
    // Called each time a screen comes on top (any screen, not only test screens); what it answers
    // is the picture a row opened then names.
    using ScreenHook = std::function<std::string(const rt::Ref<ui::ViewController>& top)>;
    void setScreenHook(ScreenHook hook) { screenHook_ = std::move(hook); }
    // The open row's picture from now on (the one taken when its screen decided it); nothing when
    // no row is open.
    void setOpenRowPicture(std::string picture);

    const std::vector<ReportRow>& rows() const noexcept { return rows_; }
    std::optional<double> intakeAt() const noexcept { return intakeAt_; }
    std::optional<double> loginAt() const noexcept { return loginAt_; }
    const std::vector<ShownText>& shown() const noexcept { return shown_; }
    // The keys the run asked for (the list's preselection) that this device's catalogue does not
    // offer, each with what the device lacks for it and the screens only it shows, as the list said
    // when it first showed.
    const std::vector<NotOfferedRow>& notOffered() const noexcept { return notOffered_; }
    // Whether the run had nothing to run: no row opened, and every key it asked for that names a
    // row is one the device does not offer.
    bool nothingToRun() const noexcept;
    // After finish: whether that is how the run ended (it waited on the list for nothing).
    bool endedWithNothingToRun() const noexcept {
        return nothingToRun() && run_.end == sim::ScriptRun::End::Stalled;
    }
    // Whether a step that never ran belongs under the rows not offered, where the report says it:
    // it waited for a screen only such a row shows, or the run had nothing to run. The runner asks
    // it of each step that never fired (sim::ScriptRunner::setUnreachable).
    bool keptUnderARow(const sim::ScriptRun::NotRun& step) const;
    // The last upload's outcome as the application logged it ("accepted", "refused: ...",
    // "failed: ..."); empty when none was logged.
    const std::string& uploadOutcome() const noexcept { return uploadOutcome_; }

    // What the job fills in before printing.
    std::vector<std::pair<std::string, std::string>> header; // profile, script, service, faults

    std::string text() const;
    // The ending's lines: how the run ended, what a run cut short was looking at, the upload's
    // answer, slow requests, the result file, the pictures, the application's exit and the times.
    std::vector<std::pair<std::string, std::string>> endingLines() const;
    // A line of the ending as text() writes it ("  end:          limit reached at 66 s\n").
    static std::string endingLine(const std::string& key, const std::string& value);

private:
    // Closes the open row with its item's result, or as unfinished when the run stopped under it.
    void close(double now, bool stopped = false);
    // A controller came on top at `now`: a test screen opens a row, anything else closes the open one.
    void cameOnTop(const rt::Ref<ui::ViewController>& top, double now);
    // Whether `top` was presented by the open row's test screen or one of its containers.
    bool presentedOverScreen(const ui::ViewController& top) const;
    void note(std::string text);
    void stopWatching();
    // The row not offered the step waits for: the first whose screens hold the step's screen, or
    // whose title holds the text the runner's screen waits for when no row offered has it in its
    // title (only that row's runner screen shows it); null when none.
    const NotOfferedRow* rowOf(const sim::ScriptRun::NotRun& step) const;
    // How the run ended, in words: "the application ended itself", the runner's message, a stall
    // on the list with no row ticked said so.
    std::string endText() const;
    std::vector<std::pair<std::string, std::string>>
    sightLines(const sim::Driver& driver, const std::vector<std::string>& stepLog) const;
    std::string loginText() const;

    double launchTime_;
    std::function<bool(std::string_view)> isStandIn_;
    const ExchangeRecord* exchanges_;
    rt::Id intakeObserver_;
    std::optional<double> intakeAt_, loginAt_, loggingInAt_;
    bool loginSeen_ = false;
    struct LoginFailure {
        double at;
        std::string reason, cause;
    };
    std::optional<LoginFailure> loginFailure_;
    std::string uploadOutcome_;
    std::vector<std::string> results_; // the results screen's texts, as it last showed them
    std::vector<ShownText> shown_;
    std::vector<NotOfferedRow> notOffered_;
    std::vector<std::string> offeredTitles_;  // the titles of the rows the list offers
    std::optional<std::size_t> offeredAsked_; // once the list has shown
    bool nothingTicked_ = false;              // the run ended on the list, no row ticked
    sim::ScriptRun run_;                      // once it is over
    std::vector<std::pair<std::string, std::string>> sight_; // what a run cut short was looking at
    RunWrapUp wrapUp_;
    rt::Weak<rt::Object> screen_; // the test screen on screen
    rt::Weak<rt::Object> lastTop_; // the controller last seen on top
    rt::Id item_;                 // its item
    const sim::Driver* driver_ = nullptr;
    std::uint64_t appearanceToken_ = 0, dialogToken_ = 0, hudToken_ = 0;
    ScreenHook screenHook_;
    std::vector<ReportRow> rows_;
    std::vector<rt::Weak<rt::Object>> rowItems_; // each row's item
};

} // namespace app
