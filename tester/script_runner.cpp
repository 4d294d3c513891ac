#include "tester/script_runner.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/foundation/clock.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_loading.h"
#include "platform/runtime/stored_block.h"
#include "platform/sim/run_text.h"
#include "platform/sim/stepper.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "tester/driver.h"
#include "tester/script_actions.h"

namespace sim {

namespace {

// In real time, the longest the runner sleeps before it looks again.
constexpr double kRealTimePollSeconds = 0.01;
// A check waiting for what it checks looks again at least this often (and at each timer's time).
constexpr double kCheckPollSeconds = 0.05;
// A deadline this far ahead is a keep-alive (a listener thread keeps a timer at the distant
// future), not something scheduled.
constexpr double kKeepAliveSeconds = 100.0 * 365 * 24 * 3600;

bool contains(const rt::Ref<ns::String>& text, const std::string& part) {
    return text && text->utf8().find(part) != std::string::npos;
}

std::string signalName(int signal) {
    switch (signal) {
    case SIGHUP:
        return "SIGHUP";
    case SIGINT:
        return "SIGINT";
    case SIGQUIT:
        return "SIGQUIT";
    case SIGTERM:
        return "SIGTERM";
    default:
        return "signal " + std::to_string(signal);
    }
}

// Whether a trigger of this kind names its event whole (a screen class, a request), rather than a
// part of its text.
bool namesExactly(ScriptTrigger::Kind kind) {
    return kind == ScriptTrigger::Kind::Screen || kind == ScriptTrigger::Kind::Request;
}

// Seconds to the millisecond, as the step log and the report show them.
double toTheMillisecond(double seconds) {
    return std::round(seconds * 1000) / 1000;
}

// The request's path: what a request trigger names when no namer is set.
std::string pathOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path, url.find('?', path) - path);
}

} // namespace

std::vector<std::string> ScriptRun::failedChecks() const {
    std::vector<std::string> lines;
    for (const Check& check : checks)
        if (check.state == Check::State::Failed) lines.push_back(check.failure);
    return lines;
}

bool ScriptRun::aCheckFailed() const {
    return std::any_of(checks.begin(), checks.end(),
                       [](const Check& check) { return check.state == Check::State::Failed; });
}

std::string secondsText(double seconds) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

// A firing of a step, due at a time; ties go in the order they were made.
// A step triggered by a screen or a dialog acts on what the tester saw: when that is gone by the
// time the step is due, the moment has passed and the firing is dropped. A screen that left and
// came back is another moment (its own firing): `shownAt` is the count of screens on top when it
// fired.
struct ScriptRunner::Pending {
    double due;
    std::uint64_t order;
    const ScriptStep* step;
    rt::Weak<rt::Object> subject{};
    bool hasSubject = false;
    std::uint64_t shownAt = 0;
    bool waited = false; // waited for a transition to end
    // A step whose check waits for what it checks ("within") is due again to look again; the
    // actions after the check wait with it.
    std::size_t next = 0;                   // the action to run
    std::optional<double> checkDeadline{};  // the waiting check's time up
    std::optional<double> started{};        // when its first action ran
    std::string failedChecks{};             // "; check failed: ..." for each so far
    std::string unmet{};                    // what the waiting check saw at its last look
    std::string stoppedBy{};                // what stopped it before its last action, if anything did
};

// Orders pending_ as a heap whose front is the earliest firing (ties: the one made first), so
// taking the next firing or adding one costs the logarithm of how many wait, not their number.
bool ScriptRunner::later(const Pending& a, const Pending& b) {
    return a.due != b.due ? a.due > b.due : a.order > b.order;
}

void ScriptRunner::addPending(Pending firing) {
    pending_.push_back(std::move(firing));
    std::push_heap(pending_.begin(), pending_.end(), later);
}

// The names of watched requests answered on the wire, from the network thread.
struct ScriptRunner::Requests {
    std::mutex lock;
    std::vector<std::string> answered;
};

ScriptRunner::ScriptRunner(Script script, Driver& driver)
    : script_(std::move(script)), driver_(driver), steps_(script_.steps.size(), StepState::Waiting),
      requests_(std::make_shared<Requests>()) {
    for (const ScriptStep& step : script_.steps) {
        if (const ScriptTrigger::Kind kind = step.trigger.kind; kind != ScriptTrigger::Kind::Launch &&
                                                                 kind != ScriptTrigger::Kind::Time)
            waiting_[{kind, namesExactly(kind) ? step.trigger.text : std::string()}].push_back(&step);
        firstCheck_.push_back(checks_.size());
        for (std::size_t i = 0; i < step.actions.size(); ++i)
            if (scriptAction(step.actions[i].name)->isCheck) checks_.push_back({step.number, i});
    }
    firstCheck_.push_back(checks_.size());
    // Each screen that comes on top counts, even one that leaves before the next look.
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        if (&controller == driver_.topViewController().get()) appeared_.emplace_back(rt::Id(rt::retained(&controller)));
    });
}

ScriptRunner::~ScriptRunner() {
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
}

std::string ScriptRunner::describe(const ScriptStep& step) const {
    return step.describe(driver_.shownTexts(), driver_.secureTexts());
}

void ScriptRunner::note(double now, const ScriptStep& step, const std::string& fate) {
    stepLog_.push_back({now - launchTime_, &step, fate});
}

std::vector<std::string> ScriptRunner::stepLog() const {
    std::vector<std::string> lines;
    for (const StepNote& note : stepLog_) {
        char time[32];
        std::snprintf(time, sizeof time, "%10.3f ", note.at);
        lines.push_back(time + describe(*note.step) + " " + note.fate);
    }
    return lines;
}

bool ScriptRunner::runLaunchSteps(ScriptRun& run) {
    launchTime_ = ns::Clock::currentTime();
    for (const ScriptStep& step : script_.steps) {
        if (step.trigger.kind != ScriptTrigger::Kind::Launch) continue;
        for (const ScriptAction& action : step.actions) {
            std::string why;
            if (!scriptAction(action.name)->run(driver_, action, &why)) {
                why = printableCut(why);
                note(launchTime_, step, "failed: " + why);
                run.end = ScriptRun::End::StepFailed;
                run.message = describe(step) + " failed: " + why;
                return false;
            }
        }
        steps_[step.number - 1] = StepState::Ran;
        note(launchTime_, step, "ran before launch");
    }
    return true;
}

void ScriptRunner::fire(const ScriptStep& step, double now, const rt::Id& subject) {
    StepState& state = steps_[step.number - 1];
    if (step.once && state != StepState::Waiting) return;
    if (state == StepState::Waiting) state = StepState::Fired;
    addPending({now + step.after, nextOrder_++, &step, subject, subject != nullptr, topChanges_});
}

bool ScriptRunner::stillShown(const Pending& firing) const {
    if (!firing.hasSubject) return true;
    rt::Id subject = firing.subject.lock();
    if (!subject) return false;
    if (subject == rt::Id(driver_.topViewController())) return firing.shownAt == topChanges_;
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented())
        if (dialog.get() == subject.get()) return true;
    return false;
}

void ScriptRunner::lookForTriggers(double now) {
    using Kind = ScriptTrigger::Kind;
    // The steps waiting for this kind of event (for a screen or a request, for this name), in the
    // file's order.
    auto each = [&](Kind kind, const std::string& name, auto&& matches, const rt::Id& subject) {
        auto steps = waiting_.find({kind, namesExactly(kind) ? name : std::string()});
        if (steps == waiting_.end()) return;
        for (const ScriptStep* step : steps->second)
            if (matches(step->trigger)) fire(*step, now, subject);
    };

    rt::Ref<ui::ViewController> top = driver_.topViewController();
    if (top && top != lastTop_.lock() &&
        std::none_of(appeared_.begin(), appeared_.end(),
                     [&](const rt::Weak<rt::Object>& seen) { return seen.lock().get() == top.get(); }))
        appeared_.emplace_back(rt::Id(top)); // on top without an appearance (a root set directly)
    for (const rt::Weak<rt::Object>& seen : std::exchange(appeared_, {})) {
        auto screen = rt::cast<ui::ViewController>(seen.lock());
        if (!screen || screen == lastTop_.lock()) continue; // gone, or appearing again in place
        lastTop_ = rt::Id(screen);
        ++topChanges_;
        const std::string name(screen->getClass().name());
        std::optional<std::vector<std::string>> labels; // read once a trigger asks
        auto shows = [&](const std::string& text) {
            if (!labels) labels = Driver::labelTexts(*screen->view());
            return std::any_of(labels->begin(), labels->end(), [&](const std::string& label) {
                return label.find(text) != std::string::npos;
            });
        };
        each(
            Kind::Screen, name,
            [&](const ScriptTrigger& trigger) { return trigger.shows.empty() || shows(trigger.shows); }, screen);
    }

    std::erase_if(seenDialogs_, [](const rt::Weak<rt::Object>& seen) { return !seen.lock(); });
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented()) {
        if (std::any_of(seenDialogs_.begin(), seenDialogs_.end(),
                        [&](const rt::Weak<rt::Object>& seen) { return seen.lock().get() == dialog.get(); }))
            continue;
        seenDialogs_.emplace_back(rt::Id(dialog));
        auto alert = rt::cast<ui::AlertView>(dialog);
        auto matches = [&](const ScriptTrigger& trigger) {
            const std::string& text = trigger.text;
            return text.empty() || contains(dialog->title(), text) ||
                   (alert && contains(alert->message(), text));
        };
        each(alert ? Kind::Alert : Kind::Sheet, {}, matches, dialog);
    }

    // Only the URLs opened since the last look are read.
    static const std::vector<rt::Ref<ns::URL>> kNoURLs;
    const std::vector<rt::Ref<ns::URL>>& urls = driver_.app() ? driver_.app()->openedURLs() : kNoURLs;
    for (; seenURLs_ < urls.size(); ++seenURLs_) {
        const std::string url = urls[seenURLs_]->string();
        each(
            Kind::URL, {}, [&](const ScriptTrigger& trigger) { return url.find(trigger.text) != std::string::npos; },
            nullptr);
    }

    std::vector<std::string> answered;
    {
        std::lock_guard g(requests_->lock);
        answered.swap(requests_->answered);
    }
    for (const std::string& name : answered)
        each(
            Kind::Request, name, [](const ScriptTrigger&) { return true; }, nullptr);
}

// Runs the earliest firing that is due, unless a transition runs (the step then waits for its end).
ScriptRunner::Due ScriptRunner::runDue(double now, ScriptRun& run) {
    if (pending_.empty() || pending_.front().due > now) return Due::None;
    if (driver_.transitionRunning()) {
        pending_.front().waited = true;
        return Due::Waiting;
    }
    std::pop_heap(pending_.begin(), pending_.end(), later);
    Pending firing = std::move(pending_.back());
    pending_.pop_back();
    const ScriptStep& step = *firing.step;
    const std::string waited = firing.waited ? " after a transition" : "";
    if (!stillShown(firing)) {
        std::string fate = "dropped" + waited + (firing.started ? " while its check waited" : "") +
                           ": what triggered it is no longer shown" + firing.failedChecks;
        // A step dropped before it began may look when it fires again; one whose check waited has
        // ended that look, and leaves its later checks to the end.
        if (firing.started) {
            const std::string why = "what triggered it was gone while it waited: " + firing.unmet;
            fail(checkAt(step, firing.next), why);
            fate += "; check failed: " + why;
            ++firing.next;
            firing.checkDeadline.reset();
            firing.stoppedBy = "what triggered it was gone";
            stopped_.push_back(std::move(firing));
        }
        note(now, step, fate);
        return Due::Ran;
    }
    if (!firing.started) firing.started = now;
    steps_[step.number - 1] = StepState::Ran;
    for (; firing.next < step.actions.size(); ++firing.next) {
        if (driver_.exitStatus()) { // the rest of the step is the run's end's to settle
            addPending(std::move(firing));
            return Due::Ran;
        }
        const ScriptAction& action = step.actions[firing.next];
        const ScriptActionKind& kind = *scriptAction(action.name);
        std::string why;
        bool done = false;
        try {
            done = kind.run(driver_, action, &why);
        } catch (...) { // the run ends: its end settles the rest of the step
            addPending(std::move(firing));
            throw;
        }
        if (done) {
            if (kind.isCheck) see(step, firing.next);
            firing.checkDeadline.reset();
            continue;
        }
        if (kind.isCheck) { // the check cuts what it shows
            if (!firing.checkDeadline) firing.checkDeadline = now + action.within();
            if (now < *firing.checkDeadline) {
                // Not yet: it looks again when a timer may have changed what shows, or after a
                // poll's interval, and at its time up at the latest.
                const std::optional<double> timer = nextTimerDeadline();
                firing.due = std::min({*firing.checkDeadline, now + kCheckPollSeconds,
                                       timer && *timer > now ? *timer : INFINITY});
                firing.unmet = std::move(why);
                addPending(std::move(firing));
                return Due::Ran;
            }
            firing.checkDeadline.reset();
            fail(checkAt(step, firing.next), why);
            firing.failedChecks += "; check failed: " + why;
            continue;
        }
        why = printableCut(why);
        run.end = ScriptRun::End::StepFailed;
        run.message = describe(step) + " failed: " + why;
        note(now, step, "failed" + waited + ": " + why + firing.failedChecks);
        ++firing.next;
        firing.stoppedBy = "the step failed";
        stopped_.push_back(std::move(firing));
        return Due::Failed;
    }
    const double checking = toTheMillisecond(now - *firing.started);
    const std::string checked = checking > 0 ? "; waited " + secondsText(checking) + " s for its checks" : "";
    note(now, step, "ran" + waited + checked + firing.failedChecks);
    return Due::Ran;
}

ScriptRun ScriptRunner::run(double limitSeconds) {
    return runFrom(limitSeconds, true);
}

ScriptRun ScriptRunner::runLaunched(double limitSeconds) {
    return runFrom(limitSeconds, false);
}

ScriptRun ScriptRunner::runFrom(double limitSeconds, bool launch) {
    ScriptRun run;
    try {
        if (!launch || runLaunchSteps(run)) stepUntilTheEnd(limitSeconds, launch, run);
    } catch (const std::exception& e) { // out of the application: the run ends as at a crash
        run.end = ScriptRun::End::SteppingFailed;
        run.message = "the application raised an exception: " + printableCut(e.what());
    }
    // However it ended: the checks settled in the one sweep, then the step log and the lists.
    const double now = ns::Clock::currentTime();
    const std::size_t stoppedBefore = stopped_.size();
    const std::vector<std::optional<double>> due = cutShort();
    const std::vector<Settled> settled = settleChecks(due, now);
    noteTheEnd(settled, stoppedBefore, now);
    listNotRun(due, run);
    run.checks = checks_;
    return run;
}

ScriptRun::Check& ScriptRunner::checkAt(const ScriptStep& step, std::size_t action) {
    const std::size_t index = step.number - 1;
    return *std::find_if(checks_.begin() + static_cast<std::ptrdiff_t>(firstCheck_[index]),
                         checks_.begin() + static_cast<std::ptrdiff_t>(firstCheck_[index + 1]),
                         [&](const ScriptRun::Check& check) { return check.action == action; });
}

void ScriptRunner::see(const ScriptStep& step, std::size_t action) {
    ScriptRun::Check& check = checkAt(step, action);
    if (check.state == ScriptRun::Check::State::Waiting) check.state = ScriptRun::Check::State::Seen;
}

void ScriptRunner::fail(ScriptRun::Check& check, const std::string& why) {
    // A check whose step fires again keeps its first failure.
    if (check.state != ScriptRun::Check::State::Failed)
        check.failure = describe(script_.steps[check.step - 1]) + ": " + why;
    check.state = ScriptRun::Check::State::Failed;
}

ScriptRun::NotRun ScriptRunner::neverRan(const ScriptStep& step) const {
    // Named by its name and its actions' names alone: what they would have done never happened.
    std::string named = "step " + std::to_string(step.number) + " (" +
                        (step.name.empty() ? "" : printableCut(step.name) + ": ");
    for (std::size_t i = 0; i < step.actions.size(); ++i)
        named += (i ? ", " : "") + step.actions[i].name;
    const bool screen = step.trigger.kind == ScriptTrigger::Kind::Screen;
    return {step.number, named + ") waited for " + step.trigger.describe(), screen ? step.trigger.text : "",
            screen ? step.trigger.shows : ""};
}

std::vector<std::optional<double>> ScriptRunner::cutShort() {
    // The firings the end cuts short join those stopped before it; of the others, each step's
    // earliest is when it was due.
    std::sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
    std::vector<std::optional<double>> due(script_.steps.size());
    for (Pending& firing : pending_) {
        std::optional<double>& when = due[firing.step->number - 1];
        if (firing.started) {
            firing.stoppedBy = "the run ended";
            stopped_.push_back(std::move(firing));
        } else if (!when) {
            when = firing.due;
        }
    }
    pending_.clear();
    return due;
}

std::vector<ScriptRunner::Settled> ScriptRunner::settleChecks(const std::vector<std::optional<double>>& due,
                                                              double now) {
    std::vector<std::vector<std::size_t>> stoppedOf(script_.steps.size());
    for (std::size_t i = 0; i < stopped_.size(); ++i)
        stoppedOf[stopped_[i].step->number - 1].push_back(i);
    // Each check a stopped firing never reached (or left waiting) fails, and each still waiting
    // fails with why its step never looked.
    std::vector<Settled> settled;
    for (std::size_t k = 0; k < checks_.size(); ++k) {
        ScriptRun::Check& check = checks_[k];
        const std::size_t index = check.step - 1;
        const ScriptStep& step = script_.steps[index];
        auto which = [&] {
            return " (" + step.actions[check.action].describe(driver_.shownTexts(), driver_.secureTexts()) + ")";
        };
        for (const std::size_t i : stoppedOf[index]) {
            const Pending& firing = stopped_[i];
            if (check.action < firing.next) continue;
            std::string why = check.action == firing.next && firing.checkDeadline
                                  ? "still waiting when the run ended: " + firing.unmet
                                  : firing.stoppedBy + " before it looked" + which();
            fail(check, why);
            settled.push_back({k, i, std::move(why)});
        }
        if (check.state != ScriptRun::Check::State::Waiting) continue;
        // Its step never began a firing that reached it (one that did was stopped, or is pending).
        std::string why;
        if (due[index]) { // fired, or a time, and not yet begun: the end came first, or came before its time
            const bool after = step.trigger.kind == ScriptTrigger::Kind::Time && *due[index] > now;
            why = after ? "never looked: its step waited for " + step.trigger.describe() + which()
                        : "the run ended before it looked" + which();
        } else if (steps_[index] != StepState::Waiting) { // it fired, and was dropped each time
            why = "what triggered it was gone before it looked" + which();
        } else if (unreachable_ && unreachable_(neverRan(step))) {
            check.state = ScriptRun::Check::State::Unreachable;
            continue;
        } else {
            why = "never looked: its step waited for " + step.trigger.describe() + which();
        }
        fail(check, why);
        settled.push_back({k, std::nullopt, std::move(why)});
    }
    return settled;
}

void ScriptRunner::noteTheEnd(const std::vector<Settled>& settled, std::size_t stoppedBefore, double now) {
    std::vector<std::string> firingFates(stopped_.size()), stepFates(script_.steps.size());
    for (const Settled& one : settled)
        (one.firing ? firingFates[*one.firing] : stepFates[checks_[one.check].step - 1]) +=
            "; check failed: " + one.why;
    for (std::size_t i = 0; i < stopped_.size(); ++i) {
        const Pending& firing = stopped_[i];
        if (i < stoppedBefore) {
            if (!firingFates[i].empty()) note(now, *firing.step, firingFates[i].substr(2));
            continue;
        }
        // A step cut short in its middle: its check waiting, the application gone, an exception.
        const std::string waited =
            firing.checkDeadline ? " after waiting " + secondsText(toTheMillisecond(now - *firing.started)) +
                                       " s for its checks"
                                 : "";
        note(now, *firing.step, "cut short" + waited + firing.failedChecks + firingFates[i]);
    }
    for (const ScriptStep& step : script_.steps)
        if (!stepFates[step.number - 1].empty()) note(now, step, "never ran" + stepFates[step.number - 1]);
}

void ScriptRunner::listNotRun(const std::vector<std::optional<double>>& due, ScriptRun& run) const {
    for (const ScriptStep& step : script_.steps) {
        const std::size_t index = step.number - 1;
        // A step that ran is none, and one holding a check that failed is said by its check.
        if (steps_[index] == StepState::Ran ||
            std::any_of(
                checks_.begin() + static_cast<std::ptrdiff_t>(firstCheck_[index]),
                checks_.begin() + static_cast<std::ptrdiff_t>(firstCheck_[index + 1]),
                [](const ScriptRun::Check& check) { return check.state == ScriptRun::Check::State::Failed; }))
            continue;
        // A triggered step may have come and not run; a timed one's time is what it waited for.
        ScriptRun::NotRun listed = neverRan(step);
        if (due[index] && step.trigger.kind != ScriptTrigger::Kind::Time)
            run.neverRan.push_back({step.number, listed.text + " (it came; the step was due at " +
                                                     secondsText(toTheMillisecond(*due[index] - launchTime_)) +
                                                     " s)"});
        else if (steps_[index] == StepState::Fired)
            run.dropped.push_back(listed.text + " (it came, and was gone when the step was due)");
        else
            run.neverRan.push_back(std::move(listed));
    }
}

std::string ScriptRunner::stallText() const {
    using Kind = ScriptTrigger::Kind;
    // The steps a trigger may still fire, by kind, in the order the words name them.
    const std::pair<Kind, std::pair<const char*, const char*>> kinds[] = {
        {Kind::Screen, {"a screen", "screens"}}, {Kind::Alert, {"an alert", "alerts"}},
        {Kind::Sheet, {"a sheet", "sheets"}},    {Kind::URL, {"a URL", "URLs"}},
        {Kind::Request, {"a request", "requests"}}};
    std::string text;
    for (const auto& [kind, nouns] : kinds) {
        std::size_t count = 0;
        for (const ScriptStep& step : script_.steps)
            count += step.trigger.kind == kind && (!step.once || steps_[step.number - 1] == StepState::Waiting);
        if (count == 0) continue;
        const std::string number = std::to_string(count);
        text += text.empty() ? "; " + number + (count == 1 ? " step waits for " : " steps wait for ")
                             : ", " + number + " for ";
        text += count == 1 ? nouns.first : nouns.second;
    }
    return text.empty() ? "the script is spent and nothing is scheduled" : "no step is due" + text;
}

void ScriptRunner::stepUntilTheEnd(double limitSeconds, bool launch, ScriptRun& run) {
    auto manual = std::dynamic_pointer_cast<ns::ManualClock>(ns::Clock::installed());
    launchTime_ = ns::Clock::currentTime();
    const double end = launchTime_ + limitSeconds;
    std::set<std::string, std::less<>> watched;
    for (const ScriptStep& step : script_.steps) {
        if (step.trigger.kind == ScriptTrigger::Kind::Time)
            addPending({launchTime_ + step.trigger.at, nextOrder_++, &step});
        if (step.trigger.kind == ScriptTrigger::Kind::Request) watched.insert(step.trigger.text);
    }
    // The answers to watched requests wait for their steps; whatever is still held when the run
    // ends is handed on then.
    struct Watch {
        std::uint64_t token = 0;
        ~Watch() {
            if (!token) return;
            ns::URLLoading::removeExchangeObserver(token);
            ns::URLLoading::releaseHeldTransfers();
        }
    } watch;
    if (!watched.empty())
        watch.token = ns::URLLoading::addExchangeObserver(
            [requests = requests_, watched, namer = namer_](const ns::URLExchange& exchange) {
                if (exchange.errorCode == ns::URLErrorCancelled) return false;
                std::string name = namer ? namer(exchange) : pathOf(exchange.url);
                if (!watched.contains(name)) return false;
                std::lock_guard g(requests->lock);
                requests->answered.push_back(std::move(name));
                return true;
            });
    if (launch) driver_.launch();

    auto interrupted = [&](int signal) {
        run.end = ScriptRun::End::Interrupted;
        run.signal = signal;
        run.message = "interrupted by " + signalName(signal);
    };
    for (;;) {
        std::string failure;
        if (!settle(&failure)) {
            if (const int signal = steppingInterruption()) return interrupted(signal);
            run.end = ScriptRun::End::SteppingFailed;
            run.message = failure;
            return;
        }
        if (driver_.exitStatus()) {
            run.end = ScriptRun::End::Exited;
            run.exitStatus = driver_.exitStatus();
            run.message = "the application exited with status " + std::to_string(*run.exitStatus);
            return;
        }
        if (const int signal = steppingInterruption()) return interrupted(signal);
        rt::callStoredBlock(observer_);
        const double now = ns::Clock::currentTime();
        lookForTriggers(now);
        const Due due = runDue(now, run);
        if (due == Due::Ran) continue;
        if (due == Due::Failed) return;
        // The steps due now have run: the answers they waited for go on to the application.
        if (due == Due::None && ns::URLLoading::heldTransfers() > 0) {
            ns::URLLoading::releaseHeldTransfers();
            continue;
        }

        // A keep-alive timer far in the future neither moves the run to it nor keeps it busy. The
        // limit ends the run whatever is still scheduled past it; a step waiting for a transition
        // waits for the timers alone.
        const std::optional<double> timer = nextTimerDeadline();
        double next = timer && *timer - now < kKeepAliveSeconds ? *timer : INFINITY;
        if (due != Due::Waiting && !pending_.empty()) next = std::min(next, pending_.front().due);
        if (next == INFINITY) {
            run.end = ScriptRun::End::Stalled;
            run.message = due == Due::Waiting ? "stalled: a step waits for a transition that does not end"
                                              : "stalled: " + stallText();
            return;
        }
        if (next > end || now >= end) {
            if (!manual && now < end) {
                std::this_thread::sleep_for(
                    std::chrono::duration<double>(std::min(end - now, kRealTimePollSeconds)));
                continue;
            }
            if (manual && now < end) manual->setNow(end);
            run.end = ScriptRun::End::Limit;
            run.message = "limit reached at " + secondsText(limitSeconds) + " s";
            return;
        }
        if (manual) {
            advanceClockTo(*manual, next);
        } else if (next > now) {
            const double wait = std::min(next - now, kRealTimePollSeconds);
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        }
    }
}

} // namespace sim
