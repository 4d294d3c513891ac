#pragma once
// The run report: what a person reads after a run. It is built by watching the application from
// outside, as a tester would: the controller on screen after each step of time (a test screen is
// one whose "info" is a test item; its row closes when it leaves the screen, with the item's
// result then), the identity intake notification, and the screen that follows the login screen.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"

namespace ui {
class ViewController;
}

namespace sim {
class Driver;
}

namespace app {

struct ReportRow {
    int order = 0;
    std::string key;    // the item's result key ("WIFI")
    std::string title;  // its title
    std::string screen; // the screen's class
    std::string result; // "pass", "fail", "not tested" or "not built"
    double start = 0;   // virtual seconds after launch
    double duration = 0;
    std::string picture; // the picture taken when the screen came on top, if any
};

class RunReport {
public:
    // `isStandIn` tells the "not built" screens by class name.
    RunReport(double launchTime, std::function<bool(std::string_view screen)> isStandIn);
    ~RunReport();
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

    // Looks at the screen (after each settle).
    void observe(const sim::Driver& driver);
    // Closes the row still open (at the end of the run).
    void finish(const sim::Driver& driver);
    // Called each time a screen comes on top (any screen, not only test screens); what it answers
    // is the picture a row opened then names.
    using ScreenHook = std::function<std::string(const rt::Ref<ui::ViewController>& top)>;
    void setScreenHook(ScreenHook hook) { screenHook_ = std::move(hook); }

    const std::vector<ReportRow>& rows() const noexcept { return rows_; }
    std::optional<double> intakeAt() const noexcept { return intakeAt_; }
    std::optional<double> loginAt() const noexcept { return loginAt_; }

    // What the job fills in before printing.
    std::vector<std::pair<std::string, std::string>> header; // profile, script, service, faults
    std::vector<std::pair<std::string, std::string>> ending; // how the run ended, times

    std::string text() const;

private:
    void close(double now);
    // A controller came on top at `now`: a test screen opens a row, anything else closes the open one.
    void cameOnTop(const rt::Ref<ui::ViewController>& top, double now);

    double launchTime_;
    std::function<bool(std::string_view)> isStandIn_;
    rt::Id intakeObserver_;
    std::optional<double> intakeAt_, loginAt_;
    bool loginSeen_ = false;
    rt::Weak<rt::Object> screen_; // the test screen on screen
    rt::Id item_;                 // its item
    const sim::Driver* driver_ = nullptr;
    std::uint64_t appearanceToken_ = 0;
    ScreenHook screenHook_;
    std::vector<ReportRow> rows_;
};

} // namespace app
