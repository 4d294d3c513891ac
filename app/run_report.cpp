#include "app/run_report.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/exchanges.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/stored_block.h"
#include "platform/sim/device.h"
#include "platform/sim/run_text.h"
#include "platform/sim/sound.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/label.h"
#include "platform/uikit/view_controller.h"
#include "service/login_view_controller.h"
#include "service/login_view_model.h"
#include "session/app_delegate.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "session/ready_start_view_controller.h"
#include "session/result_view_controller.h"
#include "session/root_table_view_controller.h"
#include "tester/driver.h"
#include "ui/overlays/hud_texts.h"

namespace app {

namespace {

std::string utf8(const rt::Ref<ns::String>& s) {
    return s ? s->utf8() : std::string();
}

std::string seconds(double s) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", s);
    return buffer;
}

std::string padded(std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string quotedText(std::string_view text) {
    return "\"" + cutName(text) + "\"";
}

// A text of the report's own words (a row's key and title): cut and printable as a name, never
// masked.
std::string ownText(std::string_view text) {
    return ns::printableCut(text, kReportNameLimit);
}

// "step 4 did not run", "steps 21, 22 did not run".
std::string didNotRun(const std::vector<std::size_t>& steps) {
    std::string out = steps.size() == 1 ? "step " : "steps ";
    for (std::size_t i = 0; i < steps.size(); ++i)
        out += (i ? ", " : "") + std::to_string(steps[i]);
    return out + " did not run";
}

// A dialog as the report names it, as a tester does: alert "Quarnotix": "Warning", sheet "Leave the
// test?".
std::string dialogText(const ui::ButtonDialog& dialog) {
    return sim::Driver::dialogText(dialog, kReportNameLimit);
}

// A request that took this much wall time or more is named under the ending: in virtual time the
// run's clock stands still while a transfer is in flight, so its wall time is told apart.
constexpr double kSlowExchangeSeconds = 0.5;

std::string secondsWithUnit(double s) {
    return seconds(s) + " s";
}

std::string slowExchangeText(const Exchange& exchange, bool realTime) {
    return exchange.outcome() + " at " + secondsWithUnit(exchange.at) + ", after " +
           secondsWithUnit(exchange.wallSeconds) + " of wall time" +
           (realTime ? "" : " (the run's clock stood still meanwhile)");
}

} // namespace

std::string cutName(std::string_view text) {
    return sim::printableCut(text, kReportNameLimit);
}

RunReport::RunReport(double launchTime, std::function<bool(std::string_view)> isStandIn,
                     const ExchangeRecord* exchanges)
    : launchTime_(launchTime), isStandIn_(std::move(isStandIn)), exchanges_(exchanges) {
    intakeObserver_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ft::kReceiveimeiNotification, nullptr, nullptr, [this](const rt::Ref<ns::Notification>&) {
            if (!intakeAt_) intakeAt_ = ns::Clock::currentTime() - launchTime_;
        });
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        // Taken at once: a screen that comes and goes within one step may be gone by the next look.
        if (driver_ && &controller == driver_->topViewController().get())
            cameOnTop(rt::retained(&controller), ns::Clock::currentTime());
    });
    dialogToken_ =
        ui::ButtonDialog::addPresentObserver([this](ui::ButtonDialog& dialog) { note(dialogText(dialog)); });
    hudToken_ = sh::addHUDTextObserver([this](std::string_view text) { note("HUD " + quotedText(text)); });
}

RunReport::~RunReport() {
    stopWatching();
}

void RunReport::stopWatching() {
    if (intakeObserver_) ns::NotificationCenter::defaultCenter()->removeObserver(intakeObserver_);
    intakeObserver_ = nullptr;
    ui::ViewController::removeDidAppearObserver(std::exchange(appearanceToken_, 0));
    ui::ButtonDialog::removePresentObserver(std::exchange(dialogToken_, 0));
    sh::removeHUDTextObserver(std::exchange(hudToken_, 0));
    driver_ = nullptr;
}

void RunReport::note(std::string text) {
    shown_.push_back({ns::Clock::currentTime() - launchTime_, std::move(text)});
}

void RunReport::logLine(std::string_view line) {
    const double now = ns::Clock::currentTime() - launchTime_;
    if (line.starts_with(ft::LoginViewModel::kLoggingInLogPrefix) && !loggingInAt_) loggingInAt_ = now;
    // The Result line of the open row's screen, logged as it leaves: why the row ends.
    if (auto result = ft::BaseModelViewController::readResultLine(line);
        result && item_ && !rows_.empty() && rows_.back().key == ownText(result->key))
        rows_.back().why = cutName(result->why);
    if (line.starts_with(ft::LoginViewController::kFailedLogPrefix)) {
        // The login's steps run one after another: the last request that ended is the one that
        // failed it, as the job's own record has it.
        std::string cause;
        if (exchanges_)
            if (std::vector<Exchange> ended = exchanges_->exchanges(); !ended.empty())
                cause = ended.back().outcomeWithBody();
        loginFailure_ =
            LoginFailure{now, std::string(line.substr(ft::LoginViewController::kFailedLogPrefix.size())),
                         std::move(cause)};
    }
    for (std::string_view prefix :
         {ft::ResultViewController::kUpdateLogPrefix, ft::ResultViewController::kPartnerLogPrefix})
        if (line.starts_with(prefix)) {
            const std::string_view outcome = line.substr(prefix.size());
            uploadOutcome_ = outcome == "sent" ? "sent, no answer handled" : cutName(outcome);
        }
}

void RunReport::observe(const sim::Driver& driver) {
    const double now = ns::Clock::currentTime();
    rt::Ref<ui::ViewController> top = driver.topViewController();
    if (top) {
        const std::string_view name = top->getClass().name();
        if (name == "LoginViewController") {
            loginSeen_ = true;
        } else if (loginSeen_ && !loginAt_) {
            loginAt_ = now - launchTime_;
        }
        // What the run asked for and the device does not offer, as the list first shows, and the
        // titles of the rows it offers.
        if (auto list = rt::cast<ft::RootTableViewController>(top); list && !offeredAsked_) {
            offeredAsked_ = list->offeredPreselection();
            for (const auto& row : list->notOffered())
                notOffered_.push_back({ownText(row.key), row.title, cutName(row.lacking), row.screens});
            for (const rt::Id& entry : *list->itemList())
                if (auto item = rt::cast<ft::TestBaseModel>(entry); item && item->title())
                    offeredTitles_.push_back(item->title()->utf8());
        }
        // The results screen's texts as it shows them now: counts and estimate.
        if (auto results = rt::cast<ft::ResultViewController>(top)) {
            results_.clear();
            for (const rt::Ref<ui::Label>& label :
                 {results->successCount(), results->failCount(), results->evaluate()})
                if (label && label->text()) results_.push_back(quotedText(label->text()->utf8()));
        }
    }
    driver_ = &driver;
    if (top && (top != screen_.lock() || rt::Id(top) != lastTop_.lock())) cameOnTop(top, now);
}

void RunReport::cameOnTop(const rt::Ref<ui::ViewController>& top, double now) {
    // Pictured each time, the open row's screen back on top too (a question asked after the screen
    // it presented went).
    lastTop_ = rt::Id(top);
    std::string picture = rt::callStoredBlock(screenHook_, top);
    if (top == screen_.lock()) return;
    if (presentedOverScreen(*top)) return; // a composer the test shows is part of its row
    close(now);
    // Test screens are the base test screen's kind; the results screen has an item too, but is none.
    const rt::Class* testScreen = rt::Class::named("BaseModelViewController");
    if (!testScreen || !top->isKindOfClass(*testScreen)) return;
    auto item = rt::cast<ft::TestBaseModel>(ns::valueForKey(top, "info"));
    if (!item) return;
    screen_ = rt::Id(top);
    item_ = item;
    ReportRow row;
    row.order = static_cast<int>(rows_.size()) + 1;
    row.key = ownText(utf8(item->profile()));
    row.title = ownText(utf8(item->title()));
    row.screen = std::string(top->getClass().name());
    row.start = now - launchTime_;
    row.picture = std::move(picture);
    // The item run again (a retry from the results screen): this row counts in the earlier one's place.
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].retriedAs == 0 && rowItems_[i].lock() == item_) rows_[i].retriedAs = row.order;
    rows_.push_back(std::move(row));
    rowItems_.emplace_back(item_);
}

void RunReport::setOpenRowPicture(std::string picture) {
    if (item_ && !rows_.empty()) rows_.back().picture = std::move(picture);
}

bool RunReport::presentedOverScreen(const ui::ViewController& top) const {
    auto screen = rt::cast<ui::ViewController>(screen_.lock());
    const rt::Ref<ui::ViewController> presenter = top.presentingViewController();
    for (; screen && presenter; screen = screen->parentViewController())
        if (screen == presenter) return true;
    return false;
}

void RunReport::close(double now, bool stopped) {
    if (!item_) return;
    auto item = rt::cast<ft::TestBaseModel>(item_);
    ReportRow& row = rows_.back();
    row.duration = now - launchTime_ - row.start;
    switch (item->success()) {
    case 1:
        row.result = "pass";
        break;
    case 2:
        row.result = isStandIn_ && isStandIn_(row.screen) ? "not built" : "fail";
        break;
    default:
        row.result = "not tested";
        break;
    }
    if (stopped) row.result = "unfinished"; // whatever the item's code then: it is no answer yet
    item_ = nullptr;
    screen_ = nullptr;
}

bool RunReport::nothingToRun() const noexcept {
    return rows_.empty() && !notOffered_.empty() && offeredAsked_ == 0u;
}

const NotOfferedRow* RunReport::rowOf(const sim::ScriptRun::NotRun& step) const {
    for (const NotOfferedRow& row : notOffered_)
        if (std::find(row.screens.begin(), row.screens.end(), step.screen) != row.screens.end()) return &row;
    // The runner shows the row's title: a text only a row not offered has in its title can come
    // only from that row.
    const auto holds = [&](const std::string& title) { return title.find(step.shows) != std::string::npos; };
    if (step.screen != ft::ReadyStartViewController::staticClass().name() || step.shows.empty() ||
        std::any_of(offeredTitles_.begin(), offeredTitles_.end(), holds))
        return nullptr;
    for (const NotOfferedRow& row : notOffered_)
        if (holds(row.title)) return &row;
    return nullptr;
}

bool RunReport::keptUnderARow(const sim::ScriptRun::NotRun& step) const {
    return rowOf(step) || nothingToRun();
}

void RunReport::finish(const sim::Driver& driver, const sim::ScriptRun& run,
                       const std::vector<std::string>& stepLog) {
    observe(driver);
    run_ = run;
    // A stall on the list with nothing ticked: the list runs nothing until a row is ticked.
    if (auto list = rt::cast<ft::RootTableViewController>(driver.topViewController())) {
        nothingTicked_ = true;
        for (const rt::Id& entry : *list->itemList())
            if (auto item = rt::cast<ft::TestBaseModel>(entry); item && item->selected())
                nothingTicked_ = false;
    }
    const std::string why = endText();
    // A clip stopped before any of it played (a second tap on an answer given as it began): what the
    // tap met, though nothing of it could be heard.
    for (const sim::Speaker::Clip& clip : sim::Device::shared().speaker().clips()) {
        if (clip.end > clip.start || clip.start < launchTime_) continue;
        const ShownText heard{clip.start - launchTime_, "sound " + quotedText(clip.file) + " on " + cutName(clip.port) +
                                                            " stopped before any of it played"};
        shown_.insert(std::upper_bound(shown_.begin(), shown_.end(), heard,
                                       [](const ShownText& a, const ShownText& b) { return a.at < b.at; }),
                      heard);
    }
    const bool open = item_ != nullptr;
    close(ns::Clock::currentTime(), true);
    if (open) {
        // The question its screen was left with (the system's permission question, an alert of
        // its own), unanswered.
        rows_.back().why = cutName(why);
        if (const auto dialogs = ui::ButtonDialog::presented(); !dialogs.empty())
            rows_.back().why += "; unanswered: " + dialogText(*dialogs.back());
    }
    // What a run cut short was looking at; a run with nothing to run waited for nothing.
    if (run.end != sim::ScriptRun::End::Exited && !endedWithNothingToRun())
        sight_ = sightLines(driver, stepLog);
    stopWatching(); // the run has ended: what comes after is no part of it
}

std::string RunReport::endText() const {
    if (run_.end == sim::ScriptRun::End::Exited) return "the application ended itself";
    if (endedWithNothingToRun())
        return "nothing to run: every row the script asked for is not offered on this device";
    constexpr std::string_view kStalled = "stalled: ";
    if (run_.end == sim::ScriptRun::End::Stalled && nothingTicked_ && run_.message.starts_with(kStalled))
        return std::string(kStalled) + "no row is ticked; " + run_.message.substr(kStalled.size());
    return run_.message;
}

std::vector<std::pair<std::string, std::string>>
RunReport::sightLines(const sim::Driver& driver, const std::vector<std::string>& stepLog) const {
    auto listed = [](const std::vector<std::string>& texts) {
        std::string out;
        for (const std::string& text : texts)
            out += (out.empty() ? "" : " ") + quotedText(text);
        return out.empty() ? std::string("none") : out;
    };
    const sim::Driver::Sight sight = driver.sight();
    std::vector<std::pair<std::string, std::string>> lines = {
        {"on screen", sight.screen.empty() ? "nothing" : sight.screen + ": " + listed(sight.texts)}};
    if (!sight.hud.empty()) lines.emplace_back("HUD", listed(sight.hud));
    std::string controls;
    for (const std::string& control : sight.controls)
        controls += (controls.empty() ? "" : ", ") + cutName(control);
    lines.emplace_back("controls", controls.empty() ? "none" : controls);
    if (!rows_.empty() && rows_.back().result == "unfinished") {
        const ReportRow& row = rows_.back();
        lines.emplace_back("row", std::to_string(row.order) + " " + row.key + " " + row.title +
                                      ", open since " + seconds(row.start) + " s");
    }
    // The step log's lines are led by their time: the last that ran, as it has it.
    auto ran = std::find_if(stepLog.rbegin(), stepLog.rend(),
                            [](const std::string& line) { return line.find(") ran") != std::string::npos; });
    lines.emplace_back(
        "last step", ran == stepLog.rend() ? "none ran" : ran->substr(ran->find_first_not_of(' ')));
    return lines;
}

std::string RunReport::loginText() const {
    if (loginAt_)
        return (loggingInAt_ ? "logging in at " + seconds(*loggingInAt_) + " s, " : std::string()) +
               "past the login screen at " + seconds(*loginAt_) + " s";
    if (!loginFailure_) return "none";
    std::string text = "failed at " + seconds(loginFailure_->at) + " s: " + cutName(loginFailure_->reason);
    if (!loginFailure_->cause.empty())
        text += " (" + loginFailure_->cause + ")"; // its texts from outside marked
    return text;
}

std::string RunReport::text() const {
    std::string out = "Function test run\n";
    for (const auto& [key, value] : header)
        out += "  " + padded(key + ":", 10) + value + "\n";
    out += "  " + padded("intake:", 10) +
           (intakeAt_ ? seconds(*intakeAt_) + " s (the device's identity arrived)" : "none") + "\n";
    out += "  " + padded("login:", 10) + loginText() + "\n\n";

    int pass = 0, fail = 0, notTested = 0, notBuilt = 0, unfinished = 0, retried = 0;
    out += "  #   key                                 title                                       result     "
           " start s  duration s  picture\n";
    for (const ReportRow& row : rows_) {
        char order[8];
        std::snprintf(order, sizeof order, "%-3d", row.order);
        out +=
            "  " + std::string(order) + " " + padded(row.key, 35) + " " + padded(row.title, 43) + " " +
            padded(row.retriedAs    ? std::string("retried")
                   : row.result.empty() ? std::string("open")
                                        : row.result,
                   11) +
            " " + padded(seconds(row.start), 8) + " " +
            (row.picture.empty() ? seconds(row.duration) : padded(seconds(row.duration), 11) + row.picture) +
            "\n";
        // Why a row did not pass, on a line of its own under it (a stand-in's is its result; an
        // unfinished row's is the ending's); a retried row keeps its own verdict there, and counts
        // no more: the row that ran its item again does.
        if (row.retriedAs) {
            out += "      why: retried (" + row.result + (row.why.empty() ? "" : ": " + row.why) + ") -> row " +
                   std::to_string(row.retriedAs) + "\n";
            ++retried;
            continue;
        }
        if (row.result == "fail" || row.result == "not tested" || row.result == "unfinished")
            out += "      why: " +
                   (!row.why.empty()               ? row.why
                    : row.result == "unfinished" ? std::string("the run ended with its screen up")
                                                 : std::string("its screen did not say")) +
                   "\n";
        if (row.result == "pass")
            ++pass;
        else if (row.result == "fail")
            ++fail;
        else if (row.result == "not built")
            ++notBuilt;
        else if (row.result == "unfinished")
            ++unfinished;
        else
            ++notTested;
    }
    // A step that never ran for a row this device does not offer is said under that row, not as a
    // step that failed to run; with nothing to run, so is every other.
    const std::vector<sim::ScriptRun::NotRun>& neverRan = run_.neverRan;
    std::vector<bool> apart(neverRan.size(), false);
    for (const NotOfferedRow& row : notOffered_) {
        std::vector<std::size_t> steps;
        for (std::size_t i = 0; i < neverRan.size(); ++i)
            if (rowOf(neverRan[i]) == &row) {
                apart[i] = true;
                steps.push_back(neverRan[i].number);
            }
        out += "      " + padded(row.key, 35) + " not offered on this device (" + row.lacking + ")" +
               (steps.empty() ? "" : "; its " + didNotRun(steps)) + "\n";
    }
    std::vector<std::size_t> others;
    for (std::size_t i = 0; i < neverRan.size(); ++i)
        if (!apart[i] && keptUnderARow(neverRan[i])) {
            apart[i] = true;
            others.push_back(neverRan[i].number);
        }
    if (!others.empty()) out += "      with nothing to run, " + didNotRun(others) + "\n";
    out += "  tests run: " + std::to_string(rows_.size() - std::size_t(retried)) + "; pass " + std::to_string(pass) +
           ", fail " + std::to_string(fail) + ", not tested " + std::to_string(notTested) + ", not built " +
           std::to_string(notBuilt) + ", unfinished " + std::to_string(unfinished) +
           (retried ? "; retried rows " + std::to_string(retried) : std::string()) + "\n";
    if (!results_.empty()) {
        out += "  results: ";
        for (const std::string& text : results_)
            out += " " + text;
        out += "\n";
    }
    for (std::size_t i = 0; i < neverRan.size(); ++i)
        if (!apart[i]) out += "  never ran: " + neverRan[i].text + "\n";
    for (const std::string& step : run_.dropped)
        out += "  dropped:   " + step + "\n";
    if (!shown_.empty()) {
        out += "\n  shown:\n";
        for (const ShownText& shown : shown_)
            out += "  " + padded(seconds(shown.at), 10) + " " + shown.text + "\n";
    }
    if (run_.aCheckFailed()) {
        out += "\n";
        for (const std::string& check : run_.failedChecks())
            out += "  check failed: " + check + "\n";
    }
    out += "\n";
    for (const auto& [key, value] : endingLines())
        out += endingLine(key, value);
    return out;
}

std::vector<std::pair<std::string, std::string>> RunReport::endingLines() const {
    std::vector<std::pair<std::string, std::string>> lines = {{"end", endText()}};
    lines.insert(lines.end(), sight_.begin(), sight_.end());
    // The upload's answer on the wire, beside what the application made of it.
    const std::optional<Exchange> upload =
        exchanges_ ? exchanges_->last({"update", "partner"}) : std::nullopt;
    if (upload || !uploadOutcome_.empty())
        lines.emplace_back("reply", (upload ? upload->outcome() : "no answer yet") + "; the application: " +
                                        (uploadOutcome_.empty() ? "not handled" : uploadOutcome_));
    for (const Exchange& slow : exchanges_ ? exchanges_->exchanges() : std::vector<Exchange>())
        if (slow.wallSeconds >= kSlowExchangeSeconds)
            lines.emplace_back("slow request", slowExchangeText(slow, wrapUp_.realTime));
    if (!wrapUp_.resultFile.empty()) lines.emplace_back("result file", wrapUp_.resultFile);
    lines.emplace_back("pictures", wrapUp_.pictures.value_or("off"));
    lines.emplace_back("app exit", run_.exitStatus ? std::to_string(*run_.exitStatus) : "none");
    lines.emplace_back(wrapUp_.realTime ? "real time" : "virtual time", secondsWithUnit(wrapUp_.runSeconds));
    lines.emplace_back("wall time", secondsWithUnit(wrapUp_.wallSeconds));
    return lines;
}

std::string RunReport::endingLine(const std::string& key, const std::string& value) {
    return "  " + padded(key + ":", 14) + value + "\n";
}

} // namespace app
